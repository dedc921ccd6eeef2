// The editor control: state, scrolling, caret, selection and the host interface.

#include "editor/widget/CustomCodeEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFontInfo>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "base/TextEncoding.h"
#include "editor/CodeEditTextUtil.h"
#include "editor/widget/CodeEditAccessible.h"
#include "editor/widget/KeyMapping.h"
#include "highlight/SQLHighlighter.h"

namespace tessel {

namespace {

constexpr int kHardColumnLimit = 32767;

QFont DefaultEditorFont() {
    QFont font("Liberation Mono");
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSize(10);
    return font;
}

}  // namespace

// --- TSelectedColor ------------------------------------------------------------------------------

void TSelectedColor::SetBackground(TColor value) {
    if (value == background_) return;
    background_ = value;
    if (OnChange) OnChange();
}

void TSelectedColor::SetForeground(TColor value) {
    if (value == foreground_) return;
    foreground_ = value;
    if (OnChange) OnChange();
}

void TSelectedColor::Assign(const TSelectedColor& source) {
    background_ = source.background_;
    foreground_ = source.foreground_;
    if (OnChange) OnChange();
}

// --- construction -------------------------------------------------------------------------------

TCustomCodeEdit::TCustomCodeEdit(QWidget* parent) : QAbstractScrollArea(parent) {
    InstallCodeEditAccessibility();
    lines_ = std::make_unique<TCodeEditStringList>();
    lines_->OnLinesChanging = [this](TCodeEditStringList*) { LinesChanging(); };
    lines_->OnLinesChanged = [this](TCodeEditStringList*) { LinesChanged(); };
    lines_->OnLineAdded = [this](int i, const std::string& s) { LineAdded(i, s); };
    lines_->OnLinesCleared = [this](TCodeEditStringList*) { LinesCleared(); };
    lines_->OnLineDeleted = [this](int i) { LineDeleted(i); };
    lines_->OnLineInserted = [this](int i, const std::string& s) { LineInserted(i, s); };
    lines_->OnLinePut = [this](int i, const std::string& s) { LinePut(i, s); };

    const QFont font = DefaultEditorFont();
    setFont(font);
    drawer_ = std::make_unique<TheTextDrawer>(TFontStyles{TFontStyle::fsBold}, font);

    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setMouseTracking(true);
    setFrameShape(QFrame::StyledPanel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    keystrokes_.ResetKeystrokes();
    selectedColor_.OnChange = [this] { InvalidateAll(); };

    scrollTimer_.setInterval(100);
    connect(&scrollTimer_, &QTimer::timeout, this, [this] { ScrollTimerTick(); });
    const int flash = QApplication::cursorFlashTime();
    blinkTimer_.setInterval(flash > 0 ? flash / 2 : 500);
    connect(&blinkTimer_, &QTimer::timeout, this, [this] { BlinkCaret(); });

    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (settingScrollBars_) return;
        const int n = lines_->Count() + (HasOption(eoScrollPastEof) ? visibleLineCount_ - 1 : 0);
        if (n <= kHardColumnLimit)
            SetFirstVisibleLine(value);
        else
            SetFirstVisibleLine(
                static_cast<int>(static_cast<int64_t>(lines_->Count() + visibleLineCount_ - 1) * value / 32767));
        InvalidateAll();
    });
    connect(verticalScrollBar(), &QScrollBar::sliderMoved, this, [this](int) { ShowScrollHint(); });
    connect(verticalScrollBar(), &QScrollBar::sliderReleased, this, [] { QToolTip::hideText(); });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (settingScrollBars_) return;
        SetFirstVisibleColumn(value);
    });

    undoList_.OnItemAdded = [this](TCodeEditUndoList* sender) { ItemAdded(sender); };
    redoList_.OnItemAdded = [this](TCodeEditUndoList* sender) { ItemAdded(sender); };
    gutter_.OnChange = [this] { GutterChanged(); };
    bookMarkOpt_.OnChange = [this] { InvalidateGutter(); };
    marks_.OnChange = [this] { InvalidateGutter(); };
    gutterWidth_ = gutter_.Width();
    viewport()->setAcceptDrops(true);

    resize(200, 150);
    RecalcCharExtent();
    SizeOrFontChanged(false);
}

TCustomCodeEdit::~TCustomCodeEdit() {
    undoList_.OnItemAdded = nullptr;
    redoList_.OnItemAdded = nullptr;
    gutter_.OnChange = nullptr;
    bookMarkOpt_.OnChange = nullptr;
    marks_.OnChange = nullptr;
    scrollTimer_.stop();
    blinkTimer_.stop();
    if (highlighter_ != nullptr) highlighter_->UnhookAttributeChanges(this);
    lines_->OnLinesChanging = nullptr;
    lines_->OnLinesChanged = nullptr;
    lines_->OnLineAdded = nullptr;
    lines_->OnLinesCleared = nullptr;
    lines_->OnLineDeleted = nullptr;
    lines_->OnLineInserted = nullptr;
    lines_->OnLinePut = nullptr;
}

// --- text access --------------------------------------------------------------------------------

std::string TCustomCodeEdit::LineText() const {
    return caret_.Line >= 1 && caret_.Line <= lines_->Count() ? lines_->Get(caret_.Line - 1) : std::string();
}

void TCustomCodeEdit::SetLineText(const std::string& text) {
    if (caret_.Line >= 1 && caret_.Line <= lines_->Count()) lines_->Put(caret_.Line - 1, text);
}

// --- coordinates ----------------------------------------------------------------------------------

TDisplayCoord TCustomCodeEdit::LogicalToDisplay(TBufferCoord p) const {
    if (p.Line >= 1 && p.Line <= lines_->Count())
        return {LogicalToDisplayColumn(lines_->Get(p.Line - 1), p.Column, tabWidth_), p.Line};
    return {p.Column, p.Line};
}

TBufferCoord TCustomCodeEdit::DisplayToLogical(TDisplayCoord p) const {
    if (p.Line >= 1 && p.Line <= lines_->Count())
        return {DisplayToLogicalColumn(lines_->Get(p.Line - 1), p.Column, tabWidth_), p.Line};
    return {p.Column, p.Line};
}

TBufferCoord TCustomCodeEdit::PixelToPosition(int x, int y) const {
    const double exact = static_cast<double>(x + firstVisibleColumn_ * charWidth_ - gutterWidth_ - 2) / charWidth_;
    const int display = static_cast<int>(std::round(exact));  // halves away from zero
    const int bottom = visibleLineCount_ * lineHeight_;
    if (y >= bottom) y = std::max(bottom - 1, 0);
    const int line = y / lineHeight_ + firstVisibleLine_;  // truncates towards zero, as above the top
    return DisplayToLogical({display, line});
}

QPoint TCustomCodeEdit::PositionToPixel(TBufferCoord p) const {
    return {(LogicalToDisplay(p).Column - 1) * charWidth_ + TextOrigin(), (p.Line - firstVisibleLine_) * lineHeight_};
}

// --- caret ----------------------------------------------------------------------------------------

int TCustomCodeEdit::ColumnLimit() const {
    if (columnLimitStale_) {
        columnLimitStale_ = false;
        columnLimit_ = std::min(kHardColumnLimit, std::max(maxLeftChar_, lines_->LongestLineLength() + 1));
    }
    return std::max(columnLimit_, maxLeftChar_);
}

void TCustomCodeEdit::GrowColumnLimit(const std::string& s) {
    if (s.empty()) {
        columnLimitStale_ = true;
        return;
    }
    // The expanded length is at least the character count; a tab only widens it.
    const int need = LogicalToDisplayColumn(s, LineCharCount(s) + 1, tabWidth_);
    if (need > columnLimit_) columnLimit_ = std::min(kHardColumnLimit, need);
}

void TCustomCodeEdit::MakeRoomForCaret(int column) {
    ColumnLimit();  // brings a stale limit up to date first, so that it cannot shrink later
    if (column > columnLimit_) columnLimit_ = std::min(kHardColumnLimit, column);
}

void TCustomCodeEdit::SetCaretXYEx(TBufferCoord p, bool ensureVisible) {
    DoOnPaintTransient(ttBefore);
    const int count = lines_->Count();
    p.Line = std::max(1, std::min(p.Line, count));
    int limit;
    if (HasOption(eoScrollPastEol))
        limit = ColumnLimit();
    else
        limit = count == 0 ? 1 : LineCharCount(lines_->Get(p.Line - 1)) + 1;
    p.Column = std::clamp(p.Column, 1, limit);
    if (p == caret_) {
        desiredColumn_ = LogicalToDisplay(caret_).Column;
    } else {
        BeginPaintLock();
        if (p.Column != caret_.Column) pendingStatus_ |= stCaretColumn;
        if (p.Line != caret_.Line) pendingStatus_ |= stCaretLine;
        caret_ = p;
        desiredColumn_ = LogicalToDisplay(caret_).Column;
        if (ensureVisible) EnsureCaretVisible(false);
        caretUpdatePending_ = true;
        scrollBarsPending_ = true;
        EndPaintLock();
    }
    DoOnPaintTransient(ttAfter);
}

QRect TCustomCodeEdit::CaretShapeRect(const QPoint& topLeft) const {
    const TCaretType type = insertMode_ ? insertCaret_ : overwriteCaret_;
    switch (type) {
        case ctVerticalLine:
            return {topLeft.x() - 1, topLeft.y(), 2, lineHeight_ - 2};
        case ctHorizontalLine:
            return {topLeft.x(), topLeft.y() + lineHeight_ - 2, charWidth_, 2};
        case ctHalfBlock: {
            const int h = (lineHeight_ - 2) / 2;
            return {topLeft.x(), topLeft.y() + h, charWidth_, h};
        }
        case ctBlock:
            return {topLeft.x(), topLeft.y(), charWidth_, lineHeight_ - 2};
    }
    return {};
}

QRect TCustomCodeEdit::CaretRect() const {
    if (!caretShown_) return {};
    return CaretShapeRect(caretPixel_);
}

void TCustomCodeEdit::UpdateCaret() {
    if (paintLockCount_ > 0 || !hasFocus()) {
        caretUpdatePending_ = true;
        return;
    }
    caretUpdatePending_ = false;
    QPoint p = PositionToPixel(caret_);
    p.ry() += 1;
    const QRect client = viewport()->rect();
    const bool visible =
        !(p.x() < gutterWidth_ + 2 - 1 || p.x() > client.width() || p.y() > client.height() || p.y() < 0) &&
        !HasOption(eoNoCaret);
    const QRect old = CaretRect();
    caretPixel_ = p;
    caretShown_ = visible;
    caretBlinkOn_ = true;
    const QRect now = CaretRect();
    if (old != now) {
        if (!old.isEmpty()) viewport()->update(old);
        if (!now.isEmpty()) viewport()->update(now);
    }
    if (visible) QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle);
}

void TCustomCodeEdit::BlinkCaret() {
    if (!caretShown_) return;
    caretBlinkOn_ = !caretBlinkOn_;
    viewport()->update(CaretRect());
}

// --- selection ------------------------------------------------------------------------------------

bool TCustomCodeEdit::HasSelection() const {
    return selAnchor_.Column != selActive_.Column || (selAnchor_.Line != selActive_.Line && selectionMode_ != smColumn);
}

std::string TCustomCodeEdit::SelectedText() const {
    if (!HasSelection()) return std::string();
    return SelectedTextOf(*lines_, SelStartPos(), SelEndPos(), selectionMode_, HasOption(eoTrimTrailingSpaces));
}

void TCustomCodeEdit::SetSelectionMode(TSelectionMode mode) {
    if (mode == selectionMode_) return;
    selectionMode_ = mode;
    if (HasSelection()) InvalidateAll();
    StatusChanged(stSelection);
}

void TCustomCodeEdit::SetSelAnchor(TBufferCoord p) {
    const int count = lines_->Count();
    p.Column = std::clamp(p.Column, 1, ColumnLimit());
    p.Line = std::max(1, std::min(p.Line, count));
    if (selectionMode_ == smNormal)
        p.Column = std::min(p.Column, p.Line <= count ? LineCharCount(lines_->Get(p.Line - 1)) + 1 : 1);
    bool changed;
    if (HasSelection()) {
        const TBufferCoord s = SelStartPos(), e = SelEndPos();
        InvalidateLines(std::min(s.Line, p.Line), std::max(e.Line, p.Line));
        changed = true;
    } else {
        changed = selAnchor_ != p || selActive_ != p;
    }
    selAnchor_ = p;
    selActive_ = p;
    if (changed) StatusChanged(stSelection);
}

void TCustomCodeEdit::SetSelActive(TBufferCoord p) {
    if (HasOption(eoNoSelection)) return;
    const int count = lines_->Count();
    p.Column = std::clamp(p.Column, 1, ColumnLimit());
    p.Line = std::max(1, std::min(p.Line, count));
    if (selectionMode_ == smNormal)
        p.Column = std::min(p.Column, p.Line <= count ? LineCharCount(lines_->Get(p.Line - 1)) + 1 : 1);
    if (p == selActive_) return;
    if (selectionMode_ != smColumn || p.Column == selActive_.Column) {
        if (!(selectionMode_ == smColumn && selAnchor_.Column == p.Column))
            InvalidateLines(std::min(selActive_.Line, p.Line), std::max(selActive_.Line, p.Line));
    } else {
        InvalidateLines(std::min({selAnchor_.Line, selActive_.Line, p.Line}),
                        std::max({selAnchor_.Line, selActive_.Line, p.Line}));
    }
    selActive_ = p;
    StatusChanged(stSelection);
}

void TCustomCodeEdit::SetCaretAndSelect(TBufferCoord caret, TBufferCoord anchor, TBufferCoord active) {
    BeginPaintLock();
    SetCaretXYEx(caret, true);
    SetSelAnchor(anchor);
    SetSelActive(active);
    EndPaintLock();
}

void TCustomCodeEdit::MoveCaretAndSelect(TBufferCoord from, TBufferCoord to, bool extend) {
    if (HasOption(eoGroupUndo)) AddUndoBreak();
    BeginPaintLock();
    if (extend) {
        // A column block of no width (after vertical moves only) is still a block: its anchor
        // stays where the selection began.
        const bool emptyBlock = selectionMode_ == smColumn && selActive_ == from && selAnchor_ != selActive_;
        if (!HasSelection() && !emptyBlock) SetSelAnchor(from);
        SetSelActive(to);
    } else {
        SetSelAnchor(to);
    }
    SetCaretXY(to);
    EndPaintLock();
}

void TCustomCodeEdit::SelectAll() {
    const int count = lines_->Count();
    const TBufferCoord end =
        count == 0 ? TBufferCoord{1, 1} : TBufferCoord{LineCharCount(lines_->Get(count - 1)) + 1, count};
    BeginPaintLock();
    SetCaretXY(end);
    SetSelAnchor({1, 1});
    SetSelActive(end);
    InvalidateAll();
    StatusChanged(stSelection);
    EndPaintLock();
}

bool TCustomCodeEdit::IsPointInSelection(TBufferCoord p) const {
    if (!HasSelection()) return false;
    const TBufferCoord s = SelStartPos(), e = SelEndPos();
    switch (selectionMode_) {
        case smLine:
            return p.Line >= s.Line && p.Line <= e.Line;
        case smColumn:
            return p.Line >= s.Line && p.Line <= e.Line && p.Column >= std::min(s.Column, e.Column) &&
                   p.Column < std::max(s.Column, e.Column);
        case smNormal:
            return s <= p && p < e;
    }
    return false;
}

void TCustomCodeEdit::SelectWordAt(TBufferCoord p) {
    const int count = lines_->Count();
    if (count == 0) return;
    p.Line = std::clamp(p.Line, 1, count);
    p.Column = std::clamp(p.Column, 1, ColumnLimit());
    std::u32string t;
    DecodeUtf8(lines_->Get(p.Line - 1), t);
    const int n = static_cast<int>(t.size()) + 1;  // with the terminating NUL
    if (p.Column >= n) {
        SetCaretAndSelect({n, p.Line}, {n, p.Line}, {n, p.Line});
        return;
    }
    TCharSet w;
    if (highlighter_ != nullptr) {
        w = highlighter_->IdentifierChars();
    } else {
        for (int c = 0; c < 256; ++c)
            if (QChar(static_cast<char16_t>(c)).isLetterOrNumber()) w.set(static_cast<size_t>(c));
    }
    auto at = [&](int column) -> char32_t {
        return column >= 1 && column < n ? t[static_cast<size_t>(column - 1)] : 0;
    };
    int end = n;
    for (int c = p.Column; c <= n - 1; ++c) {
        if (!IsWordChar(w, at(c))) {
            end = c;
            break;
        }
    }
    int start = 1;
    for (int c = p.Column - 1; c >= 1; --c) {
        if (!IsWordChar(w, at(c))) {
            start = c + 1;
            break;
        }
    }
    SetCaretAndSelect({end, p.Line}, {start, p.Line}, {end, p.Line});
    InvalidateLine(p.Line);
    StatusChanged(stSelection);
}

// --- view -----------------------------------------------------------------------------------------

void TCustomCodeEdit::SetFirstVisibleLine(int line) {
    const int count = lines_->Count();
    const int maximum = HasOption(eoScrollPastEof) ? count : count - visibleLineCount_ + 1;
    line = std::max(1, std::min(line, maximum));
    if (line == firstVisibleLine_) return;
    firstVisibleLine_ = line;
    UpdateScrollBars();
    // The caret is painted with the text, so the whole view is painted again rather than
    // scrolled; one screen paints in well under a millisecond.
    viewport()->update();
    UpdateCaret();
    StatusChanged(stFirstLine);
}

void TCustomCodeEdit::SetFirstVisibleColumn(int column) {
    const int widest = HasOption(eoScrollPastEol) ? ColumnLimit() : lines_->LongestLineLength();
    const int maximum = widest - visibleColumnCount_ + 1;
    column = std::max(1, std::min(column, maximum));
    if (column == firstVisibleColumn_) return;
    firstVisibleColumn_ = column;
    UpdateScrollBars();
    InvalidateAll();
    UpdateCaret();
    StatusChanged(stFirstColumn);
}

void TCustomCodeEdit::EnsureCaretVisible(bool middle) {
    BeginPaintLock();
    const int d = LogicalToDisplay(caret_).Column;
    if (d < firstVisibleColumn_)
        SetFirstVisibleColumn(d);
    else if (d > firstVisibleColumn_ + visibleColumnCount_)
        SetFirstVisibleColumn(d - visibleColumnCount_ + 1);
    else
        SetFirstVisibleColumn(firstVisibleColumn_);
    const int line = caret_.Line;
    if (middle) {
        if (line < firstVisibleLine_ - 1) {
            const int top = line - visibleLineCount_ / 2 + 1;
            SetFirstVisibleLine(top < 0 ? 1 : top);
        } else if (line > firstVisibleLine_ + visibleLineCount_ - 2) {
            SetFirstVisibleLine(line - (visibleLineCount_ - 1) + visibleLineCount_ / 2);
        }
    } else if (line < firstVisibleLine_) {
        SetFirstVisibleLine(line);
    } else if (line > firstVisibleLine_ + std::max(1, visibleLineCount_) - 1) {
        SetFirstVisibleLine(line - visibleLineCount_ + 1);
    } else {
        SetFirstVisibleLine(firstVisibleLine_);
    }
    EndPaintLock();
}

void TCustomCodeEdit::InvalidateRect(const QRect& rect) {
    if (rect.isEmpty()) return;
    if (linesChanging_)
        collectedInvalid_ = collectedInvalid_.united(rect);
    else
        viewport()->update(rect);
}

void TCustomCodeEdit::InvalidateLines(int first, int last) {
    const QRect client = viewport()->rect();
    if (first == -1 && last == -1) {
        InvalidateRect(QRect(gutterWidth_, 0, client.width() - gutterWidth_, client.height()));
        return;
    }
    if (last < 0) last = firstVisibleLine_ + visibleLineCount_;
    if (last < first) std::swap(first, last);
    first = std::max(first, firstVisibleLine_);
    last = std::min(last, firstVisibleLine_ + visibleLineCount_);
    if (last < first) return;
    const int top = (first - firstVisibleLine_) * lineHeight_;
    const int bottom = (last - firstVisibleLine_ + 1) * lineHeight_;
    InvalidateRect(QRect(gutterWidth_, top, client.width() - gutterWidth_, bottom - top));
}

void TCustomCodeEdit::InvalidateGutterLines(int first, int last) {
    if (gutterWidth_ <= 0) return;
    const QRect client = viewport()->rect();
    if (first == -1 && last == -1) {
        InvalidateRect(QRect(0, 0, gutterWidth_, client.height()));
        return;
    }
    if (last < 0) last = firstVisibleLine_ + visibleLineCount_;
    if (last < first) std::swap(first, last);
    first = std::max(first, firstVisibleLine_);
    last = std::min(last, firstVisibleLine_ + visibleLineCount_);
    if (last < first) return;
    const int top = (first - firstVisibleLine_) * lineHeight_;
    InvalidateRect(QRect(0, top, gutterWidth_, (last - first + 1) * lineHeight_));
}

void TCustomCodeEdit::InvalidateAll() {
    if (linesChanging_)
        collectedInvalid_ = collectedInvalid_.united(viewport()->rect());
    else
        viewport()->update();
}

void TCustomCodeEdit::EndPaintLock() {
    if (paintLockCount_ > 0) --paintLockCount_;
    if (paintLockCount_ > 0) return;
    if (scrollBarsPending_) UpdateScrollBars();
    if (caretUpdatePending_) UpdateCaret();
    if (pendingStatus_ != 0) DoStatusChange();
}

void TCustomCodeEdit::StatusChanged(TStatusChanges changes) {
    pendingStatus_ |= changes;
    if (paintLockCount_ == 0) DoStatusChange();
}

void TCustomCodeEdit::DoStatusChange() {
    if (pendingStatus_ & (stCaretColumn | stCaretLine | stSelection)) NotifyCodeEditCaretMoved(*this);
    if (!OnStatusChange) return;  // the set keeps growing until someone listens
    const TStatusChanges changes = pendingStatus_;
    pendingStatus_ = 0;
    OnStatusChange(this, changes);
}

void TCustomCodeEdit::DoOnPaintTransient(TTransientType type, bool locked) {
    bool fire;
    if (locked) {
        if (type == ttBefore) {
            fire = transientLockCount_ == 0;
            ++transientLockCount_;
        } else {
            transientLockCount_ = std::max(0, transientLockCount_ - 1);
            fire = transientLockCount_ == 0;
        }
    } else {
        fire = transientLockCount_ == 0;
    }
    if (fire && OnPaintTransient) OnPaintTransient(this, nullptr, type);
}

// --- scroll bars ----------------------------------------------------------------------------------

void TCustomCodeEdit::UpdateScrollBars() {
    if (paintLockCount_ > 0) {
        scrollBarsPending_ = true;
        return;
    }
    scrollBarsPending_ = false;
    settingScrollBars_ = true;
    const bool hideShow = HasOption(eoHideShowScrollbars);
    if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) {
        QScrollBar* bar = verticalScrollBar();
        const int count = lines_->Count();
        const int n = count + (HasOption(eoScrollPastEof) ? visibleLineCount_ - 1 : 0);
        int minimum, maximum, page, position;
        if (n > kHardColumnLimit) {
            // Past the scroll bar's 16-bit range the bar works in a scaled range.
            minimum = 0;
            page = static_cast<int>(std::llround(static_cast<double>(visibleLineCount_) * 32767 / n));
            maximum = 32767;
            position = static_cast<int>(std::llround(static_cast<double>(firstVisibleLine_) * 32767 / n));
        } else {
            minimum = 1;
            maximum = std::max(1, n);
            page = visibleLineCount_;
            position = firstVisibleLine_;
        }
        // The bar's maximum is the last position of the thumb's top.
        const int top = std::max(minimum, maximum - std::max(page, 1) + 1);
        bar->setRange(minimum, top);
        bar->setPageStep(std::max(page, 1));
        bar->setSingleStep(1);
        bar->setValue(position);
        const bool canScroll = top > minimum;
        bar->setEnabled(canScroll);
        if (hideShow) setVerticalScrollBarPolicy(canScroll ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    }
    if (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth) {
        QScrollBar* bar = horizontalScrollBar();
        const int maximum = HasOption(eoScrollPastEol) ? ColumnLimit() : std::max(lines_->LongestLineLength(), 1);
        const int page = std::max(visibleColumnCount_, 1);
        const int top = std::max(1, maximum - page + 1);
        bar->setRange(1, top);
        bar->setPageStep(page);
        bar->setSingleStep(1);
        bar->setValue(firstVisibleColumn_);
        bar->setEnabled(top > 1);
        if (hideShow) setHorizontalScrollBarPolicy(top > 1 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    }
    settingScrollBars_ = false;
}

void TCustomCodeEdit::scrollContentsBy(int, int) {
    // The view follows FirstVisibleLine / FirstVisibleColumn, set from the bars' signals.
}

void TCustomCodeEdit::ShowScrollHint() {
    if (!HasOption(eoShowScrollHint)) return;
    const int count = lines_->Count();
    QString text;
    if (scrollHintFormat_ == shfTopLineOnly)
        text = QString("Top Line: %1").arg(firstVisibleLine_);
    else
        text = QString("%1 - %2")
                   .arg(firstVisibleLine_)
                   .arg(firstVisibleLine_ + std::min(visibleLineCount_, count - firstVisibleLine_));
    QPoint at(viewport()->width() - 4, 10);
    if (HasOption(eoScrollHintFollows)) {
        const QScrollBar* bar = verticalScrollBar();
        const int arrow = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        const int span = std::max(1, bar->maximum() - bar->minimum());
        at.setY(arrow + (viewport()->height() - 2 * arrow) * (bar->value() - bar->minimum()) / span);
    }
    QPalette palette = QToolTip::palette();
    palette.setColor(QPalette::ToolTipBase, ResolveColor(scrollHintColor_));
    QToolTip::setPalette(palette);
    QToolTip::showText(viewport()->mapToGlobal(at), text, viewport());
}

// --- properties -----------------------------------------------------------------------------------

void TCustomCodeEdit::SetOptions(TCodeEditorOptions value) {
    if (value == options_) return;
    const TCodeEditorOptions old = options_;
    SetFirstVisibleColumn(firstVisibleColumn_);
    SetFirstVisibleLine(firstVisibleLine_);
    options_ = value;
    if (!HasOption(eoScrollPastEol)) SetCaretX(caret_.Column);
    if ((old ^ value) & OptionBit(eoShowSpecialChars)) InvalidateAll();
    if ((old ^ value) & OptionBit(eoNoCaret)) UpdateCaret();
    UpdateScrollBars();
}

void TCustomCodeEdit::SetReadOnly(bool value) {
    if (value == readOnly_) return;
    readOnly_ = value;
    StatusChanged(stReadOnly);
}

void TCustomCodeEdit::SetInsertMode(bool value) {
    if (value == insertMode_) return;
    insertMode_ = value;
    // The caret takes the shape of the new mode.
    viewport()->update(CaretRect());
    UpdateCaret();
    viewport()->update(CaretRect());
    StatusChanged(stInsertMode);
}

void TCustomCodeEdit::SetInsertCaret(TCaretType value) {
    if (value == insertCaret_) return;
    insertCaret_ = value;
    InvalidateAll();
}

void TCustomCodeEdit::SetOverwriteCaret(TCaretType value) {
    if (value == overwriteCaret_) return;
    overwriteCaret_ = value;
    InvalidateAll();
}

void TCustomCodeEdit::SetMaxLeftChar(int value) {
    value = std::clamp(value, 1, kHardColumnLimit);
    if (value == maxLeftChar_) return;
    maxLeftChar_ = value;
    columnLimitStale_ = true;
    UpdateScrollBars();
    InvalidateAll();
}

void TCustomCodeEdit::SetRightEdge(int value) {
    if (value == rightEdge_) return;
    rightEdge_ = value;
    InvalidateAll();
}

void TCustomCodeEdit::SetRightEdgeColor(TColor value) {
    if (value == rightEdgeColor_) return;
    rightEdgeColor_ = value;
    InvalidateAll();
}

void TCustomCodeEdit::SetTabWidth(int value) {
    value = std::clamp(value, 1, 256);
    if (value == tabWidth_) return;
    tabWidth_ = value;
    lines_->SetTabWidth(value);
    columnLimitStale_ = true;
    InvalidateAll();
}

void TCustomCodeEdit::SetHideSelection(bool value) {
    if (value == hideSelection_) return;
    hideSelection_ = value;
    InvalidateAll();
}

void TCustomCodeEdit::SetExtraLineSpacing(int value) {
    if (value == extraLineSpacing_) return;
    extraLineSpacing_ = value;
    RecalcCharExtent();
    SizeOrFontChanged(true);
}

void TCustomCodeEdit::SetScrollBars(TScrollStyle value) {
    if (value == scrollBars_) return;
    scrollBars_ = value;
    setHorizontalScrollBarPolicy(value == ssHorizontal || value == ssBoth ? Qt::ScrollBarAlwaysOn
                                                                          : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(value == ssVertical || value == ssBoth ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    UpdateScrollBars();
}

void TCustomCodeEdit::SetColor(TColor value) {
    if (value == color_) return;
    color_ = value;
    InvalidateAll();
}

void TCustomCodeEdit::SetFontColor(TColor value) {
    if (value == fontColor_) return;
    fontColor_ = value;
    InvalidateAll();
}

void TCustomCodeEdit::SetEditorFont(const QFont& value) {
    if (QFontInfo(value).fixedPitch()) {
        setFont(value);
        return;
    }
    // A proportional font would break the grid: keep our own family, take size and style.
    QFont font = this->font();
    if (value.pixelSize() > 0)
        font.setPixelSize(value.pixelSize());
    else
        font.setPointSizeF(value.pointSizeF());
    font.setBold(value.bold());
    font.setItalic(value.italic());
    font.setUnderline(value.underline());
    font.setStrikeOut(value.strikeOut());
    font.setFixedPitch(true);
    setFont(font);
}

void TCustomCodeEdit::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange && drawer_) {
        RecalcCharExtent();
        SizeOrFontChanged(true);
    }
}

void TCustomCodeEdit::SetHighlighter(TCustomHighlighter* value) {
    if (value == highlighter_) return;
    if (highlighter_ != nullptr) highlighter_->UnhookAttributeChanges(this);
    highlighter_ = value;
    if (highlighter_ != nullptr) {
        highlighter_->HookAttributeChanges(this, [this](TCustomHighlighter*) { HighlighterChanged(); });
        if (lines_->Count() > 0) {
            lines_->BeginUpdate();
            RescanAll();
            lines_->EndUpdate();
        }
    }
    RecalcCharExtent();
    SizeOrFontChanged(true);
}

void TCustomCodeEdit::HighlighterChanged() {
    // A new word list or dialect can change every line's state.
    if (highlighter_ != nullptr && lines_->Count() > 0) RescanAll();
    RecalcCharExtent();
    SizeOrFontChanged(true);
}

void TCustomCodeEdit::SetKeystrokes(const TCodeEditKeyStrokes* value) {
    if (value == nullptr)
        keystrokes_.Clear();
    else
        keystrokes_.Assign(*value);
}

// --- metrics --------------------------------------------------------------------------------------

void TCustomCodeEdit::RecalcCharExtent() {
    const QFont f = font();
    drawer_->SetBaseFont(&f);
    bool italic = f.italic();
    bool bold = f.bold();
    if (highlighter_ != nullptr) {
        italic = bold = false;
        for (int i = 0; i < highlighter_->AttributeCount(); ++i) {
            const TFontStyles s = highlighter_->AttributeAt(i)->Style();
            italic = italic || s.Contains(TFontStyle::fsItalic);
            bold = bold || s.Contains(TFontStyle::fsBold);
        }
    }
    drawer_->SetBaseStyle(italic ? TFontStyles{TFontStyle::fsItalic} : TFontStyles{});
    lineHeight_ = std::max(1, drawer_->CharHeight() + extraLineSpacing_);
    drawer_->SetBaseStyle(bold ? TFontStyles{TFontStyle::fsBold} : TFontStyles{});
    charWidth_ = std::max(1, drawer_->CharWidth());
}

void TCustomCodeEdit::SizeOrFontChanged(bool fontChanged) {
    const QSize size = viewport()->size();
    visibleLineCount_ = size.height() / lineHeight_;
    visibleColumnCount_ = std::max(0, (size.width() - gutterWidth_ - 2) / charWidth_);
    UpdateScrollBars();
    if (!HasOption(eoScrollPastEol)) SetFirstVisibleColumn(firstVisibleColumn_);
    if (!HasOption(eoScrollPastEof)) SetFirstVisibleLine(firstVisibleLine_);
    if (fontChanged) {
        if (gutter_.ShowLineNumbers()) GutterChanged();
        UpdateCaret();
        InvalidateAll();
    }
}

void TCustomCodeEdit::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    SizeOrFontChanged(false);
}

// --- buffer notifications and rescanning ----------------------------------------------------------

int TCustomCodeEdit::RescanFrom(int index) {
    const int count = lines_->Count();
    if (highlighter_ == nullptr || index >= count - 1) return index;
    std::string text = lines_->Get(index);
    highlighter_->StartLine(std::string_view(text), index);
    highlighter_->SkipToLineEnd();
    ++scannedLines_;
    int i = index + 1;
    while (i < count) {
        const intptr_t state = highlighter_->LineState();
        if (state == lines_->LineState(i)) break;
        lines_->SetLineState(i, state);
        text = lines_->Get(i);
        highlighter_->StartLine(std::string_view(text), i);
        highlighter_->SkipToLineEnd();
        ++scannedLines_;
        ++i;
    }
    return i - 1;
}

void TCustomCodeEdit::RescanAll() {
    if (highlighter_ == nullptr) return;
    highlighter_->ResetLineState();
    const int count = lines_->Count();
    std::string text;
    for (int i = 0; i < count; ++i) {
        lines_->SetLineState(i, highlighter_->LineState());
        text = lines_->Get(i);
        highlighter_->StartLine(std::string_view(text), i);
        highlighter_->SkipToLineEnd();
        ++scannedLines_;
    }
}

void TCustomCodeEdit::RescanAround(int index) {
    if (highlighter_ == nullptr || lines_->Count() == 0) return;
    if (index <= 0) {
        highlighter_->ResetLineState();
        lines_->SetLineState(0, highlighter_->LineState());
        if (lines_->Count() > 1) RescanFrom(0);
    } else {
        const int from = std::min(index - 1, lines_->Count() - 1);
        highlighter_->SetLineState(lines_->LineState(from));
        RescanFrom(from);
    }
}

void TCustomCodeEdit::LineAdded(int index, const std::string& s) {
    RescanAround(index);
    InvalidateLines(index + 1, -2);
    InvalidateGutterLines(index + 1, -2);
    if (HasOption(eoAutoSizeMaxLeftChar) && maxLeftChar_ < LineCharCount(s) + 1) SetMaxLeftChar(LineCharCount(s) + 1);
    GrowColumnLimit(s);
}

void TCustomCodeEdit::LineInserted(int index, const std::string& s) {
    if (lines_->Count() > 0) RescanAround(index);
    InvalidateLines(index + 1, firstVisibleLine_ + visibleLineCount_);
    InvalidateGutterLines(index + 1, firstVisibleLine_ + visibleLineCount_);
    if (HasOption(eoAutoSizeMaxLeftChar) && maxLeftChar_ < LineCharCount(s) + 1) SetMaxLeftChar(LineCharCount(s) + 1);
    GrowColumnLimit(s);
}

void TCustomCodeEdit::LineDeleted(int index) {
    if (lines_->Count() > 0) RescanAround(index);
    InvalidateLines(index + 1, -2);
    InvalidateGutterLines(index + 1, -2);
}

void TCustomCodeEdit::LinePut(int index, const std::string& s) {
    int last = index;
    if (highlighter_ != nullptr) {
        highlighter_->SetLineState(lines_->LineState(index));
        last = RescanFrom(index);
    }
    InvalidateLines(index + 1, last + 1);
    if (HasOption(eoAutoSizeMaxLeftChar) && LineCharCount(s) + 1 >= maxLeftChar_) SetMaxLeftChar(LineCharCount(s) + 2);
    GrowColumnLimit(s);
}

void TCustomCodeEdit::LinesCleared() {
    ClearUndoLists();
    collectedInvalid_ = QRect();
    viewport()->update();
    caret_ = selAnchor_ = selActive_ = TBufferCoord{1, 1};
    desiredColumn_ = 1;
    firstVisibleLine_ = 1;
    firstVisibleColumn_ = 1;
    columnLimit_ = maxLeftChar_;
    columnLimitStale_ = true;
    pendingStatus_ |= stAll;
}

void TCustomCodeEdit::LinesChanging() {
    linesChanging_ = true;
}

void TCustomCodeEdit::LinesChanged() {
    linesChanging_ = false;
    UpdateScrollBars();
    if (HasSelection()) InvalidateAll();
    selAnchor_ = caret_;
    selActive_ = caret_;
    if (!collectedInvalid_.isEmpty()) viewport()->update(collectedInvalid_);
    collectedInvalid_ = QRect();
    if (gutter_.ShowLineNumbers() && gutter_.AutoSize()) gutter_.AutoSizeDigits(lines_->Count());
    if (!HasOption(eoScrollPastEof)) SetFirstVisibleLine(firstVisibleLine_);
    UpdateCaret();
}

// --- keys and commands ----------------------------------------------------------------------------

TCodeEditorCommand TCustomCodeEdit::TranslateKey(uint16_t key, TShiftState shift) {
    return keyTranslator_.TranslateKey(keystrokes_, key, shift);
}

bool TCustomCodeEdit::KeyDown(uint16_t key, TShiftState shift) {
    if (OnKeyDown) OnKeyDown(this, key, shift);
    if (key == 0) {
        ignoreNextChar_ = false;
        return false;
    }
    const TCodeEditorCommand command = TranslateKey(key, shift);
    if (command == ecNone) {
        ignoreNextChar_ = false;
        return false;
    }
    ignoreNextChar_ = true;
    if (command >= ecSetMarker0 && command <= ecSetMarker9) {
        TBufferCoord at = caret_;
        ProcessEditorCommand(command, 0, &at);
    } else {
        ProcessEditorCommand(command, 0, nullptr);
    }
    return true;
}

void TCustomCodeEdit::KeyPress(char32_t ch) {
    if (ignoreNextChar_) {
        ignoreNextChar_ = false;
        return;
    }
    if (OnKeyPress) OnKeyPress(this, ch);
    ProcessEditorCommand(ecChar, ch, nullptr);
}

void TCustomCodeEdit::keyPressEvent(QKeyEvent* event) {
    const TVirtualKey key = VirtualKeyOf(*event);
    // Tab belongs to the window's focus handling unless the editor wants tabs.
    if (key.key == vk::Tab && (!wantTabs_ || (key.shift & ssCtrl))) {
        event->ignore();
        return;
    }
    // One Qt key event carries both the key and its text: a key the table binds is a command,
    // and its text is not typed.
    if (KeyDown(key.key, key.shift)) {
        event->accept();
        return;
    }
    const auto mods = event->modifiers();
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    const QString text = event->text();
    bool typed = false;
    if (!text.isEmpty() && ctrl == alt) {
        for (char32_t c : text.toUcs4()) {
            if (c < 32 || c == 127) continue;
            ignoreNextChar_ = false;
            KeyPress(c);
            typed = true;
        }
    }
    if (typed)
        event->accept();
    else
        event->ignore();
}

bool TCustomCodeEdit::focusNextPrevChild(bool next) {
    if (wantTabs_) return false;
    return QAbstractScrollArea::focusNextPrevChild(next);
}

bool TCustomCodeEdit::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // Keys the table binds belong to the editor, not to the window's shortcuts.
        auto* key = static_cast<QKeyEvent*>(event);
        const TVirtualKey v = VirtualKeyOf(*key);
        if (v.key != 0 && keystrokes_.FindKeystroke(v.key, v.shift) >= 0) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TCustomCodeEdit::inputMethodEvent(QInputMethodEvent* event) {
    const QString committed = event->commitString();
    if (!committed.isEmpty()) {
        std::string s = committed.toStdString();
        ProcessEditorCommand(ecImeStr, 0, &s);
    }
    event->accept();
}

QVariant TCustomCodeEdit::inputMethodQuery(Qt::InputMethodQuery query) const {
    switch (query) {
        case Qt::ImCursorRectangle: {
            QPoint p = PositionToPixel(caret_);
            return QRect(p + viewport()->pos(), QSize(charWidth_, lineHeight_));
        }
        case Qt::ImFont:
            return font();
        case Qt::ImEnabled:
            return !readOnly_;
        default:
            return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void TCustomCodeEdit::ProcessEditorCommand(TCodeEditorCommand command, char32_t ch, void* payload) {
    if (command > 1000) {
        if (OnProcessUserCommand) OnProcessUserCommand(this, command, ch, payload);
    } else if (OnProcessCommand) {
        OnProcessCommand(this, command, ch, payload);
    }
    if (command != ecNone && command < ecUserFirst) ExecuteEditorCommand(command, ch, payload);
    if (OnCommandProcessed) OnCommandProcessed(this, command, ch, payload);
}

TCharSet TCustomCodeEdit::WordChars() const {
    if (highlighter_ == nullptr) return DefaultWordChars();
    return highlighter_->IdentifierChars() & ~highlighter_->WordDelimiters();
}

void TCustomCodeEdit::MoveCaretHorz(int columns, bool select) {
    TBufferCoord dest = caret_;
    const int count = lines_->Count();
    const int length = caret_.Line <= count ? LineCharCount(lines_->Get(caret_.Line - 1)) : 0;
    if (!HasOption(eoScrollPastEol) && columns < 0 && caret_.Column <= 1) {
        if (caret_.Line > 1) dest = {LineCharCount(lines_->Get(caret_.Line - 2)) + 1, caret_.Line - 1};
    } else if (!HasOption(eoScrollPastEol) && columns > 0 && caret_.Column > length) {
        if (caret_.Line < count) dest = {1, caret_.Line + 1};
    } else {
        dest.Column = std::max(1, caret_.Column + columns);
        if (!HasOption(eoScrollPastEol)) dest.Column = std::min(dest.Column, length + 1);
    }
    MoveCaretAndSelect(caret_, dest, select);
}

void TCustomCodeEdit::MoveCaretVert(int lines, bool select) {
    TDisplayCoord d = LogicalToDisplay(caret_);
    const int count = std::max(1, lines_->Count());
    const int64_t wanted = static_cast<int64_t>(caret_.Line) + lines;
    const int target = static_cast<int>(std::clamp<int64_t>(wanted, 1, count));
    if (HasOption(eoKeepCaretX) && target != caret_.Line) d.Column = desiredColumn_;
    const TBufferCoord dest = DisplayToLogical({d.Column, target});
    const int saved = desiredColumn_;
    MoveCaretAndSelect(caret_, dest, select);
    desiredColumn_ = saved;
}

void TCustomCodeEdit::MoveCaretToLineStart(bool select) {
    int target = 1;
    if (HasOption(eoEnhanceHomeKey) && caret_.Line <= lines_->Count()) {
        std::u32string t;
        DecodeUtf8(lines_->Get(caret_.Line - 1), t);
        int first = 1;
        const int scanTo = static_cast<int>(t.size()) - 1;
        while (first <= scanTo &&
               (t[static_cast<size_t>(first - 1)] == U' ' || t[static_cast<size_t>(first - 1)] == U'\t'))
            ++first;
        target = first;
        if (caret_.Column <= first && caret_.Column != 1) target = 1;
    }
    MoveCaretAndSelect(caret_, {target, caret_.Line}, select);
}

void TCustomCodeEdit::FindMatchingBracket() {
    static constexpr char32_t kBrackets[] = {U'(', U')', U'[', U']', U'{', U'}', U'<', U'>'};
    const int count = lines_->Count();
    if (caret_.Line > count) return;
    std::u32string line;
    DecodeUtf8(lines_->Get(caret_.Line - 1), line);
    const char32_t c =
        caret_.Column <= static_cast<int>(line.size()) ? line[static_cast<size_t>(caret_.Column - 1)] : 0;
    int which = -1;
    for (int i = 0; i < 8; ++i)
        if (kBrackets[i] == c) which = i;
    if (which < 0) return;
    const char32_t same = c;
    const char32_t partner = kBrackets[which ^ 1];
    const bool forward = (which % 2) == 0;

    // Characters of a line that lie in string or comment tokens do not count.
    auto ignored = [this](int lineIndex, const std::string& text, std::vector<bool>& out) {
        out.assign(LineCharCount(text) + 1, false);
        if (highlighter_ == nullptr) return;
        THighlighterAttributes* stringAttr = highlighter_->StandardAttribute(3);
        THighlighterAttributes* commentAttr = highlighter_->StandardAttribute(0);
        highlighter_->SetLineState(lines_->LineState(lineIndex));
        highlighter_->StartLine(std::string_view(text), lineIndex);
        while (!highlighter_->AtLineEnd()) {
            THighlighterAttributes* a = highlighter_->TokenStyle();
            if (a != nullptr && (a == stringAttr || a == commentAttr)) {
                const int start = highlighter_->TokenStart();
                const int len = LineCharCount(highlighter_->TokenText());
                for (int k = start; k < start + len && k < static_cast<int>(out.size()); ++k)
                    out[static_cast<size_t>(k)] = true;
            }
            highlighter_->Advance();
        }
    };

    int level = 1;
    std::vector<bool> skip;
    std::string text;
    int l = caret_.Line;
    int col = caret_.Column;
    text = lines_->Get(l - 1);
    DecodeUtf8(text, line);
    ignored(l - 1, text, skip);
    while (true) {
        col += forward ? 1 : -1;
        while (col < 1 || col > static_cast<int>(line.size())) {
            l += forward ? 1 : -1;
            if (l < 1 || l > count) return;
            text = lines_->Get(l - 1);
            DecodeUtf8(text, line);
            ignored(l - 1, text, skip);
            col = forward ? 1 : static_cast<int>(line.size());
            if (line.empty()) col = forward ? 1 : 0;
            if (!line.empty()) break;
        }
        if (col < 1 || col > static_cast<int>(line.size())) continue;
        const char32_t ch = line[static_cast<size_t>(col - 1)];
        if (skip[static_cast<size_t>(col - 1)]) continue;
        if (ch == same) {
            ++level;
        } else if (ch == partner) {
            if (--level == 0) {
                MoveCaretAndSelect(caret_, {col, l}, false);
                return;
            }
        }
    }
}

void TCustomCodeEdit::ExecuteEditorCommand(TCodeEditorCommand command, char32_t ch, void* payload) {
    BeginPaintLock();
    const bool select = command >= ecSelLeft && command <= ecSelGotoXY;
    const TCodeEditorCommand base = select ? static_cast<TCodeEditorCommand>(command - 100) : command;
    const int count = lines_->Count();
    switch (base) {
        case ecLeft:
        case ecRight:
            MoveCaretHorz(base == ecLeft ? -1 : 1, select);
            break;
        case ecUp:
        case ecDown:
            MoveCaretVert(base == ecUp ? -1 : 1, select);
            viewport()->update();
            break;
        case ecWordLeft:
        case ecWordRight: {
            const TBufferCoord to = base == ecWordLeft ? PrevWordStart(*lines_, caret_, WordChars())
                                                       : NextWordStart(*lines_, caret_, WordChars());
            MoveCaretAndSelect(caret_, to, select);
            break;
        }
        case ecLineStart:
            MoveCaretToLineStart(select);
            break;
        case ecLineEnd: {
            const int length = caret_.Line <= count ? LineCharCount(lines_->Get(caret_.Line - 1)) : 0;
            MoveCaretAndSelect(caret_, {length + 1, caret_.Line}, select);
            break;
        }
        case ecPageUp:
        case ecPageDown: {
            int d = HasOption(eoHalfPageScroll) ? visibleLineCount_ / 2 : visibleLineCount_;
            if (HasOption(eoScrollByOneLess)) --d;
            if (base == ecPageUp) d = -d;
            SetFirstVisibleLine(firstVisibleLine_ + d);
            MoveCaretVert(d, select);
            viewport()->update();
            break;
        }
        case ecPageLeft:
        case ecPageRight:
            MoveCaretHorz(base == ecPageLeft ? -visibleColumnCount_ : visibleColumnCount_, select);
            break;
        case ecPageTop:
        case ecPageBottom: {
            const int line = base == ecPageTop ? firstVisibleLine_ : firstVisibleLine_ + visibleLineCount_ - 1;
            MoveCaretAndSelect(caret_, {caret_.Column, std::max(1, std::min(line, count))}, select);
            viewport()->update();
            break;
        }
        case ecEditorTop:
        case ecEditorBottom: {
            TBufferCoord to{1, 1};
            if (base == ecEditorBottom && count > 0) to = {LineCharCount(lines_->Get(count - 1)) + 1, count};
            MoveCaretAndSelect(caret_, to, select);
            viewport()->update();
            break;
        }
        case ecGotoXY:
            if (payload != nullptr) {
                MoveCaretAndSelect(caret_, *static_cast<const TBufferCoord*>(payload), select);
                viewport()->update();
            }
            break;
        case ecSelectAll:
            SelectAll();
            break;
        case ecScrollUp:
        case ecScrollDown: {
            const int last = firstVisibleLine_ + visibleLineCount_ - 1;
            if (caret_.Line < firstVisibleLine_ || caret_.Line > last) {
                EnsureCaretVisible(false);
                break;
            }
            SetFirstVisibleLine(firstVisibleLine_ + (base == ecScrollUp ? -1 : 1));
            const int newLast = firstVisibleLine_ + visibleLineCount_ - 1;
            if (caret_.Line > newLast)
                MoveCaretVert(newLast - caret_.Line, false);
            else if (caret_.Line < firstVisibleLine_)
                MoveCaretVert(firstVisibleLine_ - caret_.Line, false);
            EnsureCaretVisible(false);
            viewport()->update();
            break;
        }
        case ecScrollLeft:
        case ecScrollRight:
            SetFirstVisibleColumn(firstVisibleColumn_ + (base == ecScrollLeft ? -1 : 1));
            viewport()->update();
            break;
        case ecInsertMode:
            SetInsertMode(true);
            break;
        case ecOverwriteMode:
            SetInsertMode(false);
            break;
        case ecToggleMode:
            SetInsertMode(!insertMode_);
            break;
        case ecNormalSelect:
            SetSelectionMode(smNormal);
            break;
        case ecColumnSelect:
            SetSelectionMode(smColumn);
            break;
        case ecLineSelect:
            SetSelectionMode(smLine);
            break;
        case ecMatchBracket:
            FindMatchingBracket();
            break;
        case ecContextHelp:
            if (OnContextHelp) {
                const TBufferCoord from = WordStartAt(*lines_, caret_, WordChars());
                const TBufferCoord to = WordEndAt(*lines_, caret_, WordChars());
                const std::string line = LineText();
                OnContextHelp(this, CopyColumns(line, from.Column, to.Column - from.Column));
            }
            break;
        default:
            ExecuteEditing(command, ch, payload);
            break;
    }
    EndPaintLock();
}

// --- mouse ----------------------------------------------------------------------------------------

void TCustomCodeEdit::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const Qt::MouseButton button = event->button();
    const bool left = button == Qt::LeftButton;
    const bool right = button == Qt::RightButton;
    const bool rightMoves = right && HasOption(eoRightMouseMovesCursor);
    lastMousePos_ = pos;
    lastMouseModifiers_ = event->modifiers();

    if (rightMoves && HasSelection() && !IsPointInSelection(PixelToPosition(pos.x(), pos.y())))
        SetSelAnchor(selAnchor_);
    const TBufferCoord oldAnchor = selAnchor_;
    const bool hadSelection = HasSelection();
    if (left && hadSelection) {
        mouseDownPos_ = pos;
    } else if (hadSelection && !rightMoves) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    if (left || rightMoves) SetCaretXY(PixelToPosition(pos.x(), pos.y()));
    if (left) {
        mouseCaptured_ = true;
        waitForDrag_ = false;
        if (hadSelection && HasOption(eoDragDropEditing) && pos.x() >= gutterWidth_ + 2 && selectionMode_ == smNormal &&
            IsPointInSelection(caret_)) {
            waitForDrag_ = true;
        } else {
            TBufferCoord at = caret_;
            ProcessEditorCommand(ecGotoXY, 0, &at);
        }
    }
    if (!waitForDrag_ && !doubleClicked_ && (left || rightMoves)) {
        if (event->modifiers() & Qt::ShiftModifier) {
            selAnchor_ = oldAnchor;
            SetSelActive(caret_);
            InvalidateAll();
        } else {
            SetSelAnchor(caret_);
            if (HasOption(eoAltSetsColumnMode) && selectionMode_ != smLine)
                SetSelectionMode((event->modifiers() & Qt::AltModifier) ? smColumn : smNormal);
        }
    }
    if (pos.x() < gutterWidth_) gutterClickPending_ = true;
    setFocus(Qt::MouseFocusReason);
    event->accept();
}

void TCustomCodeEdit::ComputeScrollDeltas(int x, int y) {
    const int xx = x - gutterWidth_;
    int dx = xx - visibleColumnCount_ * charWidth_;
    if (dx > 0) dx += charWidth_;
    scrollDeltaX_ = std::max(dx / charWidth_, 0);
    if (scrollDeltaX_ == 0 && xx < 0) scrollDeltaX_ = std::min((xx - charWidth_) / charWidth_, 0);
    int dy = y - visibleLineCount_ * lineHeight_;
    if (dy > 0) dy += lineHeight_;
    scrollDeltaY_ = std::max(dy / lineHeight_, 0);
    if (scrollDeltaY_ == 0 && y < 0) scrollDeltaY_ = std::min((y - lineHeight_) / lineHeight_, 0);
}

void TCustomCodeEdit::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    lastMousePos_ = pos;
    lastMouseModifiers_ = event->modifiers();
    if (mouseCaptured_ && waitForDrag_) {
        const int distance = QApplication::startDragDistance();
        if (std::abs(pos.x() - mouseDownPos_.x()) >= distance || std::abs(pos.y() - mouseDownPos_.y()) >= distance) {
            waitForDrag_ = false;
            mouseCaptured_ = false;
            StartDragOperation();
        }
    } else if ((event->buttons() & Qt::LeftButton) && mouseCaptured_) {
        TBufferCoord p = PixelToPosition(pos.x(), pos.y());
        const QRect client = viewport()->rect();
        if (pos.x() < gutterWidth_ + 2 || pos.x() >= client.width()) p.Column = caret_.Column;
        if (pos.y() < 0 || pos.y() >= client.height()) p.Line = caret_.Line;
        BeginPaintLock();
        SetCaretXY(p);
        SetSelActive(caret_);
        EndPaintLock();
        ComputeScrollDeltas(pos.x(), pos.y());
        if (scrollDeltaX_ != 0 || scrollDeltaY_ != 0) {
            if (!scrollTimer_.isActive()) scrollTimer_.start();
        } else {
            scrollTimer_.stop();
        }
    }
    UpdateMouseCursor(pos);
    event->accept();
}

void TCustomCodeEdit::ScrollTimerTick() {
    BeginPaintLock();
    const TBufferCoord p = PixelToPosition(lastMousePos_.x(), lastMousePos_.y());
    if (scrollDeltaX_ != 0) {
        SetFirstVisibleColumn(firstVisibleColumn_ + scrollDeltaX_);
        const int column = scrollDeltaX_ > 0 ? firstVisibleColumn_ + visibleColumnCount_ : firstVisibleColumn_;
        SetCaretXY(DisplayToLogical({column, p.Line}));
        SetSelActive(caret_);
    }
    if (scrollDeltaY_ != 0) {
        const int step = (lastMouseModifiers_ & Qt::ShiftModifier) ? scrollDeltaY_ * visibleLineCount_ : scrollDeltaY_;
        SetFirstVisibleLine(firstVisibleLine_ + step);
        const int line = scrollDeltaY_ > 0 ? firstVisibleLine_ + visibleLineCount_ - 1 : firstVisibleLine_;
        SetCaretXY({p.Column, line});
        SetSelActive(caret_);
    }
    EndPaintLock();
}

void TCustomCodeEdit::mouseReleaseEvent(QMouseEvent* event) {
    scrollTimer_.stop();
    const QPoint pos = event->position().toPoint();
    mouseCaptured_ = false;
    if (gutterClickPending_ && pos.x() < gutterWidth_) {
        GutterClick(pos.x(), pos.y(), PixelToPosition(pos.x(), pos.y()).Line);
    } else if (waitForDrag_ && !doubleClicked_) {
        BeginPaintLock();
        SetCaretXY(PixelToPosition(pos.x(), pos.y()));
        SetSelAnchor(caret_);
        EndPaintLock();
        waitForDrag_ = false;
    }
    doubleClicked_ = false;
    gutterClickPending_ = false;
    event->accept();
}

void TCustomCodeEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    if (pos.x() < gutterWidth_ + 2) {
        event->accept();
        return;
    }
    SetCaretXY(PixelToPosition(pos.x(), pos.y()));
    if (!HasOption(eoNoSelection)) SelectWordAt(caret_);
    doubleClicked_ = true;
    mouseCaptured_ = false;
    event->accept();
}

void TCustomCodeEdit::UpdateMouseCursor(const QPoint& pos) {
    Qt::CursorShape shape = Qt::IBeamCursor;
    if (pos.x() < gutterWidth_)
        shape = Qt::ArrowCursor;
    else if (HasOption(eoDragDropEditing) && IsPointInSelection(PixelToPosition(pos.x(), pos.y())))
        shape = Qt::ArrowCursor;
    if (viewport()->cursor().shape() != shape) viewport()->setCursor(shape);
}

void TCustomCodeEdit::wheelEvent(QWheelEvent* event) {
    int perNotch;
    if (event->modifiers() & Qt::ControlModifier) {
        perNotch = HasOption(eoHalfPageScroll) ? visibleLineCount_ / 2 : visibleLineCount_;
    } else {
        perNotch = QApplication::wheelScrollLines();
        if (perNotch < 0 || perNotch > visibleLineCount_) perNotch = visibleLineCount_;
    }
    wheelAccumulator_ += event->angleDelta().y();
    const int notches = wheelAccumulator_ / 120;
    wheelAccumulator_ -= notches * 120;
    if (notches != 0) SetFirstVisibleLine(firstVisibleLine_ - notches * perNotch);
    event->accept();
}

// --- focus ----------------------------------------------------------------------------------------

void TCustomCodeEdit::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    ProcessEditorCommand(ecGotFocus, 0, nullptr);
    UpdateCaret();
    if (blinkTimer_.interval() > 0) blinkTimer_.start();
    if (hideSelection_ && HasSelection()) InvalidateAll();
}

void TCustomCodeEdit::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    ProcessEditorCommand(ecLostFocus, 0, nullptr);
    blinkTimer_.stop();
    if (caretShown_) viewport()->update(CaretRect());
    caretShown_ = false;
    if (hideSelection_ && HasSelection()) InvalidateAll();
}

}  // namespace tessel
