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

// Is there a converter for this code page on this system?
bool IsCodePageSupported(int codePage);

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

    // Replaces `out` with the UTF-8 form of `bytes`. A byte (sequence) the code page does not
    // define becomes U+FFFD; conversion never fails.
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
