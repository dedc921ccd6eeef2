#pragma once

// The cell-grid base: a scrollable table of cells with fixed rows at the top and fixed
// columns at the left, per-column widths and per-row heights, a current cell, a top-left
// scroll position, scroll bars and a slot for an in-place editor over the current cell. It
// draws nothing of its own but the order of the cells; a derived grid paints each cell.

#include <QAbstractScrollArea>
#include <cstdint>
#include <functional>
#include <vector>

namespace tessel {

// The base's switches, by ordinal; TGridOptions holds bit (1 << ordinal).
enum TGridOption {
    goFixedVertLine,
    goFixedHorzLine,
    goVertLine,
    goHorzLine,
    goRangeSelect,
    goDrawFocusSelected,
    goRowSizing,
    goColSizing,
    goRowMoving,
    goColMoving,
    goEditing,
    goTabs,
    goRowSelect,
    goAlwaysShowEditor,
    goThumbTracking
};
using TGridOptions = uint32_t;
constexpr TGridOptions GridOptionBit(TGridOption o) {
    return TGridOptions{1} << o;
}

enum class TGridScrollBars { None, Horizontal, Vertical, Both };

// How a cell is drawn: a set of these bits.
enum TGridDrawStateFlag { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = int;

class TCustomGrid : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit TCustomGrid(QWidget* parent = nullptr);
    ~TCustomGrid() override;

    // --- cells ----------------------------------------------------------------------------
    int ColCount() const { return static_cast<int>(colWidths_.size()); }
    void SetColCount(int count);
    int RowCount() const { return static_cast<int>(rowHeights_.size()); }
    void SetRowCount(int count);
    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int count);
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int count);

    int DefaultColWidth() const { return defaultColWidth_; }
    void SetDefaultColWidth(int width);  // every column takes it
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int height);  // every row takes it
    int ColWidth(int col) const;
    void SetColWidth(int col, int width);
    int RowHeight(int row) const;
    void SetRowHeight(int row, int height);
    bool TabStop(int col) const;
    void SetTabStop(int col, bool on);

    // Pixels between two columns and between two rows (the grid line, 0 or 1).
    int VertLineWidth() const;
    int HorzLineWidth() const;

    // --- position -------------------------------------------------------------------------
    int Col() const { return col_; }
    int Row() const { return row_; }
    // Moves the current cell, scrolling it into view. With `raise`, SelectCell may refuse and
    // the cell-change hooks run.
    void MoveCurrent(int col, int row, bool raise = true);
    void SetCol(int col) { MoveCurrent(col, row_); }
    void SetRow(int row) { MoveCurrent(col_, row); }
    int TopRow() const { return topRow_; }
    void SetTopRow(int row);
    int LeftCol() const { return leftCol_; }
    void SetLeftCol(int col);
    // Scrolled rows and columns that fit whole in the client area (at least 0).
    int VisibleRowCount() const;
    int VisibleColCount() const;
    // The last row or column at least partly visible.
    int LastVisibleRow() const;
    int LastVisibleCol() const;
    // The cell's rectangle in client coordinates, without its grid lines; empty when the cell
    // is scrolled out of sight.
    QRect CellRect(int col, int row) const;
    // The cell under a client point; (-1, -1) outside every cell.
    QPoint MouseCoord(const QPoint& p) const;
    QSize ClientSize() const;

    // --- switches -------------------------------------------------------------------------
    TGridOptions GridOptions() const { return gridOptions_; }
    void SetGridOptions(TGridOptions options);
    TGridScrollBars ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TGridScrollBars bars);

    // --- repainting -----------------------------------------------------------------------
    void InvalidateCell(int col, int row);
    void InvalidateRow(int row);
    void InvalidateCol(int col);
    void InvalidateGrid();

    // --- the in-place editor --------------------------------------------------------------
    bool EditorMode() const { return editorMode_; }
    void SetEditorMode(bool on);
    void ShowEditor();
    void HideEditor();
    // Moves the open editor over the current cell again and reloads its text.
    void InvalidateEditor();
    QWidget* InplaceEditor() const { return editor_; }

protected:
    // Paints one cell; the base fills fixed cells with the button face.
    virtual void DrawCell(QPainter& painter, int col, int row, const QRect& rect, TGridDrawState state);
    // The whole paint: cells in four regions (fixed corner, fixed rows, fixed columns, data),
    // then the grid lines. Derived grids may replace it.
    virtual void Paint(QPainter& painter, const QRect& update);
    // Draws the cells of one region (columns c0..c1, rows r0..r1).
    void DrawCells(QPainter& painter, const QRect& update, int c0, int c1, int r0, int r1, TGridDrawState base);

    // Hooks.
    virtual bool SelectCell(int col, int row) {
        (void)col;
        (void)row;
        return true;
    }
    virtual void TopLeftChanged() {}
    virtual void ColWidthsChanged();
    virtual void RowHeightsChanged();
    virtual void SizeChanged(int oldColCount, int oldRowCount) {
        (void)oldColCount;
        (void)oldRowCount;
    }
    // The client area changed size.
    virtual void Resized() {}
    // Whether the vertical scroll bar follows the rows (false: a derived grid drives it).
    virtual bool BaseOwnsVertScrollBar() const { return true; }
    // Pixels at the bottom of the client area kept free of rows (a footer band).
    virtual int BottomReserve() const { return 0; }

    // Editor hooks: the widget to host (nullptr: none), whether it may show, its text.
    virtual QWidget* CreateEditor() { return nullptr; }
    virtual bool CanEditShow() const;
    virtual void UpdateEditorText() {}

    // Every repaint request goes through these two (tests watch them).
    virtual void InvalidateRect(const QRect& rect);
    // Shifts the pixels of `rect` by `dy`; the uncovered strip is repainted.
    virtual void ScrollPixels(int dy, const QRect& rect);

    // Sets a width without the repaint and range update; call ColWidthsChanged after a batch.
    void SetColWidthQuiet(int col, int width) {
        if (col >= 0 && col < ColCount()) colWidths_[static_cast<size_t>(col)] = width;
    }
    // Horizontal (and, when owned, vertical) scroll bar range from the cells.
    void UpdateScrollRange();

    void paintEvent(QPaintEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void ClampPosition();
    int FixedWidth() const;
    int VisibleRowCountFrom(int top) const;
    int VisibleColCountFrom(int left) const;
    int FixedHeight() const;
    void PlaceEditor();

    std::vector<int> colWidths_;
    std::vector<int> rowHeights_;
    std::vector<bool> tabStops_;
    int fixedCols_ = 1, fixedRows_ = 1;
    int defaultColWidth_ = 64, defaultRowHeight_ = 24;
    int col_ = 1, row_ = 1;
    int topRow_ = 1, leftCol_ = 1;
    TGridOptions gridOptions_;
    TGridScrollBars scrollBars_ = TGridScrollBars::Both;
    bool editorMode_ = false;
    QWidget* editor_ = nullptr;
    bool updatingBars_ = false;
};

}  // namespace tessel
