// Paradox driver speed: a 1,000,000-record table of ten fields. Prints records per second for
// a warm full decode scan, appending into a new table, appending into a keyed table in random
// key order, and (when pxlib is installed) pxlib's full read of the same file as a ratio.
//
//   build/bin/tessel_paradox_bench [records] [directory]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>

#include "engine/paradox/Paradox.h"

#ifdef TESSEL_HAVE_PXLIB
extern "C" {
#include <paradox.h>
}
#endif

using namespace tessel::engine;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::vector<FieldDesc> TenFields() {
    return {FieldDesc::Make("Id", fldtype::kInt32),
            FieldDesc::Make("Name", fldtype::kString, 0, 20),
            FieldDesc::Make("Born", fldtype::kDate),
            FieldDesc::Make("Qty", fldtype::kInt16),
            FieldDesc::Make("Price", fldtype::kFloat, fldsub::kMoney),
            FieldDesc::Make("Score", fldtype::kFloat),
            FieldDesc::Make("Active", fldtype::kBool),
            FieldDesc::Make("Code", fldtype::kString, 0, 8),
            FieldDesc::Make("At", fldtype::kTime),
            FieldDesc::Make("Stamp", fldtype::kTimestamp)};
}

void FillRow(Record& r, int64_t id) {
    r[0].SetInt(id);
    std::string name = "Name ";
    name += std::to_string(id % 100000);
    r[1].SetText(name);
    r[2].SetDate(730000 + id % 3000);
    r[3].SetInt(id % 30000);
    r[4].SetDouble(static_cast<double>(id % 100000) / 100.0);
    r[5].SetDouble(static_cast<double>(id) * 0.5);
    r[6].SetBool(id % 2 == 0);
    std::string code = "C";
    code += std::to_string(id % 9999);
    r[7].SetText(code);
    r[8].SetTime(id % kMsPerDay);
    r[9].SetTimestamp(730000LL * kMsPerDay + id * 1000);
}

#ifdef TESSEL_HAVE_PXLIB
void Quiet(pxdoc_t*, int, const char*, void*) {}

double PxlibScan(const std::string& path, uint64_t& records) {
    pxdoc_t* px = PX_new2(Quiet, nullptr, nullptr, nullptr);
    if (!px || PX_open_file(px, path.c_str()) < 0) return 0;
    const int n = PX_get_num_records(px);
    const int nf = PX_get_num_fields(px);
    pxfield_t* f = PX_get_fields(px);
    std::string rec(static_cast<size_t>(PX_get_recordsize(px)), '\0');
    const auto t0 = std::chrono::steady_clock::now();
    long sink = 0;
    for (int r = 0; r < n; ++r) {
        if (!PX_get_record(px, r, rec.data())) break;
        int off = 0;
        for (int k = 0; k < nf; ++k) {
            char* p = rec.data() + off;
            switch (f[k].px_ftype) {
                case pxfAlpha: {
                    char* s = nullptr;
                    if (PX_get_data_alpha(px, p, f[k].px_flen, &s) > 0 && s) {
                        sink += s[0];
                        px->free(px, s);
                    }
                    break;
                }
                case pxfShort: {
                    short v;
                    if (PX_get_data_short(px, p, 2, &v) > 0) sink += v;
                    break;
                }
                case pxfLong:
                case pxfDate:
                case pxfTime: {
                    long v;
                    if (PX_get_data_long(px, p, 4, &v) > 0) sink += v;
                    break;
                }
                case pxfCurrency:
                case pxfNumber:
                case pxfTimestamp: {
                    double v;
                    if (PX_get_data_double(px, p, 8, &v) > 0) sink += static_cast<long>(v);
                    break;
                }
                case pxfLogical: {
                    char v;
                    if (PX_get_data_byte(px, p, 1, &v) > 0) sink += v;
                    break;
                }
                default:
                    break;
            }
            off += f[k].px_flen;
        }
        ++records;
    }
    const double s = Seconds(t0);
    PX_close(px);
    PX_delete(px);
    if (sink == 42) std::puts("");
    return s;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const int64_t n = argc > 1 ? std::atoll(argv[1]) : 1'000'000;
    const std::string dir = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
    const std::string plain = dir + "/tessel_bench_plain.db", keyed = dir + "/tessel_bench_keyed.db";
    Record row(10);

    auto t0 = std::chrono::steady_clock::now();
    {
        auto t = paradox::CreateParadoxTable(plain, TenFields(), {});
        TableLock lock(*t, LockMode::Exclusive);
        for (int64_t k = 1; k <= n; ++k) {
            FillRow(row, k);
            t->AppendRecord(row);
        }
    }
    const double append = Seconds(t0);
    std::printf("append:        %10.0f records/s (%lld records, %.2f s)\n", static_cast<double>(n) / append,
                static_cast<long long>(n), append);

    double scan = 0;
    {
        auto t = paradox::OpenParadoxTable(plain, OpenMode::ReadOnly);
        Record rec;
        for (int pass = 0; pass < 2; ++pass) {  // the first pass warms the page cache
            t0 = std::chrono::steady_clock::now();
            TableLock lock(*t, LockMode::Shared);
            for (uint32_t r = 0; r < t->RecordCount(); ++r) t->ReadRecord(r, rec);
            scan = Seconds(t0);
        }
    }
    std::printf("decode scan:   %10.0f records/s (warm)\n", static_cast<double>(n) / scan);

    std::vector<int64_t> ids(static_cast<size_t>(n));
    std::iota(ids.begin(), ids.end(), 1);
    std::shuffle(ids.begin(), ids.end(), std::mt19937_64(1));
    t0 = std::chrono::steady_clock::now();
    {
        auto t = paradox::CreateParadoxTable(keyed, TenFields(), {}, 1);
        TableLock lock(*t, LockMode::Exclusive);
        for (int64_t id : ids) {
            FillRow(row, id);
            t->AppendRecord(row);
        }
    }
    const double keyedAppend = Seconds(t0);
    std::printf("keyed append:  %10.0f records/s (random key order)\n", static_cast<double>(n) / keyedAppend);

#ifdef TESSEL_HAVE_PXLIB
    uint64_t pxRecords = 0;
    PxlibScan(plain, pxRecords);
    pxRecords = 0;
    const double px = PxlibScan(plain, pxRecords);
    if (pxRecords > 0)
        std::printf("pxlib scan:    %10.0f records/s; Tessel's decode scan is %.2f x pxlib's\n",
                    static_cast<double>(pxRecords) / px,
                    (px / static_cast<double>(pxRecords)) / (scan / static_cast<double>(n)));
#else
    std::printf("pxlib scan:    not built (pxlib is not installed)\n");
#endif
    std::filesystem::remove(plain);
    std::filesystem::remove(keyed);
    std::filesystem::remove(std::filesystem::path(keyed).replace_extension(".px"));
    return 0;
}
