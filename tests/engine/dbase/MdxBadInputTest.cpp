// A production index (.MDX) damaged byte by byte next to an intact table: the directory, each
// tag's header, an interior node and leaves, set to a handful of values each, and the file cut
// short at every 64th byte. Every mutant must leave the table readable as it was; a lookup
// through a tag, when it is made, finds live records only, once each, and (unless the bytes of
// the keys themselves changed) every record a scan finds; a write either works, and the table
// then reads and is looked up in as soundly, or is refused naming the index and leaves the
// table untouched.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "DbfTestUtil.h"
#include "base/EngineError.h"
#include "engine/dbase/MdxIndex.h"

using namespace dbftest;
using namespace tessel::engine;
using namespace tessel::engine::dbase;

namespace {

constexpr uint32_t kRows = 300;
// The records deleted in the table.
bool Deleted(uint32_t slot) {
    return slot < kRows && slot % 13 == 5;
}

uint32_t U32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<uint8_t>(b[at + static_cast<size_t>(k)]);
    return v;
}
void Put(std::string& b, size_t at, uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) b[at + static_cast<size_t>(k)] = static_cast<char>(v >> (8 * k) & 0xFF);
}

// The lookup made for each field, narrow and near the middle of each tag's keys:
// NAME in ["n140", "n155"], AMOUNT in [-5, 5], BORN in 1995-01-01 .. 1996-12-31.
struct Bounds {
    Value lo, hi;
};
const Bounds kBounds[] = {
    {Value::Text("n140"), Value::Text("n155")},
    {Value::Int(-5), Value::Int(5)},
    {Value::Date(1995, 1, 1), Value::Date(1996, 12, 31)},
};

// Every live record, in file order.
std::vector<Record> Records(Table& t) {
    std::vector<Record> out;
    Record rec;
    for (uint32_t k = 0; k < t.RecordCount(); ++k)
        if (t.ReadRecord(k, rec)) out.push_back(rec);
    return out;
}

// The record slots a scan finds for each lookup (live records, field not blank, in the bounds),
// worked out from the raw bytes: NAME C(10) at 1, AMOUNT N(8,2) at 11, BORN D at 19.
std::vector<std::vector<uint32_t>> ScanMatches(DbfTable& t) {
    std::vector<std::vector<uint32_t>> out(3);
    std::string raw;
    for (uint32_t k = 0; k < t.RecordCount(); ++k) {
        t.ReadRawRecord(k, raw);
        if (raw[0] == '*') continue;
        const std::string name = raw.substr(1, 10), amount = raw.substr(11, 8), born = raw.substr(19, 8);
        if (name != std::string(10, ' ') && name >= "n140" && name <= "n155      ") out[0].push_back(k);
        if (amount != std::string(8, ' ') && std::stod(amount) >= -5 && std::stod(amount) <= 5) out[1].push_back(k);
        if (born != std::string(8, ' ') && born >= "19950101" && born <= "19961231") out[2].push_back(k);
    }
    return out;
}

}  // namespace

class MdxBadInputTest : public TempDirTest {
protected:
    void SetUp() override {
        // Tens of thousands of files are written: in memory when the system offers it.
        char tmpl[] = "/dev/shm/tessel-mdx-XXXXXX";
        if (mkdtemp(tmpl))
            dir_ = tmpl;
        else
            TempDirTest::SetUp();
        dbf_ = Path("m.dbf");
        mdx_ = Path("m.mdx");
        auto t = CreateDbfTable(dbf_, {Def("NAME", fldtype::kString, 0, 10),
                                       Def("AMOUNT", fldtype::kFloat, 0, 8, 2, 'N'), Def("BORN", fldtype::kDate)});
        {
            TableLock lock(*t, LockMode::Exclusive);
            for (uint32_t k = 0; k < kRows; ++k) {
                char name[16];
                std::snprintf(name, sizeof name, "n%03u", (k * 37) % kRows);
                Record r(3);
                if (k % 29 == 0)
                    r[0].SetNull();
                else
                    r[0].SetText(name);
                if (k % 31 == 0)
                    r[1].SetNull();
                else
                    r[1].SetDecimal(static_cast<int64_t>((k * 7919) % 20001) - 10000, 2);
                if (k % 37 == 0)
                    r[2].SetNull();
                else
                    r[2].SetDate(DayNumber(1970, 1, 1) + (k * 131) % 15000);
                t->AppendRecord(r);
            }
        }
        for (uint32_t k = 0; k < kRows; ++k)
            if (Deleted(k)) t->DeleteRecord(k);
        t->CreateIndex("NAME", {"NAME"}, false, false);
        t->CreateIndex("AMOUNT", {"AMOUNT"}, false, false);
        t->CreateIndex("BYBORN", {"BORN"}, false, false);
        rows_ = Records(*t);
        expected_ = ScanMatches(*t);
        t->Close();
        goodDbf_ = ReadAll(dbf_);
        goodMdx_ = ReadAll(mdx_);
    }

    // A lookup's slots: inside the table, live, each once; with `complete`, every slot of
    // `expected` among them.
    void CheckLookup(DbfTable& t, size_t field, const std::vector<uint32_t>& expected, bool complete,
                     const std::string& what) {
        if (!t.CanSeekIndex(field)) return;
        std::vector<uint32_t> got;
        if (!t.SeekIndex(field, &kBounds[field].lo, &kBounds[field].hi, got)) return;
        ++lookups_;
        std::sort(got.begin(), got.end());
        for (size_t k = 0; k < got.size(); ++k) {
            ASSERT_LT(got[k], t.RecordCount()) << what << ", field " << field;
            ASSERT_TRUE(k == 0 || got[k] != got[k - 1])
                << what << ", field " << field << ": slot " << got[k] << " twice";
            ASSERT_FALSE(Deleted(got[k])) << what << ", field " << field << ": deleted slot " << got[k];
        }
        if (!std::includes(got.begin(), got.end(), expected.begin(), expected.end())) {
            ++incomplete_;
            EXPECT_FALSE(complete) << what << ", field " << field << ": the lookup misses records a scan finds";
        }
    }

    // One damaged index: everything a user can do with the table. Cases alternate between
    // this process and the child that shares the work (part 0 and 1).
    void Try(const std::string& mdx, bool keysIntact, const std::string& what) {
        if (caseNumber_++ % 2 != part_) return;
        WriteAll(mdx_, mdx);
        ++cases_;
        const Record added = {Value::Text("n150x"), Value::Decimal(500, 2), Value::Date(1995, 6, 7)};
        bool appended = false;
        try {
            auto t = DbfTable::Open(dbf_, OpenMode::ReadWrite);
            ASSERT_TRUE(Records(*t) == rows_) << what << ": the records read differ";
            ASSERT_LE(t->Indexes().size(), 3u) << what;
            for (size_t f = 0; f < 3; ++f) {
                CheckLookup(*t, f, expected_[f], keysIntact, what);
                if (HasFatalFailure()) return;
            }
            try {
                t->AppendRecord(added);
                appended = true;
            } catch (const EngineError& e) {
                EXPECT_NE(std::string(e.what()).find(mdx_), std::string::npos) << what << ": " << e.what();
            }
            t->Close();
        } catch (const EngineError& e) {
            ADD_FAILURE() << what << ": " << e.what();
            return;
        }
        if (!appended) {
            ++refused_;
            ASSERT_TRUE(ReadAll(dbf_) == goodDbf_) << what << ": a refused write changed the table";
            return;
        }
        ++written_;
        try {
            auto t = DbfTable::Open(dbf_, OpenMode::ReadOnly);
            auto rows = rows_;
            rows.push_back(added);
            ASSERT_TRUE(Records(*t) == rows) << what << ": the records read after a write differ";
            for (size_t f = 0; f < 3; ++f) {
                std::vector<uint32_t> expected = expected_[f];
                expected.push_back(kRows);
                CheckLookup(*t, f, expected, keysIntact, what + ", after a write");
                if (HasFatalFailure()) return;
            }
        } catch (const EngineError& e) {
            ADD_FAILURE() << what << ", reopened after a write: " << e.what();
        }
        WriteAll(dbf_, goodDbf_);
    }

    std::string dbf_, mdx_, goodDbf_, goodMdx_;
    std::vector<Record> rows_;
    std::vector<std::vector<uint32_t>> expected_;
    void RunCases();

    size_t caseNumber_ = 0, part_ = 0;
    size_t cases_ = 0, refused_ = 0, written_ = 0, lookups_ = 0, incomplete_ = 0;
};

TEST_F(MdxBadInputTest, EveryMutationAndTruncationLeavesTheTableIntact) {
    // The intact file: every lookup is made and finds what a scan finds.
    {
        auto t = DbfTable::Open(dbf_, OpenMode::ReadOnly);
        for (size_t f = 0; f < 3; ++f) {
            std::vector<uint32_t> got;
            ASSERT_TRUE(t->SeekIndex(f, &kBounds[f].lo, &kBounds[f].hi, got));
            std::sort(got.begin(), got.end());
            EXPECT_EQ(got, expected_[f]);
            EXPECT_FALSE(got.empty());
        }
    }
    // Half of the cases run in a child process with a copy of the files, so two cores share
    // them; the child reports its counts and whether it failed (its failures are printed as
    // they happen).
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        part_ = 1;
        ::mkdir(Path("child").c_str(), 0700);
        dbf_ = Path("child/m.dbf");
        mdx_ = Path("child/m.mdx");
        WriteAll(dbf_, goodDbf_);
        RunCases();
        const size_t report[] = {cases_, written_, refused_, lookups_, incomplete_, HasFailure() ? 1u : 0u};
        const bool sent = write(pipeEnds[1], report, sizeof report) == static_cast<ssize_t>(sizeof report);
        _exit(sent ? 0 : 1);
    }
    close(pipeEnds[1]);
    RunCases();
    size_t report[6] = {};
    const bool received = read(pipeEnds[0], report, sizeof report) == static_cast<ssize_t>(sizeof report);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(received && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child process ended early";
    EXPECT_EQ(report[5], 0u) << "the child process's cases failed";
    cases_ += report[0], written_ += report[1], refused_ += report[2], lookups_ += report[3], incomplete_ += report[4];
    std::printf(
        "index mutation and truncation cases: %zu (%zu written, %zu refused; %zu lookups, %zu of them "
        "incomplete after key bytes changed)\n",
        cases_, written_, refused_, lookups_, incomplete_);
    EXPECT_EQ(cases_, written_ + refused_);
    EXPECT_GT(written_, 0u);
    EXPECT_GT(refused_, 0u);
}

void MdxBadInputTest::RunCases() {
    // Where the bytes lie: the directory's used bytes, the tag headers, the NAME tag's root
    // (an interior node) and a leaf of each tag from the middle of its tree.
    struct Range {
        std::string what;
        size_t at, size;
        bool keys;  // the bytes hold keys and record numbers
    };
    std::vector<Range> ranges = {{"directory", 0, 544 + 3 * 32, false}};
    const char* const names[] = {"NAME", "AMOUNT", "BYBORN"};
    for (size_t t = 0; t < 3; ++t) {
        const uint32_t header = U32(goodMdx_, 544 + t * 32);
        const uint32_t root = U32(goodMdx_, size_t{header} * 512);
        ranges.push_back({std::string(names[t]) + " header", size_t{header} * 512, 512, false});
        const size_t node = size_t{root} * 512, entry = t == 2 ? 12 : 16;
        const uint32_t children = U32(goodMdx_, node) + 1;
        ASSERT_NE(U32(goodMdx_, node + 8 + size_t{children - 1} * entry), 0u) << names[t] << ": the root is a leaf";
        if (t == 0) ranges.push_back({"NAME root", node, 1024, false});
        const uint32_t leaf = U32(goodMdx_, node + 8 + size_t{children / 2} * entry);
        ranges.push_back({std::string(names[t]) + " leaf", size_t{leaf} * 512, 1024, true});
    }
    for (const Range& r : ranges) {
        for (size_t at = r.at; at < r.at + r.size; ++at) {
            const uint8_t original = static_cast<uint8_t>(goodMdx_[at]);
            std::set<uint8_t> values = {0, 1, 0x7F, 0x80, 0xFF, static_cast<uint8_t>(original ^ 1)};
            values.erase(original);
            for (uint8_t v : values) {
                std::string bytes = goodMdx_;
                bytes[at] = static_cast<char>(v);
                Try(bytes, !r.keys, r.what + ": byte " + std::to_string(at) + " = " + std::to_string(v));
                if (HasFatalFailure()) return;
            }
        }
    }
    for (size_t cut = 0; cut < goodMdx_.size(); cut += 64) {
        Try(goodMdx_.substr(0, cut), true, "cut at " + std::to_string(cut));
        if (HasFatalFailure()) return;
    }
    // Files put together to look whole where a single byte cannot: the first tag's header on
    // the last page, and the first tag over a key longer than any Tessel builds (its field
    // thirty times over, 300 bytes) with an empty tree in a block of its own.
    {
        std::string bytes = goodMdx_;
        Put(bytes, 544, static_cast<uint32_t>(bytes.size() / 512 - 1), 4);
        Try(bytes, true, "a tag header on the last page");
        if (HasFatalFailure()) return;
    }
    {
        std::string bytes = goodMdx_ + std::string(1024, '\0');
        const size_t header = size_t{U32(bytes, 544)} * 512;
        Put(bytes, header, static_cast<uint32_t>(goodMdx_.size() / 512), 4);
        Put(bytes, header + 12, 300, 2);
        Put(bytes, header + 18, 304, 2);
        std::string expression = "NAME";
        for (int k = 1; k < 30; ++k) expression += "+NAME";
        bytes.replace(header + 24, expression.size(), expression);
        Try(bytes, true, "a key of 300 bytes");
        if (HasFatalFailure()) return;
    }
}
