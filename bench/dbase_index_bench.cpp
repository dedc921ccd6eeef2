// Production index benchmark: a 1,000,000-record dBASE table; time to make tags over a number
// and a text column, then one equality lookup through the number's tag against the same lookup
// by a scan of every record. Then through SQL statements: equalities on both columns and a range
// of 100 numbers, with the tags and after they were dropped, and single-record INSERT, UPDATE
// and DELETE statements while the tags are kept. Prints the times and ratios. Run by hand:
//   tessel_dbase_index_bench [directory]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "SqlTiming.h"
#include "engine/Database.h"
#include "engine/Engine.h"
#include "engine/dbase/DbfTable.h"

using namespace tessel::engine;
using namespace tessel::bench;

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
    const std::string path = dir + "/mdx_bench.dbf";
    const uint32_t n = 1000000;
    const std::vector<FieldDesc> fields = {
        FieldDesc::Make("ID", fldtype::kFloat, 0, 10, 0, 'N'), FieldDesc::Make("CODE", fldtype::kFloat, 0, 10, 0, 'N'),
        FieldDesc::Make("NAME", fldtype::kString, 0, 10), FieldDesc::Make("BORN", fldtype::kDate)};
    auto t = dbase::CreateDbfTable(path, fields);
    const auto t0 = Clock::now();
    {
        TableLock lock(*t, LockMode::Exclusive);
        Record r(4);
        for (uint32_t k = 0; k < n; ++k) {
            r[0].SetInt(k + 1);
            r[1].SetInt(static_cast<int64_t>((uint64_t{k} * 2654435761u) % n));
            r[2].SetText("name" + std::to_string((uint64_t{k} * 40503u) % 100000));
            r[3].SetDate(DayNumber(1950, 1, 1) + k % 20000);
            t->AppendRecord(r);
        }
    }
    const auto t1 = Clock::now();
    t->CreateIndex("CODE", {"CODE"}, false, false);
    const auto t2 = Clock::now();
    t->CreateIndex("NAME", {"NAME"}, false, false);
    const auto t3 = Clock::now();

    Value key = Value::Int(424242);
    std::vector<uint32_t> viaIndex, viaScan;
    const auto s0 = Clock::now();
    if (!t->SeekIndex(1, &key, &key, viaIndex)) {
        std::fprintf(stderr, "the tag did not answer\n");
        return 1;
    }
    const auto s1 = Clock::now();
    {
        TableLock lock(*t, LockMode::Shared);
        const std::vector<bool> columns = {false, true, false, false};
        Record r;
        for (uint32_t k = 0; k < t->RecordCount(); ++k)
            if (t->ReadRecord(k, r, &columns) && !r[1].IsNull() && r[1].AsDouble() == 424242.0) viaScan.push_back(k);
    }
    const auto s2 = Clock::now();
    const double seek = Seconds(s0, s1), scan = Seconds(s1, s2);
    std::printf("records                 %u\n", n);
    std::printf("fill                    %.3f s\n", Seconds(t0, t1));
    std::printf("create tag (number)     %.3f s\n", Seconds(t1, t2));
    std::printf("create tag (text)       %.3f s\n", Seconds(t2, t3));
    std::printf("index file              %.1f MB\n",
                static_cast<double>(std::filesystem::file_size(dir + "/mdx_bench.mdx")) / 1e6);
    std::printf("lookup through tag      %.6f s (%zu records)\n", seek, viaIndex.size());
    std::printf("lookup by scan          %.6f s (%zu records)\n", scan, viaScan.size());
    std::printf("ratio scan / tag        %.0f\n", seek > 0 ? scan / seek : 0.0);
    t->Close();
    const bool same = viaIndex == viaScan;

    bool sqlSame = true;
    {
        Engine engine(dir + "/mdx_bench_aliases.conf", dir);
        Database& db = engine.OpenDatabase("");
        auto run = [&](const std::string& sql) { return TimeQuery(db, sql); };
        auto timed = [&](const std::string& sql) { return TimeStatement(db, sql); };
        const std::string eq = "SELECT ID, NAME FROM \"mdx_bench.dbf\" WHERE CODE = 424242";
        const std::string text = "SELECT ID, CODE FROM \"mdx_bench.dbf\" WHERE NAME = 'name4242'";
        const std::string range = "SELECT ID, NAME FROM \"mdx_bench.dbf\" WHERE CODE BETWEEN 424242 AND 424341";
        run("SELECT COUNT(*) FROM \"mdx_bench.dbf\"");  // opens the table
        // The first lookup through a tag of a table just opened checks once that the tag's keys
        // are in the order the search assumes (another program may sort by a collation).
        const QueryRun eqFirst = run(eq), textFirst = run(text);
        const QueryRun eqIndex = run(eq), textIndex = run(text), rangeIndex = run(range);
        // Single-record statements, each its own write, spread over the table.
        const int reps = 9;
        std::vector<double> inserts, updates, deletes;
        for (int k = 0; k < reps; ++k) {
            const uint32_t id = 1 + (static_cast<uint32_t>(k) * 104729u) % n;
            inserts.push_back(timed("INSERT INTO \"mdx_bench.dbf\" (ID, CODE, NAME) VALUES (" +
                                    std::to_string(n + 1 + k) + ", " + std::to_string(k * 7) + ", 'added')"));
            updates.push_back(timed("UPDATE \"mdx_bench.dbf\" SET CODE = CODE + 2000000, NAME = 'moved' WHERE ID = " +
                                    std::to_string(id)));
            deletes.push_back(timed("DELETE FROM \"mdx_bench.dbf\" WHERE ID = " + std::to_string(id + 1)));
        }
        std::printf("INSERT one record       %.6f s (median of %d, first %.6f s)\n", Median(inserts), reps, inserts[0]);
        std::printf("UPDATE both tags' keys  %.6f s (median of %d)\n", Median(updates), reps);
        std::printf("DELETE one record       %.6f s (median of %d)\n", Median(deletes), reps);
        db.Execute("DROP INDEX \"mdx_bench.dbf\".CODE");
        db.Execute("DROP INDEX \"mdx_bench.dbf\".NAME");
        run("SELECT COUNT(*) FROM \"mdx_bench.dbf\"");
        const QueryRun eqScan = run(eq), textScan = run(text), rangeScan = run(range);
        ShowQuery("SQL number = first", eqFirst);
        ShowQuery("SQL text = first", textFirst);
        ShowQuery("SQL number = by tag", eqIndex);
        ShowQuery("SQL number = by scan", eqScan);
        ShowRatio("ratio scan / tag", eqScan, eqIndex);
        ShowQuery("SQL text = by tag", textIndex);
        ShowQuery("SQL text = by scan", textScan);
        ShowRatio("ratio scan / tag", textScan, textIndex);
        ShowQuery("SQL range by tag", rangeIndex);
        ShowQuery("SQL range by scan", rangeScan);
        ShowRatio("ratio scan / tag", rangeScan, rangeIndex);
        sqlSame = eqIndex.rows == eqScan.rows && textIndex.rows == textScan.rows && rangeIndex.rows == rangeScan.rows;
    }
    for (const char* ext : {".dbf", ".mdx"}) std::filesystem::remove(dir + "/mdx_bench" + ext);
    std::filesystem::remove(dir + "/mdx_bench_aliases.conf");
    return same && sqlSame ? 0 : 2;
}
