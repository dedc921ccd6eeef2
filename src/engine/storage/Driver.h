#pragma once

// A storage driver is the one place that knows a file format. Each driver (a folder under
// src/engine/) provides one StorageDriver: how its tables are named and which files make up a
// table, which field types it stores and their limits, how the engine's types map onto its
// own for new tables and for copies, whether tables have primary keys, what deleting a record
// does, and the factory that opens and creates its tables. The engine, the SQL binder, the
// data sets and the generator ask the driver; none of them tests which format a table has.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/ColumnType.h"
#include "engine/storage/Table.h"

namespace tessel::engine {

// Why a column definition does not fit a format: the binder turns it into its message at the
// type's place in the statement.
struct ColumnTypeError {
    enum class What { InvalidType, InvalidSize, NeedsSize, InvalidBlobSubtype };
    What what = What::InvalidType;
    int value = 0;  // the size or subtype at fault
};

// The field types a format stores and their limits.
struct FieldLimits {
    uint16_t maxCharSize = 255;  // CHAR(n)
    size_t maxFieldNameLength = 25;
    size_t maxFields = 255;
    bool time = true;           // TIME fields
    bool bytes = true;          // BYTES(n)
    bool formattedMemo = true;  // BLOB subtype 3
    bool graphic = true;        // BLOB subtype 5
    // Numbers keep their width and decimals (NUMERIC(w,d) is a field of w digits); otherwise
    // a number is a double without a size and only DECIMAL(p,s) is fixed-point.
    bool sizedNumbers = false;
    uint16_t maxNumberWidth = 20;   // sized numbers
    uint16_t maxBcdPrecision = 32;  // DECIMAL(p,s) without sized numbers
    bool blobBytesInRecord = true;  // BLOB(n,..): the first n bytes (0..240) live in the record
};

// A field of a batch copy's destination, and how the source's values reach it.
struct CopiedField {
    FieldDesc field;
    bool timeAsText = false;  // the destination holds the source's times as text
};

class StorageDriver {
public:
    virtual ~StorageDriver() = default;

    // The name aliases give as their default driver ("PARADOX", "DBASE").
    virtual std::string_view Name() const = 0;
    // The format's name in messages ("dBASE").
    virtual std::string_view DisplayName() const = 0;
    // The main file's extension with its dot, in lower case (".db").
    virtual std::string_view Extension() const = 0;
    // Whether a table of this driver reports this type name in its properties ("DBASE",
    // "FOXPRO", "PARADOX").
    virtual bool HasTypeName(std::string_view typeName) const = 0;
    // Whether a file with this extension (lower case, without the dot) belongs to a table of
    // this driver that shares its stem (the main file's own extension included).
    virtual bool IsFamilyExtension(std::string_view ext) const = 0;

    virtual const FieldLimits& Limits() const = 0;
    // Tables can have a primary key (the first fields, records kept in key order).
    virtual bool HasPrimaryKeys() const = 0;
    // DELETE removes a record at once and the later slots move up; otherwise a deleted record
    // keeps its slot, marked, until the table is packed.
    virtual bool DeleteRemovesRecords() const = 0;
    // Table::Lock re-reads the table's counts, so the engine need not call Refresh after
    // another program may have written.
    virtual bool RefreshesOnLock() const = 0;
    // Field names of a copy: `name` made valid for the format (at most
    // Limits().maxFieldNameLength characters); uniqueness is the caller's.
    virtual std::string ValidFieldName(std::string name) const = 0;

    // The field a column definition makes in a table of this format. Raises ColumnTypeError
    // for a definition the format cannot hold. The default follows Limits().
    virtual FieldDesc DefineField(const std::string& name, const ColumnType& type) const;
    // The field that holds a copy of `source` in a new table of this format (batch copy,
    // save answer). `sameDriver`: the source is a table of this driver, whose own type hints
    // may be kept. The default keeps the type, clamps text widths to Limits(), and keeps an
    // auto-increment field so the copied numbers stay as they are.
    virtual CopiedField CopyField(const FieldDesc& source, bool sameDriver) const;

    virtual std::unique_ptr<Table> Open(const std::string& path, OpenMode mode) const = 0;
    // A new, empty table at `path` (replacing a table of that name with its companions).
    // `options.finalPath`, when given, is the name the table will have once a whole-family
    // swap puts it in place; files that record their own name record that one.
    virtual std::unique_ptr<Table> Create(const std::string& path, const std::vector<FieldDesc>& fields,
                                          const CreateOptions& options) const = 0;
};

}  // namespace tessel::engine
