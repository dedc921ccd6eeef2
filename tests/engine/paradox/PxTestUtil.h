#pragma once

// Helpers of the Paradox tests and the pxlib oracle.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/EngineError.h"
#include "engine/paradox/Paradox.h"
#include "engine/storage/Table.h"
#include "support/RunCommand.h"

namespace tessel::test {

using engine::FieldDesc;
using engine::Record;
using engine::Value;
using engine::ValueKind;
namespace fldtype = engine::fldtype;
namespace fldsub = engine::fldsub;

inline FieldDesc Fld(std::string name, uint16_t type, uint16_t sub = 0, uint16_t u1 = 0, uint16_t u2 = 0) {
    return FieldDesc::Make(std::move(name), type, sub, u1, u2);
}

// Every Paradox type once.
inline std::vector<FieldDesc> AllTypeFields() {
    return {Fld("Id", fldtype::kInt32),
            Fld("Name", fldtype::kString, 0, 20),
            Fld("Born", fldtype::kDate),
            Fld("Small", fldtype::kInt16),
            Fld("Money", fldtype::kFloat, fldsub::kMoney),
            Fld("Num", fldtype::kFloat),
            Fld("Flag", fldtype::kBool),
            Fld("Notes", fldtype::kBlob, fldsub::kMemo, 10),
            Fld("Bin", fldtype::kBlob, fldsub::kBinary, 0),
            Fld("Fmt", fldtype::kBlob, fldsub::kFormattedMemo, 5),
            Fld("Ole", fldtype::kBlob, fldsub::kOle, 0),
            Fld("At", fldtype::kTime),
            Fld("Stamp", fldtype::kTimestamp),
            Fld("Row", fldtype::kInt32, fldsub::kAutoInc),
            Fld("Dec", fldtype::kBcd, 0, 32, 2),
            Fld("Raw", fldtype::kBytes, 0, 4)};
}

// The record's cells in the text forms of the independent reader's CSV output.
inline std::string OracleCell(const engine::FieldDesc& f, const Value& v) {
    using engine::ValueKind;
    if (v.IsNull()) return "";
    char buf[64];
    switch (v.kind) {
        case ValueKind::Bool:
            return v.i ? "true" : "false";
        case ValueKind::Int:
            return std::to_string(v.i);
        case ValueKind::Double:
            for (int prec = 15; prec <= 17; ++prec) {
                std::snprintf(buf, sizeof buf, "%.*g", prec, v.d);
                if (std::strtod(buf, nullptr) == v.d) break;
            }
            return buf;
        case ValueKind::Decimal:
            return engine::FormatDecimal(v.i, v.scale);
        case ValueKind::Date:
            return engine::FormatDate(v.i);
        case ValueKind::Time:
            std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(v.i / 3600000),
                          static_cast<long long>(v.i / 60000 % 60), static_cast<long long>(v.i / 1000 % 60),
                          static_cast<long long>(v.i % 1000));
            return buf;
        case ValueKind::Timestamp: {
            const int64_t day = v.i / engine::kMsPerDay, ms = v.i % engine::kMsPerDay;
            Value t;
            t.SetTime(ms);
            return engine::FormatDate(day) + "T" + OracleCell(f, t);
        }
        case ValueKind::Bytes:
            return engine::FormatHex(v.s);
        default:
            return v.s;
    }
}

inline std::string CsvQuote(const std::string& s) {
    bool q = false;
    for (char c : s) q = q || c == ',' || c == '"' || c == '\n' || c == '\r';
    if (!q) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// The whole table as the oracle prints it (names row, then records in file order).
inline std::string TableCsv(engine::Table& t) {
    std::string out;
    const auto& fields = t.Fields();
    for (size_t k = 0; k < fields.size(); ++k) out += (k ? "," : "") + CsvQuote(fields[k].name);
    out += "\n";
    Record rec;
    for (uint32_t r = 0; r < t.RecordCount(); ++r) {
        t.ReadRecord(r, rec);
        for (size_t k = 0; k < fields.size(); ++k) {
            if (k) out += ",";
            const std::string cell = OracleCell(fields[k], rec[k]);
            // The oracle quotes an empty memo/alpha text only when it is a real empty value;
            // a blank prints as nothing.
            out += CsvQuote(cell);
        }
        out += "\n";
    }
    return out;
}

// The pxlib oracle program (../shared/oracles/pxdump.c, built by CMake when pxlib is there);
// "" when it is not.
inline std::string Pxdump() {
#ifdef TESSEL_PXDUMP
    if (std::filesystem::exists(TESSEL_PXDUMP)) return TESSEL_PXDUMP;
#endif
    return "";
}

}  // namespace tessel::test
