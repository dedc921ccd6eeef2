#pragma once

// The types a column definition names (CREATE TABLE, ALTER TABLE ADD, CAST), shared by the SQL
// parser and the storage drivers that map them onto their own.

#include <optional>

namespace tessel::engine {

enum class ColumnKind {
    Smallint,
    Integer,
    Decimal,
    Numeric,
    Float,
    Char,
    Varchar,
    Date,
    Time,
    Timestamp,
    Boolean,
    Money,
    Autoinc,
    Bytes,
    Blob
};

// A column's type with its size and scale as given (BLOB: size and subtype).
struct ColumnType {
    using Kind = ColumnKind;
    Kind kind = Kind::Integer;
    std::optional<int> size;
    std::optional<int> scale;
};

}  // namespace tessel::engine
