#pragma once

// The table data set: opens one table file (Paradox .DB or dBASE .DBF) and edits its records
// in place.

#include <functional>
#include <string>
#include <vector>

#include "engine/storage/Table.h"
#include "framework/data/DataSet.h"

namespace tessel {

class TTableCursor;

enum class TTableType { ttDefault, ttParadox, ttDBase };

// How a database name (an alias, a directory, or empty) becomes a directory. By default the
// session's engine decides (an alias, an existing directory, or its default directory).
using TDatabaseResolver = std::function<std::string(const std::string& databaseName)>;
void SetDatabaseResolver(TDatabaseResolver resolver);
std::string ResolveDatabaseDirectory(const std::string& databaseName);

class TTable : public TDataSet {
public:
    TTable() = default;
    ~TTable() override;

    const std::string& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const std::string& name);
    // A file name with or without extension, or a full path (which decides the place).
    const std::string& TableName() const { return tableName_; }
    void SetTableName(const std::string& name);
    TTableType TableType() const { return tableType_; }
    void SetTableType(TTableType type);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);

    // The file the table names: directory of the database, extension from TableType when the
    // name has none (".db" by default), the existing file's own spelling when only the case
    // differs.
    std::string TablePath() const;

    bool CanModify() const override;

    // The open table's engine facts (fail on a closed table): cursor properties, field
    // descriptors, index definitions, validity checks.
    engine::Table* Handle() const;
    engine::TableProperties CursorProperties() const;
    std::vector<engine::FieldDesc> FieldDescriptors() const;
    // The index definitions; read when the table is open (or opened for a moment).
    const std::vector<engine::IndexDesc>& IndexDefs() const { return indexDefs_; }
    void UpdateIndexDefs();
    std::vector<engine::ValCheckDesc> ValidityChecks() const;

protected:
    std::unique_ptr<TDataCursor> CreateCursor() override;

private:
    TTableCursor& TableCursor() const;
    std::string databaseName_;
    std::string tableName_;
    TTableType tableType_ = TTableType::ttDefault;
    bool readOnly_ = false;
    std::vector<engine::IndexDesc> indexDefs_;
};

}  // namespace tessel
