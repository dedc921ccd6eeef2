// Tests of tessel-sql with a PostgreSQL server behind an alias, against a throwaway server of
// the tests' own.

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "CliInterrupt.h"
#include "base/EngineError.h"
#include "cli/Cli.h"
#include "engine/Engine.h"
#include "engine/Server.h"
#include "engine/ServerTables.h"
#include "engine/TableFiles.h"
#include "engine/dbase/DbfTable.h"
#include "engine/paradox/Paradox.h"
#include "support/PgCluster.h"
#include "support/TempDir.h"

using namespace tessel;
using namespace tessel::engine;

namespace {

struct Result {
    int status;
    std::string out, err;
};

Result Cli(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = cli::RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

// One server for the whole program; each test gets a database of its own.
test::PgCluster& Server() {
    static test::PgCluster cluster;
    return cluster;
}

class CliServerTest : public testing::Test {
protected:
    void SetUp() override {
        if (!Server().Running()) GTEST_SKIP() << Server().Why();
        database = "t" + std::to_string(++count);
        int status = 0;
        const std::string made = Server().Psql("CREATE DATABASE " + database + ";", "postgres", &status);
        ASSERT_EQ(status, 0) << made;
        AddAlias("Sales", database);
    }
    void AddAlias(const std::string& name, const std::string& db, int port = 5432) {
        const Result r = Cli({"--add-alias", name, "--type", "POSTGRESQL", "--param",
                              "SERVER NAME=" + Server().SocketDir(), "--param", "PORT=" + std::to_string(port),
                              "--param", "DATABASE NAME=" + db, "--param", "USER NAME=" + Server().User()});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    std::string Psql(const std::string& sql) { return Server().Psql(sql, database); }

    test::ScopedUserDirs dirs;
    test::TempDir files;
    std::string database;
    static inline int count = 0;
};

TEST_F(CliServerTest, AServerAliasIsStoredWithoutAPasswordAndListed) {
    const Result list = Cli({"--aliases"});
    EXPECT_NE(list.out.find("Sales\t" + Server().SocketDir() + ":5432, database " + database + "\tPOSTGRESQL"),
              std::string::npos)
        << list.out;
    std::ifstream in(dirs.ConfigDir() + "/aliases.conf");
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(file.find("TYPE=POSTGRESQL"), std::string::npos) << file;
    EXPECT_NE(file.find("DATABASE NAME=" + database), std::string::npos) << file;

    const Result refused = Cli({"--add-alias", "Other", "--type", "POSTGRESQL", "--param", "PASSWORD=secret"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("PASSWORD cannot be stored"), std::string::npos) << refused.err;
    const Result unknown = Cli({"--add-alias", "Other", "--type", "ORACLE"});
    EXPECT_NE(unknown.err.find("unknown server type"), std::string::npos) << unknown.err;

    // A damaged server alias in the file: its bad lines are reported, the other aliases load.
    std::ofstream(dirs.ConfigDir() + "/aliases.conf", std::ios::app)
        << "[Broken\nTYPE=POSTGRESQL\nthis line has no equals sign\n[Fine]\nTYPE=POSTGRESQL\nDATABASE NAME=x\n";
    const Result damaged = Cli({"--aliases"});
    EXPECT_EQ(damaged.status, 0);
    EXPECT_NE(damaged.out.find("Sales\t"), std::string::npos) << damaged.out;
    EXPECT_NE(damaged.out.find("Fine\tlocal server, database x\tPOSTGRESQL"), std::string::npos) << damaged.out;
    EXPECT_NE(damaged.err.find("line"), std::string::npos) << damaged.err;
}

// Statements go to the server as written; answers come back with the server's types mapped to
// the engine's, exact numbers exact and NULLs null.
TEST_F(CliServerTest, StatementsRunOnTheServerAsWritten) {
    const Result made = Cli({"--alias", "Sales", "--table", "-c",
                             "CREATE TABLE t (id integer PRIMARY KEY, name varchar(20), price numeric(10,2), "
                             "born date, at timestamp, ok boolean, pic bytea, big bigint, note text);"
                             "INSERT INTO t VALUES (1, 'Ann', 12.50, '1999-12-31', '2024-02-29 13:45:10.25', true, "
                             "'\\x00ff', 9007199254740993, 'a long\nnote'), (2, NULL, NULL, NULL, NULL, NULL, NULL, "
                             "NULL, NULL)"});
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.out, "0 records changed\n2 records changed\n");
    const Result answer = Cli({"--alias", "Sales", "-c", "SELECT * FROM t ORDER BY id"});
    ASSERT_EQ(answer.status, 0) << answer.err;
    EXPECT_EQ(answer.out,
              "id,name,price,born,at,ok,pic,big,note\r\n"
              "1,Ann,12.50,1999-12-31,2024-02-29 13:45:10.250,TRUE,0x00ff,9007199254740993,\"a long\nnote\"\r\n"
              "2,,,,,,,,\r\n")
        << answer.out;

    // The server's message, its SQLSTATE and the place it points at.
    const Result bad = Cli({"--alias", "Sales", "-c", "SELECT nosuch FROM t"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("column \"nosuch\" does not exist"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("SQLSTATE: 42703"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("Position: 8"), std::string::npos) << bad.err;
}

// An answer longer than a page comes in page after page.
TEST_F(CliServerTest, ALongAnswerComesInPages) {
    ASSERT_EQ(
        Cli({"--alias", "Sales", "-c", "CREATE TABLE n AS SELECT g AS v FROM generate_series(1, 12345) g"}).status, 0);
    const Result r = Cli({"--alias", "Sales", "-c", "SELECT v FROM n ORDER BY v"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    int rows = -1;
    int64_t sum = 0;
    while (std::getline(lines, line)) {
        if (rows++ >= 0) sum += std::stoll(line);
    }
    EXPECT_EQ(rows, 12345);
    EXPECT_EQ(sum, int64_t{12345} * 12346 / 2);
}

// Ctrl+C asks the server to end the statement: exit status 130 at once, nothing of it done.
TEST_F(CliServerTest, CtrlCCancelsTheServersStatement) {
    Psql("CREATE TABLE s (v integer)");
    const test::Stopped stopped = test::InterruptAfter(
        {"--alias", "Sales", "-c", "INSERT INTO s SELECT g FROM generate_series(1, 10) g, pg_sleep(30)"},
        std::chrono::milliseconds(500));
    EXPECT_EQ(stopped.status, 130);
    EXPECT_LT(stopped.afterSignal, 0.5);
    EXPECT_EQ(Psql("SELECT count(*) FROM s"), "0\n");
}

// A server that is not there, a database that does not exist: the alias and the server named.
TEST_F(CliServerTest, AServerThatCannotBeReachedIsNamedWithItsAlias) {
    AddAlias("Gone", database, 5999);
    const Result down = Cli({"--alias", "Gone", "-c", "SELECT 1"});
    EXPECT_EQ(down.status, 1);
    EXPECT_NE(down.err.find("Cannot connect to the server of alias Gone (" + Server().SocketDir() + ":5999, database " +
                            database + ")"),
              std::string::npos)
        << down.err;
    AddAlias("Nodb", "nosuchdb");
    const Result nodb = Cli({"--alias", "Nodb", "-c", "SELECT 1"});
    EXPECT_EQ(nodb.status, 1);
    EXPECT_NE(nodb.err.find("alias Nodb"), std::string::npos) << nodb.err;
    EXPECT_NE(nodb.err.find("\"nosuchdb\" does not exist"), std::string::npos) << nodb.err;
}

// A keyed Paradox table and a dBASE table to the server and back: the key becomes the primary
// key, secondary indexes indexes, exact numbers stay exact, text arrives in UTF-8, NULLs stay.
TEST_F(CliServerTest, TablesMoveToTheServerAndBackUnchanged) {
    const std::string db = files.File("cust.db"), dbf = files.File("parts.dbf");
    {
        auto t = paradox::CreateParadoxTable(
            db,
            {FieldDesc::Make("ID", fldtype::kInt32), FieldDesc::Make("NAME", fldtype::kString, 0, 20),
             FieldDesc::Make("JOINED", fldtype::kDate)},
            {}, 1);
        t->AppendRecord({Value::Int(2), Value::Text("Bj\xc3\xb6rk"), Value::Date(2001, 2, 3)});
        t->AppendRecord({Value::Int(1), Value::Text("Ann"), Value()});
        t->CreateIndex("BYNAME", {"NAME"}, false, false);
        t->Close();
        auto p = dbase::CreateDbfTable(dbf, {FieldDesc::Make("CODE", fldtype::kString, 0, 8),
                                             FieldDesc::Make("PRICE", fldtype::kFloat, 0, 12, 2, 'N'),
                                             FieldDesc::Make("QTY", fldtype::kFloat, 0, 5, 0, 'N')});
        for (int i = 0; i < 1000; ++i)
            p->AppendRecord({Value::Text("P" + std::to_string(i)), Value::Decimal(i * 101 + 1, 2), Value::Int(i % 7)});
        p->AppendRecord({Value::Text("NONE"), Value(), Value()});
        p->Close();
    }
    const Result up = Cli({"--copy", db, ":Sales:cust"});
    ASSERT_EQ(up.status, 0) << up.err;
    EXPECT_EQ(up.out, "2 records copied to :Sales:cust\n");
    ASSERT_EQ(Cli({"--copy", dbf, ":Sales:parts"}).status, 0);

    // The server's own client reads them.
    EXPECT_EQ(Psql("SELECT id, name, joined FROM cust ORDER BY id"), "1|Ann|\n2|Bj\xc3\xb6rk|2001-02-03\n");
    EXPECT_EQ(Psql("SELECT string_agg(a.attname, ',') FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid "
                   "AND a.attnum = ANY(i.indkey) WHERE i.indrelid = 'cust'::regclass AND i.indisprimary"),
              "id\n");
    EXPECT_EQ(Psql("SELECT count(*) FROM pg_indexes WHERE tablename = 'cust'"), "2\n");
    EXPECT_EQ(Psql("SELECT format_type(atttypid, atttypmod) FROM pg_attribute WHERE attrelid = 'parts'::regclass "
                   "AND attname = 'price'"),
              "numeric(12,2)\n");
    EXPECT_EQ(Psql("SELECT count(*), count(price), sum(price), sum(qty) FROM parts"), "1001|1000|504505.00|2997\n");

    // And back into files, exactly.
    const std::string back = files.File("back.dbf");
    const Result down = Cli({"--copy", ":Sales:parts", back});
    ASSERT_EQ(down.status, 0) << down.err;
    EXPECT_EQ(down.out, "1001 records copied to " + back + "\n");
    EXPECT_EQ(Cli({"--dump", back}).out, Cli({"--dump", dbf}).out);
    const Result local = Cli({"--dir", files.Path(), "-c", "SELECT SUM(PRICE), COUNT(QTY) FROM \"back.dbf\""});
    EXPECT_EQ(local.out, "SUM OF PRICE,COUNT OF QTY\r\n504505.00,1000\r\n") << local.err;
}

// A copy that cannot be made leaves nothing behind: no table replaced on the server, no file
// made from a table that is not there.
TEST_F(CliServerTest, AFailedCopyLeavesNothingHalfWritten) {
    const std::string dbf = files.File("a.dbf");
    {
        auto t = dbase::CreateDbfTable(dbf, {FieldDesc::Make("N", fldtype::kString, 0, 4)});
        t->AppendRecord({Value::Text("new")});
        t->Close();
    }
    Psql("CREATE TABLE a (n varchar(4)); INSERT INTO a VALUES ('old');");
    const Result exists = Cli({"--copy", dbf, ":Sales:a"});
    EXPECT_EQ(exists.status, 1);
    EXPECT_NE(exists.err.find("already exists"), std::string::npos) << exists.err;
    EXPECT_EQ(Psql("SELECT n FROM a"), "old\n");

    const std::string out = files.File("none.db");
    const Result missing = Cli({"--copy", ":Sales:nosuch", out});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("\"nosuch\" does not exist"), std::string::npos) << missing.err;
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(files.Entries().size(), 1u);  // a.dbf only
}

// The connection breaks in the middle of an answer being copied into a file: the message says
// so and names the alias; no file is left.
TEST_F(CliServerTest, AConnectionLostDuringACopyLeavesNoFile) {
    Psql(
        "CREATE FUNCTION slow(i integer) RETURNS integer AS 'SELECT pg_sleep(0.0002); SELECT i' LANGUAGE sql;"
        "CREATE VIEW slowly AS SELECT slow(g) AS v FROM generate_series(1, 100000) g;");
    const std::string out = files.File("lost.dbf");
    Result copy;
    std::thread run([&] { copy = Cli({"--copy", ":Sales:slowly", out}); });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    Psql("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'Tessel'");
    run.join();
    std::cout << "what a lost connection says: " << copy.err;
    EXPECT_EQ(copy.status, 1);
    EXPECT_NE(copy.err.find("Alias Sales"), std::string::npos) << copy.err;
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_TRUE(files.Entries().empty());
}

// A server table named inside local SQL: joined with a file, a lookup by key sent to the server
// (which reads that row, not the table), and rows of a file inserted into it in one go.
TEST_F(CliServerTest, ServerTablesJoinFilesInLocalSql) {
    Psql(
        "CREATE TABLE customers (id integer PRIMARY KEY, name varchar(20));"
        "INSERT INTO customers SELECT g, 'customer ' || g FROM generate_series(1, 5000) g;");
    const std::string orders = files.File("orders.dbf");
    {
        auto t = dbase::CreateDbfTable(orders, {FieldDesc::Make("NO", fldtype::kFloat, 0, 5, 0, 'N'),
                                                FieldDesc::Make("CUST_ID", fldtype::kFloat, 0, 5, 0, 'N')});
        t->AppendRecord({Value::Int(1), Value::Int(4711)});
        t->AppendRecord({Value::Int(2), Value::Int(12)});
        t->AppendRecord({Value::Int(3), Value::Int(99999)});  // no such customer
        t->Close();
    }
    const uint64_t before = ServerModuleRowReads();
    const Result join = Cli({"--dir", files.Path(), "-c",
                             "SELECT o.NO, c.NAME FROM \"orders.dbf\" o JOIN :Sales:customers c ON c.ID = o.CUST_ID "
                             "ORDER BY o.NO"});
    ASSERT_EQ(join.status, 0) << join.err;
    EXPECT_EQ(join.out, "NO,name\r\n1,customer 4711\r\n2,customer 12\r\n") << join.out;
    EXPECT_EQ(ServerModuleRowReads() - before, 2u) << "the lookups read more than the rows they found";

    // Ranges and IN lists go to the server too; the answer follows the dialect's rules.
    const Result range = Cli({"--dir", files.Path(), "-c",
                              "SELECT COUNT(*) FROM :Sales:customers WHERE ID BETWEEN 10 AND 19 OR ID IN (100, 200)"});
    EXPECT_EQ(range.out, "COUNT\r\n12\r\n") << range.err;

    // Rows of a file into the server table, in one statement; a failure leaves none of them.
    const std::string more = files.File("more.dbf");
    {
        auto t = dbase::CreateDbfTable(more, {FieldDesc::Make("ID", fldtype::kFloat, 0, 5, 0, 'N'),
                                              FieldDesc::Make("NAME", fldtype::kString, 0, 20)});
        t->AppendRecord({Value::Int(6001), Value::Text("new one")});
        t->AppendRecord({Value::Int(6002), Value::Text("new two")});
        t->Close();
    }
    const Result insert =
        Cli({"--dir", files.Path(), "--table", "-c", "INSERT INTO :Sales:customers SELECT ID, NAME FROM \"more.dbf\""});
    ASSERT_EQ(insert.status, 0) << insert.err;
    EXPECT_EQ(insert.out, "2 records changed\n");
    EXPECT_EQ(Psql("SELECT name FROM customers WHERE id > 6000 ORDER BY id"), "new one\nnew two\n");
    const Result clash =
        Cli({"--dir", files.Path(), "-c", "INSERT INTO :Sales:customers SELECT ID - 1001, NAME FROM \"more.dbf\""});
    EXPECT_EQ(clash.status, 1);
    EXPECT_NE(clash.err.find("duplicate key"), std::string::npos) << clash.err;
    EXPECT_EQ(Psql("SELECT count(*) FROM customers"), "5002\n");

    const Result update = Cli({"--dir", files.Path(), "-c", "UPDATE :Sales:customers SET NAME = 'x' WHERE ID = 1"});
    EXPECT_EQ(update.status, 1);
    EXPECT_NE(update.err.find("cannot be changed or deleted from local SQL"), std::string::npos) << update.err;
    EXPECT_EQ(Psql("SELECT name FROM customers WHERE id = 1"), "customer 1\n");
}

// A server that wants a password: without one the message says so; the prompt is asked once
// and its answer kept for the session; libpq's PGPASSWORD works as for any of its programs.
TEST_F(CliServerTest, APasswordComesFromThePromptOnceOrFromLibpq) {
    ASSERT_TRUE(Server().AddPasswordUser("clerk", "s3cret"));
    const Result add =
        Cli({"--add-alias", "Locked", "--type", "POSTGRESQL", "--param", "SERVER NAME=" + Server().SocketDir(),
             "--param", "DATABASE NAME=" + database, "--param", "USER NAME=clerk"});
    ASSERT_EQ(add.status, 0) << add.err;
    const Result without = Cli({"--alias", "Locked", "-c", "SELECT 1"});
    EXPECT_EQ(without.status, 1);
    EXPECT_NE(without.err.find("Cannot connect to the server of alias Locked"), std::string::npos) << without.err;
    EXPECT_NE(without.err.find("password"), std::string::npos) << without.err;

    ::setenv("PGPASSWORD", "s3cret", 1);
    const Result withEnv = Cli({"--alias", "Locked", "-c", "SELECT current_user"});
    ::unsetenv("PGPASSWORD");
    EXPECT_EQ(withEnv.out, "current_user\r\nclerk\r\n") << withEnv.err;

    std::vector<std::string> asked;
    SetPasswordPrompt([&](const std::string& alias, const std::string& server) -> std::optional<std::string> {
        asked.push_back(alias + " " + server);
        return asked.size() == 1 ? std::optional<std::string>("wrong") : std::optional<std::string>("s3cret");
    });
    {
        Engine engine;
        EXPECT_THROW(engine.Server("Locked"), EngineError);         // the first answer was wrong
        EXPECT_EQ(engine.Server("Locked").Execute("SELECT 1"), 1);  // one row
        engine.CloseServer("Locked");
        engine.Server("Locked");  // the session remembers the right one
    }
    SetPasswordPrompt(nullptr);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], "Locked " + Server().SocketDir() + ", database " + database);
    std::ifstream in(dirs.ConfigDir() + "/aliases.conf");
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(file.find("s3cret"), std::string::npos);
}

}  // namespace
