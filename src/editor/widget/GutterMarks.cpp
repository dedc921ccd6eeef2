// The editor's gutter: its width, painting and clicks, and the ten bookmarks.

#include <QPainter>
#include <algorithm>
#include <vector>

#include "editor/CodeEditTextUtil.h"
#include "editor/widget/CustomCodeEdit.h"

namespace tessel {

void TCustomCodeEdit::GutterChanged() {
    if (gutter_.ShowLineNumbers() && gutter_.AutoSize()) gutter_.AutoSizeDigits(lines_->Count());
    const int w = gutter_.RealGutterWidth(charWidth_);
    if (w == gutterWidth_)
        InvalidateGutter();
    else
        SetGutterWidth(w);
}

void TCustomCodeEdit::SetGutterWidth(int width) {
    width = std::max(width, 0);
    if (width == gutterWidth_) return;
    gutterWidth_ = width;
    visibleColumnCount_ = std::max(0, (viewport()->width() - gutterWidth_ - 2) / charWidth_);
    UpdateScrollBars();
    UpdateCaret();
    InvalidateAll();
}

void TCustomCodeEdit::PaintGutter(QPainter& painter, const QRect& rect, int firstLine, int lastLine) {
    if (rect.width() <= 0) return;
    if (firstLine == 1 && lastLine == 0) lastLine = 1;
    const QColor background = ResolveColor(gutter_.Color());
    if (gutter_.ShowLineNumbers()) {
        const QFont font = gutter_.UseFontStyle() ? gutter_.Font() : this->font();
        QColor fg = ResolveColor(fontColor_);
        painter.save();
        painter.setFont(font);
        const QFontMetrics metrics(font);
        int bottom = rect.top();
        for (int i = firstLine; i <= lastLine; ++i) {
            const int top = (i - firstVisibleLine_) * lineHeight_;
            const QRect lineRect(rect.left(), top, std::max(rect.right() + 1, gutterWidth_ - 2) - rect.left(),
                                 lineHeight_);
            painter.fillRect(lineRect, background);
            const QString s = QString::fromStdString(gutter_.FormatLineNumber(i));
            const int cx = metrics.horizontalAdvance(s);
            const int cy = metrics.height();
            painter.setPen(fg);
            painter.drawText(
                QPoint(gutterWidth_ - gutter_.RightOffset() - 2 - cx, top + (lineHeight_ - cy) / 2 + metrics.ascent()),
                s);
            bottom = top + lineHeight_;
        }
        if (bottom < rect.bottom() + 1)
            painter.fillRect(QRect(rect.left(), bottom, std::max(rect.right() + 1, gutterWidth_ - 2) - rect.left(),
                                   rect.bottom() + 1 - bottom),
                             background);
        painter.restore();
    } else {
        painter.fillRect(rect, background);
    }
    if (rect.right() >= gutterWidth_ - 2) {
        painter.fillRect(QRect(gutterWidth_ - 2, rect.top(), 1, rect.height()), ResolveColor(color_));
        painter.fillRect(QRect(gutterWidth_ - 1, rect.top(), 1, rect.height()), background);
    }
    if (bookMarkOpt_.GlyphsVisible() && !marks_.Empty() && lastLine >= firstLine)
        DrawMarks(painter, firstLine, lastLine);
}

void TCustomCodeEdit::DrawMarks(QPainter& painter, int firstLine, int lastLine) {
    const int rows = lastLine - firstVisibleLine_ + 1;
    if (rows <= 0) return;
    std::vector<int> offset(static_cast<size_t>(rows), 0);
    const bool bookmarksFirst = bookMarkOpt_.DrawBookmarksFirst();
    const std::vector<QImage>* images = bookMarkOpt_.BookmarkImages();
    auto draw = [&](TCodeEditMark* mark) {
        const int r = mark->Line() - firstVisibleLine_;
        if (r < 0 || r >= rows) return;
        int& slot = offset[static_cast<size_t>(r)];
        const int y = r * lineHeight_;
        if (images != nullptr && !mark->InternalImage()) {
            if (mark->ImageIndex() < 0 || mark->ImageIndex() >= static_cast<int>(images->size())) return;
            if (mark->IsBookmark() == bookmarksFirst)
                slot = 0;
            else if (slot == 0)
                slot = bookMarkOpt_.Xoffset();
            painter.drawImage(QPoint(bookMarkOpt_.LeftMargin() + slot, y),
                              (*images)[static_cast<size_t>(mark->ImageIndex())]);
            slot += bookMarkOpt_.Xoffset();
        } else {
            if (mark->ImageIndex() < 0 || mark->ImageIndex() > 9) return;
            if (!internalImage_) internalImage_ = std::make_unique<TInternalImage>("CodeEditInternalImages", 10);
            if (slot == 0) internalImage_->Draw(painter, mark->ImageIndex(), bookMarkOpt_.LeftMargin(), y, lineHeight_);
            slot += bookMarkOpt_.Xoffset();
        }
    };
    bool otherKind = false;
    for (int i = 0; i < marks_.Count(); ++i) {
        TCodeEditMark* mark = marks_.Items(i);
        if (!mark->Visible() || mark->Line() < firstLine || mark->Line() > lastLine) continue;
        if (mark->IsBookmark() == bookmarksFirst)
            draw(mark);
        else
            otherKind = true;
    }
    if (!otherKind) return;
    for (int i = 0; i < marks_.Count(); ++i) {
        TCodeEditMark* mark = marks_.Items(i);
        if (mark->Visible() && mark->Line() >= firstLine && mark->Line() <= lastLine &&
            mark->IsBookmark() != bookmarksFirst)
            draw(mark);
    }
}

void TCustomCodeEdit::GutterClick(int x, int y, int line) {
    if (!OnGutterClick) return;
    if (line > lines_->Count()) return;
    TCodeEditMarks found;
    marks_.GetMarksForLine(line, found);
    TCodeEditMark* clicked = nullptr;
    int sum = 0;
    for (TCodeEditMark* mark : found) {
        if (mark == nullptr) continue;
        sum += bookMarkOpt_.Xoffset();
        if (x < sum) {
            clicked = mark;
            break;
        }
    }
    OnGutterClick(this, x, y, line, clicked);
}

// --- bookmarks -------------------------------------------------------------------------------------

bool TCustomCodeEdit::GetBookMark(int n, int& column, int& line) const {
    const TCodeEditMark* mark = BookMark(n);
    if (mark == nullptr) return false;
    column = mark->Column();
    line = mark->Line();
    return true;
}

void TCustomCodeEdit::SetBookMark(int n, int column, int line) {
    if (n < 0 || n > 9 || line < 1 || line > std::max(1, lines_->Count())) return;
    TCodeEditMark* mark = new TCodeEditMark(this);
    mark->SetLine(line);
    mark->SetColumn(column);
    mark->SetImageIndex(n);
    mark->SetBookmarkNumber(n);
    mark->SetVisible(true);
    mark->SetInternalImage(bookMarkOpt_.BookmarkImages() == nullptr);
    TCodeEditMark* placed = mark;
    DoOnPlaceBookmark(placed);
    if (placed != mark) delete mark;
    if (placed == nullptr) return;
    if (bookmarks_[static_cast<size_t>(n)] != nullptr) ClearBookMark(n);
    bookmarks_[static_cast<size_t>(n)] = placed;
    marks_.Add(placed);
    InvalidateGutterLine(line);
}

void TCustomCodeEdit::ClearBookMark(int n) {
    if (n < 0 || n > 9 || bookmarks_[static_cast<size_t>(n)] == nullptr) return;
    TCodeEditMark*& slot = bookmarks_[static_cast<size_t>(n)];
    DoOnClearBookmark(slot);
    TCodeEditMark* mark = slot;
    slot = nullptr;
    if (mark == nullptr) return;
    const int line = mark->Line();
    if (marks_.Contains(mark))
        marks_.Delete(mark);
    else
        delete mark;
    InvalidateGutterLine(line);
}

void TCustomCodeEdit::GotoBookMark(int n) {
    const TCodeEditMark* mark = BookMark(n);
    if (mark == nullptr || mark->Line() > lines_->Count()) return;
    BeginPaintLock();
    SetCaretXYEx({mark->Column(), mark->Line()}, false);
    if (HasSelection()) InvalidateAll();
    selAnchor_ = selActive_ = caret_;
    EnsureCaretVisible(true);
    EndPaintLock();
}

void TCustomCodeEdit::SetMarkerCommand(int n, const TBufferCoord* at) {
    if (n < 0 || n > 9) return;
    const TBufferCoord p = at != nullptr ? *at : caret_;
    if (TCodeEditMark* mark = bookmarks_[static_cast<size_t>(n)]; mark != nullptr) {
        const int oldLine = mark->Line();
        ClearBookMark(n);
        if (oldLine != p.Line) SetBookMark(n, p.Column, p.Line);
    } else {
        SetBookMark(n, p.Column, p.Line);
    }
}

void TCustomCodeEdit::ShiftMarksForDeletedLines(int first, int count) {
    marks_.ShiftForDeletedLines(first, count);
}

void TCustomCodeEdit::ShiftMarksForInsertedLines(int first, int count) {
    marks_.ShiftForInsertedLines(first, count);
}

}  // namespace tessel
