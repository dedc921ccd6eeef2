// Tests of the rollback journal: a writer that dies leaves a hot journal that the next opener
// rolls back; a damaged journal is refused, naming it, and nothing of it is applied.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/EngineError.h"
#include "engine/storage/LockedFile.h"
#include "engine/storage/RollbackJournal.h"
#include "support/TempDir.h"

namespace tessel::test {
namespace {

namespace fs = std::filesystem;
using engine::EngineError;

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class JournalTest : public ::testing::Test {
protected:
    // t.dat (old bytes, 9000 of them) changed in place, grown, and a companion created, by a
    // process that dies before it commits: what it leaves behind.
    std::string LeaveHotJournal() {
        Write(dir.File("t.dat"), old_);
        const pid_t child = ::fork();
        if (child == 0) {
            engine::RollbackJournal journal(dir.File("t.dat"));
            engine::LockedFile f;
            f.Open(dir.File("t.dat"), true);
            f.WriteAt(5000, std::string(6000, 'N'));
            engine::LockedFile c;
            c.Create(dir.File("t.idx"));
            c.WriteAt(0, "new companion");
            ::_exit(0);  // no destructor runs: the journal stays hot
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        for (const auto& e : fs::directory_iterator(dir.Path()))
            if (engine::IsJournalFileName(e.path().filename().string())) return e.path().string();
        return "";
    }

    TempDir dir;
    const std::string old_ = std::string(9000, 'O');
};

TEST_F(JournalTest, TheNextOpenerRollsBackWhatADeadWriterLeft) {
    const std::string journal = LeaveHotJournal();
    ASSERT_FALSE(journal.empty());
    ASSERT_NE(Read(dir.File("t.dat")), old_);
    engine::RecoverHotJournals(dir.File("t.dat"), false);
    EXPECT_EQ(Read(dir.File("t.dat")), old_);
    EXPECT_FALSE(fs::exists(dir.File("t.idx")));
    EXPECT_FALSE(fs::exists(journal));
}

TEST_F(JournalTest, ALiveWritersJournalIsLeftAlone) {
    Write(dir.File("t.dat"), old_);
    engine::RollbackJournal journal(dir.File("t.dat"));
    engine::LockedFile f;
    f.Open(dir.File("t.dat"), true);
    f.WriteAt(0, "changed");
    engine::RecoverHotJournals(dir.File("t.dat"), false);
    EXPECT_EQ(Read(dir.File("t.dat")).substr(0, 7), "changed");
    journal.Commit();
    EXPECT_EQ(Read(dir.File("t.dat")).substr(0, 7), "changed");
}

// One journal record as the writer lays it out, with its check.
std::string Record(char kind, const std::string& name, uint64_t a, const std::string& data = "") {
    std::string r(1, kind);
    auto put = [&](uint64_t v, int bytes) {
        for (int k = 0; k < bytes; ++k) r.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
    };
    put(name.size(), 2);
    r += name;
    put(a, 8);
    put(data.size(), 4);
    r += data;
    uint32_t h = 2166136261u;
    for (unsigned char c : r) h = (h ^ c) * 16777619u;
    put(h, 4);
    return r;
}

TEST_F(JournalTest, ADamagedJournalIsRefusedAndNothingOfItApplied) {
    const std::string magic = "TSLJRNL1";
    const struct {
        const char* label;
        std::string journal;
    } cases[] = {
        {"not a journal", "NOTAJRNL" + Record('F', "t.dat", 10)},
        {"a file in another folder", magic + Record('F', "../t.dat", 10)},
        {"a file of another table", magic + Record('F', "u.dat", 10)},
        {"old bytes beyond the original length", magic + Record('F', "t.dat", 100) + Record('P', "t.dat", 96, "12345")},
        {"old bytes of a file never named", magic + Record('P', "t.dat", 0, "12345")},
        {"an original length beyond anything held", magic + Record('F', "t.dat", 1u << 30)},
        {"an unknown record", magic + Record('X', "t.dat", 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Write(dir.File("t.dat"), "the table as it is now");
        Write(dir.File("u.dat"), "another table");
        const std::string journal = dir.File(".t.dat.tessel-journal-0000000000000001");
        Write(journal, c.journal);
        try {
            engine::RecoverHotJournals(dir.File("t.dat"), false);
            ADD_FAILURE() << "accepted";
        } catch (const EngineError& e) {
            EXPECT_NE(std::string(e.what()).find(journal), std::string::npos) << e.what();
        }
        EXPECT_EQ(Read(dir.File("t.dat")), "the table as it is now");
        EXPECT_EQ(Read(dir.File("u.dat")), "another table");
        EXPECT_TRUE(fs::exists(journal));
        fs::remove(journal);
    }
    // A torn last record announced a change that never reached the table: the rest applies.
    Write(dir.File("t.dat"), "0123456789");
    const std::string journal = dir.File(".t.dat.tessel-journal-0000000000000001");
    const std::string torn = Record('P', "t.dat", 0, "ab");
    Write(journal, magic + Record('F', "t.dat", 4) + torn.substr(0, torn.size() - 2));
    engine::RecoverHotJournals(dir.File("t.dat"), false);
    EXPECT_EQ(Read(dir.File("t.dat")), "0123");
    EXPECT_FALSE(fs::exists(journal));
}

}  // namespace
}  // namespace tessel::test
