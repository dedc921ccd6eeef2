#pragma once

// What "Run SQL query" does with the editor's text before it runs it: comments out, and the
// decision between a query (an answer to show) and a script of statements.

#include <string>
#include <vector>

#include "base/StringList.h"

namespace tessel {

// The lines without their "/* */" comments: on each line the first "/*" outside quoted text
// up to the first "*/" after it is removed (the rest of the line when the comment goes on),
// lines wholly inside a comment are dropped, and a line that closes one keeps what follows
// its "*/". Only one comment per line is looked at; the engine reads any others itself.
std::vector<std::string> StripComments(const TStrings& lines);

// True when `text` is one statement whose first keyword is SELECT: such a text opens as a
// query; anything else runs as a script.
bool IsQueryText(const std::string& text);

}  // namespace tessel
