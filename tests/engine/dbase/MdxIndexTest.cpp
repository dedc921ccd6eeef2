// The production index (.MDX): key encodings, tags kept current through every kind of change
// (checked against the records themselves and against a tag built afresh), lookups against a
// scan, and index files Tessel cannot keep, which leave the table readable and unwritten.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>

#include "DbfTestUtil.h"
#include "base/EngineError.h"
#include "engine/dbase/MdxIndex.h"

using namespace dbftest;
using namespace tessel::engine;
using namespace tessel::engine::dbase;

namespace {

std::string Hex(const char* p, size_t n) {
    return FormatHex(std::string_view(p, n)).substr(2);
}

TEST(MdxKeys, NumbersAreEncodedAsDecimalDigitsAndSortLikeNumbers) {
    struct Case {
        const char* text;
        const char* hex;
    };
    const std::vector<Case> cases = {
        {"    123.45", "371512345000000000000000"}, {"         0", "340100000000000000000000"},
        {"      0.00", "340100000000000000000000"}, {"        -3", "358530000000000000000000"},
        {"      0.05", "330550000000000000000000"}, {"     0.005", "320550000000000000000000"},
        {"       100", "370d10000000000000000000"}, {"    -12.50", "368d12500000000000000000"},
        {"          ", "340100000000000000000000"},  // blank: as zero
        {"       ***", "340100000000000000000000"},  // not a number: as blank
    };
    for (const auto& c : cases) {
        char key[kMdxNumericKey];
        EncodeMdxNumber(c.text, key);
        EXPECT_EQ(Hex(key, sizeof key), c.hex) << c.text;
    }
    // Byte order is not number order across signs and exponents; the comparison is.
    std::vector<double> values = {-1e6,    -12345.678, -100,   -99.99, -1,        -0.5, -0.05,
                                  -0.0049, 0,          0.0049, 0.05,   0.5,       1,    9.99,
                                  10,      99.99,      100,    101,    12345.678, 1e6,  123456789012.5};
    std::vector<std::string> keys;
    for (double v : values) {
        char text[40], key[kMdxNumericKey];
        std::snprintf(text, sizeof text, "%.4f", v);
        EncodeMdxNumber(text, key);
        EXPECT_NEAR(MdxNumberValue(key), v, std::fabs(v) * 1e-12) << text;
        keys.emplace_back(key, sizeof key);
    }
    std::vector<std::string> shuffled = keys;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    std::sort(shuffled.begin(), shuffled.end(), [](const std::string& a, const std::string& b) {
        return CompareMdxKeys('N', a.data(), b.data(), kMdxNumericKey) < 0;
    });
    EXPECT_EQ(shuffled, keys);
}

// A table with a character, a number, a date and a second character field, and tags over
// each (the last one joined with the first).
class MdxIndexTest : public TempDirTest {
protected:
    std::vector<FieldDesc> Fields() const {
        return {Def("NAME", fldtype::kString, 0, 8), Def("AMOUNT", fldtype::kFloat, 0, 9, 2, 'N'),
                Def("BORN", fldtype::kDate), Def("CITY", fldtype::kString, 0, 4), Def("OK", fldtype::kBool)};
    }
    Record Row(std::mt19937& rng) const {
        Record r(5);
        const int name = static_cast<int>(rng() % 400);
        char text[16];
        std::snprintf(text, sizeof text, "n%d", name);
        if (name % 23 == 0)
            r[0].SetNull();
        else
            r[0].SetText(text);
        if (rng() % 17 == 0)
            r[1].SetNull();
        else
            r[1].SetDecimal(static_cast<int64_t>(rng() % 200001) - 100000, 2);
        if (rng() % 19 == 0)
            r[2].SetNull();
        else
            r[2].SetDate(DayNumber(1950, 1, 1) + static_cast<int64_t>(rng() % 20000));
        static const char* const kCities[] = {"A", "B", "C", "D", "E"};
        r[3].SetText(kCities[rng() % 5]);
        r[4].SetBool(rng() % 2);
        return r;
    }
    std::unique_ptr<DbfTable> MakeTable(const std::string& file, int rows, uint32_t seed) {
        std::mt19937 rng(seed);
        auto t = CreateDbfTable(Path(file), Fields());
        {
            TableLock lock(*t, LockMode::Exclusive);
            for (int k = 0; k < rows; ++k) t->AppendRecord(Row(rng));
        }
        return t;
    }
    static void AddTags(DbfTable& t) {
        t.CreateIndex("NAME", {"NAME"}, false, false);
        t.CreateIndex("AMOUNT", {"AMOUNT"}, false, false);
        t.CreateIndex("BYBORN", {"BORN"}, false, false);
        t.CreateIndex("CITYNAME", {"CITY", "NAME"}, false, false);
    }
    MdxFile ReadIndex(const std::string& file) { return MdxFile::Read(ReadAll(Path(file)), Path(file)); }

    // Every tag holds one entry per record, deleted ones too, in the order of the values, with
    // the key the record's values give (worked out here from the values, not the bytes).
    void ExpectTagsMatchRecords(const std::string& table, const std::string& index) {
        auto t = DbfTable::Open(Path(table), OpenMode::ReadOnly);
        MdxFile mdx = ReadIndex(index);
        ASSERT_EQ(mdx.Tags().size(), 4u);
        std::vector<std::string> names;
        std::vector<double> amounts, days;
        std::vector<std::string> cities;
        std::string raw;
        for (uint32_t k = 0; k < t->RecordCount(); ++k) {
            t->ReadRawRecord(k, raw);
            names.push_back(raw.substr(1, 8));
            const std::string amount = raw.substr(9, 9);
            amounts.push_back(amount.find_first_not_of(' ') == std::string::npos ? 0 : std::stod(amount));
            const std::string born = raw.substr(18, 8);
            days.push_back(born == "        "
                               ? 0
                               : double(DayNumber(std::stoi(born.substr(0, 4)), std::stoi(born.substr(4, 2)),
                                                  std::stoi(born.substr(6, 2))) +
                                        kMdxJulianOffset));
            cities.push_back(raw.substr(26, 4));
        }
        for (size_t tag = 0; tag < 4; ++tag) {
            const MdxEntries e = mdx.Entries(tag);
            ASSERT_EQ(e.Size(), t->RecordCount()) << mdx.Tags()[tag].name;
            std::vector<bool> seen(t->RecordCount(), false);
            const size_t len = mdx.Tags()[tag].keyLength;
            for (size_t k = 0; k < e.Size(); ++k) {
                const uint32_t r = e.recNos[k] - 1;
                ASSERT_LT(r, t->RecordCount());
                EXPECT_FALSE(seen[r]);
                seen[r] = true;
                const char* key = e.keys.data() + k * len;
                const std::string_view keyText(key, len);
                switch (tag) {
                    case 0:
                        EXPECT_EQ(keyText, names[r]);
                        break;
                    case 1:
                        EXPECT_NEAR(MdxNumberValue(key), amounts[r], 1e-9);
                        break;
                    case 2:
                        EXPECT_EQ(MdxDateValue(key), days[r]);
                        break;
                    default:
                        EXPECT_EQ(keyText, cities[r] + names[r]);
                        break;
                }
                if (k == 0) continue;
                const uint32_t p = e.recNos[k - 1] - 1;
                const bool ordered = tag == 0   ? names[p] <= names[r]
                                     : tag == 1 ? amounts[p] <= amounts[r]
                                     : tag == 2 ? days[p] <= days[r]
                                                : cities[p] + names[p] <= cities[r] + names[r];
                EXPECT_TRUE(ordered) << mdx.Tags()[tag].name << " at " << k;
            }
        }
    }
};

TEST_F(MdxIndexTest, TagsFollowEveryChangeAndMatchTagsBuiltAfresh) {
    auto t = MakeTable("t.dbf", 3000, 1);
    AddTags(*t);
    EXPECT_EQ(t->Properties().indexCount, 4u);
    EXPECT_EQ(ReadAll(Path("t.dbf"))[28], 1);  // the header claims the index
    ExpectTagsMatchRecords("t.dbf", "t.mdx");
    // Appends (single and in a held batch, enough to split leaves), updates with and without a
    // change of key, deletes, raw writes and a pack, checked after each round.
    std::mt19937 rng(2);
    for (int round = 0; round < 6; ++round) {
        {
            TableLock lock(*t, LockMode::Exclusive);
            for (int k = 0; k < 400; ++k) t->AppendRecord(Row(rng));
        }
        for (int k = 0; k < 150; ++k) t->AppendRecord(Row(rng));
        Record rec;
        for (int k = 0; k < 300; ++k) {
            const uint32_t slot = rng() % t->RecordCount();
            if (!t->ReadRecord(slot, rec)) continue;
            if (k % 3 == 0)
                rec[4].SetBool(!rec[4].i);
            else
                rec = Row(rng);  // some keep their keys
            t->UpdateRecord(slot, rec);
        }
        for (int k = 0; k < 100; ++k) {
            const uint32_t slot = rng() % t->RecordCount();
            if (t->ReadRecord(slot, rec)) t->DeleteRecord(slot);
        }
        std::string raw;
        t->ReadRawRecord(5, raw);
        std::string other;
        t->ReadRawRecord(6, other);
        t->WriteRawRecord(5, other);
        t->WriteRawRecord(6, raw);
        if (round == 3) t->Pack();
        ExpectTagsMatchRecords("t.dbf", "t.mdx");
    }
    // The same tags built at once over a copy of the table hold the same entries.
    t->Close();
    WriteAll(Path("copy.dbf"), ReadAll(Path("t.dbf")));
    auto copy = DbfTable::Open(Path("copy.dbf"), OpenMode::ReadWrite);
    AddTags(*copy);  // the claimed copy.mdx does not exist: a new one is made
    copy->Close();
    MdxFile kept = ReadIndex("t.mdx"), built = ReadIndex("copy.mdx");
    for (size_t tag = 0; tag < 4; ++tag) {
        EXPECT_EQ(kept.Entries(tag).keys, built.Entries(tag).keys) << tag;
        EXPECT_EQ(kept.Entries(tag).recNos, built.Entries(tag).recNos) << tag;
    }
}

TEST_F(MdxIndexTest, LookupsFindWhatAScanFinds) {
    auto t = MakeTable("t.dbf", 2500, 3);
    AddTags(*t);
    Record rec;
    for (uint32_t k = 0; k < 300; ++k)
        if (t->ReadRecord(k * 7, rec)) t->DeleteRecord(k * 7);
    auto scan = [&](size_t field, const Value* lo, const Value* hi) {
        std::vector<uint32_t> out;
        for (uint32_t k = 0; k < t->RecordCount(); ++k) {
            if (!t->ReadRecord(k, rec) || rec[field].IsNull()) continue;
            const Value& v = rec[field];
            auto cmp = [&](const Value& b) {
                if (v.kind == ValueKind::Text) {
                    std::string padded = v.s;
                    padded.resize(t->Fields()[field].units1, ' ');
                    std::string bound = b.s;
                    return padded < bound                                                                 ? -1
                           : padded.compare(0, bound.size(), bound) == 0 && padded.size() == bound.size() ? 0
                           : padded > bound                                                               ? 1
                                                                                                          : -1;
                }
                const double x = v.kind == ValueKind::Date ? double(v.i) : v.AsDouble();
                const double y = b.kind == ValueKind::Date ? double(b.i) : b.AsDouble();
                return x < y ? -1 : x > y ? 1 : 0;
            };
            if ((lo && cmp(*lo) < 0) || (hi && cmp(*hi) > 0)) continue;
            out.push_back(k);
        }
        return out;
    };
    struct Case {
        size_t field;
        std::optional<Value> lo, hi;
    };
    const std::vector<Case> cases = {
        {0, Value::Text("n17     "), Value::Text("n17     ")},
        {0, Value::Text("n2"), Value::Text("n3      ")},
        {0, std::nullopt, Value::Text("n100    ")},
        {0, Value::Text("n399"), std::nullopt},
        {0, Value::Text("x"), std::nullopt},
        {1, Value::Double(-5.5), Value::Double(250.75)},
        {1, Value::Double(0), Value::Double(0)},
        {1, std::nullopt, Value::Double(-900)},
        {1, Value::Double(990.5), std::nullopt},
        {2, Value::Date(1960, 1, 1), Value::Date(1960, 12, 31)},
        {2, std::nullopt, Value::Date(1950, 6, 1)},
        {3, Value::Text("B"), Value::Text("B   ")},  // the composite tag by its first field
    };
    for (const auto& c : cases) {
        const Value* lo = c.lo ? &*c.lo : nullptr;
        const Value* hi = c.hi ? &*c.hi : nullptr;
        ASSERT_TRUE(t->CanSeekIndex(c.field));
        std::vector<uint32_t> found;
        ASSERT_TRUE(t->SeekIndex(c.field, lo, hi, found)) << c.field;
        // In the order of the field's values.
        for (size_t k = 1; k < found.size(); ++k) {
            Record a, b;
            t->ReadRecord(found[k - 1], a);
            t->ReadRecord(found[k], b);
            if (a[c.field].kind == ValueKind::Text)
                EXPECT_LE(a[c.field].s, b[c.field].s);
            else
                EXPECT_LE(a[c.field].AsDouble() + double(a[c.field].i), b[c.field].AsDouble() + double(b[c.field].i));
        }
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, scan(c.field, lo, hi))
            << "field " << c.field << " " << (lo ? FormatValue(*lo) : "-") << " .. " << (hi ? FormatValue(*hi) : "-");
    }
    EXPECT_FALSE(t->CanSeekIndex(4));  // no tag over OK
}

TEST_F(MdxIndexTest, UniqueTagsKeepTheFirstRecordOfEachKeyAndAreNotSearched) {
    auto t = CreateDbfTable(Path("u.dbf"), {Def("CODE", fldtype::kString, 0, 3)});
    for (const char* code : {"b", "a", "b", "c", "a"}) t->AppendRecord({Value::Text(code)});
    t->CreateIndex("CODE", {"CODE"}, true, false);
    t->AppendRecord({Value::Text("c")});
    t->AppendRecord({Value::Text("d")});
    EXPECT_TRUE(t->Indexes()[0].unique);
    EXPECT_FALSE(t->CanSeekIndex(0));
    const MdxEntries e = ReadIndex("u.mdx").Entries(0);
    EXPECT_EQ(e.keys, "a  b  c  d  ");
    EXPECT_EQ(e.recNos, (std::vector<uint32_t>{2, 1, 4, 7}));
    t->UpdateRecord(1, {Value::Text("e")});  // the first 'a' goes: the second one takes its place
    EXPECT_EQ(ReadIndex("u.mdx").Entries(0).recNos, (std::vector<uint32_t>{5, 1, 4, 7, 2}));
}

TEST_F(MdxIndexTest, TagsTheFileCannotHoldAreRefusedAndChangeNothing) {
    auto t = CreateDbfTable(
        Path("r.dbf"), {Def("NAME", fldtype::kString, 0, 120), Def("N", fldtype::kInt16), Def("OK", fldtype::kBool),
                        Def("NOTES", fldtype::kBlob, fldsub::kMemo), Def("SHORT", fldtype::kString, 0, 5)});
    t->AppendRecord({Value::Text("x"), Value::Int(1), Value::Bool(true), Value::Text("memo"), Value::Text("s")});
    const std::string before = ReadAll(Path("r.dbf"));
    struct Case {
        const char* name;
        std::vector<std::string> fields;
        bool descending;
        int code;
    };
    const std::vector<Case> cases = {
        {"OK", {"OK"}, false, errc::kNotSupported},              // logical
        {"NOTES", {"NOTES"}, false, errc::kNotSupported},        // memo
        {"NAME", {"NAME"}, false, errc::kNotSupported},          // key longer than 100
        {"MIX", {"SHORT", "N"}, false, errc::kNotSupported},     // joins character fields only
        {"DOWN", {"N"}, true, errc::kNotSupported},              // descending
        {"ELEVENCHARS", {"N"}, false, errc::kInvalidParameter},  // tag names have 10
        {"9LIVES", {"N"}, false, errc::kInvalidParameter},
        {"X", {"NOSUCH"}, false, errc::kInvalidParameter},
    };
    for (const auto& c : cases) {
        try {
            t->CreateIndex(c.name, c.fields, false, c.descending);
            ADD_FAILURE() << c.name;
        } catch (const EngineError& e) {
            EXPECT_EQ(e.Code(), c.code) << c.name << ": " << e.what();
        }
        EXPECT_FALSE(Exists(Path("r.mdx"))) << c.name;
        EXPECT_EQ(ReadAll(Path("r.dbf")), before) << c.name;
    }
    // At most 47 tags.
    for (int k = 0; k < 47; ++k) t->CreateIndex("T" + std::to_string(k), {"N"}, false, false);
    EXPECT_THROW(t->CreateIndex("T47", {"N"}, false, false), EngineError);
    EXPECT_EQ(t->Indexes().size(), 47u);
    EXPECT_THROW(t->CreateIndex("t3", {"N"}, false, false), EngineError);  // exists
    // Dropping the last tag takes the file and the header's claims with it.
    for (int k = 0; k < 47; ++k) ASSERT_TRUE(t->DropIndex("t" + std::to_string(k)));
    EXPECT_FALSE(t->DropIndex("t0"));
    EXPECT_FALSE(Exists(Path("r.mdx")));
    const std::string after = ReadAll(Path("r.dbf"));
    EXPECT_EQ(after[28], 0);
    EXPECT_EQ(after.substr(32), before.substr(32));  // the field flags are clear again
}

TEST_F(MdxIndexTest, IndexFilesTesselCannotKeepLeaveTheTableReadableButUnwritten) {
    MakeTable("t.dbf", 600, 4)->CreateIndex("NAME", {"NAME"}, false, false);
    const std::string good = ReadAll(Path("t.mdx"));
    const uint32_t root = static_cast<uint8_t>(good[4 * 512]) | static_cast<uint8_t>(good[4 * 512 + 1]) << 8;
    auto withByte = [&](size_t at, char v) {
        std::string b = good;
        b[at] = v;
        return b;
    };
    std::string swapped = good;  // the first and the last key of the first leaf change places
    std::swap_ranges(swapped.begin() + 6 * 512 + 12, swapped.begin() + 6 * 512 + 20,
                     swapped.begin() + 6 * 512 + 12 + 83 * 12);
    struct Case {
        const char* what;
        std::string bytes;
        bool listed;            // the tag is still listed
        bool searched = false;  // and used for lookups (its keys are in byte order)
    };
    const std::vector<Case> cases = {
        {"cut short", good.substr(0, 1500), false},
        {"root beyond the end", withByte(4 * 512 + 1, 0x7F), false},
        {"too many keys in a node", withByte(root * 512 + 1, 0x7F), false},
        {"a node pointing at itself",
         [&] {
             std::string b = good;
             std::memcpy(&b[root * 512 + 8], &good[4 * 512], 4);
             return b;
         }(),
         false},
        {"a calculated key",
         [&] {
             std::string b = good;
             std::memcpy(&b[4 * 512 + 24], "UPPER(NAME)", 12);
             return b;
         }(),
         true},
        {"descending", withByte(4 * 512 + 8, 0x18), true},
        {"a FOR condition", withByte(4 * 512 + 245, 1), true},
        {"keys out of byte order", swapped, true},
        {"another program's character keys",
         [&] {
             std::string b = good;
             std::fill(b.begin() + 47, b.begin() + 544, '\0');  // the header's unused bytes
             return b;
         }(),
         true, true},
    };
    for (const auto& c : cases) {
        WriteAll(Path("t.mdx"), c.bytes);
        auto t = DbfTable::Open(Path("t.dbf"), OpenMode::ReadWrite);
        EXPECT_EQ(Rows(*t).size(), 600u) << c.what;
        EXPECT_EQ(t->Indexes().size(), c.listed ? 1u : 0u) << c.what;
        std::vector<uint32_t> found;
        EXPECT_EQ(t->SeekIndex(0, nullptr, nullptr, found), c.searched) << c.what;
        const std::string table = ReadAll(Path("t.dbf"));
        try {
            t->AppendRecord(Record(5));
            ADD_FAILURE() << c.what << ": written";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.Code(), errc::kReadOnly) << c.what;
            EXPECT_NE(std::string(e.what()).find("t.mdx"), std::string::npos) << c.what << ": " << e.what();
        }
        EXPECT_EQ(ReadAll(Path("t.dbf")), table) << c.what;
        EXPECT_EQ(ReadAll(Path("t.mdx")), c.bytes) << c.what;
    }
}

TEST_F(MdxIndexTest, AnIndexLeftBehindByAnotherWriterIsNotSearchedAndIsBuiltAgain) {
    auto t = MakeTable("t.dbf", 200, 5);
    t->CreateIndex("NAME", {"NAME"}, false, false);
    t->Close();
    const std::string stale = ReadAll(Path("t.mdx"));
    {
        auto w = DbfTable::Open(Path("t.dbf"), OpenMode::ReadWrite);
        w->AppendRecord({Value::Text("zz"), Value::Null(), Value::Null(), Value::Text("A"), Value::Null()});
    }
    WriteAll(Path("t.mdx"), stale);  // as a program that does not know the index leaves it
    auto r = DbfTable::Open(Path("t.dbf"), OpenMode::ReadWrite);
    std::vector<uint32_t> found;
    const Value zz = Value::Text("zz      ");
    EXPECT_FALSE(r->SeekIndex(0, &zz, &zz, found));  // it would miss the new record
    r->AppendRecord({Value::Text("zz"), Value::Null(), Value::Null(), Value::Text("B"), Value::Null()});
    ASSERT_TRUE(r->SeekIndex(0, &zz, &zz, found));
    EXPECT_EQ(found, (std::vector<uint32_t>{200, 201}));
    EXPECT_EQ(ReadIndex("t.mdx").EntryCount(0), 202u);
}

TEST_F(MdxIndexTest, AnIndexThatCannotBeWrittenKeepsTheTableAsItWas) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
    MakeTable("t.dbf", 20, 7)->CreateIndex("NAME", {"NAME"}, false, false);
    ASSERT_EQ(::chmod(Path("t.mdx").c_str(), 0444), 0);
    const std::string before = ReadAll(Path("t.dbf"));
    auto t = DbfTable::Open(Path("t.dbf"), OpenMode::ReadWrite);
    try {
        t->AppendRecord(Record(5));
        ADD_FAILURE() << "written";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.Code(), errc::kReadOnly);
        EXPECT_NE(std::string(e.what()).find("t.mdx"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadAll(Path("t.dbf")), before);
}

TEST_F(MdxIndexTest, AClaimOfAMissingIndexIsClearedByTheFirstWrite) {
    auto t = MakeTable("t.dbf", 3, 6);
    t->CreateIndex("NAME", {"NAME"}, false, false);
    t->Close();
    ASSERT_EQ(std::remove(Path("t.mdx").c_str()), 0);
    auto r = DbfTable::Open(Path("t.dbf"), OpenMode::ReadWrite);
    EXPECT_TRUE(r->Indexes().empty());
    EXPECT_EQ(ReadAll(Path("t.dbf"))[28], 1);
    r->AppendRecord(Record(5));
    const std::string bytes = ReadAll(Path("t.dbf"));
    EXPECT_EQ(bytes[28], 0);
    EXPECT_EQ(bytes[32 + 31], 0);  // NAME's own flag
    EXPECT_FALSE(Exists(Path("t.mdx")));
}

}  // namespace

// Interop: an independent reader of production indexes (Perl's XBase::Index, through
// tests/fixtures/mdx_oracle.pl) walks every tag Tessel wrote, also after changes that split
// and empty leaves, and finds keys by descending the trees; python3-dbf reads the table whose
// header now claims the index. Skipped when the readers are not installed.
class MdxInteropTest : public MdxIndexTest {
protected:
    static bool Succeeds(const std::string& command) {
        int status;
        RunCommand(command, &status);
        return status == 0;
    }
    static bool PerlReaderAvailable() {
        return Exists("/usr/bin/perl") && Succeeds("/usr/bin/perl -MXBase::Index -e 1 2>/dev/null");
    }
    std::string Oracle(const std::string& args) {
        int status;
        const std::string out =
            RunCommand("/usr/bin/perl " TESSEL_FIXTURES_DIR "/mdx_oracle.pl " + args + " 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
        return out;
    }
    // What the reader should print for the whole file: the tags by name, each in key order.
    static std::string Expected(const MdxFile& mdx) {
        std::map<std::string, size_t> byName;
        for (size_t t = 0; t < mdx.Tags().size(); ++t) byName[mdx.Tags()[t].name] = t;
        std::string out;
        for (const auto& [name, t] : byName) {
            out += "tag " + name + "\n";
            const MdxEntries e = mdx.Entries(t);
            for (size_t k = 0; k < e.Size(); ++k)
                out += Hex(e.keys.data() + k * mdx.Tags()[t].keyLength, mdx.Tags()[t].keyLength) + " " +
                       std::to_string(e.recNos[k]) + "\n";
        }
        return out;
    }
};

TEST_F(MdxInteropTest, AnotherReaderWalksAndSearchesTheTags) {
    if (!PerlReaderAvailable() || !Succeeds("/usr/bin/python3 -c 'import dbf' 2>/dev/null"))
        GTEST_SKIP() << "Perl's XBase::Index or python3-dbf is not installed";
    auto t = MakeTable("t.dbf", 7500, 8);  // three levels in every tag
    AddTags(*t);
    std::mt19937 rng(9);
    Record rec;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(Oracle(Path("t.mdx")), Expected(ReadIndex("t.mdx"))) << "round " << round;
        // Every key the table has, and some it lacks, found by a descent of the tree.
        const MdxFile mdx = ReadIndex("t.mdx");
        for (const char* probe : {"n0      ", "n137    ", "n250    ", "n399    ", "n2      ", "n25     ", "zzz", " "}) {
            const std::string key = probe;
            MdxFile::Position at =
                mdx.Find(0, [&](const char* k) { return std::memcmp(k, key.data(), key.size()) < 0; });
            const char* found;
            uint32_t recNo;
            const std::string want =
                mdx.Next(0, at, found, recNo) ? Hex(found, 8) + " " + std::to_string(recNo) + "\n" : "none\n";
            EXPECT_EQ(Oracle(Path("t.mdx") + " NAME '" + key + "'"), want) << key;
        }
        // Changes in place: a batch of appends splits leaves, updates move keys, and one
        // name's records all change, which empties leaves.
        {
            TableLock lock(*t, LockMode::Exclusive);
            for (int k = 0; k < 700; ++k) t->AppendRecord(Row(rng));
            for (uint32_t k = 0; k < t->RecordCount(); ++k) {
                if (!t->ReadRecord(k, rec)) continue;
                if (rec[0].kind == ValueKind::Text && rec[0].s < "n15") {
                    rec[0].SetText("zz");
                    t->UpdateRecord(k, rec);
                } else if (k % 9 == 0) {
                    rec = Row(rng);
                    t->UpdateRecord(k, rec);
                }
            }
        }
    }
    t->Close();
    int status;
    const std::string out =
        RunCommand("/usr/bin/python3 " TESSEL_ORACLES_DIR "/dbfdump.py " + Path("t.dbf") + " 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("production-index=1"), std::string::npos) << out;
    EXPECT_NE(out.find("\nzz,"), std::string::npos) << out;
}
