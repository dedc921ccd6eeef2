// Interop with an independent Paradox reader and writer (pxlib, through the oracle front end
// built by CMake). Skipped when it is not installed.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "PxTestUtil.h"
#include "support/TempDir.h"

using namespace tessel;
using namespace tessel::engine;
using namespace tessel::engine::paradox;
using tessel::test::Fld;
using tessel::test::Pxdump;

namespace {

#define REQUIRE_PXLIB()                  \
    const std::string pxdump = Pxdump(); \
    if (pxdump.empty()) GTEST_SKIP() << "pxlib is not installed";

std::string PxCreate(const std::string& pxdump, const std::string& table, const std::string& csv,
                     const std::string& options) {
    const std::string in = table + ".csv";
    test::WriteBytes(in, csv);
    int st = 0;
    const std::string out = test::RunCommand(pxdump + " create " + table + " " + options + " < " + in + " 2>&1", &st);
    EXPECT_EQ(st, 0) << out;
    return out;
}

std::string PxCsv(const std::string& pxdump, const std::string& table, int* status = nullptr) {
    return test::RunCommand(pxdump + " csv " + table + " 2>&1", status);
}

// Rows for the independent writer covering blanks, signs, limits, memo lengths around the
// leader and the 2 KiB boundary, and text outside ASCII.
std::string OracleRows(int n, bool shuffle) {
    std::vector<int> ids(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) ids[static_cast<size_t>(k)] = k + 1;
    if (shuffle) std::shuffle(ids.begin(), ids.end(), std::mt19937(7));
    std::string csv =
        "Id:I,Name:A30,Born:D,Score:N,Active:L,Notes:M10,Photo:B0,Seen:@,Price:$,Qty:S,Dec:#3,Tag:Y2,At:T,Row:+\n";
    const char* memos[] = {"", "short", "exactly10!", std::string(11, 'x').c_str()};
    (void)memos;
    for (int id : ids) {
        const int v = id % 7;
        std::string memo = v == 0   ? ""
                           : v == 1 ? "short"
                           : v == 2 ? "exactly10!"
                           : v == 3 ? std::string(11, 'x')
                           : v == 4 ? std::string(2000, 'y')
                           : v == 5 ? std::string(5000, 'z')
                                    : "Zeile\nzwei äöü";
        csv += std::to_string(id) + ",";
        csv += v == 0 ? "," : "\"Müller, Jörg " + std::to_string(id) + "\",";
        csv += v == 1 ? "0001-01-01," : v == 2 ? "9999-12-31," : v == 0 ? "," : "1996-05-04,";
        csv += v == 0 ? "," : v == 1 ? "0," : v == 2 ? "-3.25," : "1e+300,";
        csv += v == 0 ? "," : v % 2 ? "true," : "false,";
        csv += memo.empty() ? "," : "\"" + memo + "\",";
        csv += v == 3 ? "0x89504e47," : v == 5 ? "0x" + std::string(6000, 'a') + "," : ",";
        csv += v == 0 ? "," : "2001-09-09T01:46:40.500,";
        csv += v == 0 ? "," : "19.99,";
        csv += v == 0 ? "," : v == 1 ? "-32767," : "0,";
        csv += v == 0 ? "," : v == 1 ? "-12.345," : "0.000,";
        csv += v == 0 ? "," : "0xbeef,";
        csv += v == 0 ? "," : v == 1 ? "00:00:00.000," : "23:59:59.999,";
        csv += "\n";
    }
    return csv;
}

}  // namespace

TEST(ParadoxInterop, TablesWrittenByPxlibReadBackExactly) {
    REQUIRE_PXLIB();
    struct Case {
        const char* name;
        int rows;
        const char* options;
    } cases[] = {
        {"plain.db", 60, "--level 7"},
        {"keyed.db", 500, "--key 1 --level 7"},
        {"level5.db", 30, "--level 5 --langdriver ascii"},
        {"small.db", 300, "--key 1 --blockcode 1"},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.File(c.name);
        PxCreate(pxdump, path, OracleRows(c.rows, true), c.options);
        auto t = OpenParadoxTable(path, OpenMode::ReadOnly);
        EXPECT_EQ(t->RecordCount(), static_cast<uint32_t>(c.rows)) << c.name;
        EXPECT_EQ(test::TableCsv(*t), PxCsv(pxdump, path)) << c.name;
    }
}

TEST(ParadoxInterop, TwoLevelIndexFromPxlibIsAccepted) {
    REQUIRE_PXLIB();
    test::TempDir dir;
    const std::string path = dir.File("big.db");
    std::string csv = "K:I,V:A8\n";
    std::vector<int> ids(20000);
    for (int k = 0; k < 20000; ++k) ids[static_cast<size_t>(k)] = k * 3;
    std::shuffle(ids.begin(), ids.end(), std::mt19937(3));
    for (int k : ids) csv += std::to_string(k) + ",v" + std::to_string(k) + "\n";
    PxCreate(pxdump, path, csv, "--key 1 --blockcode 2");
    auto t = OpenParadoxTable(path, OpenMode::ReadWrite);
    EXPECT_EQ(test::TableCsv(*t), PxCsv(pxdump, path));
    // Our writes keep it readable by pxlib.
    t->AppendRecord({Value::Int(1), Value::Text("new")});
    t->DeleteRecord(500);
    t->Close();
    auto r = OpenParadoxTable(path, OpenMode::ReadOnly);
    EXPECT_EQ(test::TableCsv(*r), PxCsv(pxdump, path));
}

TEST(ParadoxInterop, TablesWrittenByTesselReadBackExactlyThroughPxlib) {
    REQUIRE_PXLIB();
    struct Case {
        const char* name;
        size_t keyFields;
        int rows;
        int codePage;
    } cases[] = {
        {"mine.db", 0, 200, 1252},
        {"minekey.db", 1, 3000, 1252},
        {"mine437.db", 2, 400, 437},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.File(c.name);
        auto fields = test::AllTypeFields();
        fields.erase(fields.begin() + 10);  // no OLE: the oracle prints it like binary anyway
        CreateOptions o;
        o.codePage = c.codePage;
        auto t = CreateParadoxTable(path, fields, o, c.keyFields);
        std::vector<int> ids(static_cast<size_t>(c.rows));
        for (int k = 0; k < c.rows; ++k) ids[static_cast<size_t>(k)] = k;
        std::shuffle(ids.begin(), ids.end(), std::mt19937(11));
        {
            TableLock lock(*t, LockMode::Exclusive);
            for (int k : ids) {
                Record r(fields.size());
                r[0] = Value::Int(k - c.rows / 2);
                r[1] = k % 5 == 0 ? Value::Null() : Value::Text((c.codePage == 437 ? "é " : "€ ") + std::to_string(k));
                r[2] = Value::Date(1 + k % 9000, 1 + k % 12, 1 + k % 28);
                r[3] = Value::Int(k % 3 ? -k : k);
                r[4] = Value::Double(k * 0.01);
                r[5] = k % 4 ? Value::Double(-k / 3.0) : Value::Null();
                r[6] = k % 3 ? Value::Bool(k % 2) : Value::Null();
                r[7] = Value::Text(std::string(static_cast<size_t>(k * 13 % 2600), static_cast<char>('a' + k % 26)));
                r[8] = k % 2 ? Value::Bytes(std::string(static_cast<size_t>(k % 3000), '\x7f')) : Value::Null();
                r[9] = Value::Text(k % 3 ? "fmt" : "");
                r[10] = Value::Time(k % 24, k % 60, k % 60, k % 1000);
                r[11] = Value::Timestamp(2000 + k % 20, 1, 1, 0, 0, 0, k);
                r[13] = Value::Decimal(k * 1001 - 50000, 2);
                r[14] = Value::Bytes(std::string("\x01\x00\xff\x02", 4));
                if (c.keyFields > 1) r[1] = Value::Text("k");
                t->AppendRecord(r);
            }
            // Some churn: deletes and updates, BLOBs replaced.
            for (uint32_t k = 0; k < static_cast<uint32_t>(c.rows / 10); ++k) t->DeleteRecord(k * 7 % t->RecordCount());
            Record r;
            for (uint32_t k = 0; k < 20; ++k) {
                t->ReadRecord(k, r);
                r[7] = Value::Text(std::string(3000 + k, 'u'));
                t->UpdateRecord(k, r);
            }
        }
        t->Close();
        auto mine = OpenParadoxTable(path, OpenMode::ReadOnly);
        int st = 0;
        const std::string theirs = PxCsv(pxdump, path, &st);
        EXPECT_EQ(st, 0) << theirs;
        EXPECT_EQ(test::TableCsv(*mine), theirs) << c.name;
        if (c.keyFields) {
            // The index lists every data block with its first key; the counts add up.
            const std::string px = PxCsv(pxdump, std::filesystem::path(path).replace_extension(".px").string(), &st);
            EXPECT_EQ(st, 0) << px;
            EXPECT_NE(px.find("_block,_count"), std::string::npos) << px.substr(0, 200);
        }
    }
}
