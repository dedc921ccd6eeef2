// Answers that come in as they are read: the first rows at once, the rest on demand, the
// tables let go once the last row is in, and the same rows as an answer read whole.

#include <gtest/gtest.h>

#include "ExecTestSupport.h"
#include "base/EngineError.h"
#include "engine/Cursor.h"
#include "engine/Database.h"
#include "engine/SqlValue.h"
#include "engine/storage/LockedFile.h"

namespace tessel::test {
namespace {

using engine::EngineError;

class AnswerStream : public ::testing::Test {
protected:
    // big.dbf: 3,600 records, ID 0..3599 with TXT = "t<ID>", far more than a first page.
    void SetUp() override {
        f.Sql("CREATE TABLE \"n.db\" (ID INTEGER)");
        for (int i = 0; i < 60; ++i) f.Sql("INSERT INTO \"n.db\" VALUES (" + std::to_string(i) + ")");
        f.Sql("CREATE TABLE \"big.dbf\" (ID INTEGER, TXT CHAR(10))");
        f.Sql(
            "INSERT INTO \"big.dbf\" SELECT a.ID * 60 + b.ID, 't' || CAST(a.ID * 60 + b.ID AS CHAR(6)) "
            "FROM \"n.db\" a, \"n.db\" b");
    }
    static constexpr int64_t kRows = 3600;
    ExecFixture f;
};

TEST_F(AnswerStream, FirstRowsComeAtOnceAndTheRestAsTheyAreRead) {
    auto answer = f.db->OpenQuery("SELECT ID, TXT FROM \"big.dbf\" WHERE ID >= 100");
    EXPECT_FALSE(answer->IsComplete());
    EXPECT_GT(answer->KnownCount(), 0);
    EXPECT_LT(answer->KnownCount(), kRows - 100);

    // Reading far ahead brings the rows in up to there, in order.
    engine::Record rec;
    answer->ReadRecord(2000, rec);
    EXPECT_EQ(engine::FormatValue(rec[0]), "2100");
    EXPECT_EQ(engine::FormatValue(rec[1]), "t2100");
    EXPECT_GE(answer->KnownCount(), 2001);

    // Stepping to the end meets every row once; then the count is known and complete.
    int64_t seen = 0;
    for (bool ok = answer->First(); ok; ok = answer->Next()) {
        ASSERT_EQ(engine::FormatValue(answer->Current()[0]), std::to_string(100 + seen));
        ++seen;
    }
    EXPECT_TRUE(answer->Eof());
    EXPECT_EQ(seen, kRows - 100);
    EXPECT_TRUE(answer->IsComplete());
    EXPECT_EQ(answer->RecordCount(), kRows - 100);
    EXPECT_FALSE(answer->MoveTo(kRows - 100));
    EXPECT_TRUE(answer->Last());
    EXPECT_EQ(engine::FormatValue(answer->Current()[0]), "3599");
}

TEST_F(AnswerStream, MovesAndCountsBringRowsInAsFarAsTheyGo) {
    auto answer = f.db->OpenQuery("SELECT ID FROM \"big.dbf\"");
    EXPECT_TRUE(answer->MoveTo(3000));
    EXPECT_EQ(engine::FormatValue(answer->Current()[0]), "3000");
    EXPECT_FALSE(answer->MoveBy(1000));  // past the end: the cursor stands after the last row
    EXPECT_TRUE(answer->Eof());
    EXPECT_TRUE(answer->IsComplete());

    auto second = f.db->OpenQuery("SELECT ID FROM \"big.dbf\" ORDER BY ID DESC");
    EXPECT_EQ(second->CountUpTo(10), second->KnownCount());
    EXPECT_FALSE(second->FetchMore(1));
    EXPECT_EQ(second->RecordCount(), kRows);
    EXPECT_TRUE(second->FetchMore(1));
}

TEST_F(AnswerStream, AStatementAfterTheQueryFindsItsAnswerReadToTheEnd) {
    auto answer = f.db->OpenQuery("SELECT ID, TXT FROM \"big.dbf\"");
    ASSERT_FALSE(answer->IsComplete());
    // The update waits for nobody: the answer is read whole first and keeps the old values.
    EXPECT_EQ(f.db->Execute("UPDATE \"big.dbf\" SET TXT = 'x'"), kRows);
    EXPECT_TRUE(answer->IsComplete());
    engine::Record rec;
    answer->ReadRecord(kRows - 1, rec);
    EXPECT_EQ(engine::FormatValue(rec[1]), "t3599");
    EXPECT_EQ(f.Rows("SELECT COUNT(*) FROM \"big.dbf\" WHERE TXT = 'x'"), std::vector<std::string>{"3600"});
}

TEST_F(AnswerStream, TablesAreLetGoWhenTheLastRowIsInOrTheAnswerCloses) {
    // Another program's engine on the same directory: it must lock the table to write.
    engine::LockedFile::SetLockTimeoutMs(100);
    engine::Engine other(f.config.File("other.conf"), f.dir.Path());
    engine::Database& db2 = other.OpenDatabase("");
    {
        auto answer = f.db->OpenQuery("SELECT * FROM \"big.dbf\"");
        ASSERT_FALSE(answer->IsComplete());
        EXPECT_THROW(db2.Execute("DELETE FROM \"big.dbf\" WHERE ID = 0"), EngineError);  // still read
        answer->RecordCount();
        EXPECT_EQ(db2.Execute("DELETE FROM \"big.dbf\" WHERE ID = 0"), 1);
    }
    {
        auto answer = f.db->OpenQuery("SELECT * FROM \"big.dbf\"");
        ASSERT_FALSE(answer->IsComplete());
    }  // closed half read
    EXPECT_EQ(db2.Execute("DELETE FROM \"big.dbf\" WHERE ID = 1"), 1);
    engine::LockedFile::SetLockTimeoutMs(10000);
    EXPECT_EQ(f.Rows("SELECT COUNT(*) FROM \"big.dbf\""), std::vector<std::string>{"3598"});
}

TEST_F(AnswerStream, AFailureAfterTheFirstRowsIsRaisedOnceAndKeepsTheRowsBeforeIt) {
    // Division by zero at ID 3000, long after the rows the query returns with.
    auto answer = f.db->OpenQuery("SELECT ID, 6000 / (ID - 3000) FROM \"big.dbf\"");
    ASSERT_FALSE(answer->IsComplete());
    EXPECT_THROW(answer->RecordCount(), EngineError);
    EXPECT_TRUE(answer->IsComplete());
    EXPECT_EQ(answer->RecordCount(), 3000);
    engine::Record rec;
    answer->ReadRecord(2999, rec);
    EXPECT_EQ(engine::FormatValue(rec[1]), "-6000");
    // The table is free again and the database runs on.
    EXPECT_EQ(f.db->Execute("DELETE FROM \"big.dbf\" WHERE ID = 3000"), 1);
    // A small answer fails at once, as before.
    EXPECT_THROW(f.db->OpenQuery("SELECT 1 / (ID - 5) FROM \"big.dbf\" WHERE ID < 10"), EngineError);
}

}  // namespace
}  // namespace tessel::test
