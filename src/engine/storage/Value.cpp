// Values of fields, and the calendar arithmetic of dates.

#include "engine/storage/Value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tessel::engine {

double Value::AsDouble() const {
    switch (kind) {
        case ValueKind::Bool:
        case ValueKind::Int:
            return static_cast<double>(i);
        case ValueKind::Double:
            return d;
        case ValueKind::Decimal: {
            // One rounding: exact when both the digits and the power of ten are doubles, else
            // from the decimal text, as strtod would.
            const uint64_t mag = i < 0 ? 0 - static_cast<uint64_t>(i) : static_cast<uint64_t>(i);
            if (scale >= 0 && scale <= 22 && mag <= (uint64_t{1} << 53)) {
                double p = 1;
                for (int k = 0; k < scale; ++k) p *= 10;
                return static_cast<double>(i) / p;
            }
            char buf[48];
            auto r = std::to_chars(buf, buf + 30, i);
            r.ptr[0] = 'e';
            r = std::to_chars(r.ptr + 1, buf + sizeof buf, -static_cast<int>(scale));
            double out = 0;
            std::from_chars(buf, r.ptr, out);
            return out;
        }
        default:
            return 0;
    }
}

Value Value::Date(int y, int m, int d) {
    Value x;
    x.SetDate(DayNumber(y, m, d));
    return x;
}

Value Value::Time(int h, int min, int sec, int ms) {
    Value x;
    x.SetTime(((h * 60LL + min) * 60 + sec) * 1000 + ms);
    return x;
}

Value Value::Timestamp(int y, int m, int d, int h, int min, int sec, int ms) {
    Value x;
    x.SetTimestamp(DayNumber(y, m, d) * kMsPerDay + ((h * 60LL + min) * 60 + sec) * 1000 + ms);
    return x;
}

bool operator==(const Value& a, const Value& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
        case ValueKind::Null:
            return true;
        case ValueKind::Double:
            return a.d == b.d || (std::isnan(a.d) && std::isnan(b.d));
        case ValueKind::Decimal:
            return a.i == b.i && a.scale == b.scale;
        case ValueKind::Text:
        case ValueKind::Bytes:
            return a.s == b.s;
        default:
            return a.i == b.i;
    }
}

bool IsValidDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int limit = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= limit;
}

// Days from civil (H. Hinnant's algorithm), shifted so that 0001-01-01 is day 1.
int64_t DayNumber(int year, int month, int day) {
    const int64_t y = year - (month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t daysFrom1970 = era * 146097 + doe - 719468;
    return daysFrom1970 + 719163;  // 1970-01-01 is day 719163
}

void CivilFromDayNumber(int64_t dayNumber, int& year, int& month, int& day) {
    const int64_t z = dayNumber - 719163 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    month = static_cast<int>(m);
    day = static_cast<int>(d);
}

std::string FormatDecimal(int64_t scaled, int scale) {
    const bool negative = scaled < 0;
    // Work on the unsigned magnitude so that INT64_MIN formats too.
    uint64_t mag = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    std::string digits = std::to_string(mag);
    if (scale > 0) {
        if (digits.size() <= static_cast<size_t>(scale))
            digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
        digits.insert(digits.size() - static_cast<size_t>(scale), 1, '.');
    }
    return negative ? "-" + digits : digits;
}

std::string FormatDate(int64_t dayNumber) {
    int y, m, d;
    CivilFromDayNumber(dayNumber, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}

std::string FormatTime(int64_t msOfDay) {
    const int64_t ms = msOfDay % 1000;
    const int64_t s = msOfDay / 1000;
    char buf[40];
    if (ms != 0)
        std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60), static_cast<long long>(ms));
    else
        std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return buf;
}

std::string FormatTimestamp(int64_t ms) {
    int64_t day = ms / kMsPerDay;
    int64_t rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --day;
    }
    return FormatDate(day) + " " + FormatTime(rest);
}

std::string FormatDouble(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
    char buf[400];
    // Plain decimal (no exponent), shortest digits that read back to the same value.
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    if (r.ec != std::errc()) return std::to_string(v);
    return std::string(buf, r.ptr);
}

std::string FormatHex(std::string_view bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "0x";
    out.reserve(2 + bytes.size() * 2);
    for (unsigned char c : bytes) {
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 15]);
    }
    return out;
}

std::string FormatValue(const Value& v) {
    switch (v.kind) {
        case ValueKind::Null:
            return {};
        case ValueKind::Bool:
            return v.i ? "TRUE" : "FALSE";
        case ValueKind::Int:
            return std::to_string(v.i);
        case ValueKind::Double:
            return FormatDouble(v.d);
        case ValueKind::Decimal:
            return FormatDecimal(v.i, v.scale);
        case ValueKind::Text:
            return v.s;
        case ValueKind::Bytes:
            return FormatHex(v.s);
        case ValueKind::Date:
            return FormatDate(v.i);
        case ValueKind::Time:
            return FormatTime(v.i);
        case ValueKind::Timestamp:
            return FormatTimestamp(v.i);
    }
    return {};
}

}  // namespace tessel::engine
