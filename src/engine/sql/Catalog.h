#pragma once

// What the binder needs to know about the tables a statement names, and what it hands to the
// executor. The binder (this folder) turns a parsed statement into a BoundStatement: SQLite SQL
// over virtual tables for SELECT/INSERT/UPDATE/DELETE, or a description of the table change for
// DDL. The executor (the engine's database layer) registers the virtual tables, runs the SQL
// and carries out the DDL on the storage drivers.
//
// How values travel between the virtual tables and SQLite (both sides keep to this):
//   Null -> NULL              Bool -> INTEGER 0/1        Int -> INTEGER
//   Double -> REAL            Decimal -> REAL (the column's scale is known from its FieldDesc;
//                                              exact sums and arithmetic round to it)
//   Text -> TEXT (UTF-8)      Bytes, binary BLOBs -> BLOB     memos -> TEXT
//   Date -> TEXT 'YYYY-MM-DD' Time -> TEXT 'HH:MM:SS.mmm'
//   Timestamp -> TEXT 'YYYY-MM-DD HH:MM:SS.mmm'
// Dates, times and timestamps in this form sort and compare correctly as text.
//
// Besides the dialect's functions (RegisterDialectFunctions), the SQL may call one function the
// executor provides: tessel_row_count('<sqliteName>'), the number of live records of a table,
// which the binder writes for a COUNT(*) over a whole table instead of a scan.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/sql/Ast.h"
#include "engine/storage/Driver.h"
#include "engine/storage/Field.h"

namespace tessel::engine::sql {

// A table as the binder sees it.
struct CatalogTable {
    std::string path;                       // absolute path of the table file
    std::string sqliteName;                 // name of the virtual table standing for it in the SQLite SQL
    std::string typeName;                   // "PARADOX", "DBASE", "FOXPRO"
    const StorageDriver* driver = nullptr;  // the table's format
    std::vector<FieldDesc> fields;          // the fields SQL sees, in order (hidden system fields left out)
    std::vector<std::string> primaryKey;    // key field names of a keyed table, in key order
};

// Resolves table names for the binder. Implemented by the engine's database.
class Catalog {
public:
    virtual ~Catalog() = default;

    // The existing table a name refers to ("employee.db", employee, "/abs/t.dbf",
    // :ALIAS:t.db; names are matched without regard to case when the exact file does not
    // exist). Raises EngineError (errc::kNotFound) naming the table when there is none.
    // The returned reference stays valid for the life of the catalog.
    virtual const CatalogTable& ResolveTable(const TableName& name) = 0;

    // The file a new table of this name would be (CREATE TABLE): the same rules, the database's
    // default driver deciding a missing extension.
    virtual std::string PathForNewTable(const TableName& name) = 0;
    // The driver of a table file of this name (by its extension). Raises EngineError
    // (kNotSupported) when no driver has it. Default: the registered drivers.
    virtual const StorageDriver& DriverFor(const std::string& path);
};

// One field of an answer (or of a table to create): its descriptor with real type and size.
using ResultField = FieldDesc;

// The type of a parameter marker, as far as the binder could infer it from its context
// (fldtype::kUnknown when nothing says).
struct ParamBinding {
    uint16_t type = fldtype::kUnknown;
    uint16_t units2 = 0;  // scale of a decimal parameter
};

// A query whose answer shows records of one table as they are (a SELECT of plain columns of
// one table, without DISTINCT, grouping, UNION or joins): its rows can stand for the records.
struct LiveSource {
    const CatalogTable* table = nullptr;
    std::vector<size_t> columns;  // for each answer column, its field in table->fields
    std::string sql;              // the query with each row's record slot as an extra last column
};

enum class BoundKind {
    Query,  // SELECT: sql yields rows described by `fields`
    Dml,    // INSERT, UPDATE, DELETE: sql changes the tables in `writes`
    CreateTable,
    AlterTable,
    DropTable,
    CreateIndex,
    DropIndex,
};

struct BoundAlterAction {
    enum class Kind { Add, Drop } kind = Kind::Add;
    FieldDesc field;  // Add: the new field; Drop: only the name
};

struct BoundStatement {
    BoundKind kind = BoundKind::Query;

    // Query and Dml: SQLite SQL over the virtual tables of `reads`/`writes`; parameters are
    // written as ?1, ?2, ... in the order of `params` (the statement's parameter order).
    std::string sql;
    std::vector<ResultField> fields;  // Query: the answer's fields, in order
    std::vector<ParamBinding> params;
    std::vector<const CatalogTable*> reads;
    std::vector<const CatalogTable*> writes;
    // Query: the records its answer stands for, or else why it stands for none ("the query
    // joins tables").
    std::optional<LiveSource> live;
    std::string notLive;

    // DDL.
    std::string tablePath;                       // the table created, changed or dropped
    std::vector<FieldDesc> newFields;            // CreateTable
    std::vector<std::string> primaryKey;         // CreateTable: key field names in key order
    std::vector<BoundAlterAction> alterActions;  // AlterTable, in statement order
    std::string indexName;                       // CreateIndex, DropIndex ("PRIMARY" for the key)
    std::vector<std::string> indexFields;        // CreateIndex
    bool indexUnique = false;
    bool indexDescending = false;
};

}  // namespace tessel::engine::sql
