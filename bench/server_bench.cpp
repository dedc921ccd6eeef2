// A dBASE table of 1,000,000 records copied into a PostgreSQL server: Tessel's copy (COPY in
// one transaction, as tessel-sql --copy makes it) against pgdbf's output piped into psql, on
// the same file and the same throwaway server, with the columns' counts and sums compared;
// and how long a server answer of 1,000,000 rows takes to show its first page.

#include <chrono>
#include <cstdio>
#include <string>

#include "engine/Engine.h"
#include "engine/Server.h"
#include "engine/ServerTables.h"
#include "engine/TableFiles.h"
#include "engine/dbase/DbfTable.h"
#include "support/PgCluster.h"
#include "support/RunCommand.h"

using namespace tessel;
using namespace tessel::engine;
using Clock = std::chrono::steady_clock;

namespace {

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
    test::PgCluster server;
    if (!server.Running()) {
        std::printf("server_bench: no server (%s)\n", server.Why().c_str());
        return 0;
    }
    const int kRecords = 1000000;
    const std::string dir = server.SocketDir();
    const std::string file = dir + "/parts.dbf";
    {
        auto t = dbase::CreateDbfTable(
            file,
            {FieldDesc::Make("ID", fldtype::kFloat, 0, 9, 0, 'N'), FieldDesc::Make("NAME", fldtype::kString, 0, 20),
             FieldDesc::Make("PRICE", fldtype::kFloat, 0, 12, 2, 'N'), FieldDesc::Make("BORN", fldtype::kDate),
             FieldDesc::Make("OK", fldtype::kBool)});
        TableLock hold(*t, LockMode::Exclusive);
        for (int i = 0; i < kRecords; ++i)
            t->AppendRecord({Value::Int(i), Value::Text("part " + std::to_string(i)), Value::Decimal(i * 7 + 3, 2),
                             Value::Date(1990 + i % 30, 1 + i % 12, 1 + i % 28), Value::Bool(i % 3 == 0)});
        hold.Release();
        t->Close();
    }
    server.Psql("CREATE DATABASE ours; CREATE DATABASE theirs;");
    ServerParams params;
    params.alias = "Bench";
    params.keywords = {{"host", dir}, {"port", "5432"}, {"dbname", "ours"}, {"user", server.User()}};

    // Tessel's copy.
    auto start = Clock::now();
    uint64_t copied = 0;
    {
        auto table = OpenTableFile(file);
        ServerConnection conn(params);
        uint32_t slot = 0;
        copied = conn.CreateAndLoad("parts", table->Fields(), 0, {}, [&](Record& rec) {
            while (slot < table->RecordCount())
                if (table->ReadRecord(slot++, rec)) return true;
            return false;
        });
    }
    const double ours = Since(start);

    // pgdbf's SQL piped into the server's own client.
    start = Clock::now();
    int status = 0;
    test::RunCommand("pgdbf " + file + " 2>&1 | psql -X -q -h " + dir + " -p 5432 -U " + server.User() +
                         " -d theirs >/dev/null 2>&1; echo $?",
                     &status);
    const double theirs = Since(start);
    const bool havePgdbf = test::RunCommand("command -v pgdbf").size() > 0;

    const std::string sums =
        "SELECT count(*), sum(id), count(name), sum(length(name)), sum(price), count(born), "
        "sum(born - date '1990-01-01'), sum(ok::int) FROM parts";
    const std::string a = server.Psql(sums, "ours"), b = havePgdbf ? server.Psql(sums, "theirs") : "";

    std::printf("copy of %d dBASE records into the server\n", kRecords);
    std::printf("  Tessel (COPY, one transaction): %.2f s, %llu records\n", ours,
                static_cast<unsigned long long>(copied));
    if (havePgdbf) {
        std::printf("  pgdbf | psql:                   %.2f s\n", theirs);
        std::printf("  ratio pgdbf / Tessel:           %.2f (at least 1 means Tessel is as fast or faster)\n",
                    theirs / ours);
        std::printf("  counts and sums per column:     %s\n    Tessel: %s    pgdbf:  %s",
                    a == b ? "identical" : "DIFFERENT", a.c_str(), b.c_str());
    } else {
        std::printf("  pgdbf is not installed: no comparison\n");
    }

    // The first page of a long server answer.
    {
        Engine engine;
        ServerConnection conn(params, &engine);
        start = Clock::now();
        auto answer = conn.Query(engine, "SELECT * FROM parts");
        Record first;
        answer->ReadRecord(0, first);
        const double firstPage = Since(start);
        std::printf("server answer of %d rows: first page (%lld rows) in %.1f ms\n", kRecords,
                    static_cast<long long>(answer->KnownCount()), firstPage * 1000);
    }

    // A key lookup through :Bench:parts inside local SQL reads the row it finds, not the table.
    {
        const std::string aliases = dir + "/aliases.conf";
        std::FILE* f = std::fopen(aliases.c_str(), "w");
        std::fprintf(f, "[Bench]\nTYPE=POSTGRESQL\nSERVER NAME=%s\nPORT=5432\nDATABASE NAME=ours\nUSER NAME=%s\n",
                     dir.c_str(), server.User().c_str());
        std::fclose(f);
        server.Psql("CREATE UNIQUE INDEX parts_id ON parts (id);", "ours");
        Engine engine(aliases, dir);
        Database& db = engine.OpenDatabase("");
        db.Execute("CREATE TABLE \"wanted.dbf\" (ID INTEGER)");
        db.Execute("INSERT INTO \"wanted.dbf\" VALUES (777777)");
        const uint64_t before = ServerModuleRowReads();
        start = Clock::now();
        auto answer = db.OpenQuery("SELECT p.NAME FROM \"wanted.dbf\" w JOIN :Bench:parts p ON p.ID = w.ID");
        const int64_t rows = answer->RecordCount();
        const double lookup = Since(start);
        std::printf(
            "key lookup through :Bench:parts in local SQL: %lld row in %.1f ms, %llu server rows read "
            "(of %d)\n",
            static_cast<long long>(rows), lookup * 1000,
            static_cast<unsigned long long>(ServerModuleRowReads() - before), kRecords);
    }
    return 0;
}
