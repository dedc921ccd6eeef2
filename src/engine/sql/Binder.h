#pragma once

// The binder: resolves the names of a parsed statement against a Catalog, gives every
// expression a type, applies the dialect's coercions and writes the SQLite SQL that carries
// the statement out over the catalog's virtual tables (or, for DDL, describes the change).
//
// Failures are EngineErrors: SyntaxError with code errc::kSqlBind (its Token and Line Number
// point at the name or expression at fault) for unknown columns, type mismatches and
// constructs the dialect does not allow; the Catalog's own error for an unknown table.
//
// The SQL calls the functions of DialectFunctions.h and uses SQLite's RTRIM collation; it
// never relies on double-quoted strings, and parameters appear as ?1, ?2, ... in the
// statement's parameter order.

#include "engine/sql/Ast.h"
#include "engine/sql/Catalog.h"

namespace tessel::engine::sql {

BoundStatement Bind(const Statement& statement, Catalog& catalog);

// An identifier in SQLite SQL: in double quotes, inner quotes doubled.
std::string QuoteSqliteIdentifier(const std::string& name);

}  // namespace tessel::engine::sql
