#pragma once

// Reads an RTF document as plain text lines: one line per paragraph, tab characters kept,
// formatting, fonts, colours and the document's tables of them dropped. The paragraph mark
// that ends the document closes its last paragraph, and a final empty paragraph is no line,
// so a document of one empty paragraph has no lines.

#include <string>
#include <string_view>
#include <vector>

namespace tessel {

// Text comes back in the document's 8-bit code page (\'hh escapes as their bytes); \uN
// characters are written as UTF-8.
std::vector<std::string> RtfPlainLines(std::string_view rtf);

// A document as a window definition stores it: a 4-byte little-endian length, then that many
// bytes of RTF (a NUL at their end is not part of the text). Empty when the length is 0.
std::string_view StoredRtf(std::string_view data);

}  // namespace tessel
