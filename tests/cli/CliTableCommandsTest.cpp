// Tests of tessel-sql's table commands, against the independent readers.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "cli/Cli.h"
#include "cli/TableCommands.h"
#include "engine/dbase/DbfTable.h"
#include "support/RunCommand.h"
#include "support/TempDir.h"

using namespace tessel;
using namespace tessel::engine;

namespace {

struct Result {
    int status;
    std::string out, err;
};

Result Cli(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = cli::RunCli(args, out, err);
    return {status, out.str(), err.str()};
}

FieldDesc Def(const char* name, uint16_t type, uint16_t sub = 0, uint16_t u1 = 0, uint16_t u2 = 0, char native = 0) {
    return FieldDesc::Make(name, type, sub, u1, u2, native);
}

// NAME C(12), PRICE N(10,2), BORN D, OK L, NOTES M, PIC B (level 5 because of the binary field).
void MakeTable(const std::string& path) {
    auto t = dbase::CreateDbfTable(
        path, {Def("NAME", fldtype::kString, 0, 12), Def("PRICE", fldtype::kFloat, 0, 10, 2, 'N'),
               Def("BORN", fldtype::kDate), Def("OK", fldtype::kBool), Def("NOTES", fldtype::kBlob, fldsub::kMemo),
               Def("PIC", fldtype::kBlob, fldsub::kBinary)});
    t->AppendRecord({Value::Text("Ann, \"A\""), Value::Decimal(-5, 2), Value::Date(1999, 12, 31), Value::Bool(true),
                     Value::Text("two\r\nlines"), Value::Bytes(std::string("\x89PNG\x00", 5))});
    t->AppendRecord({Value::Text("gone"), Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null()});
    t->DeleteRecord(1);
    t->AppendRecord(
        {Value::Text("  lead"), Value::Int(12345), Value::Null(), Value::Bool(false), Value::Null(), Value::Null()});
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(CliTableCommandsTest, SchemaPrintsTheFactsAndTheEngineCodes) {
    test::TempDir dir;
    MakeTable(dir.File("parts.dbf"));
    const Result r = Cli({"--schema", dir.File("parts.dbf")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "table: parts\n"
              "type: DBASE\n"
              "level: 5\n"
              "language driver: DBWINUS0\n"
              "records: 2\n"
              "NAME\t1\t0\t12\t0\n"
              "PRICE\t7\t0\t10\t2\n"
              "BORN\t2\t0\t8\t0\n"
              "OK\t4\t0\t1\t0\n"
              "NOTES\t3\t22\t10\t0\n"
              "PIC\t3\t23\t10\t0\n");
    // The indexes follow the fields.
    const Result made = Cli({"--dir", dir.Path(), "-c", "CREATE INDEX PRICE ON \"parts.dbf\" (PRICE)", "-c",
                             "CREATE UNIQUE INDEX ByName ON \"parts.dbf\" (NAME)"});
    ASSERT_EQ(made.status, 0) << made.err;
    const Result indexed = Cli({"--schema", dir.File("parts.dbf")});
    EXPECT_NE(indexed.out.find("PIC\t3\t23\t10\t0\nindex: PRICE\tPRICE\nindex: BYNAME\tNAME\tunique\n"),
              std::string::npos)
        << indexed.out;
}

TEST(CliTableCommandsTest, DumpWritesRfc4180CsvInTheAgreedForms) {
    test::TempDir dir;
    MakeTable(dir.File("parts.dbf"));
    const Result r = Cli({"--dump", dir.File("parts.dbf")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "NAME,PRICE,BORN,OK,NOTES,PIC\r\n"
              "\"Ann, \"\"A\"\"\",-0.05,1999-12-31,TRUE,\"two\r\nlines\",0x89504e4700\r\n"
              "  lead,12345.00,,FALSE,,\r\n");
}

TEST(CliTableCommandsTest, CsvCellsAreQuotedOnlyWhenNeeded) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {{"plain", "plain"},       {"", ""},
                 {"a,b", "\"a,b\""},       {"say \"hi\"", "\"say \"\"hi\"\"\""},
                 {"cr\rlf", "\"cr\rlf\""}, {"l\nf", "\"l\nf\""},
                 {" pad ", " pad "}};
    for (const auto& c : cases) EXPECT_EQ(cli::CsvCell(c.in), c.out);
}

TEST(CliTableCommandsTest, CopyGivesTheSameRecordsAndReplacesTheTarget) {
    test::TempDir dir;
    MakeTable(dir.File("parts.dbf"));
    // A stale table with an index and a memo file sits where the copy goes.
    {
        std::ofstream(dir.File("copy.dbf")) << "not a table";
        std::ofstream(dir.File("copy.dbt")) << "stale";
        std::ofstream(dir.File("copy.mdx")) << "stale";
    }
    const Result r = Cli({"--copy", dir.File("parts.dbf"), dir.File("copy.dbf")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Cli({"--dump", dir.File("copy.dbf")}).out, Cli({"--dump", dir.File("parts.dbf")}).out);
    const Result schema = Cli({"--schema", dir.File("copy.dbf")});
    EXPECT_NE(schema.out.find("table: copy\n"), std::string::npos);
    EXPECT_NE(schema.out.find("level: 5\n"), std::string::npos);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"copy.dbf", "copy.dbt", "parts.dbf", "parts.dbt"}));
}

TEST(CliTableCommandsTest, CopyKeepsTheSourceCodePage) {
    test::TempDir dir;
    CreateOptions opts;
    opts.codePage = 866;
    dbase::CreateDbfTable(dir.File("ru.dbf"), {Def("NAME", fldtype::kString, 0, 8)}, opts)
        ->AppendRecord({Value::Text("\xd0\x9c\xd0\xb8\xd1\x80")});
    ASSERT_EQ(Cli({"--copy", dir.File("ru.dbf"), dir.File("ru2.dbf")}).status, 0);
    EXPECT_EQ(ReadAll(dir.File("ru2.dbf"))[29], '\x65');  // the cp866 driver
    EXPECT_EQ(Cli({"--dump", dir.File("ru2.dbf")}).out, "NAME\r\n\xd0\x9c\xd0\xb8\xd1\x80\r\n");
}

TEST(CliTableCommandsTest, FailuresNameTheFileAndSayHowFarTheDumpGot) {
    test::TempDir dir;
    MakeTable(dir.File("parts.dbf"));
    Result r = Cli({"--schema", dir.File("none.dbf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("none.dbf"), std::string::npos) << r.err;
    r = Cli({"--dump", dir.File("x.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(".db or .dbf"), std::string::npos) << r.err;

    // Cut the file inside the third record: two records print, then the failure.
    std::string bytes = ReadAll(dir.File("parts.dbf"));
    auto t = dbase::DbfTable::Open(dir.File("parts.dbf"), OpenMode::ReadOnly);
    const size_t cut = t->Header().headerLength + 2 * t->RecordSize() + 3;
    t.reset();
    std::ofstream(dir.File("parts.dbf"), std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(cut));
    r = Cli({"--dump", dir.File("parts.dbf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Ann"), std::string::npos);
    EXPECT_NE(r.err.find("truncated"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("record 3 of 3"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 records were read"), std::string::npos) << r.err;

    EXPECT_EQ(Cli({"--dump"}).status, 2);
    EXPECT_EQ(Cli({"--copy", "a.dbf"}).status, 2);
}

// --copy gives a file the independent reader reads back exactly as it reads the source.
TEST(CliTableCommandsTest, CopyReadsBackIdenticallyInPythonDbf) {
    const std::string oracles = TESSEL_ORACLES_DIR;
    if (std::system("/usr/bin/python3 -c 'import dbf' 2>/dev/null") != 0 || !std::ifstream(oracles + "/dbfmake.py") ||
        !std::ifstream(oracles + "/dbfdump.py"))
        GTEST_SKIP() << "python3-dbf or the oracle scripts are not installed";
    test::TempDir dir;
    std::ofstream(dir.File("rows.csv")) << "NAME,QTY,PRICE,RATE,BORN,OK,NOTES\n"
                                           "Alice,12,3.5,-1.25,1999-12-31,T,hello memo\n"
                                           "\xc3\x84rger,-7,12345.678,0,2024-02-29,F,\"line1\nline2 \xe2\x82\xac\"\n"
                                           ",,,,,,\n";
    const std::string src = dir.File("src.dbf"), dst = dir.File("dst.dbf");
    ASSERT_EQ(std::system(("/usr/bin/python3 " + oracles + "/dbfmake.py " + src +
                           " --schema 'NAME C(20); QTY N(5,0); PRICE N(10,2); RATE F(12,3); BORN D; OK L; NOTES M'"
                           " --rows " +
                           dir.File("rows.csv") + " --writer python-dbf 2>/dev/null")
                              .c_str()),
              0);
    ASSERT_EQ(Cli({"--copy", src, dst}).status, 0);
    auto dump = [&](const std::string& path) {
        int status;
        const std::string out = test::RunCommand(
            "/usr/bin/python3 " + oracles + "/dbfdump.py " + path + " --via python-dbf 2>/dev/null", &status);
        EXPECT_EQ(status, 0) << path;
        // Header facts other than the schema may differ (date bytes, counts of deleted rows).
        std::string kept;
        std::istringstream lines(out);
        std::string line;
        while (std::getline(lines, line))
            if (line.rfind("# version", 0) == 0 || line.rfind("# schema", 0) == 0 || line[0] != '#')
                kept += line + "\n";
        return kept;
    };
    const std::string want = dump(src);
    EXPECT_NE(want.find("Alice"), std::string::npos);
    EXPECT_EQ(dump(dst), want);
}

TEST(CliSqlFiles, AFailureNamesTheFileAndTheLineItPointsAt) {
    test::TempDir dir;
    const std::string script = dir.File("steps.sql");
    // A line comment, a good statement, then one whose error lies two lines below its start.
    test::WriteBytes(script,
                     "-- make a table; then fill it\nCREATE TABLE \"a.dbf\" (N INTEGER);\n\n"
                     "INSERT INTO \"a.dbf\"\n  VALUES (1)\n  WHERE N = 2;\n");
    const Result syntax = Cli({"--dir", dir.Path(), script});
    EXPECT_EQ(syntax.status, 1);
    EXPECT_EQ(syntax.err.rfind("tessel-sql: " + script + ":6: ", 0), 0u) << syntax.err;
    EXPECT_NE(syntax.err.find("Line Number: 6"), std::string::npos) << syntax.err;
    // An error that points at no token names the statement's first line.
    test::WriteBytes(script,
                     "CREATE TABLE \"k.db\" (N INTEGER, PRIMARY KEY (N)); INSERT INTO \"k.db\" VALUES (1);\n\n"
                     "INSERT INTO \"k.db\"\n  VALUES (1);\n");
    const Result missing = Cli({"--dir", dir.Path(), script});
    EXPECT_EQ(missing.err.rfind("tessel-sql: " + script + ":3: ", 0), 0u) << missing.err;
}
