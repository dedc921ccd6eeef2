// dBASE tables as other programs (GIS and statistics tools above all) write them: laid out
// byte by byte here the way those writers do, then read and queried, and compared with what the
// independent readers (dbfread, GDAL) make of the same file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ExecTestSupport.h"
#include "base/EngineError.h"
#include "engine/TableFiles.h"
#include "engine/dbase/Dbase.h"
#include "engine/drivers/Drivers.h"
#include "support/RawDbf.h"
#include "support/RunCommand.h"

namespace tessel::test {
namespace {

namespace fs = std::filesystem;

class ForeignDbfTest : public ::testing::Test, public ExecFixture {
protected:
    std::string Write(const std::string& name, const RawDbf& t) {
        const std::string path = dir.File(name);
        std::ofstream(path, std::ios::binary) << Bytes(t);
        return path;
    }
    // dbfread's records as lines "v1|v2|...".
    static std::vector<std::string> DbfreadRows(const std::string& path, int* status) {
        const std::string script =
            "import sys, dbfread\n"
            "t = dbfread.DBF(sys.argv[1], char_decode_errors='surrogateescape',\n"
            "                recfactory=lambda items: [v for k, v in items])\n"
            "for r in t: print('|'.join('' if v is None else str(v) for v in r))\n";
        const std::string out = RunCommand("/usr/bin/python3 -c \"" + script + "\" '" + path + "' 2>&1", status);
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1)
            lines.push_back(out.substr(start, nl - start));
        return lines;
    }
    static bool HaveDbfread() {
        int status = 0;
        RunCommand("/usr/bin/python3 -c 'import dbfread' 2>/dev/null", &status);
        return status == 0;
    }
};

// Field lists that end other than the format says, and a table without fields: Tessel reads
// what dbfread reads.
TEST_F(ForeignDbfTest, HeadersOtherWritersLeaveAreReadAsTheOtherReadersReadThem) {
    RawDbf lineFeed{{{"ID", 'N', 5, 0}, {"NAME", 'C', 8, 0}}, {"    1alpha   ", "    2beta    "}};
    lineFeed.terminator = 0x0A;
    RawDbf nul = lineFeed;
    nul.terminator = 0x00;
    const std::vector<std::string> expected{"1|alpha", "2|beta"};
    for (const auto& [name, table] : {std::pair{"lf.dbf", lineFeed}, std::pair{"nul.dbf", nul}}) {
        SCOPED_TRACE(name);
        const std::string path = Write(name, table);
        EXPECT_EQ(Rows(std::string("SELECT ID, NAME FROM \"") + name + "\" ORDER BY ID"), expected);
        if (table.terminator == 0x0A && HaveDbfread()) {  // dbfread stops at 0x0D or 0x0A only
            int status = 0;
            EXPECT_EQ(DbfreadRows(path, &status), expected);
            EXPECT_EQ(status, 0);
        }
    }

    RawDbf empty;
    for (int k = 0; k < 71; ++k) empty.records.push_back("");
    Write("nofields.dbf", empty);
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"nofields.dbf\""), std::vector<std::string>{"71"});

    // Damage stays refused with its message: descriptors the record length does not account for.
    RawDbf cut = lineFeed;
    std::string bytes = Bytes(cut);
    bytes[10] = 40;  // record length
    std::ofstream(dir.File("cut.dbf"), std::ios::binary) << bytes;
    try {
        Rows("SELECT * FROM \"cut.dbf\"");
        ADD_FAILURE() << "a record length that does not match was taken";
    } catch (const engine::EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("record length 40"), std::string::npos) << e.what();
    }
}

// Names cut to ten characters by a writer repeat; SQL tells them apart by a suffix that no real
// field has, and every statement works.
TEST_F(ForeignDbfTest, RepeatedFieldNamesGetSqlNamesOfTheirOwn) {
    RawDbf t{{{"Z600701190", 'N', 4, 0},
              {"Z600701190", 'N', 4, 0},
              {"z600701190", 'N', 4, 0},
              {"Z600701190", 'C', 3, 0},
              {"NAME", 'C', 4, 0},
              {"NAME_2", 'C', 1, 0},
              {"name", 'C', 1, 0}},
             {"   1   2   3abcWienxy", "  10  20  30defBernuv"}};
    const std::string path = Write("cut.dbf", t);
    EXPECT_EQ(Rows("SELECT Z600701190, Z600701190_2, Z600701190_3, Z600701190_4, NAME_2, NAME_3 FROM \"cut.dbf\" "
                   "ORDER BY 1"),
              (std::vector<std::string>{"1|2|3|abc|x|y", "10|20|30|def|u|v"}));
    EXPECT_EQ(Rows("SELECT NAME FROM \"cut.dbf\" WHERE Z600701190_2 = 20"), std::vector<std::string>{"Bern"});
    Sql("UPDATE \"cut.dbf\" SET Z600701190_3 = 31 WHERE NAME = 'Bern'");
    EXPECT_EQ(Rows("SELECT * FROM \"cut.dbf\" WHERE NAME = 'Bern'"), std::vector<std::string>{"10|20|31|def|Bern|u|v"});
    if (HaveDbfread()) {
        int status = 0;
        EXPECT_EQ(DbfreadRows(path, &status),
                  (std::vector<std::string>{"1|2|3|abc|Wien|x|y", "10|20|31|def|Bern|u|v"}));
        EXPECT_EQ(status, 0);
    }

    // A copy within dBASE keeps the names as they were stored, repeats and case included; a copy
    // into Paradox gets them as SQL shows them.
    auto source = engine::OpenTableFile(path, engine::OpenMode::ReadOnly);
    EXPECT_EQ(engine::CopyTableFile(*source, dir.File("copy.dbf")), 2u);
    const auto header = [&](const std::string& file) {
        std::ifstream in(dir.File(file), std::ios::binary);
        std::string bytes(std::istreambuf_iterator<char>(in), {});
        return bytes.substr(32, 32 * t.fields.size());
    };
    EXPECT_EQ(header("copy.dbf"), header("cut.dbf"));
    EXPECT_EQ(engine::CopyTableFile(*source, dir.File("copy.db")), 2u);
    EXPECT_EQ(Rows("SELECT * FROM \"copy.db\" ORDER BY 1"),
              (std::vector<std::string>{"1|2|3|abc|Wien|x|y", "10|20|31|def|Bern|u|v"}));
    auto paradox = engine::OpenTableFile(dir.File("copy.db"), engine::OpenMode::ReadOnly);
    std::vector<std::string> names;
    for (const auto& f : paradox->Fields()) names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Z600701190", "Z600701190_2", "z600701190_3", "Z600701190_4", "NAME",
                                               "NAME_2", "name_3"}));
}

// Numbers as GIS writers store them: wider than dBASE's 20 digits, with more significant digits
// than a double keeps. A copy into dBASE keeps every digit; so does a copy into Paradox, whose
// BCD field of the same scale holds them exactly.
TEST_F(ForeignDbfTest, CopiesKeepTheNumbersOtherWritersStore) {
    // F(20,5) written in exponent form with more digits than it declares, as some writers do.
    RawDbf t{{{"AREA", 'N', 24, 15}, {"CODE", 'N', 10, 0}, {"LEN", 'F', 20, 5}},
             {"      74.960975609756105         71.42948681360561E+03",
              "      -0.000000000000001 123456789             12.3456"}};
    const std::string path = Write("shape.dbf", t);
    const std::vector<std::string> expected{"-0.000000000000001|123456789", "74.960975609756105|7"};
    EXPECT_EQ(Rows("SELECT AREA, CODE FROM \"shape.dbf\" ORDER BY AREA"), expected);
    for (const char* dest : {"copy.dbf", "copy.db"}) {
        SCOPED_TRACE(dest);
        auto source = engine::OpenTableFile(path, engine::OpenMode::ReadOnly);
        EXPECT_EQ(engine::CopyTableFile(*source, dir.File(dest)), 2u);
    }
    EXPECT_EQ(Rows("SELECT AREA, CODE FROM \"copy.dbf\" ORDER BY AREA"), expected);
    {
        // The float keeps the digits it was stored with, in plain form.
        std::ifstream in(dir.File("copy.dbf"), std::ios::binary);
        const std::string bytes(std::istreambuf_iterator<char>(in), {});
        EXPECT_NE(bytes.find("    1429.48681360561"), std::string::npos);
        EXPECT_NE(bytes.find("            12.34560"), std::string::npos);  // padded to its decimals
    }
    engine::Record rec;
    auto paradox = engine::OpenTableFile(dir.File("copy.db"), engine::OpenMode::ReadOnly);
    ASSERT_TRUE(paradox->ReadRecord(0, rec));
    EXPECT_EQ(paradox->Fields()[0].type, engine::fldtype::kBcd);
    EXPECT_EQ(engine::FormatValue(rec[0]), "74.960975609756105");
    EXPECT_EQ(Rows("SELECT AREA FROM \"copy.db\" WHERE CODE = 7"), std::vector<std::string>{"74.960975609756105"});
    // An INSERT of the same literal stores the same digits.
    Sql("INSERT INTO \"copy.dbf\" VALUES (74.960975609756105, 8, 1.234567)");
    EXPECT_EQ(Rows("SELECT LEN FROM \"copy.dbf\" WHERE CODE = 8"), std::vector<std::string>{"1.23457"});
    EXPECT_EQ(Rows("SELECT AREA FROM \"copy.dbf\" WHERE CODE = 8"), std::vector<std::string>{"74.960975609756105"});
    int status = 0;
    const std::string gdal = RunCommand("ogrinfo -ro -al -q '" + dir.File("copy.dbf") + "' 2>&1", &status);
    if (status == 0) {
        EXPECT_NE(gdal.find("AREA (Real) = 74.960975609756105"), std::string::npos) << gdal;
        const std::string schema = RunCommand("ogrinfo -ro -al -so '" + dir.File("copy.dbf") + "' 2>&1");
        EXPECT_NE(schema.find("AREA: Real (24.15)"), std::string::npos) << schema;
    }
}

// A number literal reaches an exact field with the digits it was written with (a double would
// hold 15 to 17 of them), rounded half away from zero to the field's decimals.
TEST_F(ForeignDbfTest, NumberLiteralsAreStoredAsWritten) {
    Sql("CREATE TABLE \"exact.dbf\" (ID INTEGER, A NUMERIC(20,15), B NUMERIC(9,2))");
    Sql("INSERT INTO \"exact.dbf\" VALUES (1, 74.960975609756105, 1.005)");
    Sql("INSERT INTO \"exact.dbf\" VALUES (2, -74.960975609756105, -0.125)");
    Sql("INSERT INTO \"exact.dbf\" (ID, B) VALUES (3, 2)");
    Sql("UPDATE \"exact.dbf\" SET A = 0.000000000000001, B = 123456.785 WHERE ID = 3");
    std::ifstream in(dir.File("exact.dbf"), std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    for (const char* stored :
         {"  74.960975609756105     1.01", " -74.960975609756105    -0.13", "   0.000000000000001123456.79"}) {
        SCOPED_TRACE(stored);
        EXPECT_NE(bytes.find(stored), std::string::npos);
    }
    EXPECT_EQ(Rows("SELECT A, B FROM \"exact.dbf\" WHERE ID = 1"), std::vector<std::string>{"74.960975609756105|1.01"});
}

// A copy into dBASE keeps the table's level: a dBASE IV table with memos (version 0x8B) does not
// come out as a dBASE III one.
TEST_F(ForeignDbfTest, ACopyKeepsTheLevel) {
    const std::string path = dir.File("four.dbf");
    engine::CreateOptions options;
    options.level = 4;
    {
        auto t = engine::DriverForPath(path).Create(
            path, {engine::FieldDesc::Make("NOTE", engine::fldtype::kBlob, engine::fldsub::kMemo, 10)}, options);
        t->AppendRecord({engine::Value::Text("a memo")});
        t->Close();
    }
    auto source = engine::OpenTableFile(path, engine::OpenMode::ReadOnly);
    EXPECT_EQ(engine::CopyTableFile(*source, dir.File("copy.dbf")), 1u);
    std::ifstream in(dir.File("copy.dbf"), std::ios::binary);
    EXPECT_EQ(in.get(), 0x8B);
    EXPECT_EQ(Rows("SELECT NOTE FROM \"copy.dbf\""), std::vector<std::string>{"a memo"});
}

// GIS tools name the code page in a .cpg companion and leave the header's driver byte 0: it
// decides how the text reads, and a copy keeps it.
TEST_F(ForeignDbfTest, TheCodePageFileNamesTheCodePage) {
    RawDbf t{{{"NAME", 'C', 10, 0}, {"N", 'N', 3, 0}}, {"Z\xC3\xBCrich    1", "Gen\xC3\xA8ve    2"}};
    Write("places.dbf", t);
    std::ofstream(dir.File("places.cpg")) << "UTF-8\n";
    EXPECT_EQ(Rows("SELECT N FROM \"places.dbf\" WHERE NAME = 'Zürich'"), std::vector<std::string>{"1"});
    EXPECT_EQ(Rows("SELECT NAME FROM \"places.dbf\" WHERE NAME LIKE 'Gen%'"), std::vector<std::string>{"Genève"});
    Sql("INSERT INTO \"places.dbf\" VALUES ('Moûtiers', 3)");

    auto source = engine::OpenTableFile(dir.File("places.dbf"), engine::OpenMode::ReadOnly);
    EXPECT_EQ(engine::CopyTableFile(*source, dir.File("copy.dbf")), 3u);
    std::ifstream cpg(dir.File("copy.cpg"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(cpg), {}), "UTF-8\n");
    EXPECT_EQ(Rows("SELECT NAME FROM \"copy.dbf\" ORDER BY N"),
              (std::vector<std::string>{"Zürich", "Genève", "Moûtiers"}));
    int status = 0;
    const std::string gdal = RunCommand("ogrinfo -ro -al -q '" + dir.File("copy.dbf") + "' 2>&1", &status);
    if (status == 0) {
        EXPECT_NE(gdal.find("NAME (String) = Zürich"), std::string::npos) << gdal;
        EXPECT_NE(gdal.find("NAME (String) = Moûtiers"), std::string::npos) << gdal;
    }
    // Paradox has no language driver for UTF-8: refused before anything is written.
    try {
        engine::CopyTableFile(*source, dir.File("copy.db"));
        ADD_FAILURE() << "copied into a code page Paradox does not have";
    } catch (const engine::EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("code page 65001"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(dir.File("copy.db")));
}

// Bytes a code page does not define survive a copy into the same code page and are refused,
// with the field and the record named, by one that has a character of its own there.
TEST_F(ForeignDbfTest, BytesTheCodePageLacksAreKept) {
    RawDbf t{{{"NAME", 'C', 6, 0}},
             {"a\x81\x83"
              "b",
              "plain"}};
    t.languageDriver = 0xC8;  // Windows 1250: neither 0x81 nor 0x83 is a character
    const std::string path = Write("odd.dbf", t);
    const auto rows = Rows("SELECT NAME FROM \"odd.dbf\" ORDER BY NAME");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "a\uF781\uF783b");
    auto source = engine::OpenTableFile(path, engine::OpenMode::ReadOnly);
    EXPECT_EQ(engine::CopyTableFile(*source, dir.File("same.dbf")), 2u);
    std::ifstream in(dir.File("same.dbf"), std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(bytes.find("a\x81\x83"
                         "b"),
              std::string::npos);
    // Windows 1252 has 0x83 (ƒ) but not 0x81: into a 1252 table the text is refused whole.
    Sql("CREATE TABLE \"other.dbf\" (NAME CHAR(6))");
    try {
        Sql("INSERT INTO \"other.dbf\" SELECT NAME FROM \"odd.dbf\"");
        ADD_FAILURE() << "a byte changed its meaning on the copy";
    } catch (const engine::EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("NAME"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"other.dbf\""), std::vector<std::string>{"0"});

    // The batch copy into another code page says which record holds the byte, and leaves no file.
    t.languageDriver = 0;  // declares none: read as the run's code page, 866 here
    Write("dos.dbf", t);
    engine::dbase::SetUndeclaredCodePage("", 866);
    auto dos = engine::OpenTableFile(dir.File("dos.dbf"), engine::OpenMode::ReadOnly);
    engine::dbase::SetUndeclaredCodePage("", 0);  // the table keeps what it was opened with
    engine::CreateOptions options;
    options.codePage = 1252;
    try {
        engine::CopyRecords(
            dos->Fields(), nullptr, dir.File("win.dbf"),
            [&, slot = 0u](engine::Record& rec) mutable { return slot < 2 && dos->ReadRecord(slot++, rec); }, options);
        ADD_FAILURE() << "0x81 of code page 866 has no place in 1252";
    } catch (const engine::EngineError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Record 1: Field NAME of table \"" + dir.File("win.dbf") + "\"", 0), 0u)
            << e.what();
    }
    EXPECT_FALSE(fs::exists(dir.File("win.dbf")));
    // A copy within dBASE declares no code page either, so every reader takes it as its source.
    EXPECT_EQ(engine::CopyTableFile(*dos, dir.File("dos2.dbf")), 2u);
    std::ifstream copy(dir.File("dos2.dbf"), std::ios::binary);
    const std::string copied(std::istreambuf_iterator<char>(copy), {});
    EXPECT_EQ(copied[29], '\0');
    EXPECT_NE(copied.find("a\x81\x83"
                          "b"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dir.File("dos2.cpg")));
}

}  // namespace
}  // namespace tessel::test
