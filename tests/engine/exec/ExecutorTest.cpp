// The executor over real table files: queries of the dialect's reference, changes, statements
// that fail without changing anything, transactions, answers as cursors.

#include <gtest/gtest.h>

#include <thread>

#include "ExecTestSupport.h"
#include "base/EngineError.h"
#include "engine/TableFiles.h"

namespace tessel::test {
namespace {

using engine::EngineError;
namespace errc = engine::errc;

class ExecutorTest : public ::testing::Test, public ExecFixture {
protected:
    void SetUp() override { MakeReferenceTables(); }
};

struct QueryCase {
    const char* sql;
    std::vector<std::string> rows;
};

TEST_F(ExecutorTest, QueriesOfTheReference) {
    const QueryCase cases[] = {
        {"SELECT LAST_NAME, FIRST_NAME FROM \"employee.db\" ORDER BY LAST_NAME, FIRST_NAME",
         {"Adams|Ann", "Baker|Bob", "Clark|Carol", "Davis|Dan", "baker|Beth"}},
        {"SELECT LAST_NAME FROM employee WHERE LAST_NAME = 'baker'", {"baker"}},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE LAST_NAME LIKE '_a%' ORDER BY LAST_NAME",
         {"Baker", "Davis", "baker"}},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE SALARY BETWEEN 38500 AND 45000 ORDER BY SALARY",
         {"Davis", "Baker", "baker"}},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE DEPT_NO NOT IN (10, 30) ORDER BY LAST_NAME", {"Baker", "Clark"}},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE HIRED < '1/1/2000' ORDER BY HIRED", {"Adams", "Baker", "Clark"}},
        {"SELECT COUNT(*) AS N, COUNT(SALARY) AS NS, SUM(SALARY) AS S, AVG(SALARY) AS A FROM \"employee.db\"",
         {"5|4|176500.5|44125.125"}},
        {"SELECT DEPT_NO, COUNT(*) AS N FROM \"employee.db\" GROUP BY DEPT_NO ORDER BY DEPT_NO",
         {"|1", "10|2", "20|2"}},
        {"SELECT E.LAST_NAME, D.DEPT_NAME FROM \"employee.db\" E, \"dept.dbf\" D WHERE E.DEPT_NO = D.DEPT_NO "
         "ORDER BY E.LAST_NAME",
         {"Adams|Sales", "Baker|Research", "Clark|Research", "baker|Sales"}},
        {"SELECT DEPT_NAME FROM \"dept.dbf\" WHERE DEPT_NO IN (SELECT DEPT_NO FROM \"employee.db\") ORDER BY DEPT_NAME",
         {"Research", "Sales"}},
        {"SELECT D.DEPT_NAME FROM \"dept.dbf\" D WHERE NOT EXISTS (SELECT * FROM \"employee.db\" E "
         "WHERE E.DEPT_NO = D.DEPT_NO)",
         {"Support"}},
        {"SELECT LAST_NAME FROM \"employee.db\" WHERE SALARY < ALL (SELECT SALARY FROM \"employee.db\" WHERE DEPT_NO = "
         "10) "
         "ORDER BY LAST_NAME",
         {"Baker", "Davis"}},
        {"SELECT DEPT_NO FROM \"employee.db\" UNION SELECT DEPT_NO FROM \"dept.dbf\"", {"", "10", "20", "30"}},
        {"SELECT NOTES FROM \"employee.db\" WHERE FIRST_NAME = 'Ann'", {"Team lead"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Rows(c.sql), c.rows) << c.sql;
}

TEST_F(ExecutorTest, AnswerFieldsCarryTypesAndSizes) {
    auto answer = db->OpenQuery("SELECT LAST_NAME, SALARY, DEPT_NO, HIRED, ACTIVE FROM \"employee.db\"");
    const auto& f = answer->Fields();
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[0].type, engine::fldtype::kString);
    EXPECT_EQ(f[0].units1, 20);
    EXPECT_EQ(f[1].type, engine::fldtype::kFloat);
    EXPECT_EQ(f[2].type, engine::fldtype::kInt16);
    EXPECT_EQ(f[3].type, engine::fldtype::kDate);
    EXPECT_EQ(f[4].type, engine::fldtype::kBool);
    EXPECT_EQ(answer->RecordCount(), 5);
}

TEST_F(ExecutorTest, CursorMovesBothWaysKeepsBookmarksAndFilters) {
    auto answer = db->OpenQuery("SELECT FIRST_NAME FROM \"employee.db\" ORDER BY FIRST_NAME");
    EXPECT_TRUE(answer->Bof());
    ASSERT_TRUE(answer->Last());
    EXPECT_EQ(answer->FieldValue(0).s, "Dan");
    ASSERT_TRUE(answer->Prior());
    EXPECT_EQ(answer->FieldValue(0).s, "Carol");
    const int64_t mark = answer->Bookmark();
    EXPECT_FALSE(answer->MoveBy(10));
    EXPECT_TRUE(answer->Eof());
    ASSERT_TRUE(answer->GotoBookmark(mark));
    EXPECT_EQ(answer->FieldValue(0).s, "Carol");
    answer->SetFilter([](const engine::Record& r) { return r[0].s.find('o') != std::string::npos; });
    EXPECT_FALSE(answer->IsSequenced());
    std::vector<std::string> seen;
    for (bool ok = answer->First(); ok; ok = answer->Next()) seen.push_back(answer->FieldValue(0).s);
    EXPECT_EQ(seen, (std::vector<std::string>{"Bob", "Carol"}));
    EXPECT_EQ(answer->RecordCount(), 5);
}

TEST_F(ExecutorTest, ChangesReachTheFiles) {
    EXPECT_EQ(
        db->Execute("INSERT INTO \"employee.db\" (LAST_NAME, FIRST_NAME, HIRED) VALUES ('Evans', 'Eve', '12/24/2003')"),
        1);
    EXPECT_EQ(db->Execute("UPDATE \"employee.db\" SET SALARY = SALARY * 2 WHERE DEPT_NO = 10"), 2);
    EXPECT_EQ(db->Execute("DELETE FROM \"employee.db\" WHERE ACTIVE = FALSE"), 1);
    EXPECT_EQ(db->Execute("UPDATE \"dept.dbf\" SET BUDGET = BUDGET + 0.01"), 3);
    // Read back through the drivers, not through the engine.
    auto emp = engine::OpenTableFile(dir.File("employee.db"));
    std::vector<std::string> names;
    engine::Record rec;
    for (uint32_t n = 0; n < emp->RecordCount(); ++n)
        if (emp->ReadRecord(n, rec))
            names.push_back(rec[0].s + "/" + engine::FormatValue(rec[2]) + "/" + engine::FormatValue(rec[4]));
    EXPECT_EQ(names,
              (std::vector<std::string>{"Adams/104000/1994-03-15", "Baker/41000.5/1996-07-01", "Davis/38500/2001-01-02",
                                        "Evans//2003-12-24", "baker/90000/2000-02-29"}));
    EXPECT_EQ(Rows("SELECT BUDGET FROM \"dept.dbf\" ORDER BY DEPT_NO"),
              (std::vector<std::string>{"100000.01", "250000.01", "50000.01"}));
}

TEST_F(ExecutorTest, KeyChangesOfManyRecordsMoveThemAll) {
    // Paradox keeps keyed records in key order: changing keys moves records while the
    // statement still refers to them by position.
    Sql("UPDATE \"employee.db\" SET LAST_NAME = LAST_NAME || 'x' WHERE DEPT_NO IS NOT NULL");
    EXPECT_EQ(Rows("SELECT LAST_NAME FROM \"employee.db\" ORDER BY LAST_NAME"),
              (std::vector<std::string>{"Adamsx", "Bakerx", "Clarkx", "Davis", "bakerx"}));
    Sql("DELETE FROM \"employee.db\" WHERE LAST_NAME <> 'Clarkx'");
    EXPECT_EQ(Rows("SELECT LAST_NAME FROM \"employee.db\""), (std::vector<std::string>{"Clarkx"}));
}

struct FailureCase {
    const char* sql;
    int code;
};

TEST_F(ExecutorTest, FailingStatementsChangeNothing) {
    const auto before = Files();
    const FailureCase cases[] = {
        {"INSERT INTO \"employee.db\" (LAST_NAME, FIRST_NAME) VALUES ('Adams', 'Ann')", errc::kKeyViolation},
        // The third of several new records breaks the key: the first two must go again.
        {"INSERT INTO \"employee.db\" (LAST_NAME, FIRST_NAME) SELECT DEPT_NAME, 'Ann' FROM \"dept.dbf\" "
         "UNION ALL SELECT 'Adams', 'Ann' FROM \"dept.dbf\" WHERE DEPT_NO = 30",
         errc::kKeyViolation},
        {"UPDATE \"employee.db\" SET LAST_NAME = 'Adams', FIRST_NAME = 'Ann' WHERE LAST_NAME <> 'Adams'",
         errc::kKeyViolation},
        {"SELECT * FROM \"employe.db\"", errc::kNotFound},
        {"SELECT \"Nmae\" FROM \"employee.db\"", errc::kSqlBind},
        {"SELECT 1 FROM \"employee.db\"; DELETE FROM \"employee.db\"", errc::kSqlSyntax},
        {"CREATE TABLE \"employee.db\" (A CHAR(1))", errc::kInvalidParameter},
        {"CREATE TABLE \"x.dbf\" (A CHAR(10), PRIMARY KEY (A))", errc::kGeneral},
        {"UPDATE \"dept.dbf\" SET BUDGET = 1e30", errc::kGeneral},
    };
    for (const auto& c : cases) {
        try {
            db->Execute(c.sql);
            ADD_FAILURE() << "no failure: " << c.sql;
        } catch (const EngineError& e) {
            if (c.code != errc::kGeneral) {
                EXPECT_EQ(e.Code(), c.code) << c.sql << ": " << e.what();
            }
        }
        EXPECT_EQ(Files(), before) << c.sql;
    }
}

TEST_F(ExecutorTest, NonQueryOpenedForRowsIsCarriedOutThenFails) {
    try {
        db->OpenQuery("UPDATE \"employee.db\" SET SALARY = 1 WHERE FIRST_NAME = 'Ann'");
        FAIL() << "opened";
    } catch (const EngineError& e) {
        EXPECT_STREQ(e.what(), "Error creating cursor handle");
    }
    EXPECT_EQ(Rows("SELECT SALARY FROM \"employee.db\" WHERE FIRST_NAME = 'Ann'"), (std::vector<std::string>{"1"}));
}

TEST_F(ExecutorTest, RollbackRestoresEveryTableExactly) {
    const auto before = Files();
    db->StartTransaction();
    EXPECT_TRUE(db->InTransaction());
    Sql("INSERT INTO \"employee.db\" (LAST_NAME, FIRST_NAME, NOTES) VALUES ('Evans', 'Eve', 'a long note for the blob "
        "file')");
    Sql("UPDATE \"employee.db\" SET NOTES = 'changed' WHERE FIRST_NAME = 'Ann'");
    Sql("DELETE FROM \"employee.db\" WHERE FIRST_NAME = 'Bob'");
    Sql("INSERT INTO \"dept.dbf\" VALUES (40, 'Legal', 1000)");
    Sql("DELETE FROM \"dept.dbf\" WHERE DEPT_NO = 10");
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"employee.db\""), (std::vector<std::string>{"5"}));
    EXPECT_THROW(Sql("DROP TABLE \"dept.dbf\""), EngineError);  // no DDL inside a transaction
    db->Rollback();
    EXPECT_FALSE(db->InTransaction());
    EXPECT_EQ(Files(), before);
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"dept.dbf\""), (std::vector<std::string>{"3"}));

    db->StartTransaction();
    Sql("DELETE FROM \"dept.dbf\" WHERE DEPT_NO = 10");
    db->Commit();
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"dept.dbf\""), (std::vector<std::string>{"2"}));
}

TEST_F(ExecutorTest, InterruptEndsAStatementAndChangesNothing) {
    for (int k = 0; k < 300; ++k) Sql("INSERT INTO \"dept.dbf\" VALUES (" + std::to_string(100 + k) + ", 'x', 1)");
    const auto before = Files();
    std::atomic<bool> done{false};
    std::thread interrupter([&] {
        while (!done.load()) {
            engine->Interrupt();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    try {
        // Far too much work to finish: only the interrupt ends it.
        db->Execute(
            "UPDATE \"dept.dbf\" SET BUDGET = 2 WHERE (SELECT COUNT(*) FROM \"dept.dbf\" A, \"dept.dbf\" B, "
            "\"dept.dbf\" C, \"dept.dbf\" D) > 0");
        ADD_FAILURE() << "not interrupted";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.Code(), errc::kCancelled) << e.what();
    }
    done = true;
    interrupter.join();
    EXPECT_EQ(Files(), before);
    // The next statement runs normally.
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"dept.dbf\" WHERE DEPT_NO = 10"), (std::vector<std::string>{"1"}));
}

TEST_F(ExecutorTest, NamesResolveAgainstTheDatabase) {
    TempDir other;
    config.Path();
    engine->Aliases().AddAlias("WORK", dir.Path());
    engine::Engine e2(config.File("aliases.conf"), other.Path());
    auto& work = e2.OpenDatabase("WORK");
    EXPECT_EQ(work.OpenQuery("SELECT * FROM EMPLOYEE")->RecordCount(), 5);  // case-insensitive match
    auto& fromOther = e2.OpenDatabase("");
    EXPECT_EQ(fromOther.Directory(), other.Path());
    EXPECT_EQ(fromOther.OpenQuery("SELECT E.LAST_NAME FROM \":WORK:employee.db\" E WHERE E.FIRST_NAME = 'Dan'")
                  ->RecordCount(),
              1);
    EXPECT_EQ(fromOther.OpenQuery("SELECT * FROM \"" + dir.File("dept.dbf") + "\"")->RecordCount(), 3);
    EXPECT_THROW(fromOther.OpenQuery("SELECT * FROM employee"), EngineError);
}

}  // namespace
}  // namespace tessel::test
