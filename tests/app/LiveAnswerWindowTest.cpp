// Tests of answers edited in the grid: a cell typed into is written to the table file.

#include <gtest/gtest.h>

#include <QApplication>
#include <QStatusBar>
#include <QTest>

#include "WindowTestSupport.h"
#include "editor/widget/CustomCodeEdit.h"
#include "engine/TableFiles.h"
#include "engine/paradox/Paradox.h"
#include "grid/DbGrid.h"
#include "support/Oracles.h"
#include "toolbars/ToolbarButton.h"

using namespace tessel;

namespace {

class LiveAnswerWindowTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        MakeBinDir();
    }
    // people.db (keyed on ID) or people.dbf: ID 1..3 with names Ann, Bob, Cy.
    std::string MakePeople(const std::string& ext) {
        const std::string path = data.File("people" + ext);
        std::vector<engine::FieldDesc> fields = {engine::FieldDesc::Make("ID", engine::fldtype::kInt32),
                                                 engine::FieldDesc::Make("NAME", engine::fldtype::kString, 0, 10)};
        std::unique_ptr<engine::Table> table;
        if (ext == ".db") {
            table = engine::paradox::CreateParadoxTable(path, fields, {}, 1);
        } else {
            fields[0] = engine::FieldDesc::Make("ID", engine::fldtype::kFloat, 0, 5, 0, 'N');
            table = engine::CreateTableFile(path, fields);
        }
        const char* names[] = {"Ann", "Bob", "Cy"};
        for (int i = 0; i < 3; ++i) table->AppendRecord({engine::Value::Int(i + 1), engine::Value::Text(names[i])});
        table->Close();
        return path;
    }
    void Run(TForm1& form, const std::string& text) {
        form.Editor()->ReplaceAllText(text);
        form.findChild<TToolbarButton*>("tbbExecute")->Click();
    }
    static void Press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }
    static void TypeText(const char* text) { QTest::keyClicks(QApplication::focusWidget(), text); }
    static QString Status(TForm1& form) { return form.findChild<QStatusBar*>()->currentMessage(); }
    static std::vector<std::string> Names(const std::string& path) {
        std::vector<std::string> names;
        auto table = engine::OpenTableFile(path);
        engine::Record r;
        for (uint32_t i = 0; i < table->RecordCount(); ++i)
            if (table->ReadRecord(i, r)) names.push_back(r[1].s);
        return names;
    }

    test::TempDir data;
};

// Typing into a cell of an answer of one table and leaving the row writes the file, which the
// independent readers read back so; Insert adds a record.
TEST_F(LiveAnswerWindowTest, ACellTypedIntoIsWrittenToTheTableFile) {
    for (const char* ext : {".dbf", ".db"}) {
        SCOPED_TRACE(ext);
        const std::string path = MakePeople(ext);
        TForm1 form(Setup());
        form.show();
        QApplication::setActiveWindow(&form);
        Run(form, "SELECT NAME, ID FROM \"" + path + "\" ORDER BY ID");
        ASSERT_TRUE(form.Query().CanModify()) << form.Query().ReadOnlyReason();
        EXPECT_FALSE(form.Grid()->MemoAttributes().Has(mViewOnly));
        TDbGrid* grid = form.Grid();
        grid->setFocus();
        Press(Qt::Key_Down);  // Bob
        TypeText("Robert");   // typing replaces the cell's text
        ASSERT_TRUE(grid->EditorMode());
        Press(Qt::Key_Down);  // leaving the row posts it
        EXPECT_EQ(form.Query().State(), TDataSetState::dsBrowse);
        EXPECT_EQ(Names(path), (std::vector<std::string>{"Ann", "Robert", "Cy"}));

        // Insert, a name and a key, and the row left: a new record.
        Press(Qt::Key_Insert);
        TypeText("Di");
        Press(Qt::Key_Tab);
        TypeText("7");
        Press(Qt::Key_Up);
        EXPECT_EQ(form.Query().State(), TDataSetState::dsBrowse);
        EXPECT_EQ(Names(path), (std::vector<std::string>{"Ann", "Robert", "Cy", "Di"}));
        EXPECT_TRUE(shown.empty()) << shown.front();

        if (!test::OracleFor(path)) continue;
        const std::string oracle = test::OracleRecords(path);
        std::cout << "independent reader of " << path << ":\n" << oracle;
        EXPECT_NE(oracle.find("Robert"), std::string::npos) << oracle;
        EXPECT_NE(oracle.find("7"), std::string::npos) << oracle;
        EXPECT_EQ(oracle.find("Bob"), std::string::npos) << oracle;
    }
}

// A key that another record has: the message, the row still in edit state, the file as it was.
TEST_F(LiveAnswerWindowTest, AKeyViolationKeepsTheRowInEditState) {
    const std::string path = MakePeople(".db");
    TForm1 form(Setup());
    form.show();
    QApplication::setActiveWindow(&form);
    Run(form, "SELECT ID, NAME FROM \"" + path + "\"");
    const std::string before = test::ReadBytes(path);
    form.Grid()->setFocus();
    Press(Qt::Key_Down);
    TypeText("1");
    Press(Qt::Key_Down);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Key violation.");
    EXPECT_EQ(form.Query().State(), TDataSetState::dsEdit);
    EXPECT_EQ(test::ReadBytes(path), before);
    // Escape gives the change up (once the grid has asked).
    std::vector<std::string> asked;
    form.Grid()->OnConfirm = [&](const std::string& text, bool) {
        asked.push_back(text);
        return true;
    };
    for (int k = 0; k < 2 && form.Query().State() != TDataSetState::dsBrowse; ++k) Press(Qt::Key_Escape);
    EXPECT_EQ(form.Query().State(), TDataSetState::dsBrowse);
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(test::ReadBytes(path), before);
}

// Typing into an answer that stands for no records changes nothing and says why.
TEST_F(LiveAnswerWindowTest, TypingIntoAReadOnlyAnswerSaysWhy) {
    const std::string dbf = MakePeople(".dbf"), db = MakePeople(".db");
    TForm1 form(Setup());
    form.show();
    QApplication::setActiveWindow(&form);
    Run(form, "SELECT a.NAME, b.ID FROM \"" + dbf + "\" a JOIN \"" + db + "\" b ON a.ID = b.ID");
    EXPECT_FALSE(form.Query().CanModify());
    EXPECT_TRUE(form.Grid()->MemoAttributes().Has(mViewOnly));
    form.Grid()->setFocus();
    TypeText("X");
    EXPECT_EQ(Status(form), "This answer is read-only: the query joins tables.");
    EXPECT_EQ(form.Query().State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Names(dbf), (std::vector<std::string>{"Ann", "Bob", "Cy"}));
}

}  // namespace
