// Ctrl+C stops tessel-sql: exit status 130 soon after, and no statement left half done.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "CliInterrupt.h"
#include "cli/Cli.h"
#include "support/TempDir.h"

using namespace tessel;
using test::InterruptAfter;
using test::Stopped;

namespace {

std::string Sql(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCli(args, out, err), 0) << err.str();
    return out.str();
}

TEST(CliStop, CtrlCEndsTheRunWithStatus130AndLeavesNoStatementHalfDone) {
    test::TempDir dir;
    std::vector<std::string> make{"--dir", dir.Path(), "-c", "CREATE TABLE \"n.db\" (ID INTEGER)"};
    for (int i = 0; i < 50; ++i)
        make.insert(make.end(), {"-c", "INSERT INTO \"n.db\" VALUES (" + std::to_string(i) + ")"});
    Sql(make);
    Sql({"--dir", dir.Path(), "-c", "CREATE TABLE \"big.dbf\" (ID INTEGER, V INTEGER)", "-c",
         "INSERT INTO \"big.dbf\" SELECT a.ID * 2500 + b.ID * 50 + c.ID, 0 FROM \"n.db\" a, \"n.db\" b, \"n.db\" c"});

    // A long join: stopped within half a second.
    const Stopped join = InterruptAfter(
        {"--dir", dir.Path(), "-c", "SELECT COUNT(*) FROM \"n.db\" a, \"n.db\" b, \"n.db\" c, \"n.db\" d, \"n.db\" e"},
        std::chrono::milliseconds(300));
    EXPECT_EQ(join.status, 130);
    EXPECT_LT(join.afterSignal, 0.5);

    // A change of every record, stopped on its way: all records or none changed, never some.
    for (int ms : {30, 80, 150}) {
        const Stopped update = InterruptAfter({"--dir", dir.Path(), "-c", "UPDATE \"big.dbf\" SET V = V + 1"},
                                              std::chrono::milliseconds(ms));
        EXPECT_TRUE(update.status == 130 || update.status == 0) << update.status;
        const std::string counts = Sql({"--dir", dir.Path(), "-c", "SELECT COUNT(DISTINCT V) FROM \"big.dbf\""});
        // One distinct value: the last line of the answer is 1.
        EXPECT_EQ(counts.substr(counts.find_last_not_of("\r\n"), 1), "1") << "after " << ms << " ms: " << counts;
    }
}

}  // namespace
