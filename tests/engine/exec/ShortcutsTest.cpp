// The executor's short cuts must answer exactly what a plain scan answers: COUNT(*) of a whole
// table from its live-record count, join probes that SQLite does not check again, fields decoded
// on demand, and appends a driver keeps back while the statement holds the table.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "ExecTestSupport.h"
#include "base/EngineError.h"
#include "engine/TableFiles.h"

namespace tessel::test {
namespace {

using engine::EngineError;

class ShortcutsTest : public ::testing::Test, public ExecFixture {};

TEST_F(ShortcutsTest, CountOfAWholeTableLeavesOutDeletedRecords) {
    for (const char* t : {"c.dbf", "c.db"}) {
        SCOPED_TRACE(t);
        const std::string name = std::string("\"") + t + "\"";
        Sql("CREATE TABLE " + name + " (ID INTEGER, NAME CHAR(10))");
        for (int i = 0; i < 50; ++i) Sql("INSERT INTO " + name + " VALUES (" + std::to_string(i) + ", 'n')");
        EXPECT_EQ(Rows("SELECT COUNT(*) FROM " + name), std::vector<std::string>{"50"});
        Sql("DELETE FROM " + name + " WHERE ID < 10");
        EXPECT_EQ(Rows("SELECT COUNT(*) FROM " + name), std::vector<std::string>{"40"});
        EXPECT_EQ(Rows("SELECT COUNT(*) AS N FROM " + name + " WHERE ID >= 0"), std::vector<std::string>{"40"});
        Sql("INSERT INTO " + name + " VALUES (100, 'x')");
        EXPECT_EQ(Rows("SELECT COUNT(*) FROM " + name), std::vector<std::string>{"41"});
        // In a subquery and inside a statement that changes the table.
        EXPECT_EQ(Rows("SELECT ID FROM " + name + " WHERE ID > (SELECT COUNT(*) FROM " + name + ")"),
                  (std::vector<std::string>{"42", "43", "44", "45", "46", "47", "48", "49", "100"}));
        Sql("INSERT INTO " + name + " SELECT ID + 1000, NAME FROM " + name + " WHERE ID > (SELECT COUNT(*) FROM " +
            name + ")");
        EXPECT_EQ(Rows("SELECT COUNT(*) FROM " + name), std::vector<std::string>{"50"});
    }
}

TEST_F(ShortcutsTest, CountSeesChangesOfAnotherWriter) {
    Sql("CREATE TABLE \"w.dbf\" (ID INTEGER)");
    for (int i = 0; i < 20; ++i) Sql("INSERT INTO \"w.dbf\" VALUES (" + std::to_string(i) + ")");
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"w.dbf\""), std::vector<std::string>{"20"});
    {
        // Another program deletes two records and appends one, in place.
        auto t = engine::OpenTableFile(dir.File("w.dbf"), engine::OpenMode::ReadWrite);
        t->DeleteRecord(3);
        t->DeleteRecord(7);
        engine::Record rec(1);
        rec[0].SetInt(99);
        t->AppendRecord(rec);
        t->Close();
    }
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"w.dbf\""), std::vector<std::string>{"19"});
    EXPECT_EQ(Rows("SELECT MAX(ID) FROM \"w.dbf\""), std::vector<std::string>{"99"});
}

TEST_F(ShortcutsTest, CountOfAFileAtRestIsKeptUntilTheFileChanges) {
    Sql("CREATE TABLE \"r.dbf\" (ID INTEGER)");
    for (int i = 0; i < 30; ++i) Sql("INSERT INTO \"r.dbf\" VALUES (" + std::to_string(i) + ")");
    Sql("DELETE FROM \"r.dbf\" WHERE ID < 5");
    const auto path = dir.File("r.dbf");
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(path, old);
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"r.dbf\""), std::vector<std::string>{"25"});
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"r.dbf\""), std::vector<std::string>{"25"});
    Sql("DELETE FROM \"r.dbf\" WHERE ID = 7");  // this database's own change
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"r.dbf\""), std::vector<std::string>{"24"});
    std::filesystem::last_write_time(path, old);
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"r.dbf\""), std::vector<std::string>{"24"});
    {
        // Another program deletes one record in place: same size, a new time.
        auto t = engine::OpenTableFile(path, engine::OpenMode::ReadWrite);
        t->DeleteRecord(20);
        t->Close();
    }
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"r.dbf\""), std::vector<std::string>{"23"});
}

TEST_F(ShortcutsTest, TableNamesWithNulCharactersAreRefused) {
    // Found by the engine fuzzer: the name was cut at the NUL, a file of the shorter name was
    // made and left behind when the statement failed.
    const auto before = Files();
    const std::string name("\"abc\0def.db\"", 11);
    EXPECT_THROW(Sql("CREATE TABLE " + name + " (A INTEGER)"), EngineError);
    EXPECT_THROW(Sql("SELECT * FROM " + name), EngineError);
    EXPECT_EQ(Files(), before);
}

TEST_F(ShortcutsTest, JoinProbesCompareNumbersAsSqliteDoes) {
    for (const char* ext : {".dbf", ".db"}) {
        SCOPED_TRACE(ext);
        const std::string a = std::string("\"a") + ext + "\"", b = std::string("\"b") + ext + "\"";
        Sql("CREATE TABLE " + a + " (K INTEGER, V NUMERIC(8,2), T CHAR(6))");
        Sql("CREATE TABLE " + b + " (K INTEGER, V NUMERIC(8,2), T CHAR(6))");
        Sql("INSERT INTO " + a + " VALUES (1, 1.50, '1')");
        Sql("INSERT INTO " + a + " VALUES (2, 2.00, '2.0')");
        Sql("INSERT INTO " + a + " VALUES (NULL, NULL, 'x')");
        Sql("INSERT INTO " + a + " VALUES (3, 3.25, NULL)");
        for (int i = 0; i < 40; ++i)
            Sql("INSERT INTO " + b + " VALUES (" + std::to_string(i % 5) + ", " + std::to_string(i % 5) + ".25, 'b')");
        Sql("INSERT INTO " + b + " VALUES (NULL, NULL, NULL)");
        Sql("DELETE FROM " + b + " WHERE K = 3 AND T = 'b' AND V = 3.25 AND K = 3");
        EXPECT_EQ(Rows("SELECT COUNT(*) FROM " + a + " X, " + b + " Y WHERE X.K = Y.K"),
                  std::vector<std::string>{"16"});
        EXPECT_EQ(Rows("SELECT X.K, COUNT(*) FROM " + a + " X, " + b + " Y WHERE X.K = Y.K GROUP BY X.K ORDER BY 1"),
                  (std::vector<std::string>{"1|8", "2|8"}));
        // A decimal against an integer column: only equal values meet.
        EXPECT_EQ(Rows("SELECT COUNT(*) FROM " + a + " X, " + b + " Y WHERE X.V = Y.K"), std::vector<std::string>{"8"});
        EXPECT_EQ(Rows("SELECT COUNT(*) FROM " + a + " X, " + b + " Y WHERE Y.V = X.V"), std::vector<std::string>{"0"});
        EXPECT_EQ(Rows("SELECT COUNT(*) FROM " + a + " X, " + b + " Y WHERE Y.V = X.V + 0.25 - 1.50 + 1"),
                  std::vector<std::string>{"8"});
        // The probed side's values come back as they are stored.
        EXPECT_EQ(Rows("SELECT DISTINCT Y.K, Y.V FROM " + a + " X, " + b + " Y WHERE X.K = Y.K ORDER BY 1"),
                  (std::vector<std::string>{"1|1.25", "2|2.25"}));
    }
}

TEST_F(ShortcutsTest, FieldsDecodedOnDemandMatchFullRecords) {
    for (const char* ext : {".dbf", ".db"}) {
        SCOPED_TRACE(ext);
        const std::string t = std::string("\"d") + ext + "\"";
        Sql("CREATE TABLE " + t + " (A INTEGER, B NUMERIC(10,2), C CHAR(8), D DATE)");
        for (int i = 0; i < 30; ++i)
            Sql("INSERT INTO " + t + " VALUES (" + std::to_string(i) + ", " + std::to_string(i * 3) + ".5, 'c" +
                std::to_string(i) + "', '01/0" + std::to_string(1 + i % 9) + "/2020')");
        Sql("DELETE FROM " + t + " WHERE A = 4");
        const bool dbf = std::string(ext) == ".dbf";
        EXPECT_EQ(Rows("SELECT C, B, D FROM " + t + " WHERE A BETWEEN 3 AND 5 ORDER BY A"),
                  dbf ? (std::vector<std::string>{"c3|9.50|2020-01-04", "c5|15.50|2020-01-06"})
                      : (std::vector<std::string>{"c3|9.5|2020-01-04", "c5|15.5|2020-01-06"}));
        EXPECT_EQ(Rows("SELECT SUM(B) FROM " + t + " WHERE A < 3 OR C = 'c29'"),
                  std::vector<std::string>{dbf ? "98.00" : "98"});
        EXPECT_EQ(Rows("SELECT A FROM " + t + " WHERE B > 80 AND D = '01/02/2020'"), std::vector<std::string>{"28"});
    }
}

TEST_F(ShortcutsTest, ManyAppendsInOneStatementReachTheFile) {
    Sql("CREATE TABLE \"src.dbf\" (ID INTEGER, NAME CHAR(60))");
    Sql("INSERT INTO \"src.dbf\" VALUES (1, 'one')");
    // Doubling the table by inserting it into itself: the statement reads while it appends.
    for (int k = 0; k < 15; ++k)
        Sql("INSERT INTO \"src.dbf\" SELECT ID + " + std::to_string(1 << k) + ", NAME FROM \"src.dbf\"");
    EXPECT_EQ(Rows("SELECT COUNT(*), MIN(ID), MAX(ID), COUNT(DISTINCT ID) FROM \"src.dbf\""),
              std::vector<std::string>{"32768|1|32768|32768"});
    // Another program sees every record (the header counts them, the end mark follows them).
    auto t = engine::OpenTableFile(dir.File("src.dbf"));
    EXPECT_EQ(t->RecordCount(), 32768u);
    engine::Record rec;
    ASSERT_TRUE(t->ReadRecord(32767, rec));
    EXPECT_EQ(rec[0].i, 32768);
    t->Close();
    const std::string bytes = Files()["src.dbf"];
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), '\x1A');

    // A statement that fails after many kept-back appends leaves the file as it was.
    Sql("CREATE TABLE \"dst.dbf\" (ID NUMERIC(4,0), NAME CHAR(60))");
    Sql("INSERT INTO \"dst.dbf\" VALUES (7, 'seven')");
    const auto before = Files();
    EXPECT_THROW(Sql("INSERT INTO \"dst.dbf\" SELECT ID, NAME FROM \"src.dbf\" ORDER BY ID"), EngineError);
    EXPECT_EQ(Files(), before);
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"dst.dbf\""), std::vector<std::string>{"1"});

    // The same for a Paradox table: 32,767 records fit a short integer, the last does not.
    Sql("CREATE TABLE \"dst.db\" (ID SMALLINT, NAME CHAR(60))");
    Sql("INSERT INTO \"dst.db\" VALUES (7, 'seven')");
    const auto beforeDb = Files();
    EXPECT_THROW(Sql("INSERT INTO \"dst.db\" SELECT ID, NAME FROM \"src.dbf\" ORDER BY ID"), EngineError);
    EXPECT_EQ(Files(), beforeDb);
    Sql("INSERT INTO \"dst.db\" SELECT ID, NAME FROM \"src.dbf\" WHERE ID < 32768");
    EXPECT_EQ(Rows("SELECT COUNT(*), SUM(ID) FROM \"dst.db\""), std::vector<std::string>{"32768|536854535"});
    auto px = engine::OpenTableFile(dir.File("dst.db"));
    EXPECT_EQ(px->RecordCount(), 32768u);
    ASSERT_TRUE(px->ReadRecord(32767, rec));
    EXPECT_EQ(rec[0].i, 32767);
    px->Close();
}

TEST_F(ShortcutsTest, KeptBackAppendsAreSeenByEveryLaterCall) {
    for (const char* ext : {".dbf", ".db"}) {
        SCOPED_TRACE(ext);
        const std::string path = dir.File(std::string("k") + ext);
        Sql("CREATE TABLE \"" + path + "\" (ID INTEGER, NAME CHAR(30))");
        auto t = engine::OpenTableFile(path, engine::OpenMode::ReadWrite);
        engine::Record rec(2), back;
        {
            engine::TableLock lock(*t, engine::LockMode::Exclusive);
            for (int i = 0; i < 5000; ++i) {
                rec[0].SetInt(i);
                rec[1].SetText("name " + std::to_string(i));
                EXPECT_EQ(t->AppendRecord(rec), static_cast<uint32_t>(i));
                if (i % 997 == 0) {
                    // Reading, changing and deleting amid the appends.
                    ASSERT_TRUE(t->ReadRecord(static_cast<uint32_t>(i), back));
                    EXPECT_EQ(back[0].i, i);
                    ASSERT_TRUE(t->ReadRecord(static_cast<uint32_t>(i / 2), back));
                    EXPECT_EQ(back[0].i, i / 2);
                    rec[1].SetText("changed");
                    t->UpdateRecord(static_cast<uint32_t>(i), rec);
                }
            }
        }
        t->Close();
        auto other = engine::OpenTableFile(path);
        ASSERT_EQ(other->RecordCount(), 5000u);
        for (uint32_t i = 0; i < 5000; ++i) {
            ASSERT_TRUE(other->ReadRecord(i, back));
            ASSERT_EQ(back[0].i, static_cast<int64_t>(i));
            EXPECT_EQ(back[1].s, i % 997 == 0 ? std::string("changed") : "name " + std::to_string(i));
        }
        other->Close();
    }
}

TEST_F(ShortcutsTest, BatchCopyOfManyRecordsIsComplete) {
    for (const char* ext : {".dbf", ".db"}) {
        SCOPED_TRACE(ext);
        Sql(std::string("CREATE TABLE \"m") + ext + "\" (ID INTEGER, NAME CHAR(40))");
        Sql(std::string("INSERT INTO \"m") + ext + "\" VALUES (0, 'first')");
        for (int k = 0; k < 14; ++k)
            Sql(std::string("INSERT INTO \"m") + ext + "\" SELECT ID + " + std::to_string(1 << k) + ", NAME FROM \"m" +
                ext + "\"");
        auto answer = db->OpenQuery(std::string("SELECT ID, NAME FROM \"m") + ext + "\" WHERE ID <> 5");
        EXPECT_EQ(db->BatchCopy(*answer, dir.File(std::string("copy") + ext)), 16383u);
        EXPECT_EQ(Rows(std::string("SELECT COUNT(*), SUM(ID) FROM \"copy") + ext + "\""),
                  std::vector<std::string>{"16383|134209531"});
        auto t = engine::OpenTableFile(dir.File(std::string("copy") + ext));
        EXPECT_EQ(t->RecordCount(), 16383u);
        t->Close();
    }
}

TEST_F(ShortcutsTest, AnswersReadAheadInBlocksInEveryDirection) {
    Sql("CREATE TABLE \"r.db\" (ID INTEGER)");
    Sql("INSERT INTO \"r.db\" VALUES (0)");
    for (int k = 0; k < 10; ++k) Sql("INSERT INTO \"r.db\" SELECT ID + " + std::to_string(1 << k) + " FROM \"r.db\"");
    auto answer = db->OpenQuery("SELECT ID FROM \"r.db\" ORDER BY ID DESC");
    ASSERT_EQ(answer->RecordCount(), 1024);
    int64_t expect = 1023;
    for (bool ok = answer->First(); ok; ok = answer->Next()) EXPECT_EQ(answer->Current()[0].i, expect--);
    EXPECT_EQ(expect, -1);
    expect = 0;
    for (bool ok = answer->Last(); ok; ok = answer->Prior()) EXPECT_EQ(answer->Current()[0].i, expect++);
    EXPECT_EQ(expect, 1024);
    for (int64_t r : {700, 3, 1023, 256, 255, 511, 0}) {
        ASSERT_TRUE(answer->MoveTo(r));
        EXPECT_EQ(answer->Current()[0].i, 1023 - r);
    }
}

}  // namespace
}  // namespace tessel::test
