// The editor's text-replacement steps on the buffer.

#include "editor/CodeEditEditing.h"

#include <algorithm>

#include "editor/CodeEditStringList.h"
#include "editor/CodeEditTextUtil.h"

namespace tessel {

std::string TrimTrailingSpaces(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return std::string(s.substr(0, n));
}

void TrimmedPutLine(TCodeEditStringList& lines, int index, std::string_view s, bool trim) {
    lines.Put(index, trim ? TrimTrailingSpaces(s) : std::string(s));
}

std::vector<std::string_view> SplitTextLines(std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') continue;
        pieces.push_back(text.substr(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

namespace {

std::string Spaces(int n) {
    return std::string(static_cast<size_t>(std::max(n, 0)), ' ');
}

// The first `count` characters of a line, padded with spaces to that many.
std::string LeftPadded(std::string_view line, int count) {
    std::string left = CopyColumns(line, 1, count);
    const int have = LineCharCount(left);
    if (have < count) left.append(static_cast<size_t>(count - have), ' ');
    return left;
}

}  // namespace

TDeleteResult DeleteSelectionText(TCodeEditStringList& lines, TBufferCoord s, TBufferCoord e, TBufferCoord active,
                                  TSelectionMode mode, bool trim, bool trimJoined) {
    TDeleteResult result;
    result.Caret = s;
    const int count = lines.Count();
    if (count == 0) return result;
    s.Line = std::clamp(s.Line, 1, count);
    e.Line = std::clamp(e.Line, s.Line, count);
    s.Column = std::max(s.Column, 1);
    e.Column = std::max(e.Column, 1);
    switch (mode) {
        case smNormal: {
            std::string t = CopyColumns(lines.Get(s.Line - 1), 1, s.Column - 1);
            const std::string tail = CopyColumns(lines.Get(e.Line - 1), e.Column);
            // Text joined from a later line keeps the column it was joined at.
            if (e.Line > s.Line && !tail.empty()) t = LeftPadded(t, s.Column - 1);
            t += tail;
            if (e.Line > s.Line) lines.BulkDeleteLines(s.Line, e.Line - s.Line);
            if (trimJoined) t = TrimTrailingSpaces(t);
            lines.Put(s.Line - 1, t);
            result.Caret = s;
            result.MarkFirst = s.Line;
            result.MarkCount = e.Line - s.Line;
            break;
        }
        case smLine:
            if (e.Line == lines.Count()) {
                lines.Put(e.Line - 1, std::string());
                for (int l = e.Line - 1; l >= s.Line; --l) lines.Delete(l - 1);
            } else {
                for (int l = e.Line; l >= s.Line; --l) lines.Delete(l - 1);
            }
            result.Caret = {1, s.Line};
            result.MarkFirst = s.Line;
            result.MarkCount = e.Line - s.Line + 1;
            break;
        case smColumn: {
            const int c1 = std::min(s.Column, e.Column);
            const int c2 = std::max(s.Column, e.Column);
            for (int l = s.Line; l <= e.Line; ++l) {
                const std::string line = lines.Get(l - 1);
                const int n = LineCharCount(line);
                if (n < c1) continue;
                const size_t from = ColumnToByte(line, c1);
                const size_t to = ColumnToByte(line, c2);
                std::string out = line.substr(0, from) + line.substr(to);
                TrimmedPutLine(lines, l - 1, out, trim);
            }
            result.Caret = {c1, std::clamp(active.Line, s.Line, e.Line)};
            break;
        }
    }
    return result;
}

TInsertResult InsertTextAt(TCodeEditStringList& lines, TBufferCoord caret, TSelectionMode mode, std::string_view text,
                           bool trim, const std::function<void(TBufferCoord, TBufferCoord)>& recordPiece) {
    TInsertResult result;
    result.Caret = caret;
    const std::vector<std::string_view> pieces = SplitTextLines(text);
    if (pieces.size() == 1 && pieces[0].empty()) return result;
    caret.Line = std::max(caret.Line, 1);
    caret.Column = std::max(caret.Column, 1);
    const int breaks = static_cast<int>(pieces.size()) - 1;

    switch (mode) {
        case smNormal: {
            while (lines.Count() < caret.Line) lines.Add(std::string());
            const int index = caret.Line - 1;
            const std::string line = lines.Get(index);
            const std::string left = LeftPadded(line, caret.Column - 1);
            const std::string right = CopyColumns(line, caret.Column);
            std::string last;
            if (breaks == 0) {
                last = left;
                last.append(pieces[0]);
                last += right;
                TrimmedPutLine(lines, index, last, trim);
            } else {
                std::string first = left;
                first.append(pieces[0]);
                TrimmedPutLine(lines, index, first, trim);
                lines.BulkInsertEmptyLines(index + 1, breaks);
                for (int i = 1; i < breaks; ++i) TrimmedPutLine(lines, index + i, pieces[static_cast<size_t>(i)], trim);
                last = std::string(pieces.back());
                last += right;
                TrimmedPutLine(lines, index + breaks, last, trim);
            }
            const std::string written = lines.Get(index + breaks);
            const int rightLength = LineCharCount(trim ? TrimTrailingSpaces(right) : right);
            result.Caret = {std::max(1, LineCharCount(written) - rightLength + 1), caret.Line + breaks};
            result.LinesAdded = breaks;
            break;
        }
        case smLine: {
            int l = caret.Line;
            for (int i = 0; i < breaks; ++i) {
                lines.Insert(std::min(l - 1, lines.Count()), std::string(pieces[static_cast<size_t>(i)]));
                ++l;
            }
            const std::string_view last = pieces.back();
            if (l > lines.Count()) {
                if (!last.empty()) lines.Add(trim ? TrimTrailingSpaces(last) : std::string(last));
            } else if (!last.empty()) {
                std::string s(last);
                s += lines.Get(l - 1);
                TrimmedPutLine(lines, l - 1, s, trim);
            }
            result.Caret = {LineCharCount(last) + 1, l};
            result.LinesAdded = breaks;
            break;
        }
        case smColumn: {
            const int c = caret.Column;
            int lastLength = 0;
            for (int i = 0; i <= breaks; ++i) {
                const std::string_view piece = pieces[static_cast<size_t>(i)];
                if (piece.empty()) continue;
                const int l = caret.Line + i;
                std::string out;
                if (l > lines.Count()) {
                    out = Spaces(c - 1);
                    out.append(piece);
                    while (lines.Count() < l - 1) lines.Add(std::string());
                    lines.Add(trim ? TrimTrailingSpaces(out) : out);
                } else {
                    const std::string line = lines.Get(l - 1);
                    if (LineCharCount(line) < c - 1) {
                        out = LeftPadded(line, c - 1);
                        out.append(piece);
                    } else {
                        const size_t at = ColumnToByte(line, c);
                        out = line.substr(0, at);
                        out.append(piece);
                        out.append(line, at, std::string::npos);
                    }
                    TrimmedPutLine(lines, l - 1, out, trim);
                }
                lastLength = LineCharCount(piece);
                if (recordPiece) recordPiece({c, l}, {c + lastLength, l});
            }
            result.Caret = {c + lastLength, caret.Line + breaks};
            break;
        }
    }
    return result;
}

int LeadingWhiteCount(std::string_view s) {
    int n = 0;
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 1 || u > 32) break;
        ++n;
    }
    return n;
}

int LeadingWhiteWidth(std::string_view s, int tabWidth) {
    int n = 0;
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 1 || u > 32) break;
        n += c == '\t' ? tabWidth : 1;
    }
    return n;
}

std::string IndentText(int n, int tabWidth, bool tabsToSpaces) {
    if (n <= 0) return std::string();
    if (tabsToSpaces || n < tabWidth) return Spaces(n);
    return std::string(static_cast<size_t>(n / tabWidth), '\t') + Spaces(n % tabWidth);
}

}  // namespace tessel
