// Tests of the answer grid.

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QScrollBar>

#include "GridTestSupport.h"
#include "engine/Engine.h"
#include "engine/TableFiles.h"
#include "framework/data/Fields.h"
#include "framework/data/Query.h"
#include "framework/data/Session.h"
#include "framework/data/Table.h"
#include "grid/DbIntl.h"
#include "support/TempDir.h"

namespace tessel {
namespace {

using engine::FieldDesc;
using engine::Value;
namespace t = engine::fldtype;
using test::GeneratedDataSet;
using test::MemoryDataSet;
using test::RecordingGrid;
using test::Shot;

QFont GridFont() {
    QFont f("Liberation Sans");
    f.setPixelSize(11);
    return f;
}

// A grid of a known size on a data source, shown offscreen.
struct GridOn {
    explicit GridOn(TDataSet& ds, QSize size = {400, 200}) {
        source.SetDataSet(&ds);
        grid.setFont(GridFont());
        grid.SetTitleFont(GridFont());
        grid.resize(size);
        grid.show();
        grid.SetDataSource(&source);
    }
    TDataSource source;
    RecordingGrid grid;
};

std::unique_ptr<MemoryDataSet> Employees(int n) {
    std::vector<engine::Record> records;
    const char* names[] = {"Ann", "Bob", "Cy", "Di", "Ed"};
    for (int i = 0; i < n; ++i)
        records.push_back({Value::Int(i + 1), Value::Text(names[i % 5]), Value::Date(1990 + i, 1, 15),
                           Value::Double(1000.5 * (i + 1)), Value::Text(i % 2 ? "long memo text" : "")});
    return std::make_unique<MemoryDataSet>(
        std::vector<FieldDesc>{FieldDesc::Make("ID", t::kInt32), FieldDesc::Make("NAME", t::kString, 0, 10),
                               FieldDesc::Make("HIRED", t::kDate), FieldDesc::Make("AMOUNT", t::kFloat),
                               FieldDesc::Make("NOTES", t::kBlob, engine::fldsub::kMemo, 1)},
        std::move(records));
}

int Zero() {
    return QFontMetrics(GridFont()).horizontalAdvance(QLatin1Char('0'));
}
int TextWidth(const char* s) {
    return QFontMetrics(GridFont()).horizontalAdvance(QString(s));
}

// ------------------------------------------------------------------------------ columns

TEST(DbGridColumns, FromTheVisibleFieldsWithDisplayWidthsOrTitleWidths) {
    auto ds = Employees(3);
    ds->Open();
    ds->FieldByName("HIRED").SetVisible(false);
    ds->FieldByName("AMOUNT").SetDisplayLabel("Amount paid in dollars");
    GridOn g(*ds);
    TDbGrid& grid = g.grid;
    ASSERT_EQ(grid.DataLink().MapCount(), 4);
    EXPECT_EQ(grid.ColCount(), 5);
    EXPECT_EQ(grid.ColWidth(0), kIndicatorWidth);
    struct Case {
        int col;
        const char* field;
        int width;
    } cases[] = {
        {1, "ID", 4 + 10 * Zero()},    // numbers: 10 characters
        {2, "NAME", 4 + 10 * Zero()},  // the string's size
        {3, "AMOUNT", std::max(4 + 10 * Zero(), TextWidth("Amount paid in dollars") + 4)},
        {4, "NOTES", 4 + 10 * Zero()},
    };
    for (const auto& c : cases) {
        ASSERT_NE(grid.GetColField(c.col), nullptr);
        EXPECT_EQ(grid.GetColField(c.col)->FieldName(), c.field);
        EXPECT_EQ(grid.ColWidth(c.col), c.width) << c.field;
        EXPECT_EQ(grid.GetFieldColumn(grid.GetColField(c.col)), c.col);
        EXPECT_EQ(grid.Columns(c.col - 1).FieldName(), c.field);
    }
    EXPECT_EQ(grid.GetColField(0), nullptr);
    EXPECT_TRUE(grid.Columns(17).IsSpare());
    EXPECT_EQ(grid.Columns(17).Title(), "");
    // Showing the field again rebuilds the columns.
    ds->FieldByName("HIRED").SetVisible(true);
    EXPECT_EQ(grid.DataLink().MapCount(), 5);
    EXPECT_EQ(grid.ColWidth(3), 4 + 10 * Zero());  // date: twice 4 + 2 characters
}

TEST(DbGridColumns, FromSelectedLinesWithTitlesAndUnknownFieldsDropped) {
    auto ds = Employees(3);
    TDataSource source(ds.get());
    RecordingGrid grid;
    grid.setFont(GridFont());
    grid.SetTitleFont(GridFont());
    grid.resize(400, 200);
    grid.show();
    grid.SetUseTFields(false);
    grid.Selected().Add("name\t3\tWho");
    grid.Selected().Add("MISSING\t5");
    grid.Selected().Add("ID\t6\tNumber~Of the record\tT");
    grid.SetDataSource(&source);
    EXPECT_EQ(grid.ColCount(), 4);  // closed: one column per Selected line
    ds->Open();
    ASSERT_EQ(grid.Selected().Count(), 2);
    EXPECT_EQ(grid.DataLink().MapCount(), 2);
    EXPECT_EQ(grid.GetColField(1)->FieldName(), "NAME");
    EXPECT_EQ(grid.ColWidth(1), std::max(4 + 3 * Zero(), TextWidth("Who") + 4));
    EXPECT_EQ(grid.ColWidth(2), std::max(4 + 6 * Zero(), TextWidth("Of the record") + 4));
    EXPECT_EQ(grid.Columns(1).Title(), "Number~Of the record");
    EXPECT_TRUE(grid.Columns(1).ReadOnly());
    EXPECT_FALSE(grid.TabStop(2));  // read-only column
    EXPECT_TRUE(grid.TabStop(1));
    EXPECT_EQ(grid.Columns(0).Width(), 3);
    grid.Columns(0).SetWidth(12);
    EXPECT_EQ(grid.Selected().Get(0), "name\t12\tWho\tF");
    EXPECT_EQ(grid.ColWidth(1), 4 + 12 * Zero());
}

TEST(DbGridColumns, SelectedAppliedToTheFieldsWhenTheDataSetOpens) {
    auto ds = Employees(3);
    GridOn g(*ds);
    g.grid.Selected().Add("AMOUNT\t7\tPaid");
    g.grid.Selected().Add("ID\t3\tNo.");
    ds->Open();
    ASSERT_EQ(g.grid.DataLink().MapCount(), 2);
    EXPECT_EQ(g.grid.GetColField(1)->FieldName(), "AMOUNT");
    EXPECT_EQ(g.grid.GetColField(1)->DisplayLabel(), "Paid");
    EXPECT_EQ(g.grid.GetColField(1)->DisplayWidth(), 7);
    EXPECT_EQ(g.grid.GetColField(2)->FieldName(), "ID");
    EXPECT_FALSE(ds->FieldByName("NAME").Visible());
}

TEST(DbGridColumns, ClosedDataSetGivesTitleRowAndOneEmptyDataRow) {
    auto ds = Employees(3);
    GridOn g(*ds);
    EXPECT_FALSE(g.grid.DataLink().Active());
    EXPECT_EQ(g.grid.RowCount(), 2);
    EXPECT_EQ(g.grid.ColCount(), 2);
    ds->Open();
    EXPECT_EQ(g.grid.RowCount(), 4);
    ds->Close();
    EXPECT_EQ(g.grid.RowCount(), 2);
    EXPECT_EQ(g.grid.ColCount(), 2);
    EXPECT_EQ(g.grid.ColumnCount(), 0);
}

TEST(DbGridColumns, EmptyAnswerGivesOneEmptyDataRow) {
    auto ds = Employees(0);
    ds->Open();
    GridOn g(*ds);
    EXPECT_TRUE(g.grid.DataLink().Active());
    EXPECT_EQ(g.grid.RowCount(), 2);
    EXPECT_EQ(g.grid.ColCount(), 6);
}

TEST(DbGridColumns, FieldMapLimitFailsWithItsMessage) {
    std::vector<FieldDesc> fields;
    for (int i = 0; i <= kMaxMapSize; ++i) {
        std::string name = std::to_string(i);
        name.insert(name.begin(), 'F');
        fields.push_back(FieldDesc::Make(name, t::kInt32));
    }
    MemoryDataSet ds(fields, {});
    TDataSource source(&ds);
    ds.Open();
    std::string message;
    try {
        TDbGrid grid;
        grid.SetDataSource(&source);
    } catch (const EDbGridError& e) {
        message = e.what();
    }
    EXPECT_EQ(message, "Grid requested to display more than 256 columns");
}

TEST(DbGridColumns, SelectedLinePartsAndRebuilding) {
    struct Case {
        const char* line;
        int part;
        const char* value;
        const char* rebuilt;
    } cases[] = {
        {"NAME", 2, "8", "NAME\t8\t\tF"},
        {"NAME\t5\tWho\tT", 3, "Whom", "NAME\t5\tWhom\tT"},
        {"NAME\t5\tWho\tT\tGroup", 2, "6", "NAME\t6\tWho\tT\tGroup"},
        {"NAME\t5", 5, "G", "NAME\t5\t\tF\tG"},
    };
    for (const auto& c : cases) EXPECT_EQ(TSelectedLine::WithPart(c.line, c.part, c.value), c.rebuilt) << c.line;
    EXPECT_EQ(TSelectedLine::Part("A\tB\tC", 3), "C");
    EXPECT_EQ(TSelectedLine::Part("A\tB", 4), "");
    EXPECT_EQ(TSelectedLine::PartCount("A\tB\t"), 3);
}

// ----------------------------------------------------------------------------- geometry

TEST(DbGridGeometry, RowHeightsFromTheFontsLinesAndPercent) {
    const int h = QFontMetrics(GridFont()).height();
    struct Case {
        TDbGridOptions options;
        int percent, titleLines;
        int data, title;
    } cases[] = {
        {kDefaultDbGridOptions, 100, 1, h + 3, h + 4},
        {kDefaultDbGridOptions, 200, 1, (h + 3) * 2, h + 4},
        {kDefaultDbGridOptions, 100, 2, h + 3, 2 * h + 4},
        // Without row lines the fixed rows still have theirs: the extra pixel stays.
        {kDefaultDbGridOptions.Without(dgRowLines), 100, 1, h + 3, h + 4},
        {kDefaultDbGridOptions.Without(dgRowLines).With(dgRowLinesDisableFixed), 100, 1, h + 2, h + 5},
    };
    for (const auto& c : cases) {
        TDbGrid grid;
        grid.setFont(GridFont());
        grid.SetTitleFont(GridFont());
        grid.SetOptions(c.options);
        grid.SetRowHeightPercent(c.percent);
        grid.SetTitleLines(c.titleLines);
        grid.SizeRows();
        EXPECT_EQ(grid.DataRowHeight(), c.data) << c.percent << " " << c.titleLines;
        EXPECT_EQ(grid.TitleRowHeight(), c.title) << c.percent << " " << c.titleLines;
        EXPECT_EQ(grid.RowHeight(0), c.title);
    }
    TDbGrid grid;
    grid.SetRowHeightPercent(0);  // below 1: back to 100
    EXPECT_EQ(grid.RowHeightPercent(), 100);
    grid.SetTitleLines(0);  // ignored
    EXPECT_EQ(grid.TitleLines(), 1);
}

TEST(DbGridGeometry, ColumnSizedByTheMouseSnapsToWholeCharacters) {
    auto ds = Employees(3);
    ds->Open();
    GridOn g(*ds);
    const int w0 = Zero();
    struct Case {
        int pixels, chars;
    } cases[] = {
        {4 + 10 * w0 + 3, 10 + (3 + std::max(0, w0 / 2 - 3)) / w0},
        {4 + 12 * w0, 12},
        {4 + 12 * w0 - 1, 11 + (w0 - 1 + std::max(0, w0 / 2 - 3)) / w0},
    };
    for (const auto& c : cases) {
        g.grid.ColumnWidthChangedByUser(2, c.pixels);
        EXPECT_EQ(ds->FieldByName("NAME").DisplayWidth(), c.chars) << c.pixels;
        EXPECT_EQ(g.grid.ColWidth(2), std::max(4 + c.chars * w0, TextWidth("NAME") + 4)) << c.pixels;
    }
}

// ------------------------------------------------------------------ buffer and scrolling

TEST(DbGridBuffer, HoldsExactlyTheVisibleRowsAsTheGridChangesSize) {
    GeneratedDataSet ds(1000);
    ds.Open();
    GridOn g(ds, {300, 200});
    for (int height : {200, 420, 90, 31, 260}) {
        g.grid.resize(300, height);
        const int visible = g.grid.VisibleRowCount();
        EXPECT_EQ(g.grid.DataLink().BufferCount(), std::max(1, visible)) << height;
        EXPECT_EQ(g.grid.DataLink().RecordCount(), std::max(1, visible)) << height;
        EXPECT_EQ(g.grid.RowCount(), std::max(1, visible) + 1) << height;
    }
}

TEST(DbGridBuffer, MillionRecordAnswerReadsOnlyWhatFitsOnScreen) {
    GeneratedDataSet ds(1'000'000);
    GridOn g(ds, {400, 300});
    ds.Open();
    Shot(g.grid);
    const int visible = g.grid.VisibleRowCount();
    ASSERT_GT(visible, 5);
    // Opening reads the first record, then the window grows to the visible rows.
    EXPECT_LE(ds.reads, visible + 1);
    ds.reads = 0;
    ds.Last();
    Shot(g.grid);
    EXPECT_LE(ds.reads, visible);
    EXPECT_EQ(g.grid.GetColField(1)->AsInteger(), 1'000'000);
    for (int i = 0; i < 100; ++i) {
        ds.reads = 0;
        ds.MoveBy(-visible);
        Shot(g.grid);
        EXPECT_LE(ds.reads, visible);
    }
    ds.reads = 0;
    ds.First();
    Shot(g.grid);
    EXPECT_LE(ds.reads, visible);
    EXPECT_EQ(g.grid.VertScrollBarValues().Position, 1);
}

TEST(DbGridScrolling, NotificationsRepaintWhatChanged) {
    GeneratedDataSet ds(100);
    ds.Open();
    GridOn g(ds, {300, 200});
    RecordingGrid& grid = g.grid;
    const int visible = grid.VisibleRowCount();
    ASSERT_GE(visible, 4);
    const int extent = grid.DataRowHeight() + 1;

    // Within the window: only the two rows, no pixel shift.
    grid.Clear();
    ds.Next();
    EXPECT_TRUE(grid.scrolled.empty());
    EXPECT_FALSE(grid.WholeRepainted());
    EXPECT_EQ(grid.Row(), 2);

    // At the last visible row, one more: the data rows shift up by one row and its line.
    ds.MoveBy(visible - 2);
    EXPECT_EQ(grid.Row(), visible);
    const int parity = grid.AlternateParity();
    grid.Clear();
    ds.Next();
    EXPECT_EQ(grid.scrolled, std::vector<int>{-extent});
    EXPECT_FALSE(grid.WholeRepainted());
    EXPECT_EQ(grid.Row(), visible);
    EXPECT_NE(grid.AlternateParity(), parity);  // an odd shift keeps each record's colour

    // Two records further: even, the parity stays.
    grid.Clear();
    ds.MoveBy(2);
    EXPECT_EQ(grid.scrolled, std::vector<int>{-2 * extent});
    EXPECT_NE(grid.AlternateParity(), parity);

    // Further than a screen: everything.
    grid.Clear();
    ds.MoveBy(visible + 3);
    EXPECT_TRUE(grid.scrolled.empty());
    EXPECT_TRUE(grid.WholeRepainted());

    // Without fast scrolling the data rows are repainted instead.
    TDbGridPaintOptions options = grid.PaintOptions();
    options.FastRecordScrolling = false;
    grid.SetPaintOptions(options);
    grid.Clear();
    ds.Next();
    EXPECT_TRUE(grid.scrolled.empty());
    EXPECT_FALSE(grid.invalidated.empty());

    // First and Last change the whole data set view.
    grid.Clear();
    ds.First();
    EXPECT_TRUE(grid.WholeRepainted());
    EXPECT_EQ(grid.Row(), 1);
}

TEST(DbGridScrolling, EditingAndFieldChangesRepaintTheirCells) {
    auto ds = Employees(5);
    ds->Open();
    GridOn g(*ds);
    RecordingGrid& grid = g.grid;
    ds->Next();
    const int row = grid.Row();
    grid.Clear();
    ds->Edit();
    // The indicator cell of the current row shows the edit glyph.
    const QRect indicator = grid.CellRect(0, row);
    bool indicatorRepainted = false;
    for (const QRect& r : grid.invalidated) indicatorRepainted |= r.contains(indicator);
    EXPECT_TRUE(indicatorRepainted);
    std::vector<std::string> changed;
    grid.OnFieldChanged = [&](TDbCustomGrid&, TField* f) { changed.push_back(f->FieldName()); };
    grid.Clear();
    ds->FieldByName("NAME").SetAsString("Zed");
    const QRect cell = grid.CellRect(grid.GetFieldColumn(&ds->FieldByName("NAME")), row);
    bool cellRepainted = false;
    for (const QRect& r : grid.invalidated) cellRepainted |= r.contains(cell);
    EXPECT_TRUE(cellRepainted);
    EXPECT_FALSE(grid.WholeRepainted());
    EXPECT_EQ(changed, std::vector<std::string>{"NAME"});
    ds->Cancel();
}

TEST(DbGridScrolling, RowChangeEventsFollowTheCurrentRecord) {
    GeneratedDataSet ds(50);
    ds.Open();
    GridOn g(ds);
    std::vector<int> rows;
    int cells = 0;
    g.grid.OnRowChanged = [&](TDbCustomGrid&) { rows.push_back(static_cast<int>(ds.RecNo())); };
    g.grid.OnCellChanged = [&](TDbCustomGrid&) { ++cells; };
    ds.Next();
    ds.Next();
    ds.MoveBy(30);
    ds.Last();
    ds.Refresh();  // same record: nothing
    EXPECT_EQ(rows, (std::vector<int>{2, 3, 33, 50}));
    EXPECT_EQ(cells, 4);
}

struct BarCase {
    int64_t records;
    bool sequenced;
    int height;                 // of the grid; picks the visible rows
    int moveTo;                 // 0 first, 1 middle, 2 last
    TScrollBarValues expected;  // Position -1: the record number
};

TEST(DbGridScrolling, VerticalScrollBarFollowsThePosition) {
    const int h = QFontMetrics(GridFont()).height();
    const int rowExtent = h + 4;
    const int oneRow = 2 + (h + 5) + rowExtent + 1;        // frame, title, one row
    const int tenRows = 2 + (h + 5) + 10 * rowExtent + 1;  // ten rows
    const BarCase cases[] = {
        {2, true, oneRow, 0, {1, 1001, 1000, 1}},  // range of one: a full thumb
        {3, true, oneRow, 2, {1, 3, 1, 3}},         {100, true, tenRows, 1, {1, 109, 10, -1}},
        {100, true, tenRows, 2, {1, 109, 10, 100}}, {5, true, tenRows, 0, {1, 9, 5, 1}},  // five records fill five rows
        {100, false, tenRows, 0, {0, 4, 0, 0}},                                           // not sequenced: three places
        {100, false, tenRows, 1, {0, 4, 0, 2}},     {100, false, tenRows, 2, {0, 4, 0, 4}},
    };
    for (const auto& c : cases) {
        GeneratedDataSet ds(c.records, c.sequenced);
        ds.Open();
        TDataSource source(&ds);
        TDbGrid grid;
        grid.setFont(GridFont());
        grid.SetTitleFont(GridFont());
        grid.resize(300, c.height);
        grid.show();
        grid.SetDataSource(&source);
        if (c.moveTo == 1) ds.MoveBy(40);
        if (c.moveTo == 2) ds.Last();
        TScrollBarValues want = c.expected;
        if (want.Position < 0) want.Position = static_cast<int>(ds.RecNo());
        const TScrollBarValues& got = grid.VertScrollBarValues();
        EXPECT_EQ(got, want) << c.records << " records, " << grid.VisibleRowCount() << " rows: " << got.Min << " "
                             << got.Max << " " << got.Page << " " << got.Position;
        // Shown only while records are out of sight, always without record numbers.
        EXPECT_EQ(grid.verticalScrollBar()->isVisible(), !c.sequenced || c.records > grid.VisibleRowCount());
    }
}

TEST(DbGridScrolling, ScrollBarActionsMoveTheDataSet) {
    GeneratedDataSet ds(100);
    ds.Open();
    GridOn g(ds, {300, 200});
    QScrollBar* bar = g.grid.verticalScrollBar();
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(ds.RecNo(), 2);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(ds.RecNo(), 2 + g.grid.VisibleRowCount());
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(ds.RecNo(), 100);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(ds.RecNo(), 1);
}

// ----------------------------------------------------------------------------- painting

QColor At(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

// employee.dbf with two records, opened as a table and as a query.
class DbGridPaint : public ::testing::TestWithParam<bool> {
protected:
    DbGridPaint() : engine(dir.File("aliases.conf"), dir.Path()) {
        SetSessionEngine(&engine);
        const std::vector<FieldDesc> fields = {FieldDesc::Make("ID", t::kFloat, 0, 5, 0, 'N'),
                                               FieldDesc::Make("NAME", t::kString, 0, 10)};
        auto table = engine::CreateTableFile(dir.File("employee.dbf"), fields);
        table->AppendRecord({Value::Int(1), Value::Text("Ann")});
        table->AppendRecord({Value::Int(2), Value::Text("Bob")});
        table->Close();
        if (GetParam()) {
            query.SQL().Add("SELECT * FROM \"employee.dbf\"");
            ds = &query;
        } else {
            tableSet.SetDatabaseName(dir.Path());
            tableSet.SetTableName("employee.dbf");
            ds = &tableSet;
        }
        source.SetDataSet(ds);
        grid.setFont(GridFont());
        grid.SetTitleFont(GridFont());
        grid.setFrameShape(QFrame::NoFrame);
        grid.resize(300, 200);
        grid.show();
        grid.SetDataSource(&source);
    }
    ~DbGridPaint() override {
        tableSet.Close();
        query.Close();
        SetSessionEngine(nullptr);
    }
    test::TempDir dir;
    engine::Engine engine;
    TTable tableSet;
    TQuery query;
    TDataSet* ds = nullptr;
    TDataSource source;
    TDbGrid grid;
};

TEST_P(DbGridPaint, ClosedAnswerShowsTitleRowAndIndicatorOnWhite) {
    const QImage shot = Shot(grid);
    const QColor face = gridcolor::BtnFace(), white = gridcolor::Window();
    EXPECT_EQ(At(shot, 5, 5), face);       // corner
    EXPECT_EQ(At(shot, 100, 5), face);     // title row
    EXPECT_EQ(At(shot, 5, 150), face);     // indicator column to the bottom
    EXPECT_EQ(At(shot, 100, 100), white);  // the data area
    // No line between data cells: a whole row below the title is white.
    const QRect cell = grid.CellRect(1, 1);
    for (int x = 12; x < shot.width(); ++x) ASSERT_EQ(At(shot, x, cell.bottom() + 1), white) << x;
}

TEST_P(DbGridPaint, TwoRecordsWithTitlesIndicatorLinesAndPadding) {
    ds->Open();
    const QImage shot = Shot(grid);
    const QColor face = gridcolor::BtnFace(), white = gridcolor::Window();
    ASSERT_EQ(grid.RowCount(), 3);
    const QRect title = grid.CellRect(1, 0), first = grid.CellRect(1, 1), second = grid.CellRect(2, 2);
    // Title text is drawn (dark pixels) on the button face; raised edges.
    bool titleInk = false;
    for (int x = title.left() + 2; x < title.left() + 20; ++x)
        for (int y = title.top() + 2; y < title.bottom(); ++y) titleInk |= At(shot, x, y).value() < 100;
    EXPECT_TRUE(titleInk);
    EXPECT_EQ(At(shot, title.right() - 3, title.top() + 1), face);
    EXPECT_EQ(At(shot, title.left() + 3, title.top()), grid.LineColors().HighlightColor);
    EXPECT_EQ(At(shot, title.left() + 3, title.bottom() + 1), grid.LineColors().FixedColor);
    // The arrow glyph of the current record: its tip pixel column at x 3 (cell right 11).
    const QRect ind = grid.CellRect(0, 1);
    const int gy = (2 * ind.top() + grid.DataRowHeight() - 11) / 2;
    EXPECT_EQ(At(shot, 3, gy + 5), QColor(Qt::black));
    EXPECT_EQ(At(shot, 3, gy + 5 + grid.DataRowHeight() + 1), face);  // no glyph on the other row
    // Flat silver lines on a white grid, between and under the records.
    EXPECT_EQ(At(shot, first.left() + 5, first.bottom() + 1), gridcolor::Silver());
    EXPECT_EQ(At(shot, first.right() + 1, first.top() + 3), gridcolor::Silver());
    EXPECT_EQ(At(shot, second.left() + 5, second.bottom() + 1), gridcolor::Silver());
    // Below the two records: white without lines; the indicator continues in button face.
    EXPECT_EQ(At(shot, first.left() + 5, second.bottom() + 10), white);
    EXPECT_EQ(At(shot, first.right() + 1, second.bottom() + 10), white);
    EXPECT_EQ(At(shot, 5, 190), face);
    // The pad strip right of the last column, with its light left edge.
    const QRect last = grid.CellRect(grid.ColCount() - 1, 0);
    ASSERT_LT(last.right() + 5, 300);
    EXPECT_EQ(At(shot, last.right() + 5, 150), face);
    EXPECT_EQ(At(shot, last.right() + 2, 150), grid.LineColors().HighlightColor);
    // Record texts: ink in the first cell of each record.
    bool ink1 = false, ink2 = false;
    for (int x = first.left(); x < first.right(); ++x)
        for (int y = first.top(); y < first.bottom(); ++y) ink1 |= At(shot, x, y).value() < 100;
    const QRect second1 = grid.CellRect(2, 1);
    for (int x = second1.left(); x < second1.left() + 20; ++x)
        for (int y = second1.top(); y < second1.bottom(); ++y) ink2 |= At(shot, x, y).value() < 100;
    EXPECT_TRUE(ink1);
    EXPECT_TRUE(ink2);
}

TEST_P(DbGridPaint, LineStylesAndColours) {
    ds->Open();
    const QRect first = grid.CellRect(1, 1);
    grid.SetColor(QColor(255, 255, 224));  // not white: every data line raised
    QImage shot = Shot(grid);
    EXPECT_EQ(At(shot, first.left() + 5, first.bottom() + 1), grid.LineColors().ShadowColor);
    EXPECT_EQ(At(shot, first.left() + 5, first.top()), grid.LineColors().HighlightColor);
    EXPECT_EQ(At(shot, first.right() + 1, first.top() + 3), grid.LineColors().ShadowColor);
    EXPECT_EQ(At(shot, first.right() + 2, first.top() + 3), grid.LineColors().HighlightColor);
    grid.SetLineStyle(glsSingle);
    shot = Shot(grid);
    EXPECT_EQ(At(shot, first.left() + 5, first.bottom() + 1), gridcolor::Silver());
    EXPECT_EQ(At(shot, first.left() + 5, first.top() + 1), QColor(255, 255, 224));
    grid.SetHideAllLines(true);
    shot = Shot(grid);
    EXPECT_EQ(At(shot, first.left() + 5, first.bottom() + 1), QColor(255, 255, 224));
}

TEST_P(DbGridPaint, IndicatorGlyphFollowsStateAndColour) {
    ds->Open();
    const QRect ind = grid.CellRect(0, 1);
    const int gy = (2 * ind.top() + grid.DataRowHeight() - 11) / 2;
    grid.SetIndicatorColor(icYellow);
    EXPECT_EQ(grid.IndicatorIconColor(), QColor(Qt::yellow));
    QImage shot = Shot(grid);
    EXPECT_EQ(At(shot, 3, gy + 5), QColor(Qt::yellow));
    grid.SetIndicatorColor(icBlack);
    if (!ds->CanModify()) return;  // the answer is read-only
    ds->Edit();
    shot = Shot(grid);
    // The I-beam: its stem at glyph column 2, no tip at column 0.
    EXPECT_EQ(At(shot, 3 + 2, gy + 5), QColor(Qt::black));
    EXPECT_EQ(At(shot, 3, gy + 5), gridcolor::BtnFace());
    ds->Cancel();
    shot = Shot(grid);
    EXPECT_EQ(At(shot, 3, gy + 5), QColor(Qt::black));
}

INSTANTIATE_TEST_SUITE_P(TableAndQuery, DbGridPaint, ::testing::Values(false, true),
                         [](const auto& param) { return param.param ? "Query" : "Table"; });

TEST(DbGridPaint, MemoCellsShowTheirTextOnlyWithGridShow) {
    auto ds = Employees(3);
    ds->Open();
    GridOn g(*ds);
    const int notes = g.grid.GetFieldColumn(&ds->FieldByName("NOTES")) - g.grid.IndicatorOffset();
    g.grid.DataLink().SetActiveRecord(1);
    EXPECT_EQ(g.grid.CellDisplayText(notes), "(Memo)");
    g.grid.SetMemoAttributes({mGridShow});
    EXPECT_EQ(g.grid.CellDisplayText(notes), "long memo text");
    g.grid.DataLink().SetActiveRecord(0);
    EXPECT_EQ(g.grid.CellDisplayText(notes), "");
}

TEST(DbIntl, TextsAndDefaults) {
    const TDbIntl intl;
    EXPECT_EQ(intl.UserMessages.dbGridDiscardChanges, "Discard changes to this record?");
    EXPECT_EQ(intl.UserMessages.PictureValidateError, "Invalid characters. Field : ");
    EXPECT_EQ(intl.UserMessages.MemoChangesWarning, "Changes have been made!  Are you sure you wish to cancel?");
    EXPECT_EQ(intl.GridPaintStyle, gpsDynamicDeviceContext);
    EXPECT_EQ(intl.DefaultEpochYear, 1950);
    EXPECT_EQ(intl.BtnOKCaption, "&OK");
    EXPECT_EQ(&DbIntl(), &DbIntl());
}

TEST(DbGridDefaults, PropertiesAsCreated) {
    TDbGrid grid;
    EXPECT_EQ(grid.Options().Bits(), 7421u);
    EXPECT_EQ(grid.KeyOptions(), (TDbGridKeyOptions{dgAllowDelete, dgAllowInsert}));
    EXPECT_TRUE(grid.UseTFields());
    EXPECT_EQ(grid.TitleLines(), 1);
    EXPECT_EQ(grid.LineStyle(), glsDynamic);
    EXPECT_EQ(grid.PadColumnStyle(), pcsPadHeaderAndData);
    EXPECT_EQ(grid.MemoAttributes(), (TDbMemoAttributes{mSizeable, mWordWrap}));
    EXPECT_EQ(grid.EditControlOptions(), TDbEditControlOptions{ecoSearchOwnerForm});
    EXPECT_EQ(grid.DragVertOffset(), 15);
    EXPECT_TRUE(grid.PaintOptions().FastRecordScrolling);
    EXPECT_FALSE(grid.PaintOptions().ActiveRecordColor.isValid());
    EXPECT_EQ(grid.LineColors().DataColor, QColor(192, 192, 192));
    EXPECT_EQ(grid.IniAttributes().Delimiter, ";;");
    EXPECT_FALSE(grid.IniAttributes().Enabled);
    EXPECT_TRUE(grid.ShowVertScrollBar());
    EXPECT_TRUE(grid.ShowHorzScrollBar());
}

}  // namespace
}  // namespace tessel
