// Secondary index benchmark: a 1,000,000-record keyed Paradox table; time to make an index on a
// non-key column, then one equality lookup through the index against the same lookup by a scan
// of every record. Then the same through SQL statements, an equality and a range of 100 values,
// with the index and after it was dropped, with the records the statements read, and an update
// of one record with and without a change to the indexed field, and single-record INSERT,
// UPDATE (of the indexed field) and DELETE statements. Prints the times and ratios. Run by hand:
//   tessel_index_bench [directory]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "SqlTiming.h"
#include "engine/Database.h"
#include "engine/Engine.h"
#include "engine/paradox/Paradox.h"

using namespace tessel::engine;
using namespace tessel::bench;

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
    const std::string path = dir + "/index_bench.db";
    const uint32_t n = 1000000;
    std::vector<FieldDesc> fields = {FieldDesc::Make("Id", fldtype::kInt32), FieldDesc::Make("Code", fldtype::kInt32),
                                     FieldDesc::Make("Name", fldtype::kString, 0, 10)};
    CreateOptions options;
    options.level = 7;
    auto t = paradox::CreateParadoxTable(path, fields, options, 1);
    const auto t0 = Clock::now();
    {
        TableLock lock(*t, LockMode::Exclusive);
        Record r(3);
        for (uint32_t k = 0; k < n; ++k) {
            r[0].SetInt(k + 1);
            r[1].SetInt(static_cast<int64_t>((uint64_t{k} * 2654435761u) % n));
            r[2].SetText("name" + std::to_string(k % 1000));
            t->AppendRecord(r);
        }
    }
    const auto t1 = Clock::now();
    t->CreateIndex("ByCode", {"Code"}, false, false);
    const auto t2 = Clock::now();

    Value key;
    key.SetInt(424242);
    std::vector<uint32_t> viaIndex;
    const auto t3 = Clock::now();
    if (!t->SeekIndex(1, &key, &key, viaIndex)) {
        std::fprintf(stderr, "the index did not answer\n");
        return 1;
    }
    const auto t4 = Clock::now();
    std::vector<uint32_t> viaScan;
    {
        TableLock lock(*t, LockMode::Shared);
        std::vector<bool> columns = {false, true, false};
        Record r;
        for (uint32_t k = 0; k < t->RecordCount(); ++k)
            if (t->ReadRecord(k, r, &columns) && !r[1].IsNull() && r[1].i == key.i) viaScan.push_back(k);
    }
    const auto t5 = Clock::now();
    const double seek = Seconds(t3, t4), scan = Seconds(t4, t5);
    std::printf("records                 %u\n", n);
    std::printf("fill                    %.3f s\n", Seconds(t0, t1));
    std::printf("create index            %.3f s\n", Seconds(t1, t2));
    std::printf("lookup through index    %.6f s (%zu records)\n", seek, viaIndex.size());
    std::printf("lookup by scan          %.6f s (%zu records)\n", scan, viaScan.size());
    std::printf("ratio scan / index      %.0f\n", seek > 0 ? scan / seek : 0.0);
    t->Close();
    const bool same = viaIndex == viaScan;

    // Through SQL: each statement timed as it runs, the rows fetched.
    bool sqlSame = true;
    {
        Engine engine(dir + "/index_bench_aliases.conf", dir);
        Database& db = engine.OpenDatabase("");
        auto run = [&](const std::string& sql) { return TimeQuery(db, sql); };
        const std::string eq = "SELECT Id, Name FROM \"index_bench.db\" WHERE Code = 424242";
        const std::string range = "SELECT Id, Name FROM \"index_bench.db\" WHERE Code BETWEEN 424242 AND 424341";
        run("SELECT COUNT(*) FROM \"index_bench.db\"");  // opens the table
        const QueryRun eqIndex = run(eq), rangeIndex = run(range);
        // Writes of one record: a field no index holds (the index files stay) and the indexed one.
        auto timed = [&](const std::string& sql) { return TimeStatement(db, sql); };
        const double plainUpdate = timed("UPDATE \"index_bench.db\" SET Name = 'changed' WHERE Id = 5");
        const double indexedUpdate = timed("UPDATE \"index_bench.db\" SET Code = Code + 1000000 WHERE Id = 5");
        std::printf("update, no index field  %.6f s\n", plainUpdate);
        std::printf("update, indexed field   %.6f s\n", indexedUpdate);
        // Single-record statements, each its own write, spread over the table: the median of
        // several, so one slow first write (the index read into memory) does not decide.
        const int reps = 9;
        std::vector<double> inserts, updates, deletes;
        for (int k = 0; k < reps; ++k) {
            const uint32_t id = 1 + (static_cast<uint32_t>(k) * 104729u) % n;
            inserts.push_back(timed("INSERT INTO \"index_bench.db\" (Id, Code, Name) VALUES (" +
                                    std::to_string(n + 1 + static_cast<uint32_t>(k)) + ", " + std::to_string(k * 7) +
                                    ", 'added')"));
            updates.push_back(
                timed("UPDATE \"index_bench.db\" SET Code = Code + 2000000 WHERE Id = " + std::to_string(id)));
            deletes.push_back(timed("DELETE FROM \"index_bench.db\" WHERE Id = " + std::to_string(id + 1)));
        }
        std::printf("INSERT one record       %.6f s (median of %d, first %.6f s)\n", Median(inserts), reps, inserts[0]);
        std::printf("UPDATE indexed field    %.6f s (median of %d)\n", Median(updates), reps);
        std::printf("DELETE one record       %.6f s (median of %d)\n", Median(deletes), reps);
        db.Execute("DROP INDEX \"index_bench.db\".ByCode");
        run("SELECT COUNT(*) FROM \"index_bench.db\"");
        const QueryRun eqScan = run(eq), rangeScan = run(range);
        ShowQuery("SQL = through index", eqIndex);
        ShowQuery("SQL = by scan", eqScan);
        ShowRatio("ratio scan / index", eqScan, eqIndex);
        ShowQuery("SQL range through index", rangeIndex);
        ShowQuery("SQL range by scan", rangeScan);
        ShowRatio("ratio scan / index", rangeScan, rangeIndex);
        sqlSame = eqIndex.rows == eqScan.rows && rangeIndex.rows == rangeScan.rows;
    }
    for (const char* ext : {".db", ".px", ".xg0", ".yg0"}) std::filesystem::remove(dir + "/index_bench" + ext);
    std::filesystem::remove(dir + "/index_bench_aliases.conf");
    return same && sqlSame ? 0 : 2;
}
