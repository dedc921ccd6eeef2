// The ASCII text toolbox (see AsciiText.h).

#include "base/AsciiText.h"

namespace tessel {

std::string AsciiUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = AsciiUpper(c);
    return out;
}

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

bool SameAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k)
        if (AsciiLower(a[k]) != AsciiLower(b[k])) return false;
    return true;
}

int CompareAscii(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t k = 0; k < n; ++k) {
        const auto ca = static_cast<unsigned char>(AsciiLower(a[k]));
        const auto cb = static_cast<unsigned char>(AsciiLower(b[k]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool StartsWithAscii(std::string_view s, std::string_view prefix) {
    return !prefix.empty() && s.size() >= prefix.size() && SameAscii(s.substr(0, prefix.size()), prefix);
}

std::string_view TrimChars(std::string_view s, std::string_view set) {
    const size_t b = s.find_first_not_of(set);
    if (b == std::string_view::npos) return {};
    const size_t e = s.find_last_not_of(set);
    return s.substr(b, e - b + 1);
}

std::string_view TrimControls(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

std::string GroupThousands(long long n) {
    std::string digits = std::to_string(n);
    const size_t first = digits[0] == '-' ? 1 : 0;
    for (long i = static_cast<long>(digits.size()) - 3; i > static_cast<long>(first); i -= 3)
        digits.insert(static_cast<size_t>(i), ",");
    return digits;
}

}  // namespace tessel
