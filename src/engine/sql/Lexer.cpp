// The lexer of the local SQL dialect.

#include "engine/sql/Lexer.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "base/AsciiText.h"
#include "engine/sql/SyntaxError.h"

namespace tessel::engine::sql {

namespace {

// Sorted, upper case: binary search below.
constexpr std::string_view kReserved[] = {
    "ADD",       "ALL",     "ALTER",   "AND",     "ANY",       "AS",       "ASC",    "AUTOINC",   "AVG",      "BETWEEN",
    "BLOB",      "BOOLEAN", "BOTH",    "BY",      "BYTES",     "CAST",     "CHAR",   "CHARACTER", "COUNT",    "CREATE",
    "DATE",      "DAY",     "DECIMAL", "DELETE",  "DESC",      "DISTINCT", "DROP",   "ESCAPE",    "EXISTS",   "EXTRACT",
    "FALSE",     "FLOAT",   "FOR",     "FROM",    "FULL",      "GROUP",    "HAVING", "HOUR",      "IN",       "INDEX",
    "INNER",     "INSERT",  "INTEGER", "INTO",    "IS",        "JOIN",     "KEY",    "LEADING",   "LEFT",     "LIKE",
    "LOWER",     "MAX",     "MIN",     "MINUTE",  "MONEY",     "MONTH",    "NOT",    "NULL",      "NUMERIC",  "ON",
    "OR",        "ORDER",   "OUTER",   "PRIMARY", "RIGHT",     "SECOND",   "SELECT", "SET",       "SMALLINT", "SOME",
    "SUBSTRING", "SUM",     "TABLE",   "TIME",    "TIMESTAMP", "TRAILING", "TRIM",   "TRUE",      "UNION",    "UNIQUE",
    "UPDATE",    "UPPER",   "VALUES",  "VARCHAR", "WHERE",     "YEAR",
};
static_assert(std::is_sorted(std::begin(kReserved), std::end(kReserved)));

bool IsWordStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool IsWordChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c >= 0x80;
}
bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

class Scanner {
public:
    Scanner(std::string_view text, const LexOptions& options) : text_(text), options_(options) {
        line_ = options.firstLine;
        column_ = options.firstColumn;
    }

    std::vector<Token> Run() {
        std::vector<Token> tokens;
        bool space = false;
        for (;;) {
            space = SkipSpaceAndComments() || space;
            Token t;
            t.pos = Here();
            t.spaceBefore = space;
            space = false;
            if (i_ >= text_.size()) {
                t.kind = TokenKind::End;
                tokens.push_back(std::move(t));
                return tokens;
            }
            const size_t start = i_;
            Scan(t);
            t.text = text_.substr(start, i_ - start);
            tokens.push_back(std::move(t));
        }
    }

private:
    SourcePos Here() const { return SourcePos{line_, column_, options_.firstOffset + i_}; }

    unsigned char Peek(size_t ahead = 0) const {
        return i_ + ahead < text_.size() ? static_cast<unsigned char>(text_[i_ + ahead]) : 0;
    }

    // Moves over one byte, keeping line and column.
    void Advance() {
        if (i_ < text_.size())
            StepOver(text_, i_, line_, column_);
        else
            ++column_;  // past the end, as over any other byte
        ++i_;
    }

    // Names the token by its first characters (at most `maxLength` bytes, a whole UTF-8
    // character at least), without running into the next line.
    [[noreturn]] void Fail(const std::string& headline, const SourcePos& pos, size_t start,
                           size_t maxLength = 20) const {
        size_t end = start + 1;
        while (end < text_.size() && (static_cast<unsigned char>(text_[end]) & 0xC0) == 0x80) ++end;
        while (end < text_.size() && end - start < maxLength && text_[end] != '\n' && text_[end] != '\r') {
            ++end;
        }
        throw SyntaxError(headline, std::string(text_.substr(start, end - start)), pos);
    }

    bool SkipSpaceAndComments() {
        bool skipped = false;
        while (i_ < text_.size()) {
            const unsigned char c = Peek();
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
                Advance();
            } else if (c == '/' && Peek(1) == '*') {
                const SourcePos pos = Here();
                const size_t start = i_;
                Advance();
                Advance();
                for (;;) {
                    if (i_ >= text_.size()) Fail("Unterminated comment", pos, start);
                    if (Peek() == '*' && Peek(1) == '/') {
                        Advance();
                        Advance();
                        break;
                    }
                    Advance();
                }
            } else if (options_.lineComments && c == '-' && Peek(1) == '-') {
                while (i_ < text_.size() && Peek() != '\n' && Peek() != '\r') Advance();
            } else {
                break;
            }
            skipped = true;
        }
        return skipped;
    }

    void Scan(Token& t) {
        const unsigned char c = Peek();
        const size_t start = i_;
        if (IsWordStart(c)) {
            while (i_ < text_.size() && IsWordChar(Peek())) Advance();
            const std::string_view word = text_.substr(start, i_ - start);
            if (IsReservedWord(word)) {
                t.kind = TokenKind::Keyword;
                t.value = AsciiUpper(word);
            } else {
                t.kind = TokenKind::Identifier;
                t.value = std::string(word);
            }
            return;
        }
        if (IsDigit(c) || (c == '.' && IsDigit(Peek(1)))) {
            ScanNumber(t);
            return;
        }
        if (c == '\'' || c == '"') {
            ScanString(t, static_cast<char>(c));
            return;
        }
        if (c == ':' && IsWordStart(Peek(1))) {
            Advance();
            const size_t nameStart = i_;
            while (i_ < text_.size() && IsWordChar(Peek())) Advance();
            t.kind = TokenKind::Param;
            t.value = std::string(text_.substr(nameStart, i_ - nameStart));
            return;
        }
        Advance();
        switch (c) {
            case '(':
                t.kind = TokenKind::LParen;
                return;
            case ')':
                t.kind = TokenKind::RParen;
                return;
            case ',':
                t.kind = TokenKind::Comma;
                return;
            case '.':
                t.kind = TokenKind::Dot;
                return;
            case ';':
                t.kind = TokenKind::Semicolon;
                return;
            case '*':
                t.kind = TokenKind::Star;
                return;
            case '+':
                t.kind = TokenKind::Plus;
                return;
            case '-':
                t.kind = TokenKind::Minus;
                return;
            case '/':
                t.kind = TokenKind::Slash;
                return;
            case '?':
                t.kind = TokenKind::Question;
                return;
            case '=':
                t.kind = TokenKind::Eq;
                return;
            case '|':
                if (Peek() == '|') {
                    Advance();
                    t.kind = TokenKind::Concat;
                    return;
                }
                break;
            case '!':
                if (Peek() == '=') {
                    Advance();
                    t.kind = TokenKind::Ne;
                    return;
                }
                break;
            case '<':
                if (Peek() == '>') {
                    Advance();
                    t.kind = TokenKind::Ne;
                } else if (Peek() == '=') {
                    Advance();
                    t.kind = TokenKind::Le;
                } else {
                    t.kind = TokenKind::Lt;
                }
                return;
            case '>':
                if (Peek() == '=') {
                    Advance();
                    t.kind = TokenKind::Ge;
                } else {
                    t.kind = TokenKind::Gt;
                }
                return;
            default:
                break;
        }
        Fail("Invalid character", t.pos, start, 1);
    }

    void ScanNumber(Token& t) {
        t.kind = TokenKind::Number;
        while (IsDigit(Peek())) Advance();
        if (Peek() == '.') {
            Advance();
            while (IsDigit(Peek())) Advance();
        }
        if ((Peek() == 'E' || Peek() == 'e') &&
            (IsDigit(Peek(1)) || ((Peek(1) == '+' || Peek(1) == '-') && IsDigit(Peek(2))))) {
            Advance();
            if (Peek() == '+' || Peek() == '-') Advance();
            while (IsDigit(Peek())) Advance();
        }
    }

    void ScanString(Token& t, char quote) {
        const SourcePos pos = t.pos;
        const size_t start = i_;
        t.kind = TokenKind::String;
        t.quote = quote;
        Advance();
        for (;;) {
            if (i_ >= text_.size()) Fail("Unterminated string", pos, start);
            const char c = text_[i_];
            Advance();
            if (c == quote) {
                if (Peek() == static_cast<unsigned char>(quote)) {
                    t.value.push_back(quote);
                    Advance();
                    continue;
                }
                return;
            }
            t.value.push_back(c);
        }
    }

    std::string_view text_;
    const LexOptions& options_;
    size_t i_ = 0;
    int line_ = 1;
    int column_ = 1;
};

}  // namespace

bool IsReservedWord(std::string_view word) {
    if (word.empty() || word.size() > 9) return false;
    const std::string upper = AsciiUpper(word);
    return std::binary_search(std::begin(kReserved), std::end(kReserved), std::string_view(upper));
}

std::vector<Token> Tokenize(std::string_view text, const LexOptions& options) {
    return Scanner(text, options).Run();
}

}  // namespace tessel::engine::sql
