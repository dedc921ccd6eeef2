// Number, date and time formats and their parsing.

#include "framework/data/FormatSettings.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/AsciiText.h"
#include "engine/storage/Value.h"

namespace tessel {

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

namespace {

std::string Num(int v, bool twoDigits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, twoDigits ? "%02d" : "%d", v);
    return buf;
}

bool IsDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

int ToInt(std::string_view s) {
    int v = 0;
    for (char c : s) {
        v = v * 10 + (c - '0');
        if (v > 100000) return v;
    }
    return v;
}

}  // namespace

std::string DateToStr(int64_t dayNumber) {
    const TFormatSettings& fs = FormatSettings();
    int y = 0, m = 0, d = 0;
    engine::CivilFromDayNumber(dayNumber, y, m, d);
    const std::string sep(1, fs.dateSeparator);
    const std::string ys = Num(y, false), ms = Num(m, fs.dateLeadingZeros), ds = Num(d, fs.dateLeadingZeros);
    switch (fs.dateOrder) {
        case TDateOrder::MDY:
            return ms + sep + ds + sep + ys;
        case TDateOrder::DMY:
            return ds + sep + ms + sep + ys;
        case TDateOrder::YMD:
            return ys + sep + ms + sep + ds;
    }
    return {};
}

std::string TimeToStr(int64_t msOfDay) {
    const TFormatSettings& fs = FormatSettings();
    const int total = static_cast<int>(msOfDay / 1000);
    int h = total / 3600;
    const int mi = total / 60 % 60, s = total % 60;
    const std::string sep(1, fs.timeSeparator);
    if (!fs.twelveHour) return Num(h, true) + sep + Num(mi, true) + sep + Num(s, true);
    const bool pm = h >= 12;
    h %= 12;
    if (h == 0) h = 12;
    return Num(h, false) + sep + Num(mi, true) + sep + Num(s, true) + " " + (pm ? fs.timePMString : fs.timeAMString);
}

std::string DateTimeToStr(int64_t timestampMs) {
    int64_t day = timestampMs / engine::kMsPerDay;
    int64_t ms = timestampMs % engine::kMsPerDay;
    if (ms < 0) {
        ms += engine::kMsPerDay;
        --day;
    }
    std::string text = DateToStr(day);
    if (ms != 0) {
        text.push_back(' ');
        text.append(TimeToStr(ms));
    }
    return text;
}

bool TryStrToDate(std::string_view text, int64_t& dayNumber) {
    text = TrimBlanks(text);
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '/' || text[i] == '-' || text[i] == '.' ||
            text[i] == FormatSettings().dateSeparator) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (parts.size() != 3) return false;
    for (auto p : parts)
        if (!IsDigits(p) || p.size() > 4) return false;
    int m = 0, d = 0;
    std::string_view yearPart, monthPart, dayPart;
    if (parts[0].size() == 4) {  // ISO order whatever the settings say
        yearPart = parts[0];
        monthPart = parts[1];
        dayPart = parts[2];
    } else {
        switch (FormatSettings().dateOrder) {
            case TDateOrder::MDY:
                monthPart = parts[0];
                dayPart = parts[1];
                yearPart = parts[2];
                break;
            case TDateOrder::DMY:
                dayPart = parts[0];
                monthPart = parts[1];
                yearPart = parts[2];
                break;
            case TDateOrder::YMD:
                yearPart = parts[0];
                monthPart = parts[1];
                dayPart = parts[2];
                break;
        }
    }
    if (monthPart.size() > 2 || dayPart.size() > 2) return false;
    if (yearPart.size() != 4 && yearPart.size() > 2) return false;
    m = ToInt(monthPart);
    d = ToInt(dayPart);
    int y = ToInt(yearPart);
    if (yearPart.size() <= 2) y += y < FormatSettings().twoDigitYearPivot ? 2000 : 1900;
    if (!engine::IsValidDate(y, m, d)) return false;
    dayNumber = engine::DayNumber(y, m, d);
    return true;
}

bool TryStrToTime(std::string_view text, int64_t& msOfDay) {
    const TFormatSettings& fs = FormatSettings();
    text = TrimBlanks(text);
    // A trailing AM/PM marker (also "A"/"P"), with or without a blank before it.
    int half = 0;  // 0 none, 1 am, 2 pm
    auto stripMarker = [&](std::string_view marker, int which) {
        if (half || marker.empty() || text.size() < marker.size()) return;
        std::string_view tail = text.substr(text.size() - marker.size());
        if (StartsWithAscii(tail, marker)) {
            half = which;
            text = TrimBlanks(text.substr(0, text.size() - marker.size()));
        }
    };
    stripMarker(fs.timeAMString, 1);
    stripMarker(fs.timePMString, 2);
    stripMarker("AM", 1);
    stripMarker("PM", 2);
    stripMarker("A", 1);
    stripMarker("P", 2);
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ':' || text[i] == fs.timeSeparator) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (parts.empty() || parts.size() > 3) return false;
    int ms = 0;
    if (parts.size() == 3) {
        const size_t dot = parts[2].find('.');
        if (dot != std::string_view::npos) {
            std::string_view frac = parts[2].substr(dot + 1);
            parts[2] = parts[2].substr(0, dot);
            if (!IsDigits(frac) || frac.size() > 3) return false;
            ms = ToInt(frac);
            for (size_t k = frac.size(); k < 3; ++k) ms *= 10;
        }
    }
    for (auto p : parts)
        if (!IsDigits(p) || p.size() > 2) return false;
    if (parts.size() == 1 && !half) return false;  // a bare number is no time
    int h = ToInt(parts[0]);
    const int mi = parts.size() > 1 ? ToInt(parts[1]) : 0;
    const int s = parts.size() > 2 ? ToInt(parts[2]) : 0;
    if (half) {
        if (h < 1 || h > 12) return false;
        h %= 12;
        if (half == 2) h += 12;
    }
    if (h > 23 || mi > 59 || s > 59) return false;
    msOfDay = ((int64_t{h} * 60 + mi) * 60 + s) * 1000 + ms;
    return true;
}

bool TryStrToDateTime(std::string_view text, int64_t& timestampMs) {
    text = TrimBlanks(text);
    const size_t blank = text.find_first_of(" \t");
    int64_t day = 0, ms = 0;
    if (blank == std::string_view::npos) {
        if (!TryStrToDate(text, day)) return false;
    } else {
        if (!TryStrToDate(text.substr(0, blank), day)) return false;
        if (!TryStrToTime(text.substr(blank + 1), ms)) return false;
    }
    timestampMs = day * engine::kMsPerDay + ms;
    return true;
}

std::string FloatToStr(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15G", v);
    std::string s = buf;
    // "1E+20" -> "1E20", "1E-05" -> "1E-5"
    const size_t e = s.find('E');
    if (e != std::string::npos) {
        std::string mant = s.substr(0, e);
        std::string ex = s.substr(e + 1);
        bool neg = !ex.empty() && ex[0] == '-';
        if (!ex.empty() && (ex[0] == '+' || ex[0] == '-')) ex.erase(0, 1);
        while (ex.size() > 1 && ex[0] == '0') ex.erase(0, 1);
        s = mant + "E" + (neg ? "-" : "") + ex;
    }
    if (FormatSettings().decimalSeparator != '.')
        for (char& c : s)
            if (c == '.') c = FormatSettings().decimalSeparator;
    if (s == "-0") s = "0";
    return s;
}

std::string FloatToStrFixed(double v, int decimals, bool thousands) {
    const TFormatSettings& fs = FormatSettings();
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, std::fabs(v));
    std::string digits = buf;
    std::string intPart = digits, frac;
    const size_t dot = digits.find('.');
    if (dot != std::string::npos) {
        intPart = digits.substr(0, dot);
        frac = digits.substr(dot + 1);
    }
    if (thousands)
        for (int i = static_cast<int>(intPart.size()) - 3; i > 0; i -= 3)
            intPart.insert(static_cast<size_t>(i), 1, fs.thousandSeparator);
    std::string s = intPart;
    if (!frac.empty()) s += fs.decimalSeparator + frac;
    bool zero = true;
    for (char c : digits)
        if (c >= '1' && c <= '9') zero = false;
    if (v < 0 && !zero) s.insert(0, 1, '-');
    return s;
}

std::string CurrToStr(double v) {
    const TFormatSettings& fs = FormatSettings();
    std::string s = FloatToStrFixed(v, fs.currencyDecimals, true);
    if (!s.empty() && s[0] == '-') return "(" + fs.currencyString + s.substr(1) + ")";
    return fs.currencyString + s;
}

bool TryStrToFloat(std::string_view text, double& v) {
    text = TrimBlanks(text);
    if (text.empty()) return false;
    std::string s(text);
    for (char& c : s) {
        if (c == FormatSettings().decimalSeparator) c = '.';
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return false;  // no hex, no inf/nan, no separators
    }
    errno = 0;
    char* end = nullptr;
    const double d = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || errno == ERANGE || !std::isfinite(d)) return false;
    v = d;
    return true;
}

bool TryStrToInt64(std::string_view text, int64_t& v) {
    text = TrimBlanks(text);
    if (text.empty()) return false;
    std::string s(text);
    size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i == s.size()) return false;
    for (size_t k = i; k < s.size(); ++k)
        if (!std::isdigit(static_cast<unsigned char>(s[k]))) return false;
    errno = 0;
    char* end = nullptr;
    const long long r = std::strtoll(s.c_str(), &end, 10);
    if (errno == ERANGE) return false;
    v = r;
    return true;
}

// ------------------------------------------------------------------ display formats

namespace {

// The sections of a display format, split at semicolons outside quotes.
std::vector<std::string> FormatSections(std::string_view format) {
    std::vector<std::string> sections(1);
    char quote = 0;
    for (char c : format) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            sections.emplace_back();
            continue;
        }
        sections.back() += c;
    }
    return sections;
}

bool IsPlaceholder(char c) {
    return c == '0' || c == '#' || c == '.' || c == ',';
}

}  // namespace

std::string FormatFloat(std::string_view format, double v) {
    const std::vector<std::string> sections = FormatSections(format);
    std::string section = sections[0];
    bool minus = false;
    if (v < 0 && sections.size() >= 2 && !sections[1].empty()) {
        section = sections[1];
        v = -v;
    } else if (v == 0 && sections.size() >= 3 && !sections[2].empty()) {
        section = sections[2];
    } else if (v < 0) {
        minus = true;
        v = -v;
    }
    // The digit part: minimum and maximum decimals, minimum integer digits, separators.
    int minInt = 0, minDec = 0, maxDec = 0;
    bool point = false, thousands = false, percent = false, anyDigit = false;
    char quote = 0;
    for (char c : section) {
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '"' || c == '\'')
            quote = c;
        else if (c == '%')
            percent = true;
        else if (c == '.')
            point = true;
        else if (c == ',')
            thousands = true;
        else if (c == '0' || c == '#') {
            anyDigit = true;
            if (point) {
                ++maxDec;
                if (c == '0') minDec = maxDec;
            } else if (c == '0') {
                ++minInt;
            }
        }
    }
    if (percent) v *= 100;
    std::string number;
    if (anyDigit) {
        const TFormatSettings& fs = FormatSettings();
        number = FloatToStrFixed(v, maxDec, thousands);
        if (!number.empty() && number[0] == '-') number.erase(0, 1);
        size_t sep = number.find(fs.decimalSeparator);
        if (maxDec > 0 && sep != std::string::npos) {
            while (static_cast<int>(number.size() - sep - 1) > minDec && number.back() == '0') number.pop_back();
            if (number.back() == fs.decimalSeparator) number.pop_back();
        }
        sep = number.find(fs.decimalSeparator);
        std::string intPart = number.substr(0, sep);
        const std::string rest = sep == std::string::npos ? std::string() : number.substr(sep);
        if (intPart == "0" && minInt == 0) intPart.clear();
        int digits = 0;
        for (char c : intPart) digits += std::isdigit(static_cast<unsigned char>(c)) ? 1 : 0;
        for (; digits < minInt; ++digits) intPart.insert(0, 1, '0');
        number = intPart + rest;
        if (number.empty()) number.push_back('0');
    }
    std::string out;
    bool numberWritten = false;
    quote = 0;
    for (char c : section) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                out += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (IsPlaceholder(c)) {
            if (!numberWritten) out += number;
            numberWritten = true;
        } else {
            out += c;
        }
    }
    if (!numberWritten) out += number;
    if (minus) {
        bool zero = true;
        for (char c : number)
            if (c >= '1' && c <= '9') zero = false;
        if (!zero) out.insert(0, 1, '-');
    }
    return out;
}

bool IsFormattedNumberChar(std::string_view format, char c) {
    const TFormatSettings& fs = FormatSettings();
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '(' || c == ')' || c == ' ' ||
        c == fs.thousandSeparator || c == fs.decimalSeparator || c == 'e' || c == 'E')
        return true;
    if (fs.currencyString.find(c) != std::string::npos) return true;
    return c != '"' && c != '\'' && c != ';' && format.find(c) != std::string_view::npos;
}

bool TryStrToFloatFormatted(std::string_view text, std::string_view format, double& v) {
    const TFormatSettings& fs = FormatSettings();
    std::string t(TrimBlanks(text));
    // The format's quoted texts and the currency string, where they stand in the text.
    std::vector<std::string> literals;
    for (const std::string& section : FormatSections(format)) {
        char quote = 0;
        std::string literal;
        for (char c : section) {
            if (quote) {
                if (c == quote) {
                    quote = 0;
                    if (!literal.empty()) literals.push_back(literal);
                    literal.clear();
                } else {
                    literal += c;
                }
            } else if (c == '"' || c == '\'') {
                quote = c;
            }
        }
    }
    if (!fs.currencyString.empty()) literals.push_back(fs.currencyString);
    for (const std::string& literal : literals)
        for (size_t at = t.find(literal); at != std::string::npos; at = t.find(literal)) t.erase(at, literal.size());
    bool negative = false, percent = false;
    std::string number;
    for (size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        const bool afterExponent = !number.empty() && (number.back() == 'e' || number.back() == 'E');
        if (std::isdigit(static_cast<unsigned char>(c))) {
            number += c;
        } else if (c == fs.decimalSeparator) {
            number += '.';
        } else if ((c == 'e' || c == 'E') && !number.empty()) {
            number += c;
        } else if ((c == '-' || c == '+') && afterExponent) {
            number += c;
        } else if (c == '-' || c == '(' || c == ')') {
            if (c != ')') negative = !negative;
        } else if (c == '+' || c == ' ' || c == fs.thousandSeparator) {
        } else if (c == '%' && format.find('%') != std::string_view::npos) {
            percent = true;
        } else if (c == '"' || c == '\'' || format.find(c) == std::string_view::npos) {
            return false;
        }
    }
    // "(12)", "-12" and "12-" are negative.
    if (number.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double d = std::strtod(number.c_str(), &end);
    if (end != number.c_str() + number.size() || !std::isfinite(d)) return false;
    v = negative ? -d : d;
    if (percent) v /= 100;
    return true;
}

}  // namespace tessel
