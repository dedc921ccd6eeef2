#pragma once

// The SQLite module "tessel_table": a virtual table over one open table of a database. It
// reads records through the storage driver, decoding only the columns a statement uses;
// equality and range constraints on a Paradox table's first key field are answered by binary
// search over the key-ordered records, and equality probes of a join by a column index built
// on first use. Changes go back to the database, which writes them through the driver.

#include <sqlite3.h>

namespace tessel::engine {

class Database;

void RegisterTableModule(sqlite3* db, Database* owner);

}  // namespace tessel::engine
