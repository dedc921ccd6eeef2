// Byte, number and date helpers of the dBASE table.

#include "engine/dbase/DbfCodec.h"

namespace tessel::engine::dbase {

void ParseNumber(const char* p, size_t w, int decimals, Value& out) {
    size_t b = 0, e = w;
    while (b < e && (p[b] == ' ' || p[b] == '\0')) ++b;
    while (e > b && (p[e - 1] == ' ' || p[e - 1] == '\0')) --e;
    if (b == e) {
        out.SetNull();
        return;
    }
    size_t k = b;
    bool negative = false;
    if (p[k] == '-' || p[k] == '+') {
        negative = p[k] == '-';
        ++k;
    }
    uint64_t mant = 0;
    int digits = 0, fracDigits = 0;
    bool point = false, overflow = false, any = false;
    for (; k < e; ++k) {
        const char c = p[k];
        if (c >= '0' && c <= '9') {
            any = true;
            if (mant == 0 && c == '0') {
                if (point) ++fracDigits;
                continue;
            }
            if (digits >= 18) {
                overflow = true;
            } else {
                mant = mant * 10 + static_cast<uint64_t>(c - '0');
                ++digits;
            }
            if (point) ++fracDigits;
        } else if ((c == '.' || c == ',') && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any) {
        out.SetNull();
        return;
    }
    // An exponent (writers store floats as 1.42948681360561E+03): the digits stay exact when
    // they fit a scaled integer.
    if (k < e && (p[k] == 'E' || p[k] == 'e') && !overflow) {
        size_t x = k + 1;
        const bool minus = x < e && p[x] == '-';
        if (x < e && (p[x] == '-' || p[x] == '+')) ++x;
        int exponent = 0;
        const size_t first = x;
        while (x < e && p[x] >= '0' && p[x] <= '9' && exponent < 1000) exponent = exponent * 10 + (p[x++] - '0');
        if (x == e && x > first) {
            int scale = fracDigits - (minus ? -exponent : exponent);
            if (scale < 0 && digits - scale <= 18) {
                for (; scale < 0; ++scale) mant *= 10;
                fracDigits = 0;
                k = e;
            } else if (scale >= 0 && scale <= 18) {
                fracDigits = scale;
                digits = std::max(digits, scale);
                k = e;
            }
        }
    }
    if (k < e || overflow || fracDigits > 18) {
        // Exponents, more than 18 significant digits and the like: go through a double.
        char buf[64];
        const size_t n = std::min<size_t>(e - b, sizeof buf - 1);
        std::memcpy(buf, p + b, n);
        buf[n] = '\0';
        for (size_t q = 0; q < n; ++q)
            if (buf[q] == ',') buf[q] = '.';
        char* end = nullptr;
        const double d = std::strtod(buf, &end);
        if (end == buf || *end != '\0') {
            out.SetNull();
            return;
        }
        out.SetDouble(d);
        return;
    }
    int64_t v = static_cast<int64_t>(mant);
    if (negative) v = -v;
    if (fracDigits == 0 && decimals == 0) {
        out.SetInt(v);
        return;
    }
    int scale = std::max<int>(fracDigits, std::min(decimals, 18));
    // Bring the mantissa to `scale` digits when that fits, else keep the digits as read.
    if (scale > fracDigits) {
        const int up = scale - fracDigits;
        if (digits - fracDigits + scale <= 18)
            v *= kPow10[up];
        else
            scale = fracDigits;
    }
    out.SetDecimal(v, scale);
}

bool ParseDate8(const char* p, int64_t& day) {
    int y = 0, m = 0, d = 0;
    for (int k = 0; k < 8; ++k)
        if (p[k] < '0' || p[k] > '9') return false;
    for (int k = 0; k < 4; ++k) y = y * 10 + (p[k] - '0');
    m = (p[4] - '0') * 10 + (p[5] - '0');
    d = (p[6] - '0') * 10 + (p[7] - '0');
    if (!IsValidDate(y, m, d)) return false;
    day = DayNumber(y, m, d);
    return true;
}

bool ToDecimalText(const Value& v, DecimalText& t) {
    char buf[400];
    switch (v.kind) {
        case ValueKind::Bool:
        case ValueKind::Int:
        case ValueKind::Decimal: {
            const int64_t i = v.kind == ValueKind::Bool ? (v.i ? 1 : 0) : v.i;
            t.negative = i < 0;
            const uint64_t mag = t.negative ? 0 - static_cast<uint64_t>(i) : static_cast<uint64_t>(i);
            t.digits = std::to_string(mag);
            t.scale = v.kind == ValueKind::Decimal ? std::max<int>(0, v.scale) : 0;
            return true;
        }
        case ValueKind::Double: {
            if (!std::isfinite(v.d)) return false;
            auto r = std::to_chars(buf, buf + sizeof buf, v.d, std::chars_format::fixed);
            if (r.ec != std::errc()) return false;
            std::string s(buf, r.ptr);
            t.negative = !s.empty() && s[0] == '-';
            if (t.negative) s.erase(0, 1);
            const size_t dot = s.find('.');
            t.scale = dot == std::string::npos ? 0 : static_cast<int>(s.size() - dot - 1);
            if (dot != std::string::npos) s.erase(dot, 1);
            t.digits = s;
            return true;
        }
        case ValueKind::Text: {
            std::string s = v.s;
            while (!s.empty() && s.back() == ' ') s.pop_back();
            size_t b = 0;
            while (b < s.size() && s[b] == ' ') ++b;
            s = s.substr(b);
            if (s.empty()) return false;
            t.negative = s[0] == '-';
            if (s[0] == '-' || s[0] == '+') s.erase(0, 1);
            const size_t dot = s.find('.');
            t.scale = dot == std::string::npos ? 0 : static_cast<int>(s.size() - dot - 1);
            if (dot != std::string::npos) s.erase(dot, 1);
            if (s.empty()) return false;
            for (char c : s)
                if (c < '0' || c > '9') return false;
            t.digits = s;
            return true;
        }
        default:
            return false;
    }
}

bool FormatNumberField(DecimalText t, int decimals, uint32_t width, char* dst, bool keepDigits) {
    if (keepDigits && t.scale > decimals) {
        // Digits beyond the declared decimals, as another writer stored them, stay when the
        // field is wide enough for them.
        DecimalText kept = t;
        while (kept.scale > decimals && !kept.digits.empty() && kept.digits.back() == '0') {
            kept.digits.pop_back();
            --kept.scale;
        }
        if (kept.scale > decimals && FormatNumberField(kept, kept.scale, width, dst, false)) return true;
    }
    if (t.scale > decimals) {
        const size_t cut = static_cast<size_t>(t.scale - decimals);
        if (t.digits.size() < cut) t.digits.insert(0, cut - t.digits.size(), '0');
        const bool roundUp = t.digits[t.digits.size() - cut] >= '5';
        t.digits.erase(t.digits.size() - cut);
        if (roundUp) {
            int k = static_cast<int>(t.digits.size()) - 1;
            while (k >= 0 && t.digits[static_cast<size_t>(k)] == '9') t.digits[static_cast<size_t>(k--)] = '0';
            if (k < 0)
                t.digits.insert(0, 1, '1');
            else
                ++t.digits[static_cast<size_t>(k)];
        }
        t.scale = decimals;
    }
    while (t.scale < decimals) {
        t.digits.push_back('0');
        ++t.scale;
    }
    // Integer and fraction parts.
    if (t.digits.size() < static_cast<size_t>(decimals) + 1)
        t.digits.insert(0, static_cast<size_t>(decimals) + 1 - t.digits.size(), '0');
    size_t lead = 0;
    while (lead + 1 < t.digits.size() - static_cast<size_t>(decimals) && t.digits[lead] == '0') ++lead;
    t.digits.erase(0, lead);
    std::string text;
    const bool isZero = t.digits.find_first_not_of('0') == std::string::npos;
    if (t.negative && !isZero) text.push_back('-');
    text.append(t.digits, 0, t.digits.size() - static_cast<size_t>(decimals));
    if (decimals > 0) {
        text.push_back('.');
        text.append(t.digits, t.digits.size() - static_cast<size_t>(decimals), std::string::npos);
    }
    if (text.size() > width) return false;
    std::memset(dst, ' ', width - text.size());
    std::memcpy(dst + (width - text.size()), text.data(), text.size());
    return true;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

void TodayBytes(char* p) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    p[0] = static_cast<char>(tm.tm_year & 0xFF);  // years since 1900
    p[1] = static_cast<char>(tm.tm_mon + 1);
    p[2] = static_cast<char>(tm.tm_mday);
}

}  // namespace tessel::engine::dbase
