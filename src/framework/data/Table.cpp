// The table data set over a table file.

#include "framework/data/Table.h"

#include <unistd.h>

#include <filesystem>

#include "base/StringList.h"
#include "engine/TableFiles.h"
#include "engine/drivers/Drivers.h"
#include "engine/storage/TableFamily.h"
#include "framework/data/Session.h"
#include "framework/data/TableCursor.h"

namespace tessel {

namespace fs = std::filesystem;

namespace {

TDatabaseResolver& Resolver() {
    static TDatabaseResolver resolver;
    return resolver;
}

}  // namespace

void SetDatabaseResolver(TDatabaseResolver resolver) {
    Resolver() = std::move(resolver);
}

std::string ResolveDatabaseDirectory(const std::string& databaseName) {
    if (Resolver()) return Resolver()(databaseName);
    return EngineCall([&] { return SessionEngine().DirectoryFor(databaseName); });
}

TTable::~TTable() {
    Close();
}

void TTable::SetDatabaseName(const std::string& name) {
    if (name == databaseName_) return;
    CheckInactive();
    databaseName_ = name;
}

void TTable::SetTableName(const std::string& name) {
    if (name == tableName_) return;
    CheckInactive();
    tableName_ = name;
    indexDefs_.clear();
}

void TTable::SetTableType(TTableType type) {
    if (type == tableType_) return;
    CheckInactive();
    tableType_ = type;
}

void TTable::SetReadOnly(bool readOnly) {
    if (readOnly == readOnly_) return;
    CheckInactive();
    readOnly_ = readOnly;
}

std::string TTable::TablePath() const {
    if (tableName_.empty()) Error(dbmsg::kNoTableName);
    fs::path path(tableName_);
    if (!path.is_absolute()) path = fs::path(ResolveDatabaseDirectory(databaseName_)) / path;
    if (!path.has_extension()) {
        const engine::StorageDriver* driver =
            engine::FindDriverByName(tableType_ == TTableType::ttDBase ? "DBASE" : "PARADOX");
        path += std::string(driver ? driver->Extension() : engine::Drivers().front()->Extension());
    }
    // Names match files without regard to case when the exact name does not exist.
    if (auto found = engine::FindFileNoCase(path.parent_path().string(), path.filename().string())) return *found;
    return path.string();
}

std::unique_ptr<TDataCursor> TTable::CreateCursor() {
    const std::string path = TablePath();
    std::unique_ptr<engine::Table> table;
    if (readOnly_) {
        table = engine::OpenTableFile(path, engine::OpenMode::ReadOnly);
    } else {
        try {
            table = engine::OpenTableFile(path, engine::OpenMode::ReadWrite);
        } catch (const engine::EngineError& e) {
            // A file this process may only read still opens, for reading.
            if (e.Code() != engine::errc::kReadOnly && ::access(path.c_str(), W_OK) == 0) throw;
            table = engine::OpenTableFile(path, engine::OpenMode::ReadOnly);
        }
    }
    auto cursor = std::make_unique<TTableCursor>(std::move(table), readOnly_);
    indexDefs_ = cursor->Table().Indexes();
    return cursor;
}

bool TTable::CanModify() const {
    return !readOnly_ && TDataSet::CanModify();
}

TTableCursor& TTable::TableCursor() const {
    if (!Active())
        throw EDBEngineError("The specified cursor handle is invalid or NULL",
                             {{engine::errc::kInvalidParameter, 0, "The specified cursor handle is invalid or NULL"}});
    return static_cast<TTableCursor&>(*Cursor()->Base());
}

engine::Table* TTable::Handle() const {
    return Active() ? &static_cast<TTableCursor*>(Cursor()->Base())->Table() : nullptr;
}

engine::TableProperties TTable::CursorProperties() const {
    return TableCursor().Table().Properties();
}

std::vector<engine::FieldDesc> TTable::FieldDescriptors() const {
    return TableCursor().Table().Fields();
}

std::vector<engine::ValCheckDesc> TTable::ValidityChecks() const {
    return Engine([&] { return TableCursor().Table().ValidityChecks(); });
}

void TTable::UpdateIndexDefs() {
    if (Active()) {
        indexDefs_ = Engine([&] { return TableCursor().Table().Indexes(); });
        return;
    }
    const std::string path = TablePath();
    auto table = Engine([&] { return engine::OpenTableFile(path, engine::OpenMode::ReadOnly); });
    indexDefs_ = Engine([&] { return table->Indexes(); });
}

}  // namespace tessel
