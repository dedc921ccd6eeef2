// Long work reports itself and can be stopped: the progress hook is called while a statement
// runs, an interrupt from it ends the statement, and a stopped statement changes nothing.

#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "ExecTestSupport.h"
#include "base/EngineError.h"
#include "engine/Cursor.h"
#include "engine/Database.h"
#include "engine/Engine.h"

namespace tessel::test {
namespace {

using engine::EngineError;
using Clock = std::chrono::steady_clock;

class StopTest : public ::testing::Test {
protected:
    void SetUp() override {
        f.Sql("CREATE TABLE \"n.db\" (ID INTEGER)");
        for (int i = 0; i < 50; ++i) f.Sql("INSERT INTO \"n.db\" VALUES (" + std::to_string(i) + ")");
        // 125,000 records to change.
        f.Sql("CREATE TABLE \"big.dbf\" (ID INTEGER, V INTEGER)");
        f.Sql(
            "INSERT INTO \"big.dbf\" SELECT a.ID * 2500 + b.ID * 50 + c.ID, 0 FROM \"n.db\" a, \"n.db\" b, \"n.db\" c");
    }
    void TearDown() override { f.engine->SetProgressHooks(nullptr, nullptr); }
    // Stops the run the first time the hook is called after `after`; records when.
    void StopAfter(std::chrono::milliseconds after) {
        f.engine->SetProgressHooks(
            [this, after] {
                ++ticks;
                if (f.engine->RunningFor() >= after && !stopped) {
                    stopped = true;
                    stopAt = Clock::now();
                    f.engine->Interrupt();
                }
            },
            [this] { ++finished; });
    }
    ExecFixture f;
    int ticks = 0, finished = 0;
    bool stopped = false;
    Clock::time_point stopAt;
};

TEST_F(StopTest, AStoppedStatementChangesNothingAndEndsSoon) {
    StopAfter(std::chrono::milliseconds(50));
    const struct {
        const char* sql;
    } cases[] = {
        // A change of every record, a long join, a sort of it.
        {"UPDATE \"big.dbf\" SET V = V + 1"},
        {"SELECT COUNT(*) FROM \"n.db\" a, \"n.db\" b, \"n.db\" c, \"n.db\" d, \"n.db\" e"},
        {"SELECT a.ID FROM \"n.db\" a, \"n.db\" b, \"n.db\" c, \"n.db\" d ORDER BY a.ID DESC, b.ID"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        stopped = false;
        ticks = finished = 0;
        try {
            engine::RunningGuard run(*f.engine);
            auto answer = f.db->RunText(c.sql);
            if (answer.answer) answer.answer->RecordCount();
            ADD_FAILURE() << "the statement ran to its end";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.Code(), engine::errc::kCancelled) << e.what();
        }
        ASSERT_TRUE(stopped);
        EXPECT_GT(ticks, 0);
        EXPECT_EQ(finished, 1);
        const double late = std::chrono::duration<double>(Clock::now() - stopAt).count();
        EXPECT_LT(late, 0.5) << "the stop took " << late << " s";
        EXPECT_FALSE(f.engine->Cancelled());  // the next run is not stopped
    }
    EXPECT_EQ(f.Rows("SELECT COUNT(*) FROM \"big.dbf\" WHERE V <> 0"), std::vector<std::string>{"0"});
    EXPECT_EQ(f.Rows("SELECT COUNT(*) FROM \"big.dbf\""), std::vector<std::string>{"125000"});
}

TEST_F(StopTest, ShortWorkNeverCallsTheHookAndActivityIsTold) {
    StopAfter(std::chrono::hours(1));
    f.Sql("UPDATE \"n.db\" SET ID = ID");
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(finished, 1);
    std::string seen;
    f.engine->SetProgressHooks([&] { seen = f.engine->Activity(); }, nullptr);
    {
        engine::RunningGuard run(*f.engine);
        auto answer = f.db->OpenQuery("SELECT a.ID FROM \"n.db\" a, \"n.db\" b, \"n.db\" c, \"n.db\" d");
        answer->RecordCount();
    }
    EXPECT_TRUE(std::regex_match(seen, std::regex("Reading records: [1-9][0-9]{0,2}(,[0-9]{3})+"))) << seen;
    EXPECT_TRUE(f.engine->Activity().empty());  // cleared when the run ends
}

}  // namespace
}  // namespace tessel::test
