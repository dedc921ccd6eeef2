// How soon Stop reaches the engine: a 1M-record ORDER BY, a GROUP BY and a batch copy, each
// interrupted from the progress hook at several points of its run; prints the time from the
// interrupt to the statement's end (the target: under 0.5 s whatever the statement is doing).
//   tessel_stop_bench [RECORDS]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "base/EngineError.h"
#include "engine/Cursor.h"
#include "engine/Database.h"
#include "engine/Engine.h"
#include "engine/storage/RollbackJournal.h"

using namespace tessel;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    const long records = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
    engine::SetDurableWrites(false);
    const std::string root = (std::filesystem::temp_directory_path() / "tessel-stop-bench").string();
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    engine::Engine engine(root + "/aliases.conf", root);
    engine::Database& db = engine.OpenDatabase("");
    db.Execute("CREATE TABLE \"n.db\" (ID INTEGER)");
    for (int i = 0; i < 100; ++i) db.Execute("INSERT INTO \"n.db\" VALUES (" + std::to_string(i) + ")");
    db.Execute("CREATE TABLE \"big.dbf\" (ID INTEGER, NAME CHAR(20), GRP INTEGER)");
    db.Execute(
        "INSERT INTO \"big.dbf\" SELECT a.ID * 10000 + b.ID * 100 + c.ID, 'N' || CAST((a.ID * 7919 + b.ID * "
        "104729 + c.ID * 31) AS CHAR(10)), (a.ID * 31 + c.ID) FROM \"n.db\" a, \"n.db\" b, \"n.db\" c WHERE "
        "a.ID * 10000 + b.ID * 100 + c.ID < " +
        std::to_string(records));
    std::printf("Stop benchmark, %ld records\n", records);

    struct Work {
        const char* name;
        std::function<void()> run;
    };
    const Work works[] = {
        {"ORDER BY", [&] { db.OpenQuery("SELECT * FROM \"big.dbf\" ORDER BY NAME, ID")->RecordCount(); }},
        {"GROUP BY",
         [&] {
             db.OpenQuery("SELECT GRP, COUNT(*), MIN(NAME), MAX(ID) FROM \"big.dbf\" GROUP BY GRP")->RecordCount();
         }},
        {"batch copy",
         [&] {
             auto answer = db.OpenQuery("SELECT * FROM \"big.dbf\"");
             db.BatchCopy(*answer, root + "/copy.db");
         }},
    };
    for (const Work& w : works) {
        // The whole run first, then stops at a tenth, a third and two thirds of it.
        const auto t0 = Clock::now();
        {
            engine::RunningGuard run(engine);
            w.run();
        }
        const double whole = std::chrono::duration<double>(Clock::now() - t0).count();
        double worst = 0;
        for (double at : {0.1, 0.33, 0.67}) {
            Clock::time_point interrupted{};
            engine.SetProgressHooks(
                [&] {
                    if (interrupted == Clock::time_point{} &&
                        std::chrono::duration<double>(engine.RunningFor()).count() >= whole * at) {
                        interrupted = Clock::now();
                        engine.Interrupt();
                    }
                },
                nullptr);
            try {
                engine::RunningGuard run(engine);
                w.run();
            } catch (const engine::EngineError&) {
            }
            const double late = interrupted == Clock::time_point{}
                                    ? 0
                                    : std::chrono::duration<double>(Clock::now() - interrupted).count();
            worst = std::max(worst, late);
            engine.SetProgressHooks(nullptr, nullptr);
        }
        std::printf("%-10s whole run %6.3f s; stop reached it within %6.3f s at worst (target 0.5 s): %s\n", w.name,
                    whole, worst, worst < 0.5 ? "met" : "NOT MET");
    }
    std::filesystem::remove_all(root);
    return 0;
}
