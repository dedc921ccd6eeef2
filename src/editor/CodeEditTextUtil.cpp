// Column arithmetic and word scanning on one UTF-8 line.

#include "editor/CodeEditTextUtil.h"

#include <algorithm>

#include "base/StringList.h"
#include "base/TextEncoding.h"

namespace tessel {

namespace {

bool StartsCharacter(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

std::u32string Decode(std::string_view line) {
    std::u32string out;
    out.reserve(line.size());
    size_t pos = 0;
    while (pos < line.size()) {
        const char32_t c = NextCodePoint(line, pos);
        out.push_back(c);
    }
    return out;
}

// Characters of the line, 0 past its end (so scans stop at a non-word character there).
struct DecodedLine {
    std::u32string chars;
    int Length() const { return static_cast<int>(chars.size()); }
    char32_t At(int column) const {
        return column >= 1 && column <= Length() ? chars[static_cast<size_t>(column - 1)] : 0;
    }
};

}  // namespace

void DecodeUtf8(std::string_view text, std::u32string& out) {
    out.clear();
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) out.push_back(NextCodePoint(text, pos));
}

int LineCharCount(std::string_view line) {
    return static_cast<int>(Utf8Length(line));
}

size_t ColumnToByte(std::string_view line, int column) {
    if (column <= 1) return 0;
    int col = 1;
    for (size_t i = 0; i < line.size(); ++i) {
        if (StartsCharacter(line[i])) {
            if (col == column) return i;
            ++col;
        }
    }
    return line.size();
}

char32_t CharAtColumn(std::string_view line, int column) {
    if (column < 1) return 0;
    size_t pos = ColumnToByte(line, column);
    if (pos >= line.size()) return 0;
    return NextCodePoint(line, pos);
}

std::string CopyColumns(std::string_view line, int from, int count) {
    if (from < 1) from = 1;
    const size_t begin = ColumnToByte(line, from);
    if (count < 0) return std::string(line.substr(begin));
    const size_t end = begin + ColumnToByte(line.substr(begin), count + 1);
    return std::string(line.substr(begin, end - begin));
}

int LogicalToDisplayColumn(std::string_view line, int column, int tabWidth) {
    if (tabWidth < 1) tabWidth = 1;
    int c = 0;
    int col = 1;
    size_t i = 0;
    for (; col < column && i < line.size(); ++i) {
        if (!StartsCharacter(line[i])) continue;
        if (line[i] == '\t')
            c += tabWidth - c % tabWidth;
        else
            ++c;
        ++col;
    }
    // Columns beyond the end of the line are one cell each.
    if (col < column) c += column - col;
    return c + 1;
}

int DisplayToLogicalColumn(std::string_view line, int display, int tabWidth) {
    if (tabWidth < 1) tabWidth = 1;
    int s = 0;
    int i = 0;
    size_t pos = 0;
    while (s < display) {
        // Skip to the start of the next character.
        while (pos < line.size() && !StartsCharacter(line[pos])) ++pos;
        if (pos < line.size() && line[pos] == '\t')
            s += tabWidth - s % tabWidth;
        else
            ++s;
        if (pos < line.size()) ++pos;
        ++i;
    }
    return std::max(i, 1);
}

std::string SelectedTextOf(const TStrings& lines, TBufferCoord s, TBufferCoord e, TSelectionMode mode,
                           bool trimTrailingSpaces) {
    std::string out;
    const int count = lines.Count();
    if (count == 0) return out;
    s.Line = std::clamp(s.Line, 1, count);
    e.Line = std::clamp(e.Line, 1, count);
    switch (mode) {
        case smNormal:
            if (s.Line == e.Line) {
                if (e.Column > s.Column) out = CopyColumns(lines.Get(s.Line - 1), s.Column, e.Column - s.Column);
            } else {
                out = CopyColumns(lines.Get(s.Line - 1), s.Column);
                for (int l = s.Line + 1; l < e.Line; ++l) {
                    out += "\r\n";
                    out += lines.Get(l - 1);
                }
                out += "\r\n";
                out += CopyColumns(lines.Get(e.Line - 1), 1, std::max(0, e.Column - 1));
            }
            break;
        case smLine:
            for (int l = s.Line; l <= e.Line; ++l) {
                out += lines.Get(l - 1);
                if (l < count) out += "\r\n";
            }
            break;
        case smColumn: {
            const int c1 = std::min(s.Column, e.Column);
            const int c2 = std::max(s.Column, e.Column);
            for (int l = s.Line; l <= e.Line; ++l) {
                std::string piece = CopyColumns(lines.Get(l - 1), c1, c2 - c1);
                if (!trimTrailingSpaces) {
                    const int have = LineCharCount(piece);
                    if (have < c2 - c1) piece.append(static_cast<size_t>(c2 - c1 - have), ' ');
                }
                out += piece;
                if (l < e.Line) out += "\r\n";
            }
            break;
        }
    }
    return out;
}

TCharSet DefaultWordChars() {
    TCharSet set;
    for (int c = 33; c <= 255; ++c) set.set(static_cast<size_t>(c));
    for (char c : std::string_view("!\"'()*+,-./:;=?[\\]^{|}")) set.reset(static_cast<unsigned char>(c));
    return set;
}

TBufferCoord NextWordStart(const TStrings& lines, TBufferCoord caret, const TCharSet& w) {
    const int count = lines.Count();
    if (caret.Line < 1 || caret.Line > count) return caret;
    const DecodedLine t{Decode(lines.Get(caret.Line - 1))};
    const int n = t.Length();
    int x = caret.Column;
    if (x >= n) {
        if (caret.Line >= count) return caret;
        const DecodedLine next{Decode(lines.Get(caret.Line))};
        for (int c = 1; c <= next.Length(); ++c)
            if (IsWordChar(w, next.At(c))) return {c, caret.Line + 1};
        return {1, caret.Line + 1};
    }
    if (IsWordChar(w, t.At(x)))
        while (x <= n && IsWordChar(w, t.At(x))) ++x;
    while (x <= n && !IsWordChar(w, t.At(x))) ++x;
    return {std::min(x, n + 1), caret.Line};
}

TBufferCoord PrevWordStart(const TStrings& lines, TBufferCoord caret, const TCharSet& w) {
    const int count = lines.Count();
    if (caret.Line < 1 || caret.Line > count) return caret;
    const DecodedLine t{Decode(lines.Get(caret.Line - 1))};
    const int n = t.Length();
    int x = std::min(caret.Column, n + 1);
    auto previousLineEnd = [&]() -> TBufferCoord {
        if (caret.Line == 1) return {1, 1};
        return {LineCharCount(lines.Get(caret.Line - 2)) + 1, caret.Line - 1};
    };
    if (x <= 1) return previousLineEnd();
    if (!IsWordChar(w, t.At(x - 1))) {
        --x;
        while (x > 0 && !IsWordChar(w, t.At(x))) --x;
    }
    if (x > 0) {
        int y = x - 1;
        while (y > 0 && IsWordChar(w, t.At(y))) --y;
        x = y + 1;
    }
    if (x == 0) return previousLineEnd();
    return {x, caret.Line};
}

TBufferCoord WordStartAt(const TStrings& lines, TBufferCoord caret, const TCharSet& w) {
    if (caret.Line < 1 || caret.Line > lines.Count()) return caret;
    const DecodedLine t{Decode(lines.Get(caret.Line - 1))};
    int x = std::min(caret.Column, t.Length() + 1);
    if (x > 1 && IsWordChar(w, t.At(x - 1))) {
        int y = x - 1;
        while (y > 0 && IsWordChar(w, t.At(y))) --y;
        x = y + 1;
    }
    return {x, caret.Line};
}

TBufferCoord WordEndAt(const TStrings& lines, TBufferCoord caret, const TCharSet& w) {
    if (caret.Line < 1 || caret.Line > lines.Count()) return caret;
    const DecodedLine t{Decode(lines.Get(caret.Line - 1))};
    int x = std::max(caret.Column, 1);
    while (x <= t.Length() && IsWordChar(w, t.At(x))) ++x;
    return {std::min(x, t.Length() + 1), caret.Line};
}

}  // namespace tessel
