// Secondary index benchmark: a 1,000,000-record keyed Paradox table; time to make an index on a
// non-key column, then one equality lookup through the index against the same lookup by a scan
// of every record. Prints both times and their ratio. Run by hand:
//   tessel_index_bench [directory]

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/paradox/ParadoxTable.h"

using namespace tessel::engine;
using Clock = std::chrono::steady_clock;

static double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

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
    paradox::CreateParadoxIndex(*t, "ByCode", {"Code"}, false, false);
    const auto t2 = Clock::now();

    Value key;
    key.SetInt(424242);
    std::vector<uint32_t> viaIndex;
    const auto t3 = Clock::now();
    if (!paradox::ParadoxIndexSeek(*t, 1, &key, &key, viaIndex)) {
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
    for (const char* ext : {".db", ".px", ".xg0", ".yg0"}) std::filesystem::remove(dir + "/index_bench" + ext);
    return viaIndex == viaScan ? 0 : 2;
}
