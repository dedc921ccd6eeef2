// Table structure changes and the batch copy: they run on the storage drivers directly.

#include <algorithm>
#include <cctype>
#include <functional>
#include <set>

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "base/FileUtil.h"
#include "engine/Database.h"
#include "engine/Engine.h"
#include "engine/SqlValue.h"
#include "engine/TableFiles.h"
#include "engine/drivers/Drivers.h"
#include "engine/storage/LockedFile.h"
#include "engine/storage/RollbackJournal.h"
#include "engine/storage/TableFamily.h"

namespace tessel::engine {

namespace {

const StorageDriver& RequireKnownFormat(const std::string& path) {
    return DriverForPath(path);
}

FieldDesc CopyDesc(const FieldDesc& f) {
    return FieldDesc::Make(f.name, f.type, f.subType, f.units1, f.units2, f.nativeType);
}

}  // namespace

// --- DDL --------------------------------------------------------------------------------------

void Database::RunDdl(const sql::BoundStatement& b) {
    if (inTransaction_)
        throw EngineError("A table's structure cannot change inside a transaction", errc::kNotSupported);
    switch (b.kind) {
        case sql::BoundKind::CreateTable:
            CreateTable(b.tablePath, b.newFields, b.primaryKey);
            return;
        case sql::BoundKind::AlterTable:
            AlterTable(b.tablePath, b.alterActions);
            return;
        case sql::BoundKind::DropTable:
            DropTable(b.tablePath);
            return;
        case sql::BoundKind::DropIndex:
            if (SameAscii(b.indexName, "PRIMARY")) {
                DropPrimaryIndex(b.tablePath);
                return;
            }
            {
                RequireKnownFormat(b.tablePath);
                TableEntry& e = EntryFor(b.tablePath);
                bool found = false;
                for (const auto& index : e.table->Indexes())
                    found = found || (!index.primary && SameAscii(index.name, b.indexName));
                if (!found) throw EngineError("Index does not exist: " + b.indexName, errc::kNotFound);
                if (e.table->IsReadOnly()) throw EngineError("Table " + b.tablePath + " is read-only", errc::kReadOnly);
                bool dropped = false;
                ChangeIndexes(e, [&] { dropped = e.table->DropIndex(b.indexName); });
                if (!dropped) throw EngineError("Index does not exist: " + b.indexName, errc::kNotFound);
            }
            return;
        case sql::BoundKind::CreateIndex: {
            RequireKnownFormat(b.tablePath);
            TableEntry& e = EntryFor(b.tablePath);
            for (const auto& index : e.table->Indexes())
                if (SameAscii(index.name, b.indexName) || SameAscii("PRIMARY", b.indexName))
                    throw EngineError("Index already exists: " + b.indexName, errc::kInvalidParameter);
            if (e.table->IsReadOnly()) throw EngineError("Table " + b.tablePath + " is read-only", errc::kReadOnly);
            ChangeIndexes(e,
                          [&] { e.table->CreateIndex(b.indexName, b.indexFields, b.indexUnique, b.indexDescending); });
            return;
        }
        default:
            throw EngineError("Not a table change", errc::kSqlExecute);
    }
}

void Database::ChangeIndexes(TableEntry& e, const std::function<void()>& change) {
    // The index files and the table's header change in place: under a journal, so a failure
    // part-way leaves them as they were, and under the table lock until they are put back, so
    // no other program sees them half made.
    const std::string path = e.info.path;
    Table& table = *e.table;
    RollbackJournal journal(path);
    try {
        table.Lock(LockMode::Exclusive);
        change();
        table.Unlock();  // writes what the change kept back
    } catch (...) {
        try {
            journal.Rollback();
        } catch (...) {
            // The journal stays hot and the next opener rolls it back.
        }
        table.Abandon();
        RetireEntry(path);
        throw;
    }
    RetireEntry(path);
    journal.Commit();
}

void Database::CreateTable(const std::string& path, const std::vector<FieldDesc>& fields,
                           const std::vector<std::string>& primaryKey) {
    FinishStreams();
    const StorageDriver& driver = RequireKnownFormat(path);
    if (!TableFamilyFiles(path, driver).empty()) {
        for (const auto& f : TableFamilyFiles(path, driver))
            if (SameAscii(ExtractFileExt(f), ExtractFileExt(path)))
                throw EngineError("Table already exists: " + ExtractFileName(path), errc::kInvalidParameter);
    }
    if (fields.empty()) throw EngineError("A table needs at least one field", errc::kInvalidParameter);
    for (size_t i = 0; i < fields.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (SameAscii(fields[i].name, fields[j].name))
                throw EngineError("Duplicate field name: " + fields[i].name, errc::kInvalidParameter);
    CreateOptions options;
    if (!primaryKey.empty()) {
        if (!driver.HasPrimaryKeys())
            throw EngineError(
                "Capability not supported: a " + std::string(driver.DisplayName()) + " table has no primary key",
                errc::kNotSupported);
        for (size_t k = 0; k < primaryKey.size(); ++k)
            if (k >= fields.size() || !SameAscii(primaryKey[k], fields[k].name))
                throw EngineError("The key fields must be the first fields of the table, in table order",
                                  errc::kInvalidParameter);
        options.keyFields = primaryKey.size();
    }
    const std::vector<std::string> before = TableFamilyFiles(path, driver);
    try {
        driver.Create(path, fields, options)->Close();
    } catch (...) {
        // Remove what the failed creation left, but nothing that was there before.
        for (const auto& f : TableFamilyFiles(path, driver))
            if (std::find(before.begin(), before.end(), f) == before.end()) ::unlink(f.c_str());
        throw;
    }
    RetireEntry(path);
}

namespace {

// Rewrites a table with new fields (each taken from an old field or new and null) under a
// temporary name and puts it in the old one's place.
void RewriteTable(Table& source, const std::string& path, const std::vector<FieldDesc>& fields,
                  const std::vector<int>& from, size_t keyFields, Engine& engine) {
    for (const auto& index : source.Indexes())
        if (!index.primary)
            throw EngineError(
                "Capability not supported: changing a table that has secondary indexes (" + index.name + ")",
                errc::kNotSupported);
    if (!source.ValidityChecks().empty())
        throw EngineError("Capability not supported: changing a table that has validity checks", errc::kNotSupported);
    CreateOptions options;
    options.codePage = source.Properties().codePage;
    options.keyFields = keyFields;
    options.finalPath = path;
    const StorageDriver& driver = source.Driver();
    BuildTableFamily(path, driver, [&](const std::string& tmp) {
        TableLock readLock(source, LockMode::Exclusive);
        source.Refresh();
        auto dest = driver.Create(tmp, fields, options);
        {
            TableLock writeLock(*dest, LockMode::Exclusive);
            Record in, out(fields.size());
            const uint32_t n = source.RecordCount();
            for (uint32_t slot = 0; slot < n; ++slot) {
                if ((slot & 0xFFF) == 0) engine.CheckCancelled();
                if (!source.ReadRecord(slot, in)) continue;
                for (size_t k = 0; k < fields.size(); ++k) {
                    if (from[k] >= 0)
                        out[k] = in[static_cast<size_t>(from[k])];
                    else
                        out[k].SetNull();
                }
                dest->AppendRecord(out);
            }
            writeLock.Release();
        }
        dest->Close();
        readLock.Release();
    });
}

}  // namespace

void Database::AlterTable(const std::string& path, const std::vector<sql::BoundAlterAction>& actions) {
    FinishStreams();
    TableEntry& e = EntryFor(path);
    if (e.table->IsReadOnly()) throw EngineError("Table " + path + " is read-only", errc::kReadOnly);
    const auto& old = e.table->Fields();
    std::vector<FieldDesc> fields;
    std::vector<int> from;
    for (size_t k = 0; k < old.size(); ++k) {
        if (old[k].hidden) continue;
        fields.push_back(CopyDesc(old[k]));
        from.push_back(static_cast<int>(k));
    }
    const size_t keyFields = e.info.primaryKey.size();
    for (const auto& action : actions) {
        auto it = std::find_if(fields.begin(), fields.end(),
                               [&](const FieldDesc& f) { return SameAscii(f.name, action.field.name); });
        if (action.kind == sql::BoundAlterAction::Kind::Add) {
            if (it != fields.end())
                throw EngineError("Field already exists: " + action.field.name, errc::kInvalidParameter);
            fields.push_back(action.field);
            from.push_back(-1);
        } else {
            if (it == fields.end()) throw EngineError("Invalid field name: " + action.field.name, errc::kSqlBind);
            const size_t pos = static_cast<size_t>(it - fields.begin());
            if (pos < keyFields)
                throw EngineError("A key field cannot be dropped: " + action.field.name, errc::kInvalidParameter);
            fields.erase(it);
            from.erase(from.begin() + static_cast<std::ptrdiff_t>(pos));
        }
    }
    if (fields.empty()) throw EngineError("A table needs at least one field", errc::kInvalidParameter);
    RewriteTable(*e.table, path, fields, from, keyFields, engine_);
    RetireEntry(path);
}

void Database::DropPrimaryIndex(const std::string& path) {
    FinishStreams();
    TableEntry& e = EntryFor(path);
    if (e.info.primaryKey.empty()) throw EngineError("Index does not exist: PRIMARY", errc::kNotFound);
    if (e.table->IsReadOnly()) throw EngineError("Table " + path + " is read-only", errc::kReadOnly);
    std::vector<FieldDesc> fields;
    std::vector<int> from;
    const auto& old = e.table->Fields();
    for (size_t k = 0; k < old.size(); ++k) {
        if (old[k].hidden) continue;
        fields.push_back(CopyDesc(old[k]));
        from.push_back(static_cast<int>(k));
    }
    RewriteTable(*e.table, path, fields, from, 0, engine_);
    RetireEntry(path);
}

void Database::DropTable(const std::string& path) {
    FinishStreams();
    const StorageDriver& driver = RequireKnownFormat(path);
    RetireEntry(path);
    // In use by another program: its lock keeps us waiting, then fails. The table is not
    // opened, so a damaged table can be dropped too.
    LockedFile file;
    file.Open(path, true);
    FileLockGuard lock(file, LockMode::Exclusive);
    RemoveTableFamily(path, driver);
}

// --- Batch copy ----------------------------------------------------------------------------------

uint64_t Database::BatchCopy(Cursor& source, const std::string& destPath) {
    const int64_t n = source.RecordCount();  // the whole answer in, and its query ended
    return BatchCopy(
        source.Fields(), n, [&](int64_t k, Record& rec) { source.ReadRecord(k, rec); }, destPath);
}

uint64_t Database::BatchCopy(const std::vector<FieldDesc>& fields, int64_t n,
                             const std::function<void(int64_t, Record&)>& read, const std::string& destPath) {
    FinishStreams();
    RunningGuard running(engine_);
    RequireKnownFormat(destPath);
    int64_t next = 0;
    return CopyRecords(fields, nullptr, destPath, [&](Record& rec) {
        if (next == n) {
            RetireEntry(destPath);  // the destination is about to be replaced
            return false;
        }
        if ((next & 0xFFF) == 0) {
            engine_.SetCopyProgress(next, n);
            CheckCancelled();
        }
        read(next++, rec);
        return true;
    });
}

uint64_t Database::BatchCopy(Table& source, const std::string& destPath) {
    FinishStreams();
    RunningGuard running(engine_);
    RequireKnownFormat(destPath);
    RetireEntry(destPath);
    return CopyTableFile(source, destPath);
}

}  // namespace tessel::engine
