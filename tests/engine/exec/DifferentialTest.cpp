// Generated queries over generated tables, run through Tessel on .dbf and .db files and
// through plain SQLite on native tables holding the same data; the answers must agree. Only the
// part of the dialect whose meaning both share is generated (no LIKE: the dialect's is
// case-sensitive; no empty strings: a Paradox blank is null).

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>

#include "ExecTestSupport.h"
#include "support/RunCommand.h"

namespace tessel::test {
namespace {

std::string Number(double d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4f", d);
    return std::string(buf) == "-0.0000" ? "0.0000" : buf;
}

std::string Canonical(const engine::Value& v) {
    switch (v.kind) {
        case engine::ValueKind::Null:
            return "NULL";
        case engine::ValueKind::Int:
        case engine::ValueKind::Bool:
            return Number(static_cast<double>(v.i));
        case engine::ValueKind::Double:
        case engine::ValueKind::Decimal:
            return Number(v.AsDouble());
        default: {
            // Trailing blanks never count in the dialect; a table may still store them.
            std::string text = v.s;
            text.erase(text.find_last_not_of(' ') + 1);
            return text;
        }
    }
}

// The pxlib oracle program, built by CMake when pxlib is there; "" when it is not.
std::string Pxdump() {
#ifdef TESSEL_PXDUMP
    if (std::filesystem::exists(TESSEL_PXDUMP)) return TESSEL_PXDUMP;
#endif
    return "";
}

bool HavePythonDbf() {
    int status = 0;
    RunCommand("/usr/bin/python3 -c 'import dbf' 2>/dev/null", &status);
    return status == 0;
}

class DifferentialTest : public ::testing::TestWithParam<std::pair<const char*, const char*>>, public ExecFixture {
protected:
    void SetUp() override { ASSERT_EQ(sqlite3_open(":memory:", &native_), SQLITE_OK); }
    void TearDown() override { sqlite3_close(native_); }

    void NativeExec(const std::string& sql) {
        char* err = nullptr;
        ASSERT_EQ(sqlite3_exec(native_, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK)
            << sql << ": " << (err ? err : "");
    }

    // Both sides get the same rows: Tessel's table through its own SQL, or written by the
    // independent writer of the format (pxlib, python3-dbf) with trailing blanks in some texts;
    // the reference gets the texts without them, as the dialect reads them.
    void MakeTable(const std::string& file, const std::string& name, int rows, std::mt19937& rng, bool oracle = false) {
        NativeExec("CREATE TABLE " + name + " (A INTEGER, B TEXT COLLATE RTRIM, C REAL)");
        const bool paradox = file.size() > 3 && file.substr(file.size() - 3) == ".db";
        if (!oracle) Sql("CREATE TABLE \"" + file + "\" (A INTEGER, B CHAR(8), C NUMERIC(10,2))");
        std::string csv = paradox ? "A:I,B:A8,C:N\n" : "A,B,C\n";
        const char* words[] = {"ant", "bee", "cat", "Dog", "eel", "fox"};
        for (int r = 0; r < rows; ++r) {
            const bool nullA = rng() % 10 == 0, nullB = rng() % 10 == 0;
            const std::string a = nullA ? "NULL" : std::to_string(static_cast<int>(rng() % 41) - 20);
            const std::string word = words[rng() % 6];
            const std::string pad(rng() % 3, ' ');
            std::string c = "NULL";
            if (rng() % 8) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "%d.%02d", static_cast<int>(rng() % 2000) - 1000,
                              static_cast<int>(rng() % 100));
                c = buf;
            }
            const std::string b = nullB ? "NULL" : "'" + word + pad + "'";
            if (oracle)
                csv += (nullA ? "" : a) + "," + (nullB ? "" : "\"" + word + pad + "\"") + "," + (c == "NULL" ? "" : c) +
                       "\n";
            else
                Sql("INSERT INTO \"" + file + "\" VALUES (" + a + ", " + b + ", " + c + ")");
            NativeExec("INSERT INTO " + name + " VALUES (" + a + ", " + (nullB ? "NULL" : "'" + word + "'") + ", " + c +
                       ")");
        }
        if (!oracle) return;
        const std::string path = dir.File(file);
        WriteBytes(path + ".csv", csv);
        int status = 0;
        const std::string out =
            paradox ? RunCommand(Pxdump() + " create '" + path + "' < '" + path + ".csv' 2>&1", &status)
                    : RunCommand("/usr/bin/python3 " + std::string(TESSEL_ORACLES_DIR) + "/dbfmake.py '" + path +
                                     "' --schema 'A N(11,0); B C(8); C N(10,2)' --rows '" + path +
                                     ".csv' --level 3 --writer python-dbf 2>&1",
                                 &status);
        ASSERT_EQ(status, 0) << out;
        std::filesystem::remove(path + ".csv");
    }

    std::vector<std::string> TesselRows(const std::string& sql, bool ordered = false) {
        auto answer = db->OpenQuery(sql);
        std::vector<std::string> rows;
        for (bool ok = answer->First(); ok; ok = answer->Next()) {
            std::string line;
            for (const auto& v : answer->Current()) line += Canonical(v) + "|";
            rows.push_back(line);
        }
        if (!ordered) std::sort(rows.begin(), rows.end());
        return rows;
    }

    std::vector<std::string> NativeRows(const std::string& sql, bool ordered = false) {
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(native_, sql.c_str(), -1, &st, nullptr), SQLITE_OK)
            << sql << ": " << sqlite3_errmsg(native_);
        std::vector<std::string> rows;
        while (st && sqlite3_step(st) == SQLITE_ROW) {
            std::string line;
            for (int k = 0; k < sqlite3_column_count(st); ++k) {
                switch (sqlite3_column_type(st, k)) {
                    case SQLITE_NULL:
                        line += "NULL|";
                        break;
                    case SQLITE_INTEGER:
                    case SQLITE_FLOAT:
                        line += Number(sqlite3_column_double(st, k)) + "|";
                        break;
                    default:
                        line += std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, k))) + "|";
                }
            }
            rows.push_back(line);
        }
        sqlite3_finalize(st);
        if (!ordered) std::sort(rows.begin(), rows.end());
        return rows;
    }

    sqlite3* native_ = nullptr;
};

std::string Predicate(std::mt19937& rng, const std::string& q, int depth = 0) {
    const char* ops[] = {"=", "<>", "<", "<=", ">", ">="};
    const char* words[] = {"ant", "bee", "cat", "Dog", "eel", "zzz"};
    switch (rng() % (depth < 2 ? 9 : 6)) {
        case 0:
            return q + "A " + ops[rng() % 6] + " " + std::to_string(static_cast<int>(rng() % 41) - 20);
        case 1:
            return q + "C " + ops[rng() % 6] + " " + std::to_string(static_cast<int>(rng() % 2000) - 1000) + ".5";
        case 2:
            return q + "B " + ops[rng() % 6] + " '" + words[rng() % 6] + "'";
        case 3:
            return q + "A IS " + (rng() % 2 ? "NOT " : "") + "NULL";
        case 4: {
            const int lo = static_cast<int>(rng() % 41) - 20;
            return q + "A BETWEEN " + std::to_string(lo) + " AND " + std::to_string(lo + static_cast<int>(rng() % 15));
        }
        case 5:
            return q + "B IN ('ant', 'cat', '" + words[rng() % 6] + "')";
        case 6:
            return "(" + Predicate(rng, q, depth + 1) + " AND " + Predicate(rng, q, depth + 1) + ")";
        case 7:
            return "(" + Predicate(rng, q, depth + 1) + " OR " + Predicate(rng, q, depth + 1) + ")";
        default:
            return "NOT (" + Predicate(rng, q, depth + 1) + ")";
    }
}

// A query with {1} and {2} standing for the two tables.
std::string Query(std::mt19937& rng) {
    switch (rng() % 8) {
        case 0:
            return "SELECT A, B, C FROM {1} WHERE " + Predicate(rng, "");
        case 1:
            return "SELECT B, COUNT(*), COUNT(A), SUM(A), MIN(C), MAX(C) FROM {1} WHERE " + Predicate(rng, "") +
                   " GROUP BY B";
        case 2:
            return "SELECT X.A, X.B, Y.C FROM {1} X, {2} Y WHERE X.A = Y.A AND " + Predicate(rng, "X.");
        case 3:
            return "SELECT A, C FROM {1} WHERE A IN (SELECT A FROM {2} WHERE " + Predicate(rng, "") + ")";
        case 4:
            return "SELECT DISTINCT B, A FROM {1} WHERE " + Predicate(rng, "");
        case 5:
            return "SELECT COUNT(*), SUM(C), MIN(B), MAX(B) FROM {1} WHERE " + Predicate(rng, "");
        case 6:
            return "SELECT A FROM {1} WHERE " + Predicate(rng, "") + " UNION SELECT A FROM {2} WHERE " +
                   Predicate(rng, "");
        default:
            return "SELECT X.B, COUNT(*) FROM {1} X LEFT OUTER JOIN {2} Y ON X.A = Y.A WHERE " + Predicate(rng, "X.") +
                   " GROUP BY X.B HAVING COUNT(*) > 1";
    }
}

// The queries where the text rule shows and exact sums: text expressions compared, made
// distinct and grouped, answers in ORDER BY order (`ordered`), and sums of products.
std::string TextQuery(std::mt19937& rng, bool& ordered) {
    ordered = false;
    const char* words[] = {"ANT", "BEE", "CAT", "DOG", "EEL"};
    switch (rng() % 7) {
        case 0:
            return "SELECT A, UPPER(B) FROM {1} WHERE UPPER(B) = '" + std::string(words[rng() % 5]) + "'";
        case 1:
            return "SELECT DISTINCT UPPER(B) FROM {1} WHERE " + Predicate(rng, "");
        case 2:
            ordered = true;
            return "SELECT B, A FROM {1} WHERE " + Predicate(rng, "") + " ORDER BY B, A";
        case 3:
            ordered = true;
            return "SELECT B, A FROM {1} WHERE " + Predicate(rng, "") + " ORDER BY 1 DESC, 2";
        case 4:
            return "SELECT B, SUM(C * A), SUM(C + A), COUNT(DISTINCT A) FROM {1} GROUP BY B";
        case 5:
            return "SELECT COUNT(DISTINCT B), MIN(B), MAX(B) FROM {1} WHERE " + Predicate(rng, "");
        default:
            return "SELECT X.B, Y.A FROM {1} X, {2} Y WHERE X.B = Y.B AND X.A = Y.A AND " + Predicate(rng, "X.");
    }
}

std::string Fill(std::string q, const std::string& one, const std::string& two) {
    for (size_t p; (p = q.find("{1}")) != std::string::npos;) q.replace(p, 3, one);
    for (size_t p; (p = q.find("{2}")) != std::string::npos;) q.replace(p, 3, two);
    return q;
}

TEST_P(DifferentialTest, GeneratedQueriesAgreeWithSqlite) {
    const auto [ext1, ext2] = GetParam();
    std::mt19937 rng(20240611);
    const std::string f1 = std::string("one") + ext1, f2 = std::string("two") + ext2;
    MakeTable(f1, "one", 120, rng);
    MakeTable(f2, "two", 80, rng);
    int compared = 0;
    int nonEmpty = 0;
    for (int k = 0; k < 150; ++k) {
        const std::string q = Query(rng);
        const std::string mine = Fill(q, "\"" + f1 + "\"", "\"" + f2 + "\"");
        const std::string theirs = Fill(q, "one", "two");
        std::vector<std::string> got;
        try {
            got = TesselRows(mine);
        } catch (const std::exception& e) {
            ADD_FAILURE() << mine << ": " << e.what();
            continue;
        }
        EXPECT_EQ(got, NativeRows(theirs)) << mine;
        ++compared;
        if (!got.empty()) ++nonEmpty;
    }
    EXPECT_EQ(compared, 150);
    EXPECT_GT(nonEmpty, 100);  // the comparison says something only when there are rows
}

// Tables the independent writers made, trailing blanks stored in some texts.
TEST_P(DifferentialTest, TablesOfTheIndependentWritersAgreeWithTheDialectsReference) {
    if (Pxdump().empty() || !HavePythonDbf()) GTEST_SKIP() << "pxlib or python3-dbf is not installed";
    const auto [ext1, ext2] = GetParam();
    std::mt19937 rng(20261211);
    const std::string f1 = std::string("one") + ext1, f2 = std::string("two") + ext2;
    MakeTable(f1, "one", 150, rng, true);
    MakeTable(f2, "two", 100, rng, true);
    int nonEmpty = 0;
    for (int k = 0; k < 200; ++k) {
        bool ordered = false;
        const std::string q = k % 2 ? TextQuery(rng, ordered) : Query(rng);
        const std::string mine = Fill(q, "\"" + f1 + "\"", "\"" + f2 + "\"");
        std::vector<std::string> got;
        try {
            got = TesselRows(mine, ordered);
        } catch (const std::exception& e) {
            ADD_FAILURE() << mine << ": " << e.what();
            continue;
        }
        EXPECT_EQ(got, NativeRows(Fill(q, "one", "two"), ordered)) << mine;
        if (!got.empty()) ++nonEmpty;
    }
    EXPECT_GT(nonEmpty, 130);
}

INSTANTIATE_TEST_SUITE_P(Formats, DifferentialTest,
                         ::testing::Values(std::make_pair(".dbf", ".db"), std::make_pair(".db", ".dbf")));

}  // namespace
}  // namespace tessel::test
