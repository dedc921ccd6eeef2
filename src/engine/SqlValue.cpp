// Values between the tables and SQLite, and their text forms.

#include "engine/SqlValue.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/EngineError.h"

namespace tessel::engine {

namespace {

bool Digits(std::string_view t, size_t pos, size_t n, int& out) {
    if (pos + n > t.size()) return false;
    int v = 0;
    for (size_t k = 0; k < n; ++k) {
        const char c = t[pos + k];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

int64_t Pow10(int n) {
    int64_t p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// `d` rounded to `scale` decimals as a scaled integer, from the double's exact value (which
// printf writes out exactly); multiplying by 10^scale first would round twice. Digits past the
// 17 significant ones a double holds are not written out (1429.48681360561 at 15 decimals is
// 1429.486813605610000, not the ...609996 of its binary value). The caller has checked that
// the result fits.
int64_t ScaledDecimal(double d, int scale) {
    // Most values: the product is within 1e-4 of d * 10^scale, so unless it lies near a
    // half its nearest integer is the rounding of d's exact value (what printing gives).
    const double x = d * static_cast<double>(kPow10[scale]);
    if (std::fabs(x) < 1e12) {
        const double r = std::nearbyint(x);
        if (std::fabs(x - r) < 0.499) return static_cast<int64_t>(r);
    }
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, "%.*f", scale, d);
    auto scaled = [](const char* p, const char* end, int pad) {
        int64_t v = 0;
        bool negative = false;
        for (; p < end; ++p) {
            if (*p == '-') negative = true;
            if (*p >= '0' && *p <= '9') v = v * 10 + (*p - '0');
        }
        for (; pad > 0; --pad) v *= 10;
        return negative ? -v : v;
    };
    const char* end = buf + std::min<int>(n, static_cast<int>(sizeof buf) - 1);
    const char* first = std::find_if(static_cast<const char*>(buf), end, [](char c) { return c >= '1' && c <= '9'; });
    const int significant = static_cast<int>(std::count_if(first, end, [](char c) { return c >= '0' && c <= '9'; }));
    if (significant <= 17) return scaled(buf, end, 0);
    char shortest[64];
    const auto r = std::to_chars(shortest, shortest + sizeof shortest, d, std::chars_format::fixed);
    const char* dot = std::find(shortest, r.ptr, '.');
    const int decimals = dot == r.ptr ? 0 : static_cast<int>(r.ptr - dot - 1);
    if (r.ec != std::errc() || decimals > scale) return scaled(buf, end, 0);
    return scaled(shortest, r.ptr, scale - decimals);
}

[[noreturn]] void Mismatch(const FieldDesc& field, const std::string& what) {
    throw EngineError("Type mismatch in expression: " + what + " for field " + field.name, errc::kSqlBind);
}

}  // namespace

std::optional<int64_t> ParseSqlDate(std::string_view t) {
    int y, m, d;
    if (t.size() != 10 || t[4] != '-' || t[7] != '-') return std::nullopt;
    if (!Digits(t, 0, 4, y) || !Digits(t, 5, 2, m) || !Digits(t, 8, 2, d)) return std::nullopt;
    if (!IsValidDate(y, m, d)) return std::nullopt;
    return DayNumber(y, m, d);
}

std::optional<int64_t> ParseSqlTime(std::string_view t) {
    int h, mi, s, ms = 0;
    if (t.size() < 8 || t[2] != ':' || t[5] != ':') return std::nullopt;
    if (!Digits(t, 0, 2, h) || !Digits(t, 3, 2, mi) || !Digits(t, 6, 2, s)) return std::nullopt;
    if (t.size() > 8) {
        if (t[8] != '.' || t.size() < 10 || t.size() > 12) return std::nullopt;
        std::string frac(t.substr(9));
        while (frac.size() < 3) frac += '0';
        if (!Digits(frac, 0, 3, ms)) return std::nullopt;
    }
    if (h > 23 || mi > 59 || s > 59) return std::nullopt;
    return ((int64_t{h} * 60 + mi) * 60 + s) * 1000 + ms;
}

std::optional<int64_t> ParseSqlTimestamp(std::string_view t) {
    auto day = ParseSqlDate(t.substr(0, std::min<size_t>(10, t.size())));
    if (!day) return std::nullopt;
    if (t.size() == 10) return *day * kMsPerDay;
    if (t[10] != ' ' && t[10] != 'T') return std::nullopt;
    auto time = ParseSqlTime(t.substr(11));
    if (!time) return std::nullopt;
    return *day * kMsPerDay + *time;
}

void ResultValue(sqlite3_context* ctx, const Value& v) {
    switch (v.kind) {
        case ValueKind::Null:
            sqlite3_result_null(ctx);
            break;
        case ValueKind::Bool:
        case ValueKind::Int:
            sqlite3_result_int64(ctx, v.i);
            break;
        case ValueKind::Double:
            sqlite3_result_double(ctx, v.d);
            break;
        case ValueKind::Decimal:
            sqlite3_result_double(ctx, v.AsDouble());
            break;
        case ValueKind::Text:
            sqlite3_result_text(ctx, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
            break;
        case ValueKind::Bytes:
            sqlite3_result_blob(ctx, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
            break;
        case ValueKind::Date: {
            const std::string t = SqliteDateText(v.i);
            sqlite3_result_text(ctx, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
            break;
        }
        case ValueKind::Time: {
            const std::string t = SqliteTimeText(v.i);
            sqlite3_result_text(ctx, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
            break;
        }
        case ValueKind::Timestamp: {
            const std::string t = SqliteTimestampText(v.i);
            sqlite3_result_text(ctx, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
            break;
        }
    }
}

void BindValue(sqlite3_stmt* stmt, int index, const Value& v) {
    switch (v.kind) {
        case ValueKind::Null:
            sqlite3_bind_null(stmt, index);
            break;
        case ValueKind::Bool:
        case ValueKind::Int:
            sqlite3_bind_int64(stmt, index, v.i);
            break;
        case ValueKind::Double:
            sqlite3_bind_double(stmt, index, v.d);
            break;
        case ValueKind::Decimal:
            sqlite3_bind_double(stmt, index, v.AsDouble());
            break;
        case ValueKind::Text:
            sqlite3_bind_text(stmt, index, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
            break;
        case ValueKind::Bytes:
            sqlite3_bind_blob(stmt, index, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
            break;
        case ValueKind::Date: {
            const std::string t = SqliteDateText(v.i);
            sqlite3_bind_text(stmt, index, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
            break;
        }
        case ValueKind::Time: {
            const std::string t = SqliteTimeText(v.i);
            sqlite3_bind_text(stmt, index, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
            break;
        }
        case ValueKind::Timestamp: {
            const std::string t = SqliteTimestampText(v.i);
            sqlite3_bind_text(stmt, index, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
            break;
        }
    }
}

bool IsFixedPoint(const FieldDesc& f) {
    if (f.type == fldtype::kBcd) return true;
    // dBASE numbers with decimals (N, and F kept as text digits) are fixed-point in the file.
    return f.type == fldtype::kFloat && f.units2 > 0 && (f.nativeType == 'N' || f.nativeType == 'F');
}

const char* SqlTypeOf(const FieldDesc& f) {
    switch (f.type) {
        case fldtype::kBool:
        case fldtype::kInt16:
        case fldtype::kInt32:
            return "INTEGER";
        case fldtype::kFloat:
        case fldtype::kBcd:
            return "REAL";
        case fldtype::kBytes:
            return "BLOB";
        case fldtype::kBlob:
            return f.subType == fldsub::kMemo || f.subType == fldsub::kFormattedMemo ? "TEXT" : "BLOB";
        default:
            return "TEXT";
    }
}

namespace {

// A number from SQLite as double, or nullopt when it is no number.
std::optional<double> NumberOf(sqlite3_value* in) {
    switch (sqlite3_value_type(in)) {
        case SQLITE_INTEGER:
            return static_cast<double>(sqlite3_value_int64(in));
        case SQLITE_FLOAT:
            return sqlite3_value_double(in);
        case SQLITE_TEXT: {
            const char* s = reinterpret_cast<const char*>(sqlite3_value_text(in));
            char* end = nullptr;
            const double d = std::strtod(s, &end);
            if (end == s) return std::nullopt;
            while (*end == ' ') ++end;
            if (*end) return std::nullopt;
            return d;
        }
        default:
            return std::nullopt;
    }
}

// Decimal digits as written ("-74.960975609756105"), rounded half away from zero to `scale`
// digits after the point: exact when they have at most 18 significant digits.
bool ExactDecimal(std::string_view text, int scale, int64_t& scaled) {
    size_t k = 0;
    const bool negative = k < text.size() && text[k] == '-';
    if (k < text.size() && (text[k] == '-' || text[k] == '+')) ++k;
    int64_t v = 0;
    int digits = 0, frac = 0;
    bool point = false, any = false;
    for (; k < text.size(); ++k) {
        const char c = text[k];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9') return false;
        if (point && frac == scale) break;  // past the scale: only rounding is left
        any = true;
        if (point) ++frac;
        if (v == 0 && c == '0') continue;
        if (++digits > 18) return false;
        v = v * 10 + (c - '0');
    }
    // The first digit past the scale decides the rounding; the rest must still be digits.
    const bool roundUp = k < text.size() && text[k] >= '5';
    for (; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9') return false;
    if (!any && !roundUp) return false;
    for (; frac < scale; ++frac) {
        if (v != 0 && ++digits > 18) return false;
        v *= 10;
    }
    if (roundUp) ++v;
    scaled = negative ? -v : v;
    return true;
}

std::string_view TextOf(sqlite3_value* in) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(in));
    return std::string_view(p ? p : "", static_cast<size_t>(sqlite3_value_bytes(in)));
}

}  // namespace

void ValueForField(sqlite3_value* in, const FieldDesc& f, Value& out) {
    const int t = sqlite3_value_type(in);
    if (t == SQLITE_NULL) {
        out.SetNull();
        return;
    }
    switch (f.type) {
        case fldtype::kString:
            if (t == SQLITE_BLOB) Mismatch(f, "binary data");
            out.SetText(TextOf(in));
            return;
        case fldtype::kBool:
            if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
                out.SetBool(sqlite3_value_double(in) != 0);
                return;
            }
            Mismatch(f, "a value that is no logical");
        case fldtype::kInt16:
        case fldtype::kInt32: {
            if (t == SQLITE_INTEGER) {
                out.SetInt(sqlite3_value_int64(in));
                return;
            }
            auto d = NumberOf(in);
            if (!d) Mismatch(f, "'" + std::string(TextOf(in)) + "'");
            if (*d != std::floor(*d) || std::fabs(*d) > 9.2e18) {
                out.SetDouble(*d);  // the driver refuses what does not fit
                return;
            }
            out.SetInt(static_cast<int64_t>(*d));
            return;
        }
        case fldtype::kFloat:
        case fldtype::kBcd: {
            if (t == SQLITE_INTEGER && !IsFixedPoint(f)) {
                out.SetInt(sqlite3_value_int64(in));
                return;
            }
            int64_t scaled = 0;
            if (t == SQLITE_TEXT && IsFixedPoint(f) && f.units2 <= 18 && ExactDecimal(TextOf(in), f.units2, scaled)) {
                out.SetDecimal(scaled, f.units2);
                return;
            }
            auto d = NumberOf(in);
            if (!d) Mismatch(f, "'" + std::string(TextOf(in)) + "'");
            if (IsFixedPoint(f) && f.units2 <= 18 && std::fabs(*d) * static_cast<double>(Pow10(f.units2)) < 9.0e18) {
                // Rounded to the field's scale here, once, from the value SQLite computed.
                out.SetDecimal(ScaledDecimal(*d, f.units2), f.units2);
                return;
            }
            out.SetDouble(*d);
            return;
        }
        case fldtype::kDate: {
            if (t != SQLITE_TEXT) Mismatch(f, "a value that is no date");
            auto v = ParseSqlDate(TextOf(in));
            if (!v) {
                auto ts = ParseSqlTimestamp(TextOf(in));
                if (!ts) Mismatch(f, "'" + std::string(TextOf(in)) + "'");
                v = *ts / kMsPerDay;
            }
            out.SetDate(*v);
            return;
        }
        case fldtype::kTime: {
            if (t != SQLITE_TEXT) Mismatch(f, "a value that is no time");
            auto v = ParseSqlTime(TextOf(in));
            if (!v) Mismatch(f, "'" + std::string(TextOf(in)) + "'");
            out.SetTime(*v);
            return;
        }
        case fldtype::kTimestamp: {
            if (t != SQLITE_TEXT) Mismatch(f, "a value that is no timestamp");
            auto v = ParseSqlTimestamp(TextOf(in));
            if (!v) Mismatch(f, "'" + std::string(TextOf(in)) + "'");
            out.SetTimestamp(*v);
            return;
        }
        case fldtype::kBytes: {
            const auto* p = static_cast<const char*>(sqlite3_value_blob(in));
            out.SetBytes(std::string_view(p ? p : "", static_cast<size_t>(sqlite3_value_bytes(in))));
            return;
        }
        case fldtype::kBlob:
            if (f.subType == fldsub::kMemo || f.subType == fldsub::kFormattedMemo) {
                out.SetText(TextOf(in));
            } else {
                const auto* p = static_cast<const char*>(sqlite3_value_blob(in));
                out.SetBytes(std::string_view(p ? p : "", static_cast<size_t>(sqlite3_value_bytes(in))));
            }
            return;
        default:
            out.SetText(TextOf(in));
            return;
    }
}

void ColumnValue(sqlite3_stmt* stmt, int col, const FieldDesc& f, Value& out) {
    const int t = sqlite3_column_type(stmt, col);
    if (t == SQLITE_NULL) {
        out.SetNull();
        return;
    }
    auto text = [&]() {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
        return std::string_view(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(stmt, col)));
    };
    auto blob = [&]() {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, col));
        return std::string_view(p ? p : "", static_cast<size_t>(sqlite3_column_bytes(stmt, col)));
    };
    switch (f.type) {
        case fldtype::kBool:
            if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
                out.SetBool(sqlite3_column_double(stmt, col) != 0);
                return;
            }
            break;
        case fldtype::kInt16:
        case fldtype::kInt32:
            if (t == SQLITE_INTEGER) {
                out.SetInt(sqlite3_column_int64(stmt, col));
                return;
            }
            if (t == SQLITE_FLOAT) {
                out.SetDouble(sqlite3_column_double(stmt, col));
                return;
            }
            break;
        case fldtype::kFloat:
        case fldtype::kBcd:
            if (t == SQLITE_INTEGER || t == SQLITE_FLOAT) {
                const double d = sqlite3_column_double(stmt, col);
                if (IsFixedPoint(f) && f.units2 <= 18 && std::fabs(d) * static_cast<double>(Pow10(f.units2)) < 9.0e18)
                    out.SetDecimal(ScaledDecimal(d, f.units2), f.units2);
                else if (t == SQLITE_INTEGER)
                    out.SetInt(sqlite3_column_int64(stmt, col));
                else
                    out.SetDouble(d);
                return;
            }
            break;
        case fldtype::kDate:
            if (t == SQLITE_TEXT) {
                if (auto v = ParseSqlDate(text())) {
                    out.SetDate(*v);
                    return;
                }
            }
            break;
        case fldtype::kTime:
            if (t == SQLITE_TEXT) {
                if (auto v = ParseSqlTime(text())) {
                    out.SetTime(*v);
                    return;
                }
            }
            break;
        case fldtype::kTimestamp:
            if (t == SQLITE_TEXT) {
                if (auto v = ParseSqlTimestamp(text())) {
                    out.SetTimestamp(*v);
                    return;
                }
            }
            break;
        case fldtype::kBytes:
            out.SetBytes(blob());
            return;
        case fldtype::kBlob:
            if (f.subType == fldsub::kMemo || f.subType == fldsub::kFormattedMemo)
                out.SetText(text());
            else
                out.SetBytes(blob());
            return;
        default:
            break;
    }
    // What the declared type did not foresee comes back as SQLite holds it.
    switch (t) {
        case SQLITE_INTEGER:
            out.SetInt(sqlite3_column_int64(stmt, col));
            return;
        case SQLITE_FLOAT:
            out.SetDouble(sqlite3_column_double(stmt, col));
            return;
        case SQLITE_BLOB:
            out.SetBytes(blob());
            return;
        default:
            out.SetText(text());
            return;
    }
}

}  // namespace tessel::engine
