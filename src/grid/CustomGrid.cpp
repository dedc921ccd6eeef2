// The grid base: cells, sizes, scrolling, selection.

#include "grid/CustomGrid.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace tessel {

TCustomGrid::TCustomGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    gridOptions_ = GridOptionBit(goFixedVertLine) | GridOptionBit(goFixedHorzLine) | GridOptionBit(goVertLine) |
                   GridOptionBit(goHorzLine) | GridOptionBit(goRangeSelect);
    colWidths_.assign(5, defaultColWidth_);
    tabStops_.assign(5, true);
    rowHeights_.assign(5, defaultRowHeight_);
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    viewport()->setAutoFillBackground(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    horizontalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setSingleStep(1);
}

TCustomGrid::~TCustomGrid() = default;

// ------------------------------------------------------------------------------- cells

void TCustomGrid::SetColCount(int count) {
    count = std::max(count, 1);
    if (count == ColCount()) return;
    const int oldCols = ColCount();
    colWidths_.resize(static_cast<size_t>(count), defaultColWidth_);
    tabStops_.resize(static_cast<size_t>(count), true);
    if (fixedCols_ >= count) fixedCols_ = count - 1;
    ClampPosition();
    SizeChanged(oldCols, RowCount());
    ColWidthsChanged();
}

void TCustomGrid::SetRowCount(int count) {
    count = std::max(count, 1);
    if (count == RowCount()) return;
    const int oldRows = RowCount();
    rowHeights_.resize(static_cast<size_t>(count), defaultRowHeight_);
    if (fixedRows_ >= count) fixedRows_ = count - 1;
    ClampPosition();
    SizeChanged(ColCount(), oldRows);
    RowHeightsChanged();
}

void TCustomGrid::SetFixedCols(int count) {
    count = std::clamp(count, 0, ColCount() - 1);
    if (count == fixedCols_) return;
    fixedCols_ = count;
    ClampPosition();
    UpdateScrollRange();
    InvalidateGrid();
}

void TCustomGrid::SetFixedRows(int count) {
    count = std::clamp(count, 0, RowCount() - 1);
    if (count == fixedRows_) return;
    fixedRows_ = count;
    ClampPosition();
    UpdateScrollRange();
    InvalidateGrid();
}

void TCustomGrid::SetDefaultColWidth(int width) {
    defaultColWidth_ = width;
    std::fill(colWidths_.begin(), colWidths_.end(), width);
    ColWidthsChanged();
}

void TCustomGrid::SetDefaultRowHeight(int height) {
    defaultRowHeight_ = height;
    std::fill(rowHeights_.begin(), rowHeights_.end(), height);
    RowHeightsChanged();
}

int TCustomGrid::ColWidth(int col) const {
    return col >= 0 && col < ColCount() ? colWidths_[static_cast<size_t>(col)] : defaultColWidth_;
}

void TCustomGrid::SetColWidth(int col, int width) {
    if (col < 0 || col >= ColCount() || colWidths_[static_cast<size_t>(col)] == width) return;
    colWidths_[static_cast<size_t>(col)] = width;
    ColWidthsChanged();
}

int TCustomGrid::RowHeight(int row) const {
    return row >= 0 && row < RowCount() ? rowHeights_[static_cast<size_t>(row)] : defaultRowHeight_;
}

void TCustomGrid::SetRowHeight(int row, int height) {
    if (row < 0 || row >= RowCount() || rowHeights_[static_cast<size_t>(row)] == height) return;
    rowHeights_[static_cast<size_t>(row)] = height;
    RowHeightsChanged();
}

bool TCustomGrid::TabStop(int col) const {
    return col >= 0 && col < ColCount() && tabStops_[static_cast<size_t>(col)];
}

void TCustomGrid::SetTabStop(int col, bool on) {
    if (col >= 0 && col < ColCount()) tabStops_[static_cast<size_t>(col)] = on;
}

int TCustomGrid::VertLineWidth() const {
    return gridOptions_ & (GridOptionBit(goVertLine) | GridOptionBit(goFixedVertLine)) ? 1 : 0;
}

int TCustomGrid::HorzLineWidth() const {
    return gridOptions_ & (GridOptionBit(goHorzLine) | GridOptionBit(goFixedHorzLine)) ? 1 : 0;
}

void TCustomGrid::ColWidthsChanged() {
    ClampPosition();
    UpdateScrollRange();
    PlaceEditor();
    InvalidateGrid();
}

void TCustomGrid::RowHeightsChanged() {
    ClampPosition();
    UpdateScrollRange();
    PlaceEditor();
    InvalidateGrid();
}

// ---------------------------------------------------------------------------- geometry

QSize TCustomGrid::ClientSize() const {
    return viewport()->size();
}

int TCustomGrid::FixedWidth() const {
    int w = 0;
    for (int c = 0; c < fixedCols_; ++c) w += ColWidth(c) + VertLineWidth();
    return w;
}

int TCustomGrid::FixedHeight() const {
    int h = 0;
    for (int r = 0; r < fixedRows_; ++r) h += RowHeight(r) + HorzLineWidth();
    return h;
}

int TCustomGrid::VisibleRowCount() const {
    const int limit = ClientSize().height() - BottomReserve();
    int y = FixedHeight(), n = 0;
    for (int r = topRow_; r < RowCount(); ++r) {
        y += RowHeight(r) + HorzLineWidth();
        if (y > limit) break;
        ++n;
    }
    return n;
}

int TCustomGrid::VisibleColCount() const {
    const int limit = ClientSize().width();
    int x = FixedWidth(), n = 0;
    for (int c = leftCol_; c < ColCount(); ++c) {
        x += ColWidth(c) + VertLineWidth();
        if (x > limit) break;
        ++n;
    }
    return n;
}

int TCustomGrid::LastVisibleRow() const {
    const int limit = ClientSize().height() - BottomReserve();
    int y = FixedHeight(), last = topRow_ - 1;
    for (int r = topRow_; r < RowCount() && y < limit; ++r) {
        last = r;
        y += RowHeight(r) + HorzLineWidth();
    }
    return last;
}

int TCustomGrid::LastVisibleCol() const {
    const int limit = ClientSize().width();
    int x = FixedWidth(), last = leftCol_ - 1;
    for (int c = leftCol_; c < ColCount() && x < limit; ++c) {
        last = c;
        x += ColWidth(c) + VertLineWidth();
    }
    return last;
}

QRect TCustomGrid::CellRect(int col, int row) const {
    if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount()) return {};
    if (col >= fixedCols_ && col < leftCol_) return {};
    if (row >= fixedRows_ && row < topRow_) return {};
    int x = 0;
    for (int c = 0; c < fixedCols_ && c < col; ++c) x += ColWidth(c) + VertLineWidth();
    if (col >= fixedCols_) {
        x = FixedWidth();
        for (int c = leftCol_; c < col; ++c) x += ColWidth(c) + VertLineWidth();
    }
    int y = 0;
    for (int r = 0; r < fixedRows_ && r < row; ++r) y += RowHeight(r) + HorzLineWidth();
    if (row >= fixedRows_) {
        y = FixedHeight();
        for (int r = topRow_; r < row; ++r) {
            y += RowHeight(r) + HorzLineWidth();
            if (y > ClientSize().height()) return {};
        }
    }
    if (x > ClientSize().width() || y > ClientSize().height()) return {};
    return QRect(x, y, ColWidth(col), RowHeight(row));
}

QPoint TCustomGrid::MouseCoord(const QPoint& p) const {
    int col = -1, row = -1;
    int x = 0;
    for (int c = 0; c < ColCount() && col < 0; ++c) {
        if (c >= fixedCols_ && c < leftCol_) continue;
        const int w = ColWidth(c) + VertLineWidth();
        if (p.x() >= x && p.x() < x + w) col = c;
        x += w;
    }
    int y = 0;
    for (int r = 0; r < RowCount() && row < 0 && y <= ClientSize().height(); ++r) {
        if (r >= fixedRows_ && r < topRow_) continue;
        const int h = RowHeight(r) + HorzLineWidth();
        if (p.y() >= y && p.y() < y + h) row = r;
        y += h;
    }
    if (col < 0 || row < 0) return {-1, -1};
    return {col, row};
}

// ---------------------------------------------------------------------------- position

void TCustomGrid::ClampPosition() {
    col_ = std::clamp(col_, fixedCols_, std::max(fixedCols_, ColCount() - 1));
    row_ = std::clamp(row_, fixedRows_, std::max(fixedRows_, RowCount() - 1));
    leftCol_ = std::clamp(leftCol_, fixedCols_, std::max(fixedCols_, ColCount() - 1));
    topRow_ = std::clamp(topRow_, fixedRows_, std::max(fixedRows_, RowCount() - 1));
}

void TCustomGrid::MoveCurrent(int col, int row, bool raise) {
    col = std::clamp(col, fixedCols_, std::max(fixedCols_, ColCount() - 1));
    row = std::clamp(row, fixedRows_, std::max(fixedRows_, RowCount() - 1));
    if (raise && !SelectCell(col, row)) return;
    const int oldCol = col_, oldRow = row_;
    col_ = col;
    row_ = row;
    // Scroll the cell into view.
    int top = topRow_, left = leftCol_;
    if (row_ < top) top = row_;
    while (row_ >= top + std::max(1, VisibleRowCountFrom(top))) ++top;
    if (col_ < left) left = col_;
    while (col_ >= left + std::max(1, VisibleColCountFrom(left))) ++left;
    if (top != topRow_ || left != leftCol_) {
        topRow_ = top;
        leftCol_ = left;
        UpdateScrollRange();
        InvalidateGrid();
        TopLeftChanged();
    } else if (oldCol != col_ || oldRow != row_) {
        if (gridOptions_ & GridOptionBit(goRowSelect)) {
            InvalidateRow(oldRow);
            InvalidateRow(row_);
        } else {
            InvalidateCell(oldCol, oldRow);
            InvalidateCell(col_, row_);
        }
    }
    PlaceEditor();
}

int TCustomGrid::VisibleRowCountFrom(int top) const {
    const int limit = ClientSize().height() - BottomReserve();
    int y = FixedHeight(), n = 0;
    for (int r = top; r < RowCount(); ++r) {
        y += RowHeight(r) + HorzLineWidth();
        if (y > limit) break;
        ++n;
    }
    return n;
}

int TCustomGrid::VisibleColCountFrom(int left) const {
    const int limit = ClientSize().width();
    int x = FixedWidth(), n = 0;
    for (int c = left; c < ColCount(); ++c) {
        x += ColWidth(c) + VertLineWidth();
        if (x > limit) break;
        ++n;
    }
    return n;
}

void TCustomGrid::SetTopRow(int row) {
    row = std::clamp(row, fixedRows_, std::max(fixedRows_, RowCount() - 1));
    if (row == topRow_) return;
    topRow_ = row;
    UpdateScrollRange();
    InvalidateGrid();
    PlaceEditor();
    TopLeftChanged();
}

void TCustomGrid::SetLeftCol(int col) {
    col = std::clamp(col, fixedCols_, std::max(fixedCols_, ColCount() - 1));
    if (col == leftCol_) return;
    leftCol_ = col;
    UpdateScrollRange();
    InvalidateGrid();
    PlaceEditor();
    TopLeftChanged();
}

// ---------------------------------------------------------------------------- switches

void TCustomGrid::SetGridOptions(TGridOptions options) {
    if (options == gridOptions_) return;
    gridOptions_ = options;
    if (!(gridOptions_ & GridOptionBit(goEditing))) HideEditor();
    UpdateScrollRange();
    InvalidateGrid();
}

void TCustomGrid::SetScrollBars(TGridScrollBars bars) {
    if (bars == scrollBars_) return;
    scrollBars_ = bars;
    UpdateScrollRange();
}

void TCustomGrid::UpdateScrollRange() {
    if (updatingBars_) return;
    updatingBars_ = true;
    const bool horz = scrollBars_ == TGridScrollBars::Horizontal || scrollBars_ == TGridScrollBars::Both;
    // The largest left column that still shows the last column.
    int maxLeft = std::max(fixedCols_, ColCount() - 1);
    {
        const int avail = ClientSize().width() - FixedWidth();
        int w = 0;
        for (int c = ColCount() - 1; c >= fixedCols_; --c) {
            w += ColWidth(c) + VertLineWidth();
            if (w > avail) break;
            maxLeft = c;
        }
    }
    QScrollBar* h = horizontalScrollBar();
    if (horz && maxLeft > fixedCols_) {
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        h->setRange(fixedCols_, maxLeft);
        h->setPageStep(std::max(1, VisibleColCount()));
        h->setValue(std::min(leftCol_, maxLeft));
    } else {
        h->setRange(0, 0);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    if (BaseOwnsVertScrollBar()) {
        const bool vert = scrollBars_ == TGridScrollBars::Vertical || scrollBars_ == TGridScrollBars::Both;
        int maxTop = std::max(fixedRows_, RowCount() - 1);
        const int avail = ClientSize().height() - FixedHeight();
        int hgt = 0;
        for (int r = RowCount() - 1; r >= fixedRows_; --r) {
            hgt += RowHeight(r) + HorzLineWidth();
            if (hgt > avail) break;
            maxTop = r;
        }
        QScrollBar* v = verticalScrollBar();
        if (vert && maxTop > fixedRows_) {
            setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            v->setRange(fixedRows_, maxTop);
            v->setPageStep(std::max(1, VisibleRowCount()));
            v->setValue(std::min(topRow_, maxTop));
        } else {
            v->setRange(0, 0);
            setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        }
    }
    updatingBars_ = false;
}

void TCustomGrid::scrollContentsBy(int, int) {
    if (updatingBars_) return;
    const int left = horizontalScrollBar()->value();
    if (horizontalScrollBar()->maximum() > 0 && left != leftCol_) SetLeftCol(left);
    if (BaseOwnsVertScrollBar()) {
        const int top = verticalScrollBar()->value();
        if (verticalScrollBar()->maximum() > 0 && top != topRow_) SetTopRow(top);
    }
}

// --------------------------------------------------------------------------- repainting

void TCustomGrid::InvalidateRect(const QRect& rect) {
    if (!rect.isEmpty()) viewport()->update(rect);
}

void TCustomGrid::ScrollPixels(int dy, const QRect& rect) {
    viewport()->scroll(0, dy, rect);
}

void TCustomGrid::InvalidateCell(int col, int row) {
    const QRect r = CellRect(col, row);
    if (!r.isEmpty()) InvalidateRect(r.adjusted(0, 0, VertLineWidth(), HorzLineWidth()));
}

void TCustomGrid::InvalidateRow(int row) {
    const QRect r = CellRect(0, row);
    if (!r.isEmpty()) InvalidateRect(QRect(0, r.top() - 1, ClientSize().width(), r.height() + 2));
}

void TCustomGrid::InvalidateCol(int col) {
    const QRect r = CellRect(col, 0);
    if (!r.isEmpty()) InvalidateRect(QRect(r.left(), 0, r.width() + 1, ClientSize().height()));
}

void TCustomGrid::InvalidateGrid() {
    InvalidateRect(QRect(QPoint(0, 0), ClientSize()));
}

// ------------------------------------------------------------------------------ painting

void TCustomGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    Paint(painter, event->rect());
}

void TCustomGrid::DrawCells(QPainter& painter, const QRect& update, int c0, int c1, int r0, int r1,
                            TGridDrawState base) {
    const QSize client = ClientSize();
    for (int r = r0; r <= r1; ++r) {
        const QRect first = CellRect(c0, r);
        if (first.isEmpty() && c0 <= c1) {
            // A row beyond the bottom edge ends the region.
            if (CellRect(0, r).isEmpty() && r >= fixedRows_) break;
        }
        for (int c = c0; c <= c1; ++c) {
            const QRect rect = CellRect(c, r);
            if (rect.isEmpty()) continue;
            if (rect.left() >= client.width()) break;
            if (!rect.adjusted(0, 0, 1, 1).intersects(update)) continue;
            TGridDrawState state = base;
            const bool current = gridOptions_ & GridOptionBit(goRowSelect) ? r == row_ : (r == row_ && c == col_);
            if (!(base & gdFixed) && current) {
                state |= gdSelected;
                if (hasFocus() && c == col_) state |= gdFocused;
            }
            if (editorMode_ && r == row_ && c == col_ && !(base & gdFixed)) continue;
            DrawCell(painter, c, r, rect, state);
        }
    }
}

void TCustomGrid::Paint(QPainter& painter, const QRect& update) {
    painter.fillRect(update, palette().color(QPalette::Base));
    const int lastRow = LastVisibleRow(), lastCol = LastVisibleCol();
    DrawCells(painter, update, 0, fixedCols_ - 1, 0, fixedRows_ - 1, gdFixed);
    DrawCells(painter, update, leftCol_, lastCol, 0, fixedRows_ - 1, gdFixed);
    DrawCells(painter, update, 0, fixedCols_ - 1, topRow_, lastRow, gdFixed);
    DrawCells(painter, update, leftCol_, lastCol, topRow_, lastRow, 0);
    // Plain lines along the cells' right and bottom edges.
    painter.setPen(palette().color(QPalette::Mid));
    for (int c = 0; c <= lastCol; ++c) {
        const QRect r = CellRect(c, 0);
        if (r.isEmpty() || !VertLineWidth()) continue;
        painter.drawLine(r.right() + 1, 0, r.right() + 1, ClientSize().height());
    }
    for (int r = 0; r <= lastRow; ++r) {
        const QRect rect = CellRect(0, r);
        if (rect.isEmpty() || !HorzLineWidth()) continue;
        painter.drawLine(0, rect.bottom() + 1, ClientSize().width(), rect.bottom() + 1);
    }
}

void TCustomGrid::DrawCell(QPainter& painter, int, int, const QRect& rect, TGridDrawState state) {
    if (state & gdFixed) painter.fillRect(rect, palette().color(QPalette::Button));
}

bool TCustomGrid::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Resize) {
        UpdateScrollRange();
        PlaceEditor();
        Resized();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// --------------------------------------------------------------------------------- editor

bool TCustomGrid::CanEditShow() const {
    return (gridOptions_ & GridOptionBit(goEditing)) && !(gridOptions_ & GridOptionBit(goRowSelect)) &&
           col_ >= fixedCols_ && row_ >= fixedRows_;
}

void TCustomGrid::SetEditorMode(bool on) {
    if (on)
        ShowEditor();
    else
        HideEditor();
}

void TCustomGrid::ShowEditor() {
    if (!CanEditShow()) return;
    if (!editor_) editor_ = CreateEditor();
    if (!editor_) return;
    editorMode_ = true;
    UpdateEditorText();
    PlaceEditor();
    editor_->show();
    InvalidateCell(col_, row_);
}

void TCustomGrid::HideEditor() {
    if (!editorMode_) return;
    editorMode_ = false;
    if (editor_) editor_->hide();
    InvalidateCell(col_, row_);
}

void TCustomGrid::InvalidateEditor() {
    if (!editorMode_) return;
    UpdateEditorText();
    PlaceEditor();
}

void TCustomGrid::PlaceEditor() {
    if (!editorMode_ || !editor_) return;
    const QRect r = CellRect(col_, row_);
    if (r.isEmpty())
        editor_->hide();
    else {
        editor_->setGeometry(r);
        editor_->show();
    }
}

}  // namespace tessel
