// Every write kind on both formats with one failing I/O call at each step in turn (a full disk
// at the Nth write, sync, truncate, create or rename): afterwards the table family is, byte for
// byte, the old one or the complete new one, no temporary file is left, and the table reads.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "ExecTestSupport.h"
#include "base/EngineError.h"
#include "engine/storage/IoFaults.h"

namespace tessel::test {
namespace {

namespace fs = std::filesystem;
using FileSet = std::map<std::string, std::string>;

struct WriteKind {
    const char* name;
    std::string sql;  // "" when `run` does the work
    std::function<void(engine::Database&)> run;
};

class FaultTest : public ::testing::Test, public ExecFixture {
protected:
    void SetUp() override {
        const char* note = "'a memo longer than the ten bytes kept in the record'";
        Sql("CREATE TABLE \"k.db\" (ID INTEGER, NAME CHAR(20), NOTE BLOB(10,1), PRIMARY KEY (ID))");
        Sql("CREATE TABLE \"u.db\" (ID INTEGER, NAME CHAR(20), NOTE BLOB(10,1))");
        Sql("CREATE TABLE \"d.dbf\" (ID INTEGER, NAME CHAR(20), NOTE BLOB(10,1))");
        for (const char* t : {"k.db", "u.db", "d.dbf"}) {
            for (int i = 1; i <= 240; ++i)
                Sql(std::string("INSERT INTO \"") + t + "\" VALUES (" + std::to_string(i) + ", 'name " +
                    std::to_string(i % 37) + "', " + (i % 3 ? note : "NULL") + ")");
        }
        Sql("CREATE INDEX BYNAME ON \"k.db\" (NAME)");
        Sql("CREATE INDEX BYNAME ON \"d.dbf\" (NAME)");
        Reopen();
        pristine_ = Files();
    }
    void TearDown() override { engine::SetIoFaultHook({}); }

    void Reopen() {
        engine = std::make_unique<engine::Engine>(config.File("aliases.conf"), dir.Path());
        db = &engine->OpenDatabase("");
    }
    void Restore(const FileSet& files) {
        Close();
        for (const auto& e : fs::directory_iterator(dir.Path())) fs::remove(e.path());
        for (const auto& [name, bytes] : files) std::ofstream(dir.File(name), std::ios::binary) << bytes;
        Reopen();
    }
    void Run(const WriteKind& w) {
        if (!w.sql.empty())
            Sql(w.sql);
        else
            w.run(*db);
    }
    void Close() {
        db = nullptr;
        engine.reset();
    }
    // Runs the change from the old tables, counting the I/O calls it makes; the new tables stay.
    int CountCalls(const WriteKind& w) {
        Restore(pristine_);
        int calls = 0;
        engine::SetIoFaultHook([&](engine::IoCall, const std::string&) {
            ++calls;
            return engine::IoFault{};
        });
        try {
            Run(w);
        } catch (...) {
            engine::SetIoFaultHook({});
            throw;
        }
        engine::SetIoFaultHook({});
        return calls;
    }
    // Runs the change from the old tables in a child process that is killed (SIGKILL) just
    // before its Nth I/O call; returns the child's wait status.
    int RunKilledAt(const WriteKind& w, int n) {
        Restore(pristine_);
        Close();
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            int seen = 0;
            engine::SetIoFaultHook([&](engine::IoCall, const std::string&) {
                if (++seen == n) ::raise(SIGKILL);
                return engine::IoFault{};
            });
            try {
                Reopen();
                Run(w);
            } catch (...) {
                ::_exit(2);
            }
            ::_exit(0);
        }
        int status = 0;
        if (child > 0) ::waitpid(child, &status, 0);
        return status;
    }

    FileSet pristine_;
};

std::string Describe(const FileSet& got, const FileSet& old, const FileSet& now) {
    std::string out;
    for (const auto& [name, bytes] : got) {
        auto o = old.find(name), n = now.find(name);
        out += name +
               (o != old.end() && o->second == bytes   ? " (old)"
                : n != now.end() && n->second == bytes ? " (new)"
                                                       : " (other)") +
               "; ";
    }
    return out;
}

// The write kinds for table `t` ("@" stands for its name).
std::vector<WriteKind> KindsFor(const std::string& t, const std::string& dir) {
    std::vector<WriteKind> kinds = {
        {"insert one", "INSERT INTO \"@\" VALUES (1000, 'new', 'another memo longer than ten bytes')", {}},
        {"insert many", "INSERT INTO \"@\" SELECT ID + 5000, NAME, NOTE FROM \"@\" WHERE ID < 120", {}},
        {"update with memos",
         "UPDATE \"@\" SET NOTE = 'a changed memo, longer than ten bytes', NAME = 'x' WHERE ID < 150",
         {}},
        {"delete", "DELETE FROM \"@\" WHERE ID > 100", {}},
        {"batch copy over the table", "",
         [dest = dir + "/" + t](engine::Database& db) {
             auto answer = db.OpenQuery("SELECT ID, NAME FROM \"u.db\" WHERE ID < 200");
             db.BatchCopy(*answer, dest);
         }},
    };
    if (t == "u.db") {  // tables with indexes are not rewritten by ALTER TABLE
        kinds.push_back({"alter table add", "ALTER TABLE \"@\" ADD EXTRA CHAR(5)", {}});
        kinds.push_back({"alter table drop", "ALTER TABLE \"@\" DROP NAME", {}});
    } else {
        kinds.push_back({"create index",
                         t == "k.db" ? "CREATE INDEX BYBOTH ON \"@\" (NAME, ID)" : "CREATE INDEX BYID ON \"@\" (ID)",
                         {}});
        kinds.push_back({"drop index", "DROP INDEX \"@\".BYNAME", {}});
    }
    for (auto& w : kinds)
        for (size_t at; (at = w.sql.find('@')) != std::string::npos;) w.sql.replace(at, 1, t);
    return kinds;
}

TEST_F(FaultTest, EveryFailingStepLeavesTheOldOrTheNewTable) {
    int cases = 0, old = 0, now = 0, other = 0;
    for (const std::string t : {"k.db", "u.db", "d.dbf"}) {
        for (const WriteKind& w : KindsFor(t, dir.Path())) {
            SCOPED_TRACE(std::string(w.name) + " on " + t);
            // The complete new table, and how many I/O calls the change makes.
            const int calls = CountCalls(w);
            Close();
            const FileSet fresh = Files();
            ASSERT_NE(fresh, pristine_);
            for (int n = 1; n <= calls; ++n) {
                Restore(pristine_);
                int seen = 0;
                engine::SetIoFaultHook([&](engine::IoCall call, const std::string&) {
                    if (++seen != n) return engine::IoFault{};
                    return engine::IoFault{ENOSPC, call == engine::IoCall::Write ? size_t{3} : size_t{0}};
                });
                std::string message;
                try {
                    Run(w);
                } catch (const engine::EngineError& e) {
                    message = e.what();
                }
                engine::SetIoFaultHook({});
                Close();
                const FileSet got = Files();
                ++cases;
                if (got == pristine_) {
                    ++old;
                    EXPECT_NE(message.find("No space left on device"), std::string::npos)
                        << "step " << n << " of " << calls << ": " << message;
                } else if (got == fresh) {
                    ++now;
                } else {
                    ++other;
                    ADD_FAILURE() << "step " << n << " of " << calls << " (" << message
                                  << "): " << Describe(got, pristine_, fresh);
                }
                Reopen();
                EXPECT_NO_THROW(Rows("SELECT COUNT(*) FROM \"" + t + "\"")) << "step " << n;
            }
        }
    }
    std::printf("I/O fault cases: %d, old: %d, new: %d, anything else: %d\n", cases, old, now, other);
    EXPECT_EQ(other, 0);
}

// A process killed (SIGKILL) just before its Nth I/O call of a journaled change: the next open
// rolls the change back from the journal, and nothing of the journal is left.
TEST_F(FaultTest, AKilledWriterIsRolledBackByTheNextOpen) {
    int cases = 0, old = 0, now = 0, other = 0;
    for (const std::string t : {"k.db", "u.db", "d.dbf"}) {
        for (const WriteKind& w : KindsFor(t, dir.Path())) {
            if (w.run || w.sql.rfind("ALTER", 0) == 0) continue;  // whole-table rewrites are swapped in instead
            SCOPED_TRACE(std::string(w.name) + " on " + t);
            const int calls = CountCalls(w);
            Close();
            const FileSet fresh = Files();
            // Every step of short changes, about forty spread over long ones.
            const int stride = std::max(1, calls / 40);
            for (int n = 1; n <= calls; n += stride) {
                const int status = RunKilledAt(w, n);
                ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "step " << n;
                Reopen();
                EXPECT_NO_THROW(Rows("SELECT COUNT(*) FROM \"" + t + "\"")) << "step " << n;
                Close();
                const FileSet got = Files();
                ++cases;
                if (got == pristine_) {
                    ++old;
                } else if (got == fresh) {
                    ++now;
                } else {
                    ++other;
                    ADD_FAILURE() << "step " << n << " of " << calls << ": " << Describe(got, pristine_, fresh);
                }
            }
        }
    }
    std::printf("crash cases: %d, old: %d, new: %d, anything else: %d\n", cases, old, now, other);
    EXPECT_EQ(other, 0);
}

// A rewrite (ALTER TABLE, a copy over a table) killed at any step: while it builds the new
// table under a temporary name the old table is untouched; once it has begun to rename, the
// next opener finishes the swap. Either way the table is the old one or the new one, and the
// next writer in the folder removes what the dead build left.
TEST_F(FaultTest, AKilledRewriteLeavesTheOldOrTheNewTableAndNoTemporaryFiles) {
    int cases = 0, old = 0, now = 0;
    for (const std::string t : {"u.db", "d.dbf"}) {
        const std::string prefix = t.substr(0, 1) + ".";
        auto family = [&](const FileSet& files) {
            FileSet f;
            for (const auto& [name, bytes] : files)
                if (name.rfind(prefix, 0) == 0) f[name] = bytes;
            return f;
        };
        for (const WriteKind& w : KindsFor(t, dir.Path())) {
            if (!w.run && w.sql.rfind("ALTER", 0) != 0) continue;
            SCOPED_TRACE(std::string(w.name) + " on " + t);
            const int calls = CountCalls(w);
            const std::string all = "SELECT * FROM \"" + t + "\" ORDER BY ID";
            const auto newRows = Rows(all);
            Close();
            const FileSet fresh = family(Files());
            Restore(pristine_);
            const auto oldRows = Rows(all);
            for (int n = 1; n <= calls; ++n) {
                const int status = RunKilledAt(w, n);
                ASSERT_TRUE(WIFSIGNALED(status)) << "step " << n;
                ++cases;
                Reopen();
                std::vector<std::string> rows;
                EXPECT_NO_THROW(rows = Rows(all)) << "step " << n;
                Sql("INSERT INTO \"k.db\" VALUES (9999, 'later', NULL)");  // the next writer here
                Close();
                const FileSet got = Files();
                for (const auto& [name, bytes] : got) {
                    EXPECT_EQ(name.find(".tessel-"), std::string::npos) << "step " << n << ": " << name;
                }
                // Old: byte for byte. New: the new records in the new family's files (a finished
                // swap has not been through the statement's last flush of counters).
                std::set<std::string> names, freshNames;
                for (const auto& [name, bytes] : family(got)) names.insert(name);
                for (const auto& [name, bytes] : fresh) freshNames.insert(name);
                if (family(got) == family(pristine_)) {
                    ++old;
                } else if (rows == newRows && names == freshNames) {
                    ++now;
                } else {
                    ADD_FAILURE() << "step " << n << " of " << calls << ": " << Describe(got, pristine_, fresh)
                                  << (rows == oldRows ? " (old records)" : "");
                }
            }
        }
    }
    std::printf("killed rewrites: %d, old: %d, new: %d\n", cases, old, now);
}

// A transaction over two tables, killed at each I/O step: after the next open both tables are
// old or both are new, never one of each.
TEST_F(FaultTest, AKilledTransactionOverTwoTablesIsAllOrNothing) {
    const WriteKind w{"transaction", "", [](engine::Database& d) {
                          d.StartTransaction();
                          d.Execute("INSERT INTO \"k.db\" VALUES (1000, 'new', 'a memo longer than ten bytes')");
                          d.Execute("UPDATE \"d.dbf\" SET NAME = 'changed' WHERE ID < 50");
                          d.Commit();
                      }};
    const int calls = CountCalls(w);
    Close();
    const FileSet fresh = Files();
    int cases = 0, old = 0, now = 0;
    for (int n = 1; n <= calls; ++n) {
        const int status = RunKilledAt(w, n);
        ASSERT_TRUE(WIFSIGNALED(status)) << "step " << n;
        ++cases;
        Reopen();
        EXPECT_NO_THROW(Rows("SELECT COUNT(*) FROM \"k.db\"")) << "step " << n;
        EXPECT_NO_THROW(Rows("SELECT COUNT(*) FROM \"d.dbf\"")) << "step " << n;
        Close();
        const FileSet got = Files();
        if (got == pristine_) {
            ++old;
        } else if (got == fresh) {
            ++now;
        } else {
            ADD_FAILURE() << "step " << n << " of " << calls << ": " << Describe(got, pristine_, fresh);
        }
    }
    std::printf("killed transactions: %d, old: %d, new: %d\n", cases, old, now);
}

}  // namespace
}  // namespace tessel::test
