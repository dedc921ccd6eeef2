// Secondary indexes of Paradox tables: the files, their upkeep, what is refused, and what an
// independent reader (pxlib through the oracle front end) makes of them.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <tuple>

#include "PxTestUtil.h"
#include "engine/paradox/PxFormat.h"
#include "support/TempDir.h"

using namespace tessel;
using namespace tessel::engine;
using namespace tessel::engine::paradox;
using tessel::test::Fld;
using tessel::test::Pxdump;

namespace {

std::vector<FieldDesc> PeopleFields() {
    return {Fld("Last", fldtype::kString, 0, 12),
            Fld("First", fldtype::kString, 0, 10),
            Fld("Dept", fldtype::kInt16),
            Fld("Salary", fldtype::kFloat),
            Fld("Notes", fldtype::kBlob, fldsub::kMemo, 5),
            Fld("Active", fldtype::kBool)};
}

Record Person(const std::string& last, const std::string& first, std::optional<int> dept, double salary) {
    Record r(6);
    r[0].SetText(last);
    r[1].SetText(first);
    if (dept) r[2].SetInt(*dept);
    r[3].SetDouble(salary);
    return r;
}

std::string Name(int k) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "N%05d", k);
    return buf;
}

int CodeOf(const EngineError& e) {
    return e.Entries().empty() ? 0 : e.Entries().front().code;
}

class PxSecondaryIndexTest : public ::testing::Test {
protected:
    std::unique_ptr<Table> MakePeople(int n, int level = 7) {
        CreateOptions o;
        o.level = level;
        auto t = CreateParadoxTable(Path(), PeopleFields(), o, 2);
        TableLock lock(*t, LockMode::Exclusive);
        for (int k = 0; k < n; ++k)
            t->AppendRecord(Person(Name((k * 7919) % n), "F", k % 5 == 4 ? std::nullopt : std::optional<int>(k % 5),
                                   1000.0 + (k * 31) % 97));
        return t;
    }
    std::string Path() const { return dir.File("people.db"); }
    bool Exists(const std::string& name) const { return std::filesystem::exists(dir.File(name)); }

    // The index rows the table's records call for: (dept, last, first), blank first.
    static std::string ExpectedDeptRows(Table& t) {
        std::vector<std::tuple<bool, int64_t, std::string, std::string>> rows;
        Record r;
        for (uint32_t k = 0; k < t.RecordCount(); ++k) {
            t.ReadRecord(k, r);
            rows.emplace_back(!r[2].IsNull(), r[2].IsNull() ? 0 : r[2].i, r[0].s, r[1].s);
        }
        std::sort(rows.begin(), rows.end());
        std::string out = "Sec Key,Last,First\n";
        for (const auto& [has, dept, last, first] : rows)
            out += (has ? std::to_string(dept) : "") + "," + last + "," + first + "\n";
        return out;
    }
    // pxdump's CSV of an index data file without its hint column; checks every hint names the
    // table block that holds the record.
    std::string IndexRowsChecked(const std::string& pxdump, const std::string& file) {
        int st = 0;
        const std::string csv = test::RunCommand(pxdump + " csv " + dir.File(file) + " 2>&1", &st);
        EXPECT_EQ(st, 0) << csv;
        const std::string db = test::ReadBytes(Path());
        const uint16_t headerSize = GetLe16(db.data() + 2);
        const uint32_t blockSize = uint32_t{static_cast<uint8_t>(db[5])} * 1024;
        std::string out;
        size_t pos = 0;
        bool header = true;
        while (pos < csv.size()) {
            const size_t nl = csv.find('\n', pos);
            const std::string line = csv.substr(pos, nl - pos);
            pos = nl + 1;
            const size_t comma = line.rfind(',');
            out += line.substr(0, comma) + "\n";
            if (header) {
                header = false;
                continue;
            }
            const int hint = std::stoi(line.substr(comma + 1));
            const size_t lastAt = line.find(',') + 1;
            const std::string last = line.substr(lastAt, line.find(',', lastAt) - lastAt);
            const std::string block = db.substr(headerSize + size_t(hint - 1) * blockSize, blockSize);
            EXPECT_NE(block.find(last), std::string::npos) << file << ": " << line;
        }
        return out;
    }

    test::TempDir dir;
};

TEST_F(PxSecondaryIndexTest, IndependentReaderSeesTheRecordsInIndexOrder) {
    const std::string pxdump = Pxdump();
    if (pxdump.empty()) GTEST_SKIP() << "pxlib is not installed";
    auto t = MakePeople(3000);
    t->CreateIndex("Dept", {"DEPT"}, false, false);
    t->CreateIndex("BySalary", {"Salary", "Dept"}, false, false);
    t->CreateIndex("ByFirst", {"First", "Last"}, false, false);
    EXPECT_TRUE(Exists("people.x03") && Exists("people.y03") && Exists("people.xg0") && Exists("people.yg0"));

    EXPECT_EQ(IndexRowsChecked(pxdump, "people.x03"), ExpectedDeptRows(*t));
    const std::string info = test::RunCommand(pxdump + " info " + dir.File("people.x03"));
    EXPECT_NE(info.find("filetype: 5 "), std::string::npos) << info;
    EXPECT_NE(info.find("records: 3000"), std::string::npos) << info;
    EXPECT_NE(info.find("schema: Sec Key:S,Last:A12,First:A10,Hint:S"), std::string::npos) << info;
    const std::string composite = test::RunCommand(pxdump + " info " + dir.File("people.xg0"));
    EXPECT_NE(composite.find("filetype: 8 "), std::string::npos) << composite;
    EXPECT_NE(composite.find("schema: Salary:N,Dept:S,Last:A12,First:A10,Hint:S"), std::string::npos) << composite;

    // Key fields may be indexed; the table's key still follows in full.
    const std::string byFirst = test::RunCommand(pxdump + " info " + dir.File("people.xg1"));
    EXPECT_NE(byFirst.find("schema: First:A10,Last:A12,Last:A12,First:A10,Hint:S"), std::string::npos) << byFirst;

    // The trees: one entry per data-file block, counts adding up to the records.
    for (const char* tree : {"people.y03", "people.yg0"}) {
        int st = 0;
        const std::string csv = test::RunCommand(pxdump + " csv " + dir.File(tree) + " 2>&1", &st);
        ASSERT_EQ(st, 0) << csv;
        int sum = 0, lines = 0;
        size_t pos = csv.find('\n') + 1;
        while (pos < csv.size()) {
            const size_t nl = csv.find('\n', pos);
            const std::string line = csv.substr(pos, nl - pos);
            const size_t c2 = line.rfind(','), c1 = line.rfind(',', c2 - 1);
            sum += std::stoi(line.substr(c1 + 1, c2 - c1 - 1));
            ++lines;
            pos = nl + 1;
        }
        EXPECT_EQ(sum, 3000) << tree;
        EXPECT_GT(lines, 1) << tree;
    }
}

TEST_F(PxSecondaryIndexTest, LargeIndexGetsATwoLevelTreeThatTheIndependentReaderWalks) {
    const std::string pxdump = Pxdump();
    if (pxdump.empty()) GTEST_SKIP() << "pxlib is not installed";
    auto t = MakePeople(30000);
    t->CreateIndex("Salary", {"Salary"}, false, false);
    const std::string info = test::RunCommand(pxdump + " info " + dir.File("people.y04"));
    EXPECT_NE(info.find("levels=2"), std::string::npos) << info;
    int st = 0;
    const std::string csv = test::RunCommand(pxdump + " csv " + dir.File("people.x04") + " 2>&1", &st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 30001);
    EXPECT_EQ(csv.find("pxlib"), std::string::npos);
}

TEST_F(PxSecondaryIndexTest, SeekThroughTheIndexFindsWhatAScanFinds) {
    auto t = MakePeople(30000);
    t->CreateIndex("Salary", {"Salary"}, false, false);
    t->CreateIndex("ByDept", {"Dept", "Salary"}, false, false);
    t->AppendRecord(Person("Late", "Comer", 3, 1050));  // after the index was made
    auto scan = [&](size_t field, std::optional<double> lo, std::optional<double> hi) {
        std::vector<uint32_t> out;
        Record r;
        for (uint32_t k = 0; k < t->RecordCount(); ++k) {
            t->ReadRecord(k, r);
            if (r[field].IsNull()) continue;
            const double v = r[field].kind == ValueKind::Int ? static_cast<double>(r[field].i) : r[field].d;
            if ((!lo || v >= *lo) && (!hi || v <= *hi)) out.push_back(k);
        }
        return out;
    };
    struct Case {
        size_t field;
        std::optional<double> lo, hi;
    };
    const std::vector<Case> cases = {
        {3, 1050, 1050},
        {3, 1000, 1000},
        {3, 1096, 1096},
        {3, 5000, 5000},
        {3, 1040, 1044},
        {3, std::nullopt, 1003},
        {3, 1090, std::nullopt},
        {3, std::nullopt, std::nullopt},
        {2, 3, 3},
        {2, 0, 1},
        {2, 9, 9},
    };
    for (const auto& c : cases) {
        Value lo, hi;
        if (c.lo) lo.SetDouble(*c.lo);
        if (c.hi) hi.SetDouble(*c.hi);
        if (c.field == 2 && c.lo) lo.SetInt(static_cast<int64_t>(*c.lo));
        if (c.field == 2 && c.hi) hi.SetInt(static_cast<int64_t>(*c.hi));
        std::vector<uint32_t> found;
        ASSERT_TRUE(t->SeekIndex(c.field, c.lo ? &lo : nullptr, c.hi ? &hi : nullptr, found));
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, scan(c.field, c.lo, c.hi)) << c.field << " " << c.lo.value_or(-1) << ".." << c.hi.value_or(-1);
    }
    std::vector<uint32_t> found;
    EXPECT_FALSE(t->SeekIndex(1, nullptr, nullptr, found));  // no index begins with First
    Value big;
    big.SetInt(100000);  // more than a short holds
    EXPECT_FALSE(t->SeekIndex(2, &big, &big, found));
}

TEST_F(PxSecondaryIndexTest, UpdatesInPlaceKeepEveryIndexFieldCurrent) {
    auto t = MakePeople(3000);
    t->CreateIndex("ByDept", {"Dept", "Salary"}, false, false);
    // The records of department 3 in index order, (salary, key), as the records say.
    auto expected = [](Table& x) {
        std::vector<std::tuple<double, std::string, std::string, uint32_t>> rows;
        Record r;
        for (uint32_t k = 0; k < x.RecordCount(); ++k)
            if (x.ReadRecord(k, r) && !r[2].IsNull() && r[2].i == 3)
                rows.emplace_back(r[3].IsNull() ? -1e300 : r[3].d, r[0].s, r[1].s, k);
        std::sort(rows.begin(), rows.end());
        std::vector<uint32_t> out;
        for (const auto& row : rows) out.push_back(std::get<3>(row));
        return out;
    };
    auto seek = [](Table& x) {
        Value three;
        three.SetInt(3);
        std::vector<uint32_t> found;
        EXPECT_TRUE(x.SeekIndex(2, &three, &three, found));
        return found;
    };
    Record r;
    // The composite index's second field, changed in place (the key stays): its order changes.
    for (uint32_t k = 0; k < t->RecordCount(); k += 7) {
        t->ReadRecord(k, r);
        if (r[2].IsNull() || r[2].i != 3) continue;
        r[3].SetDouble(5000.0 - r[3].d);
        t->UpdateRecord(k, r);
    }
    EXPECT_EQ(seek(*t), expected(*t));
    // Under one hold: a field change, then a change of the first field, then of no index field.
    {
        TableLock lock(*t, LockMode::Exclusive);
        t->ReadRecord(11, r);
        r[2].SetInt(3);
        r[3].SetNull();
        t->UpdateRecord(11, r);
        t->ReadRecord(12, r);
        r[2].SetInt(3);
        t->UpdateRecord(12, r);
    }
    EXPECT_EQ(seek(*t), expected(*t));
    t->Close();
    auto other = OpenParadoxTable(Path(), OpenMode::ReadOnly);
    EXPECT_EQ(seek(*other), expected(*other));
}

TEST_F(PxSecondaryIndexTest, EveryChangeKeepsTheIndexCurrent) {
    const std::string pxdump = Pxdump();
    if (pxdump.empty()) GTEST_SKIP() << "pxlib is not installed";
    auto t = MakePeople(400);
    t->CreateIndex("Dept", {"Dept"}, false, false);
    struct Step {
        const char* what;
        std::function<void(Table&)> change;
    };
    const std::vector<Step> steps = {
        {"insert", [](Table& x) { x.AppendRecord(Person("AAA", "new", 2, 5)); }},
        {"insert blank", [](Table& x) { x.AppendRecord(Person("ZZZ", "new", std::nullopt, 5)); }},
        {"update indexed field",
         [](Table& x) {
             Record r;
             x.ReadRecord(10, r);
             r[2].SetInt(-7);
             x.UpdateRecord(10, r);
         }},
        {"update key field",
         [](Table& x) {
             Record r;
             x.ReadRecord(20, r);
             r[0].SetText("moved");
             x.UpdateRecord(20, r);
         }},
        {"delete", [](Table& x) { x.DeleteRecord(0); }},
        {"delete many",
         [](Table& x) {
             TableLock lock(x, LockMode::Exclusive);
             for (int k = 0; k < 150; ++k) x.DeleteRecord(5);
         }},
    };
    for (const auto& step : steps) {
        step.change(*t);
        EXPECT_EQ(IndexRowsChecked(pxdump, "people.x03"), ExpectedDeptRows(*t)) << step.what;
    }
}

TEST_F(PxSecondaryIndexTest, FilesAfterManyChangesEqualFreshlyBuiltOnes) {
    // Random inserts, updates of the key, of indexed fields and of other fields, and deletes,
    // one by one and in groups under one hold. After each group the six index files must be
    // byte for byte what making the indexes anew over a copy of the table writes.
    CreateOptions o;
    o.level = 7;
    std::vector<FieldDesc> fields = PeopleFields();
    fields[4] = Fld("Notes", fldtype::kBlob, fldsub::kMemo, 200);  // long records: few to a block, many splits
    auto t = CreateParadoxTable(Path(), fields, o, 2);
    struct Ix {
        const char* name;
        std::vector<std::string> fields;
        bool unique;
    };
    // A single field, a composite one holding a key field, and a unique one.
    const std::vector<Ix> indexes = {
        {"Dept", {"Dept"}, false}, {"ByFirst", {"First", "Dept"}, false}, {"PayId", {"Salary"}, true}};
    const std::vector<std::string> files = {"people.x03", "people.y03", "people.xg0",
                                            "people.yg0", "people.xg1", "people.yg1"};
    std::mt19937 rng(20261210);
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    std::set<std::string> names;
    auto newName = [&] {
        for (;;) {
            const std::string s = Name(static_cast<int>(pick(100000)));
            if (names.insert(s).second) return s;
        }
    };
    int pay = 0;  // salaries stay unique, or are blank
    auto newPay = [&](Record& r) {
        if (pick(6) == 0)
            r[3].SetNull();
        else
            r[3].SetDouble(100.0 + 0.5 * ++pay);
    };
    auto newDept = [&](Record& r) {
        if (pick(5) == 0)
            r[2].SetNull();
        else
            r[2].SetInt(static_cast<int>(pick(7)) - 2);
    };
    auto insert = [&](Table& x, const std::string& last) {
        Record r = Person(last, "f" + std::to_string(pick(4)), 0, 0);
        newDept(r);
        newPay(r);
        x.AppendRecord(r);
    };
    {
        // In key order, so every block starts full and the first inserts split them.
        for (int k = 0; k < 300; ++k) newName();
        TableLock lock(*t, LockMode::Exclusive);
        for (const auto& last : names) insert(*t, last);
    }
    for (const auto& ix : indexes) t->CreateIndex(ix.name, ix.fields, ix.unique, false);
    auto usedBlocks = [&] { return int{GetLe16(test::ReadBytes(Path()).data() + 0x0A)}; };
    int blocks = usedBlocks(), newBlocks = 0;

    // The files' bytes but for the time of writing a data file carries at 0x60.
    auto read = [&](const test::TempDir& where) {
        std::vector<std::string> bytes;
        for (const auto& f : files) {
            bytes.push_back(test::ReadBytes(where.File(f)));
            if (f[7] == 'x' && bytes.back().size() >= 0x64) bytes.back().replace(0x60, 4, 4, '\0');
        }
        return bytes;
    };
    auto current = [&] { return read(dir); };
    auto freshlyBuilt = [&] {
        test::TempDir other;
        for (const char* f : {"people.db", "people.px", "people.mb"})
            std::filesystem::copy_file(dir.File(f), other.File(f));
        auto copy = OpenParadoxTable(other.File("people.db"), OpenMode::ReadWrite);
        for (const auto& ix : indexes) copy->CreateIndex(ix.name, ix.fields, ix.unique, false);
        copy->Close();
        return read(other);
    };
    auto keyOf = [](const Record& r) { return r[0].s; };
    int tail = 0;
    auto appendLast = [&](Table& x) {  // after every record in the table and in each index
        Record r = Person("Z" + std::to_string(10000 + ++tail), "zz", 30000, 1e6 + ++pay);
        names.insert(r[0].s);
        x.AppendRecord(r);
    };
    auto change = [&](Table& x) {
        Record r;
        const uint32_t at = pick(x.RecordCount());
        const uint32_t what = pick(20);
        if (what < 8 || x.RecordCount() < 50) {
            insert(x, newName());
        } else if (what < 9) {
            appendLast(x);
        } else if (what < 12) {  // the key changes: the record moves
            x.ReadRecord(at, r);
            names.erase(keyOf(r));
            r[0].SetText(newName());
            if (pick(2)) newDept(r);
            x.UpdateRecord(at, r);
        } else if (what < 15) {  // indexed fields change, the record stays
            x.ReadRecord(at, r);
            if (pick(2))
                newDept(r);
            else
                newPay(r);
            if (pick(3) == 0) r[1].SetText("f" + std::to_string(pick(4)));  // a key field in one index
            x.UpdateRecord(at, r);
        } else if (what < 16) {  // no indexed field changes
            x.ReadRecord(at, r);
            r[5].SetBool(pick(2) != 0);
            x.UpdateRecord(at, r);
        } else {  // a delete, often of the first record, so the first block runs empty now and then
            const uint32_t gone = what < 17 ? at : what < 18 ? x.RecordCount() - 1 : 0;
            x.ReadRecord(gone, r);
            names.erase(keyOf(r));
            x.DeleteRecord(gone);
        }
    };
    for (int group = 0; group < 120; ++group) {
        const uint32_t n = pick(3) == 0 ? 1 + pick(12) : 1;
        if (n == 1) {
            change(*t);
        } else {
            TableLock lock(*t, LockMode::Exclusive);
            for (uint32_t k = 0; k < n; ++k) change(*t);
        }
        ASSERT_EQ(current(), freshlyBuilt()) << "after group " << group;
        newBlocks += std::max(0, usedBlocks() - blocks);
        blocks = usedBlocks();
    }
    // One by one after everything and back: the last block of each index fills up, a new one
    // follows it, and they run empty again.
    for (int k = 0; k < 340; ++k) {
        if (k < 170)
            appendLast(*t);
        else
            t->DeleteRecord(t->RecordCount() - 1);
        ASSERT_EQ(current(), freshlyBuilt()) << "at the end, step " << k;
    }
    EXPECT_GE(newBlocks, 10) << "too few block splits to tell";

    // A value the unique index holds already is refused, and no file changes.
    const std::vector<std::string> before = current();
    Record r;
    for (uint32_t k = 0; k == 0 || r[3].IsNull(); ++k) t->ReadRecord(k, r);
    const double taken = r[3].d;
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            if (attempt == 0) {
                t->AppendRecord(Person("Z" + newName(), "f", 1, taken));
            } else {
                t->ReadRecord(t->RecordCount() - 1, r);
                if (!r[3].IsNull() && r[3].d == taken) t->ReadRecord(0, r);
                r[3].SetDouble(taken);
                t->UpdateRecord(t->RecordCount() - 1, r);
            }
            ADD_FAILURE() << "a repeated unique value was taken (" << attempt << ")";
        } catch (const EngineError& e) {
            EXPECT_EQ(CodeOf(e), errc::kKeyViolation) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("Key violation", 0), 0u) << e.what();
        }
    }
    EXPECT_EQ(current(), before);
    // The next change is still followed exactly.
    change(*t);
    EXPECT_EQ(current(), freshlyBuilt());
    t->Close();
    // And the independent reader agrees with the table.
    const std::string pxdump = Pxdump();
    if (!pxdump.empty()) {
        auto reopened = OpenParadoxTable(Path(), OpenMode::ReadOnly);
        EXPECT_EQ(IndexRowsChecked(pxdump, "people.x03"), ExpectedDeptRows(*reopened));
    }
}

TEST_F(PxSecondaryIndexTest, IndexesAreListedCountedAndDropped) {
    {
        auto t = MakePeople(20);
        t->CreateIndex("Dept", {"Dept"}, false, false);
        t->CreateIndex("ByPay", {"Salary", "Dept"}, true, false);
        EXPECT_EQ(t->Properties().indexCount, 3u);
    }
    auto t = OpenParadoxTable(Path(), OpenMode::ReadWrite);
    const auto indexes = t->Indexes();
    ASSERT_EQ(indexes.size(), 3u);
    EXPECT_TRUE(indexes[0].primary);
    EXPECT_EQ(indexes[0].fields, "Last;First");
    // Files are found in name order: .X03 before .XG0.
    EXPECT_EQ(indexes[1].name, "Dept");
    EXPECT_EQ(indexes[1].fields, "Dept");
    EXPECT_FALSE(indexes[1].primary || indexes[1].unique || indexes[1].descending);
    EXPECT_EQ(indexes[2].name, "ByPay");
    EXPECT_EQ(indexes[2].fields, "Salary;Dept");
    EXPECT_TRUE(indexes[2].unique);
    EXPECT_EQ(t->Properties().indexCount, 3u);
    EXPECT_EQ(test::ReadBytes(dir.File("people.xg0"))[0x55], 0x21);
    EXPECT_EQ(test::ReadBytes(dir.File("people.x03"))[0x55], 0x01);

    EXPECT_TRUE(t->DropIndex("bypay"));
    EXPECT_FALSE(t->DropIndex("ByPay"));
    EXPECT_FALSE(Exists("people.xg0") || Exists("people.yg0"));
    EXPECT_EQ(t->Properties().indexCount, 2u);
    EXPECT_TRUE(t->DropIndex("DEPT"));
    EXPECT_FALSE(Exists("people.x03") || Exists("people.y03"));
    EXPECT_EQ(OpenParadoxTable(Path(), OpenMode::ReadOnly)->Indexes().size(), 1u);
}

TEST_F(PxSecondaryIndexTest, UniqueIndexRefusesEqualValues) {
    auto t = MakePeople(10);  // Dept repeats
    try {
        t->CreateIndex("U", {"Dept"}, true, false);
        ADD_FAILURE() << "a unique index over repeated values was made";
    } catch (const EngineError& e) {
        EXPECT_EQ(CodeOf(e), errc::kKeyViolation);
    }
    EXPECT_FALSE(Exists("people.xg0") || Exists("people.yg0"));
    EXPECT_EQ(t->Indexes().size(), 1u);

    t->CreateIndex("U", {"Salary"}, true, false);
    Record r;
    t->ReadRecord(3, r);
    const double taken = r[3].d;
    const uint32_t before = t->RecordCount();
    EXPECT_THROW(t->AppendRecord(Person("New", "One", 1, taken)), EngineError);
    EXPECT_EQ(t->RecordCount(), before);
    t->ReadRecord(4, r);
    r[3].SetDouble(taken);
    EXPECT_THROW(t->UpdateRecord(4, r), EngineError);
    // Its own value, a new value and blanks are fine.
    t->ReadRecord(3, r);
    r[1].SetText("Same");
    t->UpdateRecord(3, r);
    t->AppendRecord(Person("New", "One", 1, 123456));
    Record blank = Person("B1", "x", 1, 0);
    blank[3].SetNull();
    t->AppendRecord(blank);
    blank[0].SetText("B2");
    t->AppendRecord(blank);
    EXPECT_EQ(t->RecordCount(), before + 3);
}

TEST_F(PxSecondaryIndexTest, IndexesTheFilesCannotHoldAreRefused) {
    struct Case {
        const char* what;
        std::vector<std::string> fields;
        const char* name;
        bool unique, descending;
        int level;
        int code;
    };
    const std::vector<Case> cases = {
        {"descending", {"Dept"}, "D", false, true, 7, errc::kNotSupported},
        {"first key field first", {"Last", "Dept"}, "K", false, false, 7, errc::kNotSupported},
        {"memo field", {"Notes"}, "M", false, false, 7, errc::kNotSupported},
        {"logical field", {"Active"}, "L", false, false, 7, errc::kNotSupported},
        {"unique below level 7", {"Salary"}, "U", true, false, 5, errc::kNotSupported},
        {"field name for other fields", {"Salary"}, "Dept", false, false, 7, errc::kInvalidParameter},
        {"field twice", {"Dept", "Dept"}, "Twice", false, false, 7, errc::kInvalidParameter},
        {"unknown field", {"Nope"}, "X", false, false, 7, errc::kSqlBind},
    };
    for (const auto& c : cases) {
        auto t = MakePeople(5, c.level);
        try {
            t->CreateIndex(c.name, c.fields, c.unique, c.descending);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const EngineError& e) {
            EXPECT_EQ(CodeOf(e), c.code) << c.what << ": " << e.what();
        }
        t->Close();
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"people.db", "people.mb", "people.px"})) << c.what;
    }
    CreateOptions o;
    auto unkeyed = CreateParadoxTable(dir.File("flat.db"), PeopleFields(), o, 0);
    EXPECT_THROW(unkeyed->CreateIndex("Dept", {"Dept"}, false, false), EngineError);
}

TEST_F(PxSecondaryIndexTest, DamagedIndexLeavesTheTableReadableButNotWritable) {
    {
        auto t = MakePeople(50);
        t->CreateIndex("Dept", {"Dept"}, false, false);
    }
    std::string x = test::ReadBytes(dir.File("people.x03"));
    x[0x21] = 9;  // a field count the record size does not match
    test::WriteBytes(dir.File("people.x03"), x);
    auto t = OpenParadoxTable(Path(), OpenMode::ReadWrite);
    EXPECT_EQ(t->RecordCount(), 50u);
    Record r;
    EXPECT_TRUE(t->ReadRecord(49, r));
    EXPECT_EQ(t->Indexes().size(), 1u);
    try {
        t->AppendRecord(Person("New", "One", 1, 1));
        ADD_FAILURE() << "wrote past a damaged index";
    } catch (const EngineError& e) {
        EXPECT_EQ(CodeOf(e), errc::kCorruptFile);
        EXPECT_NE(std::string(e.what()).find("people.x03"), std::string::npos) << e.what();
    }
    EXPECT_EQ(t->RecordCount(), 50u);
    // Without the files the table is writable again.
    std::filesystem::remove(dir.File("people.x03"));
    std::filesystem::remove(dir.File("people.y03"));
    t->Refresh();
    t->AppendRecord(Person("New", "One", 1, 1));
    EXPECT_EQ(t->RecordCount(), 51u);
}

}  // namespace
