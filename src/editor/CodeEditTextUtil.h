#pragma once

// Column arithmetic and word scanning on one UTF-8 line.

#include <string>
#include <string_view>

#include "editor/CodeEditTypes.h"
#include "highlight/HighlighterTypes.h"

namespace tessel {

class TStrings;

// Column arithmetic on one UTF-8 line. Columns are 1-based and count characters (code points);
// a tab is one character.

// The characters of a UTF-8 text, one element per code point (invalid bytes become U+FFFD).
void DecodeUtf8(std::string_view text, std::u32string& out);
// Number of characters of the line.
int LineCharCount(std::string_view line);
// Byte offset where the character of `column` starts; the size of the line for a column beyond
// its end, 0 for columns below 1.
size_t ColumnToByte(std::string_view line, int column);
// The character at `column`, 0 beyond the end of the line.
char32_t CharAtColumn(std::string_view line, int column);
// The characters from column `from` (1-based) on, at most `count` of them (all for count < 0).
std::string CopyColumns(std::string_view line, int from, int count = -1);

// The display column (cells after tab expansion) of a logical column; columns beyond the end
// of the line count one cell each.
int LogicalToDisplayColumn(std::string_view line, int column, int tabWidth);
// The logical column of a display column; a cell inside a tab maps to that tab's column.
int DisplayToLogicalColumn(std::string_view line, int display, int tabWidth);

// The text between two ordered positions in a selection mode, with the editor's rules:
// normal selections join lines with CR LF; line selections end every line with CR LF except the
// buffer's last; column selections take the logical columns between the two positions on
// every line, padded with spaces unless trimTrailingSpaces.
std::string SelectedTextOf(const TStrings& lines, TBufferCoord start, TBufferCoord end, TSelectionMode mode,
                           bool trimTrailingSpaces);

// Whether a character belongs to a word for the editor's word movement and selection. Code
// points from 256 on are letters of other scripts for this purpose.
inline bool IsWordChar(const TCharSet& wordChars, char32_t c) {
    return c >= 256 || (c > 0 && wordChars.test(c));
}
// The word characters without a highlighter: codes 33..255 without ! " ' ( ) * + , - . / : ;
// = ? [ \ ] ^ { | }.
TCharSet DefaultWordChars();

// Word positions on a line of a buffer (positions are clamped to the buffer).
TBufferCoord NextWordStart(const TStrings& lines, TBufferCoord caret, const TCharSet& wordChars);
TBufferCoord PrevWordStart(const TStrings& lines, TBufferCoord caret, const TCharSet& wordChars);
TBufferCoord WordStartAt(const TStrings& lines, TBufferCoord caret, const TCharSet& wordChars);
TBufferCoord WordEndAt(const TStrings& lines, TBufferCoord caret, const TCharSet& wordChars);

}  // namespace tessel
