// Table structure changes and the batch copy: they run on the storage drivers directly.

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "base/AsciiText.h"
#include "engine/Database.h"
#include "engine/Engine.h"
#include "base/EngineError.h"
#include "engine/SqlValue.h"
#include "engine/TableFamily.h"
#include "engine/TableFiles.h"
#include "engine/dbase/DbfTable.h"
#include "engine/paradox/ParadoxTable.h"
#include "engine/storage/LockedFile.h"

namespace tessel::engine {

namespace {

bool IsDbasePath(const std::string& path) { return strcasecmp(ExtensionOf(path).c_str(), ".dbf") == 0; }

void RequireKnownFormat(const std::string& path) {
    const std::string ext = ExtensionOf(path);
    if (strcasecmp(ext.c_str(), ".dbf") != 0 && strcasecmp(ext.c_str(), ".db") != 0)
        throw EngineError("Unknown table type of \"" + path + "\": the file name must end in .db or .dbf",
                          errc::kNotSupported);
}

FieldDesc CopyDesc(const FieldDesc& f) {
    FieldDesc d = FieldDesc::Make(f.name, f.type, f.subType, f.units1, f.units2, f.nativeType);
    return d;
}

// Number of UTF-8 characters.
size_t CharCount(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

// Field names valid and unique for the destination format: dBASE 10 characters of letters,
// digits and "_" starting with a letter; Paradox 25 characters.
std::vector<std::string> DestinationNames(const std::vector<FieldDesc>& fields, bool dbase) {
    const size_t maxLen = dbase ? 10 : 25;
    std::vector<std::string> names;
    for (const auto& f : fields) {
        std::string name = f.name;
        if (dbase) {
            for (auto& c : name) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) c = '_';
            }
            if (name.empty() || !(name[0] >= 'A' && name[0] <= 'Z')) name = std::string(1, 'F').append(name);
        } else {
            while (!name.empty() && name.front() == ' ') name.erase(0, 1);
            if (name.empty()) name = "FIELD";
        }
        if (name.size() > maxLen) name.resize(maxLen);
        const std::string stem = name;
        for (int n = 1;; ++n) {
            const bool clash = std::any_of(names.begin(), names.end(), [&](const std::string& g) { return SameAscii(g, name); });
            if (!clash) break;
            const std::string suffix = std::string("_").append(std::to_string(n));
            std::string base = stem;
            if (base.size() + suffix.size() > maxLen) base.resize(maxLen - suffix.size());
            name = base + suffix;
        }
        names.push_back(name);
    }
    return names;
}

// Field definitions for a copy into the given format, and which values need converting.
struct CopyPlan {
    std::vector<FieldDesc> fields;
    std::vector<bool> timeAsText;
};

CopyPlan PlanCopy(const std::vector<FieldDesc>& src, bool dbase) {
    CopyPlan plan;
    const auto names = DestinationNames(src, dbase);
    for (size_t k = 0; k < src.size(); ++k) {
        FieldDesc f = FieldDesc::Make(names[k], src[k].type, src[k].subType, src[k].units1, src[k].units2);
        bool asText = false;
        if (f.type == fldtype::kUnknown) {
            f.type = fldtype::kString;
            f.units1 = 254;
        }
        if (f.type == fldtype::kString) {
            if (f.units1 == 0) f.units1 = 1;
            f.units1 = static_cast<uint16_t>(std::min<int>(f.units1, dbase ? 254 : 255));
        }
        if (dbase) {
            if (f.type == fldtype::kInt32 && f.subType == fldsub::kAutoInc) f.subType = fldsub::kNone;
            if (f.type == fldtype::kTime) {
                f.type = fldtype::kString;
                f.units1 = 12;
                asText = true;
            } else if (f.type == fldtype::kBytes) {
                f.type = fldtype::kBlob;
                f.subType = fldsub::kBinary;
            } else if (f.type == fldtype::kBcd && f.units1 > 20) {
                f.units1 = 20;
            } else if (f.type == fldtype::kFloat && f.subType == fldsub::kNone && f.units1 > 0 && f.units1 <= 20) {
                f.nativeType = 'N';  // a sized number stays a sized number
            }
        } else if (f.type == fldtype::kInt32 && f.subType == fldsub::kAutoInc) {
            f.subType = fldsub::kNone;  // copied numbers stay as they are
        }
        plan.fields.push_back(std::move(f));
        plan.timeAsText.push_back(asText);
    }
    return plan;
}

// Refuses a value that its destination field would not hold whole.
void CheckFits(const FieldDesc& f, const Value& v, uint64_t recNo) {
    if (f.type == fldtype::kString && v.kind == ValueKind::Text && CharCount(v.s) > f.units1)
        throw EngineError("The value of field " + f.name + " in record " + std::to_string(recNo + 1) + " is " +
                              std::to_string(CharCount(v.s)) + " characters long; the field holds " +
                              std::to_string(f.units1),
                          errc::kInvalidParameter);
    if (f.type == fldtype::kBytes && (v.kind == ValueKind::Bytes || v.kind == ValueKind::Text) && v.s.size() > f.units1)
        throw EngineError("The value of field " + f.name + " in record " + std::to_string(recNo + 1) + " is too long",
                          errc::kInvalidParameter);
}

}  // namespace

// --- DDL --------------------------------------------------------------------------------------

void Database::RunDdl(const sql::BoundStatement& b) {
    if (inTransaction_)
        throw EngineError("A table's structure cannot change inside a transaction", errc::kNotSupported);
    switch (b.kind) {
    case sql::BoundKind::CreateTable: CreateTable(b.tablePath, b.newFields, b.primaryKey); return;
    case sql::BoundKind::AlterTable: AlterTable(b.tablePath, b.alterActions); return;
    case sql::BoundKind::DropTable: DropTable(b.tablePath); return;
    case sql::BoundKind::DropIndex:
        if (SameAscii(b.indexName, "PRIMARY")) {
            DropPrimaryIndex(b.tablePath);
            return;
        }
        {
            RequireKnownFormat(b.tablePath);
            TableEntry& e = EntryFor(b.tablePath);
            bool found = false;
            for (const auto& index : e.table->Indexes()) found = found || (!index.primary && SameAscii(index.name, b.indexName));
            if (!found) throw EngineError("Index does not exist: " + b.indexName, errc::kNotFound);
            if (e.table->IsReadOnly()) throw EngineError("Table " + b.tablePath + " is read-only", errc::kReadOnly);
            bool dropped;
            try {
                dropped = IsDbasePath(b.tablePath) ? dbase::DropDbaseIndex(*e.table, b.indexName)
                                                   : paradox::DropParadoxIndex(*e.table, b.indexName);
            } catch (...) {
                RetireEntry(b.tablePath);
                throw;
            }
            RetireEntry(b.tablePath);
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
        try {
            if (IsDbasePath(b.tablePath))
                dbase::CreateDbaseIndex(*e.table, b.indexName, b.indexFields, b.indexUnique, b.indexDescending);
            else
                paradox::CreateParadoxIndex(*e.table, b.indexName, b.indexFields, b.indexUnique, b.indexDescending);
        } catch (...) {
            RetireEntry(b.tablePath);
            throw;
        }
        RetireEntry(b.tablePath);
        return;
    }
    default: throw EngineError("Not a table change", errc::kSqlExecute);
    }
}

void Database::CreateTable(const std::string& path, const std::vector<FieldDesc>& fields,
                           const std::vector<std::string>& primaryKey) {
    RequireKnownFormat(path);
    if (!TableFamilyFiles(path).empty()) {
        for (const auto& f : TableFamilyFiles(path))
            if (SameAscii(ExtensionOf(f), ExtensionOf(path)))
                throw EngineError("Table already exists: " + FileNameOf(path), errc::kInvalidParameter);
    }
    if (fields.empty()) throw EngineError("A table needs at least one field", errc::kInvalidParameter);
    for (size_t i = 0; i < fields.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (SameAscii(fields[i].name, fields[j].name))
                throw EngineError("Duplicate field name: " + fields[i].name, errc::kInvalidParameter);
    CreateOptions options;
    if (!primaryKey.empty()) {
        if (IsDbasePath(path))
            throw EngineError("Capability not supported: a dBASE table has no primary key", errc::kNotSupported);
        for (size_t k = 0; k < primaryKey.size(); ++k)
            if (k >= fields.size() || !SameAscii(primaryKey[k], fields[k].name))
                throw EngineError("The key fields must be the first fields of the table, in table order", errc::kInvalidParameter);
        options.keyFields = primaryKey.size();
    }
    const std::vector<std::string> before = TableFamilyFiles(path);
    try {
        CreateTableFile(path, fields, options)->Close();
    } catch (...) {
        // Remove what the failed creation left, but nothing that was there before.
        for (const auto& f : TableFamilyFiles(path))
            if (std::find(before.begin(), before.end(), f) == before.end()) ::unlink(f.c_str());
        throw;
    }
    RetireEntry(path);
}

namespace {

// Rewrites a table with new fields (each taken from an old field or new and null) under a
// temporary name and puts it in the old one's place.
void RewriteTable(Table& source, const std::string& path, const std::vector<FieldDesc>& fields,
                  const std::vector<int>& from, size_t keyFields, const Engine& engine) {
    for (const auto& index : source.Indexes())
        if (!index.primary)
            throw EngineError("Capability not supported: changing a table that has secondary indexes (" + index.name + ")",
                              errc::kNotSupported);
    if (!source.ValidityChecks().empty())
        throw EngineError("Capability not supported: changing a table that has validity checks", errc::kNotSupported);
    CreateOptions options;
    options.codePage = source.Properties().codePage;
    options.keyFields = keyFields;
    const std::string tmp = TemporaryTablePath(DirectoryOf(path), path);
    try {
        {
            TableLock readLock(source, LockMode::Exclusive);
            source.Refresh();
            auto dest = CreateTableFile(tmp, fields, options);
            {
                TableLock writeLock(*dest, LockMode::Exclusive);
                Record in, out(fields.size());
                const uint32_t n = source.RecordCount();
                for (uint32_t slot = 0; slot < n; ++slot) {
                    if ((slot & 0xFFF) == 0 && engine.Cancelled()) throw EngineError("Operation cancelled", errc::kCancelled);
                    if (!source.ReadRecord(slot, in)) continue;
                    for (size_t k = 0; k < fields.size(); ++k) {
                        if (from[k] >= 0)
                            out[k] = in[static_cast<size_t>(from[k])];
                        else
                            out[k].SetNull();
                    }
                    dest->AppendRecord(out);
                }
            }
            dest->Close();
        }
        ReplaceTableFamily(tmp, path);
    } catch (...) {
        try {
            RemoveTableFamily(tmp);
        } catch (...) {
        }
        throw;
    }
}

}  // namespace

void Database::AlterTable(const std::string& path, const std::vector<sql::BoundAlterAction>& actions) {
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
        auto it = std::find_if(fields.begin(), fields.end(), [&](const FieldDesc& f) { return SameAscii(f.name, action.field.name); });
        if (action.kind == sql::BoundAlterAction::Kind::Add) {
            if (it != fields.end()) throw EngineError("Field already exists: " + action.field.name, errc::kInvalidParameter);
            fields.push_back(action.field);
            from.push_back(-1);
        } else {
            if (it == fields.end()) throw EngineError("Invalid field name: " + action.field.name, errc::kSqlBind);
            const size_t pos = static_cast<size_t>(it - fields.begin());
            if (pos < keyFields) throw EngineError("A key field cannot be dropped: " + action.field.name, errc::kInvalidParameter);
            fields.erase(it);
            from.erase(from.begin() + static_cast<std::ptrdiff_t>(pos));
        }
    }
    if (fields.empty()) throw EngineError("A table needs at least one field", errc::kInvalidParameter);
    RewriteTable(*e.table, path, fields, from, keyFields, engine_);
    RetireEntry(path);
}

void Database::DropPrimaryIndex(const std::string& path) {
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
    RequireKnownFormat(path);
    RetireEntry(path);
    // In use by another program: its lock keeps us waiting, then fails. The table is not
    // opened, so a damaged table can be dropped too.
    LockedFile file;
    file.Open(path, true);
    FileLockGuard lock(file, LockMode::Exclusive);
    RemoveTableFamily(path);
}

// --- Batch copy ----------------------------------------------------------------------------------

uint64_t Database::BatchCopy(Cursor& source, const std::string& destPath) {
    RunningGuard running(engine_);
    RequireKnownFormat(destPath);
    const bool dbase = IsDbasePath(destPath);
    CopyPlan plan = PlanCopy(source.Fields(), dbase);

    // Text fields of unknown width take the widest value of the answer.
    sqlite3_stmt* stmt = nullptr;
    const std::string sql = "SELECT * FROM temp." + source.TableName() + " ORDER BY rowid";
    const std::string tmp = TemporaryTablePath(DirectoryOf(destPath), destPath);
    uint64_t copied = 0;
    try {
        CreateOptions options;
        options.fixNames = true;
        auto dest = CreateTableFile(tmp, plan.fields, options);
        {
            TableLock writeLock(*dest, LockMode::Exclusive);
            if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) ThrowSqlite(SQLITE_ERROR, "");
            Record rec(plan.fields.size());
            int rc;
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
                if ((copied & 0xFFF) == 0) CheckCancelled();
                for (size_t k = 0; k < plan.fields.size(); ++k) {
                    ColumnValue(stmt, static_cast<int>(k), source.Fields()[k], rec[k]);
                    if (plan.timeAsText[k] && rec[k].kind == ValueKind::Time) rec[k].SetText(FormatTime(rec[k].i));
                    CheckFits(plan.fields[k], rec[k], copied);
                }
                dest->AppendRecord(rec);
                ++copied;
            }
            if (rc != SQLITE_DONE) ThrowSqlite(rc, "");
            sqlite3_finalize(stmt);
            stmt = nullptr;
        }
        dest->Close();
        RetireEntry(destPath);
        ReplaceTableFamily(tmp, destPath);
    } catch (...) {
        sqlite3_finalize(stmt);
        try {
            RemoveTableFamily(tmp);
        } catch (...) {
        }
        throw;
    }
    return copied;
}

uint64_t Database::BatchCopy(Table& source, const std::string& destPath) {
    RunningGuard running(engine_);
    RequireKnownFormat(destPath);
    RetireEntry(destPath);
    return CopyTableFile(source, destPath);
}

}  // namespace tessel::engine
