#pragma once

// tessel-sql's table commands.

#include <iosfwd>
#include <string>

#include "engine/Csv.h"

namespace tessel::cli {

// tessel-sql's table commands, the same for every table format. Each returns the exit status
// (0 success, 1 failure, reported on `err` as "tessel-sql: MESSAGE").

// --schema FILE: table facts, then one line per field: NAME TAB TYPE TAB SUBTYPE TAB UNITS1
// TAB UNITS2 (the engine's codes).
int RunSchemaCommand(const std::string& file, std::ostream& out, std::ostream& err);

// --dump FILE: the live records as CSV (RFC 4180, UTF-8, CR LF line ends) with a header line
// of field names.
int RunDumpCommand(const std::string& file, std::ostream& out, std::ostream& err);

// --copy SRC DST: the batch copy of SRC into a new table DST (type from its extension).
int RunCopyCommand(const std::string& source, const std::string& dest, std::ostream& out, std::ostream& err);

using engine::CsvCell;

}  // namespace tessel::cli
