// Tests of the dBASE table: every type, writes, replacing tables.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "DbfTestUtil.h"
#include "base/EngineError.h"

using namespace dbftest;
using namespace tessel::engine;
using tessel::engine::dbase::CreateDbfTable;
using tessel::engine::dbase::DbfTable;

namespace {

std::vector<FieldDesc> PeopleFields() {
    return {Def("NAME", fldtype::kString, 0, 10),
            Def("QTY", fldtype::kFloat, 0, 5, 0, 'N'),
            Def("PRICE", fldtype::kFloat, 0, 10, 2, 'N'),
            Def("BORN", fldtype::kDate),
            Def("OK", fldtype::kBool),
            Def("NOTES", fldtype::kBlob, fldsub::kMemo)};
}

Record PeopleRow(const char* name, int64_t qty, int64_t priceCents, int y, const char* notes) {
    return {Value::Text(name),    Value::Int(qty),           Value::Decimal(priceCents, 2),
            Value::Date(y, 1, 2), Value::Bool(qty % 2 == 0), notes ? Value::Text(notes) : Value::Null()};
}

}  // namespace

class DbfTableTest : public TempDirTest {};

TEST_F(DbfTableTest, WritesAndReadsBackEveryLevel3Type) {
    const std::string path = Path("people.dbf");
    {
        auto t = CreateDbfTable(path, PeopleFields());
        t->AppendRecord(PeopleRow("Alice", 12, 350, 1999, "hello memo"));
        t->AppendRecord(PeopleRow("J\xc3\xb6rg \xe2\x82\xac", -7, -1234568, 2024, "line1\r\nline2 \xc3\x84"));
        t->AppendRecord({Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null()});
        t->Close();
    }
    auto t = DbfTable::Open(path, OpenMode::ReadOnly);
    EXPECT_EQ(t->Header().version, 0x83);
    EXPECT_EQ(t->Properties().level, 3u);
    EXPECT_TRUE(Exists(Path("people.dbt")));
    const std::vector<std::vector<std::string>> want = {
        {"Alice", "12", "3.50", "1999-01-02", "TRUE", "hello memo"},
        {"J\xc3\xb6rg \xe2\x82\xac", "-7", "-12345.68", "2024-01-02", "FALSE", "line1\r\nline2 \xc3\x84"},
        {"", "", "", "", "", ""},
    };
    EXPECT_EQ(Rows(*t), want);
    Record rec;
    ASSERT_TRUE(t->ReadRecord(2, rec));
    for (const auto& v : rec) EXPECT_TRUE(v.IsNull());
    // The stored bytes are what other programs expect.
    const std::string bytes = ReadAll(path);
    const std::string first = bytes.substr(t->Header().headerLength, t->RecordSize());
    EXPECT_EQ(first.substr(0, 11), " Alice     ");
    EXPECT_EQ(first.substr(11, 5), "   12");
    EXPECT_EQ(first.substr(16, 10), "      3.50");
    EXPECT_EQ(first.substr(26, 8), "19990102");
    EXPECT_EQ(first.substr(34, 1), "T");
    EXPECT_EQ(first.substr(35, 10), "         1");
    EXPECT_EQ(bytes.back(), '\x1A');
    EXPECT_EQ(bytes[29], '\x03');  // Windows ANSI
}

TEST_F(DbfTableTest, DescriptorsCarryTheEngineCodes) {
    const std::string path = Path("all.dbf");
    CreateDbfTable(
        path, {Def("C", fldtype::kString, 0, 20), Def("N", fldtype::kFloat, 0, 10, 2, 'N'),
               Def("F", fldtype::kFloat, 0, 12, 3, 'F'), Def("D", fldtype::kDate), Def("L", fldtype::kBool),
               Def("M", fldtype::kBlob, fldsub::kMemo), Def("B", fldtype::kBlob, fldsub::kBinary),
               Def("G", fldtype::kBlob, fldsub::kOle), Def("I", fldtype::kInt32),
               Def("A", fldtype::kInt32, fldsub::kAutoInc), Def("O", fldtype::kFloat, 0, 8, 0, 'O'),
               Def("T", fldtype::kTimestamp), Def("S", fldtype::kInt16), Def("Y", fldtype::kFloat, fldsub::kMoney)})
        ->Close();
    auto t = DbfTable::Open(path, OpenMode::ReadOnly);
    struct Want {
        char native;
        uint16_t type, sub, u1, u2;
    } want[] = {
        {'C', 1, 0, 20, 0},  {'N', 7, 0, 10, 2},  {'F', 7, 0, 12, 3},  {'D', 2, 0, 8, 0},  {'L', 4, 0, 1, 0},
        {'M', 3, 22, 10, 0}, {'B', 3, 23, 10, 0}, {'G', 3, 27, 10, 0}, {'I', 6, 0, 4, 0},  {'+', 6, 29, 4, 0},
        {'O', 7, 0, 8, 0},   {'@', 11, 0, 8, 0},  {'N', 7, 0, 6, 0},   {'N', 7, 0, 20, 4},
    };
    const auto& fields = t->Fields();
    ASSERT_EQ(fields.size(), std::size(want));
    for (size_t k = 0; k < fields.size(); ++k) {
        SCOPED_TRACE(fields[k].name);
        EXPECT_EQ(fields[k].nativeType, want[k].native);
        EXPECT_EQ(fields[k].type, want[k].type);
        EXPECT_EQ(fields[k].subType, want[k].sub);
        EXPECT_EQ(fields[k].units1, want[k].u1);
        EXPECT_EQ(fields[k].units2, want[k].u2);
    }
    const auto& p = t->Properties();
    EXPECT_EQ(p.name, "all");
    EXPECT_EQ(p.typeName, "DBASE");
    EXPECT_EQ(p.level, 7u);
    EXPECT_EQ(p.fieldCount, 14u);
    EXPECT_EQ(p.recordBufferSize, t->RecordSize());
    EXPECT_EQ(p.languageDriver, "DBWINUS0");
    EXPECT_EQ(p.indexCount, 0u);
    EXPECT_EQ(p.valCheckCount, 0u);
    EXPECT_EQ(t->Header().version, 0x8C);
}

TEST_F(DbfTableTest, LevelIsTheLowestThatHoldsTheTypes) {
    struct Case {
        std::vector<FieldDesc> fields;
        int level;
        uint8_t version;
    } cases[] = {
        {{Def("A", fldtype::kString, 0, 5)}, 3, 0x03},
        {{Def("A", fldtype::kString, 0, 5), Def("M", fldtype::kBlob, fldsub::kMemo)}, 3, 0x83},
        {{Def("A", fldtype::kFloat, 0, 8, 2, 'F'), Def("M", fldtype::kBlob, fldsub::kMemo)}, 3, 0x83},
        {{Def("A", fldtype::kBcd, 0, 20, 2)}, 4, 0x03},
        {{Def("A", fldtype::kString, 0, 5), Def("B", fldtype::kBlob, fldsub::kBinary)}, 5, 0x8B},
        {{Def("T", fldtype::kTimestamp)}, 7, 0x04},
        {{Def("T", fldtype::kInt32, fldsub::kAutoInc), Def("M", fldtype::kBlob, fldsub::kMemo)}, 7, 0x8C},
        {{Def("S", fldtype::kString, 0, 300)}, 3, 0x83},  // long text goes to a memo
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(n);
        const std::string path = Path("l" + std::to_string(n++) + ".dbf");
        auto plan = dbase::PlanDbfTable(c.fields, {});
        EXPECT_EQ(plan.level, c.level);
        EXPECT_EQ(plan.version, c.version);
        CreateDbfTable(path, c.fields)->Close();
        EXPECT_EQ(ReadAll(path)[0], static_cast<char>(c.version));
    }
}

TEST_F(DbfTableTest, RefusesTypesAndSizesItCannotStore) {
    struct Case {
        FieldDesc field;
        int code;
    } cases[] = {
        {Def("T", fldtype::kTime), errc::kNotSupported},
        {Def("Y", fldtype::kBytes, 0, 4), errc::kNotSupported},
        {Def("C", fldtype::kString, 0, 0), errc::kNotSupported},
        {Def("N", fldtype::kFloat, 0, 255, 2, 'N'), errc::kInvalidParameter},
        {Def("N", fldtype::kFloat, 0, 5, 4, 'N'), errc::kInvalidParameter},
        {Def("BAD NAME", fldtype::kString, 0, 4), errc::kInvalidParameter},
        {Def("ELEVENCHARS", fldtype::kString, 0, 4), errc::kInvalidParameter},
        {Def("1ABC", fldtype::kString, 0, 4), errc::kInvalidParameter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field.name);
        try {
            CreateDbfTable(Path("x.dbf"), {c.field});
            ADD_FAILURE() << "created";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.Code(), c.code) << e.what();
        }
        EXPECT_FALSE(Exists(Path("x.dbf")));
    }
    try {
        CreateDbfTable(Path("x.dbf"), {Def("a", fldtype::kString, 0, 4), Def("A", fldtype::kDate)});
        ADD_FAILURE();
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("Duplicate"), std::string::npos);
    }
    // With fixNames the names are made valid and unique.
    CreateOptions fix;
    fix.fixNames = true;
    auto t = CreateDbfTable(Path("x.dbf"),
                            {Def("First Name", fldtype::kString, 0, 4), Def("first_name", fldtype::kString, 0, 4),
                             Def("9lives", fldtype::kDate)},
                            fix);
    EXPECT_EQ(t->Fields()[0].name, "FIRST_NAME");
    EXPECT_EQ(t->Fields()[1].name, "FIRST_NAM1");
    EXPECT_EQ(t->Fields()[2].name, "F9LIVES");
}

TEST_F(DbfTableTest, NumbersRoundHalfUpAndRefuseWhatDoesNotFit) {
    auto t = CreateDbfTable(Path("n.dbf"),
                            {Def("P", fldtype::kFloat, 0, 10, 2, 'N'), Def("Q", fldtype::kFloat, 0, 4, 0, 'N')});
    struct Case {
        Value in;
        const char* stored;
    } cases[] = {
        {Value::Double(12345.678), "  12345.68"},    {Value::Double(3.5), "      3.50"},
        {Value::Decimal(-1255, 3), "     -1.26"},    {Value::Int(7), "      7.00"},
        {Value::Text("0.005"), "      0.01"},        {Value::Double(-0.001), "      0.00"},
        {Value::Double(99999999.99), "99999999.99"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(FormatValue(c.in));
        Record rec{c.in, Value::Int(1)};
        if (std::string(c.stored).size() > 10) {
            EXPECT_THROW(t->AppendRecord(rec), EngineError);
            continue;
        }
        const uint32_t n = t->AppendRecord(rec);
        std::string raw;
        t->ReadRawRecord(n, raw);
        EXPECT_EQ(raw.substr(1, 10), c.stored);
    }
    const uint32_t before = t->RecordCount();
    try {
        t->AppendRecord({Value::Int(1), Value::Int(12345)});
        ADD_FAILURE();
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("does not fit"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("Q"), std::string::npos) << e.what();
    }
    EXPECT_EQ(t->RecordCount(), before);
    t->Refresh();
    EXPECT_EQ(t->RecordCount(), before);
}

TEST_F(DbfTableTest, TextOutsideTheCodePageIsRefusedNotMangled) {
    CreateOptions opts;
    opts.codePage = 437;
    auto t = CreateDbfTable(Path("cp.dbf"), {Def("C", fldtype::kString, 0, 10)}, opts);
    EXPECT_EQ(t->Properties().codePage, 437);
    EXPECT_EQ(t->Properties().languageDriver, "DB437US0");
    t->AppendRecord({Value::Text("\xc3\xbc\xc3\x9c")});                         // in 437
    EXPECT_THROW(t->AppendRecord({Value::Text("\xe2\x82\xac")}), EngineError);  // euro: not in 437
    EXPECT_EQ(t->RecordCount(), 1u);
    std::string raw;
    t->ReadRawRecord(0, raw);
    EXPECT_EQ(raw.substr(1, 2), "\x81\x9a");
    // Too long text is cut to the width.
    t->AppendRecord({Value::Text("abcdefghijklmno")});
    Record rec;
    t->ReadRecord(1, rec);
    EXPECT_EQ(rec[0].s, "abcdefghij");
}

TEST_F(DbfTableTest, UpdateDeletePackAndMemoReuse) {
    const std::string path = Path("u.dbf");
    auto t = CreateDbfTable(path, PeopleFields());
    for (int k = 0; k < 5; ++k)
        t->AppendRecord(PeopleRow(("N" + std::to_string(k)).c_str(), k, k * 100, 2000 + k,
                                  std::string(600, static_cast<char>('a' + k)).c_str()));
    const size_t memoSize = ReadAll(Path("u.dbt")).size();
    // A shorter memo goes into the blocks the old one had.
    t->UpdateRecord(1, PeopleRow("N1x", 11, 1100, 2011, "short"));
    EXPECT_EQ(ReadAll(Path("u.dbt")).size(), memoSize);
    // A longer one goes to the end.
    t->UpdateRecord(2, PeopleRow("N2x", 12, 1200, 2012, std::string(2000, 'z').c_str()));
    EXPECT_GT(ReadAll(Path("u.dbt")).size(), memoSize);
    t->DeleteRecord(0);
    t->DeleteRecord(3);
    Record rec;
    EXPECT_FALSE(t->ReadRecord(0, rec));
    auto rows = Rows(*t);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], "N1x");
    EXPECT_EQ(rows[0][5], "short");
    EXPECT_EQ(rows[1][5], std::string(2000, 'z'));
    EXPECT_EQ(rows[2][0], "N4");
    t->Pack();
    EXPECT_EQ(t->RecordCount(), 3u);
    EXPECT_EQ(Rows(*t), rows);
    t->Close();
    auto r = DbfTable::Open(path, OpenMode::ReadOnly);
    EXPECT_EQ(r->RecordCount(), 3u);
    EXPECT_EQ(Rows(*r), rows);
    const std::string bytes = ReadAll(path);
    EXPECT_EQ(bytes.size(), r->Header().headerLength + 3u * r->RecordSize() + 1);
}

TEST_F(DbfTableTest, Level7EncodingsMatchTheKnownBytes) {
    const std::string path = Path("l7.dbf");
    auto t = CreateDbfTable(path, {Def("I", fldtype::kInt32), Def("O", fldtype::kFloat, 0, 8, 0, 'O'),
                                   Def("T", fldtype::kTimestamp), Def("A", fldtype::kInt32, fldsub::kAutoInc)});
    t->AppendRecord({Value::Int(1), Value::Double(1.0), Value::Timestamp(2000, 8, 16, 17, 21, 41, 310), Value::Null()});
    t->AppendRecord({Value::Int(-1), Value::Double(-2.5), Value::Null(), Value::Null()});
    t->AppendRecord({Value::Null(), Value::Null(), Value::Null(), Value::Int(10)});
    t->AppendRecord({Value::Null(), Value::Null(), Value::Null(), Value::Null()});
    std::string raw;
    t->ReadRawRecord(0, raw);
    EXPECT_EQ(raw.substr(1, 4), std::string("\x80\x00\x00\x01", 4));
    EXPECT_EQ(raw.substr(5, 8), std::string("\xBF\xF0\x00\x00\x00\x00\x00\x00", 8));
    EXPECT_EQ(raw.substr(13, 8), std::string("\x42\xCC\xB2\x0E\x03\x40\xDF\x00", 8));
    t->ReadRawRecord(1, raw);
    EXPECT_EQ(raw.substr(1, 4), std::string("\x7F\xFF\xFF\xFF", 4));
    EXPECT_EQ(raw.substr(5, 8), std::string("\x3F\xFB\xFF\xFF\xFF\xFF\xFF\xFF", 8));
    t->Close();
    auto r = DbfTable::Open(path, OpenMode::ReadOnly);
    const std::vector<std::vector<std::string>> want = {
        {"1", "1", "2000-08-16 17:21:41.310", "1"},
        {"-1", "-2.5", "", "2"},
        {"", "", "", "10"},
        {"", "", "", "11"},
    };
    EXPECT_EQ(Rows(*r), want);
    EXPECT_EQ(r->Header().fields[3].autoIncNext, 12u);
}

TEST_F(DbfTableTest, ReplacingATableRemovesStaleCompanionsAndSurvivesAFailedFill) {
    const std::string path = Path("r.dbf");
    CreateDbfTable(path, PeopleFields())->AppendRecord(PeopleRow("old", 1, 1, 2000, "old memo"));
    WriteAll(Path("r.mdx"), "stale index");
    // A fill that fails leaves the old table and memo as they were, and no temporary files.
    EXPECT_THROW(CreateDbfTable(path, {Def("X", fldtype::kString, 0, 3)}, {},
                                [](Table& t) {
                                    t.AppendRecord({Value::Text("new")});
                                    throw EngineError("source broke", errc::kIo);
                                }),
                 EngineError);
    {
        auto old = DbfTable::Open(path, OpenMode::ReadOnly);
        ASSERT_EQ(Rows(*old).size(), 1u);
        EXPECT_EQ(Rows(*old)[0][5], "old memo");
    }
    auto listing = [&]() {
        std::string out;
        FILE* p = popen(("ls -A '" + dir_ + "'").c_str(), "r");
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
        return out;
    };
    EXPECT_EQ(listing(), "r.dbf\nr.dbt\nr.mdx\n");
    // A table without memo replaces it: the memo file and the index go.
    CreateDbfTable(path, {Def("X", fldtype::kString, 0, 3)}, {},
                   [](Table& t) { t.AppendRecord({Value::Text("new")}); });
    EXPECT_EQ(listing(), "r.dbf\n");
    auto t = DbfTable::Open(path, OpenMode::ReadOnly);
    EXPECT_EQ(Rows(*t), (std::vector<std::vector<std::string>>{{"new"}}));
}

TEST_F(DbfTableTest, ReadOnlyTablesRefuseWrites) {
    const std::string path = Path("ro.dbf");
    CreateDbfTable(path, {Def("X", fldtype::kString, 0, 3)})->Close();
    auto t = DbfTable::Open(path, OpenMode::ReadOnly);
    try {
        t->AppendRecord({Value::Text("a")});
        FAIL();
    } catch (const EngineError& e) {
        EXPECT_EQ(e.Code(), errc::kReadOnly);
    }
}

TEST_F(DbfTableTest, SelectedColumnsOnlyAreDecoded) {
    const std::string path = Path("sel.dbf");
    auto t = CreateDbfTable(path, PeopleFields());
    t->AppendRecord(PeopleRow("Alice", 12, 350, 1999, "memo"));
    std::vector<bool> cols = {false, true, false, false, false, false};
    Record rec;
    ASSERT_TRUE(t->ReadRecord(0, rec, &cols));
    EXPECT_TRUE(rec[0].IsNull());
    EXPECT_EQ(rec[1], Value::Int(12));
    EXPECT_TRUE(rec[5].IsNull());
    Value memo;
    t->ReadBlob(0, 5, memo);
    EXPECT_EQ(memo, Value::Text("memo"));
    t->WriteBlob(0, 5, Value::Text("changed"));
    t->ReadBlob(0, 5, memo);
    EXPECT_EQ(memo, Value::Text("changed"));
}

TEST_F(DbfTableTest, NewTablesGetTheUsualPermissionsAndReplacedOnesKeepTheirs) {
    const mode_t mask = ::umask(022);
    const std::string path = Path("p.dbf");
    CreateDbfTable(path, {Def("X", fldtype::kString, 0, 3)})->Close();
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // not private to the user
    ASSERT_EQ(::chmod(path.c_str(), 0664), 0);
    CreateDbfTable(path, {Def("Y", fldtype::kString, 0, 3)})->Close();
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0664u);
    ::umask(mask);
}
