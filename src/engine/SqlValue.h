#pragma once

// Values between the storage drivers and SQLite, in the forms the binder and the executor
// agree on (engine/sql/Catalog.h): dates, times and timestamps as sortable text, decimals as
// REAL rounded back to the field's scale, booleans as 0/1.

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>

#include "engine/sql/DialectValues.h"
#include "engine/storage/Field.h"
#include "engine/storage/Value.h"

namespace tessel::engine {

// 'YYYY-MM-DD', 'HH:MM:SS.mmm', 'YYYY-MM-DD HH:MM:SS.mmm' (milliseconds always written): the
// forms dates and times travel in between the virtual tables and SQLite, which the binder's
// literals use as well.
using sql::SqliteDateText;
using sql::SqliteTimestampText;
using sql::SqliteTimeText;
// Reads the forms above (the milliseconds, and a timestamp's time, may be left out).
std::optional<int64_t> ParseSqlDate(std::string_view text);
std::optional<int64_t> ParseSqlTime(std::string_view text);
std::optional<int64_t> ParseSqlTimestamp(std::string_view text);

// Sets the result of a virtual table column.
void ResultValue(sqlite3_context* ctx, const Value& v);
// Binds a parameter.
void BindValue(sqlite3_stmt* stmt, int index, const Value& v);

// The value SQLite hands over for a field of `field`'s type, ready for the driver. A value
// that cannot become that type raises EngineError ("Type mismatch ...") naming the field.
void ValueForField(sqlite3_value* in, const FieldDesc& field, Value& out);

// Column `col` of a row of an answer whose field is `field`.
void ColumnValue(sqlite3_stmt* stmt, int col, const FieldDesc& field, Value& out);

// The SQLite type a field's values have ("INTEGER", "REAL", "TEXT", "BLOB").
const char* SqlTypeOf(const FieldDesc& field);

// Whether a field holds an exact fixed-point number (BCD, a dBASE number with decimals).
bool IsFixedPoint(const FieldDesc& field);

}  // namespace tessel::engine
