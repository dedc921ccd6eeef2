#pragma once

// A database: one directory of table files, the SQLite connection that runs its SQL over
// virtual tables standing for those files, its open tables, and its transaction. Table names
// in SQL resolve against the directory (the binder asks through the Catalog interface).

#include <sqlite3.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Cursor.h"
#include "engine/Journal.h"
#include "engine/sql/Catalog.h"
#include "engine/storage/Table.h"

namespace tessel::engine {

class Engine;
class ServerConnection;
struct ServerTableEntry;

// Lookup structure over one column of a table, built when a join probes that column.
struct ColumnIndex {
    bool numeric = true;
    std::vector<std::pair<double, uint32_t>> numbers;     // sorted by value
    std::vector<std::pair<std::string, uint32_t>> texts;  // sorted by value (bytes)
};

// A table as the database keeps it open.
struct TableEntry {
    sql::CatalogTable info;
    std::unique_ptr<Table> table;
    std::vector<size_t> columnMap;  // SQL column -> field of `table`
    bool registered = false;        // its virtual table exists on the connection
    bool retired = false;           // replaced by a newer entry for the same file
    uint64_t device = 0, inode = 0;

    // On-demand column indexes, valid while `stamp` matches the file and no write happened.
    std::map<int, ColumnIndex> indexes;
    std::string stamp;
    // Live records of a table with deletion marks (dBASE), counted once; the same validity.
    std::optional<uint32_t> liveCount;
    void DropCaches() {
        indexes.clear();
        liveCount.reset();
    }
    bool writing = false;  // the running statement changes this table

    // Changes of the running statement that must wait until its scan is over (a Paradox
    // table moves records when one is deleted or its key changes).
    std::vector<uint32_t> deferredDeletes;
    std::vector<Record> deferredInserts;
    bool touched = false;
};

// Options of a database's SQL.
struct SqlLimits {
    int maxSqlLength = 1 << 20;  // bytes of one statement
    int maxExprDepth = 200;
    int maxCompoundSelect = 100;
    int maxColumns = 2000;
};

class Database : public sql::Catalog {
public:
    // `defaultDriver`: "PARADOX" or "DBASE", the type an extension-less table name gets.
    Database(Engine& engine, std::string directory, std::string defaultDriver = "PARADOX");
    ~Database() override;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::string& Directory() const { return directory_; }
    const std::string& DefaultDriver() const { return defaultDriver_; }
    Engine& Owner() { return engine_; }

    // --- Catalog -------------------------------------------------------------------------
    const sql::CatalogTable& ResolveTable(const sql::TableName& name) override;
    std::string PathForNewTable(const sql::TableName& name) override;
    // The file a table name stands for (the same rules; need not exist).
    std::string TablePath(const sql::TableName& name, bool mustExist);

    // --- SQL text (parse, bind, run) -------------------------------------------------------
    // Operation 4, opened for rows: the answer of one statement with its parameters in order.
    // A statement without rows is carried out, then fails with "Error creating cursor handle".
    // With `live`, the answer also tells what its rows stand for (Cursor::Source): the records
    // of its one table, with their slots, when the table can be written.
    std::unique_ptr<Cursor> OpenQuery(std::string_view sql, const std::vector<Value>& params = {}, bool live = false);
    // Operation 4 for effect, and 5 (no parameters): runs one statement; returns the number
    // of rows changed (0 for a query, whose answer is dropped, and for DDL).
    int64_t Execute(std::string_view sql, const std::vector<Value>& params = {});
    int64_t ExecuteDirect(std::string_view sql) { return Execute(sql); }
    // Runs one statement of any kind: a query gives its answer, anything else the number of
    // rows changed. `at` is where the text starts in a larger script (error positions).
    struct Result {
        std::unique_ptr<Cursor> answer;  // a query's answer; null for other statements
        int64_t changes = 0;
    };
    Result RunText(std::string_view sql, const std::vector<Value>& params = {}, const sql::SourcePos& at = {});
    // The parameter markers of a statement, in order, with the types the binder inferred.
    std::vector<sql::ParamBinding> ParameterTypes(std::string_view sql);

    // --- Bound statements (what the text entry points run) ----------------------------------
    std::unique_ptr<Cursor> RunQuery(const sql::BoundStatement& stmt, const std::vector<Value>& params);
    int64_t Run(const sql::BoundStatement& stmt, const std::vector<Value>& params);

    // --- Transactions (operation 6): dirty read; DDL is refused while one is active --------
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const { return inTransaction_; }

    // --- Tables (operation 7) and the batch copy (operation 13) -----------------------------
    // Opens a table file of this database (a relative name) or anywhere (an absolute one).
    std::unique_ptr<Table> OpenTable(const std::string& fileName, OpenMode mode = OpenMode::ReadOnly);
    // Copies every record of the answer (or table) into a new table at `destPath` (type by
    // extension), replacing a table of that name with all its companion files. The new table
    // is built under a temporary name beside the destination and renamed into place, so a
    // failure leaves the old table whole. Field names too long for the destination are
    // shortened to unique names; a value that does not fit its field fails the copy.
    uint64_t BatchCopy(Cursor& source, const std::string& destPath);
    // The same of `count` records with these fields, record n read by `read`.
    uint64_t BatchCopy(const std::vector<FieldDesc>& fields, int64_t count,
                       const std::function<void(int64_t n, Record& out)>& read, const std::string& destPath);
    uint64_t BatchCopy(Table& source, const std::string& destPath);

    // --- DDL on the drivers ----------------------------------------------------------------
    void CreateTable(const std::string& path, const std::vector<FieldDesc>& fields,
                     const std::vector<std::string>& primaryKey);
    void AlterTable(const std::string& path, const std::vector<sql::BoundAlterAction>& actions);
    void DropTable(const std::string& path);
    void DropPrimaryIndex(const std::string& path);

    sqlite3* Connection() { return db_; }
    const SqlLimits& Limits() const { return limits_; }

    // Reads every answer still coming in to its end, so its query lets its tables go;
    // everything that reads or changes tables does this first.
    void FinishStreams();
    // Rows an answer reads before the query returns (a small answer whole).
    static constexpr int64_t kFirstAnswerRows = 1024;

    // --- Server tables in local SQL (engine/ServerTables.h) -----------------------------------
    ServerTableEntry* FindServerEntry(const std::string& sqliteName);
    // The database's own connection to the server of an alias (apart from the window's, so a
    // statement here never shares a server transaction with an answer there).
    ServerConnection& ServerFor(const std::string& alias);

    // --- For the virtual table module -------------------------------------------------------
    TableEntry* FindEntryBySqlName(const std::string& sqliteName);
    void OnInsert(TableEntry& e, Record&& rec);
    void OnUpdate(TableEntry& e, uint32_t slot, Record&& rec);
    void OnDelete(TableEntry& e, uint32_t slot);
    void SetPendingError(std::exception_ptr error) { pendingError_ = std::move(error); }
    void CheckCancelled() const;
    const ColumnIndex& IndexFor(TableEntry& e, int column);
    // Number of live records for a COUNT(*) over the whole table.
    uint32_t LiveCount(TableEntry& e);

private:
    friend class Cursor;
    struct Op {
        enum class Kind { Insert, Update, Delete } kind = Kind::Insert;
        TableEntry* entry = nullptr;
        uint32_t slot = 0;
        Record rec;
    };
    struct StatementState {
        int64_t ops = 0;
        std::optional<Op> first;  // a statement's only change runs without a before-image
        Journal journal;
        std::vector<TableEntry*> touched;
    };

    TableEntry& EntryFor(const std::string& path);
    ServerTableEntry& ServerEntryFor(const std::string& alias, const std::string& table);
    void SendServerInserts(const std::vector<ServerTableEntry*>& tables);
    void RetireEntry(const std::string& path);
    void Register(TableEntry& e);
    void Reopen(TableEntry& e);
    void PrepareToChange(TableEntry& e);
    void Submit(Op&& op);
    void Apply(Op& op);
    void FinishChanges();
    void RestoreJournal(Journal& journal);
    // Runs a change of a table's indexes under a rollback journal.
    void ChangeIndexes(TableEntry& e, const std::function<void()>& change);
    void Exec(const std::string& sql);
    [[noreturn]] void ThrowSqlite(int rc, const std::string& context);
    std::string StampOf(const std::string& path) const;
    // `withSlots`: run the live form of a query (its rows' record slots as a last column).
    int64_t RunBound(const sql::BoundStatement& stmt, const std::vector<Value>& params, std::unique_ptr<Cursor>* answer,
                     bool withSlots = false);
    void RunDdl(const sql::BoundStatement& stmt);
    std::string ResolveDirectory(const std::string& alias);
    sql::BoundStatement BindText(std::string_view text, const sql::SourcePos& at = {});

    Engine& engine_;
    std::string directory_;
    std::string defaultDriver_;
    SqlLimits limits_;
    sqlite3* db_ = nullptr;
    std::map<std::string, std::unique_ptr<TableEntry>> entries_;              // by path
    std::map<std::string, std::unique_ptr<ServerTableEntry>> serverEntries_;  // by ":ALIAS:TABLE" in capitals
    std::map<std::string, ServerTableEntry*> serverBySqlName_;
    std::map<std::string, std::unique_ptr<ServerConnection>> servers_;  // by alias in capitals
    std::map<std::string, TableEntry*> bySqlName_;
    std::vector<std::unique_ptr<TableEntry>> retired_;
    int nameCounter_ = 0;
    std::vector<Cursor*> streams_;  // answers whose query still runs
    StatementState* statement_ = nullptr;
    std::exception_ptr pendingError_;
    bool inTransaction_ = false;
    Journal transactionJournal_;
    std::vector<TableEntry*> transactionTables_;
};

}  // namespace tessel::engine
