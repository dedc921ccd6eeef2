#pragma once

// Entry points of the local SQL parser. The parser turns text into the tree of Ast.h and checks
// syntax only: names, types and the meaning of the statement are the binder's.

#include <cstddef>
#include <string_view>
#include <vector>

#include "engine/sql/Ast.h"
#include "engine/sql/Lexer.h"

namespace tessel::engine::sql {

// Bounds for SQL typed by a person. Text beyond them is refused with an error, never with a
// crash: nesting is bounded so that parsing and every later walk over the tree stay well
// inside the stack.
struct ParseLimits {
    size_t maxStatementLength = size_t{1} << 20;  // bytes of one statement
    int maxNesting = 128;                         // parentheses, subqueries, unary operators
    int maxHeight = 1000;                         // height of a statement's tree (Expr::height)
};

struct ParseOptions {
    LexOptions lex;
    ParseLimits limits;
};

// Parses text that holds one statement, optionally followed by one ";" and white space or
// comments. Anything after that fails ("Only one statement may be run at a time"), so text with
// several statements never runs only its first. Failures are SyntaxError (an EngineError with
// code errc::kSqlSyntax); empty text fails with "No SQL statement available".
StatementPtr ParseSingleStatement(std::string_view text, const ParseOptions& options = {});

// Parses a script of statements separated by ";" (outside quotes and comments). Empty
// statements between semicolons are skipped. The first failing statement fails the call.
std::vector<StatementPtr> ParseScript(std::string_view text, const ParseOptions& options = {});

// One statement's text cut from a script, for callers that run statements one by one and want
// to report errors against the whole text: pass `pos` as LexOptions' first line/column/offset.
struct ScriptPiece {
    std::string_view text;  // without the terminating ";"; starts at its first token
    SourcePos pos;          // where `text` starts in the script
};

// Cuts a script at ";" outside quotes, `/* */` comments and `--` line comments. Pieces holding only white space
// and comments are dropped. Never fails: an unterminated quote or comment runs to the end and
// is reported when that piece is parsed.
std::vector<ScriptPiece> SplitScript(std::string_view text);

}  // namespace tessel::engine::sql
