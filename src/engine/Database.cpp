// A database: name resolution, the statement runner, changes, transactions.

#include "engine/Database.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "base/FileUtil.h"
#include "engine/Engine.h"
#include "engine/Server.h"
#include "engine/ServerTables.h"
#include "engine/SqlValue.h"
#include "engine/StatementLocks.h"
#include "engine/TableFiles.h"
#include "engine/VirtualTable.h"
#include "engine/drivers/Drivers.h"
#include "engine/sql/Binder.h"
#include "engine/sql/DialectFunctions.h"
#include "engine/sql/Parser.h"
#include "engine/storage/TableFamily.h"

namespace tessel::engine {

namespace fs = std::filesystem;

namespace {

// tessel_row_count('t1'): the number of live records of a table the statement reads, for a
// COUNT(*) over the whole table (the binder writes this call instead of a scan).
void RowCountFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* owner = static_cast<Database*>(sqlite3_user_data(ctx));
    const char* name = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    TableEntry* e = name ? owner->FindEntryBySqlName(name) : nullptr;
    if (!e || !e->table) {
        sqlite3_result_error(ctx, "no open table for COUNT(*)", -1);
        return;
    }
    try {
        sqlite3_result_int64(ctx, owner->LiveCount(*e));
    } catch (const std::exception& ex) {
        owner->SetPendingError(std::current_exception());
        sqlite3_result_error(ctx, ex.what(), -1);
    }
}

int ProgressHandler(void* arg) {
    auto* engine = static_cast<Engine*>(arg);
    engine->Tick();
    return engine->Cancelled() ? 1 : 0;
}

}  // namespace

Database::Database(Engine& engine, std::string directory, std::string defaultDriver)
    : engine_(engine), directory_(std::move(directory)), defaultDriver_(std::move(defaultDriver)) {
    while (directory_.size() > 1 && directory_.back() == '/') directory_.pop_back();
    const int rc =
        sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw EngineError("Cannot open the SQL engine", errc::kGeneral, rc);
    }
    // A double-quoted name is always an identifier, never a string that happens to match.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_limit(db_, SQLITE_LIMIT_SQL_LENGTH, limits_.maxSqlLength + 4096);
    sqlite3_limit(db_, SQLITE_LIMIT_EXPR_DEPTH, limits_.maxExprDepth);
    sqlite3_limit(db_, SQLITE_LIMIT_COMPOUND_SELECT, limits_.maxCompoundSelect);
    sqlite3_limit(db_, SQLITE_LIMIT_COLUMN, limits_.maxColumns);
    sqlite3_progress_handler(db_, 1000, ProgressHandler, &engine_);
    RegisterTableModule(db_, this);
    RegisterServerModule(db_, this);
    sqlite3_create_function_v2(db_, "tessel_row_count", 1, SQLITE_UTF8 | SQLITE_DIRECTONLY, this, RowCountFunction,
                               nullptr, nullptr, nullptr);
    sql::RegisterDialectFunctions(db_);
    Exec("PRAGMA temp_store = FILE");
}

Database::~Database() {
    // An answer outliving its database keeps its rows but not its query.
    for (Cursor* c : std::vector<Cursor*>(streams_)) c->EndStream();
    if (inTransaction_) {
        try {
            Rollback();
        } catch (...) {
        }
    }
    for (auto& [path, e] : entries_) {
        try {
            if (e->table) e->table->Close();
        } catch (...) {
        }
    }
    sqlite3_close_v2(db_);
}

void Database::Exec(const std::string& sql) {
    char* msg = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) {
        std::string text = msg ? msg : sqlite3_errstr(rc);
        sqlite3_free(msg);
        throw EngineError(text, errc::kSqlExecute, rc);
    }
}

void Database::ThrowSqlite(int rc, const std::string& context) {
    if (pendingError_) {
        auto e = pendingError_;
        pendingError_ = nullptr;
        std::rethrow_exception(e);
    }
    if (rc == SQLITE_INTERRUPT || engine_.Cancelled()) throw EngineError("Operation cancelled", errc::kCancelled, rc);
    std::string msg = sqlite3_errmsg(db_);
    if (!context.empty()) msg = context + ": " + msg;
    throw EngineError(msg, errc::kSqlExecute, rc);
}

void Database::CheckCancelled() const {
    engine_.CheckCancelled();
}

// --- Name resolution ------------------------------------------------------------------------

std::string Database::ResolveDirectory(const std::string& alias) {
    if (alias.empty()) return directory_;
    if (!engine_.Aliases().AliasExists(alias)) throw EngineError("Unknown alias: " + alias, errc::kUnknownAlias);
    return engine_.DirectoryFor(alias);
}

std::string Database::TablePath(const sql::TableName& name, bool mustExist) {
    std::string rel = name.name.empty() ? name.text : name.name;
    std::replace(rel.begin(), rel.end(), '\\', '/');
    std::string driver = defaultDriver_;
    std::string base;
    if (!name.alias.empty()) {
        base = ResolveDirectory(name.alias);
        driver = engine_.Aliases().DefaultDriver(name.alias);
    } else {
        base = directory_;
    }
    if (rel.empty()) throw EngineError("Table does not exist: empty table name", errc::kNotFound);
    // A file name cannot hold a NUL: the system would cut the name there and reach another file.
    if (rel.find('\0') != std::string::npos)
        throw EngineError("Invalid table name: it contains a NUL character", errc::kInvalidParameter);
    std::string full = rel.front() == '/' ? rel : (base == "/" ? "" : base) + "/" + rel;
    if (ExtractFileExt(full).empty()) {
        const StorageDriver* d = FindDriverByName(driver);
        full += d ? d->Extension() : Drivers().front()->Extension();
    }
    const std::string dir = ExtractFileDir(full);
    // A rewrite of this table that a crash cut off between its renames is finished first, before
    // anything is learnt about the table.
    auto found = FindFileNoCase(dir, ExtractFileName(full));
    if (HasInterruptedSwap(found ? *found : full)) {
        RecoverInterruptedSwaps(dir);
        found = FindFileNoCase(dir, ExtractFileName(full));
    }
    if (found) return *found;
    if (mustExist) {
        const std::string shown = name.alias.empty() ? rel : ":" + name.alias + ":" + rel;
        throw EngineError("Table does not exist: " + shown, errc::kNotFound);
    }
    // A new table: an existing family member of another case decides nothing; the name is
    // used as written.
    return full;
}

const sql::CatalogTable& Database::ResolveTable(const sql::TableName& name) {
    if (!name.alias.empty() && engine_.Aliases().IsServerAlias(name.alias))
        return ServerEntryFor(name.alias, name.name).info;
    return EntryFor(TablePath(name, true)).info;
}

ServerTableEntry& Database::ServerEntryFor(const std::string& alias, const std::string& table) {
    const std::string key = AsciiUpper(":" + alias + ":" + table);
    auto it = serverEntries_.find(key);
    if (it != serverEntries_.end()) return *it->second;
    auto e = std::make_unique<ServerTableEntry>();
    e->alias = alias;
    e->table = table;
    e->info.path = ":" + alias + ":" + table;
    e->info.sqliteName = "s" + std::to_string(++nameCounter_);
    e->info.typeName = kPostgresAliasType;
    ServerConnection& server = ServerFor(alias);
    e->info.fields = server.Columns(table);
    try {
        server.Execute("SELECT ctid FROM " + QuoteServerName(table) + " LIMIT 0");
        e->rowIds = true;
    } catch (const EngineError&) {
        // A view: its rows have no address.
    }
    ServerTableEntry& ref = *e;
    serverBySqlName_[e->info.sqliteName] = e.get();
    serverEntries_[key] = std::move(e);
    return ref;
}

ServerTableEntry* Database::FindServerEntry(const std::string& sqliteName) {
    auto it = serverBySqlName_.find(sqliteName);
    return it == serverBySqlName_.end() ? nullptr : it->second;
}

ServerConnection& Database::ServerFor(const std::string& alias) {
    const std::string key = AsciiUpper(alias);
    auto it = servers_.find(key);
    if (it != servers_.end() && it->second->Healthy()) return *it->second;
    auto made = std::make_unique<ServerConnection>(ServerParamsFor(engine_.Aliases(), alias), &engine_);
    ServerConnection& ref = *made;
    servers_[key] = std::move(made);
    return ref;
}

void Database::SendServerInserts(const std::vector<ServerTableEntry*>& tables) {
    for (ServerTableEntry* e : tables) {
        if (e->inserted.empty()) continue;
        std::vector<Record> rows = std::move(e->inserted);
        e->inserted.clear();
        ServerConnection& server = ServerFor(e->alias);
        std::vector<std::string> names;
        std::vector<size_t> fields;
        for (size_t k = 0; k < e->info.fields.size(); ++k) {
            names.push_back(e->info.fields[k].name);
            fields.push_back(k);
        }
        size_t next = 0;
        server.Execute("BEGIN");
        try {
            server.CopyIn(QuoteServerName(e->table), names, fields, [&](Record& rec) {
                if (next == rows.size()) return false;
                rec = std::move(rows[next++]);
                return true;
            });
            server.Execute("COMMIT");
        } catch (...) {
            try {
                server.Execute("ROLLBACK");
            } catch (...) {
                // A broken connection has ended the transaction itself.
            }
            throw;
        }
    }
}

std::string Database::PathForNewTable(const sql::TableName& name) {
    return TablePath(name, false);
}

std::string Database::StampOf(const std::string& path) const {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    // A file changed in the last seconds may change again within the same tick of the file
    // system's clock, in place and at the same size, without its stamp showing it: such a
    // stamp is no stamp (empty), and nothing learnt about the file is kept.
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (st.st_mtim.tv_sec >= now.tv_sec - 2 || st.st_ctim.tv_sec >= now.tv_sec - 2) return {};
    return std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + ":" + std::to_string(st.st_ino);
}

TableEntry& Database::EntryFor(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        RetireEntry(path);
        throw EngineError("Table does not exist: " + path, errc::kNotFound);
    }
    auto it = entries_.find(path);
    if (it != entries_.end()) {
        TableEntry& e = *it->second;
        if (e.device == st.st_dev && e.inode == st.st_ino) return e;
        RetireEntry(path);  // replaced by another program: open it afresh
    }
    auto e = std::make_unique<TableEntry>();
    try {
        e->table = OpenTableFile(path, OpenMode::ReadWrite);
    } catch (const EngineError& err) {
        if (err.Code() != errc::kReadOnly) throw;
        e->table = OpenTableFile(path, OpenMode::ReadOnly);
    }
    e->device = st.st_dev;
    e->inode = st.st_ino;
    e->info.path = path;
    e->info.sqliteName = std::string("t").append(std::to_string(++nameCounter_));
    e->info.typeName = e->table->Properties().typeName;
    e->info.driver = &e->table->Driver();
    const auto& fields = e->table->Fields();
    const std::vector<std::string> sqlNames = SqlFieldNames(fields);
    for (size_t k = 0; k < fields.size(); ++k) {
        if (fields[k].hidden) continue;
        e->info.fields.push_back(fields[k]);
        e->info.fields.back().name = sqlNames[k];
        e->columnMap.push_back(k);
    }
    for (const auto& index : e->table->Indexes()) {
        if (!index.primary) continue;
        size_t start = 0;
        while (start <= index.fields.size()) {
            const size_t semi = index.fields.find(';', start);
            const std::string f =
                index.fields.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
            if (!f.empty()) e->info.primaryKey.push_back(f);
            if (semi == std::string::npos) break;
            start = semi + 1;
        }
    }
    TableEntry& ref = *e;
    bySqlName_[e->info.sqliteName] = e.get();
    entries_[path] = std::move(e);
    return ref;
}

void Database::RetireEntry(const std::string& path) {
    auto it = entries_.find(path);
    if (it == entries_.end()) return;
    std::unique_ptr<TableEntry> e = std::move(it->second);
    entries_.erase(it);
    if (e->registered) {
        try {
            Exec("DROP TABLE IF EXISTS temp." + sql::QuoteSqliteIdentifier(e->info.sqliteName));
        } catch (...) {
        }
    }
    bySqlName_.erase(e->info.sqliteName);
    try {
        if (e->table) e->table->Close();
    } catch (...) {
    }
    e->table.reset();
    e->retired = true;
    retired_.push_back(std::move(e));  // a bound statement may still point at its info
}

void Database::Register(TableEntry& e) {
    if (e.registered) return;
    Exec("CREATE VIRTUAL TABLE temp." + sql::QuoteSqliteIdentifier(e.info.sqliteName) + " USING tessel_table");
    e.registered = true;
}

TableEntry* Database::FindEntryBySqlName(const std::string& name) {
    auto it = bySqlName_.find(name);
    return it == bySqlName_.end() ? nullptr : it->second;
}

void Database::Reopen(TableEntry& e) {
    try {
        if (e.table) e.table->Close();
    } catch (...) {
    }
    e.table.reset();
    try {
        e.table = OpenTableFile(e.info.path, OpenMode::ReadWrite);
    } catch (const EngineError& err) {
        if (err.Code() != errc::kReadOnly) throw;
        e.table = OpenTableFile(e.info.path, OpenMode::ReadOnly);
    }
    e.DropCaches();
}

// --- Column indexes ---------------------------------------------------------------------------

const ColumnIndex& Database::IndexFor(TableEntry& e, int column) {
    auto it = e.indexes.find(column);
    if (it != e.indexes.end()) return it->second;
    ColumnIndex index;
    const size_t field = e.columnMap.at(static_cast<size_t>(column));
    const FieldDesc& fd = e.table->Fields()[field];
    const char* sqlType = SqlTypeOf(fd);
    index.numeric = std::strcmp(sqlType, "INTEGER") == 0 || std::strcmp(sqlType, "REAL") == 0;
    std::vector<bool> mask(e.table->Fields().size(), false);
    mask[field] = true;
    Record rec;
    const uint32_t n = e.table->RecordCount();
    for (uint32_t slot = 0; slot < n; ++slot) {
        if ((slot & 0xFFF) == 0) CheckCancelled();
        if (!e.table->ReadRecord(slot, rec, &mask)) continue;
        const Value& v = rec[field];
        if (v.IsNull()) continue;
        if (index.numeric) {
            index.numbers.emplace_back(
                v.kind == ValueKind::Decimal || v.kind == ValueKind::Double ? v.AsDouble() : static_cast<double>(v.i),
                slot);
        } else if (v.kind == ValueKind::Text) {
            std::string key = v.s;
            while (!key.empty() && key.back() == ' ') key.pop_back();
            index.texts.emplace_back(std::move(key), slot);
        } else if (v.kind == ValueKind::Date) {
            index.texts.emplace_back(SqliteDateText(v.i), slot);
        } else if (v.kind == ValueKind::Time) {
            index.texts.emplace_back(SqliteTimeText(v.i), slot);
        } else if (v.kind == ValueKind::Timestamp) {
            index.texts.emplace_back(SqliteTimestampText(v.i), slot);
        } else {
            index.texts.emplace_back(v.s, slot);
        }
    }
    std::sort(index.numbers.begin(), index.numbers.end());
    std::sort(index.texts.begin(), index.texts.end());
    return e.indexes.emplace(column, std::move(index)).first->second;
}

uint32_t Database::LiveCount(TableEntry& e) {
    // A driver that removes deleted records at once keeps no deleted slots. A table this statement changes is counted
    // afresh, as a scan would see it now.
    if (e.info.driver->DeleteRemovesRecords()) return e.table->RecordCount();
    if (e.liveCount && !e.writing) return *e.liveCount;
    const std::vector<bool> none(e.table->Fields().size(), false);
    Record rec;
    uint32_t live = 0;
    const uint32_t n = e.table->RecordCount();
    for (uint32_t slot = 0; slot < n; ++slot) {
        if ((slot & 0xFFFF) == 0) CheckCancelled();
        if (e.table->ReadRecord(slot, rec, &none)) ++live;
    }
    if (!e.writing) e.liveCount = live;
    return live;
}

// --- Changes ----------------------------------------------------------------------------------

void Database::PrepareToChange(TableEntry& e) {
    if (inTransaction_ && !transactionJournal_.Has(e.info.path)) {
        transactionJournal_.Snapshot(e.info.path);
        transactionTables_.push_back(&e);
    }
    if (statement_ && !statement_->journal.Has(e.info.path)) statement_->journal.Snapshot(e.info.path);
}

void Database::Apply(Op& op) {
    TableEntry& e = *op.entry;
    e.DropCaches();
    if (!e.touched) {
        e.touched = true;
        if (statement_) statement_->touched.push_back(&e);
    }
    switch (op.kind) {
        case Op::Kind::Insert:
            e.table->AppendRecord(op.rec);
            return;
        case Op::Kind::Delete:
            if (e.info.driver->DeleteRemovesRecords())
                e.deferredDeletes.push_back(op.slot);  // later slots move up when a record goes
            else
                e.table->DeleteRecord(op.slot);
            return;
        case Op::Kind::Update: {
            if (!e.info.primaryKey.empty()) {
                const size_t keyFields = e.info.primaryKey.size();
                std::vector<bool> mask(e.table->Fields().size(), false);
                for (size_t k = 0; k < keyFields; ++k) mask[k] = true;
                Record old;
                e.table->ReadRecord(op.slot, old, &mask);
                bool changed = false;
                for (size_t k = 0; k < keyFields && !changed; ++k) changed = !(old[k] == op.rec[k]);
                if (changed) {
                    // The record moves to its new key's place: after the scan, as a delete and
                    // an insert, with a before-image since that is two changes.
                    PrepareToChange(e);
                    e.deferredDeletes.push_back(op.slot);
                    e.deferredInserts.push_back(std::move(op.rec));
                    return;
                }
            }
            e.table->UpdateRecord(op.slot, op.rec);
            return;
        }
    }
}

void Database::OnInsert(TableEntry& e, Record&& rec) {
    Op op;
    op.kind = Op::Kind::Insert;
    op.entry = &e;
    op.rec = std::move(rec);
    Submit(std::move(op));
}

void Database::OnUpdate(TableEntry& e, uint32_t slot, Record&& rec) {
    Op op;
    op.kind = Op::Kind::Update;
    op.entry = &e;
    op.slot = slot;
    op.rec = std::move(rec);
    Submit(std::move(op));
}

void Database::OnDelete(TableEntry& e, uint32_t slot) {
    Op op;
    op.kind = Op::Kind::Delete;
    op.entry = &e;
    op.slot = slot;
    Submit(std::move(op));
}

// A statement's first change waits: if it stays the only one, FinishChanges runs it as one
// driver call. A second change first takes the before-images and applies the waiting one.
void Database::Submit(Op&& op) {
    CheckCancelled();
    StatementState& st = *statement_;
    if (++st.ops == 1) {
        st.first = std::move(op);
        return;
    }
    if (st.first) {
        PrepareToChange(*st.first->entry);
        Op first = std::move(*st.first);
        st.first.reset();
        Apply(first);
    }
    PrepareToChange(*op.entry);
    Apply(op);
}

void Database::FinishChanges() {
    StatementState& st = *statement_;
    if (st.first) {
        // The statement's only change: journaled like any other, at the cost of the pages it
        // changes.
        PrepareToChange(*st.first->entry);
        Op first = std::move(*st.first);
        st.first.reset();
        Apply(first);
    }
    for (TableEntry* e : st.touched) {
        if (!e->deferredDeletes.empty()) {
            std::sort(e->deferredDeletes.begin(), e->deferredDeletes.end(), std::greater<>());
            e->deferredDeletes.erase(std::unique(e->deferredDeletes.begin(), e->deferredDeletes.end()),
                                     e->deferredDeletes.end());
            for (uint32_t slot : e->deferredDeletes) {
                CheckCancelled();
                e->table->DeleteRecord(slot);
            }
            e->deferredDeletes.clear();
        }
        for (auto& rec : e->deferredInserts) {
            CheckCancelled();
            e->table->AppendRecord(rec);
        }
        e->deferredInserts.clear();
    }
}

void Database::RestoreJournal(Journal& journal) {
    std::exception_ptr first;
    std::vector<TableEntry*> reopen;
    for (const auto& path : journal.Tables()) {
        auto it = entries_.find(path);
        Table* table = it != entries_.end() ? it->second->table.get() : nullptr;
        // Put back under the table lock (a failed statement still holds it), so no other
        // program sees the table half changed; the object is then let go without writing.
        if (table) {
            try {
                table->Lock(LockMode::Exclusive);
            } catch (...) {
                // Locked by another program after all: the old bytes go back regardless.
            }
        }
        try {
            journal.Restore(path);
        } catch (...) {
            if (!first) first = std::current_exception();
        }
        if (table) {
            table->Abandon();
            it->second->table.reset();
        }
        if (it != entries_.end()) reopen.push_back(it->second.get());
    }
    journal.Abandon();  // a journal that could not be put back is now hot for the next opener
    for (TableEntry* e : reopen) {
        try {
            Reopen(*e);
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

// --- Running statements ------------------------------------------------------------------------

int64_t Database::RunBound(const sql::BoundStatement& b, const std::vector<Value>& params,
                           std::unique_ptr<Cursor>* answer, bool withSlots) {
    RunningGuard running(engine_);
    FinishStreams();
    if (b.kind != sql::BoundKind::Query && b.kind != sql::BoundKind::Dml) {
        RunDdl(b);
        return 0;
    }
    if (params.size() < b.params.size())
        throw EngineError("No value for parameter " + std::to_string(params.size() + 1), errc::kInvalidParameter);

    std::vector<std::pair<TableEntry*, bool>> lockList;
    std::vector<ServerTableEntry*> serverWrites;
    auto addTable = [&](const sql::CatalogTable* t, bool write) {
        if (IsServerTablePath(t->path)) {
            // The server keeps its own tables consistent: no lock or journal here.
            ServerTableEntry* se = FindServerEntry(t->sqliteName);
            if (!se) throw EngineError("The server table " + t->path + " is no longer known", errc::kSqlExecute);
            if (!se->registered) {
                Exec("CREATE VIRTUAL TABLE temp." + sql::QuoteSqliteIdentifier(se->info.sqliteName) +
                     " USING tessel_server");
                se->registered = true;
            }
            se->inserted.clear();
            if (write) serverWrites.push_back(se);
            return;
        }
        TableEntry& e = EntryFor(t->path);
        if (e.info.sqliteName != t->sqliteName)
            throw EngineError("The structure of table " + t->path + " changed; prepare the statement again",
                              errc::kSqlExecute);
        Register(e);
        for (auto& [le, ex] : lockList)
            if (le == &e) {
                ex = ex || write;
                return;
            }
        lockList.emplace_back(&e, write);
    };
    for (const auto* t : b.writes) addTable(t, true);
    for (const auto* t : b.reads) addTable(t, false);
    for (auto& [e, write] : lockList)
        if (write && e->table->IsReadOnly())
            throw EngineError("Table " + e->info.path + " is read-only", errc::kReadOnly);

    StatementState st;
    auto locks = std::make_unique<StatementLocks>();
    sqlite3_stmt* stmt = nullptr;
    std::unique_ptr<Cursor> cursor;
    int64_t changes = 0;
    statement_ = &st;
    pendingError_ = nullptr;
    try {
        locks->Take(lockList);
        for (auto& [e, write] : lockList) {
            e->writing = write;
            // What earlier statements learnt about a table (column indexes, its live count,
            // the record count a dBASE driver read) holds while the file is unchanged; the
            // stamp is read under the lock, so no other program is writing it now.
            const std::string stamp = StampOf(e->info.path);
            if (stamp.empty() || stamp != e->stamp) {
                e->DropCaches();
                if (!e->info.driver->RefreshesOnLock()) e->table->Refresh();
                e->stamp = stamp;
            }
        }
        const std::string& text = withSlots && b.live ? b.live->sql : b.sql;
        int rc = sqlite3_prepare_v3(db_, text.c_str(), static_cast<int>(text.size()), 0, &stmt, nullptr);
        if (rc != SQLITE_OK) ThrowSqlite(rc, "");
        for (size_t k = 0; k < b.params.size(); ++k) BindValue(stmt, static_cast<int>(k + 1), params[k]);
        if (answer) {
            // The answer takes the running query and its read locks; its first rows are read
            // now (a small answer whole), so most failures surface here.
            sqlite3_stmt* source = std::exchange(stmt, nullptr);
            cursor.reset(new Cursor(this, b.fields, source, std::move(locks), withSlots && b.live));
            statement_ = nullptr;
            cursor->Fill(kFirstAnswerRows);
        } else {
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            }
            if (rc != SQLITE_DONE) ThrowSqlite(rc, "");
            changes = sqlite3_changes64(db_);
            sqlite3_finalize(stmt);
            stmt = nullptr;
            FinishChanges();
            // Rows for server tables go last, in one server transaction each: a local failure
            // before sends nothing, and a server's failure undoes the local changes too.
            SendServerInserts(serverWrites);
            locks->Release();
        }
    } catch (...) {
        sqlite3_finalize(stmt);
        cursor.reset();
        statement_ = nullptr;
        for (ServerTableEntry* se : serverWrites) se->inserted.clear();
        for (auto& [e, write] : lockList) e->writing = false;
        for (TableEntry* e : st.touched) {
            e->deferredDeletes.clear();
            e->deferredInserts.clear();
            e->touched = false;
            e->DropCaches();
        }
        if (locks) {
            // The changed tables are put back before their locks go (RestoreJournal lets
            // their objects go); the tables only read are let go first.
            for (const auto& path : st.journal.Tables()) {
                auto it = entries_.find(path);
                if (it != entries_.end()) locks->Forget(it->second->table.get());
            }
            try {
                locks->Release();
            } catch (...) {
            }
        }
        std::exception_ptr error = std::current_exception();
        try {
            RestoreJournal(st.journal);
        } catch (const EngineError& restoreError) {
            // Report both: what failed, and that undoing it failed too.
            std::vector<ErrorEntry> entries = restoreError.Entries();
            try {
                std::rethrow_exception(error);
            } catch (const EngineError& original) {
                entries.insert(entries.begin(), original.Entries().begin(), original.Entries().end());
                throw EngineError(original.what(), entries);
            } catch (...) {
            }
        }
        std::rethrow_exception(error);
    }
    statement_ = nullptr;
    for (auto& [e, write] : lockList) e->writing = false;
    for (TableEntry* e : st.touched) e->touched = false;
    st.journal.Clear();
    if (answer) *answer = std::move(cursor);
    return answer ? 0 : changes;
}

void Database::FinishStreams() {
    // Copied: an answer leaves the list as its last row comes in.
    const std::vector<Cursor*> open = streams_;
    for (Cursor* c : open) {
        try {
            c->RecordCount();
        } catch (const EngineError& e) {
            throw EngineError("An open answer could not be read to its end: " + std::string(e.what()), e.Entries());
        }
    }
}

std::unique_ptr<Cursor> Database::RunQuery(const sql::BoundStatement& stmt, const std::vector<Value>& params) {
    if (stmt.kind != sql::BoundKind::Query) {
        RunBound(stmt, params, nullptr);
        throw EngineError("Error creating cursor handle", errc::kSqlExecute);
    }
    std::unique_ptr<Cursor> cursor;
    RunBound(stmt, params, &cursor);
    return cursor;
}

int64_t Database::Run(const sql::BoundStatement& stmt, const std::vector<Value>& params) {
    return RunBound(stmt, params, nullptr);
}

sql::BoundStatement Database::BindText(std::string_view text, const sql::SourcePos& at) {
    FinishStreams();
    sql::ParseOptions options;
    options.lex.firstLine = at.line;
    options.lex.firstColumn = at.column;
    options.lex.firstOffset = at.offset;
    options.limits.maxStatementLength = static_cast<size_t>(limits_.maxSqlLength);
    sql::StatementPtr parsed = sql::ParseSingleStatement(text, options);
    return sql::Bind(*parsed, *this);
}

std::unique_ptr<Cursor> Database::OpenQuery(std::string_view text, const std::vector<Value>& params, bool live) {
    const sql::BoundStatement b = BindText(text);
    if (!live || b.kind != sql::BoundKind::Query) return RunQuery(b, params);
    AnswerSource source;
    if (b.live) {
        TableEntry& e = EntryFor(b.live->table->path);
        if (e.table->IsReadOnly()) {
            source.notLive = "the table file is read-only";
        } else {
            source.tablePath = b.live->table->path;
            for (size_t column : b.live->columns) source.fields.push_back(e.columnMap.at(column));
        }
    } else {
        source.notLive = b.notLive;
    }
    std::unique_ptr<Cursor> cursor;
    RunBound(b, params, &cursor, !source.tablePath.empty());
    cursor->source_ = std::move(source);
    return cursor;
}

int64_t Database::Execute(std::string_view text, const std::vector<Value>& params) {
    const sql::BoundStatement b = BindText(text);
    return Run(b, params);
}

Database::Result Database::RunText(std::string_view text, const std::vector<Value>& params, const sql::SourcePos& at) {
    const sql::BoundStatement b = BindText(text, at);
    Result result;
    if (b.kind == sql::BoundKind::Query)
        result.answer = RunQuery(b, params);
    else
        result.changes = Run(b, params);
    return result;
}

std::vector<sql::ParamBinding> Database::ParameterTypes(std::string_view text) {
    return BindText(text).params;
}

// --- Transactions ------------------------------------------------------------------------------

void Database::StartTransaction() {
    FinishStreams();
    if (inTransaction_) throw EngineError("A transaction is already active", errc::kGeneral);
    transactionJournal_.Clear();
    transactionTables_.clear();
    inTransaction_ = true;
}

void Database::Commit() {
    FinishStreams();
    if (!inTransaction_) throw EngineError("No transaction is active", errc::kGeneral);
    inTransaction_ = false;
    transactionJournal_.Clear();
    transactionTables_.clear();
}

void Database::Rollback() {
    FinishStreams();
    if (!inTransaction_) throw EngineError("No transaction is active", errc::kGeneral);
    inTransaction_ = false;
    transactionTables_.clear();
    RestoreJournal(transactionJournal_);
}

// --- Tables --------------------------------------------------------------------------------------

std::unique_ptr<Table> Database::OpenTable(const std::string& fileName, OpenMode mode) {
    FinishStreams();
    sql::TableName name;
    name.text = fileName;
    name.name = fileName;
    name.quoted = true;
    return OpenTableFile(TablePath(name, true), mode);
}

}  // namespace tessel::engine
