// Data-set benchmark: a query's answer and a table object over a table of N records (default
// 1,000,000): time to open, First -> Last -> First and a MoveBy of N/2, and the memory an open
// answer takes against the raw size of its records. Prints figures; asserts nothing.
//
//   tessel_dataset_bench [records]

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "engine/Engine.h"
#include "engine/TableFiles.h"
#include "framework/data/DataSource.h"
#include "framework/data/Query.h"
#include "framework/data/Session.h"
#include "framework/data/Table.h"

using namespace tessel;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(const std::function<void()>& step) {
    const auto t0 = Clock::now();
    step();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// A grid's link: twenty rows on screen.
class ScreenLink : public TDataLink {};

void Walk(const char* what, TDataSet& ds, long n) {
    TDataSource source(&ds);
    ScreenLink link;
    link.SetDataSource(&source);
    link.SetBufferCount(20);
    std::printf("%s\n", what);
    double t = Seconds([&] { ds.First(); });
    std::printf("  First            %8.4f s  (record %lld)\n", t, static_cast<long long>(ds.RecNo()));
    t = Seconds([&] { ds.Last(); });
    std::printf("  Last             %8.4f s  (record %lld)\n", t, static_cast<long long>(ds.RecNo()));
    t = Seconds([&] { ds.First(); });
    std::printf("  First            %8.4f s  (record %lld)\n", t, static_cast<long long>(ds.RecNo()));
    t = Seconds([&] { ds.MoveBy(static_cast<int>(n / 2)); });
    std::printf("  MoveBy(%ld)  %8.4f s  (record %lld)\n", n / 2, t, static_cast<long long>(ds.RecNo()));
    t = Seconds([&] {
        for (int i = 0; i < 1000; ++i) ds.Next();
    });
    std::printf("  Next x 1000      %8.4f s  (record %lld)\n", t, static_cast<long long>(ds.RecNo()));
}

}  // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    char tmpl[] = "/tmp/tessel-dataset-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;
    try {
        const std::string path = dir + "/big.dbf";
        uint32_t recordSize = 0;
        const double make = Seconds([&] {
            auto table = engine::CreateTableFile(
                path, {engine::FieldDesc::Make("ID", engine::fldtype::kFloat, 0, 10, 0, 'N'),
                       engine::FieldDesc::Make("NAME", engine::fldtype::kString, 0, 20),
                       engine::FieldDesc::Make("AMOUNT", engine::fldtype::kFloat, 0, 12, 2, 'N'),
                       engine::FieldDesc::Make("HIRED", engine::fldtype::kDate)});
            engine::TableLock lock(*table, engine::LockMode::Exclusive);
            engine::Record rec(4);
            for (long i = 0; i < n; ++i) {
                rec[0] = engine::Value::Int(i + 1);
                rec[1] = engine::Value::Text("name " + std::to_string(i % 9973));
                rec[2] = engine::Value::Decimal(i % 100000, 2);
                rec[3] = engine::Value::Date(1990 + static_cast<int>(i % 30), 1 + static_cast<int>(i % 12),
                                             1 + static_cast<int>(i % 28));
                table->AppendRecord(rec);
            }
            recordSize = table->RecordSize();
            table->Close();
        });
        const double raw = static_cast<double>(recordSize) * static_cast<double>(n);
        std::printf("%ld records of %u bytes (%.1f MB raw) written in %.2f s\n\n", n, recordSize, raw / 1e6, make);

        engine::Engine eng(dir + "/aliases.conf", dir);
        SetSessionEngine(&eng);
        {
            TQuery query;
            query.SQL().Add("SELECT * FROM \"big.dbf\"");
            const long before = ResidentBytes();
            std::printf("Query open     %8.4f s\n", Seconds([&] { query.Open(); }));
            const long after = ResidentBytes();
            std::printf("  answer memory %.1f MB = %.2f x the raw records\n", (after - before) / 1e6,
                        static_cast<double>(after - before) / raw);
            Walk("Query \"SELECT * FROM big.dbf\"", query, n);
        }
        {
            TTable table;
            table.SetTableName(path);
            std::printf("\nTable open     %8.4f s\n", Seconds([&] { table.Open(); }));
            Walk("Table big.dbf", table, n);
        }
        SetSessionEngine(nullptr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        std::filesystem::remove_all(dir);
        return 1;
    }
    std::filesystem::remove_all(dir);
    return 0;
}
