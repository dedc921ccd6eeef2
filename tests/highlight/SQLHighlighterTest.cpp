// Tests of the SQL highlighter.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "HighlightTestSupport.h"
#include "highlight/SQLHighlighter.h"

namespace tessel {
namespace {

using test::ScanLine;
using test::Token;

constexpr int C = skComment, DT = skDataType, DP = skDefaultPackage, EX = skException, FN = skFunction,
              ID = skIdentifier, KW = skKey, NUM = skNumber, SP = skSpace, PL = skPLSQL, PLUS = skSQLPlus,
              STR = skString, SYM = skSymbol, TBL = skTableName, UNK = skUnknown, VAR = skVariable;

struct LineCase {
    TSQLDialect dialect;
    intptr_t startState;
    std::string line;
    std::vector<Token> tokens;
    intptr_t endState;
};

class SQLLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(SQLLineTest, TokensKindsPositionsAndEndState) {
    const LineCase& c = GetParam();
    TSQLHighlighter hl;
    hl.SetSQLDialect(c.dialect);
    hl.SetLineState(c.startState);
    std::string problem;
    EXPECT_EQ(ScanLine(hl, c.line, 0, &problem), c.tokens);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(hl.LineState(), c.endState);
}

const std::string nul("ab\0cd", 5);

INSTANTIATE_TEST_SUITE_P(
    Sybase, SQLLineTest,
    ::testing::Values(
        LineCase{sqlSybase,
                 lsNormal,
                 "select * from t",
                 {{"select", KW, 0},
                  {" ", SP, 6},
                  {"*", SYM, 7},
                  {" ", SP, 8},
                  {"from", KW, 9},
                  {" ", SP, 13},
                  {"t", ID, 14}},
                 lsNormal},
        LineCase{sqlSybase,
                 lsNormal,
                 "Select SELECT selectx",
                 {{"Select", KW, 0}, {" ", SP, 6}, {"SELECT", KW, 7}, {" ", SP, 13}, {"selectx", ID, 14}},
                 lsNormal},
        LineCase{sqlSybase, lsNormal, "", {}, lsNormal},
        LineCase{sqlSybase, lsNormal, "\t  x \x01", {{"\t  ", SP, 0}, {"x", ID, 3}, {" \x01", SP, 4}}, lsNormal},
        LineCase{
            sqlSybase,
            lsNormal,
            "a\r\nb\nc\rd",
            {{"a", ID, 0}, {"\r\n", SP, 1}, {"b", ID, 3}, {"\n", SP, 4}, {"c", ID, 5}, {"\r", SP, 6}, {"d", ID, 7}},
            lsNormal},
        LineCase{sqlSybase, lsNormal, nul, {{"ab", ID, 0}}, lsNormal}));

INSTANTIATE_TEST_SUITE_P(
    Numbers, SQLLineTest,
    ::testing::Values(
        LineCase{sqlSybase, lsNormal, "1.5-2", {{"1.5-2", NUM, 0}}, lsNormal},
        LineCase{sqlSybase, lsNormal, "1..5", {{"1", NUM, 0}, {".", SYM, 1}, {".", SYM, 2}, {"5", NUM, 3}}, lsNormal},
        LineCase{sqlSybase,
                 lsNormal,
                 "123abc 4.",
                 {{"123", NUM, 0}, {"abc", ID, 3}, {" ", SP, 6}, {"4.", NUM, 7}},
                 lsNormal},
        LineCase{sqlSybase, lsNormal, "-5", {{"-", SYM, 0}, {"5", NUM, 1}}, lsNormal}));

INSTANTIATE_TEST_SUITE_P(
    Symbols, SQLLineTest,
    ::testing::Values(
        LineCase{sqlSybase, lsNormal, "a<>b", {{"a", ID, 0}, {"<", SYM, 1}, {">", SYM, 2}, {"b", ID, 3}}, lsNormal},
        LineCase{sqlSybase, lsNormal, "x!=y", {{"x", ID, 0}, {"!=", SYM, 1}, {"y", ID, 3}}, lsNormal},
        LineCase{sqlSybase, lsNormal, "a<<=b", {{"a", ID, 0}, {"<<=", SYM, 1}, {"b", ID, 4}}, lsNormal},
        LineCase{
            sqlSybase,
            lsNormal,
            "a<<b<=c<d",
            {{"a", ID, 0}, {"<<", SYM, 1}, {"b", ID, 3}, {"<=", SYM, 4}, {"c", ID, 6}, {"<", SYM, 7}, {"d", ID, 8}},
            lsNormal},
        LineCase{sqlSybase,
                 lsNormal,
                 "a>=b=>c>>d==e>",
                 {{"a", ID, 0},
                  {">=", SYM, 1},
                  {"b", ID, 3},
                  {"=>", SYM, 4},
                  {"c", ID, 6},
                  {">>", SYM, 7},
                  {"d", ID, 9},
                  {"==", SYM, 10},
                  {"e", ID, 12},
                  {">", SYM, 13}},
                 lsNormal},
        LineCase{sqlSybase,
                 lsNormal,
                 "p%=q^r*=s!t%",
                 {{"p", ID, 0},
                  {"%=", SYM, 1},
                  {"q", ID, 3},
                  {"^", SYM, 4},
                  {"r", ID, 5},
                  {"*=", SYM, 6},
                  {"s", ID, 8},
                  {"!", SYM, 9},
                  {"t", ID, 10},
                  {"%", SYM, 11}},
                 lsNormal},
        LineCase{sqlSybase,
                 lsNormal,
                 "&&&=&|||=|++ +=+",
                 {{"&&", SYM, 0},
                  {"&=", SYM, 2},
                  {"&", SYM, 4},
                  {"||", SYM, 5},
                  {"|=", SYM, 7},
                  {"|", SYM, 9},
                  {"++", SYM, 10},
                  {" ", SP, 12},
                  {"+=", SYM, 13},
                  {"+", SYM, 15}},
                 lsNormal},
        LineCase{sqlSybase,
                 lsNormal,
                 "(a,b);?[x]{y}~.",
                 {{"(", SYM, 0},
                  {"a", ID, 1},
                  {",", SYM, 2},
                  {"b", ID, 3},
                  {")", SYM, 4},
                  {";", SYM, 5},
                  {"?", SYM, 6},
                  {"[", SYM, 7},
                  {"x", ID, 8},
                  {"]", SYM, 9},
                  {"{", SYM, 10},
                  {"y", ID, 11},
                  {"}", SYM, 12},
                  {"~", SYM, 13},
                  {".", SYM, 14}},
                 lsNormal},
        LineCase{
            sqlSybase,
            lsNormal,
            "a-b-=c--d 'e",
            {{"a", ID, 0}, {"-", SYM, 1}, {"b", ID, 2}, {"-", SYM, 3}, {"=", SYM, 4}, {"c", ID, 5}, {"--d 'e", C, 6}},
            lsNormal},
        LineCase{sqlSybase,
                 lsNormal,
                 "#tmp $x \\ ` \x7f",
                 {{"#", UNK, 0},
                  {"tmp", ID, 1},
                  {" ", SP, 4},
                  {"$", UNK, 5},
                  {"x", ID, 6},
                  {" ", SP, 7},
                  {"\\", UNK, 8},
                  {" ", SP, 9},
                  {"`", UNK, 10},
                  {" ", SP, 11},
                  {"\x7f", UNK, 12}},
                 lsNormal},
        LineCase{sqlSybase, lsNormal, "a#b$ _x1", {{"a#b$", ID, 0}, {" ", SP, 4}, {"_x1", ID, 5}}, lsNormal}));

INSTANTIATE_TEST_SUITE_P(
    Comments, SQLLineTest,
    ::testing::Values(
        LineCase{
            sqlSybase,
            lsNormal,
            "a/b/=c/*d*/e",
            {{"a", ID, 0}, {"/", SYM, 1}, {"b", ID, 2}, {"/=", SYM, 3}, {"c", ID, 5}, {"/*d*/", C, 6}, {"e", ID, 11}},
            lsNormal},
        LineCase{sqlSybase, lsNormal, "x /* open", {{"x", ID, 0}, {" ", SP, 1}, {"/* open", C, 2}}, lsComment},
        LineCase{sqlSybase, lsNormal, "/*/ x", {{"/*/ x", C, 0}}, lsComment},
        LineCase{sqlSybase, lsNormal, "/**/", {{"/**/", C, 0}}, lsNormal},
        LineCase{sqlSybase, lsComment, "*/ y", {{"*/", C, 0}, {" ", SP, 2}, {"y", ID, 3}}, lsNormal},
        LineCase{sqlSybase, lsComment, "still 'inside", {{"still 'inside", C, 0}}, lsComment},
        LineCase{sqlSybase, lsComment, "", {}, lsComment},
        LineCase{
            sqlSybase, lsComment, "a\r\nb */c", {{"a", C, 0}, {"\r\n", SP, 1}, {"b */", C, 3}, {"c", ID, 7}}, lsNormal},
        LineCase{
            sqlSybase,
            lsNormal,
            "a /* b\nc */ d",
            {{"a", ID, 0}, {" ", SP, 1}, {"/* b", C, 2}, {"\n", SP, 6}, {"c */", C, 7}, {" ", SP, 11}, {"d", ID, 12}},
            lsNormal}));

INSTANTIATE_TEST_SUITE_P(
    Strings, SQLLineTest,
    ::testing::Values(
        LineCase{sqlSybase, lsNormal, "'abc", {{"'abc", STR, 0}}, lsString},
        LineCase{sqlSybase, lsNormal, "x '", {{"x", ID, 0}, {" ", SP, 1}, {"'", STR, 2}}, lsString},
        LineCase{sqlSybase, lsNormal, "''", {{"''", STR, 0}}, lsNormal},
        LineCase{sqlSybase, lsString, "def' x", {{"def'", STR, 0}, {" ", SP, 4}, {"x", ID, 5}}, lsNormal},
        LineCase{sqlSybase, lsString, "' rest", {{"'", STR, 0}, {" ", SP, 1}, {"rest", ID, 2}}, lsNormal},
        LineCase{sqlSybase, lsString, "no end", {{"no end", STR, 0}}, lsString},
        LineCase{sqlSybase, lsString, "", {}, lsString},
        LineCase{sqlSybase, lsNormal, "'It\\'s'", {{"'It\\'", STR, 0}, {"s", ID, 5}, {"'", STR, 6}}, lsString},
        LineCase{sqlSybase, lsNormal, "'a''b'", {{"'a'", STR, 0}, {"'b'", STR, 3}}, lsNormal},
        LineCase{sqlSybase, lsNormal, "\"a\"\"b\"", {{"\"a\"\"b\"", STR, 0}}, lsNormal},
        LineCase{sqlSybase, lsNormal, "\"a\\\"b\" c", {{"\"a\\\"b\"", STR, 0}, {" ", SP, 6}, {"c", ID, 7}}, lsNormal},
        LineCase{sqlSybase, lsNormal, "\"open 'x", {{"\"open 'x", STR, 0}}, lsNormal},
        LineCase{sqlSybase, lsNormal, "\"a\nb", {{"\"a", STR, 0}, {"\n", SP, 2}, {"b", ID, 3}}, lsNormal}));

INSTANTIATE_TEST_SUITE_P(
    Variables, SQLLineTest,
    ::testing::Values(
        LineCase{sqlSybase, lsNormal, "@@error", {{"@", VAR, 0}, {"@error", VAR, 1}}, lsNormal},
        LineCase{sqlSybase, lsNormal, ":x", {{":", SYM, 0}, {"x", ID, 1}}, lsNormal},
        LineCase{sqlStandard, lsNormal, "@v1 :", {{"@v1", VAR, 0}, {" ", SP, 3}, {":", SYM, 4}}, lsNormal},
        LineCase{sqlOracle, lsNormal, ":x @y", {{":x", VAR, 0}, {" ", SP, 2}, {"@", SYM, 3}, {"y", ID, 4}}, lsNormal},
        LineCase{
            sqlIngres, lsNormal, ":x @@y", {{":x", VAR, 0}, {" ", SP, 2}, {"@", VAR, 3}, {"@y", VAR, 4}}, lsNormal},
        LineCase{sqlMySQL,
                 lsNormal,
                 "@v :x",
                 {{"@", SYM, 0}, {"v", ID, 1}, {" ", SP, 2}, {":", SYM, 3}, {"x", ID, 4}},
                 lsNormal},
        LineCase{sqlMSSQL7,
                 lsNormal,
                 "@local@x @@VERSION @@nosuch",
                 {{"@local@x", VAR, 0}, {" ", SP, 8}, {"@@VERSION", FN, 9}, {" ", SP, 18}, {"@@nosuch", ID, 19}},
                 lsNormal},
        LineCase{sqlMSSQL2K,
                 lsNormal,
                 "select@@rowcount :p",
                 {{"select@@rowcount", ID, 0}, {" ", SP, 16}, {":", SYM, 17}, {"p", ID, 18}},
                 lsNormal}));

INSTANTIATE_TEST_SUITE_P(
    MySQL, SQLLineTest,
    ::testing::Values(
        LineCase{sqlMySQL, lsNormal, "'It\\'s' x", {{"'It\\'s'", STR, 0}, {" ", SP, 7}, {"x", ID, 8}}, lsNormal},
        // An escaped backslash does not hide the closing quote after it.
        LineCase{sqlMySQL, lsNormal, "'C:\\\\' x", {{"'C:\\\\'", STR, 0}, {" ", SP, 6}, {"x", ID, 7}}, lsNormal},
        LineCase{sqlMySQL, lsNormal, "'a''b'", {{"'a'", STR, 0}, {"'b'", STR, 3}}, lsNormal},
        LineCase{sqlMySQL, lsNormal, "'open\\'", {{"'open\\'", STR, 0}}, lsString},
        LineCase{sqlMySQL, lsString, "\\' x'y", {{"\\' x'", STR, 0}, {"y", ID, 5}}, lsNormal},
        LineCase{sqlMySQL, lsString, "'", {{"'", STR, 0}}, lsNormal},
        LineCase{sqlMySQL, lsNormal, "# note 'x", {{"", C, 0}, {"# note 'x", C, 0}}, lsNormal},
        LineCase{sqlMySQL,
                 lsNormal,
                 "a # b",
                 {{"a", ID, 0}, {" ", SP, 1}, {"#", UNK, 2}, {" ", SP, 3}, {"b", ID, 4}},
                 lsNormal},
        // Inside a block comment a '#' line is comment text; it does not end the comment.
        LineCase{sqlMySQL, lsComment, "# inside", {{"# inside", C, 0}}, lsComment},
        LineCase{sqlSybase, lsNormal, "# x", {{"#", UNK, 0}, {" ", SP, 1}, {"x", ID, 2}}, lsNormal}));

INSTANTIATE_TEST_SUITE_P(
    Oracle, SQLLineTest,
    ::testing::Values(
        LineCase{sqlOracle, lsNormal, "REM any 'text /*", {{"REM any 'text /*", C, 0}}, lsNormal},
        LineCase{sqlOracle, lsNormal, "rema x", {{"rema x", C, 0}}, lsNormal},
        LineCase{sqlOracle, lsNormal, "REMARKS", {{"REMARKS", ID, 0}}, lsNormal},
        LineCase{sqlOracle,
                 lsNormal,
                 "VARCHAR2 VARCHAR3",
                 {{"VARCHAR2", DT, 0}, {" ", SP, 8}, {"VARCHAR3", DT, 9}},
                 lsNormal},
        LineCase{sqlOracle,
                 lsNormal,
                 "no_data_found a$b#",
                 {{"no_data_found", EX, 0}, {" ", SP, 13}, {"a$b#", ID, 14}},
                 lsNormal},
        LineCase{sqlOracle,
                 lsNormal,
                 "dbms_output.put_line",
                 {{"dbms_output", DP, 0}, {".", SYM, 11}, {"put_line", ID, 12}},
                 lsNormal},
        LineCase{sqlOracle, lsNormal, "desc emp", {{"desc", PLUS, 0}, {" ", SP, 4}, {"emp", ID, 5}}, lsNormal},
        LineCase{sqlOracle, lsNormal, "spool x", {{"spool", PLUS, 0}, {" ", SP, 5}, {"x", ID, 6}}, lsNormal},
        LineCase{sqlOracle, lsNormal, "elsif", {{"elsif", PL, 0}}, lsNormal},
        LineCase{sqlOracle, lsNormal, "to_char", {{"to_char", FN, 0}}, lsNormal},
        LineCase{sqlSybase, lsNormal, "REM x", {{"REM", ID, 0}, {" ", SP, 3}, {"x", ID, 4}}, lsNormal}));

INSTANTIATE_TEST_SUITE_P(
    Utf8, SQLLineTest,
    ::testing::Values(
        LineCase{sqlSybase,
                 lsNormal,
                 "x = '\xC3\xA4' -- \xC3\xBC!",
                 {{"x", ID, 0},
                  {" ", SP, 1},
                  {"=", SYM, 2},
                  {" ", SP, 3},
                  {"'\xC3\xA4'", STR, 4},
                  {" ", SP, 7},
                  {"-- \xC3\xBC!", C, 8}},
                 lsNormal},
        LineCase{sqlSybase, lsNormal, "St\xC3\xA4lle", {{"St", ID, 0}, {"\xC3\xA4", UNK, 2}, {"lle", ID, 3}}, lsNormal},
        // U+00C8 is a Latin-1 letter (code 200) and still not a word character for the scanner.
        LineCase{sqlSybase, lsNormal, "\xC3\x88", {{"\xC3\x88", UNK, 0}}, lsNormal},
        LineCase{sqlSybase,
                 lsNormal,
                 "\xE2\x82\xAC\xF0\x9F\x98\x80 a",
                 {{"\xE2\x82\xAC", UNK, 0}, {"\xF0\x9F\x98\x80", UNK, 1}, {" ", SP, 2}, {"a", ID, 3}},
                 lsNormal},
        LineCase{sqlSybase, lsComment, "\xC3\xA4*/\xC3\xA4", {{"\xC3\xA4*/", C, 0}, {"\xC3\xA4", UNK, 3}}, lsNormal}));

INSTANTIATE_TEST_SUITE_P(Interbase, SQLLineTest,
                         ::testing::Values(LineCase{sqlInterbase6,
                                                    lsNormal,
                                                    "gen_id varchar select :x",
                                                    {{"gen_id", FN, 0},
                                                     {" ", SP, 6},
                                                     {"varchar", DT, 7},
                                                     {" ", SP, 14},
                                                     {"select", KW, 15},
                                                     {" ", SP, 21},
                                                     {":", SYM, 22},
                                                     {"x", ID, 23}},
                                                    lsNormal}));

// Scanning a whole text as the editor does: the state at the end of each line is the state the
// next line starts in.
TEST(SQLHighlighterTest, StatesCarryAcrossLines) {
    const std::vector<std::string> lines = {"select 'a", "b' from /* c", "", "d */ x", "'", "'"};
    const std::vector<intptr_t> startStates = {lsNormal, lsString, lsComment, lsComment, lsNormal, lsString};
    TSQLHighlighter hl;
    hl.ResetLineState();
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(hl.LineState(), startStates[i]) << "line " << i;
        hl.StartLine(lines[i], static_cast<int>(i));
        hl.SkipToLineEnd();
        EXPECT_TRUE(hl.AtLineEnd());
    }
    EXPECT_EQ(hl.LineState(), lsNormal);
}

TEST(SQLHighlighterTest, StartLineKeepsTheStateAndAdvanceAtTheEndStaysThere) {
    TSQLHighlighter hl;
    hl.SetLineState(lsComment);
    hl.StartLine("", 3);
    EXPECT_TRUE(hl.AtLineEnd());
    EXPECT_EQ(hl.LineState(), lsComment);
    EXPECT_EQ(hl.LineIndex(), 3);
    hl.Advance();
    EXPECT_TRUE(hl.AtLineEnd());
    EXPECT_EQ(hl.TokenStart(), 0);
    hl.ResetLineState();
    EXPECT_EQ(hl.LineState(), lsNormal);
}

TEST(SQLHighlighterTest, UnknownLineStatesStartNormal) {
    TSQLHighlighter hl;
    for (intptr_t state : {intptr_t{-1}, intptr_t{3}, intptr_t{1000}}) {
        hl.SetLineState(state);
        EXPECT_EQ(ScanLine(hl, "a"), (std::vector<Token>{{"a", ID, 0}})) << state;
        EXPECT_EQ(hl.LineState(), lsNormal);
    }
}

TEST(SQLHighlighterTest, MySQLHashLineReadsAsOpenCommentOnlyDuringTheEmptyToken) {
    TSQLHighlighter hl;
    hl.SetSQLDialect(sqlMySQL);
    hl.StartLine("# x", 0);
    EXPECT_EQ(hl.TokenKindCode(), skComment);
    EXPECT_EQ(hl.TokenText(), "");
    EXPECT_EQ(hl.LineState(), lsComment);
    hl.Advance();
    EXPECT_EQ(hl.TokenText(), "# x");
    hl.Advance();
    EXPECT_TRUE(hl.AtLineEnd());
    EXPECT_EQ(hl.LineState(), lsNormal);
}

TEST(SQLHighlighterTest, TokenStylesFollowTheKindTable) {
    TSQLHighlighter hl;
    const std::vector<THighlighterAttributes*> expected = {hl.CommentAttri(),
                                                           hl.DataTypeAttri(),
                                                           hl.DefaultPackageAttri(),
                                                           hl.ExceptionAttri(),
                                                           hl.FunctionAttri(),
                                                           hl.IdentifierAttri(),
                                                           hl.KeyAttri(),
                                                           nullptr,
                                                           hl.NumberAttri(),
                                                           hl.SpaceAttri(),
                                                           hl.PLSQLAttri(),
                                                           hl.SQLPlusAttri(),
                                                           hl.StringAttri(),
                                                           hl.SymbolAttri(),
                                                           hl.TableNameAttri(),
                                                           hl.IdentifierAttri(),
                                                           hl.VariableAttri()};
    // One line per kind the dialect can produce, checked through the token's own kind.
    hl.SetSQLDialect(sqlOracle);
    hl.TableNames().Add("emp");
    std::vector<bool> seen(expected.size(), false);
    for (const char* line : {"/*c*/ varchar2 dbms_pipe others to_char x select 1 \t elsif spool"
                             " 'a' ; emp $ :v"}) {
        hl.StartLine(line, 0);
        for (;;) {
            const int kind = hl.TokenKindCode();
            seen[static_cast<size_t>(kind)] = true;
            EXPECT_EQ(hl.TokenStyle(), expected[static_cast<size_t>(kind)]) << kind;
            if (hl.AtLineEnd()) break;
            hl.Advance();
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), false), 0);
}

TEST(SQLHighlighterTest, AttributesNamesAndDefaultStyles) {
    TSQLHighlighter hl;
    using enum TFontStyle;
    const struct {
        THighlighterAttributes* attribute;
        const char* name;
        TFontStyles style;
    } expected[] = {
        {hl.CommentAttri(), "Comment", {fsItalic}},
        {hl.DataTypeAttri(), "Data type", {fsBold}},
        {hl.DefaultPackageAttri(), "Default packages", {fsBold}},
        {hl.ExceptionAttri(), "Exception", {fsItalic}},
        {hl.FunctionAttri(), "Function", {fsBold}},
        {hl.IdentifierAttri(), "Identifier", {}},
        {hl.KeyAttri(), "Reserved word", {fsBold}},
        {hl.NumberAttri(), "Number", {}},
        {hl.PLSQLAttri(), "Reserved word (PL/SQL)", {fsBold}},
        {hl.SpaceAttri(), "Space", {}},
        {hl.SQLPlusAttri(), "SQL*Plus command", {fsBold}},
        {hl.StringAttri(), "String", {}},
        {hl.SymbolAttri(), "Symbol", {}},
        {hl.TableNameAttri(), "Table name", {}},
        {hl.VariableAttri(), "Variable", {}},
    };
    ASSERT_EQ(hl.AttributeCount(), 15);
    for (const auto& e : expected) {
        EXPECT_EQ(e.attribute->Name(), e.name);
        EXPECT_EQ(e.attribute->Style(), e.style) << e.name;
        EXPECT_EQ(e.attribute->Foreground(), clNone);
        EXPECT_EQ(e.attribute->Background(), clNone);
        EXPECT_FALSE(e.attribute->IsStyleStored()) << e.name;
    }
    // Index order is the case-insensitive name order.
    for (int i = 1; i < hl.AttributeCount(); ++i)
        EXPECT_LT(CompareText(hl.AttributeAt(i - 1)->Name(), hl.AttributeAt(i)->Name()), 0);
    const THighlighterAttributes* roles[] = {hl.CommentAttri(), hl.IdentifierAttri(), hl.KeyAttri(),
                                             hl.StringAttri(),  hl.SpaceAttri(),      hl.SymbolAttri()};
    for (int role = 0; role < 6; ++role) EXPECT_EQ(hl.StandardAttribute(role), roles[role]);
    EXPECT_EQ(hl.StandardAttribute(-1), nullptr);
    EXPECT_EQ(hl.StandardAttribute(6), nullptr);
}

TEST(SQLHighlighterTest, NewInstanceDefaults) {
    TSQLHighlighter hl;
    EXPECT_EQ(hl.SQLDialect(), sqlSybase);
    EXPECT_EQ(hl.DefaultFilter(), "SQL Files (*.sql)|*.sql");
    EXPECT_EQ(hl.LanguageTitle(), "SQL");
    EXPECT_TRUE(hl.Enabled());
    EXPECT_EQ(hl.LineState(), lsNormal);
    EXPECT_EQ(hl.TableNames().Count(), 0);
}

TEST(SQLHighlighterTest, IdentifierCharsPerDialect) {
    TSQLHighlighter hl;
    const struct {
        TSQLDialect dialect;
        bool at, hash, dollar;
    } cases[] = {
        {sqlStandard, false, false, false}, {sqlSybase, false, false, false}, {sqlMSSQL7, true, false, false},
        {sqlMSSQL2K, true, false, false},   {sqlOracle, false, true, true},   {sqlMySQL, false, false, false},
    };
    for (const auto& c : cases) {
        hl.SetSQLDialect(c.dialect);
        const TCharSet set = hl.IdentifierChars();
        EXPECT_EQ(set.test('@'), c.at) << int{c.dialect};
        EXPECT_EQ(set.test('#'), c.hash) << int{c.dialect};
        EXPECT_EQ(set.test('$'), c.dollar) << int{c.dialect};
        EXPECT_TRUE(set.test('a') && set.test('Z') && set.test('0') && set.test('_'));
        EXPECT_TRUE(set.test(192) && set.test(214) && set.test(216) && set.test(255));
        EXPECT_FALSE(set.test(215) || set.test(247) || set.test(191) || set.test(' '));
        EXPECT_TRUE(InCharSet(set, U'\u00C8'));
        EXPECT_FALSE(InCharSet(set, U'\u0100'));
    }
}

TEST(SQLHighlighterTest, SampleTextsAndReservedWords) {
    TSQLHighlighter hl;
    EXPECT_EQ(hl.SampleText(), "");
    hl.SetSQLDialect(sqlInterbase6);
    EXPECT_EQ(hl.SampleText().substr(0, 31), "/* Interbase sample source */\r\n");
    EXPECT_EQ(hl.SampleText().substr(hl.SampleText().size() - 13), "SET TERM ; !!");
    hl.SetSQLDialect(sqlOracle);
    EXPECT_EQ(hl.SampleText().substr(0, 29), "PROMPT Oracle sample source\r\n");
    EXPECT_EQ(hl.SampleText().substr(hl.SampleText().size() - 6), "\r\nend;");
    hl.TableNames().Add("emp");
    const struct {
        const char* text;
        bool reserved;
    } words[] = {{"select", true},    {"varchar2", true},    {"dbms_sql", true}, {"others", true},
                 {"to_char x", true}, {"elsif", true},       {"rem", false},     {"spool", false},
                 {"emp", false},      {"nosuchword", false}, {"", false}};
    for (const auto& w : words) EXPECT_EQ(hl.IsReservedWord(w.text), w.reserved) << w.text;
}

TEST(SQLHighlighterTest, AssignCopiesAttributesAndDialectButNotTableNames) {
    TSQLHighlighter source;
    source.SetSQLDialect(sqlOracle);
    source.KeyAttri()->SetForeground(0x0000FF);
    source.TableNames().Add("emp");
    source.SetEnabled(false);
    TSQLHighlighter target;
    target.Assign(source);
    EXPECT_EQ(target.SQLDialect(), sqlOracle);
    EXPECT_EQ(target.KeyAttri()->Foreground(), 0x0000FFu);
    EXPECT_FALSE(target.Enabled());
    EXPECT_EQ(target.TableNames().Count(), 0);
    THighlighterAttributes attribute("Comment");
    EXPECT_THROW(target.Assign(attribute), EHighlighterError);
}

TEST(SQLHighlighterTest, RegistersItsClass) {
    const auto& classes = RegisteredHighlighters();
    ASSERT_NE(std::find(classes.begin(), classes.end(), &TSQLHighlighter::HighlighterClass), classes.end());
    auto made = TSQLHighlighter::HighlighterClass.create();
    EXPECT_STREQ(made->ClassName(), "TSQLHighlighter");
    const size_t count = classes.size();
    RegisterHighlighterClass(&TSQLHighlighter::HighlighterClass);
    EXPECT_EQ(RegisteredHighlighters().size(), count);
}

}  // namespace
}  // namespace tessel
