// Statements the parser refuses: the message in the dialect's three-line form, and limits that
// keep hostile or runaway text from taking the process down.

#include <gtest/gtest.h>

#include <string>

#include "engine/sql/Parser.h"
#include "engine/sql/SyntaxError.h"

using namespace tessel::engine;
using namespace tessel::engine::sql;

namespace {

struct ErrorCase {
    const char* sql;
    const char* headline;
    const char* token;
    int line;
};

TEST(ParserErrorTest, SyntaxErrorsNameTheTokenAndLine) {
    const ErrorCase cases[] = {
        {"SELECT Date FROM log", "Invalid use of keyword", "Date", 1},
        {"SELECT a FROM t\nWHERE Time = 1", "Invalid use of keyword", "Time", 2},
        {"SELECT *\nFROM \"employee.db\"\nWHERE", "Unexpected end of statement", "WHERE", 3},
        {"SELECT * FROM", "Unexpected end of statement", "FROM", 1},
        {"DROP INDEX \"employe.db\"", "Unexpected end of statement", "\"employe.db\"", 1},
        {"SELECT a b c FROM t", "Invalid syntax", "c", 1},
        {"SELECT a FROM t WHERE a = = 1", "Invalid syntax", "=", 1},
        {"SELECT a FROM t WHERE a = 1 = 2", "Invalid syntax", "=", 1},
        {"SELECT a FROM t\r\nWHERE b = 1\r\n  AND c = )", "Invalid syntax", ")", 3},
        {"SELECT a FROM t\rWHERE b = 1\rAND", "Unexpected end of statement", "AND", 3},
        {"SELECT 1", "Unexpected end of statement", "1", 1},
        {"SELECT a FROM t WHERE a IN ()", "Invalid syntax", ")", 1},
        {"SELECT a FROM t WHERE a IN 1", "Invalid syntax", "1", 1},
        {"SELECT a FROM t WHERE a > ALL (1, 2)", "Invalid syntax", "1", 1},
        {"SELECT COUNT(DISTINCT *) FROM t", "Invalid syntax", "*", 1},
        {"SELECT SUM(*) FROM t", "Invalid syntax", "*", 1},
        {"SELECT EXTRACT(TIMEZONE_HOUR FROM a) FROM t", "Invalid syntax", "TIMEZONE_HOUR", 1},
        {"SELECT SUBSTRING(a, 1, 2) FROM t", "Invalid syntax", ",", 1},
        {"SELECT a.* + 1 FROM t", "Invalid syntax", "+", 1},
        {"SELECT a FROM t WHERE b.* = 1", "Invalid syntax", "*", 1},
        {"SELECT a FROM t WHERE L.Date = 1", "Invalid use of keyword", "Date", 1},
        {"SELECT * FROM (SELECT a FROM t)", "Capability not supported", "SELECT", 1},
        {"SELECT * FROM t NATURAL JOIN u", "Unexpected end of statement", "u", 1},
        {"SELECT * FROM t JOIN u", "Unexpected end of statement", "u", 1},
        {"SELECT * FROM t CROSS JOIN u ON a = b", "Invalid use of keyword", "ON", 1},
        {"SELECT * FROM t INTERSECT SELECT * FROM u", "Invalid use of keyword", "SELECT", 1},
        {"SELECT * FROM \"Password\" WHERE a LIKE", "Unexpected end of statement", "LIKE", 1},
        {"INSERT INTO t VALUES ()", "Invalid syntax", ")", 1},
        {"INSERT t VALUES (1)", "Invalid syntax", "t", 1},
        {"UPDATE t SET a = 1,", "Unexpected end of statement", ",", 1},
        {"UPDATE t SET a == 1", "Invalid syntax", "=", 1},
        {"DELETE t", "Invalid syntax", "t", 1},
        {"CREATE TABLE t (A CHAR)", "Invalid syntax", ")", 1},
        {"CREATE TABLE t (A VARCHAR, B INTEGER)", "Invalid syntax", ",", 1},
        {"CREATE TABLE t (A INT)", "Invalid field type", "INT", 1},
        {"CREATE TABLE t (A BLOB(10, ))", "Invalid syntax", ")", 1},
        {"CREATE TABLE t (A CHAR(1.5))", "Invalid field size", "1.5", 1},
        {"CREATE TABLE t (A CHAR(99999999))", "Invalid field size", "99999999", 1},
        {"CREATE TABLE t (A CHAR(2, 1))", "Invalid syntax", ",", 1},
        {"CREATE TABLE t (A INTEGER(4))", "Invalid syntax", "(", 1},
        {"CREATE TABLE t (A INTEGER NOT NULL)", "Invalid use of keyword", "NOT", 1},
        {"CREATE TABLE t (A INTEGER, PRIMARY KEY (A), PRIMARY KEY (A))", "Invalid use of keyword", "PRIMARY", 1},
        {"CREATE TABLE t (Date DATE)", "Invalid use of keyword", "Date", 1},
        {"CREATE TABLE t ()", "Invalid syntax", ")", 1},
        {"CREATE VIEW v AS SELECT a FROM t", "Invalid syntax", "VIEW", 1},
        {"ALTER TABLE t ADD PRIMARY KEY (a)", "Invalid use of keyword", "PRIMARY", 1},
        {"ALTER TABLE t RENAME a TO b", "Invalid syntax", "RENAME", 1},
        {"ALTER TABLE t ADD x", "Unexpected end of statement", "x", 1},
        {"ALTER TABLE t ADD x CHAR(4), y DATE", "Invalid syntax", "y", 1},
        {"DROP INDEX t", "Unexpected end of statement", "t", 1},
        {"DROP VIEW v", "Invalid syntax", "VIEW", 1},
        {"CREATE INDEX i ON t", "Unexpected end of statement", "t", 1},
        {"GRANT ALL ON t TO u", "Invalid syntax", "GRANT", 1},
        {"-- a comment\nSELECT a FROM t --\nWHERE", "Unexpected end of statement", "WHERE", 3},
        {"SELECT a FROM t; SELECT b FROM u", "Only one statement may be run at a time", "SELECT", 1},
        {"DELETE FROM t;\n\nDELETE FROM u", "Only one statement may be run at a time", "DELETE", 3},
        {"SELECT a FROM t;;", "Only one statement may be run at a time", ";", 1},
        // Lexical errors name the start of what could not be read.
        {"SELECT 'abc FROM t", "Unterminated string", "'abc FROM t", 1},
        {"SELECT a FROM t WHERE b = \"x\n", "Unterminated string", "\"x", 1},
        {"SELECT a /* b\n\n", "Unterminated comment", "/* b", 1},
        {"SELECT a\nFROM t WHERE b # 1", "Invalid character", "#", 2},
        {"SELECT a FROM t WHERE b | c", "Invalid character", "|", 1},
        {"SELECT a FROM t WHERE b ! c", "Invalid character", "!", 1},
        {"SELECT a FROM t WHERE b = @x", "Invalid character", "@", 1},
        {"SELECT a FROM t WHERE b = : c", "Invalid character", ":", 1},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.sql);
        try {
            ParseSingleStatement(c.sql);
            ADD_FAILURE() << "parsed";
        } catch (const SyntaxError& e) {
            EXPECT_EQ(e.Headline(), c.headline);
            EXPECT_EQ(e.Token(), c.token);
            EXPECT_EQ(e.Pos().line, c.line);
            EXPECT_EQ(e.Code(), errc::kSqlSyntax);
            EXPECT_EQ(std::string(e.what()),
                      std::string(c.headline) + "\nToken: " + c.token + "\nLine Number: " + std::to_string(c.line));
        }
    }
}

TEST(ParserErrorTest, ErrorsCarryOneEntryWithTheWholeMessage) {
    try {
        ParseSingleStatement("SELECT Date FROM log");
        FAIL() << "parsed";
    } catch (const EngineError& e) {
        ASSERT_EQ(e.Entries().size(), 1u);
        EXPECT_EQ(e.Entries()[0].code, errc::kSqlSyntax);
        EXPECT_EQ(e.Entries()[0].message, "Invalid use of keyword\nToken: Date\nLine Number: 1");
    }
}

TEST(ParserErrorTest, EmptyTextHasNoStatement) {
    for (const char* text : {"", "  \r\n\t", "/* nothing */", ";"}) {
        SCOPED_TRACE(text);
        try {
            ParseSingleStatement(text);
            ADD_FAILURE() << "parsed";
        } catch (const EngineError& e) {
            const std::string what = e.what();
            EXPECT_TRUE(what == "No SQL statement available" || what.rfind("Invalid syntax\nToken: ;", 0) == 0) << what;
            EXPECT_EQ(e.Code(), errc::kSqlSyntax);
        }
    }
}

std::string Repeat(const std::string& s, size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

// Runaway nesting fails cleanly, whatever the construct that nests; the same constructs a
// little below the limits parse.
TEST(ParserErrorTest, DeepNestingFailsCleanly) {
    struct Shape {
        const char* name;
        std::string (*make)(size_t n);
    };
    const Shape shapes[] = {
        {"parentheses", [](size_t n) { return "SELECT " + Repeat("(", n) + "1" + Repeat(")", n) + " FROM t"; }},
        {"NOT", [](size_t n) { return "SELECT a FROM t WHERE " + Repeat("NOT ", n) + "a = 1"; }},
        {"unary minus", [](size_t n) { return "SELECT " + Repeat("- ", n) + "a FROM t"; }},
        {"function arguments",
         [](size_t n) { return "SELECT " + Repeat("UPPER(", n) + "a" + Repeat(")", n) + " FROM t"; }},
        {"subqueries",
         [](size_t n) { return Repeat("SELECT a FROM t WHERE a IN (", n) + "SELECT a FROM t" + Repeat(")", n); }},
        {"operator chain", [](size_t n) { return "SELECT 1" + Repeat(" + 1", n) + " FROM t"; }},
        {"AND chain", [](size_t n) { return "SELECT a FROM t WHERE a = 1" + Repeat(" AND a = 1", n); }},
        {"join chain", [](size_t n) { return "SELECT a FROM t" + Repeat(" JOIN t ON 1 = 1", n); }},
        {"joined parentheses", [](size_t n) { return "SELECT a FROM " + Repeat("(", n) + "t" + Repeat(")", n); }},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        EXPECT_NO_THROW(ParseSingleStatement(shape.make(50)));
        try {
            ParseSingleStatement(shape.make(20000));
            ADD_FAILURE() << "parsed";
        } catch (const SyntaxError& e) {
            EXPECT_EQ(e.Headline(), "Statement nested too deeply");
        }
    }
}

TEST(ParserErrorTest, LimitsCanBeSetPerCall) {
    ParseOptions options;
    options.limits.maxStatementLength = 30;
    EXPECT_NO_THROW(ParseSingleStatement("SELECT a FROM t", options));
    try {
        ParseSingleStatement("SELECT a, b, c, d, e, f FROM table_with_a_long_name", options);
        ADD_FAILURE() << "parsed";
    } catch (const EngineError& e) {
        EXPECT_NE(std::string(e.what()).find("too long"), std::string::npos) << e.what();
        EXPECT_EQ(e.Code(), errc::kSqlSyntax);
    }
    // In a script the limit holds per statement.
    EXPECT_EQ(ParseScript("SELECT a FROM t; SELECT b FROM t; SELECT c FROM t", options).size(), 3u);
    EXPECT_THROW(ParseScript("SELECT a FROM t; SELECT a, b, c, d, e, f, g FROM t", options), SyntaxError);

    options = ParseOptions{};
    options.limits.maxNesting = 3;
    EXPECT_NO_THROW(ParseSingleStatement("SELECT (1) FROM t", options));
    EXPECT_THROW(ParseSingleStatement("SELECT ((((1)))) FROM t", options), SyntaxError);
    options = ParseOptions{};
    options.limits.maxHeight = 5;
    EXPECT_NO_THROW(ParseSingleStatement("SELECT 1 + 1 FROM t", options));
    EXPECT_THROW(ParseSingleStatement("SELECT 1 + 1 + 1 + 1 + 1 + 1 FROM t", options), SyntaxError);
}

}  // namespace
