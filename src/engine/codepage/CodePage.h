#pragma once

// Code page converters between the tables' text and UTF-8.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tessel::engine::codepage {

namespace detail {
struct SingleByteTable;
struct IconvPair;
}  // namespace detail

// UTF-8 as a table's code page (the number the other tools use for it).
constexpr int kUtf8CodePage = 65001;

// A byte the code page does not define (or, in UTF-8, a byte outside a valid sequence) reads
// as this private-use character plus the byte's value, U+F700..U+F7FF, so it survives: writing
// the text back to the same code page gives the byte again, while a code page that has a
// character of its own at that byte refuses it.
constexpr char32_t kKeptByteBase = 0xF700;

// Why `c` cannot be written in `codePage`, for an error message: "the character U+00E9 has no
// place in code page 437", or, for a byte kept from text whose code page does not define it,
// "the byte 0x83, which the text it came from does not define, has no place in code page 1252".
std::string NoPlaceText(char32_t c, int codePage);

// Is there a converter for this code page on this system?
bool IsCodePageSupported(int codePage);

// The code page a name stands for, as GIS tools write it into a table's .cpg file or a person
// types it: "UTF-8", "1252", "CP1250", "ANSI 1251", "OEM 852", "ISO-8859-1", "88591", "LDID/87"
// (a dBASE driver byte), without regard to case or surrounding blanks; 0 when it is none.
int CodePageFromName(std::string_view name);
// What a .cpg file says for the code page: "UTF-8", "ISO-8859-n", else its number.
std::string CodePageFileText(int codePage);

// Converts between one code page and UTF-8. Single-byte code pages go through a 256-entry
// table built once per code page (shared by all converters), so decoding a field costs a
// table look-up per byte and nothing for pure ASCII; multi-byte code pages (932, 936, 949,
// 950) go through iconv. A converter is not safe for concurrent use (iconv keeps state).
class CodePageConverter {
public:
    // A code page without a converter here falls back to kDefaultCodePage; CodePage() tells
    // which one is in use.
    explicit CodePageConverter(int codePage);
    ~CodePageConverter();
    CodePageConverter(const CodePageConverter&) = delete;
    CodePageConverter& operator=(const CodePageConverter&) = delete;

    int CodePage() const { return codePage_; }
    bool IsSingleByte() const { return single_ != nullptr; }

    // Replaces `out` with the UTF-8 form of `bytes`. A byte the code page does not define is
    // kept (kKeptByteBase); in a multi-byte code page an undefined sequence becomes U+FFFD.
    // Conversion never fails.
    void ToUtf8(std::string_view bytes, std::string& out) const;
    std::string ToUtf8(std::string_view bytes) const {
        std::string s;
        ToUtf8(bytes, s);
        return s;
    }

    // Replaces `out` with `utf8` in the code page, stopping before the character that would
    // make it longer than `maxBytes` (never in the middle of a character). Returns false when
    // a character has no place in the code page (`badChar` gets it); `out` is then unusable.
    // Malformed UTF-8 counts as such a character (U+FFFD).
    bool FromUtf8(std::string_view utf8, std::string& out, size_t maxBytes = SIZE_MAX,
                  char32_t* badChar = nullptr) const;

private:
    int codePage_;
    std::shared_ptr<const detail::SingleByteTable> single_;
    std::unique_ptr<detail::IconvPair> iconv_;
};

}  // namespace tessel::engine::codepage
