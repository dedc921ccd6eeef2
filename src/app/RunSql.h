#pragma once

// What "Run SQL query" does with the editor's text before it runs it: comments out, and the
// decision between a query (an answer to show) and a script of statements.

#include <cstdint>
#include <string>
#include <vector>

#include "base/StringList.h"

namespace tessel {

// The lines without their comments, one line out for each line in, so that line numbers still
// count the editor's lines. On each line the first "/*" outside quoted text up to the first "*/"
// after it is removed (the rest of the line when the comment goes on), a line wholly inside a
// comment becomes empty, and a line that closes one keeps what follows its "*/". A "--"
// outside quotes removes the rest of its line. Only one "/* */" comment per line is looked at;
// the engine reads any others itself.
std::vector<std::string> StripComments(const TStrings& lines);

// What the status bar says after a run: "3 statements, 12 records changed, 0.21 s" for a
// script, "1,234 records, 0.05 s" for a query.
std::string ScriptSummary(int statements, int64_t changes, double seconds);
std::string QuerySummary(int64_t records, double seconds);
// The status of an answer still coming in: "12,288 records so far".
std::string AnswerProgress(int64_t records);
// What a print did: "3 pages printed to /home/me/q.pdf", or "... sent to the printer" when
// `pdfPath` is empty.
std::string PrintSummary(int pages, const std::string& pdfPath);

// An engine message whose last line is "Line Number: N" with N replaced by `line`.
std::string WithLineNumber(const std::string& message, int line);

// True when `text` is one statement whose first keyword is SELECT: such a text opens as a
// query; anything else runs as a script.
bool IsQueryText(const std::string& text);

}  // namespace tessel
