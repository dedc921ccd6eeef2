// Interop with an independent reader and writer of dBASE files (python3-dbf, driven through
// the oracle scripts): tables it writes read back exactly, and tables Tessel writes read back
// exactly in it. Skipped when python3-dbf or the scripts are not installed.
#include <gtest/gtest.h>

#include <cstdio>

#include "DbfTestUtil.h"
#include "base/EngineError.h"

using namespace dbftest;
using namespace tessel::engine;
using tessel::engine::dbase::CreateDbfTable;
using tessel::engine::dbase::DbfTable;

namespace {

const std::string kOracles = TESSEL_ORACLES_DIR;

bool OracleAvailable() {
    if (!Exists("/usr/bin/python3") || !Exists(kOracles + "/dbfmake.py") || !Exists(kOracles + "/dbfdump.py"))
        return false;
    int status;
    RunCommand("/usr/bin/python3 -c 'import dbf' 2>/dev/null", &status);
    return status == 0;
}

// The oracle's CSV conventions: logicals T/F, binary as hex:..., the rest as Tessel formats.
std::string OracleCell(const Value& v) {
    if (v.kind == ValueKind::Bool) return v.i ? "T" : "F";
    if (v.kind == ValueKind::Bytes) return std::string("hex:").append(FormatHex(v.s).substr(2));
    if (v.kind == ValueKind::Double) {
        // Python prints a float that holds a whole number with ".0".
        std::string s = FormatDouble(v.d);
        if (s.find('.') == std::string::npos) s.append(".0");
        return s;
    }
    return FormatValue(v);
}

std::string CsvCell(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

// Tessel's reading of a table in the oracle's CSV form.
std::string TesselCsv(const std::string& path) {
    auto t = DbfTable::Open(path, OpenMode::ReadOnly);
    std::string csv;
    for (size_t k = 0; k < t->Fields().size(); ++k) {
        if (k) csv += ',';
        csv += CsvCell(t->Fields()[k].name);
    }
    csv += "\n";
    Record rec;
    for (uint32_t n = 0; n < t->RecordCount(); ++n) {
        if (!t->ReadRecord(n, rec)) continue;
        for (size_t k = 0; k < rec.size(); ++k) {
            if (k) csv += ',';
            csv += CsvCell(OracleCell(rec[k]));
        }
        csv += "\n";
    }
    return csv;
}

std::string OracleCsv(const std::string& path) {
    int rc;
    const std::string out = RunCommand(
        "/usr/bin/python3 " + kOracles + "/dbfdump.py '" + path + "' --via python-dbf --no-meta 2>/dev/null", &rc);
    EXPECT_EQ(rc, 0) << "python3-dbf could not read " << path;
    // The csv module ends lines with \n but keeps \r\n inside quoted values.
    return out;
}

}  // namespace

class DbfInteropTest : public TempDirTest {
protected:
    void SetUp() override {
        if (!OracleAvailable()) GTEST_SKIP() << "python3-dbf or the oracle scripts are not installed";
        TempDirTest::SetUp();
    }

    // Writes a table with python3-dbf; returns false (and fails) when it refused.
    void OracleWrite(const std::string& out, const std::string& schema, const std::string& rows,
                     const std::string& level, const std::string& codepage) {
        WriteAll(Path("rows.csv"), rows);
        int rc;
        const std::string log = RunCommand("/usr/bin/python3 " + kOracles + "/dbfmake.py '" + out + "' --schema '" +
                                               schema + "' --rows '" + Path("rows.csv") + "' --level " + level +
                                               " --writer python-dbf --codepage " + codepage + " 2>&1",
                                           &rc);
        ASSERT_EQ(rc, 0) << log;
    }
};

TEST_F(DbfInteropTest, TablesWrittenByPythonDbfReadBackExactly) {
    struct Case {
        const char* name;
        const char* level;
        const char* codepage;
        const char* schema;
        std::string rows;
    } cases[] = {
        {"level3", "3", "cp1252", "NAME C(20); QTY N(5,0); PRICE N(10,2); RATE F(12,3); BORN D; OK L; NOTES M",
         "NAME,QTY,PRICE,RATE,BORN,OK,NOTES,_deleted\n"
         "Alice,12,3.5,-1.25,1999-12-31,T,hello memo,\n"
         "Bob,1,2,3,2000-01-01,F,gone,*\n"
         "J\xc3\xb6rg \xe2\x82\xac,-7,12345.678,0,2024-02-29,F,\"line1\r\nline2 \xc3\x84\xc3\x96\xc3\xbc "
         "\xe2\x82\xac\",\n"
         "\"Quote \"\"me\"\", ok\",,,,,,,\n"
         ",0,0,0,0001-01-01,,\"" +
             std::string(1500, 'x') + "\",\n"},
        {"cyrillic", "3", "cp866", "NAME C(12); NOTES M",
         "NAME,NOTES\n\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82,\xd0\x9c\xd0\xb8\xd1\x80 "
         "\xd0\xbc\xd0\xb5\xd0\xbc\xd0\xbe\nplain,\n"},
        {"foxpro", "fp", "cp1252", "NAME C(10); QTY N(6,2); BORN D; OK L; NOTES M",
         "NAME,QTY,BORN,OK,NOTES\nFox,-1.5,2010-10-10,T,fox memo \xc3\xa9\n,,,,\n"},
        {"visualfoxpro", "vfp", "cp1252",
         "NAME C(10) NULL; PRICE Y NULL; AT T NULL; N I NULL; X B NULL; OK L NULL; NOTES M NULL",
         "NAME,PRICE,AT,N,X,OK,NOTES\n"
         "Vee,12.3456,2000-01-01 12:30:15,-2,1.5,T,vfp memo\n"
         ",,,,,,\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path(std::string(c.name) + ".dbf");
        OracleWrite(path, c.schema, c.rows, c.level, c.codepage);
        EXPECT_EQ(TesselCsv(path), OracleCsv(path));
    }
}

TEST_F(DbfInteropTest, FoxProTablesAreReadOnly) {
    const std::string path = Path("vfp.dbf");
    OracleWrite(path, "NAME C(10)", "NAME\nx\n", "vfp", "cp1252");
    auto t = DbfTable::Open(path, OpenMode::ReadWrite);
    EXPECT_EQ(t->Properties().typeName, "FOXPRO");
    EXPECT_TRUE(t->IsReadOnly());
    EXPECT_THROW(t->AppendRecord({Value::Text("y")}), EngineError);
}

TEST_F(DbfInteropTest, TablesWrittenByTesselReadBackExactlyInPythonDbf) {
    struct Case {
        const char* name;
        int codePage;
        std::vector<FieldDesc> fields;
        std::vector<Record> rows;
    } cases[] = {
        {"level3memo",
         1252,
         {Def("NAME", fldtype::kString, 0, 20), Def("QTY", fldtype::kInt16),
          Def("PRICE", fldtype::kFloat, 0, 10, 2, 'N'), Def("RATE", fldtype::kFloat, 0, 12, 3, 'F'),
          Def("BORN", fldtype::kDate), Def("OK", fldtype::kBool), Def("NOTES", fldtype::kBlob, fldsub::kMemo),
          Def("BIG", fldtype::kInt32), Def("CASH", fldtype::kFloat, fldsub::kMoney)},
         {{Value::Text("Alice"), Value::Int(12), Value::Decimal(350, 2), Value::Double(-1.25),
           Value::Date(1999, 12, 31), Value::Bool(true), Value::Text("hello memo"), Value::Int(-2147483647),
           Value::Decimal(123456789, 4)},
          {Value::Text("J\xc3\xb6rg \xe2\x82\xac"), Value::Int(-7), Value::Double(12345.678), Value::Int(0),
           Value::Date(2024, 2, 29), Value::Bool(false), Value::Text(std::string(3000, 'm') + "\r\nend"), Value::Null(),
           Value::Null()},
          {Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(),
           Value::Null(), Value::Null()}}},
        {"cyrillic",
         866,
         {Def("NAME", fldtype::kString, 0, 12), Def("NOTES", fldtype::kBlob, fldsub::kMemo)},
         {{Value::Text("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"), Value::Text("\xd0\x9c\xd0\xb8\xd1\x80")}}},
        {"level4nomemo",
         437,
         {Def("WIDE", fldtype::kBcd, 0, 20, 4), Def("T", fldtype::kString, 0, 5)},
         {{Value::Decimal(-123456789012345LL, 4), Value::Text("\xc3\xbc")}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path(std::string(c.name) + ".dbf");
        CreateOptions opts;
        opts.codePage = c.codePage;
        {
            auto t = CreateDbfTable(path, c.fields, opts);
            for (const auto& r : c.rows) t->AppendRecord(r);
            t->AppendRecord(c.rows.front());
            t->DeleteRecord(t->RecordCount() - 1);  // deleted records are skipped by both
        }
        EXPECT_EQ(OracleCsv(path), TesselCsv(path));
        EXPECT_NE(TesselCsv(path).find(FormatValue(c.rows.front()[0])), std::string::npos);
    }
}
