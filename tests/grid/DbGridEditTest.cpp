// Tests of editing in the answer grid.

#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "GridTestSupport.h"
#include "engine/Engine.h"
#include "engine/TableFiles.h"
#include "engine/paradox/Paradox.h"
#include "framework/data/DbDataSets.h"
#include "framework/data/Fields.h"
#include "framework/data/Session.h"
#include "grid/DbDateTimePicker.h"
#include "grid/DbGrid.h"
#include "grid/DbInplaceEdit.h"
#include "grid/DbMemoDialog.h"
#include "support/TempDir.h"

namespace tessel {
namespace {

using engine::FieldDesc;
using engine::Value;
namespace t = engine::fldtype;

std::vector<engine::Record> FileRecords(const std::string& path) {
    auto table = engine::OpenTableFile(path);
    std::vector<engine::Record> out;
    engine::Record r;
    for (uint32_t i = 0; i < table->RecordCount(); ++i)
        if (table->ReadRecord(i, r)) out.push_back(r);
    return out;
}

// people.db (keyed on ID) with `n` records and a memo, shown in a focused grid as a table or
// as the answer of a query; messages and questions are written down, not shown.
class GridEdit : public ::testing::Test {
protected:
    explicit GridEdit(int n = 5) : engine(dir.File("aliases.conf"), dir.Path()) {
        SetSessionEngine(&engine);
        auto file = engine::paradox::CreateParadoxTable(
            dir.File("people.db"),
            {FieldDesc::Make("ID", t::kInt32), FieldDesc::Make("NAME", t::kString, 0, 10),
             FieldDesc::Make("ZIP", t::kString, 0, 5), FieldDesc::Make("NOTES", t::kBlob, engine::fldsub::kMemo, 10)},
            {}, 1);
        for (int i = 1; i <= n; ++i)
            file->AppendRecord({Value::Int(i), Value::Text(std::string("p").append(std::to_string(i))),
                                Value::Text(std::string("1000").append(std::to_string(i % 10))),
                                Value::Text(std::string("note of ").append(std::to_string(i)))});
        file->Close();
        grid.resize(400, 8 * 20);
        grid.OnShowError = [this](const std::string& text) { errors.push_back(text); };
        grid.OnConfirm = [this](const std::string& text, bool) {
            questions.push_back(text);
            return answer;
        };
    }
    ~GridEdit() override {
        grid.SetDataSource(nullptr);
        table.Close();
        query.Close();
        SetSessionEngine(nullptr);
    }
    void ShowTable() {
        table.SetDatabaseName(dir.Path());
        table.SetTableName("people.db");
        table.Open();
        Show(table);
    }
    void ShowQuery() {
        query.SetDatabaseName(dir.Path());
        query.SQL().Add("SELECT * FROM people ORDER BY ID");
        query.Open();
        Show(query);
    }
    void Show(TDataSet& ds) {
        source.SetDataSet(&ds);
        grid.show();
        grid.SetDataSource(&source);
        grid.activateWindow();
        grid.setFocus();
        QApplication::processEvents();
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = grid.InplaceEditor() && grid.InplaceEditor()->isVisible() ? grid.InplaceEditor() : &grid;
        QTest::keyClick(target, static_cast<Qt::Key>(key), mods);
    }
    void Type(const char* text) {
        QWidget* target = grid.InplaceEditor() && grid.InplaceEditor()->isVisible() ? grid.InplaceEditor() : &grid;
        QTest::keyClicks(target, text);
    }
    std::string Editor() const {
        auto* e = qobject_cast<QLineEdit*>(grid.InplaceEditor());
        return e ? e->text().toStdString() : std::string("(none)");
    }
    TDataSet& Ds() { return *source.DataSet(); }
    int Id() { return Ds().FieldByName("ID").AsInteger(); }
    std::string Column() { return grid.SelectedField() ? grid.SelectedField()->FieldName() : std::string(); }

    test::TempDir dir;
    engine::Engine engine;
    TDbTable table;
    TDbQuery query;
    TDbDataSource source;
    TDbGrid grid;
    std::vector<std::string> errors, questions;
    bool answer = true;
};

TEST_F(GridEdit, KeysMoveBetweenCellsAndRecords) {
    ShowTable();
    struct Step {
        int key;
        Qt::KeyboardModifiers mods;
        int id;
        const char* column;
    } steps[] = {
        {Qt::Key_Down, Qt::NoModifier, 2, "ID"},
        {Qt::Key_Right, Qt::NoModifier, 2, "NAME"},
        {Qt::Key_Right, Qt::NoModifier, 2, "ZIP"},
        {Qt::Key_End, Qt::NoModifier, 2, "NOTES"},
        {Qt::Key_Right, Qt::NoModifier, 2, "NOTES"},  // no column past the last
        {Qt::Key_Home, Qt::NoModifier, 2, "ID"},
        {Qt::Key_Left, Qt::NoModifier, 2, "ID"},
        {Qt::Key_Right, Qt::ControlModifier, 2, "NOTES"},
        {Qt::Key_Left, Qt::ControlModifier, 2, "ID"},
        {Qt::Key_End, Qt::ControlModifier, 5, "ID"},
        {Qt::Key_Up, Qt::NoModifier, 4, "ID"},
        {Qt::Key_Home, Qt::ControlModifier, 1, "ID"},
        {Qt::Key_Up, Qt::NoModifier, 1, "ID"},  // nothing before the first
        {Qt::Key_Tab, Qt::NoModifier, 1, "NAME"},
        {Qt::Key_Tab, Qt::ShiftModifier, 1, "ID"},
        {Qt::Key_Backtab, Qt::ShiftModifier, 1, "ID"},  // before the first record: stays
        {Qt::Key_End, Qt::NoModifier, 1, "NOTES"},
        {Qt::Key_Tab, Qt::NoModifier, 2, "ID"},            // past the last column: next record
        {Qt::Key_Backtab, Qt::ShiftModifier, 1, "NOTES"},  // before the first: previous record's last
        {Qt::Key_PageDown, Qt::NoModifier, 5, "NOTES"},
        {Qt::Key_PageUp, Qt::NoModifier, 1, "NOTES"},
    };
    int n = 0;
    for (const Step& s : steps) {
        Key(s.key, s.mods);
        EXPECT_EQ(Id(), s.id) << "step " << n;
        EXPECT_EQ(Column(), s.column) << "step " << n;
        ++n;
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(GridEdit, TypingEditsTheCellAndMovingPostsItToTheFile) {
    ShowTable();
    Key(Qt::Key_Down);
    Key(Qt::Key_Right);
    Type("Zoe");
    EXPECT_TRUE(grid.EditorMode());
    EXPECT_EQ(Editor(), "Zoe");  // the cell's text was replaced
    EXPECT_EQ(Ds().State(), TDataSetState::dsEdit);
    EXPECT_EQ(FileRecords(dir.File("people.db"))[1][1], Value::Text("p2"));
    Key(Qt::Key_Down);  // the move posts
    EXPECT_EQ(Ds().State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Id(), 3);
    EXPECT_EQ(FileRecords(dir.File("people.db"))[1][1], Value::Text("Zoe"));

    // Enter opens the editor on the text, Enter again writes it; F2 puts the caret at the end.
    Key(Qt::Key_Return);
    EXPECT_TRUE(grid.EditorMode());
    EXPECT_EQ(Editor(), "p3");
    Key(Qt::Key_F2);
    Type("x");
    EXPECT_EQ(Editor(), "p3x");
    Key(Qt::Key_Return);
    EXPECT_FALSE(grid.EditorMode());
    EXPECT_EQ(Ds().FieldByName("NAME").AsString(), "p3x");
    Key(Qt::Key_Up);
    EXPECT_EQ(FileRecords(dir.File("people.db"))[2][1], Value::Text("p3x"));

    // A string field takes no more than its size.
    Key(Qt::Key_Return);
    Type("abcdefghijklmn");
    EXPECT_EQ(Editor(), "abcdefghij");
    // Escape drops the typed text, then an unchanged record leaves edit state.
    Key(Qt::Key_Escape);
    EXPECT_EQ(Ds().FieldByName("NAME").AsString(), "Zoe");
    EXPECT_FALSE(grid.EditorMode());
    Key(Qt::Key_Escape);
    EXPECT_EQ(Ds().State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(questions.empty());
    EXPECT_TRUE(errors.empty());
}

TEST_F(GridEdit, EscapeAsksBeforeDroppingAWrittenChange) {
    ShowTable();
    Key(Qt::Key_Right);
    Type("Q");
    Key(Qt::Key_Return);  // written to the field, record still in edit state
    EXPECT_EQ(Ds().State(), TDataSetState::dsEdit);
    answer = false;
    Key(Qt::Key_Escape);
    EXPECT_EQ(questions, std::vector<std::string>{"Discard changes to this record?"});
    EXPECT_EQ(Ds().State(), TDataSetState::dsEdit);
    answer = true;
    Key(Qt::Key_Escape);
    EXPECT_EQ(Ds().State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Ds().FieldByName("NAME").AsString(), "p1");
}

TEST_F(GridEdit, DownAtTheEndAppendsAndUpCancelsTheEmptyRecord) {
    ShowTable();
    Key(Qt::Key_End, Qt::ControlModifier);
    Key(Qt::Key_Down);
    EXPECT_EQ(Ds().State(), TDataSetState::dsInsert);
    Key(Qt::Key_Down);  // an unchanged new record: Down cancels it, nothing more
    EXPECT_EQ(Ds().State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Id(), 5);
    Key(Qt::Key_Down);
    EXPECT_EQ(Ds().State(), TDataSetState::dsInsert);
    Key(Qt::Key_Up);
    EXPECT_EQ(Ds().State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Id(), 5);
    EXPECT_EQ(Ds().RecordCount(), 5);

    // A typed record is posted by the move.
    Key(Qt::Key_Down);
    Type("6");
    Key(Qt::Key_Tab);
    Type("Sam");
    Key(Qt::Key_Up);
    ASSERT_EQ(FileRecords(dir.File("people.db")).size(), 6u);
    EXPECT_EQ(FileRecords(dir.File("people.db"))[5][1], Value::Text("Sam"));

    // Insert starts a record; Ctrl+Delete deletes after the question.
    answer = false;
    Key(Qt::Key_Home, Qt::ControlModifier);
    Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(questions, std::vector<std::string>{"Delete record?"});
    EXPECT_EQ(Ds().RecordCount(), 6);
    answer = true;
    Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(Ds().RecordCount(), 5);
    EXPECT_EQ(FileRecords(dir.File("people.db"))[0][0], Value::Int(2));
    Key(Qt::Key_Insert);
    EXPECT_EQ(Ds().State(), TDataSetState::dsInsert);
    EXPECT_TRUE(errors.empty());
}

TEST_F(GridEdit, TheReadOnlyAnswerRefusesEveryChange) {
    ShowQuery();
    Key(Qt::Key_Right);
    Type("zz");
    EXPECT_TRUE(grid.EditorMode());  // the editor opens, no character enters
    EXPECT_EQ(Editor(), "p1");
    EXPECT_EQ(Ds().State(), TDataSetState::dsBrowse);
    Key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(Ds().RecordCount(), 5);
    Key(Qt::Key_Insert);
    EXPECT_EQ(errors, std::vector<std::string>{"Cannot modify a read-only dataset"});
    Key(Qt::Key_End, Qt::ControlModifier);
    Key(Qt::Key_Down);
    EXPECT_EQ(Ds().State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Id(), 5);
    EXPECT_EQ(Ds().RecordCount(), 5);
}

TEST_F(GridEdit, PicturesFilterTypingAndStopThePost) {
    table.PictureMasks.Add("ZIP\t#####\tT\tT");
    table.PictureMasks.Add("NAME\t&*?\tT\tT");
    ShowTable();
    Key(Qt::Key_Right);
    Type("bo1b");  // the digit is refused, the first letter stored upper case
    EXPECT_EQ(Editor(), "Bob");
    Key(Qt::Key_Tab);  // written
    EXPECT_EQ(Ds().FieldByName("NAME").AsString(), "Bob");
    Type("12a3");
    EXPECT_EQ(Editor(), "123");
    Key(Qt::Key_Down);  // an incomplete text fails: it stays in the editor, with the message
    EXPECT_EQ(errors, std::vector<std::string>{"Invalid input value.  Use escape key to abandon changes"});
    EXPECT_EQ(Id(), 1);
    EXPECT_TRUE(grid.EditorMode());
    EXPECT_EQ(Editor(), "123");
    Type("45");
    Key(Qt::Key_Down);
    EXPECT_EQ(Id(), 2);
    EXPECT_EQ(FileRecords(dir.File("people.db"))[0][2], Value::Text("12345"));
    EXPECT_EQ(FileRecords(dir.File("people.db"))[0][1], Value::Text("Bob"));
}

TEST_F(GridEdit, MemoCellsOpenTheMemoWindow) {
    ShowQuery();
    grid.SetMemoAttributes({mSizeable, mWordWrap, mGridShow, mViewOnly});
    Key(Qt::Key_End);
    EXPECT_EQ(Column(), "NOTES");
    Type("x");  // typed characters are ignored in a memo cell
    EXPECT_FALSE(grid.EditorMode());
    bool sawView = false;
    grid.OnExecuteMemo = [&](TDbMemoDialog& memo) {
        std::unique_ptr<TDbMemoDlg> dlg(memo.CreateWindow(&grid));
        sawView = dlg->ViewOnly();
        EXPECT_EQ(dlg->windowTitle().toStdString(), "NOTES");
        EXPECT_EQ(dlg->Memo()->toPlainText().toStdString(), "note of 1");
        EXPECT_TRUE(dlg->Memo()->isReadOnly());
        EXPECT_TRUE(dlg->CancelButton()->isHidden());
        EXPECT_TRUE(dlg->OkButton()->isEnabled());
        return memo.Finish(*dlg, true);
    };
    Key(Qt::Key_F2);
    EXPECT_TRUE(sawView);
    EXPECT_EQ(Ds().State(), TDataSetState::dsBrowse);
}

TEST_F(GridEdit, AnEditableMemoWindowWritesTheFieldWithoutPosting) {
    ShowTable();
    Key(Qt::Key_End);
    grid.OnExecuteMemo = [&](TDbMemoDialog& memo) {
        std::unique_ptr<TDbMemoDlg> dlg(memo.CreateWindow(&grid));
        EXPECT_FALSE(dlg->ViewOnly());
        EXPECT_FALSE(dlg->OkButton()->isEnabled());
        dlg->Memo()->setPlainText("rewritten");
        EXPECT_TRUE(dlg->OkButton()->isEnabled());
        return memo.Finish(*dlg, true);
    };
    Key(Qt::Key_F2);
    EXPECT_EQ(Ds().State(), TDataSetState::dsEdit);
    EXPECT_EQ(Ds().FieldByName("NOTES").AsString(), "rewritten");
    Key(Qt::Key_Down);
    EXPECT_EQ(FileRecords(dir.File("people.db"))[0][3], Value::Text("rewritten"));
}

TEST_F(GridEdit, MouseClicksMoveAndTheWheelScrolls) {
    ShowTable();
    const QRect cell = grid.CellRect(2 + grid.IndicatorOffset() - 1, grid.TitleOffset() + 2);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(Id(), 3);
    EXPECT_EQ(Column(), "NAME");
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_TRUE(grid.EditorMode());
    QWheelEvent down(QPointF(10, 40), grid.mapToGlobal(QPointF(10, 40)), {}, {0, -120}, Qt::NoButton, {},
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid.viewport(), &down);
    EXPECT_EQ(Id(), 4);
}

// ------------------------------------------------------------------ the title row's mouse

// Mouse events sent straight to the grid's client area.
void Mouse(TDbGrid& grid, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton,
           Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, QPointF(pos), grid.viewport()->mapToGlobal(QPointF(pos)),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, mods);
    QApplication::sendEvent(grid.viewport(), &event);
}
std::vector<std::string> FieldOrder(TDataSet& ds) {
    std::vector<std::string> out;
    for (int i = 0; i < ds.FieldCount(); ++i) out.push_back(ds.Fields(i).FieldName());
    return out;
}

TEST_F(GridEdit, DraggingATitleDividerSizesTheColumnInWholeCharacters) {
    ShowTable();
    const int w0 = QFontMetrics(grid.font()).horizontalAdvance(QLatin1Char('0'));
    const int nameCol = grid.IndicatorOffset() + 1;
    struct Case {
        int chars, extra;
    } cases[] = {{14, 0}, {12, 1}, {20, w0 / 2}, {9, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chars);
        int changed = 0;
        grid.OnColWidthChanged = [&](TDbCustomGrid&) { ++changed; };
        const QRect title = grid.CellRect(nameCol, 0);
        const QPoint divider(title.right() + 1, title.center().y());
        const int target = 4 + c.chars * w0 + c.extra;
        Mouse(grid, QEvent::MouseButtonPress, divider);
        EXPECT_TRUE(grid.SizingColumn());
        Mouse(grid, QEvent::MouseMove, divider + QPoint(target - title.width(), 0));
        EXPECT_EQ(grid.ColWidth(nameCol), target);
        Mouse(grid, QEvent::MouseButtonRelease, divider + QPoint(target - title.width(), 0));
        EXPECT_FALSE(grid.SizingColumn());
        EXPECT_EQ(Ds().FieldByName("NAME").DisplayWidth(), c.chars);
        EXPECT_EQ(grid.ColWidth(nameCol), 4 + c.chars * w0);
        EXPECT_EQ(changed, 1);
    }
    // A press inside a title is no sizing.
    Mouse(grid, QEvent::MouseButtonPress, grid.CellRect(nameCol, 0).center());
    EXPECT_FALSE(grid.SizingColumn());
    Mouse(grid, QEvent::MouseButtonRelease, grid.CellRect(nameCol, 0).center());
}

TEST_F(GridEdit, FixedColumnsAreSizedOnlyWithFixedResizable) {
    ShowTable();
    grid.SetDbFixedCols(1);
    const int idCol = grid.IndicatorOffset();
    ASSERT_EQ(grid.FixedCols(), idCol + 1);
    const int w0 = QFontMetrics(grid.font()).horizontalAdvance(QLatin1Char('0'));
    const int before = grid.ColWidth(idCol);
    const auto drag = [&] {
        const QRect title = grid.CellRect(idCol, 0);
        const QPoint divider(title.right() + 1, title.center().y());
        Mouse(grid, QEvent::MouseButtonPress, divider);
        const bool sizing = grid.SizingColumn();
        Mouse(grid, QEvent::MouseMove, divider + QPoint(3 * w0, 0));
        Mouse(grid, QEvent::MouseButtonRelease, divider + QPoint(3 * w0, 0));
        return sizing;
    };
    EXPECT_FALSE(drag());
    EXPECT_EQ(grid.ColWidth(idCol), before);
    // Nor from the indicator's edge.
    const QRect indicator = grid.CellRect(0, 0);
    Mouse(grid, QEvent::MouseButtonPress, QPoint(indicator.right() + 1, indicator.center().y()));
    EXPECT_FALSE(grid.SizingColumn());
    Mouse(grid, QEvent::MouseButtonRelease, QPoint(indicator.right() + 1, indicator.center().y()));

    grid.SetOptions(grid.Options().With(dgFixedResizable));
    ASSERT_EQ(grid.FixedCols(), idCol + 1);
    const int chars = Ds().FieldByName("ID").DisplayWidth();
    EXPECT_TRUE(drag());
    EXPECT_EQ(Ds().FieldByName("ID").DisplayWidth(), chars + 3);
    EXPECT_EQ(grid.ColWidth(idCol), 4 + (chars + 3) * w0);
    EXPECT_EQ(grid.FixedCols(), idCol + 1);
}

TEST_F(GridEdit, DoubleClickOnADividerFitsTheColumnOnlyWhenSwitchedOn) {
    ShowTable();
    const int nameCol = grid.IndicatorOffset() + 1;
    const QFontMetrics fm(grid.font());
    const int w0 = fm.horizontalAdvance(QLatin1Char('0'));
    int widest = QFontMetrics(grid.TitleFont()).horizontalAdvance(QStringLiteral("NAME"));
    for (int i = 1; i <= 5; ++i) widest = std::max(widest, fm.horizontalAdvance(QStringLiteral("p%1").arg(i)));
    const int fitted = (widest + w0 - 1) / w0;
    for (bool on : {false, true}) {
        SCOPED_TRACE(on);
        TDbGridOptions options = grid.Options();
        if (on)
            options.Include(dgDblClickColSizing);
        else
            options.Exclude(dgDblClickColSizing);
        grid.SetOptions(options);
        Ds().FieldByName("NAME").SetDisplayWidth(20);
        grid.RebuildLayout();
        const QRect title = grid.CellRect(nameCol, 0);
        Mouse(grid, QEvent::MouseButtonDblClick, QPoint(title.right() - 4, title.center().y()));
        Mouse(grid, QEvent::MouseButtonRelease, QPoint(title.right() - 4, title.center().y()));
        EXPECT_EQ(Ds().FieldByName("NAME").DisplayWidth(), on ? fitted : 20);
    }
}

TEST_F(GridEdit, DraggingATitleMovesTheColumnAndTheFieldOrder) {
    struct Case {
        const char* name;
        int from;  // data column whose title is dragged
        int to;    // data column dropped on; -1: right of the last column; -2: 2 pixels only
        std::vector<std::string> order;
        int movedTo;  // -1: no move
    } cases[] = {
        {"right", 0, 2, {"NAME", "ZIP", "ID", "NOTES"}, 2},
        {"left", 2, 0, {"ZIP", "ID", "NAME", "NOTES"}, 0},
        {"past the last column", 0, -1, {"NAME", "ZIP", "NOTES", "ID"}, 3},
        {"by two pixels", 1, -2, {"ID", "NAME", "ZIP", "NOTES"}, -1},
        {"onto itself", 1, 1, {"ID", "NAME", "ZIP", "NOTES"}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        table.Close();
        ShowTable();
        int movedFrom = -1, movedTo = -1;
        grid.OnColumnMoved = [&](TDbCustomGrid&, int a, int b) {
            movedFrom = a;
            movedTo = b;
        };
        const int ind = grid.IndicatorOffset();
        const QPoint from = grid.CellRect(c.from + ind, 0).center();
        QPoint to;
        if (c.to == -1)
            to = QPoint(grid.CellRect(grid.ColCount() - 1, 0).right() + 20, from.y());
        else if (c.to == -2)
            to = from + QPoint(2, 0);
        else
            to = grid.CellRect(c.to + ind, 0).center() + QPoint(c.to > c.from ? 3 : -3, 0);
        Mouse(grid, QEvent::MouseButtonPress, from);
        Mouse(grid, QEvent::MouseMove, to);
        EXPECT_EQ(grid.DraggingTitle(), c.to != -2);
        if (grid.DraggingTitle()) {
            EXPECT_EQ(grid.DragDropColumn(), c.to == -1 ? grid.ColCount() - 1 : c.to + ind);
        }
        Mouse(grid, QEvent::MouseButtonRelease, to);
        EXPECT_FALSE(grid.DraggingTitle());
        EXPECT_EQ(FieldOrder(Ds()), c.order);
        EXPECT_EQ(movedTo, c.movedTo);
        if (c.movedTo >= 0) {
            EXPECT_EQ(movedFrom, c.from);
            EXPECT_EQ(grid.GetColField(c.movedTo + ind)->FieldName(), c.order[static_cast<size_t>(c.movedTo)]);
        }
    }
}

TEST_F(GridEdit, ArrowsMarkTheDropEdgeWhileATitleIsDragged) {
    struct Case {
        int from, to;
        bool rightEdge;  // the arrows sit at the right edge of the drop column
    } cases[] = {{0, 2, true}, {3, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        ShowTable();
        const int ind = grid.IndicatorOffset();
        const QRect target = grid.CellRect(c.to + ind, 0);
        const int edge = c.rightEdge ? target.right() + 1 : target.left();
        const int y = target.top() + (target.height() - 14) / 2 + 6;  // the arrows' middle row
        auto black = [&](const QImage& shot, int x) { return QColor(shot.pixel(x, y)) == QColor(Qt::black); };
        const QImage before = test::Shot(grid);
        EXPECT_FALSE(black(before, edge - 4) && black(before, edge + 4));
        const QPoint from = grid.CellRect(c.from + ind, 0).center();
        Mouse(grid, QEvent::MouseButtonPress, from);
        Mouse(grid, QEvent::MouseMove, target.center());
        const QImage during = test::Shot(grid);
        for (int dx : {-12, -4, -1}) EXPECT_TRUE(black(during, edge + dx)) << dx;
        for (int dx : {2, 4, 12}) EXPECT_TRUE(black(during, edge + dx)) << dx;
        Mouse(grid, QEvent::MouseButtonRelease, target.center());
        table.Close();
    }
}

TEST_F(GridEdit, TheDragTimerScrollsTheColumnsAtTheEdges) {
    grid.resize(170, 8 * 20);
    ShowTable();
    const int ind = grid.IndicatorOffset();
    ASSERT_EQ(grid.LeftCol(), ind);
    ASSERT_LT(grid.LastVisibleCol(), grid.ColCount() - 1);
    const QPoint from = grid.CellRect(ind, 0).center();
    const int right = grid.ClientSize().width() - 4;
    Mouse(grid, QEvent::MouseButtonPress, from);
    Mouse(grid, QEvent::MouseMove, QPoint(right - 20, from.y()));
    grid.DragTimerTick();
    EXPECT_EQ(grid.LeftCol(), ind);  // not yet near the edge
    Mouse(grid, QEvent::MouseMove, QPoint(right, from.y()));
    grid.DragTimerTick();
    EXPECT_EQ(grid.LeftCol(), ind + 1);
    grid.DragTimerTick();
    EXPECT_EQ(grid.LeftCol(), ind + 2);
    // Moving left over the indicator column scrolls back.
    Mouse(grid, QEvent::MouseMove, QPoint(3, from.y()));
    grid.DragTimerTick();
    EXPECT_EQ(grid.LeftCol(), ind + 1);
    grid.DragTimerTick();
    grid.DragTimerTick();
    EXPECT_EQ(grid.LeftCol(), ind);
    Mouse(grid, QEvent::MouseButtonRelease, QPoint(3, from.y()));
    EXPECT_EQ(FieldOrder(Ds()), (std::vector<std::string>{"ID", "NAME", "ZIP", "NOTES"}));
}

TEST_F(GridEdit, TitleButtonsReportAClickOnTheSameTitle) {
    struct Case {
        bool buttons;
        int dx;  // movement before the release
        const char* clicked;
    } cases[] = {{true, 0, "NAME"}, {true, 1, "NAME"}, {false, 0, ""}, {true, 40, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dx);
        grid.SetTitleButtons(c.buttons);
        std::string clicked;
        grid.OnTitleButtonClick = [&](TDbCustomGrid&, TField* f) { clicked = f ? f->FieldName() : "?"; };
        if (!table.Active()) ShowTable();
        const int nameCol = grid.IndicatorOffset() + 1;
        const QPoint at = grid.CellRect(nameCol, 0).center();
        const QImage before = test::Shot(grid).copy(grid.CellRect(nameCol, 0));
        Mouse(grid, QEvent::MouseButtonPress, at);
        EXPECT_EQ(grid.PressedTitleColumn(), c.buttons ? nameCol : -1);
        if (c.buttons) {
            EXPECT_NE(test::Shot(grid).copy(grid.CellRect(nameCol, 0)), before);
        }
        Mouse(grid, QEvent::MouseMove, at + QPoint(c.dx, 0));
        Mouse(grid, QEvent::MouseButtonRelease, at + QPoint(c.dx, 0));
        EXPECT_EQ(grid.PressedTitleColumn(), -1);
        EXPECT_EQ(clicked, c.clicked);
        table.Close();
    }
}

// ---------------------------------------------------------------------- multi-selection

class GridMultiSelect : public GridEdit {
protected:
    std::vector<int> SelectedIds() {
        const TBookmark here = Ds().GetBookmark();
        std::vector<int> ids;
        for (const TBookmark& b : grid.SelectedRecords()) {
            Ds().GotoBookmark(b);
            ids.push_back(Id());
        }
        Ds().GotoBookmark(here);
        std::sort(ids.begin(), ids.end());
        return ids;
    }
    void Click(int id, Qt::KeyboardModifiers mods) {
        const QPoint at = grid.CellRect(grid.IndicatorOffset() + 1, grid.TitleOffset() + id - 1).center();
        Mouse(grid, QEvent::MouseButtonPress, at, Qt::LeftButton, mods);
        Mouse(grid, QEvent::MouseButtonRelease, at, Qt::LeftButton, mods);
    }
};

TEST_F(GridMultiSelect, ClicksWithCtrlAndShiftSelectRecords) {
    TDbGridOptions options = grid.Options();
    options.Include(dgMultiSelect);
    grid.SetOptions(options);
    grid.SetMultiSelectOptions({msoAutoUnselect, msoShiftSelect});
    ShowTable();
    struct Step {
        int id;
        Qt::KeyboardModifiers mods;
        std::vector<int> selected;
    } steps[] = {
        {1, Qt::NoModifier, {1}},
        {3, Qt::ControlModifier, {1, 3}},
        {1, Qt::ControlModifier, {3}},
        {5, Qt::ShiftModifier, {1, 2, 3, 4, 5}},  // from the anchor, the last clicked record
        {2, Qt::NoModifier, {2}},
        {4, Qt::ShiftModifier, {2, 3, 4}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.id);
        Click(s.id, s.mods);
        EXPECT_EQ(Id(), s.id);
        EXPECT_EQ(SelectedIds(), s.selected);
    }
    // Selected rows are highlighted, the others not.
    const QImage shot = test::Shot(grid);
    auto pixel = [&](int id) {
        const QRect r = grid.CellRect(grid.IndicatorOffset() + 2, grid.TitleOffset() + id - 1);
        return shot.pixel(r.right() - 2, r.center().y());
    };
    EXPECT_EQ(pixel(3), pixel(2));
    EXPECT_NE(pixel(3), pixel(5));
    EXPECT_EQ(pixel(1), pixel(5));
}

TEST_F(GridMultiSelect, SpaceTogglesTheRecordWithRowSelect) {
    TDbGridOptions options = grid.Options();
    options.Include(dgMultiSelect);
    options.Include(dgRowSelect);
    grid.SetOptions(options);
    ShowTable();
    struct Step {
        int key;
        std::vector<int> selected;
    } steps[] = {
        {Qt::Key_Space, {1}}, {Qt::Key_Down, {1}}, {Qt::Key_Space, {1, 2}}, {Qt::Key_Up, {1, 2}}, {Qt::Key_Space, {2}}};
    for (const Step& s : steps) {
        Key(s.key);
        EXPECT_EQ(SelectedIds(), s.selected);
    }
}

// ---------------------------------------------------------------------------------- ditto

TEST_F(GridEdit, DittoShortcutsCopyFromTheNeighbouringRecord) {
    const int fieldKey = QKeyCombination(Qt::ControlModifier, Qt::Key_D).toCombined();
    const int recordKey = QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_D).toCombined();
    struct Case {
        TDbDittoDirection direction;
        int id;       // record to change
        bool record;  // the whole record
        const char* name;
        const char* zip;
    } cases[] = {
        {dbDittoPrior, 3, false, "p2", "10003"},       {dbDittoNext, 3, false, "p4", "10003"},
        {dbDittoPriorOrNext, 1, false, "p2", "10001"}, {dbDittoPriorOrNext, 3, false, "p2", "10003"},
        {dbDittoPrior, 1, false, "p1", "10001"},  // no record before the first
        {dbDittoPrior, 4, true, "p3", "10003"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        ShowTable();
        grid.DittoAttributes().DittoDirection = c.direction;
        grid.DittoAttributes().ShortCutDittoField = fieldKey;
        grid.DittoAttributes().ShortCutDittoRecord = recordKey;
        for (int i = 1; i < c.id; ++i) Key(Qt::Key_Down);
        Key(Qt::Key_Right);
        ASSERT_EQ(Column(), "NAME");
        if (c.record)
            Key(Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        else
            Key(Qt::Key_D, Qt::ControlModifier);
        EXPECT_EQ(Ds().FieldByName("NAME").AsString(), c.name);
        EXPECT_EQ(Ds().FieldByName("ZIP").AsString(), c.zip);
        Ds().Cancel();
        table.Close();
    }
}

TEST_F(GridEdit, TheDittoShortcutReachesTheGridFromTheOpenCellEditor) {
    ShowTable();
    grid.DittoAttributes().ShortCutDittoField = QKeyCombination(Qt::ControlModifier, Qt::Key_D).toCombined();
    Key(Qt::Key_Down);
    Key(Qt::Key_Right);
    Key(Qt::Key_F2);
    ASSERT_TRUE(grid.EditorMode());
    ASSERT_TRUE(grid.InplaceEditor()->hasFocus());
    Key(Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(Ds().FieldByName("NAME").AsString(), "p1");
    EXPECT_EQ(Editor(), "p1");
    Ds().Cancel();
}

TEST_F(GridEdit, ADittoFieldIsPostedToTheFileAndRefusedOnTheAnswer) {
    ShowTable();
    grid.DittoAttributes().ShortCutDittoField = QKeyCombination(Qt::ControlModifier, Qt::Key_D).toCombined();
    Key(Qt::Key_Down);
    Key(Qt::Key_Right);
    Key(Qt::Key_D, Qt::ControlModifier);
    Key(Qt::Key_Down);
    table.Close();
    EXPECT_EQ(FileRecords(dir.File("people.db"))[1][1], Value::Text("p1"));
    grid.SetDataSource(nullptr);
    ShowQuery();
    grid.DittoAttributes().ShortCutDittoField = QKeyCombination(Qt::ControlModifier, Qt::Key_D).toCombined();
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    Key(Qt::Key_Right);
    Key(Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(Ds().FieldByName("NAME").AsString(), "p3");
    EXPECT_EQ(Ds().State(), TDataSetState::dsBrowse);
}

// visits.db: an ID, a name, a date and a time, shown like people.db.
class GridDates : public GridEdit {
protected:
    GridDates() {
        auto file = engine::paradox::CreateParadoxTable(
            dir.File("visits.db"),
            {FieldDesc::Make("ID", t::kInt32), FieldDesc::Make("NAME", t::kString, 0, 10),
             FieldDesc::Make("DAY", t::kDate), FieldDesc::Make("AT", t::kTime)},
            {}, 1);
        file->AppendRecord({Value::Int(1), Value::Text("a"), Value::Date(1998, 1, 15), Value::Time(15, 4, 5)});
        file->AppendRecord({Value::Int(2), Value::Text("b"), Value::Date(2001, 12, 3), Value::Time(8, 30, 0)});
        file->AppendRecord({Value::Int(3), Value::Text("c"), Value::Null(), Value::Null()});
        file->Close();
        grid.OnCreateDateTimePicker = [this](TDbCustomGrid&) { ++created; };
    }
    void ShowVisits() {
        table.SetDatabaseName(dir.Path());
        table.SetTableName("visits.db");
        table.Open();
        Show(table);
    }
    void ShowVisitsAnswer() {
        query.SetDatabaseName(dir.Path());
        query.SQL().Add("SELECT * FROM visits ORDER BY ID");
        query.Open();
        Show(query);
    }
    // A key to whatever has the focus (the grid, its cell editor or its date/time editor).
    void FocusKey(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &grid;
        QTest::keyClick(target, static_cast<Qt::Key>(key), mods);
    }
    TDbDateTimePicker* Picker() { return grid.DateTimePicker(); }
    bool PickerShown() { return Picker() && Picker()->isVisible(); }
    int created = 0;
};

TEST_F(GridDates, DateAndTimeCellsUseTheDateTimeEditorInsteadOfTheCellEditor) {
    ShowVisits();
    EXPECT_FALSE(PickerShown());
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    ASSERT_EQ(Column(), "DAY");
    ASSERT_TRUE(PickerShown());
    EXPECT_EQ(created, 1);
    EXPECT_EQ(Picker()->geometry(), grid.CellRect(grid.Col(), grid.Row()));
    EXPECT_EQ(Picker()->DataSource(), &source);
    EXPECT_EQ(Picker()->DataField(), "DAY");
    EXPECT_FALSE(Picker()->isReadOnly());
    EXPECT_EQ(Picker()->FieldText(), "1/15/1998");
    EXPECT_TRUE(Picker()->calendarPopup());
    // Enter and typing never open the cell editor here.
    Key(Qt::Key_Return);
    EXPECT_FALSE(grid.EditorMode());
    EXPECT_FALSE(grid.InplaceEditor() && grid.InplaceEditor()->isVisible());

    // It follows the current record and moves with the current cell.
    Key(Qt::Key_Down);
    EXPECT_EQ(Id(), 2);
    EXPECT_EQ(Picker()->FieldText(), "12/3/2001");
    EXPECT_EQ(Picker()->geometry(), grid.CellRect(grid.Col(), grid.Row()));
    Key(Qt::Key_Down);
    EXPECT_EQ(Picker()->FieldText(), "");  // a blank date shows blank
    Key(Qt::Key_Up);
    Key(Qt::Key_Up);
    Key(Qt::Key_Right);
    ASSERT_EQ(Column(), "AT");
    ASSERT_TRUE(PickerShown());
    EXPECT_EQ(created, 1);  // one editor per grid
    EXPECT_EQ(Picker()->DataField(), "AT");
    EXPECT_EQ(Picker()->FieldText(), "3:04:05 PM");
    EXPECT_FALSE(Picker()->calendarPopup());

    // Other cells hide it, and the cell editor opens there again.
    Key(Qt::Key_Left);
    Key(Qt::Key_Left);
    EXPECT_EQ(Column(), "NAME");
    EXPECT_FALSE(PickerShown());
    Key(Qt::Key_Return);
    EXPECT_TRUE(grid.EditorMode());
    EXPECT_EQ(Editor(), "a");
    EXPECT_TRUE(errors.empty());
}

TEST_F(GridDates, ANewDateIsWrittenIntoTheFieldAndPostedToTheFile) {
    ShowVisits();
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    ASSERT_TRUE(PickerShown());
    // F2 hands the keys to the editor.
    Key(Qt::Key_F2);
    EXPECT_TRUE(Picker()->hasFocus());
    Picker()->setDate(QDate(1999, 2, 3));
    EXPECT_EQ(Ds().State(), TDataSetState::dsEdit);
    EXPECT_EQ(Ds().FieldByName("DAY").AsString(), "2/3/1999");
    EXPECT_EQ(FileRecords(dir.File("visits.db"))[0][2], Value::Date(1998, 1, 15));
    // Down from the editor moves the grid to the next record, which posts.
    FocusKey(Qt::Key_Down);
    EXPECT_TRUE(grid.hasFocus());
    EXPECT_EQ(Id(), 2);
    EXPECT_EQ(Ds().State(), TDataSetState::dsBrowse);
    EXPECT_EQ(FileRecords(dir.File("visits.db"))[0][2], Value::Date(1999, 2, 3));
    EXPECT_TRUE(PickerShown());
    EXPECT_EQ(Picker()->FieldText(), "12/3/2001");

    // A time, then Escape from the editor drops the change.
    Key(Qt::Key_Right);
    Key(Qt::Key_F2);
    Picker()->setTime(QTime(9, 15, 0));
    EXPECT_EQ(Ds().FieldByName("AT").AsString(), "9:15:00 AM");
    FocusKey(Qt::Key_Escape);
    EXPECT_EQ(questions.size(), 1u);  // the discard question
    EXPECT_EQ(Ds().State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Ds().FieldByName("AT").AsString(), "8:30:00 AM");
    EXPECT_EQ(Picker()->FieldText(), "8:30:00 AM");
    EXPECT_TRUE(errors.empty());
}

TEST_F(GridDates, TheEditorIsReadOnlyOnTheAnswerAndOnReadOnlyFields) {
    ShowVisitsAnswer();
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    ASSERT_TRUE(PickerShown());
    EXPECT_TRUE(Picker()->isReadOnly());
    Picker()->setDate(QDate(2010, 5, 6));  // as if typed: refused
    EXPECT_EQ(Ds().State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Ds().FieldByName("DAY").AsString(), "1/15/1998");
}

TEST_F(GridDates, AReadOnlyFieldMakesTheEditorReadOnly) {
    ShowVisits();
    Ds().FieldByName("AT").SetReadOnly(true);
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    ASSERT_TRUE(PickerShown());
    EXPECT_FALSE(Picker()->isReadOnly());
    Key(Qt::Key_Right);
    EXPECT_TRUE(Picker()->isReadOnly());
    Picker()->setTime(QTime(1, 2, 3));
    EXPECT_EQ(Ds().State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Ds().FieldByName("AT").AsString(), "3:04:05 PM");
}

TEST_F(GridDates, AltDownOpensTheCalendarAndTypingGoesToTheEditor) {
    ShowVisits();
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    ASSERT_TRUE(PickerShown());
    Key(Qt::Key_Down, Qt::AltModifier);
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    EXPECT_NE(popup->findChild<QCalendarWidget*>(), nullptr);
    EXPECT_TRUE(PickerShown());  // the editor stays under its calendar
    popup->close();
    EXPECT_EQ(Id(), 1);  // no record move
    grid.setFocus();
    Type("7");
    EXPECT_TRUE(Picker()->hasFocus());
    EXPECT_FALSE(grid.EditorMode());
}

TEST_F(GridDates, SwitchedOffTheCellEditorEditsDates) {
    TDbEditControlOptions options = grid.EditControlOptions();
    options.Include(ecoDisableDateTimePicker);
    grid.SetEditControlOptions(options);
    ShowVisits();
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    EXPECT_EQ(Picker(), nullptr);
    EXPECT_EQ(created, 0);
    Key(Qt::Key_Return);
    EXPECT_TRUE(grid.EditorMode());
    EXPECT_EQ(Editor(), "1/15/1998");
}

// sales.db: a count and a price, shown through display formats.
class GridNumbers : public GridEdit {
protected:
    GridNumbers() {
        auto file = engine::paradox::CreateParadoxTable(
            dir.File("sales.db"),
            {FieldDesc::Make("ID", t::kInt32), FieldDesc::Make("QTY", t::kInt32), FieldDesc::Make("PRICE", t::kFloat)},
            {}, 1);
        file->AppendRecord({Value::Int(1), Value::Int(1234), Value::Double(1234.5)});
        file->AppendRecord({Value::Int(2), Value::Int(-5), Value::Double(-2.25)});
        file->Close();
        table.SetDatabaseName(dir.Path());
        table.SetTableName("sales.db");
        table.Open();
        Qty().SetDisplayFormat("#,##0 pcs;(#,##0) pcs");
        Price().SetDisplayFormat("$#,##0.00;($#,##0.00)");
        Show(table);
    }
    TNumericField& Qty() { return dynamic_cast<TNumericField&>(table.FieldByName("QTY")); }
    TNumericField& Price() { return dynamic_cast<TNumericField&>(table.FieldByName("PRICE")); }
};

TEST_F(GridNumbers, CellsShowNumbersThroughTheirDisplayFormats) {
    EXPECT_EQ(grid.CellDisplayText(0), "1");
    EXPECT_EQ(grid.CellDisplayText(1), "1,234 pcs");
    EXPECT_EQ(grid.CellDisplayText(2), "$1,234.50");
    Key(Qt::Key_Down);
    EXPECT_EQ(grid.CellDisplayText(1), "(5) pcs");
    EXPECT_EQ(grid.CellDisplayText(2), "($2.25)");
}

TEST_F(GridNumbers, TextInTheDisplayFormIsStoredAsANumber) {
    Key(Qt::Key_Right);
    ASSERT_EQ(Column(), "QTY");
    Key(Qt::Key_Return);
    EXPECT_EQ(Editor(), "1234");  // the editor starts from the plain number
    Type("(2,500) pcs");
    EXPECT_EQ(Editor(), "(2,500) pcs");
    Key(Qt::Key_Tab);  // the move writes the text into the field
    EXPECT_EQ(Ds().FieldByName("QTY").AsInteger(), -2500);
    ASSERT_EQ(Column(), "PRICE");
    Type("$1,000.75");
    Key(Qt::Key_Down);
    EXPECT_EQ(Id(), 2);
    const auto records = FileRecords(dir.File("sales.db"));
    EXPECT_EQ(records[0][1], Value::Int(-2500));
    EXPECT_EQ(records[0][2], Value::Double(1000.75));

    // Parentheses, a trailing minus and plain numbers are all read.
    Type("(3.5)");
    Key(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(Ds().FieldByName("PRICE").AsFloat(), -3.5);
    Type("7-");
    Key(Qt::Key_Tab);
    EXPECT_EQ(Ds().FieldByName("QTY").AsInteger(), -7);
    EXPECT_TRUE(errors.empty());

    // A count with decimals is still the data set's to refuse, and stays in the editor.
    Key(Qt::Key_Tab, Qt::ShiftModifier);
    ASSERT_EQ(Column(), "QTY");
    Type("1.5");
    Key(Qt::Key_Tab);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("'1.5' is not a valid integer value"), std::string::npos);
    EXPECT_EQ(Column(), "QTY");
    EXPECT_EQ(Editor(), "1.5");
}

TEST_F(GridNumbers, WithoutADisplayFormatOnlyPlainNumbersAreTaken) {
    Qty().SetDisplayFormat("");
    Key(Qt::Key_Right);
    Type("1,(2)");
    EXPECT_EQ(Editor(), "12");  // the other characters are refused as typed
    Key(Qt::Key_Down);
    EXPECT_EQ(FileRecords(dir.File("sales.db"))[0][1], Value::Int(12));
}

}  // namespace
}  // namespace tessel
