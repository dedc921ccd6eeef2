// libFuzzer target for the dBASE production index (.MDX). The input is the index file of a
// fixed table (NAME C(10), AMOUNT N(8,2), BORN D, CITY C(4); 120 records, some deleted, some
// blank) whose header claims one. Each input: the table is opened for writing and read, its
// tags listed, each field looked up through them, and a record appended. Whatever the index
// holds, the records read must be the table's, a lookup may name only live records and each
// once, and an append is either made or refused with the table's file left as it was.
//
// Seeds (tests/fuzz/corpus/mdx) are index files Tessel built for this table; the first run
// leaves them as seed-1.mdx .. seed-3.mdx in its directory under /tmp.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/EngineError.h"
#include "engine/dbase/DbfTable.h"

namespace {

using namespace tessel::engine;

constexpr uint32_t kRows = 120;

bool Deleted(uint32_t slot) {
    return slot < kRows && slot % 11 == 3;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const char* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "MdxReaderFuzz: %s\n", what);
    std::abort();
}

std::unique_ptr<dbase::DbfTable> MakeTable(const std::string& path) {
    auto t = dbase::CreateDbfTable(
        path,
        {FieldDesc::Make("NAME", fldtype::kString, 0, 10), FieldDesc::Make("AMOUNT", fldtype::kFloat, 0, 8, 2, 'N'),
         FieldDesc::Make("BORN", fldtype::kDate), FieldDesc::Make("CITY", fldtype::kString, 0, 4)});
    static const char* const kCities[] = {"", "A", "B", "C"};
    for (uint32_t k = 0; k < kRows; ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "n%03u", (k * 37) % kRows);
        Record r(4);
        if (k % 17 == 0)
            r[0].SetNull();
        else
            r[0].SetText(name);
        if (k % 19 == 0)
            r[1].SetNull();
        else
            r[1].SetDecimal(static_cast<int64_t>((k * 7919) % 20001) - 10000, 2);
        if (k % 23 == 0)
            r[2].SetNull();
        else
            r[2].SetDate(DayNumber(1970, 1, 1) + (k * 131) % 15000);
        r[3].SetText(kCities[k % 4]);
        t->AppendRecord(r);
    }
    for (uint32_t k = 0; k < kRows; ++k)
        if (Deleted(k)) t->DeleteRecord(k);
    return t;
}

struct Fixture {
    std::string dir, dbf, mdx, tableBytes;
    std::vector<Record> rows;
};

std::vector<Record> Records(Table& t) {
    std::vector<Record> out;
    Record rec;
    for (uint32_t k = 0; k < t.RecordCount(); ++k)
        if (t.ReadRecord(k, rec)) out.push_back(rec);
    return out;
}

// The table, and three index files for it as seeds: a tag per field; two character fields
// joined and a unique tag; one date tag.
const Fixture& Fix() {
    static const Fixture fixture = [] {
        Fixture f;
        char tmpl[] = "/tmp/tessel-fuzz-mdx-XXXXXX";
        if (!mkdtemp(tmpl)) std::abort();
        f.dir = tmpl;
        f.dbf = f.dir + "/t.dbf";
        f.mdx = f.dir + "/t.mdx";
        const std::vector<std::vector<std::pair<std::string, std::vector<std::string>>>> seeds = {
            {{"NAME", {"NAME"}}, {"AMOUNT", {"AMOUNT"}}, {"BYBORN", {"BORN"}}},
            {{"CITYNAME", {"CITY", "NAME"}}, {"UCITY", {"CITY"}}},
            {{"BORN", {"BORN"}}},
        };
        for (size_t s = 0; s < seeds.size(); ++s) {
            auto t = MakeTable(f.dbf);
            for (const auto& [name, fields] : seeds[s]) t->CreateIndex(name, fields, name == "UCITY", false);
            if (s == 0) f.rows = Records(*t);
            t->Close();
            const std::string bytes = ReadFile(f.mdx);
            WriteFile(f.dir + "/seed-" + std::to_string(s + 1) + ".mdx", bytes.data(), bytes.size());
            if (s == 0) f.tableBytes = ReadFile(f.dbf);
        }
        WriteFile(f.dbf, f.tableBytes.data(), f.tableBytes.size());
        return f;
    }();
    return fixture;
}

// Each field looked up through the index; the slots named must be live, each once.
void LookUp(Table& t) {
    static const Value lo[] = {Value::Text("n030"), Value::Int(-20), Value::Date(1980, 1, 1), Value::Text("B")};
    static const Value hi[] = {Value::Text("n060"), Value::Int(30), Value::Date(1999, 12, 31), Value::Text("C")};
    for (size_t field = 0; field < 4; ++field) {
        if (!t.CanSeekIndex(field)) continue;
        std::vector<uint32_t> slots;
        bool found = false;
        try {
            found = t.SeekIndex(field, &lo[field], &hi[field], slots);
        } catch (const EngineError&) {
            continue;
        }
        if (!found) continue;
        std::vector<bool> seen(t.RecordCount(), false);
        for (uint32_t slot : slots) {
            Check(slot < t.RecordCount(), "a lookup names a slot past the end");
            Check(!seen[slot], "a lookup names a record twice");
            Check(!Deleted(slot), "a lookup names a deleted record");
            seen[slot] = true;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Fixture& f = Fix();
    WriteFile(f.mdx, reinterpret_cast<const char*>(data), size);
    const Record added = {Value::Text("n045x"), Value::Decimal(500, 2), Value::Date(1990, 6, 7), Value::Text("B")};
    bool appended = false;
    try {
        auto t = dbase::DbfTable::Open(f.dbf, OpenMode::ReadWrite);
        Check(Records(*t) == f.rows, "the records read differ");
        t->Indexes();
        LookUp(*t);
        try {
            t->AppendRecord(added);
            appended = true;
        } catch (const EngineError&) {
        }
        t->Close();
    } catch (const EngineError& e) {
        std::fprintf(stderr, "MdxReaderFuzz: the table does not open: %s\n", e.what());
        std::abort();
    }
    if (!appended) {
        Check(ReadFile(f.dbf) == f.tableBytes, "a refused write changed the table");
        return 0;
    }
    // The index as Tessel wrote it back.
    try {
        auto t = dbase::DbfTable::Open(f.dbf, OpenMode::ReadOnly);
        std::vector<Record> rows = f.rows;
        rows.push_back(added);
        Check(Records(*t) == rows, "the records read after a write differ");
        LookUp(*t);
    } catch (const EngineError& e) {
        std::fprintf(stderr, "MdxReaderFuzz: the table does not open after a write: %s\n", e.what());
        std::abort();
    }
    WriteFile(f.dbf, f.tableBytes.data(), f.tableBytes.size());
    return 0;
}
