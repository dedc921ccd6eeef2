// Tests of damaged and quirky .DBF files.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "DbfTestUtil.h"
#include "base/EngineError.h"

using namespace dbftest;
using namespace tessel::engine;
using tessel::engine::dbase::CreateDbfTable;
using tessel::engine::dbase::DbfTable;

namespace {

// A small level 3 table with a memo: NAME C(8), QTY N(4,0), BORN D, OK L, NOTES M; 3 records.
// Header 32 + 5 * 32 + 1 = 193 bytes, records of 32 bytes.
void MakeFixture(const std::string& path) {
    auto t = CreateDbfTable(
        path, {Def("NAME", fldtype::kString, 0, 8), Def("QTY", fldtype::kFloat, 0, 4, 0, 'N'),
               Def("BORN", fldtype::kDate), Def("OK", fldtype::kBool), Def("NOTES", fldtype::kBlob, fldsub::kMemo)});
    t->AppendRecord(
        {Value::Text("Ann"), Value::Int(1), Value::Date(2001, 2, 3), Value::Bool(true), Value::Text("first")});
    t->AppendRecord({Value::Text("Bob"), Value::Int(-2), Value::Null(), Value::Bool(false), Value::Null()});
    t->AppendRecord({Value::Text("Cy"), Value::Null(), Value::Date(1999, 12, 31), Value::Null(), Value::Text("third")});
    t->Close();
}

const std::vector<std::vector<std::string>> kFixtureRows = {
    {"Ann", "1", "2001-02-03", "TRUE", "first"},
    {"Bob", "-2", "", "FALSE", ""},
    {"Cy", "", "1999-12-31", "", "third"},
};

// Opens and reads every record; returns the error's code, or 0 when all went well.
int OpenAndScan(const std::string& path, std::string* message = nullptr,
                std::vector<std::vector<std::string>>* rows = nullptr) {
    try {
        auto t = DbfTable::Open(path, OpenMode::ReadOnly);
        auto r = Rows(*t);
        if (rows) *rows = r;
        return 0;
    } catch (const EngineError& e) {
        if (message) *message = e.what();
        return e.Code();
    }
}

}  // namespace

class DbfBadInputTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        path_ = Path("fix.dbf");
        MakeFixture(path_);
        good_ = ReadAll(path_);
        goodMemo_ = ReadAll(Path("fix.dbt"));
    }
    std::string path_, good_, goodMemo_;
};

TEST_F(DbfBadInputTest, FixtureReadsBack) {
    std::vector<std::vector<std::string>> rows;
    ASSERT_EQ(OpenAndScan(path_, nullptr, &rows), 0);
    EXPECT_EQ(rows, kFixtureRows);
    ASSERT_EQ(good_.size(), 193u + 3 * 32 + 1);
}

TEST_F(DbfBadInputTest, DamagedFilesGiveTheEngineErrorNamingTheFile) {
    auto patch = [](size_t at, std::string bytes) {
        return [=](std::string& f) { f.replace(at, bytes.size(), bytes); };
    };
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        int code;
        const char* message;
    } cases[] = {
        {"shorter than a header", [](std::string& f) { f.resize(20); }, errc::kCorruptFile, "shorter"},
        {"empty file", [](std::string& f) { f.clear(); }, errc::kCorruptFile, "shorter"},
        {"header length beyond the file", patch(8, std::string("\xff\xff", 2)), errc::kCorruptFile, "beyond the end"},
        {"header length too small", patch(8, std::string("\x10\x00", 2)), errc::kCorruptFile, "too small"},
        {"record length not the fields'", patch(10, std::string("\x21\x00", 2)), errc::kCorruptFile, "record length"},
        // Fewer descriptors than the record length needs: the list ends early, or the header
        // length cuts it short.
        {"field list ended early", patch(32, "\x0D"), errc::kCorruptFile, "record length 32"},
        {"unknown version", patch(0, "\x07"), errc::kCorruptFile, "version byte"},
        {"dBASE II", patch(0, "\x02"), errc::kNotSupported, "dBASE II"},
        {"encrypted", patch(15, "\x01"), errc::kNotSupported, "encrypted"},
        {"date field of width 9", patch(32 + 2 * 32 + 16, "\x09"), errc::kCorruptFile, "width"},
        {"field of width 0",
         [](std::string& f) {
             f[32 + 16] = '\0';
             f[10] = 32 - 8;
         },
         errc::kCorruptFile, "width 0"},
        {"descriptor cut by the header length", patch(8, std::string("\x30\x00", 2)), errc::kCorruptFile,
         "record length 32"},
        {"memo pointer past the memo file", patch(193 + 22, "      9999"), errc::kCorruptFile, "fix.dbt"},
        {"memo pointer that is no number", patch(193 + 22, "     12x45"), errc::kCorruptFile, "memo pointer"},
        {"records cut off", [](std::string& f) { f.resize(193 + 2 * 32 + 10); }, errc::kCorruptFile,
         "holds 2 complete records"},
        {"count larger than the file", patch(4, std::string("\x05\x00\x00\x00", 4)), errc::kCorruptFile,
         "record 4 of 5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good_;
        c.damage(bytes);
        WriteAll(path_, bytes);
        std::string message;
        EXPECT_EQ(OpenAndScan(path_, &message), c.code) << message;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        EXPECT_NE(message.find(dir_), std::string::npos) << message;
    }
}

TEST_F(DbfBadInputTest, TruncatedTableReadsWhatIsThereThenFails) {
    WriteAll(path_, good_.substr(0, 193 + 2 * 32 + 10));
    auto t = DbfTable::Open(path_, OpenMode::ReadOnly);
    ASSERT_EQ(t->RecordCount(), 3u);
    Record rec;
    EXPECT_TRUE(t->ReadRecord(0, rec));
    EXPECT_TRUE(t->ReadRecord(1, rec));
    EXPECT_THROW(t->ReadRecord(2, rec), EngineError);
}

TEST_F(DbfBadInputTest, MissingMemoFileIsNamed) {
    ASSERT_EQ(::unlink(Path("fix.dbt").c_str()), 0);
    std::string message;
    EXPECT_EQ(OpenAndScan(path_, &message), errc::kNotFound);
    EXPECT_NE(message.find("fix.dbt"), std::string::npos) << message;
    // An upper-case memo file name is found too.
    WriteAll(Path("fix.DBT"), goodMemo_);
    EXPECT_EQ(OpenAndScan(path_), 0);
}

TEST_F(DbfBadInputTest, BenignQuirksOfOtherWritersAreAccepted) {
    auto patch = [](size_t at, std::string bytes) {
        return [=](std::string& f) { f.replace(at, bytes.size(), bytes); };
    };
    struct Case {
        const char* what;
        std::function<void(std::string&)> change;
        std::vector<std::vector<std::string>> rows;
    } cases[] = {
        {"0x00 terminator", patch(192, std::string(1, '\0')), kFixtureRows},
        {"no terminator",
         [](std::string& f) {
             f.erase(192, 1);
             f[8] = static_cast<char>(192);
         },
         kFixtureRows},
        {"pad byte after the terminator",
         [](std::string& f) {
             f.insert(193, 1, '\x1A');
             f[8] = static_cast<char>(194);
         },
         kFixtureRows},
        {"language driver 0", patch(29, std::string(1, '\0')), kFixtureRows},
        {"unknown language driver", patch(29, "\xEE"), kFixtureRows},
        {"record count 0", patch(4, std::string(4, '\0')), kFixtureRows},
        {"no end mark", [](std::string& f) { f.pop_back(); }, kFixtureRows},
        {"bytes after the end mark", [](std::string& f) { f += "garbage"; }, kFixtureRows},
        {"lower-case name and type", patch(32, "name\0\0\0\0\0\0\0c"), kFixtureRows},
        {"zero-padded memo pointer", patch(193 + 22, "0000000001"), kFixtureRows},
        {"NUL-padded text", patch(193 + 4, std::string(5, '\0')), kFixtureRows},
        {"date of zeros and a ? logical",
         patch(193 + 13, "00000000 "),
         {{"Ann", "1", "", "", "first"}, kFixtureRows[1], kFixtureRows[2]}},
        {"deletion mark", patch(193 + 32, "*"), {kFixtureRows[0], kFixtureRows[2]}},
        {"number with a comma and a plus",
         patch(193 + 9, "+1,5"),
         {{"Ann", "1.5", "2001-02-03", "TRUE", "first"}, kFixtureRows[1], kFixtureRows[2]}},
        {"asterisks in a number",
         patch(193 + 9, "****"),
         {{"Ann", "", "2001-02-03", "TRUE", "first"}, kFixtureRows[1], kFixtureRows[2]}},
        {"byte the code page lacks",
         patch(193 + 1, "A\x81n"),
         {{"A\uF781n", "1", "2001-02-03", "TRUE", "first"}, kFixtureRows[1], kFixtureRows[2]}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good_;
        c.change(bytes);
        WriteAll(path_, bytes);
        std::string message;
        std::vector<std::vector<std::string>> rows;
        ASSERT_EQ(OpenAndScan(path_, &message, &rows), 0) << message;
        EXPECT_EQ(rows, c.rows);
    }
}

// Every byte of the header set to every value, and the file cut at every header offset: each
// case must end in the engine's error or in a scan that reads every record; never a crash or
// another kind of failure.
TEST_F(DbfBadInputTest, EveryHeaderMutationAndTruncationIsHandled) {
    const size_t headerLength = 193;
    size_t cases = 0, errors = 0, read = 0;
    for (size_t at = 0; at < headerLength; ++at) {
        for (int value = 0; value < 256; ++value) {
            if (static_cast<uint8_t>(good_[at]) == value) continue;
            std::string bytes = good_;
            bytes[at] = static_cast<char>(value);
            WriteAll(path_, bytes);
            ++cases;
            try {
                auto t = DbfTable::Open(path_, OpenMode::ReadOnly);
                Record rec;
                for (uint32_t k = 0; k < t->RecordCount(); ++k) t->ReadRecord(k, rec);
                ++read;
            } catch (const EngineError&) {
                ++errors;
            }
        }
    }
    for (size_t cut = 0; cut < headerLength; ++cut) {
        WriteAll(path_, good_.substr(0, cut));
        ++cases;
        std::string message;
        EXPECT_NE(OpenAndScan(path_, &message), 0) << "cut at " << cut;
        ++errors;
    }
    std::printf("header mutation and truncation cases: %zu (%zu read, %zu refused)\n", cases, read, errors);
    EXPECT_EQ(cases, read + errors);
    EXPECT_GT(read, 0u);
    EXPECT_GT(errors, 0u);
}

// Two processes append to one table at the same time while a third reads it: every record
// must come out whole, with its memo, and the count must hold all of them.
TEST_F(DbfBadInputTest, TwoWritingProcessesNeverCorruptTheTable) {
    constexpr int kPerWriter = 150;
    auto writer = [&](int id) {
        try {
            auto t = DbfTable::Open(path_, OpenMode::ReadWrite);
            for (int k = 0; k < kPerWriter; ++k) {
                const int n = id * 1000 + k;
                const std::string name = std::string("W").append(std::to_string(n));
                t->AppendRecord({Value::Text(name), Value::Int(n % 10000), Value::Date(2000, 1, 1 + k % 28),
                                 Value::Bool(id == 1), Value::Text(std::string("memo of ").append(name))});
            }
            return 0;
        } catch (...) {
            return 1;
        }
    };
    auto reader = [&]() {
        try {
            for (int pass = 0; pass < 30; ++pass) {
                auto t = DbfTable::Open(path_, OpenMode::ReadOnly);
                Record rec;
                for (uint32_t k = 3; k < t->RecordCount(); ++k) {
                    if (!t->ReadRecord(k, rec)) return 2;
                    const std::string name = rec[0].s;
                    if (rec[4].s != std::string("memo of ").append(name)) return 3;
                    if (std::string("W").append(std::to_string(rec[1].i)) != name) return 4;
                }
            }
            return 0;
        } catch (...) {
            return 5;
        }
    };
    pid_t pids[3];
    for (int p = 0; p < 3; ++p) {
        pids[p] = fork();
        ASSERT_GE(pids[p], 0);
        if (pids[p] == 0) _exit(p < 2 ? writer(p + 1) : reader());
    }
    for (int p = 0; p < 3; ++p) {
        int status = 0;
        waitpid(pids[p], &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << p;
        EXPECT_EQ(WEXITSTATUS(status), 0) << "process " << p;
    }
    auto t = DbfTable::Open(path_, OpenMode::ReadOnly);
    EXPECT_EQ(t->RecordCount(), 3u + 2 * kPerWriter);
    Record rec;
    int seen[2] = {0, 0};
    for (uint32_t k = 3; k < t->RecordCount(); ++k) {
        ASSERT_TRUE(t->ReadRecord(k, rec));
        EXPECT_EQ(rec[4].s, std::string("memo of ").append(rec[0].s));
        ++seen[rec[3].i ? 0 : 1];
    }
    EXPECT_EQ(seen[0], kPerWriter);
    EXPECT_EQ(seen[1], kPerWriter);
    EXPECT_EQ(ReadAll(path_).size(), 193u + (3 + 2 * kPerWriter) * 32u + 1);
}
