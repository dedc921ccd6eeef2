#pragma once

// The highlighter's small types: colours, font styles, ranges.

#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "base/Exceptions.h"

namespace tessel {

// A colour as a 32-bit value: 0x00BBGGRR for plain colours; values with the top bit set name
// system colours the painting side resolves; clNone means "no colour of its own, use the
// client's default".
using TColor = uint32_t;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clWindow = 0x80000005;
inline constexpr TColor clWindowText = 0x80000008;
inline constexpr TColor clBtnFace = 0x8000000F;

enum class TFontStyle : uint8_t { fsBold = 0, fsItalic = 1, fsUnderline = 2, fsStrikeOut = 3 };

// A set of font styles; its bit form has bit 0 = bold, 1 = italic, 2 = underline, 3 = strike-out.
class TFontStyles {
public:
    constexpr TFontStyles() = default;
    constexpr TFontStyles(std::initializer_list<TFontStyle> styles) {
        for (TFontStyle s : styles) Include(s);
    }
    static constexpr TFontStyles FromBits(unsigned bits) {
        TFontStyles result;
        result.bits_ = static_cast<uint8_t>(bits & 0x0F);
        return result;
    }
    constexpr unsigned Bits() const { return bits_; }
    constexpr bool Contains(TFontStyle s) const { return (bits_ >> static_cast<unsigned>(s)) & 1U; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr void Include(TFontStyle s) { bits_ = static_cast<uint8_t>(bits_ | (1U << static_cast<unsigned>(s))); }
    constexpr void Exclude(TFontStyle s) { bits_ = static_cast<uint8_t>(bits_ & ~(1U << static_cast<unsigned>(s))); }
    constexpr TFontStyles operator|(TFontStyles other) const { return FromBits(bits_ | other.bits_); }
    constexpr bool operator==(const TFontStyles&) const = default;

private:
    uint8_t bits_ = 0;
};

// A set of single-byte character codes. For UTF-8 text, a character belongs to the set when its
// code point is below 256 and that code is in the set (so the Latin-1 letters 192..255 mean the
// code points U+00C0..U+00FF); every character from U+0100 on is outside every set.
using TCharSet = std::bitset<256>;

inline bool InCharSet(const TCharSet& set, char32_t codePoint) {
    return codePoint < 256 && set.test(codePoint);
}

// Failures of the highlighting library: duplicate attribute names and keywords, assignment
// from an object of an unrelated class.
class EHighlighterError : public Exception {
public:
    using Exception::Exception;
};

// An object that can take over the value of another through Assign. Assigning from a source the
// class does not know raises "Cannot assign a <source class> to a <own class>".
class TAssignable {
public:
    virtual ~TAssignable() = default;
    virtual const char* ClassName() const = 0;
    virtual void Assign(const TAssignable& source);

protected:
    TAssignable() = default;
    TAssignable(const TAssignable&) = default;
    TAssignable& operator=(const TAssignable&) = default;
    [[noreturn]] void AssignError(const TAssignable* source) const;
};

}  // namespace tessel
