#pragma once

// Helpers of the highlighter tests.

#include <ostream>
#include <string>
#include <vector>

#include "base/TextEncoding.h"
#include "highlight/SQLHighlighter.h"

namespace tessel::test {

struct Token {
    std::string text;
    int kind;
    int start;  // characters
    bool operator==(const Token&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Token& t) {
    return os << "{\"" << t.text << "\", kind " << t.kind << ", at " << t.start << "}";
}

// Scans one line from the highlighter's current state and returns its tokens without the end
// marker, checking on the way what every highlighter guarantees: tokens follow each other
// without gaps, the end marker is empty, sits at the end of the line and has no style.
inline std::vector<Token> ScanLine(TSQLHighlighter& hl, const std::string& line, int index = 0,
                                   std::string* problem = nullptr) {
    std::vector<Token> tokens;
    hl.StartLine(line, index);
    int expectedStart = 0;
    std::string covered;
    for (int guard = 0; !hl.AtLineEnd(); ++guard) {
        if (hl.TokenStart() != expectedStart && problem)
            *problem += "gap before token " + std::to_string(tokens.size()) + "; ";
        tokens.push_back({hl.TokenText(), hl.TokenKindCode(), hl.TokenStart()});
        covered += hl.TokenText();
        expectedStart = hl.TokenStart() + hl.TokenLength();
        if (hl.TokenLength() != static_cast<int>(Utf8Length(hl.TokenText())) && problem)
            *problem += "length of token " + std::to_string(tokens.size() - 1) + "; ";
        if (guard > 10000) {
            if (problem) *problem += "no end marker; ";
            break;
        }
        hl.Advance();
    }
    if (problem) {
        if (hl.TokenStart() != expectedStart) *problem += "end marker misplaced; ";
        if (!hl.TokenText().empty()) *problem += "end marker not empty; ";
        if (hl.TokenStyle() != nullptr) *problem += "end marker has a style; ";
        if (hl.TokenKindCode() != skLineEnd) *problem += "end marker kind; ";
        const std::string visible = line.substr(0, line.find('\0'));
        if (covered != visible) *problem += "tokens do not cover the line; ";
    }
    return tokens;
}

}  // namespace tessel::test
