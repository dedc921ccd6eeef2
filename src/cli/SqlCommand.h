#pragma once

// tessel-sql's SQL runner.

#include <iosfwd>
#include <string>
#include <vector>

namespace tessel::cli {

// tessel-sql [--dir DIR | --alias NAME] [--csv | --table] (-c "SQL")... [FILE.sql ...]
// Runs the statements of each -c text and each file in order (standard input when none is
// given), cut at ";" outside quotes and comments. Each answer is printed as CSV (the --dump
// format) or as an aligned table. The first failure prints the engine's message on `err` and
// ends with status 1; a usage error gives 2.
int RunSqlCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

// Whether the arguments ask for the SQL command (rather than one of the table commands).
bool IsSqlCommand(const std::vector<std::string>& args);

}  // namespace tessel::cli
