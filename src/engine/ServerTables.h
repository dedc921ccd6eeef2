#pragma once

// Tables of a database server inside local SQL: ":Sales:customers" in a statement over the
// files names the table customers on the server of the alias Sales. The SQLite module
// "tessel_server" stands for such a table: it sends the server the columns a statement uses
// and its equality, range and IN constraints (so a lookup by key reads the rows it finds, not
// the table), and keeps the rows a statement inserts until the statement has done its local
// work, then loads them with COPY in one server transaction. Changing or deleting server rows
// from local SQL is refused (send such statements to the server alias itself).

#include <sqlite3.h>

#include <string>
#include <vector>

#include "engine/sql/Catalog.h"
#include "engine/storage/Table.h"

namespace tessel::engine {

class Database;

// A server table as a database keeps it for its statements.
struct ServerTableEntry {
    sql::CatalogTable info;  // path ":ALIAS:table", the server's columns as fields
    std::string alias, table;
    bool rowIds = false;  // its rows have the server's row addresses (a table, not a view)
    bool registered = false;
    std::vector<Record> inserted;  // rows of the running statement, not yet sent
};

void RegisterServerModule(sqlite3* db, Database* owner);

// Whether a catalog path names a server table (":ALIAS:table") rather than a file.
bool IsServerTablePath(const std::string& path);

// Rows the module has read from servers since the program started: what a lookup cost.
uint64_t ServerModuleRowReads();

}  // namespace tessel::engine
