// Tests of the lexer.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/sql/Lexer.h"

using namespace tessel::engine::sql;

namespace {

std::string KindName(TokenKind k) {
    switch (k) {
        case TokenKind::End:
            return "end";
        case TokenKind::Identifier:
            return "id";
        case TokenKind::Keyword:
            return "kw";
        case TokenKind::String:
            return "str";
        case TokenKind::Number:
            return "num";
        case TokenKind::Param:
            return "param";
        case TokenKind::Question:
            return "?";
        case TokenKind::LParen:
            return "(";
        case TokenKind::RParen:
            return ")";
        case TokenKind::Comma:
            return ",";
        case TokenKind::Dot:
            return ".";
        case TokenKind::Semicolon:
            return ";";
        case TokenKind::Star:
            return "*";
        case TokenKind::Plus:
            return "+";
        case TokenKind::Minus:
            return "-";
        case TokenKind::Slash:
            return "/";
        case TokenKind::Concat:
            return "||";
        case TokenKind::Eq:
            return "=";
        case TokenKind::Ne:
            return "<>";
        case TokenKind::Lt:
            return "<";
        case TokenKind::Le:
            return "<=";
        case TokenKind::Gt:
            return ">";
        case TokenKind::Ge:
            return ">=";
    }
    return "?";
}

// Each token as kind:value, or just the kind for punctuation.
std::string Tokens(const std::string& text, const LexOptions& options = {}) {
    std::string out;
    for (const Token& t : Tokenize(text, options)) {
        if (!out.empty()) out += " ";
        out += KindName(t.kind);
        if (!t.value.empty()) out += ":" + t.value;
    }
    return out;
}

TEST(LexerTest, TokenKinds) {
    struct Case {
        const char* text;
        const char* tokens;
    };
    const Case cases[] = {
        {"select Last_Name from", "kw:SELECT id:Last_Name kw:FROM end"},
        {"Größe _x x1", "id:Größe id:_x id:x1 end"},
        {"'O''Brien' \"say \"\"hi\"\"\" '' \"it's\"", "str:O'Brien str:say \"hi\" str str:it's end"},
        {"'a /* b */ c'", "str:a /* b */ c end"},
        {"12 12.50 .5 1.5E3 1e-3 1E+2 12. 3e", "num num num num num num num num id:e end"},
        {":name :x1 ? :WORK:cust", "param:name param:x1 ? param:WORK param:cust end"},
        {"( ) , . ; * + - / || = <> != < <= > >=", "( ) , . ; * + - / || = <> <> < <= > >= end"},
        {"a--b", "id:a end"},
        {"a/**/b /* x\n y */ c", "id:a id:b id:c end"},
        {"t.\"x\".*", "id:t . str:x . * end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Tokens(c.text), c.tokens);
    }
}

TEST(LexerTest, LineCommentsRunToTheEndOfTheLineOutsideQuotes) {
    EXPECT_EQ(Tokens("a -- b\nc--d\r\ne"), "id:a id:c id:e end");
    EXPECT_EQ(Tokens("'--' -- x"), "str:-- end");
    EXPECT_EQ(Tokens("5 --3"), "num end");
    LexOptions off;
    off.lineComments = false;
    EXPECT_EQ(Tokens("5 --3", off), "num - - num end");
}

TEST(LexerTest, ReservedWords) {
    for (const char* word :
         {"SELECT", "select", "Date", "TIME", "autoinc", "PRIMARY", "year", "Substring", "CHARACTER", "TIMESTAMP"}) {
        EXPECT_TRUE(IsReservedWord(word)) << word;
    }
    for (const char* word :
         {"", "Name", "CROSS", "COLUMN", "employee", "SELECTS", "SELEC", "LAST_NAME", "TIMESTAMPS", "NATURAL"}) {
        EXPECT_FALSE(IsReservedWord(word)) << word;
    }
}

TEST(LexerTest, PositionsAndSpacing) {
    LexOptions options;
    options.firstLine = 10;
    options.firstColumn = 5;
    options.firstOffset = 100;
    const auto tokens = Tokenize("a,'é'\r\n\tb/*c*/d\re", options);
    ASSERT_EQ(tokens.size(), 7u);
    const struct {
        int line, column;
        size_t offset;
        bool space;
        const char* text;
    } expected[] = {
        {10, 5, 100, false, "a"}, {10, 6, 101, false, ","}, {10, 7, 102, false, "'é'"}, {11, 2, 109, true, "b"},
        {11, 8, 115, true, "d"},  {12, 1, 117, true, "e"},  {12, 2, 118, false, ""},
    };
    for (size_t i = 0; i < tokens.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tokens[i].pos.line, expected[i].line);
        EXPECT_EQ(tokens[i].pos.column, expected[i].column);
        EXPECT_EQ(tokens[i].pos.offset, expected[i].offset);
        EXPECT_EQ(tokens[i].spaceBefore, expected[i].space);
        EXPECT_EQ(tokens[i].text, expected[i].text);
    }
}

}  // namespace
