// Table structure changes and the batch copy: data kept, whole families replaced, nothing
// stale left, nothing lost on failure.

#include <gtest/gtest.h>

#include <fstream>

#include "ExecTestSupport.h"
#include "base/EngineError.h"
#include "engine/TableFiles.h"

namespace tessel::test {
namespace {

using engine::EngineError;

class StructureTest : public ::testing::Test, public ExecFixture {
protected:
    void SetUp() override { MakeReferenceTables(); }

    std::vector<std::string> FieldNames(const std::string& file) {
        auto t = engine::OpenTableFile(dir.File(file));
        std::vector<std::string> names;
        for (const auto& f : t->Fields()) names.push_back(f.name);
        return names;
    }
    static void Touch(const std::string& path, const std::string& bytes = "stale") {
        std::ofstream(path, std::ios::binary) << bytes;
    }
};

TEST_F(StructureTest, CreateTableMakesAKeyedParadoxTable) {
    auto t = engine::OpenTableFile(dir.File("employee.db"));
    const auto indexes = t->Indexes();
    ASSERT_EQ(indexes.size(), 1u);
    EXPECT_TRUE(indexes[0].primary);
    EXPECT_EQ(indexes[0].fields, "LAST_NAME;FIRST_NAME");
    EXPECT_THROW(Sql("CREATE TABLE \"k.db\" (A CHAR(5), B CHAR(5), PRIMARY KEY (B))"), EngineError);
    EXPECT_FALSE(std::filesystem::exists(dir.File("k.db")));
}

TEST_F(StructureTest, AlterTableAddsAndDropsSeveralFieldsKeepingData) {
    Sql("ALTER TABLE \"employee.db\" ADD Territory Char(4),\n      \t\t\tADD DateChanged Date");
    EXPECT_EQ(FieldNames("employee.db"),
              (std::vector<std::string>{"LAST_NAME", "FIRST_NAME", "SALARY", "DEPT_NO", "HIRED", "ACTIVE", "NOTES",
                                        "Territory", "DateChanged"}));
    EXPECT_EQ(Rows("SELECT LAST_NAME, NOTES, Territory FROM \"employee.db\" WHERE FIRST_NAME = 'Ann'"),
              (std::vector<std::string>{"Adams|Team lead|"}));
    Sql("ALTER TABLE \"employee.db\" DROP Territory, DROP DateChanged, DROP HIRED");
    EXPECT_EQ(FieldNames("employee.db"),
              (std::vector<std::string>{"LAST_NAME", "FIRST_NAME", "SALARY", "DEPT_NO", "ACTIVE", "NOTES"}));
    EXPECT_EQ(Rows("SELECT COUNT(*), SUM(SALARY) FROM \"employee.db\""), (std::vector<std::string>{"5|176500.5"}));
    EXPECT_EQ(engine::OpenTableFile(dir.File("employee.db"))->Indexes().size(), 1u);
    Sql("ALTER TABLE \"dept.dbf\" ADD CODE CHAR(3), DROP BUDGET");
    EXPECT_EQ(Rows("SELECT DEPT_NO, DEPT_NAME, CODE FROM \"dept.dbf\" ORDER BY DEPT_NO"),
              (std::vector<std::string>{"10|Sales|", "20|Research|", "30|Support|"}));
    // Invalid changes fail as a whole.
    const auto before = Files();
    EXPECT_THROW(Sql("ALTER TABLE \"employee.db\" ADD X CHAR(2), DROP NOSUCH"), EngineError);
    EXPECT_THROW(Sql("ALTER TABLE \"employee.db\" DROP LAST_NAME"), EngineError);
    EXPECT_THROW(Sql("ALTER TABLE \"employee.db\" ADD SALARY CHAR(2)"), EngineError);
    EXPECT_EQ(Files(), before);
    for (const auto& [name, bytes] : Files()) EXPECT_EQ(name.find(".tessel"), std::string::npos) << name;
}

TEST_F(StructureTest, DropTableRemovesTheWholeFamily) {
    Touch(dir.File("employee.val"));
    Touch(dir.File("employee.X02"));
    Touch(dir.File("employee.txt"));  // not of the family
    Sql("DROP TABLE \"employee.db\"");
    const auto files = Files();
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"dept.dbf", "employee.txt"}));
    EXPECT_THROW(Rows("SELECT * FROM \"employee.db\""), EngineError);
}

TEST_F(StructureTest, DropPrimaryIndexLeavesAnUnkeyedTable) {
    Sql("DROP INDEX \"employee.db\".PRIMARY");
    EXPECT_TRUE(engine::OpenTableFile(dir.File("employee.db"))->Indexes().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.File("employee.px")));
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"employee.db\""), (std::vector<std::string>{"5"}));
}

TEST_F(StructureTest, BatchCopyOverItsOwnSourceKeepsTheRecords) {
    for (const char* dest : {"employee.db", "copy.dbf"}) {
        auto answer = db->OpenQuery("SELECT LAST_NAME, FIRST_NAME, SALARY FROM \"employee.db\" WHERE SALARY > 40000");
        EXPECT_EQ(db->BatchCopy(*answer, dir.File(dest)), 3u) << dest;
        EXPECT_EQ(Rows(std::string("SELECT LAST_NAME FROM \"") + dest + "\" ORDER BY LAST_NAME"),
                  (std::vector<std::string>{"Adams", "Baker", "baker"}))
            << dest;
    }
    // The answer replaced the whole family: the old key index and BLOB file are gone.
    EXPECT_FALSE(std::filesystem::exists(dir.File("employee.px")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("employee.mb")));
}

TEST_F(StructureTest, BatchCopyLeavesNoStaleCompanions) {
    Touch(dir.File("out.px"));
    Touch(dir.File("out.mb"));
    Touch(dir.File("out.X03"));
    Touch(dir.File("out.VAL"));
    Touch(dir.File("out.db"));
    Touch(dir.File("list.mdx"));
    Touch(dir.File("list.dbt"));
    auto answer = db->OpenQuery("SELECT DEPT_NO, DEPT_NAME FROM \"dept.dbf\"");
    db->BatchCopy(*answer, dir.File("out.db"));
    db->BatchCopy(*answer, dir.File("list.dbf"));
    std::vector<std::string> names;
    for (const auto& [name, bytes] : Files()) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"dept.dbf", "employee.db", "employee.mb", "employee.px", "list.dbf",
                                               "out.db"}));
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"out.db\""), (std::vector<std::string>{"3"}));
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"list.dbf\""), (std::vector<std::string>{"3"}));
}

TEST_F(StructureTest, BatchCopyShortensLongNamesToUniqueOnes) {
    auto answer = db->OpenQuery(
        "SELECT LAST_NAME AS EMPLOYEE_SURNAME, FIRST_NAME AS EMPLOYEE_GIVEN_NAME, DEPT_NO AS EMPLOYEE_DEPARTMENT "
        "FROM \"employee.db\"");
    db->BatchCopy(*answer, dir.File("short.dbf"));
    EXPECT_EQ(FieldNames("short.dbf"), (std::vector<std::string>{"EMPLOYEE_S", "EMPLOYEE_G", "EMPLOYEE_D"}));
    auto same = db->OpenQuery("SELECT LAST_NAME AS ABCDEFGHIJKL, FIRST_NAME AS ABCDEFGHIJXY FROM \"employee.db\"");
    db->BatchCopy(*same, dir.File("same.dbf"));
    EXPECT_EQ(FieldNames("same.dbf"), (std::vector<std::string>{"ABCDEFGHIJ", "ABCDEFGH_1"}));
    EXPECT_EQ(Rows("SELECT ABCDEFGH_1 FROM \"same.dbf\" WHERE ABCDEFGHIJ = 'Adams'"),
              (std::vector<std::string>{"Ann"}));
}

TEST_F(StructureTest, BatchCopyFailureLeavesTheOldTable) {
    auto small = db->OpenQuery("SELECT DEPT_NO FROM \"dept.dbf\"");
    db->BatchCopy(*small, dir.File("big.dbf"));
    const auto before = Files();
    // The second record's value does not fit a dBASE number: an error, never a cut value,
    // and the old table stays whole.
    auto answer = db->OpenQuery("SELECT BUDGET * BUDGET * BUDGET * BUDGET AS HUGE FROM \"dept.dbf\" ORDER BY DEPT_NO");
    EXPECT_THROW(db->BatchCopy(*answer, dir.File("big.dbf")), EngineError);
    EXPECT_EQ(Files(), before);
}

}  // namespace
}  // namespace tessel::test
