// Rollback journal benchmark: on 1,000,000-record .dbf and .db tables, a one-record UPDATE and
// a 100,000-record UPDATE with the time each takes and the bytes it journals (against the size
// of the table family, which the statement journal used to copy whole for every statement),
// and single-record INSERTs per second with the writes flushed to the disk (the default) and
// without. Prints figures; run by hand:
//   tessel_journal_bench [RECORDS]   (default 1000000)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "engine/Engine.h"
#include "engine/TableFiles.h"
#include "engine/storage/RollbackJournal.h"

using namespace tessel::engine;
namespace fs = std::filesystem;

namespace {

double Seconds(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

uint64_t FamilyBytes(const std::string& dir, const std::string& stem) {
    uint64_t n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().stem() == stem) n += e.file_size();
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    const uint32_t n = argc > 1 ? static_cast<uint32_t>(std::atoi(argv[1])) : 1000000;
    std::string dir = (fs::temp_directory_path() / "tessel-journal-bench-XXXXXX").string();
    if (!mkdtemp(dir.data())) return 1;
    Engine engine(dir + "/aliases.conf", dir);
    Database& db = engine.OpenDatabase("");
    std::printf("records: %u\n", n);
    for (const char* ext : {".dbf", ".db"}) {
        const std::string path = dir + "/big" + ext;
        {
            auto t =
                CreateTableFile(path, {FieldDesc::Make("ID", fldtype::kInt32), FieldDesc::Make("GRP", fldtype::kInt32),
                                       FieldDesc::Make("NAME", fldtype::kString, 0, 20)});
            TableLock lock(*t, LockMode::Exclusive);
            Record rec(3);
            for (uint32_t i = 0; i < n; ++i) {
                rec[0].SetInt(i);
                rec[1].SetInt(i % 1000);
                rec[2].SetText("name " + std::to_string(i % 977));
                t->AppendRecord(rec);
            }
            lock.Release();
            t->Close();
        }
        const std::string table = std::string("\"big") + ext + "\"";
        std::printf("\n%s table family: %.1f MB (what every statement used to copy)\n", ext,
                    static_cast<double>(FamilyBytes(dir, "big")) / 1e6);
        for (bool durable : {true, false}) {
            SetDurableWrites(durable);
            const char* mode = durable ? "synced" : "no sync";
            uint64_t before = JournaledBytes();
            const double one = Seconds(
                [&] { db.Execute("UPDATE " + table + " SET NAME = 'one' WHERE ID = " + std::to_string(n / 2)); });
            std::printf("UPDATE of 1 record, %-8s %9.4f s, %9llu bytes journaled\n", mode, one,
                        static_cast<unsigned long long>(JournaledBytes() - before));
            before = JournaledBytes();
            const double many = Seconds([&] {
                db.Execute("UPDATE " + table + " SET NAME = '" + mode + "' WHERE ID < " + std::to_string(n / 10));
            });
            std::printf("UPDATE of %u records, %-8s %9.4f s, %9llu bytes journaled\n", n / 10, mode, many,
                        static_cast<unsigned long long>(JournaledBytes() - before));
        }
        for (bool durable : {true, false}) {
            SetDurableWrites(durable);
            const int count = durable ? 500 : 5000;
            const double secs = Seconds([&] {
                for (int i = 0; i < count; ++i)
                    db.Execute("INSERT INTO " + table + " VALUES (" + std::to_string(n + i) + ", 1, 'new')");
            });
            std::printf("single-record INSERTs, %-10s %8.0f statements/s\n",
                        durable ? "synced:" : "no sync:", count / secs);
        }
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
