#pragma once

// The tokens of the local SQL dialect. Words are case-insensitive; reserved words come out as
// keywords (upper-cased in Token::value), everything else as identifiers. `/* */` comments and
// white space separate tokens and are dropped.

#include <string>
#include <string_view>
#include <vector>

#include "engine/sql/Ast.h"

namespace tessel::engine::sql {

enum class TokenKind {
    End,         // after the last token
    Identifier,  // a bare word that is not reserved
    Keyword,     // a reserved word; value holds it upper-cased
    String,      // '...' or "..."; value holds the text, quote the quote character
    Number,      // 12, 12.50, .5, 1.5E3
    Param,       // :name; value holds the name
    Question,    // ?
    LParen,
    RParen,
    Comma,
    Dot,
    Semicolon,
    Star,
    Plus,
    Minus,
    Slash,
    Concat,
    Eq,
    Ne,
    Lt,
    Le,
    Gt,
    Ge,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string_view text;  // exactly as written, quotes included
    std::string value;      // see TokenKind
    char quote = 0;         // for String
    SourcePos pos;
    // True when white space or a comment stands between this token and the previous one.
    bool spaceBefore = false;

    bool IsKeyword(std::string_view upper) const { return kind == TokenKind::Keyword && value == upper; }
};

struct LexOptions {
    // Where the text starts inside a larger one (a statement cut from a script), so that
    // positions in errors and in the tree point into the whole text.
    int firstLine = 1;
    int firstColumn = 1;
    size_t firstOffset = 0;
    // `--` up to the end of the line as a comment, as the editor shows it and as SQL pasted from
    // elsewhere is written. Off, `5 --3` is 5 - (-3), as the dialect itself reads it.
    bool lineComments = true;
};

// Moves a line and column over the byte text[i], as every position in SQL text counts them:
// CR LF, LF and a lone CR each end a line; columns count characters (UTF-8 continuation bytes
// add nothing).
inline void StepOver(std::string_view text, size_t i, int& line, int& column) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n' || (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
        ++line;
        column = 1;
    } else if ((c & 0xC0) != 0x80 && c != '\r') {
        ++column;
    }
}

// True for the dialect's reserved words (any case).
bool IsReservedWord(std::string_view word);

// Splits the text into tokens; the last one is End. Fails with SyntaxError on an unterminated
// string or comment and on a character that starts no token. The tokens' text views point
// into `text`.
std::vector<Token> Tokenize(std::string_view text, const LexOptions& options = {});

}  // namespace tessel::engine::sql
