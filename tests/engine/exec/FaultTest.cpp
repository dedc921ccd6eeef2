// Every write kind on both formats with one failing I/O call at each step in turn (a full disk
// at the Nth write, sync, truncate, create or rename): afterwards the table family is, byte for
// byte, the old one or the complete new one, no temporary file is left, and the table reads.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "ExecTestSupport.h"
#include "base/EngineError.h"
#include "engine/TableFiles.h"
#include "engine/paradox/PxTestUtil.h"
#include "engine/storage/IoFaults.h"
#include "engine/storage/RollbackJournal.h"
#include "engine/storage/TableFamily.h"
#include "support/RunCommand.h"

namespace tessel::test {
namespace {

namespace fs = std::filesystem;
using FileSet = std::map<std::string, std::string>;

struct WriteKind {
    const char* name;
    std::string sql;  // "" when `run` does the work
    std::function<void(engine::Database&)> run;
    bool rewrite = false;  // builds the new table under a temporary name and swaps it in
};

class FaultTest : public ::testing::Test, public ExecFixture {
protected:
    void SetUp() override {
        // The Paradox tables also hold binary BLOBs (python3-dbf cannot read a dBASE table with
        // them, so the dBASE one keeps to memos), and the dBASE table has deleted records to pack.
        const char* note = "'a memo longer than the ten bytes kept in the record'";
        Sql("CREATE TABLE \"k.db\" (ID INTEGER, NAME CHAR(20), NOTE BLOB(10,1), PIC BLOB(0,2), PRIMARY KEY (ID))");
        Sql("CREATE TABLE \"u.db\" (ID INTEGER, NAME CHAR(20), NOTE BLOB(10,1), PIC BLOB(0,2))");
        Sql("CREATE TABLE \"d.dbf\" (ID INTEGER, NAME CHAR(20), NOTE BLOB(10,1))");
        for (const char* t : {"k.db", "u.db", "d.dbf"}) {
            const bool binary = std::string(t) != "d.dbf";
            for (int i = 1; i <= 240; ++i)
                Sql(std::string("INSERT INTO \"") + t + "\" VALUES (" + std::to_string(i) + ", 'name " +
                    std::to_string(i % 37) + "', " + (i % 3 ? note : "NULL") +
                    (!binary      ? ""
                     : i % 4 == 0 ? ", 'binary bytes \x01\x02\x7f of picture " + std::to_string(i) + "'"
                                  : ", NULL") +
                    ")");
        }
        Sql("CREATE INDEX BYNAME ON \"k.db\" (NAME)");
        Sql("CREATE INDEX BYNAME ON \"d.dbf\" (NAME)");
        Sql("DELETE FROM \"d.dbf\" WHERE ID IN (7, 30, 31, 99, 140, 200, 201, 202)");
        Reopen();
        pristine_ = Files();
        pristineBytes_ = ExecFixture::Files();
    }
    void TearDown() override { engine::SetIoFaultHook({}); }

    // The files with the one part that differs between two runs of the same change blanked: the
    // time a Paradox table or secondary index file (.db, .Xnn, .Ynn) was made, in its header at
    // 0x60.
    FileSet Files() const {
        FileSet files = ExecFixture::Files();
        for (auto& [name, bytes] : files) {
            std::string ext = fs::path(name).extension().string();
            for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if ((ext == ".db" || ext.rfind(".x", 0) == 0 || ext.rfind(".y", 0) == 0) && bytes.size() >= 0x64)
                bytes.replace(0x60, 4, 4, '\0');
        }
        return files;
    }

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
        Restore(pristineBytes_);
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
        Restore(pristineBytes_);
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

    FileSet pristine_;       // compared with
    FileSet pristineBytes_;  // written back
};

// How many records an independent reader (pxlib for Paradox, python3-dbf for dBASE) reads from
// the table: -1 when it cannot read it, -2 when the reader is not installed.
int OracleCount(const std::string& path) {
    std::string command;
    if (path.size() > 3 && path.compare(path.size() - 3, 3, ".db") == 0) {
        if (Pxdump().empty()) return -2;
        const std::string mb = engine::FindCompanion(path, ".mb");
        command = Pxdump() + " csv '" + path + "'" + (mb.empty() ? "" : " --mb '" + mb + "'");
    } else {
        const std::string script = std::string(TESSEL_ORACLES_DIR) + "/dbfdump.py";
        if (!fs::exists("/usr/bin/python3") || !fs::exists(script)) return -2;
        command = "/usr/bin/python3 " + script + " '" + path + "' --via python-dbf --no-meta";
    }
    int status = 0;
    const std::string out = RunCommand(command + " 2>/dev/null", &status);
    if (status != 0) return -1;
    return static_cast<int>(std::count(out.begin(), out.end(), '\n')) - 1;  // less the field names
}

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
    const bool paradox = t != "d.dbf";
    const std::string path = dir + "/" + t;
    std::vector<WriteKind> kinds = {
        {"insert one",
         std::string("INSERT INTO \"@\" VALUES (1000, 'new', 'another memo longer than ten bytes'") +
             (paradox ? ", 'new binary bytes of a picture')" : ")"),
         {}},
        {"insert many",
         std::string("INSERT INTO \"@\" SELECT ID + 5000, NAME, NOTE") + (paradox ? ", PIC" : "") +
             " FROM \"@\" WHERE ID < 120",
         {}},
        {"update with memos and BLOBs",
         std::string("UPDATE \"@\" SET NOTE = 'a changed memo, longer than ten bytes', NAME = 'x'") +
             (paradox ? ", PIC = 'changed binary bytes of a picture'" : "") + " WHERE ID < 150",
         {}},
        {"delete", "DELETE FROM \"@\" WHERE ID > 100", {}},
        {"batch copy over the table", "",
         [path](engine::Database& db) {
             auto answer = db.OpenQuery("SELECT ID, NAME FROM \"u.db\" WHERE ID < 200");
             db.BatchCopy(*answer, path);
         },
         true},
    };
    if (!paradox) {
        // Packing moves the records down in place, under a journal like any other change.
        kinds.push_back({"pack", "", [path](engine::Database&) {
                             engine::RollbackJournal journal(path);
                             auto table = engine::OpenTableFile(path, engine::OpenMode::ReadWrite);
                             table->Pack();
                             table->Close();
                             journal.Commit();
                         }});
    }
    if (t == "u.db") {  // tables with indexes are not rewritten by ALTER TABLE
        kinds.push_back({"alter table add", "ALTER TABLE \"@\" ADD EXTRA CHAR(5)", {}, true});
        kinds.push_back({"alter table drop", "ALTER TABLE \"@\" DROP NAME", {}, true});
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
            const std::string count = "SELECT COUNT(*) FROM \"" + t + "\"";
            const int newCount = std::stoi(Rows(count).at(0));
            Close();
            const FileSet fresh = Files();
            ASSERT_NE(fresh, pristine_);
            // Every case below ends byte for byte in the old or the new table: both must be
            // what the other readers read.
            if (const int n = OracleCount(dir.File(t)); n != -2) {
                EXPECT_EQ(n, newCount) << "the new table";
            }
            Restore(pristineBytes_);
            const int oldCount = std::stoi(Rows(count).at(0));
            if (const int n = OracleCount(dir.File(t)); n != -2) {
                EXPECT_EQ(n, oldCount) << "the old table";
            }
            for (int n = 1; n <= calls; ++n) {
                Restore(pristineBytes_);
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

// A failed change is put back while the statement still holds the table: another program that
// took the lock in between would read the table half changed.
TEST_F(FaultTest, AFailedChangeIsPutBackBeforeTheTableIsUnlocked) {
    for (const std::string t : {"k.db", "u.db", "d.dbf"}) {
        SCOPED_TRACE(t);
        const WriteKind w{
            "update",
            "UPDATE \"" + t + "\" SET NAME = 'x', NOTE = 'a changed memo, longer than ten bytes' WHERE ID < 150",
            {}};
        const int calls = CountCalls(w);
        Restore(pristineBytes_);
        const std::string table = dir.File(t);
        int seen = 0, putBack = 0, lockedMeanwhile = 0;
        engine::SetIoFaultHook([&](engine::IoCall call, const std::string&) {
            if (++seen == calls / 2) return engine::IoFault{ENOSPC, 0};
            if (seen > calls / 2 && call == engine::IoCall::Write) {
                ++putBack;  // the rollback writes the old bytes back
                const int fd = ::open(table.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd >= 0 && ::flock(fd, LOCK_SH | LOCK_NB) == 0) ++lockedMeanwhile;
                if (fd >= 0) ::close(fd);
            }
            return engine::IoFault{};
        });
        EXPECT_THROW(Run(w), engine::EngineError);
        engine::SetIoFaultHook({});
        Close();
        EXPECT_EQ(Files(), pristine_);
        EXPECT_GT(putBack, 0);
        EXPECT_EQ(lockedMeanwhile, 0);
    }
}

// A process killed (SIGKILL) just before its Nth I/O call of a journaled change: the next open
// rolls the change back from the journal, and nothing of the journal is left.
TEST_F(FaultTest, AKilledWriterIsRolledBackByTheNextOpen) {
    int cases = 0, old = 0, now = 0, other = 0;
    for (const std::string t : {"k.db", "u.db", "d.dbf"}) {
        for (const WriteKind& w : KindsFor(t, dir.Path())) {
            if (w.rewrite) continue;  // whole-table rewrites are swapped in instead
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
            if (!w.rewrite) continue;
            SCOPED_TRACE(std::string(w.name) + " on " + t);
            const int calls = CountCalls(w);
            const std::string all = "SELECT * FROM \"" + t + "\" ORDER BY ID";
            const auto newRows = Rows(all);
            Close();
            const FileSet fresh = family(Files());
            Restore(pristineBytes_);
            const auto oldRows = Rows(all);
            for (int n = 1; n <= calls; ++n) {
                const int status = RunKilledAt(w, n);
                ASSERT_TRUE(WIFSIGNALED(status)) << "step " << n;
                ++cases;
                Reopen();
                std::vector<std::string> rows;
                EXPECT_NO_THROW(rows = Rows(all)) << "step " << n;
                Sql("INSERT INTO \"k.db\" VALUES (9999, 'later', NULL, NULL)");  // the next writer here
                Close();
                const FileSet got = Files();
                for (const auto& [name, bytes] : got) {
                    EXPECT_EQ(name.find(".tessel-"), std::string::npos) << "step " << n << ": " << name;
                }
                // Byte for byte the old family or the new one; a swap the next opener finished
                // gives what a run that was not killed gives.
                if (family(got) == family(pristine_)) {
                    ++old;
                } else if (family(got) == fresh) {
                    ++now;
                } else {
                    ADD_FAILURE() << "step " << n << " of " << calls << ": "
                                  << Describe(family(got), family(pristine_), fresh)
                                  << (rows == oldRows   ? " (old records)"
                                      : rows == newRows ? " (new records)"
                                                        : "");
                }
            }
        }
    }
    std::printf("killed rewrites: %d, old: %d, new: %d\n", cases, old, now);
}

// A transaction over two tables, killed at each I/O step: after the next open both tables are
// old or both are new, never one of each.
TEST_F(FaultTest, AKilledTransactionOverTwoTablesIsAllOrNothing) {
    const WriteKind w{
        "transaction", "", [](engine::Database& d) {
            d.StartTransaction();
            d.Execute("INSERT INTO \"k.db\" VALUES (1000, 'new', 'a memo longer than ten bytes', 'binary bytes')");
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
    EXPECT_GT(old, 0);
    EXPECT_GT(now, 0);  // killed past the commit point
}

}  // namespace
}  // namespace tessel::test
