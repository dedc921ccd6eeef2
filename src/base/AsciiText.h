#pragma once

// The small text toolbox every layer shares: ASCII case, comparisons without case, trimming.
// Only the letters a-z and A-Z change case; every other byte (UTF-8 sequences included) is
// left alone, so these never depend on the process locale.

#include <cstdint>
#include <string>
#include <string_view>

namespace tessel {

constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiUpper(std::string_view s);
std::string AsciiLower(std::string_view s);

// Equal when ASCII letters are compared without regard to case.
bool SameAscii(std::string_view a, std::string_view b);
// Negative, zero or positive like strcmp, comparing letters as lower case.
int CompareAscii(std::string_view a, std::string_view b);
// `s` begins with a non-empty `prefix`, compared without regard to ASCII case.
bool StartsWithAscii(std::string_view s, std::string_view prefix);

// `s` without the leading and trailing characters that appear in `set`.
std::string_view TrimChars(std::string_view s, std::string_view set);
// `s` without leading and trailing blanks and control characters (bytes up to ' ').
std::string_view TrimControls(std::string_view s);

// A whole number with commas between its thousands: 20000 as "20,000".
std::string GroupThousands(long long n);

}  // namespace tessel
