#pragma once

// The text encodings of files Tessel reads and writes (UTF-8, Windows-1252, UTF-16).

#include <string>
#include <string_view>

namespace tessel {

// How a text file was stored. Inside Tessel all text is UTF-8; files are read in the encoding
// they hold and written back in the same one.
enum class TTextEncoding {
    Utf8,         // no byte-order mark (also what new text is saved as)
    Utf8Bom,      // EF BB BF
    Utf16LeBom,   // FF FE
    Utf16BeBom,   // FE FF
    Windows1252,  // anything that is not valid UTF-8
};

bool IsValidUtf8(std::string_view bytes);

// Byte-order mark first; otherwise UTF-8 when the bytes are valid UTF-8, else Windows-1252.
TTextEncoding DetectTextEncoding(std::string_view bytes);

// Converts file bytes to UTF-8, dropping a byte-order mark. Malformed UTF-16 becomes U+FFFD.
std::string DecodeText(std::string_view bytes, TTextEncoding encoding);

// Converts UTF-8 to the encoding, with its byte-order mark. Returns false, leaving `out`
// unspecified, when a character has no place in the encoding (Windows-1252 only).
bool EncodeText(std::string_view utf8, TTextEncoding encoding, std::string& out);

// Number of code points of valid UTF-8 (continuation bytes are not counted).
size_t Utf8Length(std::string_view utf8);

// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, char32_t codePoint);

// Decodes one code point at `pos` and advances it; invalid bytes give U+FFFD and advance by one.
char32_t NextCodePoint(std::string_view utf8, size_t& pos);

}  // namespace tessel
