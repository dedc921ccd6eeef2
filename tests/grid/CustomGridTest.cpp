// Tests of the grid base.

#include <gtest/gtest.h>

#include <QPainter>

#include "grid/CustomGrid.h"
#include "grid/GridGlyphs.h"

namespace tessel {
namespace {

// A plain grid: 1 fixed row and column, widths 10 + 20 x col, heights 20; no frame so the
// client area is the widget less its scroll bars.
class PlainGrid : public TCustomGrid {
public:
    PlainGrid() {
        setFrameShape(QFrame::NoFrame);
        SetScrollBars(TGridScrollBars::None);
        SetColCount(6);
        SetRowCount(50);
        SetDefaultRowHeight(20);
        for (int c = 0; c < 6; ++c) SetColWidth(c, 10 + 20 * c);
        resize(200, 125);
        show();
    }
    std::vector<std::pair<int, int>> drawn;
    int topLeftChanges = 0;

protected:
    void DrawCell(QPainter& p, int col, int row, const QRect& rect, TGridDrawState state) override {
        drawn.emplace_back(col, row);
        TCustomGrid::DrawCell(p, col, row, rect, state);
    }
    void TopLeftChanged() override { ++topLeftChanges; }
};

TEST(CustomGrid, CellRectanglesFollowWidthsHeightsAndLines) {
    PlainGrid grid;
    ASSERT_EQ(grid.ClientSize(), QSize(200, 125));
    struct Case {
        int col, row;
        QRect rect;
    } cases[] = {
        {0, 0, QRect(0, 0, 10, 20)},   {1, 0, QRect(11, 0, 30, 20)},    {2, 1, QRect(42, 21, 50, 20)},
        {3, 2, QRect(93, 42, 70, 20)}, {4, 5, QRect(164, 105, 90, 20)}, {1, 6, QRect()},  // below the client area
    };
    for (const auto& c : cases) EXPECT_EQ(grid.CellRect(c.col, c.row), c.rect) << c.col << "," << c.row;
    // 125 pixels: title 21 + four rows of 21 fit whole (105), the fifth is cut.
    EXPECT_EQ(grid.VisibleRowCount(), 4);
    EXPECT_EQ(grid.LastVisibleRow(), 5);
    EXPECT_EQ(grid.VisibleColCount(), 3);  // 11 + 31 + 51 + 71 = 164 <= 200; +91 > 200
    EXPECT_EQ(grid.MouseCoord(QPoint(12, 22)), QPoint(1, 1));
    EXPECT_EQ(grid.MouseCoord(QPoint(41, 0)), QPoint(1, 0));  // the line belongs to the cell on its left
    EXPECT_EQ(grid.MouseCoord(QPoint(42, 0)), QPoint(2, 0));
}

TEST(CustomGrid, WithoutLinesCellsTouch) {
    PlainGrid grid;
    grid.SetGridOptions(0);
    EXPECT_EQ(grid.VertLineWidth(), 0);
    EXPECT_EQ(grid.HorzLineWidth(), 0);
    EXPECT_EQ(grid.CellRect(2, 1), QRect(40, 20, 50, 20));
    EXPECT_EQ(grid.VisibleRowCount(), 5);  // 20 + 5 x 20 = 120
}

TEST(CustomGrid, MovingTheCurrentCellScrollsItIntoView) {
    PlainGrid grid;
    EXPECT_EQ(grid.Col(), 1);
    EXPECT_EQ(grid.Row(), 1);
    grid.MoveCurrent(2, 4);
    EXPECT_EQ(grid.TopRow(), 1);  // still visible
    grid.MoveCurrent(2, 10);
    EXPECT_EQ(grid.TopRow(), 7);  // row 10 is the last whole row
    EXPECT_EQ(grid.topLeftChanges, 1);
    EXPECT_EQ(grid.CellRect(2, 10), QRect(42, 84, 50, 20));
    EXPECT_TRUE(grid.CellRect(2, 3).isEmpty());  // scrolled away
    grid.MoveCurrent(5, 10);
    EXPECT_GT(grid.LeftCol(), 1);
    EXPECT_FALSE(grid.CellRect(5, 10).isEmpty());
    grid.MoveCurrent(0, 0);  // fixed cells are never current
    EXPECT_EQ(grid.Col(), grid.FixedCols());
    EXPECT_EQ(grid.Row(), grid.FixedRows());
    EXPECT_EQ(grid.TopRow(), 1);
}

TEST(CustomGrid, CountsAndFixedCellsStayConsistent) {
    PlainGrid grid;
    grid.MoveCurrent(5, 40);
    grid.SetRowCount(3);
    grid.SetColCount(2);
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_EQ(grid.Col(), 1);
    EXPECT_LE(grid.TopRow(), 2);
    grid.SetFixedCols(5);  // at most count - 1
    EXPECT_EQ(grid.FixedCols(), 1);
    grid.SetColCount(1);
    EXPECT_EQ(grid.FixedCols(), 0);
}

TEST(CustomGrid, PaintsFixedRegionsThenDataCellsRowByRow) {
    PlainGrid grid;
    grid.resize(90, 60);  // columns 0..2 partly, rows 0..2
    grid.drawn.clear();
    grid.viewport()->grab();
    const std::vector<std::pair<int, int>> expected = {
        {0, 0},          // corner
        {1, 0}, {2, 0},  // fixed row over the scrolled columns
        {0, 1}, {0, 2},  // fixed column beside the scrolled rows
        {1, 1}, {2, 1}, {1, 2}, {2, 2},
    };
    EXPECT_EQ(grid.drawn, expected);
}

TEST(CustomGrid, EditorSlotHostsAWidgetOverTheCurrentCell) {
    class EditGrid : public PlainGrid {
    protected:
        QWidget* CreateEditor() override { return new QWidget(viewport()); }
    } grid;
    grid.SetGridOptions(grid.GridOptions() | GridOptionBit(goEditing));
    grid.MoveCurrent(2, 2);
    grid.ShowEditor();
    ASSERT_TRUE(grid.EditorMode());
    ASSERT_NE(grid.InplaceEditor(), nullptr);
    EXPECT_EQ(grid.InplaceEditor()->geometry(), grid.CellRect(2, 2));
    grid.MoveCurrent(3, 3);
    EXPECT_EQ(grid.InplaceEditor()->geometry(), grid.CellRect(3, 3));
    grid.HideEditor();
    EXPECT_FALSE(grid.EditorMode());
    EXPECT_FALSE(grid.InplaceEditor()->isVisible());
    grid.SetGridOptions(grid.GridOptions() | GridOptionBit(goRowSelect));
    grid.ShowEditor();  // no editor over a selected row
    EXPECT_FALSE(grid.EditorMode());
}

TEST(GridGlyphs, FiveIndicatorShapesAndRecolouring) {
    for (int i = 0; i < kIndicatorGlyphCount; ++i) {
        const QImage& g = IndicatorGlyph(i);
        EXPECT_EQ(g.size(), QSize(6, 11)) << i;
        for (int j = 0; j < i; ++j) EXPECT_NE(g, IndicatorGlyph(j)) << i << " vs " << j;
    }
    EXPECT_EQ(DragArrowGlyph(true).size(), QSize(13, 14));
    EXPECT_EQ(DragArrowGlyph(false), DragArrowGlyph(true).mirrored(true, false));
    const QImage yellow = RecolorGlyph(IndicatorGlyph(igArrow), Qt::yellow);
    // The arrow's tip column: black becomes yellow, the transparent background stays.
    EXPECT_EQ(IndicatorGlyph(igArrow).pixelColor(0, 5), QColor(Qt::black));
    EXPECT_EQ(yellow.pixelColor(0, 5), QColor(Qt::yellow));
    EXPECT_EQ(yellow.pixelColor(5, 0).alpha(), 0);
}

}  // namespace
}  // namespace tessel
