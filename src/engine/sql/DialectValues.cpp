// The dialect's literal forms of dates, times and numbers.

#include "engine/sql/DialectValues.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "base/AsciiText.h"
#include "engine/storage/Value.h"

namespace tessel::engine::sql {

namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads 1..maxDigits digits at `pos`; false when there are none.
bool ReadNumber(std::string_view s, size_t& pos, int maxDigits, int& out, int* count = nullptr) {
    int n = 0;
    int v = 0;
    while (pos < s.size() && IsDigit(s[pos]) && n < maxDigits) {
        v = v * 10 + (s[pos] - '0');
        ++pos;
        ++n;
    }
    if (count) *count = n;
    if (n == 0) return false;
    out = v;
    return true;
}

// Date at the start of `s`; `pos` moves past it.
bool ReadDate(std::string_view s, size_t& pos, int64_t& day) {
    int a = 0, b = 0, c = 0, na = 0, nc = 0;
    if (!ReadNumber(s, pos, 4, a, &na)) return false;
    int y = 0, m = 0, d = 0;
    if (na == 4 && pos < s.size() && s[pos] == '-') {
        ++pos;
        if (!ReadNumber(s, pos, 2, b) || pos >= s.size() || s[pos] != '-') return false;
        ++pos;
        if (!ReadNumber(s, pos, 2, c)) return false;
        y = a;
        m = b;
        d = c;
    } else {
        if (na > 2 || pos >= s.size() || s[pos] != '/') return false;
        ++pos;
        if (!ReadNumber(s, pos, 2, b) || pos >= s.size() || s[pos] != '/') return false;
        ++pos;
        if (!ReadNumber(s, pos, 4, c, &nc)) return false;
        m = a;
        d = b;
        y = c;
        if (nc <= 2) y += y < 50 ? 2000 : 1900;
    }
    if (pos < s.size() && IsDigit(s[pos])) return false;
    if (!IsValidDate(y, m, d)) return false;
    day = DayNumber(y, m, d);
    return true;
}

bool ReadTime(std::string_view s, size_t& pos, int64_t& ms) {
    int h = 0, mi = 0, sec = 0, frac = 0, nf = 0;
    if (!ReadNumber(s, pos, 2, h) || pos >= s.size() || s[pos] != ':') return false;
    ++pos;
    int nm = 0;
    if (!ReadNumber(s, pos, 2, mi, &nm) || nm != 2) return false;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        int ns = 0;
        if (!ReadNumber(s, pos, 2, sec, &ns) || ns != 2) return false;
        if (pos < s.size() && s[pos] == '.') {
            ++pos;
            if (!ReadNumber(s, pos, 3, frac, &nf)) return false;
            while (nf < 3) {
                frac *= 10;
                ++nf;
            }
            while (pos < s.size() && IsDigit(s[pos])) ++pos;  // beyond milliseconds: dropped
        }
    }
    size_t p = pos;
    while (p < s.size() && s[p] == ' ') ++p;
    if (p + 2 <= s.size() && (SameAscii(s.substr(p, 2), "AM") || SameAscii(s.substr(p, 2), "PM"))) {
        const bool pm = AsciiUpper(s[p]) == 'P';
        pos = p + 2;
        if (h <= 12) {
            if (pm && h < 12) h += 12;
            if (!pm && h == 12) h = 0;
        }
    }
    if (h > 23 || mi > 59 || sec > 59) return false;
    ms = ((h * 60LL + mi) * 60 + sec) * 1000 + frac;
    return true;
}

std::string TwoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

}  // namespace

bool ParseDateLiteral(std::string_view text, int64_t& dayNumber) {
    const std::string_view s = TrimBlanks(text);
    size_t pos = 0;
    int64_t day = 0;
    if (!ReadDate(s, pos, day) || pos != s.size()) return false;
    dayNumber = day;
    return true;
}

bool ParseTimeLiteral(std::string_view text, int64_t& msOfDay) {
    const std::string_view s = TrimBlanks(text);
    size_t pos = 0;
    int64_t ms = 0;
    if (!ReadTime(s, pos, ms) || pos != s.size()) return false;
    msOfDay = ms;
    return true;
}

bool ParseTimestampLiteral(std::string_view text, int64_t& out) {
    const std::string_view s = TrimBlanks(text);
    size_t pos = 0;
    int64_t day = 0;
    if (!ReadDate(s, pos, day)) return false;
    int64_t ms = 0;
    if (pos < s.size()) {
        if (s[pos] != ' ' && s[pos] != 'T') return false;
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == 'T')) ++pos;
        if (!ReadTime(s, pos, ms) || pos != s.size()) return false;
    }
    out = day * kMsPerDay + ms;
    return true;
}

std::optional<bool> ParseBoolLiteral(std::string_view text) {
    const std::string_view s = TrimBlanks(text);
    if (SameAscii(s, "TRUE") || SameAscii(s, "T")) return true;
    if (SameAscii(s, "FALSE") || SameAscii(s, "F")) return false;
    return std::nullopt;
}

bool ParseNumberLiteral(std::string_view text, double& value, int& decimals) {
    const std::string_view s = TrimBlanks(text);
    size_t pos = 0;
    if (pos < s.size() && (s[pos] == '-' || s[pos] == '+')) ++pos;
    size_t digits = 0;
    while (pos < s.size() && IsDigit(s[pos])) ++pos, ++digits;
    int dec = 0;
    if (pos < s.size() && s[pos] == '.') {
        ++pos;
        while (pos < s.size() && IsDigit(s[pos])) ++pos, ++digits, ++dec;
    }
    if (digits == 0) return false;
    if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
        ++pos;
        if (pos < s.size() && (s[pos] == '-' || s[pos] == '+')) ++pos;
        size_t e = 0;
        while (pos < s.size() && IsDigit(s[pos])) ++pos, ++e;
        if (e == 0) return false;
        dec = -1;
    }
    if (pos != s.size()) return false;
    const std::string copy(s);
    errno = 0;
    value = std::strtod(copy.c_str(), nullptr);
    decimals = dec;
    return true;
}

std::string SqliteDateText(int64_t dayNumber) {
    int y = 0, m = 0, d = 0;
    CivilFromDayNumber(dayNumber, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}

std::string SqliteTimeText(int64_t ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", static_cast<int>(ms / 3'600'000),
                  static_cast<int>(ms / 60'000 % 60), static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
    return buf;
}

std::string SqliteTimestampText(int64_t ms) {
    int64_t day = ms / kMsPerDay;
    int64_t rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --day;
    }
    return SqliteDateText(day) + " " + SqliteTimeText(rest);
}

bool ReadSqliteDate(std::string_view s, int64_t& dayNumber) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
    size_t pos = 0;
    int y = 0, m = 0, d = 0;
    if (!ReadNumber(s, pos, 4, y) || pos != 4) return false;
    pos = 5;
    if (!ReadNumber(s, pos, 2, m) || pos != 7) return false;
    pos = 8;
    if (!ReadNumber(s, pos, 2, d) || pos != 10) return false;
    if (!IsValidDate(y, m, d)) return false;
    dayNumber = DayNumber(y, m, d);
    return true;
}

bool ReadSqliteTime(std::string_view s, int64_t& msOfDay) {
    size_t pos = 0;
    int64_t ms = 0;
    if (!ReadTime(s, pos, ms) || pos != s.size()) return false;
    msOfDay = ms;
    return true;
}

bool ReadSqliteTimestamp(std::string_view s, int64_t& ms) {
    if (s.size() < 10) return false;
    int64_t day = 0;
    if (!ReadSqliteDate(s.substr(0, 10), day)) return false;
    int64_t t = 0;
    if (s.size() > 10) {
        if (s[10] != ' ' || !ReadSqliteTime(s.substr(11), t)) return false;
    }
    ms = day * kMsPerDay + t;
    return true;
}

std::string DialectDateText(int64_t dayNumber) {
    int y = 0, m = 0, d = 0;
    CivilFromDayNumber(dayNumber, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", m, d, y);
    return buf;
}

std::string DialectTimeText(int64_t ms) {
    int h = static_cast<int>(ms / 3'600'000);
    const bool pm = h >= 12;
    if (h == 0)
        h = 12;
    else if (h > 12)
        h -= 12;
    return TwoDigits(h) + ":" + TwoDigits(static_cast<int>(ms / 60'000 % 60)) + ":" +
           TwoDigits(static_cast<int>(ms / 1000 % 60)) + (pm ? " PM" : " AM");
}

std::string DialectTimestampText(int64_t ms) {
    int64_t day = ms / kMsPerDay;
    int64_t rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --day;
    }
    return DialectDateText(day) + " " + DialectTimeText(rest);
}

}  // namespace tessel::engine::sql
