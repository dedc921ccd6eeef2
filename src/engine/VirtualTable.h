#pragma once

// The SQLite module "tessel_table": a virtual table over one open table of a database. It
// reads records through the storage driver, decoding only the columns a statement uses;
// equality and range constraints on a Paradox table's first key field are answered by binary
// search over the key-ordered records, equality and range constraints on a column an index of
// the table's files begins with through that index (which may also give the column's order for
// an ORDER BY), and equality probes of a join by a column index built on first use. Changes go
// back to the database, which writes them through the driver.

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage/Field.h"

namespace tessel::engine {

class Database;

void RegisterTableModule(sqlite3* db, Database* owner);

// Reports a failure of a virtual table's method: its text to SQLite, the failure itself to the
// database (which raises it once the statement ends); an interrupt as SQLITE_INTERRUPT.
int VirtualTableFailure(sqlite3_vtab* vtab, Database* db, const std::exception& e);

// The CREATE TABLE a virtual table over these fields declares (text columns by the dialect's
// rule of trailing blanks).
std::string VirtualTableDeclaration(const std::vector<FieldDesc>& fields);

// Records the module's cursors have read from table files since the program started (each
// record a cursor visits counts once): what a lookup cost, for tests and measurements.
uint64_t TableModuleRecordReads();

}  // namespace tessel::engine
