#pragma once

// The editor's text-replacement steps on the buffer alone (no view).

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/CodeEditTypes.h"

namespace tessel {

class TCodeEditStringList;

// The text-replacement steps of the editor's commands, on the buffer alone: deleting a
// selection and inserting text in each of the three selection modes. Positions are logical
// (column = character, both from 1). The caller handles caret, undo records and marks.

// The line without its trailing spaces (code 32 only).
std::string TrimTrailingSpaces(std::string_view s);
// Writes line index (0-based), trimmed when trim is set.
void TrimmedPutLine(TCodeEditStringList& lines, int index, std::string_view s, bool trim);
// The pieces of a text between its line breaks (CR LF, CR or LF); a NUL ends the text.
std::vector<std::string_view> SplitTextLines(std::string_view text);

struct TDeleteResult {
    TBufferCoord Caret;
    // Lines that left the buffer, for the marks: ShiftForDeletedLines(MarkFirst, MarkCount).
    int MarkFirst = 0;
    int MarkCount = 0;
};

// Deletes the selection from start to end (start <= end) in a mode. active is the selection's
// active end (column mode puts the caret on its line). trimJoined: the joined line of a normal
// selection loses its trailing spaces.
TDeleteResult DeleteSelectionText(TCodeEditStringList& lines, TBufferCoord start, TBufferCoord end, TBufferCoord active,
                                  TSelectionMode mode, bool trim, bool trimJoined);

struct TInsertResult {
    TBufferCoord Caret;
    // Lines added to the buffer below the caret line (normal and line mode).
    int LinesAdded = 0;
};

// Inserts text at the caret in a mode. A missing caret line is appended first. For column
// insertions `recordPiece` (when set) is told the start and end of every non-empty piece.
TInsertResult InsertTextAt(TCodeEditStringList& lines, TBufferCoord caret, TSelectionMode mode, std::string_view text,
                           bool trim, const std::function<void(TBufferCoord from, TBufferCoord to)>& recordPiece = {});

// The leading characters of codes 1..32.
int LeadingWhiteCount(std::string_view s);
// The same with a tab counting tabWidth.
int LeadingWhiteWidth(std::string_view s, int tabWidth);
// n blanks of indentation: spaces, or tabs then spaces when tabs are wanted and n >= tabWidth.
std::string IndentText(int n, int tabWidth, bool tabsToSpaces);

}  // namespace tessel
