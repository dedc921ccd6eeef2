// The dialect's functions, registered on the SQLite connection.

#include "engine/sql/DialectFunctions.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "base/EngineError.h"
#include "base/TextEncoding.h"
#include "engine/sql/DialectValues.h"
#include "engine/storage/Field.h"
#include "engine/storage/Value.h"

namespace tessel::engine::sql {

namespace {

// ---- UTF-8 --------------------------------------------------------------------------------

// Length in bytes of the character starting at s[k] (an invalid byte counts as one).
size_t CharLength(std::string_view s, size_t k) {
    const auto c = static_cast<unsigned char>(s[k]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (k + n > s.size()) return 1;
    for (size_t q = 1; q < n; ++q)
        if ((static_cast<unsigned char>(s[k + q]) & 0xC0) != 0x80) return 1;
    return n;
}

uint32_t Decode(std::string_view s, size_t k, size_t n) {
    const auto b = [&](size_t q) { return static_cast<uint32_t>(static_cast<unsigned char>(s[k + q])); };
    switch (n) {
        case 2:
            return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
        case 3:
            return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
        case 4:
            return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
        default:
            return b(0);
    }
}

// Letter case of the letters the table code pages hold: Latin-1, Latin Extended-A, Greek and
// Cyrillic.
uint32_t ToUpper(uint32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c < 0x80) return c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddUpper) return (c % 2 == 0) ? c - 1 : c;
        return (c % 2 == 1) ? c - 1 : c;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
    if (c >= 0x3AC && c <= 0x3AF) {
        static const uint32_t map[] = {0x386, 0x388, 0x389, 0x38A};
        return map[c - 0x3AC];
    }
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    return c;
}

uint32_t ToLower(uint32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c < 0x80) return c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddUpper) return (c % 2 == 1) ? c + 1 : c;
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 37;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

std::string_view TextArg(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string_view(p, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
    sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

bool AnyNull(int argc, sqlite3_value** argv) {
    for (int k = 0; k < argc; ++k)
        if (sqlite3_value_type(argv[k]) == SQLITE_NULL) return true;
    return false;
}

// ---- String functions ---------------------------------------------------------------------

void CaseFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    const bool upper = sqlite3_user_data(ctx) != nullptr;
    const std::string_view s = TextArg(argv[0]);
    std::string out;
    out.reserve(s.size());
    for (size_t k = 0; k < s.size();) {
        const size_t n = CharLength(s, k);
        const uint32_t c = Decode(s, k, n);
        if (n == 1 && c >= 0x80) {
            out += s[k];  // an invalid byte stays as it is
        } else {
            AppendUtf8(out, upper ? ToUpper(c) : ToLower(c));
        }
        k += n;
    }
    ResultText(ctx, out);
}

// Byte offset of character number `index` (from 0), or s.size() when beyond the end.
size_t OffsetOfChar(std::string_view s, int64_t index) {
    size_t k = 0;
    for (int64_t c = 0; c < index && k < s.size(); ++c) k += CharLength(s, k);
    return k;
}

void SubstrFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
    const std::string_view s = TextArg(argv[0]);
    const int64_t start = sqlite3_value_int64(argv[1]);
    int64_t end = INT64_MAX;  // one past the last position, counted from 1
    if (argc > 2) {
        const int64_t len = sqlite3_value_int64(argv[2]);
        if (len < 0) return sqlite3_result_error(ctx, "SUBSTRING: the length may not be negative", -1);
        end = start > INT64_MAX - len ? INT64_MAX : start + len;
    }
    const int64_t from = std::max<int64_t>(start, 1);
    if (end <= from) return ResultText(ctx, std::string());
    const size_t b = OffsetOfChar(s, from - 1);
    const size_t e = end == INT64_MAX ? s.size() : b + OffsetOfChar(s.substr(b), end - from);
    ResultText(ctx, std::string(s.substr(b, e - b)));
}

void TrimFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::string_view s = TextArg(argv[0]);
    const std::string_view c = TextArg(argv[1]);
    if (c.empty() || CharLength(c, 0) != c.size())
        return sqlite3_result_error(ctx, "TRIM: the character to remove must be a single character", -1);
    const int side = sqlite3_value_int(argv[2]);
    if (side != 2)
        while (s.substr(0, c.size()) == c) s.remove_prefix(c.size());
    if (side != 1)
        while (s.size() >= c.size() && s.substr(s.size() - c.size()) == c) s.remove_suffix(c.size());
    ResultText(ctx, std::string(s));
}

// LIKE with % and _, case-sensitive, over characters; `esc` (0 when none) makes the next
// character literal.
bool LikeMatch(std::string_view v, std::string_view p, uint32_t esc, size_t vi, size_t pi, int depth) {
    while (pi < p.size()) {
        const size_t pn = CharLength(p, pi);
        uint32_t pc = Decode(p, pi, pn);
        if (esc && pc == esc) {
            pi += pn;
            if (pi >= p.size()) return false;
            const size_t qn = CharLength(p, pi);
            if (vi >= v.size() || v.substr(vi, qn) != p.substr(pi, qn) || CharLength(v, vi) != qn) return false;
            vi += qn;
            pi += qn;
            continue;
        }
        if (pc == '%') {
            while (pi < p.size() && p[pi] == '%') ++pi;
            if (pi >= p.size()) return true;
            if (depth > 64) return false;
            for (size_t k = vi; k <= v.size(); k += (k < v.size() ? CharLength(v, k) : 1))
                if (LikeMatch(v, p, esc, k, pi, depth + 1)) return true;
            return false;
        }
        if (vi >= v.size()) return false;
        const size_t vn = CharLength(v, vi);
        if (pc != '_' && (vn != pn || v.substr(vi, vn) != p.substr(pi, pn))) return false;
        vi += vn;
        pi += pn;
    }
    return vi == v.size();
}

void LikeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::string_view v = TextArg(argv[0]);
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    const std::string_view p = TextArg(argv[1]);
    uint32_t esc = 0;
    if (argc > 2) {
        const std::string_view e = TextArg(argv[2]);
        if (e.empty() || CharLength(e, 0) != e.size())
            return sqlite3_result_error(ctx, "Invalid escape character in LIKE: it must be a single character", -1);
        esc = Decode(e, 0, e.size());
    }
    sqlite3_result_int(ctx, LikeMatch(v, p, esc, 0, 0, 0) ? 1 : 0);
}

// ---- Numbers ------------------------------------------------------------------------------

double RoundToScale(double x, int scale) {
    if (scale < 0 || scale > kMaxExactScale || !std::isfinite(x)) return x;
    const long double scaled = static_cast<long double>(x) * kPow10[scale];
    if (std::fabs(scaled) >= 9.0e18L) return x;
    const long long n = std::llround(scaled);
    return static_cast<double>(static_cast<long double>(n) / kPow10[scale]);
}

void DivFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
    const double b = sqlite3_value_double(argv[1]);
    if (b == 0) return sqlite3_result_error(ctx, "Division by zero", -1);
    sqlite3_result_double(ctx, sqlite3_value_double(argv[0]) / b);
}

void RoundFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
    if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER) return sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
    sqlite3_result_double(ctx, RoundToScale(sqlite3_value_double(argv[0]), sqlite3_value_int(argv[1])));
}

void SingleFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_int64(argv[0]) > 1)
        return sqlite3_result_error(ctx, "Multiple records found, but only one was expected", -1);
    sqlite3_result_value(ctx, argv[1]);
}

__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 UInt128;

// Exact sums: every value becomes an integer of `scale` decimals and the integers are added
// in 128 bits, so a million amounts of two decimals add up to the exact total.
struct ExactSum {
    Int128 total;
    int64_t count;
    double inexact;  // values too large for the scaled integers, summed as doubles
    bool any;
    bool anyInexact;
};

const int kScales[kMaxExactScale + 1] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};

int ScaleOf(sqlite3_context* ctx) {
    return *static_cast<const int*>(sqlite3_user_data(ctx));
}

void ExactStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int type = sqlite3_value_type(argv[0]);
    if (type == SQLITE_NULL) return;
    void* mem = sqlite3_aggregate_context(ctx, sizeof(ExactSum));
    if (!mem) return sqlite3_result_error_nomem(ctx);
    // SQLite's aggregate memory is only 8-byte aligned: work on an aligned copy.
    ExactSum s;
    std::memcpy(&s, mem, sizeof s);
    const int scale = ScaleOf(ctx);
    s.any = true;
    ++s.count;
    if (type == SQLITE_INTEGER) {
        s.total += static_cast<Int128>(sqlite3_value_int64(argv[0])) * kPow10[scale];
    } else {
        const double d = sqlite3_value_double(argv[0]);
        const long double scaled = static_cast<long double>(d) * kPow10[scale];
        if (!std::isfinite(d) || std::fabs(scaled) >= 9.0e18L) {
            s.inexact += d;
            s.anyInexact = true;
        } else {
            s.total += std::llround(scaled);
        }
    }
    std::memcpy(mem, &s, sizeof s);
}

bool LoadSum(sqlite3_context* ctx, ExactSum& s) {
    void* mem = sqlite3_aggregate_context(ctx, 0);
    if (!mem) return false;
    std::memcpy(&s, mem, sizeof s);
    return s.any;
}

// The exact total as a double: the decimal text of the scaled integer, read by strtod, is the
// double nearest to the exact value.
double TotalAsDouble(Int128 total, int scale) {
    const bool neg = total < 0;
    UInt128 u = neg ? static_cast<UInt128>(-total) : static_cast<UInt128>(total);
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(u % 10)));
        u /= 10;
    } while (u);
    while (digits.size() <= static_cast<size_t>(scale)) digits.insert(digits.begin(), '0');
    if (scale > 0) digits.insert(digits.end() - scale, '.');
    if (neg) digits.insert(digits.begin(), '-');
    return std::strtod(digits.c_str(), nullptr);
}

void SumFinal(sqlite3_context* ctx) {
    ExactSum sum;
    if (!LoadSum(ctx, sum)) return sqlite3_result_null(ctx);
    const ExactSum* s = &sum;
    const int scale = ScaleOf(ctx);
    if (s->anyInexact) return sqlite3_result_double(ctx, TotalAsDouble(s->total, scale) + s->inexact);
    if (scale == 0 && s->total <= INT64_MAX && s->total >= INT64_MIN)
        return sqlite3_result_int64(ctx, static_cast<int64_t>(s->total));
    sqlite3_result_double(ctx, TotalAsDouble(s->total, scale));
}

void AvgFinal(sqlite3_context* ctx) {
    ExactSum sum;
    if (!LoadSum(ctx, sum)) return sqlite3_result_null(ctx);
    const ExactSum* s = &sum;
    const int scale = ScaleOf(ctx);
    if (s->anyInexact)
        return sqlite3_result_double(ctx,
                                     (TotalAsDouble(s->total, scale) + s->inexact) / static_cast<double>(s->count));
    // Quotient and remainder are exact; only the final fraction is rounded.
    const Int128 q = s->total / s->count;
    const Int128 r = s->total % s->count;
    const long double v = (static_cast<long double>(q) + static_cast<long double>(r) / s->count) / kPow10[scale];
    sqlite3_result_double(ctx, static_cast<double>(v));
}

// ---- CAST ---------------------------------------------------------------------------------

std::string NumberText(sqlite3_value* v, int scale) {
    if (sqlite3_value_type(v) == SQLITE_INTEGER) {
        if (scale > 0 && scale <= kMaxExactScale) {
            const int64_t i = sqlite3_value_int64(v);
            if (i > -9'000'000'000'000'000'000LL / kPow10[scale] && i < 9'000'000'000'000'000'000LL / kPow10[scale])
                return FormatDecimal(i * kPow10[scale], scale);
        }
        return std::to_string(sqlite3_value_int64(v));
    }
    const double d = sqlite3_value_double(v);
    if (scale >= 0 && scale <= kMaxExactScale && std::fabs(d) * kPow10[scale] < 9.0e18)
        return FormatDecimal(std::llround(static_cast<long double>(d) * kPow10[scale]), scale);
    return FormatDouble(d);
}

bool IsNumericType(int t) {
    return t == fldtype::kInt16 || t == fldtype::kInt32 || t == fldtype::kFloat || t == fldtype::kBcd;
}

void CastFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* x = argv[0];
    if (sqlite3_value_type(x) == SQLITE_NULL) return sqlite3_result_null(ctx);
    const int from = sqlite3_value_int(argv[1]);
    const int fromScale = sqlite3_value_int(argv[2]);
    const int to = sqlite3_value_int(argv[3]);
    const int size = sqlite3_value_int(argv[4]);
    const int scale = sqlite3_value_int(argv[5]);
    const auto mismatch = [&](const std::string& text) {
        const std::string m = "Type mismatch in expression: '" + text + "' cannot be converted";
        sqlite3_result_error(ctx, m.c_str(), -1);
    };
    const bool fromText = from == fldtype::kString || from == fldtype::kBlob || from == fldtype::kUnknown;
    switch (to) {
        case fldtype::kString: {
            std::string s;
            switch (from) {
                case fldtype::kBool:
                    s.assign(1, sqlite3_value_int(x) ? 'T' : 'F');
                    break;
                case fldtype::kDate: {
                    int64_t d = 0;
                    s = ReadSqliteDate(TextArg(x), d) ? DialectDateText(d) : std::string(TextArg(x));
                    break;
                }
                case fldtype::kTime: {
                    int64_t t = 0;
                    s = ReadSqliteTime(TextArg(x), t) ? DialectTimeText(t) : std::string(TextArg(x));
                    break;
                }
                case fldtype::kTimestamp: {
                    int64_t t = 0;
                    s = ReadSqliteTimestamp(TextArg(x), t) ? DialectTimestampText(t) : std::string(TextArg(x));
                    break;
                }
                default:
                    if (IsNumericType(from) || sqlite3_value_type(x) == SQLITE_INTEGER ||
                        sqlite3_value_type(x) == SQLITE_FLOAT)
                        s = NumberText(x, from == fldtype::kInt16 || from == fldtype::kInt32 ? 0 : fromScale);
                    else
                        s = std::string(TextArg(x));
            }
            if (size > 0) s.resize(OffsetOfChar(s, size));
            return ResultText(ctx, s);
        }
        case fldtype::kInt16:
        case fldtype::kInt32:
        case fldtype::kFloat:
        case fldtype::kBcd: {
            double d = 0;
            bool isInt = false;
            int64_t i = 0;
            if (sqlite3_value_type(x) == SQLITE_INTEGER) {
                i = sqlite3_value_int64(x);
                d = static_cast<double>(i);
                isInt = true;
            } else if (sqlite3_value_type(x) == SQLITE_FLOAT) {
                d = sqlite3_value_double(x);
            } else {
                int decimals = 0;
                const std::string_view t = TextArg(x);
                if (!ParseNumberLiteral(t, d, decimals)) return mismatch(std::string(t));
                if (decimals == 0 && std::fabs(d) < 9.0e18) {
                    i = std::strtoll(std::string(t).c_str(), nullptr, 10);
                    isInt = true;
                }
            }
            if (to == fldtype::kInt16 || to == fldtype::kInt32) {
                if (!isInt) {
                    const double tr = std::trunc(d);
                    if (!(std::fabs(tr) < 9.0e18)) return sqlite3_result_error(ctx, "Numeric overflow in CAST", -1);
                    i = static_cast<int64_t>(tr);
                }
                const int64_t lo = to == fldtype::kInt16 ? -32768 : INT32_MIN;
                const int64_t hi = to == fldtype::kInt16 ? 32767 : INT32_MAX;
                if (i < lo || i > hi) return sqlite3_result_error(ctx, "Numeric overflow in CAST", -1);
                return sqlite3_result_int64(ctx, i);
            }
            if (isInt && to != fldtype::kBcd) return sqlite3_result_double(ctx, d);
            return sqlite3_result_double(ctx, to == fldtype::kBcd ? RoundToScale(d, scale) : d);
        }
        case fldtype::kBool: {
            if (from == fldtype::kBool || !fromText) return sqlite3_result_int(ctx, sqlite3_value_double(x) != 0);
            const auto b = ParseBoolLiteral(TextArg(x));
            if (!b) return mismatch(std::string(TextArg(x)));
            return sqlite3_result_int(ctx, *b ? 1 : 0);
        }
        case fldtype::kDate: {
            const std::string_view t = TextArg(x);
            int64_t day = 0, ms = 0;
            if (from == fldtype::kDate) return sqlite3_result_value(ctx, x);
            if (from == fldtype::kTimestamp) return ResultText(ctx, std::string(t.substr(0, 10)));
            if (ParseDateLiteral(t, day)) return ResultText(ctx, SqliteDateText(day));
            if (ParseTimestampLiteral(t, ms)) return ResultText(ctx, SqliteDateText(ms / kMsPerDay));
            return mismatch(std::string(t));
        }
        case fldtype::kTime: {
            const std::string_view t = TextArg(x);
            int64_t ms = 0;
            if (from == fldtype::kTime) return sqlite3_result_value(ctx, x);
            if (from == fldtype::kTimestamp && t.size() > 11) return ResultText(ctx, std::string(t.substr(11)));
            if (ParseTimeLiteral(t, ms)) return ResultText(ctx, SqliteTimeText(ms));
            return mismatch(std::string(t));
        }
        case fldtype::kTimestamp: {
            const std::string_view t = TextArg(x);
            int64_t ms = 0;
            if (from == fldtype::kTimestamp) return sqlite3_result_value(ctx, x);
            if (from == fldtype::kDate) return ResultText(ctx, std::string(t) + " 00:00:00.000");
            if (ParseTimestampLiteral(t, ms)) return ResultText(ctx, SqliteTimestampText(ms));
            return mismatch(std::string(t));
        }
        case fldtype::kBytes: {
            const auto* p = sqlite3_value_blob(x);
            const int n = sqlite3_value_bytes(x);
            const int keep = size > 0 && size < n ? size : n;
            return sqlite3_result_blob(ctx, p, keep, SQLITE_TRANSIENT);
        }
        default:
            return sqlite3_result_value(ctx, x);
    }
}

constexpr int kFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;

void Check(sqlite3* db, int rc, const char* name) {
    if (rc != SQLITE_OK)
        throw EngineError(std::string("Cannot register the SQL function ") + name + ": " + sqlite3_errmsg(db));
}

}  // namespace

void RegisterDialectFunctions(sqlite3* db) {
    static int upperTag = 1;
    struct Scalar {
        const char* name;
        int args;
        void (*fn)(sqlite3_context*, int, sqlite3_value**);
        void* data;
    };
    const Scalar scalars[] = {
        {"tessel_like", 2, LikeFunction, nullptr},     {"tessel_like", 3, LikeFunction, nullptr},
        {"tessel_upper", 1, CaseFunction, &upperTag},  {"tessel_lower", 1, CaseFunction, nullptr},
        {"tessel_substr", 2, SubstrFunction, nullptr}, {"tessel_substr", 3, SubstrFunction, nullptr},
        {"tessel_trim", 3, TrimFunction, nullptr},     {"tessel_div", 2, DivFunction, nullptr},
        {"tessel_round", 2, RoundFunction, nullptr},   {"tessel_single", 2, SingleFunction, nullptr},
        {"tessel_cast", 6, CastFunction, nullptr},
    };
    for (const Scalar& s : scalars)
        Check(db, sqlite3_create_function_v2(db, s.name, s.args, kFlags, s.data, s.fn, nullptr, nullptr, nullptr),
              s.name);
    for (int scale = 0; scale <= kMaxExactScale; ++scale) {
        void* data = const_cast<int*>(&kScales[scale]);
        const std::string sum = "tessel_sum_" + std::to_string(scale);
        const std::string avg = "tessel_avg_" + std::to_string(scale);
        Check(db, sqlite3_create_function_v2(db, sum.c_str(), 1, kFlags, data, nullptr, ExactStep, SumFinal, nullptr),
              sum.c_str());
        Check(db, sqlite3_create_function_v2(db, avg.c_str(), 1, kFlags, data, nullptr, ExactStep, AvgFinal, nullptr),
              avg.c_str());
    }
}

}  // namespace tessel::engine::sql
