#pragma once

// The values a table hands out and takes in.

#include <cstdint>
#include <string>
#include <string_view>

namespace tessel::engine {

// Kinds of values a table hands out and takes in. Text is always UTF-8 here; the drivers
// convert from and to the table's code page.
enum class ValueKind : uint8_t {
    Null,
    Bool,       // i: 0 or 1
    Int,        // i
    Double,     // d
    Decimal,    // exact: i = scaled integer, scale = digits after the point (value = i / 10^scale)
    Text,       // s: UTF-8
    Bytes,      // s: raw bytes
    Date,       // i: day number, 0001-01-01 = 1 (proleptic Gregorian)
    Time,       // i: milliseconds since midnight
    Timestamp,  // i: day number * 86'400'000 + milliseconds since midnight
};

constexpr int64_t kMsPerDay = 86'400'000;

// Powers of ten that fit a signed 64-bit integer, for scaled decimals (10^0 .. 10^18).
inline constexpr int64_t kPow10[] = {1LL,
                                     10LL,
                                     100LL,
                                     1000LL,
                                     10000LL,
                                     100000LL,
                                     1000000LL,
                                     10000000LL,
                                     100000000LL,
                                     1000000000LL,
                                     10000000000LL,
                                     100000000000LL,
                                     1000000000000LL,
                                     10000000000000LL,
                                     100000000000000LL,
                                     1000000000000000LL,
                                     10000000000000000LL,
                                     100000000000000000LL,
                                     1000000000000000000LL};

// One field value. Kept as a plain struct so a record of them can be refilled for every row
// without allocating (the string keeps its capacity).
struct Value {
    ValueKind kind = ValueKind::Null;
    int8_t scale = 0;
    int64_t i = 0;
    double d = 0;
    std::string s;

    bool IsNull() const { return kind == ValueKind::Null; }
    void SetNull() { kind = ValueKind::Null; }
    void SetBool(bool v) {
        kind = ValueKind::Bool;
        i = v ? 1 : 0;
    }
    void SetInt(int64_t v) {
        kind = ValueKind::Int;
        i = v;
    }
    void SetDouble(double v) {
        kind = ValueKind::Double;
        d = v;
    }
    void SetDecimal(int64_t scaled, int scaleDigits) {
        kind = ValueKind::Decimal;
        i = scaled;
        scale = static_cast<int8_t>(scaleDigits);
    }
    void SetText(std::string_view v) {
        kind = ValueKind::Text;
        s.assign(v);
    }
    void SetBytes(std::string_view v) {
        kind = ValueKind::Bytes;
        s.assign(v);
    }
    void SetDate(int64_t dayNumber) {
        kind = ValueKind::Date;
        i = dayNumber;
    }
    void SetTime(int64_t msOfDay) {
        kind = ValueKind::Time;
        i = msOfDay;
    }
    void SetTimestamp(int64_t ms) {
        kind = ValueKind::Timestamp;
        i = ms;
    }

    // Numeric value as a double (Bool, Int, Double, Decimal); 0 for anything else.
    double AsDouble() const;

    static Value Null() { return {}; }
    static Value Bool(bool v) {
        Value x;
        x.SetBool(v);
        return x;
    }
    static Value Int(int64_t v) {
        Value x;
        x.SetInt(v);
        return x;
    }
    static Value Double(double v) {
        Value x;
        x.SetDouble(v);
        return x;
    }
    static Value Decimal(int64_t scaled, int scaleDigits) {
        Value x;
        x.SetDecimal(scaled, scaleDigits);
        return x;
    }
    static Value Text(std::string_view v) {
        Value x;
        x.SetText(v);
        return x;
    }
    static Value Bytes(std::string_view v) {
        Value x;
        x.SetBytes(v);
        return x;
    }
    static Value Date(int y, int m, int d);
    static Value Time(int h, int min, int sec, int ms = 0);
    static Value Timestamp(int y, int m, int d, int h, int min, int sec, int ms = 0);
};

bool operator==(const Value& a, const Value& b);

// Calendar helpers (proleptic Gregorian, day 1 = 0001-01-01).
bool IsValidDate(int year, int month, int day);
int64_t DayNumber(int year, int month, int day);
void CivilFromDayNumber(int64_t dayNumber, int& year, int& month, int& day);

// Text forms used by the command-line tools and messages:
// decimal "-12.50" (exactly `scale` digits), date "YYYY-MM-DD", time "HH:MM:SS" (".mmm" when not
// zero), timestamp "YYYY-MM-DD HH:MM:SS" (".mmm" when not zero), double in the shortest form that
// reads back to the same value, bytes as "0x" and lower-case hex.
std::string FormatDecimal(int64_t scaled, int scale);
std::string FormatDate(int64_t dayNumber);
std::string FormatTime(int64_t msOfDay);
std::string FormatTimestamp(int64_t ms);
std::string FormatDouble(double v);
std::string FormatHex(std::string_view bytes);
// The value as text in the forms above; Bool as TRUE/FALSE; Null as "".
std::string FormatValue(const Value& v);

}  // namespace tessel::engine
