#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "engine/Engine.h"
#include "engine/TableFiles.h"
#include "engine/paradox/ParadoxTable.h"
#include "framework/data/DbDataSets.h"
#include "framework/data/Fields.h"
#include "framework/data/Session.h"
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
            file->AppendRecord({Value::Int(i), Value::Text(std::string("p").append(std::to_string(i))), Value::Text(std::string("1000").append(std::to_string(i % 10))),
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
        {Qt::Key_Right, Qt::NoModifier, 2, "NOTES"},    // no column past the last
        {Qt::Key_Home, Qt::NoModifier, 2, "ID"},
        {Qt::Key_Left, Qt::NoModifier, 2, "ID"},
        {Qt::Key_Right, Qt::ControlModifier, 2, "NOTES"},
        {Qt::Key_Left, Qt::ControlModifier, 2, "ID"},
        {Qt::Key_End, Qt::ControlModifier, 5, "ID"},
        {Qt::Key_Up, Qt::NoModifier, 4, "ID"},
        {Qt::Key_Home, Qt::ControlModifier, 1, "ID"},
        {Qt::Key_Up, Qt::NoModifier, 1, "ID"},          // nothing before the first
        {Qt::Key_Tab, Qt::NoModifier, 1, "NAME"},
        {Qt::Key_Tab, Qt::ShiftModifier, 1, "ID"},
        {Qt::Key_Backtab, Qt::ShiftModifier, 1, "ID"},  // before the first record: stays
        {Qt::Key_End, Qt::NoModifier, 1, "NOTES"},
        {Qt::Key_Tab, Qt::NoModifier, 2, "ID"},         // past the last column: next record
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

}  // namespace
}  // namespace tessel
