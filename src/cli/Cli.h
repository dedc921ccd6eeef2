#pragma once

// tessel-sql, the command-line tool: its entry point as a function.

#include <iosfwd>
#include <string>
#include <vector>

namespace tessel::cli {

// Runs tessel-sql with its arguments (without the program name); returns the exit status.
// 0 success, 1 a failure of the work asked for, 2 a usage error.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tessel::cli
