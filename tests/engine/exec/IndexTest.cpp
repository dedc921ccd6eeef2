// CREATE INDEX and DROP INDEX through the dialect: the sample statements, secondary indexes kept
// by every statement, and what fails with which message, leaving the files as they were.

#include <gtest/gtest.h>

#include "engine/EngineError.h"
#include "engine/TableFiles.h"
#include "engine/paradox/ParadoxTable.h"
#include "engine/paradox/PxFormat.h"
#include "ExecTestSupport.h"

namespace tessel::test {
namespace {

using engine::EngineError;

class IndexTest : public ::testing::Test, public ExecFixture {
protected:
    void SetUp() override { MakeReferenceTables(); }

    // The statement's failure message; "" when it ran.
    std::string Failure(const std::string& sql) {
        try {
            Sql(sql);
        } catch (const EngineError& e) {
            return e.what();
        }
        return "";
    }
    std::string IndexSummary(const std::string& file) {
        std::string out;
        for (const auto& ix : engine::OpenTableFile(dir.File(file))->Indexes())
            out += (ix.primary ? std::string("PRIMARY") : ix.name) + "(" + ix.fields + (ix.unique && !ix.primary ? ",unique" : "") + ") ";
        return out;
    }
    uint32_t IndexRecords(const std::string& file) {
        const auto bytes = Files().at(file);
        return engine::paradox::GetLe32(bytes.data() + 6);
    }
};

TEST_F(IndexTest, SampleStatementsFailAsWrittenAndWorkAdapted) {
    const auto before = Files();
    EXPECT_NE(Failure("CREATE INDEX Name on \"employee.db\" (LastName, FirstName)").find("Invalid field name"), std::string::npos);
    EXPECT_NE(Failure("DROP INDEX \"employe.db\".PRIMARY").find("Table does not exist"), std::string::npos);
    EXPECT_EQ(Files(), before);

    Sql("CREATE INDEX Name on \"employee.db\" (FIRST_NAME, LAST_NAME)");
    EXPECT_EQ(IndexSummary("employee.db"), "PRIMARY(LAST_NAME;FIRST_NAME) Name(FIRST_NAME;LAST_NAME) ");
    EXPECT_EQ(engine::OpenTableFile(dir.File("employee.db"))->Properties().indexCount, 2u);
    EXPECT_TRUE(Files().count("employee.xg0") && Files().count("employee.yg0"));
    // The dialect's reference sequence: secondary index, then both dropped.
    Sql("CREATE INDEX DEPT_NO ON \"employee.db\" (DEPT_NO)");
    EXPECT_EQ(IndexSummary("employee.db"),
              "PRIMARY(LAST_NAME;FIRST_NAME) DEPT_NO(DEPT_NO) Name(FIRST_NAME;LAST_NAME) ");
    EXPECT_TRUE(Files().count("employee.x04"));
    EXPECT_NE(Failure("DROP INDEX \"employee.db\".PRIMARY").find("secondary indexes"), std::string::npos);
    Sql("DROP INDEX \"employee.db\".Name");
    Sql("DROP INDEX \"employee.db\".dept_no");
    Sql("DROP INDEX \"employee.db\".PRIMARY");
    EXPECT_EQ(IndexSummary("employee.db"), "");
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"employee.db\""), (std::vector<std::string>{"5"}));
}

TEST_F(IndexTest, StatementsKeepTheIndexCurrent) {
    Sql("CREATE INDEX BySalary ON \"employee.db\" (SALARY)");
    EXPECT_EQ(IndexRecords("employee.xg0"), 5u);
    const std::vector<std::pair<const char*, uint32_t>> steps = {
        {"INSERT INTO \"employee.db\" VALUES ('Evans', 'Eve', 60000, 30, NULL, TRUE, NULL)", 6},
        {"UPDATE \"employee.db\" SET SALARY = SALARY + 1 WHERE DEPT_NO = 20", 6},
        {"UPDATE \"employee.db\" SET LAST_NAME = 'Zed' WHERE LAST_NAME = 'Adams'", 6},
        {"DELETE FROM \"employee.db\" WHERE DEPT_NO = 10", 4},
        {"DELETE FROM \"employee.db\"", 0},
    };
    for (const auto& [sql, count] : steps) {
        Sql(sql);
        EXPECT_EQ(IndexRecords("employee.xg0"), count) << sql;
        // Reopened, the index still matches its table.
        EXPECT_EQ(IndexSummary("employee.db"), "PRIMARY(LAST_NAME;FIRST_NAME) BySalary(SALARY) ") << sql;
    }
}

TEST_F(IndexTest, FailingIndexStatementsLeaveTheFiles) {
    Sql("CREATE INDEX ByDept ON \"employee.db\" (DEPT_NO, SALARY)");
    const auto before = Files();
    struct Case {
        const char* sql;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"CREATE INDEX ByDept ON \"employee.db\" (SALARY)", "Index already exists"},
        {"CREATE INDEX bydept ON \"employee.db\" (SALARY)", "Index already exists"},
        {"DROP INDEX \"employee.db\".NoSuch", "Index does not exist"},
        {"CREATE INDEX X ON \"employee.db\" (NOSUCH)", "Invalid field name"},
        {"CREATE INDEX X ON \"nosuch.db\" (A)", "Table does not exist"},
        {"CREATE INDEX X ON \"employee.db\" (NOTES)", "Capability not supported"},
        {"CREATE INDEX X ON \"employee.db\" (LAST_NAME, DEPT_NO)", "Capability not supported"},
        {"CREATE DESC INDEX X ON \"employee.db\" (DEPT_NO)", "Capability not supported"},
        {"CREATE UNIQUE INDEX X ON \"employee.db\" (HIRED)", "level 7"},
        {"CREATE INDEX ByName ON \"dept.dbf\" (DEPT_NAME)", "Capability not supported"},
        {"ALTER TABLE \"employee.db\" ADD X CHAR(2)", "secondary indexes"},
    };
    for (const auto& c : cases) {
        EXPECT_NE(Failure(c.sql).find(c.message), std::string::npos) << c.sql << ": " << Failure(c.sql);
        EXPECT_EQ(Files(), before) << c.sql;
    }
}

TEST_F(IndexTest, UniqueIndexOfALevel7TableRefusesRepeatedValues) {
    engine::CreateOptions o;
    o.level = 7;
    engine::paradox::CreateParadoxTable(dir.File("codes.db"),
                                        {engine::FieldDesc::Make("ID", engine::fldtype::kInt32),
                                         engine::FieldDesc::Make("CODE", engine::fldtype::kString, 0, 8)},
                                        o, 1)
        ->Close();
    Sql("INSERT INTO \"codes.db\" VALUES (1, 'a')");
    Sql("INSERT INTO \"codes.db\" VALUES (2, 'a')");
    const auto before = Files();
    EXPECT_NE(Failure("CREATE UNIQUE INDEX ByCode ON \"codes.db\" (CODE)").find("Key violation"), std::string::npos);
    EXPECT_EQ(Files(), before);
    Sql("UPDATE \"codes.db\" SET CODE = 'b' WHERE ID = 2");
    Sql("CREATE UNIQUE INDEX ByCode ON \"codes.db\" (CODE)");
    EXPECT_EQ(IndexSummary("codes.db"), "PRIMARY(ID) ByCode(CODE,unique) ");
    EXPECT_NE(Failure("INSERT INTO \"codes.db\" VALUES (3, 'b')").find("Key violation"), std::string::npos);
    EXPECT_NE(Failure("UPDATE \"codes.db\" SET CODE = 'a' WHERE ID = 2").find("Key violation"), std::string::npos);
    EXPECT_EQ(Rows("SELECT ID, CODE FROM \"codes.db\" ORDER BY ID"), (std::vector<std::string>{"1|a", "2|b"}));
}

}  // namespace
}  // namespace tessel::test
