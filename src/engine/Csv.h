#pragma once

// Records as CSV, the way tessel-sql dumps them and the window saves an answer: RFC 4180,
// UTF-8, CR LF line ends, a header line of field names, each value as FormatValue gives it.

#include <string>
#include <vector>

#include "engine/storage/Field.h"
#include "engine/storage/Table.h"
#include "engine/storage/Value.h"

namespace tessel::engine {

// One CSV cell: quoted when it holds a comma, a quote, CR or LF (quotes doubled).
std::string CsvCell(const std::string& text);
// The header line and one record's line, each with its CR LF.
std::string CsvHeader(const std::vector<FieldDesc>& fields);
std::string CsvRecord(const Record& record);

}  // namespace tessel::engine
