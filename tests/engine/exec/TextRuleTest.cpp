// The dialect's rule for text (trailing blanks never count) in every place that compares it,
// exact arithmetic on fixed-point columns, and the code page of new Paradox tables, checked on
// tables the independent writers made.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "ExecTestSupport.h"
#include "engine/TableFiles.h"
#include "support/RunCommand.h"

namespace tessel::test {
namespace {

// The pxlib oracle program, built by CMake when pxlib is there; "" when it is not.
std::string Pxdump() {
#ifdef TESSEL_PXDUMP
    if (std::filesystem::exists(TESSEL_PXDUMP)) return TESSEL_PXDUMP;
#endif
    return "";
}

class TextRuleTest : public ::testing::Test, public ExecFixture {
protected:
    // A Paradox table written by pxlib from CSV ("Name:Type" header cells).
    void PxCreate(const std::string& name, const std::string& csv, const std::string& options = "") {
        const std::string path = dir.File(name);
        WriteBytes(path + ".csv", csv);
        int status = 0;
        const std::string out =
            RunCommand(Pxdump() + " create " + path + " " + options + " < " + path + ".csv 2>&1", &status);
        ASSERT_EQ(status, 0) << out;
        std::filesystem::remove(path + ".csv");
    }
    std::string PxCsv(const std::string& name) {
        int status = 0;
        const std::string out = RunCommand(Pxdump() + " csv " + dir.File(name) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
        return out;
    }
};

TEST_F(TextRuleTest, TrailingBlanksCountNowhere) {
    if (Pxdump().empty()) GTEST_SKIP() << "pxlib is not installed";
    // pxlib keeps the blanks of "ab  " as another program would have stored them.
    PxCreate("g.db", "ID:I,N:A10\n1,ab\n2,\"ab  \"\n3,ab\n4,b\n5,\"b \"\n");
    ASSERT_NE(PxCsv("g.db").find("\n2,ab  \n"), std::string::npos) << PxCsv("g.db");
    Sql("CREATE TABLE \"k.dbf\" (K CHAR(6), W CHAR(3))");
    Sql("INSERT INTO \"k.dbf\" VALUES ('ab', 'one')");
    Sql("INSERT INTO \"k.dbf\" VALUES ('b   ', 'two')");
    struct Case {
        const char* sql;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"SELECT COUNT(*) FROM \"g.db\" WHERE N = 'ab'", {"3"}},
        {"SELECT COUNT(*) FROM \"g.db\" WHERE N <> 'ab '", {"2"}},
        {"SELECT COUNT(*) FROM \"g.db\" WHERE N IN ('ab', 'x')", {"3"}},
        {"SELECT COUNT(*) FROM \"g.db\" WHERE N BETWEEN 'ab' AND 'ab'", {"3"}},
        {"SELECT COUNT(*) FROM \"g.db\" WHERE N LIKE 'ab'", {"3"}},
        {"SELECT COUNT(*) FROM \"g.db\" WHERE N > 'ab'", {"2"}},
        {"SELECT COUNT(*) AS C FROM \"g.db\" GROUP BY N", {"3", "2"}},
        {"SELECT COUNT(DISTINCT N) FROM \"g.db\"", {"2"}},
        {"SELECT ID FROM \"g.db\" ORDER BY N, ID", {"1", "2", "3", "4", "5"}},
        {"SELECT ID FROM \"g.db\" ORDER BY N DESC, ID", {"4", "5", "1", "2", "3"}},
        {"SELECT COUNT(*) FROM \"g.db\" G, \"k.dbf\" K WHERE G.N = K.K", {"5"}},
        {"SELECT K.W, COUNT(*) FROM \"g.db\" G JOIN \"k.dbf\" K ON K.K = G.N GROUP BY K.W", {"one|3", "two|2"}},
        {"SELECT COUNT(*) FROM \"g.db\" WHERE N IN (SELECT K FROM \"k.dbf\")", {"5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(Rows(c.sql), c.rows);
    }
    // Answers whose rows differ only in trailing blanks are one row; the value is one of them.
    for (const char* sql : {"SELECT DISTINCT N FROM \"g.db\"", "SELECT N FROM \"g.db\" UNION SELECT N FROM \"g.db\"",
                            "SELECT DISTINCT UPPER(N) FROM \"g.db\"", "SELECT N FROM \"g.db\" GROUP BY N",
                            "SELECT N FROM \"g.db\" UNION SELECT K FROM \"k.dbf\""}) {
        SCOPED_TRACE(sql);
        std::vector<std::string> rows = Rows(sql);
        for (std::string& r : rows) r.erase(r.find_last_not_of(' ') + 1);
        std::sort(rows.begin(), rows.end());
        EXPECT_TRUE(rows == (std::vector<std::string>{"AB", "B"}) || rows == (std::vector<std::string>{"ab", "b"}))
            << testing::PrintToString(rows);
    }
    std::vector<std::string> extremes = Rows("SELECT MIN(N), MAX(N) FROM \"g.db\"");
    ASSERT_EQ(extremes.size(), 1u);
    EXPECT_EQ(extremes[0].substr(0, 2), "ab");

    // What Tessel writes into an alpha field has no trailing blanks: pxlib reads the value alone.
    Sql("INSERT INTO \"g.db\" VALUES (6, 'cd   ')");
    Sql("UPDATE \"g.db\" SET N = 'ef ' WHERE ID = 4");
    const std::string csv = PxCsv("g.db");
    EXPECT_NE(csv.find("6,cd\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("4,ef\n"), std::string::npos) << csv;
}

TEST_F(TextRuleTest, ProductsAndSumsOfFixedPointColumnsAreExact) {
    // dBASE N(p,s) and Paradox BCD (DECIMAL; a Paradox NUMERIC is a float by the dialect).
    for (const char* file : {"m.dbf", "m.db"}) {
        SCOPED_TRACE(file);
        const std::string t = std::string("\"") + file + "\"";
        const std::string exact = std::string(file) == "m.db" ? "DECIMAL" : "NUMERIC";
        Sql("CREATE TABLE " + t + " (Q INTEGER, P " + exact + "(12,2), R " + exact + "(9,3))");
        Sql("INSERT INTO " + t + " VALUES (1, 0.10, 0.001)");
        Sql("INSERT INTO " + t + " VALUES (1, 0.20, 0.002)");
        Sql("INSERT INTO " + t + " VALUES (3, 1234567.89, 0.1)");
        EXPECT_EQ(Rows("SELECT SUM(P), SUM(Q * P), SUM(P * 1), SUM(Q * P * R), SUM(P + Q), AVG(Q * P) FROM " + t),
                  (std::vector<std::string>{"1234568.19|3703703.97|1234568.19|370370.36750|1234573.19|1234567.99"}));
    }
    // A dBASE whole-number field of the file (N with no decimals) is exact too, and an answer
    // saved to a table keeps the scale.
    Sql("CREATE TABLE \"n.dbf\" (QTY NUMERIC(8,0), UPRICE NUMERIC(10,2))");
    for (int i = 0; i < 200; ++i) Sql("INSERT INTO \"n.dbf\" VALUES (" + std::to_string(i % 7 + 1) + ", 9050.11)");
    EXPECT_EQ(Rows("SELECT SUM(UPRICE * QTY) FROM \"n.dbf\""), (std::vector<std::string>{"7185787.34"}));
    auto answer = db->OpenQuery("SELECT QTY * UPRICE AS LINE FROM \"n.dbf\"");
    ASSERT_EQ(answer->Fields().size(), 1u);
    EXPECT_EQ(answer->Fields()[0].units2, 2);
    // Copied into Paradox the decimals become a BCD field of their scale: the sum stays exact,
    // and pxlib reads the digits.
    auto source = engine::OpenTableFile(dir.File("n.dbf"), engine::OpenMode::ReadOnly);
    engine::CopyTableFile(*source, dir.File("n.db"));
    EXPECT_EQ(Rows("SELECT SUM(UPRICE) FROM \"n.db\""), (std::vector<std::string>{"1810022.00"}));
    if (!Pxdump().empty()) EXPECT_NE(PxCsv("n.db").find("\n1,9050.11\n"), std::string::npos);
}

TEST_F(TextRuleTest, ANewParadoxTableNamesItsCodePageUnlessItIs437) {
    if (Pxdump().empty()) GTEST_SKIP() << "pxlib is not installed";
    for (const int cp : {437, 866, 850, 1252}) {
        SCOPED_TRACE(cp);
        const std::string name = "cp" + std::to_string(cp) + ".db";
        engine::CreateOptions options;
        options.codePage = cp;
        auto table = engine::CreateTableFile(
            dir.File(name), {engine::FieldDesc::Make("NAME", engine::fldtype::kString, 0, 10)}, options);
        table->AppendRecord({engine::Value::Text(cp == 866 ? "Привет" : "Ab")});
        table->Close();
        int status = 0;
        const std::string info = RunCommand(Pxdump() + " info " + dir.File(name) + " 2>&1", &status);
        ASSERT_EQ(status, 0) << info;
        if (cp != 437) EXPECT_NE(info.find(std::to_string(cp)), std::string::npos) << info;
        const std::string csv = PxCsv(name);
        EXPECT_NE(csv.find(cp == 866 ? "Привет" : "Ab"), std::string::npos) << csv;
    }
}

// A join on a text column of a small table probes an index of it built once, rather than
// scanning the small table for every record of the big one.
TEST_F(TextRuleTest, AJoinOnTextProbesTheSmallTable) {
    Sql("CREATE TABLE \"big.db\" (ID INTEGER, CITY CHAR(20))");
    Sql("CREATE TABLE \"cities.dbf\" (CITY CHAR(20), REGION CHAR(4))");
    for (int i = 0; i < 40; ++i) {
        Sql("INSERT INTO \"cities.dbf\" VALUES ('C" + std::to_string(i) + "', 'R" + std::to_string(i % 4) + "')");
        Sql("INSERT INTO \"big.db\" VALUES (" + std::to_string(i) + ", 'C" + std::to_string(i % 10) + "  ')");
    }
    const std::string join =
        "SELECT COUNT(*) FROM \"big.db\" B, \"cities.dbf\" C WHERE B.CITY = C.CITY AND C.REGION = 'R1'";
    EXPECT_EQ(Rows(join), (std::vector<std::string>{"12"}));
    // The plan of the same join over the two tables' virtual tables.
    sqlite3* c = db->Connection();
    std::vector<std::string> names;
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(c, "SELECT name FROM temp.sqlite_master WHERE type = 'table' ORDER BY name", -1, &st,
                                 nullptr),
              SQLITE_OK);
    while (sqlite3_step(st) == SQLITE_ROW) names.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    ASSERT_EQ(names.size(), 2u) << testing::PrintToString(names);
    // The cities' table is the one with a REGION column.
    ASSERT_EQ(sqlite3_prepare_v2(c,
                                 ("SELECT COUNT(*) FROM pragma_table_info('" + names[0] +
                                  "', 'temp') WHERE name = "
                                  "'REGION'")
                                     .c_str(),
                                 -1, &st, nullptr),
              SQLITE_OK);
    sqlite3_step(st);
    if (sqlite3_column_int(st, 0) == 1) std::swap(names[0], names[1]);
    sqlite3_finalize(st);
    const std::string plan = "EXPLAIN QUERY PLAN SELECT COUNT(*) FROM temp." + names[0] + " B, temp." + names[1] +
                             " C WHERE B.CITY = C.CITY AND C.REGION = 'R1'";
    std::string steps;
    ASSERT_EQ(sqlite3_prepare_v2(c, plan.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(c);
    while (sqlite3_step(st) == SQLITE_ROW)
        steps += std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 3))) + "; ";
    sqlite3_finalize(st);
    // The big table is scanned once; the cities are probed by CITY (column 0: index number 32,
    // the probe of the column in bits 8 and up) with the probe value as the constraint.
    EXPECT_EQ(steps, "SCAN B VIRTUAL TABLE INDEX 0:2; SCAN C VIRTUAL TABLE INDEX 32:3; ") << steps;
}

}  // namespace
}  // namespace tessel::test
