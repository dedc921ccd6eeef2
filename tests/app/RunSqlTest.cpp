// Tests of running SQL from the window.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include <QCheckBox>
#include <QComboBox>
#include <QTabWidget>

#include "WindowTestSupport.h"
#include "app/MainWindow.h"
#include "app/RunSql.h"
#include "base/ErrorHandler.h"
#include "editor/widget/CustomCodeEdit.h"
#include "engine/Aliases.h"
#include "engine/Database.h"
#include "engine/Engine.h"
#include "framework/data/Session.h"
#include "framework/widgets/FileDialogs.h"
#include "richedit/DbRichEdit.h"
#include "support/RunCommand.h"
#include "support/TempDir.h"
#include "toolbars/ToolbarButton.h"

using namespace tessel;

namespace {

TStringList LinesOf(std::initializer_list<std::string> lines) {
    TStringList out;
    for (const auto& l : lines) out.Add(l);
    return out;
}

TEST(RunSql, CommentsAreStrippedLineByLineOutsideQuotes) {
    struct Case {
        std::vector<std::string> in, out;
    };
    const Case cases[] = {
        {{"SELECT a /* note */ FROM t"}, {"SELECT a  FROM t"}},
        {{"SELECT * /* start", "middle", "end */ FROM t"}, {"SELECT * ", "", " FROM t"}},
        {{"INSERT INTO t VALUES ('/*')", "x"}, {"INSERT INTO t VALUES ('/*')", "x"}},
        {{"UPDATE t SET c = \"a/*b\" /* c */", "d"}, {"UPDATE t SET c = \"a/*b\" ", "d"}},
        {{"x = 'one", "/* still quoted */'", "y /* z */"}, {"x = 'one", "/* still quoted */'", "y "}},
        {{"/* whole */", "a /* one */ b /* two */"}, {"", "a  b /* two */"}},
        {{"a /*/ b", "c */ d"}, {"a ", " d"}},
        {{"/*", "SELECT", "*/"}, {"", "", ""}},
        // Line comments: outside quotes, to the end of their line, after a closed block too.
        {{"SELECT a -- why", "FROM t"}, {"SELECT a ", "FROM t"}},
        {{"x = '--' -- y", "-- z /* not a block", "w"}, {"x = '--' ", "", "w"}},
        {{"a /* b */ c -- d /* e"}, {"a  c "}},
        {{"/* b", "c */ d -- e */ f"}, {"", " d "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in.front());
        TStringList lines;
        for (const auto& l : c.in) lines.Add(l);
        EXPECT_EQ(StripComments(lines), c.out);
    }
}

TEST(RunSql, OneStatementBeginningWithSelectIsAQuery) {
    struct Case {
        std::string text;
        bool query;
    };
    const Case cases[] = {
        {"select name from t", true},
        {"SELECT * FROM insert_log", true},
        {"  (SELECT a FROM t) UNION (SELECT a FROM s)\r\n", true},
        {"SELECT * FROM t;\r\n", true},
        {"INSERT INTO t SELECT * FROM s", false},
        {"UPDATE t SET c = 'SELECTED'", false},
        {"UPDATE t SET x = (SELECT MAX(y) FROM s)", false},
        {"SELECT a FROM t; SELECT b FROM s", false},
        {"SELECTION", false},
        {"", false},
        {"\r\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IsQueryText(c.text), c.query);
    }
    // A SELECT only in a comment: stripped first, so the text runs as a script.
    std::string text;
    for (const auto& l : StripComments(LinesOf({"/* SELECT */ DELETE FROM t"}))) text += l + "\r\n";
    EXPECT_FALSE(IsQueryText(text));
}

TEST(RunSql, SummariesCountWithSeparatorsAndSingulars) {
    EXPECT_EQ(QuerySummary(1234, 0.05), "1,234 records, 0.05 s");
    EXPECT_EQ(QuerySummary(1, 0), "1 record, 0.00 s");
    EXPECT_EQ(ScriptSummary(1, 1, 0.2), "1 statement, 1 record changed, 0.20 s");
    EXPECT_EQ(ScriptSummary(3, 1234567, 1.234), "3 statements, 1,234,567 records changed, 1.23 s");
    EXPECT_EQ(ScriptSummary(0, 0, 0), "0 statements, 0 records changed, 0.00 s");
}

// The window over the sample alias, with file dialogs answered by the test.
class RunSqlWindowTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        MakeBinDir();
    }
    void Type(TForm1& form, const std::string& text) { form.Editor()->ReplaceAllText(text); }
    void Click(TForm1& form, const char* button) { form.findChild<TToolbarButton*>(button)->Click(); }
    TToolbarButton* Button(TForm1& form, const char* name) { return form.findChild<TToolbarButton*>(name); }
    std::vector<std::string> Lines(TForm1& form) { return form.Lines().ToVector(); }
    // The records of a table file, by the engine's own reading.
    int64_t CountOf(const std::string& path) {
        auto cursor = OpenSessionDatabase("").OpenQuery("SELECT COUNT(*) FROM \"" + path + "\"");
        engine::Record rec;
        cursor->ReadRecord(0, rec);
        return rec[0].i;
    }

    test::TempDir out;
};

TEST_F(RunSqlWindowTest, EmptyTextsAndSavingBeforeAnyQueryFailWithTheirMessages) {
    TForm1 form(Setup());
    EXPECT_TRUE(Button(form, "tbbSave1")->isEnabled());
    Click(form, "tbbExecute");
    Type(form, "/* nothing but a comment */");
    Click(form, "tbbExecute");
    dialogAnswer = QString::fromStdString(out.File("answer.db"));
    Click(form, "tbbSave1");
    EXPECT_EQ(shown, (std::vector<std::string>{"List index out of bounds (-1)", "List index out of bounds (-1)",
                                               "Query1: No SQL statement available."}));
    EXPECT_TRUE(out.Entries().empty());
    EXPECT_EQ(form.windowTitle(), "Tessel");  // the caption waits for a copy that succeeded
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind, TFileDialogRequest::Save);
    EXPECT_EQ(requests[0].filter, "Tables (*.DB)|*.DB;*.DBF|CSV text (*.CSV)|*.CSV");
    EXPECT_EQ(requests[0].defaultExt, "DB");
    EXPECT_TRUE(requests[0].overwritePrompt);
}

TEST_F(RunSqlWindowTest, SampleAliasSelectScriptSaveAndTableToSql) {
    TForm1 form(Setup());
    form.AliasBox()->setEditText(engine::kSampleAliasName);
    const std::string samples = form.WorkDir();
    ASSERT_TRUE(std::filesystem::exists(samples + "/employee.db"));

    // A query: Query1 open with every record; Save Answer stays enabled.
    Type(form, "SELECT *\r\nFROM \"employee.db\"");
    Click(form, "tbbExecute");
    ASSERT_TRUE(shown.empty()) << shown.front();
    ASSERT_TRUE(form.Query().Active());
    const int64_t employees = form.Query().RecordCount();
    EXPECT_GT(employees, 0);
    EXPECT_EQ(employees, CountOf(samples + "/employee.db"));
    EXPECT_TRUE(Button(form, "tbbSave1")->isEnabled());
    EXPECT_EQ(form.Pages()->currentIndex(), 0);

    // Saved as .dbf and as .db: the same records come back.
    for (const char* name : {"answer.dbf", "answer.db"}) {
        SCOPED_TRACE(name);
        dialogAnswer = QString::fromStdString(out.File(name));
        Click(form, "tbbSave1");
        ASSERT_TRUE(shown.empty()) << shown.front();
        EXPECT_EQ(form.windowTitle().toStdString(), out.File(name));
        EXPECT_EQ(CountOf(out.File(name)), employees);
    }

    // A query without rows disables Save Answer; the next one with rows enables it again.
    Type(form, "SELECT * FROM \"employee.db\" WHERE 1 = 0");
    Click(form, "tbbExecute");
    EXPECT_TRUE(form.Query().Active());
    EXPECT_FALSE(Button(form, "tbbSave1")->isEnabled());
    // A script leaves it as it is.
    Type(form, "CREATE TABLE \"log.dbf\" (N INTEGER, C CHAR(10))");
    Click(form, "tbbExecute");
    EXPECT_FALSE(Button(form, "tbbSave1")->isEnabled());
    Type(form, "SELECT * FROM \"employee.db\"");
    Click(form, "tbbExecute");
    EXPECT_TRUE(Button(form, "tbbSave1")->isEnabled());

    // A script on one line and over several: every statement runs, ";" in quotes and
    // comments included in their statements.
    Type(form,
         "INSERT INTO \"log.dbf\" VALUES (1, 'a;b'); INSERT INTO \"log.dbf\" VALUES (2, '/*');\r\n"
         "INSERT INTO \"log.dbf\" VALUES (3, 'c') /* ; */; INSERT INTO \"log.dbf\" VALUES (4, 'd')");
    Click(form, "tbbExecute");
    ASSERT_TRUE(shown.empty()) << shown.front();
    EXPECT_EQ(CountOf(samples + "/log.dbf"), 4);
    // An update with a subquery is a script: carried out once, nothing shown.
    Type(form, "UPDATE \"log.dbf\" SET N = (SELECT MAX(N) FROM \"log.dbf\") + N");
    Click(form, "tbbExecute");
    ASSERT_TRUE(shown.empty()) << shown.front();
    Type(form, "SELECT * FROM \"log.dbf\" WHERE N > 4");
    Click(form, "tbbExecute");
    EXPECT_EQ(form.Query().RecordCount(), 4);
    // A failing third statement: the first two stay done.
    Type(form,
         "DELETE FROM \"log.dbf\" WHERE N = 5; DELETE FROM \"log.dbf\" WHERE N = 6;"
         " DELETE FROM \"nosuch.dbf\"; DELETE FROM \"log.dbf\"");
    Click(form, "tbbExecute");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(CountOf(samples + "/log.dbf"), 2);
    shown.clear();
    // Text that is no query on the query branch: the engine's message, Query1 closed.
    Type(form, "SELECT nosuch FROM \"log.dbf\"");
    Click(form, "tbbExecute");
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_FALSE(form.Query().Active());
    shown.clear();

    // Table to SQL on employee.db, with only "Quote Fields" checked.
    form.QuoteFieldsBox()->setChecked(true);
    form.FileNamesBox()->setChecked(false);
    form.FileExtensionsBox()->setChecked(false);
    requests.clear();
    dialogAnswer = QString::fromStdString(samples + "/employee.db");
    Click(form, "tbbDB2SQL");
    ASSERT_TRUE(shown.empty()) << shown.front();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind, TFileDialogRequest::Open);
    EXPECT_EQ(requests[0].filter, "Tables (*.DB)|*.DB;*.DBF");
    EXPECT_EQ(requests[0].initialDir.toStdString(), samples);
    const auto lines = Lines(form);
    ASSERT_GT(lines.size(), 4u);
    EXPECT_EQ(lines[0], "CREATE TABLE employee");
    EXPECT_EQ(lines[1], "(");
    EXPECT_EQ(lines[2].substr(0, 3), "  \"");
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(lines[lines.size() - 2], ")");
    EXPECT_FALSE(form.Table().Active());
    // The generated text came in as one edit: one undo takes all of it away, one redo brings
    // all of it back.
    form.Editor()->Undo();
    for (const std::string& line : Lines(form)) EXPECT_EQ(line.find("CREATE"), std::string::npos);
    form.Editor()->Redo();
    EXPECT_EQ(Lines(form), lines);

    // A file that is no table: the engine's message, no table left open.
    test::WriteBytes(out.File("junk.db"), "this is no table");
    dialogAnswer = QString::fromStdString(out.File("junk.db"));
    Click(form, "tbbDB2SQL");
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_FALSE(form.Table().Active());
}

TEST_F(RunSqlWindowTest, SavingIntoAReadOnlyDirectoryLeavesNoFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    TForm1 form(Setup());
    form.AliasBox()->setEditText(engine::kSampleAliasName);
    Type(form, "SELECT * FROM \"employee.db\"");
    Click(form, "tbbExecute");
    ASSERT_TRUE(form.Query().Active());
    const std::string locked = out.File("locked");
    std::filesystem::create_directories(locked);
    ::chmod(locked.c_str(), 0555);
    dialogAnswer = QString::fromStdString(locked + "/answer.db");
    Click(form, "tbbSave1");
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(locked));
    EXPECT_EQ(form.windowTitle(), "Tessel");
}

}  // namespace

namespace {

TEST_F(RunSqlWindowTest, SampleNamesInsertTheirStatementsExactly) {
    TForm1 form(Setup());
    const std::string tab = "\t";
    struct Case {
        const char* name;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"Add Columns", {"ALTER TABLE \"employee.db\" ADD Territory Char(4),", "      \t\t\tADD DateChanged Date"}},
        {"Add Index", {"CREATE INDEX Name on \"employee.db\" (LastName, FirstName)"}},
        {"Blank out a Column", {"UPDATE \"employee.db\"", "SET SALARY = NULL"}},
        {"Create Table",
         {"CREATE TABLE \"employee.db\"", tab + "(", tab + "LAST_NAME CHAR(20),", tab + "FIRST_NAME CHAR(15),",
          tab + "SALARY NUMERIC(10,2),", tab + "DEPT_NO SMALLINT,", tab + "NOTES BLOB(20,1),",
          tab + "PRIMARY KEY(LAST_NAME, FIRST_NAME)", tab + ")"}},
        {"Drop Columns", {"ALTER TABLE \"employee.db\" DROP Territory,", "      \t\t\tDROP DateChanged"}},
        {"Drop Index", {"DROP INDEX \"employe.db\".PRIMARY"}},
        {"Drop Table", {"DROP TABLE \"employee.db\""}},
        {"Empty Table", {"DELETE FROM \"employee.db\""}},
        {"SELECT",
         {"SELECT LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES", "FROM \"employee.db\"",
          "ORDER BY LAST_NAME, FIRST_NAME, SALARY, DEPT_NO"}},
        {"SELECT *", {"SELECT *", "FROM \"employee.db\""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.SampleBox()->setEditText(c.name);
        EXPECT_EQ(Lines(form), c.lines);
    }
    // Case counts, and only a whole name matches.
    form.SampleBox()->setEditText("select");
    form.SampleBox()->setEditText("drop index");
    form.SampleBox()->setEditText("SELEC");
    EXPECT_EQ(Lines(form), (std::vector<std::string>{"SELECT *", "FROM \"employee.db\""}));
    // The help document is a guide, not a statement.
    ASSERT_FALSE(form.SampleLines(11).empty());
    EXPECT_EQ(form.SampleLines(11).front(), "Tessel");
    // The statements come from the window's holders, one paragraph a line, and follow them.
    TDbRichEdit* holder = form.Holder(10);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->objectName(), "dbRichEdit10");
    EXPECT_FALSE(holder->WordWrap());
    EXPECT_FALSE(holder->isVisibleTo(&form));
    holder->SetLines({"SELECT 1", "FROM \"x.db\""});
    form.SampleBox()->setEditText("SELECT *");
    EXPECT_EQ(Lines(form), (std::vector<std::string>{"SELECT 1", "FROM \"x.db\""}));
    EXPECT_TRUE(shown.empty());
}

// The window end to end: the sample alias, "SELECT *" from the sample box, run, the answer
// saved as .dbf and read back by the command-line tool.
TEST_F(RunSqlWindowTest, SelectAllSampleRunAndSavedAsDbf) {
    TForm1 form(Setup());
    form.AliasBox()->setEditText(engine::kSampleAliasName);
    form.SampleBox()->setEditText("SELECT *");
    Click(form, "tbbExecute");
    ASSERT_TRUE(shown.empty()) << shown.front();
    ASSERT_TRUE(form.Query().Active());
    const int64_t records = form.Query().RecordCount();
    dialogAnswer = QString::fromStdString(out.File("answer.dbf"));
    Click(form, "tbbSave1");
    ASSERT_TRUE(shown.empty()) << shown.front();
    const std::string command = std::string(TESSEL_BIN_DIR) + "/tessel-sql --dump '" + out.File("answer.dbf") + "'";
    int status;
    const std::string dump = test::RunCommand(command, &status);
    EXPECT_EQ(status, 0);
    // A heading line and one line per record.
    EXPECT_EQ(static_cast<int64_t>(std::count(dump.begin(), dump.end(), '\n')), records + 1) << dump;
}

}  // namespace
