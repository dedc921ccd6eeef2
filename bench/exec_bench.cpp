// Executor benchmark: the same queries through Tessel on 1,000,000-record .dbf and .db
// tables and through plain SQLite on native tables holding the same data, as ratios; the same
// queries through GDAL's ogrinfo on the .dbf as a peer (when ogrinfo is installed); single-row
// INSERT statements per second; the batch copy of the big answer. Prints figures; run by hand:
//   tessel_exec_bench [RECORDS]   (default 1000000)

#include <sqlite3.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "SqlTiming.h"
#include "engine/Engine.h"
#include "engine/TableFiles.h"
#include "engine/storage/RollbackJournal.h"

using namespace tessel::engine;
using namespace tessel::bench;

namespace {

void MakeTables(const std::string& dir, const std::string& ext, uint32_t n, sqlite3* native) {
    const bool dbf = ext == ".dbf";
    std::vector<FieldDesc> big = {FieldDesc::Make("ID", fldtype::kInt32), FieldDesc::Make("GRP", fldtype::kInt32),
                                  FieldDesc::Make("SID", fldtype::kInt32),
                                  dbf ? FieldDesc::Make("AMOUNT", fldtype::kFloat, 0, 12, 2, 'N')
                                      : FieldDesc::Make("AMOUNT", fldtype::kBcd, 0, 12, 2),
                                  FieldDesc::Make("NAME", fldtype::kString, 0, 12)};
    auto t = CreateTableFile(dir + "/big" + ext, big);
    uint64_t seed = 88172645463325252ull;
    {
        TableLock lock(*t, LockMode::Exclusive);
        Record rec(5);
        for (uint32_t i = 0; i < n; ++i) {
            rec[0].SetInt(i);
            rec[1].SetInt(static_cast<int64_t>(Rand(seed) % 1000));
            rec[2].SetInt(static_cast<int64_t>(Rand(seed) % 10000));
            rec[3].SetDecimal(static_cast<int64_t>(Rand(seed) % 10000000), 2);
            char name[16];
            std::snprintf(name, sizeof name, "N%09llu", static_cast<unsigned long long>(Rand(seed) % 1000000000));
            rec[4].SetText(name);
            t->AppendRecord(rec);
        }
    }
    t->Close();
    std::vector<FieldDesc> small = {FieldDesc::Make("ID", fldtype::kInt32),
                                    FieldDesc::Make("LABEL", fldtype::kString, 0, 10)};
    CreateOptions keyed;
    if (!dbf) keyed.keyFields = 1;
    auto s = CreateTableFile(dir + "/small" + ext, small, keyed);
    {
        TableLock lock(*s, LockMode::Exclusive);
        Record rec(2);
        for (int i = 0; i < 10000; ++i) {
            rec[0].SetInt(i);
            std::string label = std::to_string(i);
            label.insert(label.begin(), 'L');  // (operator+ here trips a false -Wrestrict in GCC 12)
            rec[1].SetText(label);
            s->AppendRecord(rec);
        }
    }
    s->Close();
    if (!native) return;
    // The same data in native SQLite tables (read back through the driver).
    sqlite3_exec(native,
                 "CREATE TABLE big(ID INTEGER, GRP INTEGER, SID INTEGER, AMOUNT REAL, NAME TEXT);"
                 "CREATE TABLE small(ID INTEGER PRIMARY KEY, LABEL TEXT); BEGIN",
                 nullptr, nullptr, nullptr);
    auto src = OpenTableFile(dir + "/big" + ext);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(native, "INSERT INTO big VALUES (?,?,?,?,?)", -1, &ins, nullptr);
    Record rec;
    for (uint32_t i = 0; i < src->RecordCount(); ++i) {
        src->ReadRecord(i, rec);
        sqlite3_bind_int64(ins, 1, rec[0].i);
        sqlite3_bind_int64(ins, 2, rec[1].i);
        sqlite3_bind_int64(ins, 3, rec[2].i);
        sqlite3_bind_double(ins, 4, rec[3].AsDouble());
        sqlite3_bind_text(ins, 5, rec[4].s.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(native, "INSERT INTO small SELECT value, 'L' || value FROM generate_series(0, 9999)", nullptr, nullptr,
                 nullptr);
    sqlite3_exec(native, "COMMIT", nullptr, nullptr, nullptr);
}

void SmallNative(sqlite3* native) {
    // generate_series may be missing from the library: fill the small table by hand.
    sqlite3_stmt* c = nullptr;
    sqlite3_prepare_v2(native, "SELECT COUNT(*) FROM small", -1, &c, nullptr);
    sqlite3_step(c);
    const int have = sqlite3_column_int(c, 0);
    sqlite3_finalize(c);
    if (have) return;
    sqlite3_exec(native, "BEGIN", nullptr, nullptr, nullptr);
    for (int i = 0; i < 10000; ++i) {
        const std::string sql = "INSERT INTO small VALUES (" + std::to_string(i) + ", 'L" + std::to_string(i) + "')";
        sqlite3_exec(native, sql.c_str(), nullptr, nullptr, nullptr);
    }
    sqlite3_exec(native, "COMMIT", nullptr, nullptr, nullptr);
}

void StepAll(sqlite3* db, const char* sql) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
    }
    sqlite3_finalize(st);
}

bool HaveOgrinfo() {
    return std::system("ogrinfo --version >/dev/null 2>&1") == 0;
}

constexpr int kOgrTimeout = 60;  // seconds; GDAL joins its layers without an index

// One query through ogrinfo on the directory's .dbf files (SQLite dialect, so every query of
// the list runs; -so counts the answer's rows without printing them). 0 when it ran, 1 when it
// failed, 2 when it ran out of time.
int OgrQuery(const std::string& dir, const std::string& sql) {
    const std::string cmd = "timeout " + std::to_string(kOgrTimeout) + " ogrinfo -ro -so -dialect SQLite -sql \"" +
                            sql + "\" \"" + dir + "\" >/dev/null 2>&1";
    const int rc = std::system(cmd.c_str());
    if (rc == 0) return 0;
    return WIFEXITED(rc) && WEXITSTATUS(rc) == 124 ? 2 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const uint32_t n = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000;
    // The executor's own cost, not the disk's: statements are not flushed to the device here
    // (tessel_journal_bench measures both).
    SetDurableWrites(false);
    const std::string root = (std::filesystem::temp_directory_path() / "tessel-exec-bench").string();
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    sqlite3* native = nullptr;
    sqlite3_open(":memory:", &native);
    std::printf("Executor benchmark, %u records (best of 3; ratio = Tessel / native SQLite)\n", n);
    const double makeDbf = Seconds([&] { MakeTables(root, ".dbf", n, native); });
    SmallNative(native);
    const double makeDb = Seconds([&] { MakeTables(root, ".db", n, nullptr); });
    std::printf("tables made: .dbf %.2f s, .db %.2f s\n\n", makeDbf, makeDb);
    // The queries are about tables at rest, as a user's tables are: what the engine learns about
    // a file written in the last seconds is not kept (its time stamp could miss a change).
    std::this_thread::sleep_for(std::chrono::seconds(3));

    struct Query {
        const char* name;
        std::string tessel;
        const char* native;
    };
    const Query queries[] = {
        {"COUNT(*)", "SELECT COUNT(*) FROM big", "SELECT COUNT(*) FROM big"},
        {"SUM with filter", "SELECT SUM(AMOUNT) FROM big WHERE GRP < 100",
         "SELECT SUM(AMOUNT) FROM big WHERE GRP < 100"},
        {"GROUP BY 1,000 groups", "SELECT GRP, COUNT(*), SUM(AMOUNT) FROM big GROUP BY GRP",
         "SELECT GRP, COUNT(*), SUM(AMOUNT) FROM big GROUP BY GRP"},
        {"ORDER BY one column", "SELECT NAME FROM big ORDER BY NAME", "SELECT NAME FROM big ORDER BY NAME"},
        {"equality join to 10,000", "SELECT COUNT(*) FROM big B, small S WHERE B.SID = S.ID",
         "SELECT COUNT(*) FROM big B, small S WHERE B.SID = S.ID"},
    };
    Engine engine(root + "/aliases.conf", root);
    Database& db = engine.OpenDatabase("");
    std::printf("%-26s %10s %10s %7s %10s %7s\n", "query", "native s", ".dbf s", "ratio", ".db s", "ratio");
    std::vector<double> natives;
    for (const auto& q : queries) {
        const double base = Best([&] { StepAll(native, q.native); });
        natives.push_back(base);
        std::string dbfSql = q.tessel, dbSql = q.tessel;
        auto replace = [](std::string s, const std::string& ext) {
            for (const char* t : {"big", "small"}) {
                const std::string word = std::string(" ") + t;
                for (size_t p = s.find(word + " "); p != std::string::npos; p = s.find(word + " ", p + 1))
                    s.replace(p, word.size(), " \"" + std::string(t) + ext + "\"");
                if (s.size() >= word.size() && s.compare(s.size() - word.size(), word.size(), word) == 0)
                    s.replace(s.size() - word.size(), word.size(), " \"" + std::string(t) + ext + "\"");
            }
            return s;
        };
        dbfSql = replace(q.tessel, ".dbf");
        dbSql = replace(q.tessel, ".db");
        const double tdbf = Best([&] { ReadAll(db, dbfSql); });
        const double tdb = Best([&] { ReadAll(db, dbSql); });
        std::printf("%-26s %10.3f %10.3f %7.2f %10.3f %7.2f\n", q.name, base, tdbf, tdbf / base, tdb, tdb / base);
    }

    // The peer: GDAL on the .dbf files of the same directory (its own process per query, so
    // each figure includes starting ogrinfo and opening the files; the startup line shows that
    // cost on its own).
    std::printf("\n");
    if (!HaveOgrinfo()) {
        std::printf("GDAL peer skipped: ogrinfo is not installed (Debian package gdal-bin)\n");
    } else {
        const std::string ogrDir = root + "/ogr";
        std::filesystem::create_directories(ogrDir);
        for (const char* t : {"big.dbf", "small.dbf"})
            std::filesystem::create_symlink(root + "/" + t, ogrDir + "/" + t);
        const double startup = Best([&] { OgrQuery(ogrDir, "SELECT 1 FROM small LIMIT 1"); });
        std::printf("GDAL ogrinfo -dialect SQLite on the .dbf (startup and open alone: %.3f s)\n", startup);
        std::printf("%-26s %10s %10s %7s\n", "query", "native s", "GDAL s", "ratio");
        for (size_t k = 0; k < std::size(queries); ++k) {
            int status = 0;
            double t = Seconds([&] { status = OgrQuery(ogrDir, queries[k].native); });
            if (status == 0)
                t = std::min(t, Best([&] { status = std::max(status, OgrQuery(ogrDir, queries[k].native)); }));
            if (status == 2)
                std::printf("%-26s %10.3f %10s %7s  (stopped after %d s)\n", queries[k].name, natives[k], "-", "-",
                            kOgrTimeout);
            else if (status == 1)
                std::printf("%-26s %10.3f %10s\n", queries[k].name, natives[k], "failed");
            else
                std::printf("%-26s %10.3f %10.3f %7.2f\n", queries[k].name, natives[k], t, t / natives[k]);
        }
    }

    // Single-row INSERT statements, each parsed, bound and run on its own.
    std::printf("\n");
    for (const char* ext : {".dbf", ".db"}) {
        const std::string table = std::string("ins") + ext;
        db.Execute("CREATE TABLE \"" + table + "\" (ID INTEGER, NAME CHAR(20), AMOUNT NUMERIC(10,2))");
        const int count = 100000;
        const double secs = Seconds([&] {
            for (int i = 0; i < count; ++i)
                db.Execute("INSERT INTO \"" + table + "\" VALUES (" + std::to_string(i) + ", 'name " +
                           std::to_string(i) + "', " + std::to_string(i % 1000) + ".25)");
        });
        std::printf("100,000 single-row INSERTs into %-4s %7.2f s  %9.0f statements/s\n", ext, secs, count / secs);
    }

    // The batch copy of the big answer into a new table of each format.
    std::printf("\n");
    for (const char* ext : {".dbf", ".db"}) {
        auto answer = db.OpenQuery(std::string("SELECT * FROM \"big") + ext + "\"");
        uint64_t copied = 0;
        const double secs = Seconds([&] { copied = db.BatchCopy(*answer, root + "/copy" + ext); });
        std::printf("batch copy of %llu records into %-4s %7.2f s\n", static_cast<unsigned long long>(copied), ext,
                    secs);
    }
    sqlite3_close(native);
    std::filesystem::remove_all(root);
    return 0;
}
