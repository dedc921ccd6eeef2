// Painting of the editor's text area: each visible line is cut into tokens by the highlighter,
// tokens that look alike are drawn in one call, and the selection gets its own colours.
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "base/TextEncoding.h"
#include "editor/CodeEditTextUtil.h"
#include "editor/widget/CustomCodeEdit.h"
#include "highlight/SQLHighlighter.h"

namespace tessel {

namespace {

bool OnlySpaces(const char32_t* text, int count) {
    for (int i = 0; i < count; ++i)
        if (text[i] != U' ' && text[i] != U'\t') return false;
    return true;
}

// The state of one painting pass over the text area.
struct LinePainter {
    TheTextDrawer& drawer;
    QPainter& painter;
    const TCustomCodeEdit& edit;
    bool specialDefaultFg = false;

    int c1 = 1, c2 = 1;  // visible display columns
    int lineLeft = 0, lineRight = 0;
    int y = 0;
    int lineHeight = 1;

    // The line.
    std::u32string chars;
    bool special = false;
    bool hasSpan = false, splits = false, fully = false;
    int s = 0, e = 0;  // selection span [s, e) in display columns
    QColor fgNormal, bgNormal, fgSelected, bgSelected, background;
    int currentX = 0;

    // The run of alike tokens.
    struct Run {
        int start = 0;  // columns before it in the line
        int length = 0;
        TColor fg = 0, bg = 0;
        TFontStyles style;
        bool empty = true;
    } run;
    TColor normalFgValue = 0, normalBgValue = 0;

    int ColumnToX(int column) const { return edit.ColumnToX(column); }

    void Fill(int right, const QColor& bg) {
        right = std::min(right, lineRight);
        if (right > currentX) {
            painter.fillRect(QRect(currentX, y, right - currentX, lineHeight), bg);
            currentX = right;
        }
    }

    // Draws the columns a .. b (exclusive) of the run.
    void Piece(int a, int b, const QColor& fg, const QColor& bg) {
        const int right = std::min(lineRight, ColumnToX(b));
        if (b > a && right > currentX) {
            const QRect rect(currentX, y, right - currentX, lineHeight);
            const int offset = a - 1 - run.start;
            const int n = std::min(b - a, run.length - offset);
            drawer.SetForeColor(fg);
            drawer.SetBackColor(bg);
            if (n > 0 && offset >= 0)
                drawer.ExtTextOut(ColumnToX(a), y, rect, chars.data() + (a - 1), n);
            else
                painter.fillRect(rect, bg);
        }
        currentX = std::max(currentX, right);
    }

    void PaintRun(bool fillToLineEnd) {
        const int p1 = std::max(c1, run.start + 1);
        const int p2 = std::min(c2, run.start + run.length + 1);
        bool inside, needSplit = false;
        if (splits) {
            const bool before = p1 < s;
            inside = p1 < e && p2 >= s;
            const bool after = p2 >= e;
            needSplit = inside && (before || after);
        } else {
            inside = fully;
        }
        QColor fg = fgNormal, bg = bgNormal;
        if (!run.empty) {
            if (!special) {
                fg = ResolveColor(run.fg);
                bg = ResolveColor(run.bg);
            } else if (specialDefaultFg) {
                fg = ResolveColor(run.fg);
            }
            drawer.SetStyle(run.style);
            if (needSplit) {
                Piece(p1, s, fg, bg);
                Piece(std::max(s, p1), std::min(e, p2), fgSelected, bgSelected);
                Piece(e, p2, fg, bg);
            } else if (inside) {
                Piece(p1, p2, fgSelected, bgSelected);
            } else {
                Piece(p1, p2, fg, bg);
            }
        }
        if (fillToLineEnd && currentX < lineRight) {
            const QColor rest = special ? bgNormal : background;
            if (splits) {
                Fill(ColumnToX(s), rest);
                Fill(ColumnToX(e), bgSelected);
                Fill(lineRight, rest);
            } else {
                Fill(lineRight, fully ? bgSelected : rest);
            }
        }
    }

    void AddToken(int start, int length, TColor fg, TColor bg, TFontStyles style) {
        const bool spaces = length == 0 || OnlySpaces(chars.data() + start, length);
        if (!run.empty) {
            bool join = true;
            if (style != run.style) {
                const bool underline =
                    style.Contains(TFontStyle::fsUnderline) || run.style.Contains(TFontStyle::fsUnderline);
                join = !underline && spaces;
            }
            if (join) join = (special && !specialDefaultFg) || fully || (bg == run.bg && (fg == run.fg || spaces));
            if (join) {
                run.length = start + length - run.start;
                return;
            }
            PaintRun(false);
        }
        run.start = start;
        run.length = length;
        run.fg = fg;
        run.bg = bg;
        run.style = style;
        run.empty = false;
    }
};

}  // namespace

QImage TCustomCodeEdit::RenderToImage() {
    QImage image(viewport()->size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    viewport()->render(&image);
    return image;
}

void TCustomCodeEdit::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect r = event->rect();
    const int rRight = r.x() + r.width();
    const int rBottom = r.y() + r.height();
    int c1 = firstVisibleColumn_;
    if (r.left() > gutterWidth_ + 2) c1 = firstVisibleColumn_ + (r.left() - gutterWidth_ - 2) / charWidth_;
    const int c2 = c1 + (rRight - gutterWidth_ - 2 + charWidth_ - 1) / charWidth_;
    const int l1 = std::max(firstVisibleLine_ + r.top() / lineHeight_, firstVisibleLine_);
    const int l2 = std::min(firstVisibleLine_ + (rBottom + lineHeight_ - 1) / lineHeight_, lines_->Count());

    try {
        if (r.left() < gutterWidth_)
            PaintGutter(painter, QRect(r.left(), r.top(), gutterWidth_ - r.left(), r.height()), l1, l2);
        if (rRight > gutterWidth_) {
            QRect area = r;
            area.setLeft(std::max(r.left(), gutterWidth_));
            PaintTextLines(painter, area, l1, l2, c1, c2);
        }
        if (OnPaint) {
            painter.save();
            painter.setFont(font());
            painter.setBrush(ResolveColor(color_));
            OnPaint(this, painter);
            painter.restore();
        }
        DoOnPaintTransient(ttAfter);
    } catch (...) {
        if (caretShown_ && caretBlinkOn_ && hasFocus()) {
            painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            painter.fillRect(CaretRect(), Qt::white);
        }
        throw;
    }
    // The caret is drawn inverted over the text.
    if (caretShown_ && caretBlinkOn_ && hasFocus()) {
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.fillRect(CaretRect(), Qt::white);
    }
}

void TCustomCodeEdit::PaintTextLines(QPainter& painter, QRect area, int firstLine, int lastLine, int firstCol,
                                     int lastCol) {
    const int areaRight = area.x() + area.width();
    const int areaBottom = area.y() + area.height();
    QColor background = ResolveColor(color_);
    if (highlighter_ != nullptr) {
        if (THighlighterAttributes* space = highlighter_->StandardAttribute(4);
            space != nullptr && space->Background() != clNone)
            background = ResolveColor(space->Background());
    }
    const TColor backgroundValue = highlighter_ != nullptr && highlighter_->StandardAttribute(4) != nullptr &&
                                           highlighter_->StandardAttribute(4)->Background() != clNone
                                       ? highlighter_->StandardAttribute(4)->Background()
                                       : color_;

    // Right edge.
    const int edgeX = rightEdge_ * charWidth_ + TextOrigin();
    const bool edgeVisible = rightEdge_ > 0 && area.left() <= edgeX && edgeX <= areaRight;
    const QColor edgeColor = ResolveColor(rightEdgeColor_);

    if (area.left() < gutterWidth_ + 2) {
        const int from = std::max(area.left(), gutterWidth_);
        painter.fillRect(QRect(from, area.top(), gutterWidth_ + 2 - from, area.height()), background);
        area.setLeft(gutterWidth_ + 2);
    }

    if (lastLine >= firstLine) {
        // The selection.
        bool anySelection = !(hideSelection_ && !hasFocus()) && selAnchor_ != selActive_;
        TBufferCoord selStart = SelStartPos(), selEnd = SelEndPos();
        if (selectionMode_ == smColumn && selEnd.Column < selStart.Column) std::swap(selStart.Column, selEnd.Column);
        if (anySelection && (selEnd.Line < firstLine || selStart.Line > lastLine)) anySelection = false;
        const int selStartCol = anySelection ? LogicalToDisplay(selStart).Column : 0;
        const int selEndCol = anySelection ? LogicalToDisplay(selEnd).Column : 0;

        LinePainter lp{*drawer_, painter, *this};
        lp.specialDefaultFg = HasOption(eoSpecialLineDefaultFg);
        lp.c1 = firstCol;
        lp.c2 = lastCol;
        lp.lineLeft = area.left();
        lp.lineRight = areaRight;
        lp.lineHeight = lineHeight_;
        lp.background = background;
        const bool showSpecial = HasOption(eoShowSpecialChars);
        auto* sql = dynamic_cast<TSQLHighlighter*>(highlighter_);
        const bool highlighting = highlighter_ != nullptr && highlighter_->Enabled();

        drawer_->SetBaseStyle(FontStylesOf(font()));
        drawer_->BeginDrawing(&painter);
        try {
            std::string expanded;
            for (int line = firstLine; line <= lastLine; ++line) {
                expanded = lines_->ExpandedText(line - 1);
                DecodeUtf8(expanded, lp.chars);
                const int textLength = static_cast<int>(lp.chars.size());
                lp.y = (line - firstVisibleLine_) * lineHeight_;
                lp.currentX = area.left();

                // Selection span of the line.
                lp.hasSpan = lp.splits = lp.fully = false;
                if (anySelection && line >= selStart.Line && line <= selEnd.Line) {
                    lp.s = firstCol;
                    lp.e = lastCol + 1;
                    lp.hasSpan = true;
                    if (selectionMode_ == smColumn || (selectionMode_ == smNormal && line == selStart.Line)) {
                        if (selStartCol > lp.e) {
                            lp.hasSpan = false;
                        } else if (selStartCol > firstCol) {
                            lp.s = selStartCol;
                            lp.splits = true;
                        }
                    }
                    if (lp.hasSpan &&
                        (selectionMode_ == smColumn || (selectionMode_ == smNormal && line == selEnd.Line))) {
                        if (selEndCol < lp.s) {
                            lp.hasSpan = false;
                        } else if (selEndCol < lp.e) {
                            lp.e = selEndCol;
                            lp.splits = true;
                        }
                    }
                    if (!lp.hasSpan) lp.splits = false;
                }
                lp.fully = lp.hasSpan && !lp.splits;

                // Colours.
                TColor fg = fontColor_, bg = backgroundValue;
                bool special = false;
                if (OnSpecialLineColors) OnSpecialLineColors(this, line, special, fg, bg);
                lp.special = special;
                lp.normalFgValue = fg;
                lp.normalBgValue = bg;
                lp.fgNormal = ResolveColor(fg);
                lp.bgNormal = ResolveColor(bg);
                if (special) {
                    lp.fgSelected = lp.bgNormal;
                    lp.bgSelected = lp.fgNormal;
                } else {
                    lp.fgSelected = ResolveColor(selectedColor_.Foreground());
                    lp.bgSelected = ResolveColor(selectedColor_.Background());
                }

                if (showSpecial) {
                    // Blanks as middle dots, a chevron in the middle of each tab's cells.
                    int tabRunStart = -1;
                    for (int i = 0; i < textLength; ++i) {
                        char32_t& c = lp.chars[static_cast<size_t>(i)];
                        if (c == U' ') c = U'\u00B7';
                        if (c == U'\t') {
                            if (tabRunStart < 0) tabRunStart = i;
                            if ((i + 1) % tabWidth_ == 0 || i + 1 == textLength ||
                                lp.chars[static_cast<size_t>(i + 1)] != U'\t') {
                                lp.chars[static_cast<size_t>((tabRunStart + i) / 2)] = U'\u00BB';
                                tabRunStart = -1;
                            }
                        }
                    }
                    lp.chars.push_back(U'\u00B6');
                }

                lp.run = {};
                if (highlighting) {
                    highlighter_->SetLineState(lines_->LineState(line - 1));
                    highlighter_->StartLine(std::string_view(expanded), line - 1);
                    THighlighterAttributes* lastAttr = nullptr;
                    while (!highlighter_->AtLineEnd()) {
                        const int start = highlighter_->TokenStart();
                        const int length =
                            sql != nullptr ? sql->TokenLength() : LineCharCount(highlighter_->TokenText());
                        THighlighterAttributes* attr = highlighter_->TokenStyle();
                        lastAttr = attr;
                        if (start <= lastCol && start + length >= firstCol) {
                            const TColor tfg =
                                attr != nullptr && attr->Foreground() != clNone ? attr->Foreground() : fg;
                            const TColor tbg =
                                attr != nullptr && attr->Background() != clNone ? attr->Background() : bg;
                            const TFontStyles style = attr != nullptr ? attr->Style() : FontStylesOf(font());
                            lp.AddToken(start, length, tfg, tbg, style);
                        }
                        highlighter_->Advance();
                    }
                    if (showSpecial) {
                        THighlighterAttributes* markAttr =
                            lastAttr != nullptr && lastAttr == highlighter_->StandardAttribute(0)
                                ? lastAttr
                                : highlighter_->StandardAttribute(4);
                        const TColor mfg =
                            markAttr != nullptr && markAttr->Foreground() != clNone ? markAttr->Foreground() : fg;
                        const TColor mbg =
                            markAttr != nullptr && markAttr->Background() != clNone ? markAttr->Background() : bg;
                        if (textLength <= lastCol && textLength + 1 >= firstCol)
                            lp.AddToken(textLength, 1, mfg, mbg, FontStylesOf(font()));
                    }
                    lp.PaintRun(true);
                } else {
                    const int length = static_cast<int>(lp.chars.size());
                    lp.run = {0, length, fg, bg, FontStylesOf(font()), false};
                    lp.PaintRun(true);
                }
                if (edgeVisible) {
                    painter.fillRect(QRect(edgeX, lp.y, 1, lineHeight_), edgeColor);
                }
            }
        } catch (...) {
            drawer_->EndDrawing();
            throw;
        }
        drawer_->EndDrawing();
    }

    // Below the last line.
    const int below =
        std::max(area.top(), (std::max(lastLine, firstVisibleLine_ - 1) - firstVisibleLine_ + 1) * lineHeight_);
    if (below < areaBottom) {
        painter.fillRect(QRect(area.left(), below, areaRight - area.left(), areaBottom - below), background);
        if (edgeVisible) painter.fillRect(QRect(edgeX, below, 1, areaBottom - below), edgeColor);
    }
}

}  // namespace tessel
