// Runs arbitrary text as one statement through the whole engine (parse, bind, execute on the
// virtual tables) over a tiny set of tables: a keyed Paradox table and a dBASE table of a few
// records, in a folder under /dev/shm when there is one. Every input must end in an answer,
// a count of changed records or an EngineError: no crash, no sanitizer report, no other
// exception; a statement that fails leaves every file byte for byte as it was; an answer can
// be read to its end.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "base/EngineError.h"
#include "engine/Engine.h"

using namespace tessel::engine;
namespace fs = std::filesystem;

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

using Files = std::map<std::string, std::string>;

Files ReadFiles(const std::string& dir) {
    Files files;
    for (const auto& e : fs::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        files[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

void WriteFiles(const std::string& dir, const Files& files) {
    for (const auto& e : fs::directory_iterator(dir)) fs::remove_all(e.path());
    for (const auto& [name, bytes] : files) std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
}

struct World {
    std::string root;
    std::string dir;
    Files pristine;
    std::unique_ptr<Engine> engine;
    Database* db = nullptr;

    World() {
        const std::string base = fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
        root = base + "/tessel-engine-fuzz-" + std::to_string(::getpid());
        dir = root + "/db";
        fs::remove_all(root);
        fs::create_directories(dir);
        Open();
        for (const char* sql : {
                 "CREATE TABLE \"employee.db\" (LAST_NAME CHAR(20), FIRST_NAME CHAR(15), SALARY NUMERIC(10,2), "
                 "DEPT_NO SMALLINT, HIRED DATE, ACTIVE BOOLEAN, NOTES BLOB(20,1), PRIMARY KEY (LAST_NAME, FIRST_NAME))",
                 "CREATE TABLE \"dept.dbf\" (DEPT_NO SMALLINT, DEPT_NAME CHAR(20), BUDGET NUMERIC(12,2))",
                 "INSERT INTO \"employee.db\" VALUES ('Adams', 'Ann', 52000.00, 10, '03/15/1994', TRUE, 'Team lead')",
                 "INSERT INTO \"employee.db\" VALUES ('Baker', 'Bob', 41000.50, 20, '07/01/1996', TRUE, NULL)",
                 "INSERT INTO \"employee.db\" VALUES ('Clark', 'Carol', NULL, 20, '11/30/1999', FALSE, NULL)",
                 "INSERT INTO \"employee.db\" VALUES ('baker', 'Beth', 45000.00, NULL, '02/29/2000', NULL, NULL)",
                 "INSERT INTO \"dept.dbf\" VALUES (10, 'Sales', 100000.00)",
                 "INSERT INTO \"dept.dbf\" VALUES (20, 'Research', 250000.00)",
                 "INSERT INTO \"dept.dbf\" VALUES (30, NULL, NULL)",
                 "DELETE FROM \"dept.dbf\" WHERE DEPT_NO = 30",
                 "INSERT INTO \"dept.dbf\" VALUES (40, 'Support', 50000.00)",
             })
            db->Execute(sql);
        engine.reset();
        pristine = ReadFiles(dir);
        Open();
    }
    ~World() {
        engine.reset();
        fs::remove_all(root);
    }
    void Open() {
        engine = std::make_unique<Engine>(root + "/aliases.conf", dir);
        db = &engine->OpenDatabase("");
    }
    // Back to the pristine tables, with a fresh engine (nothing it learnt survives).
    void Reset() {
        engine.reset();
        WriteFiles(dir, pristine);
        Open();
    }
};

World& TheWorld() {
    static World world;
    return world;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;  // long texts only slow the search down
    World& w = TheWorld();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bool failed = false;
    try {
        Database::Result r = w.db->RunText(text);
        if (r.answer) {
            int64_t n = 0;
            for (bool ok = r.answer->First(); ok; ok = r.answer->Next()) {
                Check(r.answer->Current().size() == r.answer->Fields().size());
                ++n;
            }
            Check(n == r.answer->RecordCount());
        }
    } catch (const EngineError& e) {
        Check(!e.Entries().empty());
        failed = true;
    }
    const Files now = ReadFiles(w.dir);
    if (failed) Check(now == w.pristine);  // a failing statement changes nothing
    if (now != w.pristine) w.Reset();
    return 0;
}
