// Tests of the table-to-SQL generator.

#include "sqlgen/TableTool.h"

#include <gtest/gtest.h>

#include <regex>

#include "engine/Database.h"
#include "engine/Engine.h"
#include "engine/storage/Field.h"
#include "framework/data/Session.h"
#include "framework/data/Table.h"
#include "support/RawDbf.h"
#include "support/TempDir.h"

namespace tessel {
namespace {

struct Options {
    bool quoteFields = true, showTable = true, showExt = true, quoteTables = true;
};

class TableToolTest : public ::testing::Test {
protected:
    TableToolTest() : engine(dir.File("aliases.conf"), dir.Path()) { SetSessionEngine(&engine); }
    ~TableToolTest() override {
        table.Close();
        SetSessionEngine(nullptr);
    }
    void Run(const std::string& sql, const std::string& database = "") {
        OpenSessionDatabase(database.empty() ? dir.Path() : database).Execute(sql);
    }
    void Use(const std::string& file, const std::string& database = "") {
        table.Close();
        table.SetDatabaseName(database.empty() ? dir.Path() : database);
        table.SetTableName(file);
    }
    std::vector<std::string> Generate(const std::string& file, Options o = {}) {
        Use(file);
        TTableTool tool;
        tool.SetQuoteFields(o.quoteFields);
        tool.SetShowTable(o.showTable);
        tool.SetShowExt(o.showExt);
        tool.SetQuoteTables(o.quoteTables);
        tool.SetTable(&table);
        return tool.SQL().ToVector();
    }

    test::TempDir dir;
    engine::Engine engine;
    TTable table;
};

TEST_F(TableToolTest, CustomerTableWithEveryOptionOnAndOff) {
    Run("CREATE TABLE \"customer.db\" (CustNo INTEGER, Name CHAR(30), Notes BLOB(20, 1), PRIMARY KEY (CustNo))");
    EXPECT_EQ(Generate("customer.db"), (std::vector<std::string>{
                                           "CREATE TABLE \"customer.db\"",
                                           "(",
                                           "  \"customer.db\".\"CustNo\" INTEGER,",
                                           "  \"customer.db\".\"Name\" CHAR(30),",
                                           "  \"customer.db\".\"Notes\" BLOB(20, 1),",
                                           "  PRIMARY KEY (\"customer.db\".\"CustNo\")",
                                           ")",
                                           "",
                                       }));
    EXPECT_EQ(Generate("customer.db", {false, false, false, false}),
              (std::vector<std::string>{"CREATE TABLE customer", "(", "  CustNo INTEGER,", "  Name CHAR(30),",
                                        "  Notes BLOB(20, 1),", "  PRIMARY KEY (CustNo)", ")", ""}));
    // Only "Quote Fields": quoted field names, a bare table name.
    EXPECT_EQ(Generate("customer.db", {true, false, false, false})[2], "  \"CustNo\" INTEGER,");
    // The table name quoted without its extension.
    EXPECT_EQ(Generate("customer.db", {false, false, false, true})[0], "CREATE TABLE \"customer\"");
    EXPECT_EQ(Generate("customer.db", {false, true, true, false})[2], "  customer.db.CustNo INTEGER,");
}

// A table whose writer cut long names short repeats one: the statement uses the names SQL knows
// the fields by and notes the stored one.
TEST_F(TableToolTest, RepeatedNamesUseTheirSqlNames) {
    test::WriteBytes(dir.File("cut.dbf"), test::Bytes({{{"Z600701190", 'N', 4, 0}, {"Z600701190", 'N', 4, 0}}, {}}));
    EXPECT_EQ(Generate("cut.dbf", {false, false, false, false}),
              (std::vector<std::string>{"CREATE TABLE cut", "(", "  Z600701190 FLOAT(4, 0),",
                                        "  Z600701190_2 FLOAT(4, 0)  /* stored as Z600701190 */", ")", ""}));
}

TEST_F(TableToolTest, KeysOverSeveralFieldsKeepNamesWithBlanksWhole) {
    Run("CREATE TABLE \"people.db\" (\"Last Name\" CHAR(20), \"First Name\" CHAR(15), Age SMALLINT, "
        "PRIMARY KEY (\"Last Name\", \"First Name\"))");
    const auto lines = Generate("people.db");
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[4], "  \"people.db\".\"Age\" SMALLINT,");
    EXPECT_EQ(lines[5], "  PRIMARY KEY (\"people.db\".\"Last Name\",\"people.db\".\"First Name\")");
}

TEST_F(TableToolTest, FieldNameTextQuotesQualifiesAndSplitsLists) {
    Run("CREATE TABLE \"t.dbf\" (A CHAR(2))");
    Use("t.dbf");
    struct Case {
        Options options;
        std::string in, out;
    };
    const Case cases[] = {
        {{}, "A", "\"t.dbf\".\"A\""},
        {{}, "LastName,FirstName", "\"t.dbf\".\"LastName\",\"t.dbf\".\"FirstName\""},
        {{false, false, false, false}, " a , b,c", "a,b,c"},
        {{false, false, false, false}, "First Name,x", "First,Name,x"},
        {{true, false, false, false}, "\"a,b\", \"say \"\"hi\"\"\"", "\"a,b\",\"say \"\"hi\"\"\""},
        {{true, false, false, false}, "say \"hi\"", "\"say \"\"hi\"\"\""},
        {{false, true, false, true}, "A", "\"t\".A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        TTableTool tool;
        tool.SetQuoteFields(c.options.quoteFields);
        tool.SetShowTable(c.options.showTable);
        tool.SetShowExt(c.options.showExt);
        tool.SetQuoteTables(c.options.quoteTables);
        tool.SetTable(&table);
        EXPECT_EQ(tool.FieldNameText(c.in), c.out);
    }
}

TEST_F(TableToolTest, TypeTextsAndTheNoteOfAnUnknownType) {
    Run("CREATE TABLE \"p.db\" (A CHAR(2))");
    Run("CREATE TABLE \"d.dbf\" (A CHAR(2))");
    TTable dbase;
    dbase.SetDatabaseName(dir.Path());
    dbase.SetTableName("d.dbf");
    Use("p.db");
    TTableTool paradox, xbase;
    paradox.SetTable(&table);
    xbase.SetTable(&dbase);
    using namespace engine;
    struct Case {
        uint16_t type, sub, units1, units2;
        std::string paradoxText, dbaseText;
    };
    const Case cases[] = {
        {fldtype::kString, 0, 30, 0, "CHAR(30)", "CHAR(30)"},
        {fldtype::kDate, 0, 0, 0, "DATE", "DATE"},
        {fldtype::kBlob, fldsub::kMemo, 20, 0, "BLOB(20, 1)", "BLOB(20, 1)"},
        {fldtype::kBlob, fldsub::kBinary, 0, 0, "BLOB(0, 2)", "BLOB(0, 2)"},
        {fldtype::kBlob, fldsub::kFormattedMemo, 1, 0, "BLOB(1, 3)", "BLOB(1, 3)"},
        {fldtype::kBlob, fldsub::kOle, 1, 0, "BLOB(1, 4)", "BLOB(1, 4)"},
        {fldtype::kBlob, fldsub::kGraphic, 1, 0, "BLOB(1, 5)", "BLOB(1, 5)"},
        {fldtype::kBlob, fldsub::kDbaseOle, 1, 0, "BLOB(1, 4)", "BLOB(1, 4)"},
        {fldtype::kBlob, fldsub::kTypedBinary, 1, 0, "BLOB(1, 2)", "BLOB(1, 2)"},
        {fldtype::kBlob, 0, 10, 0, "BLOB(10, )", "BLOB(10, )"},
        {fldtype::kBool, 0, 0, 0, "BOOLEAN", "BOOLEAN"},
        {fldtype::kInt16, 0, 0, 0, "SMALLINT", "SMALLINT"},
        {fldtype::kInt32, 0, 0, 0, "INTEGER", "INTEGER"},
        {fldtype::kInt32, fldsub::kAutoInc, 0, 0, "AUTOINC", "AUTOINC"},
        {fldtype::kInt32, 5, 0, 0, "", ""},
        {fldtype::kFloat, 0, 10, 2, "FLOAT", "FLOAT(10, 2)"},
        {fldtype::kFloat, 0, 12, 3, "FLOAT", "FLOAT(12, 3)"},
        {fldtype::kFloat, fldsub::kMoney, 0, 0, "MONEY", "MONEY(0, 0)"},
        {fldtype::kFloat, 9, 65535, 1, "", "(65535, 1)"},
        {fldtype::kBytes, 0, 16, 0, "BYTES(16)", "BYTES(16)"},
        {fldtype::kTime, 0, 0, 0, "TIME", "TIME"},
        {fldtype::kTimestamp, 0, 0, 0, "TIMESTAMP", "TIMESTAMP"},
        {fldtype::kUnknown, 0, 0, 0, "unknown", "unknown"},
        {fldtype::kBcd, 0, 10, 2, "unknown", "unknown"},
        {12, 0, 0, 0, "unknown", "unknown"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.sub));
        EXPECT_EQ(paradox.FieldTypeText(c.type, c.sub, c.units2, c.units1), c.paradoxText);
        EXPECT_EQ(xbase.FieldTypeText(c.type, c.sub, c.units2, c.units1), c.dbaseText);
    }
}

TEST_F(TableToolTest, RemarksDescribeTheTable) {
    Run("CREATE TABLE \"d.dbf\" (A CHAR(2))");
    Use("d.dbf");
    TTableTool tool;
    tool.SetIncludeRemarks(true);
    tool.SetTable(&table);
    const auto lines = tool.SQL().ToVector();
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[0], "/*");
    EXPECT_EQ(lines[1], "  Table name: \"d.dbf\"");
    EXPECT_EQ(lines[2], "  Table type: DBASE");
    EXPECT_EQ(lines[3], "  Table level: " + std::to_string(tool.TableInfo().TableLevel));
    EXPECT_EQ(lines[4], "  Language driver: " + tool.TableInfo().LanguageDriver);
    EXPECT_TRUE(std::regex_match(
        lines[5], std::regex("  SQL generated: \\d+/\\d+/\\d{4} (0[1-9]|1[0-2]):[0-5]\\d:[0-5]\\d(am|pm)")))
        << lines[5];
    EXPECT_EQ(lines[6], "*/");
    EXPECT_EQ(lines[7], "");
    EXPECT_EQ(lines[8], "CREATE TABLE \"d.dbf\"");
    EXPECT_EQ(tool.TableInfo().Name, "d");
    EXPECT_EQ(tool.TableInfo().FieldCount, 1);
}

TEST_F(TableToolTest, TheTableGetsItsOpenStateBack) {
    Run("CREATE TABLE \"d.dbf\" (A CHAR(2))");
    Use("d.dbf");
    {
        TTableTool tool;
        tool.SetTable(&table);
        EXPECT_TRUE(table.Active());
        // No table: nothing changes.
        tool.SetTable(nullptr);
        EXPECT_EQ(tool.Table(), &table);
        EXPECT_EQ(tool.SQL().Count(), 5);
    }
    EXPECT_FALSE(table.Active());
    table.Open();
    {
        TTableTool tool;
        tool.SetTable(&table);
    }
    EXPECT_TRUE(table.Active());
}

// The statement the generator writes makes a table of the same structure: same fields with
// the same types and sizes, and the same primary key.
TEST_F(TableToolTest, TheGeneratedStatementRecreatesTheTable) {
    struct Case {
        std::string file, create;
    };
    const Case cases[] = {
        {"all.db",
         "CREATE TABLE \"all.db\" (\"Last Name\" CHAR(20), \"First Name\" CHAR(15), Born DATE, "
         "Notes BLOB(20, 1), Pic BLOB(10, 2), Yes BOOLEAN, S SMALLINT, I INTEGER, F FLOAT, M MONEY, "
         "T TIME, TS TIMESTAMP, PRIMARY KEY (\"Last Name\", \"First Name\"))"},
        {"auto.db", "CREATE TABLE \"auto.db\" (Id AUTOINC, Name CHAR(10), PRIMARY KEY (Id))"},
        {"num.dbf",
         "CREATE TABLE \"num.dbf\" (Amount NUMERIC(10, 2), Wide FLOAT(12, 3), Name CHAR(40), "
         "Dt DATE, Ok BOOLEAN, Memo BLOB(10, 1))"},
    };
    const test::TempDir other;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Run(c.create);
        for (const Options& o : {Options{}, Options{true, false, true, true}}) {
            std::string statement;
            for (const std::string& line : Generate(c.file, o)) statement += line + "\r\n";
            std::filesystem::remove(other.File(c.file));
            Run(statement, other.Path());
            TTable copy;
            copy.SetDatabaseName(other.Path());
            copy.SetTableName(c.file);
            copy.Open();
            table.Open();
            const auto want = table.FieldDescriptors();
            const auto got = copy.FieldDescriptors();
            ASSERT_EQ(got.size(), want.size()) << statement;
            for (size_t i = 0; i < want.size(); ++i) {
                SCOPED_TRACE(want[i].name);
                EXPECT_EQ(got[i].name, want[i].name);
                EXPECT_EQ(got[i].type, want[i].type);
                EXPECT_EQ(got[i].subType, want[i].subType);
                EXPECT_EQ(got[i].units1, want[i].units1);
                EXPECT_EQ(got[i].units2, want[i].units2);
            }
            auto primary = [](TTable& t) {
                t.UpdateIndexDefs();
                for (const auto& index : t.IndexDefs())
                    if (index.primary) return index.fields;
                return std::string();
            };
            EXPECT_EQ(primary(copy), primary(table));
            copy.Close();
            table.Close();
            engine.CloseDatabase(other.Path());
        }
    }
}

TEST_F(TableToolTest, AFieldCalledUnknownGetsNoNote) {
    Run("CREATE TABLE \"u.db\" (unknownCount INTEGER, B CHAR(3))");
    EXPECT_EQ(Generate("u.db", {false, false, false, false})[2], "  unknownCount INTEGER,");
}

}  // namespace
}  // namespace tessel
