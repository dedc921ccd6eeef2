// dBASE driver benchmark: generates a table of ten mixed fields (1,000,000 records, about
// 100 MB, by default), then reports the append rate, the full decode scan rate (warm, best of
// three) and python3-dbf's full read of the same file as a ratio. Run by hand:
//   tessel_dbase_bench [--records N] [--dir DIR] [--skip-python] [--keep]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/dbase/DbfTable.h"

using namespace tessel::engine;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

FieldDesc Def(const char* name, uint16_t type, uint16_t sub = 0, uint16_t u1 = 0, uint16_t u2 = 0, char native = 0) {
    return FieldDesc::Make(name, type, sub, u1, u2, native);
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t records = 1'000'000;
    std::string dir = "/tmp";
    bool python = true, keep = false;
    for (int k = 1; k < argc; ++k) {
        if (!std::strcmp(argv[k], "--records") && k + 1 < argc)
            records = static_cast<uint32_t>(std::atol(argv[++k]));
        else if (!std::strcmp(argv[k], "--dir") && k + 1 < argc)
            dir = argv[++k];
        else if (!std::strcmp(argv[k], "--skip-python"))
            python = false;
        else if (!std::strcmp(argv[k], "--keep"))
            keep = true;
        else {
            std::fprintf(stderr, "usage: %s [--records N] [--dir DIR] [--skip-python] [--keep]\n", argv[0]);
            return 2;
        }
    }
    const std::string path = dir + "/tessel-bench-" + std::to_string(getpid()) + ".dbf";
    const std::vector<FieldDesc> fields = {
        Def("ID", fldtype::kFloat, 0, 10, 0, 'N'),
        Def("NAME", fldtype::kString, 0, 20),
        Def("CITY", fldtype::kString, 0, 15),
        Def("PRICE", fldtype::kFloat, 0, 12, 2, 'N'),
        Def("QTY", fldtype::kInt16),
        Def("BORN", fldtype::kDate),
        Def("OK", fldtype::kBool),
        Def("RATE", fldtype::kFloat, 0, 10, 4, 'F'),
        Def("CODE", fldtype::kString, 0, 8),
        Def("NOTE", fldtype::kString, 0, 12),
    };
    static const char* const kCities[] = {"Aachen", "Bruxelles",
                                          "K\xc3\xb8"
                                          "benhavn",
                                          "Dublin", "M\xc3\xbcnchen"};

    try {
        // Append.
        Record rec(fields.size());
        auto start = Clock::now();
        {
            auto t = dbase::CreateDbfTable(path, fields);
            TableLock lock(*t, LockMode::Exclusive);
            for (uint32_t n = 0; n < records; ++n) {
                rec[0].SetInt(n + 1);
                rec[1].SetText(std::string("Customer ").append(std::to_string(n % 50'000)));
                rec[2].SetText(kCities[n % 5]);
                rec[3].SetDecimal(static_cast<int64_t>(n % 1'000'000) * 7 - 3'000'000, 2);
                rec[4].SetInt(static_cast<int64_t>(n % 20'000) - 10'000);
                rec[5].SetDate(DayNumber(1950 + static_cast<int>(n % 70), 1 + static_cast<int>(n % 12),
                                         1 + static_cast<int>(n % 28)));
                if (n % 3 == 2)
                    rec[6].SetNull();
                else
                    rec[6].SetBool(n % 3 == 0);
                rec[7].SetDouble((n % 10'000) / 7.0);
                rec[8].SetText(n % 4 ? std::string("C").append(std::to_string(n % 9973)) : std::string());
                rec[9].SetText(std::string("note ").append(std::to_string(n % 1000)));
                t->AppendRecord(rec);
            }
        }
        const double appendSeconds = Seconds(start);
        std::printf("records:      %u (%u bytes each)\n", records,
                    dbase::DbfTable::Open(path, OpenMode::ReadOnly)->RecordSize());
        std::printf("append:       %.0f records/s (%.2f s)\n", records / appendSeconds, appendSeconds);

        // Full decode scan, warm: best of three.
        double best = 1e100;
        uint64_t checksum = 0;
        for (int pass = 0; pass < 3; ++pass) {
            start = Clock::now();
            auto t = dbase::DbfTable::Open(path, OpenMode::ReadOnly);
            checksum = 0;
            for (uint32_t n = 0; n < t->RecordCount(); ++n) {
                if (!t->ReadRecord(n, rec)) continue;
                checksum += static_cast<uint64_t>(rec[0].i) + rec[1].s.size() + static_cast<uint64_t>(rec[5].i);
            }
            best = std::min(best, Seconds(start));
        }
        std::printf("decode scan:  %.0f records/s (%.3f s, checksum %llu)\n", records / best, best,
                    static_cast<unsigned long long>(checksum));

        if (python) {
            const std::string script =
                "import dbf, warnings\n"
                "warnings.filterwarnings('ignore')\n"
                "t = dbf.Table('" +
                path +
                "')\n"
                "t.open(dbf.READ_ONLY)\n"
                "n = 0\n"
                "for r in t:\n"
                "    tuple(r)\n"
                "    n += 1\n"
                "t.close()\n"
                "print(n)\n";
            const std::string scriptPath = path + ".py";
            FILE* f = std::fopen(scriptPath.c_str(), "w");
            std::fputs(script.c_str(), f);
            std::fclose(f);
            start = Clock::now();
            const int rc = std::system(("/usr/bin/python3 " + scriptPath + " > /dev/null").c_str());
            const double py = Seconds(start);
            ::unlink(scriptPath.c_str());
            if (rc != 0) {
                std::printf("python3-dbf:  not available (exit %d)\n", rc);
            } else {
                std::printf("python3-dbf:  %.0f records/s (%.2f s)\n", records / py, py);
                std::printf("ratio:        Tessel's decode scan is %.1f times python3-dbf's full read\n", py / best);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessel_dbase_bench: %s\n", e.what());
        ::unlink(path.c_str());
        return 1;
    }
    if (!keep)
        ::unlink(path.c_str());
    else
        std::printf("table kept: %s\n", path.c_str());
    return 0;
}
