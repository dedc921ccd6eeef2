// Tests of the Paradox table: every type, keys, writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <tuple>

#include <fcntl.h>
#include <unistd.h>

#include "PxTestUtil.h"
#include "engine/paradox/ParadoxTable.h"
#include "engine/paradox/PxFormat.h"
#include "support/TempDir.h"

using namespace tessel;
using namespace tessel::engine;
using namespace tessel::engine::paradox;
using tessel::test::Fld;

namespace {

std::string Hex(const uint8_t* p, size_t n) {
    std::string s;
    char b[4];
    for (size_t k = 0; k < n; ++k) {
        std::snprintf(b, sizeof b, "%02X", p[k]);
        s += b;
    }
    return s;
}

Record AllTypeRow(int k) {
    Record r(16);
    r[0] = Value::Int(k);
    r[1] = Value::Text(k % 3 == 0 ? "Müller, Jörg" : "Ann " + std::to_string(k));
    r[2] = Value::Date(1996, 5, 4);
    r[3] = Value::Int(-k);
    r[4] = Value::Double(12.5 + k);
    r[5] = Value::Double(-100.25);
    r[6] = Value::Bool(k % 2 == 0);
    r[7] = Value::Text(std::string(static_cast<size_t>(k * 37 % 3000), 'm'));  // leader, small, large
    r[8] = Value::Bytes(std::string(static_cast<size_t>(k * 101 % 5000), '\x01'));
    r[9] = Value::Text("{\\rtf1 x}");
    r[10] = Value::Null();
    r[11] = Value::Time(13, 30, 15, 250);
    r[12] = Value::Timestamp(2000, 1, 1, 12, 0, 0);
    r[13] = Value::Null();  // auto-increment
    r[14] = Value::Decimal(-12345 - k, 2);
    r[15] = Value::Bytes(std::string("\x01\x02\x00\x04", 4));
    return r;
}

}  // namespace

// Stored bytes of values, as other readers expect them.
TEST(ParadoxEncoding, IntegersDoublesAndBcd) {
    struct IntCase {
        int64_t v;
        size_t n;
        const char* hex;
    } ints[] = {{1, 2, "8001"},     {256, 2, "8100"},        {-1, 2, "7FFF"},           {-2, 4, "7FFFFFFE"},
                {0, 2, "8000"},     {728783, 4, "800B1ECF"}, {48615250, 4, "82E5CF52"}, {32767, 2, "FFFF"},
                {-32767, 2, "0001"}};
    for (const auto& c : ints) {
        uint8_t b[8] = {};
        EncodeInt(c.v, b, c.n);
        EXPECT_EQ(Hex(b, c.n), c.hex) << c.v;
        EXPECT_EQ(DecodeInt(b, c.n), c.v);
    }
    struct DblCase {
        double v;
        const char* hex;
    } dbls[] = {{100.5, "C059200000000000"},
                {-1.0, "400FFFFFFFFFFFFF"},
                {0.0, "8000000000000000"},
                {63082411200000.0, "C2CCAFC25B070000"}};
    for (const auto& c : dbls) {
        uint8_t b[8] = {};
        EncodeDouble(c.v, b);
        EXPECT_EQ(Hex(b, 8), c.hex) << c.v;
        EXPECT_EQ(DecodeDouble(b), c.v);
    }
    // BCD: 123.45 and -123.45 with two decimals.
    char digits[32];
    std::memset(digits, '0', 32);
    std::memcpy(digits + 27, "12345", 5);
    uint8_t b[17];
    EncodeBcd(false, 2, digits, b);
    EXPECT_EQ(Hex(b, 17),
              "C2000000000000000000000000000"
              "12345");
    EncodeBcd(true, 2, digits, b);
    EXPECT_EQ(Hex(b, 17),
              "42FFFFFFFFFFFFFFFFFFFFFFFFFFF"
              "EDCBA");
    bool neg;
    int dec;
    char back[32];
    ASSERT_TRUE(DecodeBcd(b, neg, dec, back));
    EXPECT_TRUE(neg);
    EXPECT_EQ(dec, 2);
    EXPECT_EQ(std::string(back, 32), std::string(digits, 32));
}

TEST(ParadoxTable, EveryTypeRoundTripsWithBlanksAsNull) {
    test::TempDir dir;
    const std::string path = dir.File("all.db");
    std::vector<Record> rows;
    {
        auto t = CreateParadoxTable(path, test::AllTypeFields(), {});
        Record blank(16);
        t->AppendRecord(blank);  // every field blank (auto-increment still numbers it)
        for (int k = 1; k <= 120; ++k) t->AppendRecord(AllTypeRow(k));
        t->Close();
    }
    auto t = OpenParadoxTable(path, OpenMode::ReadOnly);
    ASSERT_EQ(t->RecordCount(), 121u);
    EXPECT_EQ(t->Properties().level, 5u);  // time, timestamp, autoinc, BCD and bytes need level 5
    Record rec;
    t->ReadRecord(0, rec);
    for (size_t k = 0; k < rec.size(); ++k)
        if (k != 13) {
            EXPECT_TRUE(rec[k].IsNull()) << "field " << k;
        }
    EXPECT_EQ(rec[13], Value::Int(1));
    for (int k = 1; k <= 120; ++k) {
        t->ReadRecord(static_cast<uint32_t>(k), rec);
        Record want = AllTypeRow(k);
        want[13] = Value::Int(k + 1);
        if (want[7].s.empty()) want[7] = Value::Null();
        if (want[8].s.empty()) want[8] = Value::Null();
        for (size_t f = 0; f < want.size(); ++f) EXPECT_EQ(rec[f], want[f]) << "record " << k << " field " << f;
    }
}

TEST(ParadoxTable, DescriptorsCarryTheEngineCodes) {
    test::TempDir dir;
    auto t = CreateParadoxTable(dir.File("d.db"), test::AllTypeFields(), {}, 1);
    struct {
        uint16_t type, sub, u1, u2;
    } want[] = {{6, 0, 0, 0},  {1, 0, 20, 0},  {2, 0, 0, 0},  {5, 0, 0, 0},  {7, 21, 0, 0}, {7, 0, 0, 0},
                {4, 0, 0, 0},  {3, 22, 10, 0}, {3, 23, 0, 0}, {3, 24, 5, 0}, {3, 25, 0, 0}, {10, 0, 0, 0},
                {11, 0, 0, 0}, {6, 29, 0, 0},  {8, 0, 32, 2}, {9, 0, 4, 0}};
    const auto& f = t->Fields();
    ASSERT_EQ(f.size(), std::size(want));
    for (size_t k = 0; k < f.size(); ++k) {
        EXPECT_EQ(f[k].type, want[k].type) << k;
        EXPECT_EQ(f[k].subType, want[k].sub) << k;
        EXPECT_EQ(f[k].units1, want[k].u1) << k;
        EXPECT_EQ(f[k].units2, want[k].u2) << k;
    }
    const auto& p = t->Properties();
    EXPECT_EQ(p.typeName, "PARADOX");
    EXPECT_EQ(p.name, "d");
    EXPECT_EQ(p.languageDriver, "ANSIINTL");
    EXPECT_EQ(p.indexCount, 1u);
    EXPECT_EQ(p.valCheckCount, 0u);
    const auto idx = t->Indexes();
    ASSERT_EQ(idx.size(), 1u);
    EXPECT_TRUE(idx[0].primary);
    EXPECT_EQ(idx[0].fields, "Id");
}

TEST(ParadoxTable, CreatesAtTheLowestLevelHoldingTypesAndCodePage) {
    struct Case {
        std::vector<FieldDesc> fields;
        int codePage;
        uint32_t level;
    } cases[] = {
        {{Fld("A", fldtype::kString, 0, 5), Fld("N", fldtype::kFloat)}, 437, 3},
        {{Fld("A", fldtype::kString, 0, 5), Fld("N", fldtype::kFloat)}, 1252, 4},  // needs the code page word
        {{Fld("M", fldtype::kBlob, fldsub::kMemo, 1)}, 437, 4},
        {{Fld("I", fldtype::kInt32)}, 437, 5},
        {{Fld("L", fldtype::kBool), Fld("Y", fldtype::kBytes, 0, 3)}, 1252, 5},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        CreateOptions o;
        o.codePage = c.codePage;
        auto t = CreateParadoxTable(dir.File("lv.db"), c.fields, o);
        EXPECT_EQ(t->Properties().level, c.level) << c.fields[0].name << " cp " << c.codePage;
        t->AppendRecord(Record(c.fields.size()));
        t->Close();
        auto r = OpenParadoxTable(dir.File("lv.db"), OpenMode::ReadOnly);
        EXPECT_EQ(r->Properties().level, c.level);
        EXPECT_EQ(r->Properties().codePage, c.codePage);
        EXPECT_EQ(r->RecordCount(), 1u);
    }
}

TEST(ParadoxTable, TextGoesThroughTheCodePageAndBadBytesBecomeReplacementCharacters) {
    test::TempDir dir;
    CreateOptions o;
    o.codePage = 437;
    {
        auto t = CreateParadoxTable(dir.File("cp.db"), {Fld("Name", fldtype::kString, 0, 10)}, o);
        t->AppendRecord({Value::Text("é Ü")});
        // A character CP437 lacks is refused and nothing is written.
        EXPECT_THROW(t->AppendRecord({Value::Text("€")}), EngineError);
        EXPECT_EQ(t->RecordCount(), 1u);
        // Too long for the field.
        EXPECT_THROW(t->AppendRecord({Value::Text("12345678901")}), EngineError);
        t->Close();
    }
    std::string bytes = test::ReadBytes(dir.File("cp.db"));
    const size_t at = bytes.find("\x82 \x9A");
    ASSERT_NE(at, std::string::npos);  // é and Ü as CP437 stores them
    auto t = OpenParadoxTable(dir.File("cp.db"), OpenMode::ReadOnly);
    Record rec;
    t->ReadRecord(0, rec);
    EXPECT_EQ(rec[0], Value::Text("é Ü"));
}

TEST(ParadoxTable, UpdateDeleteAcrossBlocksKeepChainAndCounts) {
    test::TempDir dir;
    const std::string path = dir.File("u.db");
    auto t = CreateParadoxTable(path, {Fld("N", fldtype::kInt32), Fld("Pad", fldtype::kString, 0, 200)}, {});
    std::vector<int> model;
    for (int k = 0; k < 200; ++k) {
        t->AppendRecord({Value::Int(k), Value::Text("x")});
        model.push_back(k);
    }
    // Delete every third record, from the back, and the whole first block's worth.
    for (int k = 199; k >= 0; k -= 3) {
        t->DeleteRecord(static_cast<uint32_t>(k));
        model.erase(model.begin() + k);
    }
    for (int k = 0; k < 25; ++k) {
        t->DeleteRecord(0);
        model.erase(model.begin());
    }
    t->UpdateRecord(5, {Value::Int(-5), Value::Text("changed")});
    model[5] = -5;
    t->Close();
    auto r = OpenParadoxTable(path, OpenMode::ReadWrite);
    ASSERT_EQ(r->RecordCount(), model.size());
    Record rec;
    for (uint32_t k = 0; k < model.size(); ++k) {
        r->ReadRecord(k, rec);
        EXPECT_EQ(rec[0], Value::Int(model[k])) << k;
    }
    // Delete everything: the file shrinks back to its header, then takes records again.
    while (r->RecordCount() > 0) r->DeleteRecord(r->RecordCount() - 1);
    r->AppendRecord({Value::Int(1), Value::Null()});
    r->Close();
    auto again = OpenParadoxTable(path, OpenMode::ReadOnly);
    EXPECT_EQ(again->RecordCount(), 1u);
}

TEST(ParadoxTable, KeyedTableKeepsKeyOrderAndRefusesDuplicates) {
    test::TempDir dir;
    const std::string path = dir.File("k.db");
    auto t = CreateParadoxTable(path, {Fld("K", fldtype::kInt32), Fld("Pad", fldtype::kString, 0, 100)}, {}, 1);
    std::vector<int> keys(3000);
    for (int k = 0; k < 3000; ++k) keys[static_cast<size_t>(k)] = k * 7 - 5000;
    std::shuffle(keys.begin(), keys.end(), std::mt19937(42));
    {
        TableLock lock(*t, LockMode::Exclusive);
        for (int k : keys) t->AppendRecord({Value::Int(k), Value::Text(std::to_string(k))});
    }
    const std::string dbBefore = test::ReadBytes(path), pxBefore = test::ReadBytes(dir.File("k.px"));
    try {
        t->AppendRecord({Value::Int(keys[10]), Value::Text("dup")});
        FAIL() << "duplicate accepted";
    } catch (const EngineError& e) {
        EXPECT_STREQ(e.what(), "Key violation.");
        EXPECT_EQ(e.Code(), errc::kKeyViolation);
    }
    // An update onto an existing key is refused the same way.
    EXPECT_THROW(t->UpdateRecord(0, {Value::Int(keys[11]), Value::Null()}), EngineError);
    EXPECT_EQ(test::ReadBytes(path), dbBefore);
    EXPECT_EQ(test::ReadBytes(dir.File("k.px")), pxBefore);
    // Changing a key moves the record.
    t->UpdateRecord(0, {Value::Int(1'000'000), Value::Text("last")});
    t->DeleteRecord(1);
    t->Close();

    std::sort(keys.begin(), keys.end());
    // The smallest key moved to the end; then the record at position 1, the third smallest, went.
    keys.erase(keys.begin() + 2);
    keys.erase(keys.begin());
    keys.push_back(1'000'000);
    auto r = OpenParadoxTable(path, OpenMode::ReadOnly);  // also checks the .PX against the data
    ASSERT_EQ(r->RecordCount(), keys.size());
    Record rec;
    for (uint32_t k = 0; k < keys.size(); ++k) {
        r->ReadRecord(k, rec);
        ASSERT_EQ(rec[0], Value::Int(keys[k])) << k;
    }
}

TEST(ParadoxTable, BlobSpaceIsReusedAfterUpdateAndDelete) {
    test::TempDir dir;
    const std::string path = dir.File("b.db");
    auto t = CreateParadoxTable(path, {Fld("M", fldtype::kBlob, fldsub::kMemo, 5)}, {});
    for (int k = 0; k < 20; ++k)
        t->AppendRecord({Value::Text(std::string(k % 2 ? 100 : 6000, 'a' + static_cast<char>(k)))});
    t->Close();
    const auto size1 = std::filesystem::file_size(dir.File("b.mb"));
    for (int round = 0; round < 5; ++round) {
        auto u = OpenParadoxTable(path, OpenMode::ReadWrite);
        for (uint32_t k = 0; k < 20; ++k)
            u->UpdateRecord(k, {Value::Text(std::string(k % 2 ? 90 : 5000, 'A' + static_cast<char>(round)))});
        u->Close();
    }
    EXPECT_LE(std::filesystem::file_size(dir.File("b.mb")), size1 * 2);
    auto r = OpenParadoxTable(path, OpenMode::ReadOnly);
    Record rec;
    for (uint32_t k = 0; k < 20; ++k) {
        r->ReadRecord(k, rec);
        EXPECT_EQ(rec[0], Value::Text(std::string(k % 2 ? 90 : 5000, 'E'))) << k;
    }
}

TEST(ParadoxTable, AutoIncrementContinuesAfterTheLargestStoredValue) {
    test::TempDir dir;
    const std::string path = dir.File("a.db");
    {
        auto t = CreateParadoxTable(
            path, {Fld("Id", fldtype::kInt32, fldsub::kAutoInc), Fld("S", fldtype::kString, 0, 4)}, {});
        t->AppendRecord({Value::Null(), Value::Text("a")});
        t->AppendRecord({Value::Int(50), Value::Text("b")});  // copied tables keep their numbers
        t->AppendRecord({Value::Null(), Value::Text("c")});
        t->Close();
    }
    std::string bytes = test::ReadBytes(path);
    EXPECT_EQ(GetLe32(bytes.data() + 0x49), 51u);
    auto t = OpenParadoxTable(path, OpenMode::ReadWrite);
    t->AppendRecord({Value::Null(), Value::Text("d")});
    Record rec;
    t->ReadRecord(3, rec);
    EXPECT_EQ(rec[0], Value::Int(52));
}

// --- bad input -------------------------------------------------------------------------------

namespace {

std::string SmallTable(const test::TempDir& dir, int records = 300) {
    const std::string path = dir.File("s.db");
    auto t = CreateParadoxTable(path, {Fld("N", fldtype::kInt32), Fld("S", fldtype::kString, 0, 60)}, {});
    for (int k = 0; k < records; ++k) t->AppendRecord({Value::Int(k), Value::Text("row " + std::to_string(k))});
    t->Close();
    return path;
}

// Opens and reads everything; returns the records read, or -1 after a clean engine error.
int ScanAll(const std::string& path, std::string* message = nullptr) {
    try {
        auto t = OpenParadoxTable(path, OpenMode::ReadOnly);
        Record rec;
        for (uint32_t r = 0; r < t->RecordCount(); ++r) t->ReadRecord(r, rec);
        return static_cast<int>(t->RecordCount());
    } catch (const EngineError& e) {
        if (message) *message = e.what();
        return -1;
    }
}

}  // namespace

TEST(ParadoxBadInput, TruncatedTableFailsAtTheFirstUnreadableRecordWithACount) {
    test::TempDir dir;
    const std::string path = SmallTable(dir);
    const std::string whole = test::ReadBytes(path);
    const uint32_t headerSize = GetLe16(whole.data() + 2), blockSize = 1024u * static_cast<uint8_t>(whole[5]);
    // Cut inside the third block: the first two blocks' records read, then the error.
    const size_t cut = headerSize + 2 * blockSize + 6 + 3 * 64 + 10;
    test::WriteBytes(path, whole.substr(0, cut));
    auto t = OpenParadoxTable(path, OpenMode::ReadOnly);
    EXPECT_GE(t->RecordCount(), 300u);
    Record rec;
    uint32_t read = 0;
    try {
        for (; read < t->RecordCount(); ++read) t->ReadRecord(read, rec);
        FAIL() << "a truncated table read to the end";
    } catch (const EngineError& e) {
        const uint32_t perBlock = (blockSize - 6) / 64;
        EXPECT_EQ(read, 2 * perBlock + 3);
        EXPECT_NE(std::string(e.what()).find(std::to_string(read) + " records were read"), std::string::npos)
            << e.what();
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    }
    // Nor may it be written: records appended after the damage would be lost with it.
    auto w = OpenParadoxTable(path, OpenMode::ReadWrite);
    EXPECT_THROW(w->AppendRecord({Value::Int(1), Value::Null()}), EngineError);
}

TEST(ParadoxBadInput, DamagedHeadersAndChainsGiveCleanErrors) {
    struct Case {
        const char* what;
        size_t offset;
        std::vector<uint8_t> bytes;
        const char* expect;
    } cases[] = {
        {"record size", 0x00, {0x41, 0x00}, "record size"},
        {"header size", 0x02, {0xFF, 0xFF}, "header size"},
        {"field count", 0x21, {0x00, 0x00}, "field count"},
        {"block code", 0x05, {0x00}, "block size"},
        {"first block", 0x0E, {0x00, 0x70}, "beyond the end"},
        {"file type", 0x04, {0x01}, "not a Paradox data table"},
        {"encrypted", 0x5C, {0x12, 0x34, 0x56, 0x78}, "encrypted"},
        {"field type", 0x78, {0x42}, "not valid"},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const std::string path = SmallTable(dir);
        std::string bytes = test::ReadBytes(path);
        for (size_t k = 0; k < c.bytes.size(); ++k) bytes[c.offset + k] = static_cast<char>(c.bytes[k]);
        test::WriteBytes(path, bytes);
        std::string msg;
        EXPECT_EQ(ScanAll(path, &msg), -1) << c.what;
        EXPECT_NE(msg.find(c.expect), std::string::npos) << c.what << ": " << msg;
    }
    // A chain that runs in a circle.
    test::TempDir dir;
    const std::string path = SmallTable(dir);
    std::string bytes = test::ReadBytes(path);
    const uint32_t headerSize = GetLe16(bytes.data() + 2), blockSize = 1024u * static_cast<uint8_t>(bytes[5]);
    PutLe16(bytes.data() + headerSize + blockSize, 1);  // block 2 -> block 1
    test::WriteBytes(path, bytes);
    std::string msg;
    EXPECT_EQ(ScanAll(path, &msg), -1);
    EXPECT_NE(msg.find("circle"), std::string::npos) << msg;
}

TEST(ParadoxBadInput, MissingOrDisagreeingCompanionFilesAreNamed) {
    test::TempDir dir;
    const std::string path = dir.File("m.db");
    {
        auto t =
            CreateParadoxTable(path, {Fld("K", fldtype::kInt32), Fld("M", fldtype::kBlob, fldsub::kMemo, 1)}, {}, 1);
        for (int k = 0; k < 100; ++k) t->AppendRecord({Value::Int(k), Value::Text(std::string(50, 'z'))});
        t->Close();
    }
    const std::string px = test::ReadBytes(dir.File("m.px"));
    // A .PX whose entry count disagrees with the data.
    std::string bad = px;
    bad[0x800 + 6 + 4 + 3] ^= 0x01;
    test::WriteBytes(dir.File("m.px"), bad);
    std::string msg;
    EXPECT_EQ(ScanAll(path, &msg), -1);
    EXPECT_NE(msg.find("m.px"), std::string::npos) << msg;
    test::WriteBytes(dir.File("m.px"), px);
    // A truncated .MB: the record that points past its end fails, naming the file.
    const std::string mb = test::ReadBytes(dir.File("m.mb"));
    test::WriteBytes(dir.File("m.mb"), mb.substr(0, 4096 + 100));
    EXPECT_EQ(ScanAll(path, &msg), -1);
    EXPECT_NE(msg.find("m.mb"), std::string::npos) << msg;
    std::filesystem::remove(dir.File("m.mb"));
    EXPECT_EQ(ScanAll(path, &msg), -1);
    EXPECT_NE(msg.find("missing"), std::string::npos) << msg;
}

// Every byte of the used header set to every value, and every cut inside the header: each
// case must end in a clean engine error or a full read.
TEST(ParadoxBadInput, HeaderMutationAndTruncation) {
    test::TempDir dir;
    const std::string path = dir.File("h.db");
    {
        auto t = CreateParadoxTable(
            path, {Fld("N", fldtype::kInt16), Fld("S", fldtype::kString, 0, 8), Fld("D", fldtype::kBcd, 0, 32, 1)}, {});
        for (int k = 0; k < 3; ++k) t->AppendRecord({Value::Int(k), Value::Text("r"), Value::Decimal(k, 1)});
        t->Close();
    }
    const std::string orig = test::ReadBytes(path);
    const size_t used = GetLe16(orig.data() + 0x51);
    size_t cases = 0, errors = 0;
    // One byte at a time, written in place and put back.
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    for (size_t off = 0; off < used; ++off) {
        for (int v = 0; v < 256; ++v) {
            if (static_cast<uint8_t>(orig[off]) == v) continue;
            const char c = static_cast<char>(v);
            ASSERT_EQ(::pwrite(fd, &c, 1, static_cast<off_t>(off)), 1);
            ++cases;
            if (ScanAll(path) < 0) ++errors;
        }
        ASSERT_EQ(::pwrite(fd, &orig[off], 1, static_cast<off_t>(off)), 1);
    }
    ::close(fd);
    for (size_t cut = 0; cut < GetLe16(orig.data() + 2); ++cut) {
        test::WriteBytes(path, orig.substr(0, cut));
        ++cases;
        EXPECT_EQ(ScanAll(path), -1) << "cut at " << cut;
        ++errors;
    }
    std::printf("header mutation: %zu cases, %zu clean errors, %zu full reads\n", cases, errors, cases - errors);
    EXPECT_GT(errors, 0u);
}

// --- validity checks -------------------------------------------------------------------------

namespace {

// A .VAL file: per check (field index, picture, required, min, max, default as record bytes),
// then the footer listing the table's fields.
std::string ValFile(
    const std::vector<std::tuple<uint8_t, std::string, bool, std::string, std::string, std::string>>& checks,
    const std::vector<std::pair<uint8_t, uint8_t>>& types) {
    std::string v(0x35, '\0');
    v[0] = 1;
    v[1] = 0x0C;
    v[2] = static_cast<char>(checks.size());
    for (const auto& [field, pic, required, mn, mx, def] : checks) {
        std::string c(0x1C, '\0');
        c[0] = static_cast<char>(field);
        c[1] = static_cast<char>(pic.empty() ? 0 : pic.size() + 1);
        c[2] = required ? 1 : 0;
        if (!mn.empty()) c[0x0C] = 1;
        if (!mx.empty()) c[0x10] = 1;
        if (!def.empty()) c[0x14] = 1;
        if (!pic.empty()) c[0x18] = 1;
        c += mn + mx + def;
        if (!pic.empty()) c += pic + '\0';
        v += c;
    }
    std::string footer(6, '\0');
    PutLe16(footer.data(), static_cast<uint16_t>(types.size()));
    for (size_t k = 0; k < types.size(); ++k) footer += std::string{static_cast<char>(k + 1), 0};
    for (const auto& [t, s] : types) footer += std::string{static_cast<char>(t), static_cast<char>(s)};
    PutLe32(v.data() + 9, static_cast<uint32_t>(v.size()));
    return v + footer + std::string(0x4F, '\0');
}

}  // namespace

TEST(ParadoxTable, ValidityChecksComeFromTheValFile) {
    test::TempDir dir;
    const std::string path = dir.File("v.db");
    CreateParadoxTable(
        path, {Fld("Id", fldtype::kInt32), Fld("Name", fldtype::kString, 0, 10), Fld("Qty", fldtype::kInt16)}, {})
        ->Close();
    EXPECT_TRUE(OpenParadoxTable(path, OpenMode::ReadOnly)->ValidityChecks().empty());
    auto enc = [](int v) {
        std::string s(2, '\0');
        EncodeInt(v, reinterpret_cast<uint8_t*>(s.data()), 2);
        return s;
    };
    test::WriteBytes(dir.File("v.val"),
                     ValFile({{1, "&*?", true, "", "", ""}, {2, "", false, enc(1), enc(100), enc(5)}},
                             {{pxt::kLong, 4}, {pxt::kAlpha, 10}, {pxt::kShort, 2}}));
    auto t = OpenParadoxTable(path, OpenMode::ReadOnly);
    EXPECT_EQ(t->Properties().valCheckCount, 2u);
    const auto basic = t->ValidityChecks();
    ASSERT_EQ(basic.size(), 2u);
    EXPECT_EQ(basic[0].fieldNumber, 2);
    EXPECT_EQ(basic[0].picture, "&*?");
    const auto full = ParadoxValidityChecks(*t);
    ASSERT_EQ(full.size(), 2u);
    EXPECT_TRUE(full[0].required);
    EXPECT_TRUE(full[0].minimum.IsNull());
    EXPECT_EQ(full[1].fieldNumber, 3);
    EXPECT_FALSE(full[1].required);
    EXPECT_EQ(full[1].minimum, Value::Int(1));
    EXPECT_EQ(full[1].maximum, Value::Int(100));
    EXPECT_EQ(full[1].defaultValue, Value::Int(5));

    // A check that names a field the table lacks, or runs into the footer, is a clean error.
    test::WriteBytes(dir.File("v.val"), ValFile({{7, "#", false, "", "", ""}}, {{pxt::kLong, 4}}));
    EXPECT_THROW(OpenParadoxTable(path, OpenMode::ReadOnly), EngineError);
    std::string cut =
        ValFile({{2, "", false, enc(1), enc(100), enc(5)}}, {{pxt::kLong, 4}, {pxt::kAlpha, 10}, {pxt::kShort, 2}});
    PutLe32(cut.data() + 9, 0x36);
    test::WriteBytes(dir.File("v.val"), cut);
    EXPECT_THROW(OpenParadoxTable(path, OpenMode::ReadOnly), EngineError);
}

// The block-count tree grown block by block while appending answers as one built at once.
TEST(ParadoxCountTree, GrowingByOneBlockAgreesWithBuildingItWhole) {
    std::mt19937 rng(7);
    std::vector<uint16_t> counts;
    tessel::engine::paradox::CountTree grown;
    for (int n = 1; n <= 300; ++n) {
        counts.push_back(static_cast<uint16_t>(rng() % 40 + 1));
        grown.Append(0);
        grown.Add(counts.size() - 1, counts.back());
        tessel::engine::paradox::CountTree built;
        built.Build(counts);
        uint64_t total = 0;
        for (size_t pos = 0; pos <= counts.size(); ++pos) {
            ASSERT_EQ(grown.Before(pos), built.Before(pos)) << n << " blocks, pos " << pos;
            ASSERT_EQ(grown.Before(pos), total);
            if (pos < counts.size()) total += counts[pos];
        }
        uint64_t before = 0;
        EXPECT_EQ(grown.Find(total - 1, before), counts.size() - 1);
        EXPECT_EQ(before, total - counts.back());
    }
}

// Blocks kept while a lock is held give what the file holds: after a write of this object, and
// after another object wrote between two holds.
TEST(ParadoxHeldBlocks, ReadsAfterWritesSeeTheWrites) {
    test::TempDir dir;
    const std::string path = dir.File("h.db");
    {
        auto t = CreateParadoxTable(path,
                                    {test::Fld("ID", fldtype::kInt32), test::Fld("NAME", fldtype::kString, 0, 40)}, {});
        TableLock lock(*t, LockMode::Exclusive);
        for (int i = 0; i < 2000; ++i) t->AppendRecord({Value::Int(i), Value::Text("n" + std::to_string(i))});
        t->Close();
    }
    auto reader = OpenParadoxTable(path, OpenMode::ReadWrite);
    auto other = OpenParadoxTable(path, OpenMode::ReadWrite);
    Record rec;
    auto nameOf = [&](uint32_t n) {
        EXPECT_TRUE(reader->ReadRecord(n, rec));
        return rec[1].s;
    };
    {
        TableLock lock(*reader, LockMode::Exclusive);
        // Back and forth between two blocks: the second visits come from the kept blocks.
        for (int round = 0; round < 3; ++round) {
            EXPECT_EQ(nameOf(5), "n5");
            EXPECT_EQ(nameOf(1500), "n1500");
        }
        reader->UpdateRecord(1500, {Value::Int(1500), Value::Text("changed here")});
        EXPECT_EQ(nameOf(5), "n5");
        EXPECT_EQ(nameOf(1500), "changed here");
    }
    {
        TableLock lock(*other, LockMode::Exclusive);
        other->UpdateRecord(5, {Value::Int(5), Value::Text("changed there")});
    }
    TableLock lock(*reader, LockMode::Shared);
    EXPECT_EQ(nameOf(1500), "changed here");
    EXPECT_EQ(nameOf(5), "changed there");
}
