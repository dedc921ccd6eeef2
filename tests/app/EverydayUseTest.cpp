// Tests of the window as a person uses it every day: undo across the commands that replace the
// text, typing on long lines, comments, the keyboard routes, where a failing script stopped.

#include <gtest/gtest.h>

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>

#include "WindowTestSupport.h"
#include "app/MainWindow.h"
#include "base/ErrorHandler.h"
#include "editor/widget/CustomCodeEdit.h"
#include "engine/Aliases.h"
#include "engine/TableFiles.h"
#include "framework/data/Session.h"
#include "framework/widgets/FileDialogs.h"
#include "grid/DbGrid.h"
#include "support/TempDir.h"
#include "toolbars/ToolbarButton.h"

using namespace tessel;

namespace {

class EverydayTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        MakeBinDir();
    }
    // The window shown and active, with the editor focused, on the sample alias.
    void Open(TForm1& form) {
        form.show();
        QApplication::setActiveWindow(&form);
        form.AliasBox()->setEditText(engine::kSampleAliasName);
        form.Editor()->setFocus();
    }
    static std::string Text(TForm1& form) {
        std::string text;
        for (int i = 0; i < form.Lines().Count(); ++i) text += (i ? "\n" : "") + form.Lines().Get(i);
        return text;
    }
    static void Key(TForm1& form, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(form.Editor(), key, modifiers);
    }
    static void Run(TForm1& form) { form.findChild<TToolbarButton*>("tbbExecute")->Click(); }
};

TEST_F(EverydayTest, UndoAndRedoGiveBackEveryTextAroundSamplesAndTableToSql) {
    TForm1 form(Setup());
    Open(form);
    std::vector<std::string> seen{Text(form)};
    Key(form, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(form.Editor(), "PRE");
    seen.push_back(Text(form));
    Key(form, Qt::Key_A, Qt::ControlModifier);
    Key(form, Qt::Key_Delete);
    seen.push_back(Text(form));
    QTest::keyClicks(form.Editor(), "AAA");
    seen.push_back(Text(form));
    form.SampleBox()->setEditText("Drop Table");
    seen.push_back(Text(form));
    form.SampleBox()->setEditText("Empty Table");
    seen.push_back(Text(form));
    // Table to SQL replaces the text the same way.
    dialogAnswer = QString::fromStdString(form.WorkDir() + "/dept.db");
    form.tbbDB2SQLClick();
    ASSERT_TRUE(shown.empty()) << shown.front();
    seen.push_back(Text(form));
    QTest::keyClicks(form.Editor(), "x");
    seen.push_back(Text(form));
    ASSERT_EQ(seen[4], "DROP TABLE \"employee.db\"");
    ASSERT_NE(seen[6].find("CREATE TABLE"), std::string::npos);

    form.Editor()->setFocus();
    for (size_t i = seen.size() - 1; i > 0; --i) {
        Key(form, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(Text(form), seen[i - 1]) << "undo " << seen.size() - i;
    }
    EXPECT_FALSE(form.Editor()->CanUndo());
    for (size_t i = 1; i < seen.size(); ++i) {
        Key(form, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(Text(form), seen[i]) << "redo " << i;
    }
}

TEST_F(EverydayTest, BlanksTypedAtTheEndOfALongLineAreKept) {
    TForm1 form(Setup());
    Open(form);
    for (const int length : {1100, 7514}) {
        SCOPED_TRACE(length);
        const std::string line = "SELECT * " + std::string(static_cast<size_t>(length - 14), 'x') + " FROM";
        form.Editor()->ReplaceAllText(line);
        Key(form, Qt::Key_End);
        QTest::keyClicks(form.Editor(), "A B  C");
        EXPECT_EQ(form.Lines().Get(0), line + "A B  C");
        // The caret may stand past the end of the longest line, and reaches it by scrolling.
        EXPECT_EQ(form.Editor()->CaretX(), length + 7);
        EXPECT_GE(form.Editor()->ColumnLimit(), length + 7);
    }
}

TEST_F(EverydayTest, LineCommentsRunInQueriesAndScripts) {
    TForm1 form(Setup());
    Open(form);
    form.Editor()->ReplaceAllText(
        "-- a note; with a semicolon\r\n"
        "CREATE TABLE \"notes.db\" (N INTEGER, T CHAR(10)); -- made here /* not a block\r\n"
        "INSERT INTO \"notes.db\" VALUES (1, '--kept');\r\n"
        "INSERT INTO \"notes.db\" VALUES (2, 'x') -- the last one");
    Run(form);
    ASSERT_TRUE(shown.empty()) << shown.front();
    EXPECT_EQ(form.StatusText(),
              QString("3 statements, 2 records changed, %1").arg(form.StatusText().section(", ", 2)));
    form.Editor()->ReplaceAllText(
        "SELECT T -- the text\r\nFROM \"notes.db\" -- ; DELETE FROM \"notes.db\"\r\nORDER BY N");
    Run(form);
    ASSERT_TRUE(shown.empty()) << shown.front();
    ASSERT_EQ(form.Query().RecordCount(), 2);
    form.Query().First();
    EXPECT_EQ(form.Query().FieldByName("T").AsString(), "--kept");
    EXPECT_TRUE(form.StatusText().startsWith("2 records, ")) << form.StatusText().toStdString();
}

TEST_F(EverydayTest, AFailingStatementNamesItsNumberAndEditorLineAndTheCaretGoesThere) {
    TForm1 form(Setup());
    Open(form);
    const std::string head =
        "CREATE TABLE \"k.db\" (ID INTEGER, PRIMARY KEY (ID));\r\n"
        "\r\n"
        "INSERT INTO \"k.db\" VALUES (1);\r\n"
        "/* a comment\r\n"
        "   over lines */ INSERT INTO \"k.db\"\r\n";
    form.Editor()->ReplaceAllText(head + "  VALUES (1);\r\nDELETE FROM \"k.db\"");
    Run(form);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Statement 3 (line 5): ", 0), 0u) << shown[0];
    EXPECT_NE(shown[0].find("Key violation"), std::string::npos) << shown[0];
    EXPECT_EQ(form.Editor()->CaretY(), 5);
    EXPECT_TRUE(form.StatusText().startsWith("2 statements, 1 record changed, ")) << form.StatusText().toStdString();
    EXPECT_TRUE(form.StatusText().endsWith("; statement 3 failed"));

    // A syntax error: the line counts editor lines and the token is selected.
    shown.clear();
    form.Editor()->ReplaceAllText(
        "DELETE FROM \"k.db\";\r\n"
        "\r\n"
        "INSERT INTO \"k.db\"\r\n"
        "  VALUES (2)\r\n"
        "  WHERE ID = 3;");
    Run(form);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Statement 2 (line 3): ", 0), 0u) << shown[0];
    EXPECT_NE(shown[0].find("Token: WHERE"), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find("Line Number: 5"), std::string::npos) << shown[0];
    EXPECT_EQ(form.Editor()->SelectedText(), "WHERE");
    EXPECT_EQ(form.Editor()->CaretY(), 5);
    EXPECT_TRUE(form.Editor()->hasFocus());

    // The selection alone runs at its place: its failure names the editor's line as well.
    shown.clear();
    form.Editor()->ReplaceAllText("SELECT * FROM \"k.db\";\r\nSELECT ID,, FROM \"k.db\"");
    form.Editor()->SetCaretAndSelect({1, 2}, {24, 2}, {1, 2});
    RunGuarded([&] { form.RunSelectionClick(); });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("Line Number: 2"), std::string::npos) << shown[0];
    EXPECT_EQ(form.Editor()->CaretY(), 2);
    EXPECT_EQ(form.Editor()->SelectedText(), ",");
    EXPECT_EQ(form.Editor()->SelStartPos().Column, 11);
}

TEST_F(EverydayTest, EverySampleRunsAsWrittenOnTheSampleTables) {
    TForm1 form(Setup());
    Open(form);
    // The ten samples in their order, each after the samples that make its table what it
    // expects (a table to create must be gone, a column to drop must be there).
    struct Step {
        const char* sample;
        std::vector<const char*> before;
    };
    const Step steps[] = {
        {"Add Columns", {}},
        {"Add Index", {}},
        {"Blank out a Column", {}},
        {"Create Table", {"Drop Table"}},
        {"Drop Columns", {"Add Columns"}},
        {"Drop Index", {}},
        {"Drop Table", {}},
        {"Empty Table", {"Create Table"}},
        {"SELECT", {}},
        {"SELECT *", {}},
    };
    auto choose = [&](const char* sample) {
        form.SampleBox()->setEditText("");
        form.SampleBox()->setEditText(sample);
        Run(form);
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.sample);
        for (const char* before : step.before) choose(before);
        ASSERT_TRUE(shown.empty()) << shown.front();
        choose(step.sample);
        if (std::string(step.sample) == "Drop Index") {
            // It names "employe.db", one "e" short: that table does not exist.
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_NE(shown[0].find("employe.db"), std::string::npos) << shown[0];
            shown.clear();
        } else {
            EXPECT_TRUE(shown.empty()) << shown.front();
            shown.clear();
        }
    }
    // The queries answered from the table that "Create Table" and "Empty Table" left.
    EXPECT_TRUE(form.Query().Active());
    EXPECT_EQ(form.Query().FieldCount(), 5);
    EXPECT_EQ(form.Query().RecordCount(), 0);
}

TEST_F(EverydayTest, TheAnswerIsSavedAsCsvTextFromTheWorkingDirectory) {
    TForm1 form(Setup());
    Open(form);
    form.Editor()->ReplaceAllText("SELECT DEPT_NO, DEPT_NAME || ', ' || LOCATION AS PLACE FROM \"dept.db\" ORDER BY 1");
    Run(form);
    ASSERT_TRUE(shown.empty()) << shown.front();
    const std::string path = form.WorkDir() + "/answer.csv";
    dialogAnswer = QString::fromStdString(path);
    form.findChild<TToolbarButton*>("tbbSave1")->Click();
    ASSERT_TRUE(shown.empty()) << shown.front();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].initialDir.toStdString(), form.WorkDir());
    const std::string csv = test::ReadBytes(path);
    EXPECT_EQ(csv.rfind("DEPT_NO,PLACE\r\n10,\"Sales, Harbour Street\"\r\n20,\"Research, Mill Lane\"\r\n", 0), 0u)
        << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 6);
    EXPECT_EQ(form.windowTitle().toStdString(), path);

    // A place that cannot be written: the message names it, nothing is left behind.
    dialogAnswer = QString::fromStdString(form.WorkDir() + "/no such dir/answer.csv");
    form.findChild<TToolbarButton*>("tbbSave1")->Click();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("no such dir"), std::string::npos) << shown[0];
    EXPECT_EQ(form.windowTitle().toStdString(), path);
}

// Every command of the window on its menu, with its shortcut; the shortcuts work from the editor.
TEST_F(EverydayTest, EveryCommandHasAMenuEntryAndTheStandardShortcuts) {
    TForm1 form(Setup());
    Open(form);
    struct Entry {
        const char* menu;
        const char* action;
        const char* keys;  // the shortcuts, comma-separated, in their portable form
    };
    const Entry entries[] = {
        {"File1", "Open1", "Ctrl+O"},
        {"File1", "Save2", "Ctrl+S"},
        {"File1", "SaveAs1", "Ctrl+Shift+S"},
        {"File1", "Print1", "Ctrl+P"},
        {"File1", "Exit1", ""},
        {"Query2", "Run1", "F9,Ctrl+Return,Ctrl+Enter,F5"},
        {"Query2", "RunSelection1", "Ctrl+Shift+Return"},
        {"Query2", "SaveAnswer1", ""},
        {"Query2", "TableToSql1", ""},
        {"Help1", "HelpContents1", "F1"},
        {"Help1", "About1", ""},
    };
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.action);
        auto* menu = form.menuBar()->findChild<QMenu*>(e.menu);
        ASSERT_NE(menu, nullptr);
        QAction* action = nullptr;
        for (QAction* a : menu->actions())
            if (a->objectName() == e.action) action = a;
        ASSERT_NE(action, nullptr);
        QStringList keys;
        for (const QKeySequence& k : action->shortcuts()) keys << k.toString(QKeySequence::PortableText);
        EXPECT_EQ(keys.join(','), e.keys);
    }
    EXPECT_EQ(form.findChild<TToolbarButton*>("tbbExecute")->Hint(), "Run SQL query (F9)");

    // F9 and Ctrl+Return in the editor run the text; Run selection waits for a selection.
    form.Editor()->ReplaceAllText("SELECT * FROM \"dept.db\"");
    QTest::keyClick(form.Editor(), Qt::Key_F9);
    ASSERT_TRUE(shown.empty()) << shown.front();
    EXPECT_TRUE(form.Query().Active());
    form.Query().Close();
    QTest::keyClick(form.Editor(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(form.Query().Active());
    EXPECT_EQ(form.Lines().Count(), 1);  // no line break typed
    auto* runSelection = form.findChild<QAction*>("RunSelection1");
    EXPECT_FALSE(runSelection->isEnabled());
    Key(form, Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(runSelection->isEnabled());
}

TEST_F(EverydayTest, ALongAnswerShowsItsFirstPageAndComesInWhileTheWindowWaits) {
    TForm1 form(Setup());
    Open(form);
    const std::vector<engine::FieldDesc> fields = {
        engine::FieldDesc::Make("ID", engine::fldtype::kFloat, 0, 6, 0, 'N')};
    auto table = engine::CreateTableFile(form.WorkDir() + "/long.dbf", fields);
    for (int i = 0; i < 20000; ++i) table->AppendRecord({engine::Value::Int(i)});
    table->Close();
    form.Pages()->setCurrentIndex(1);
    TDbGrid* grid = form.Grid();

    form.Editor()->ReplaceAllText("SELECT ID FROM \"long.dbf\"");
    Run(form);
    ASSERT_TRUE(shown.empty()) << shown.front();
    TQuery& query = form.Query();
    ASSERT_FALSE(query.IsCountComplete());
    EXPECT_TRUE(form.StatusText().endsWith(" records so far")) << form.StatusText().toStdString();
    EXPECT_EQ(query.FieldByName("ID").AsInteger(), 0);
    EXPECT_TRUE(grid->verticalScrollBar()->isVisible());
    // The rest comes in while the window waits for the person; the scroll bar grows with it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return query.IsCountComplete(); }, 10000));
    EXPECT_TRUE(form.StatusText().startsWith("20,000 records, ")) << form.StatusText().toStdString();
    EXPECT_EQ(grid->VertScrollBarValues().Max, 20000 + grid->VisibleRowCount() - 1);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(query.RecNo(), 20000);

    // A failure far into the answer is shown when the reading meets it; the rows before it stay.
    form.Editor()->ReplaceAllText("SELECT ID, 100 / (ID - 15000) FROM \"long.dbf\"");
    Run(form);
    ASSERT_TRUE(shown.empty()) << shown.front();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shown.empty(); }, 10000));
    EXPECT_NE(shown.front().find("Division by zero"), std::string::npos) << shown.front();
    EXPECT_TRUE(form.StatusText().startsWith("15,000 records so far, cut short")) << form.StatusText().toStdString();
    EXPECT_EQ(query.KnownRecordCount(), 15000);
}

}  // namespace
