#pragma once

// An answer: the rows of a query, kept in a temporary SQLite table of the database's
// connection, so the record count, record numbers and bookmarks are cheap and only the rows
// asked for are read. An answer is read-only.

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/storage/Field.h"
#include "engine/storage/Table.h"

namespace tessel::engine {

class Database;

class Cursor {
public:
    ~Cursor();
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    // The answer's fields with their type codes and sizes.
    const std::vector<FieldDesc>& Fields() const { return fields_; }
    int FieldIndex(const std::string& name) const;  // without regard to case; -1 when absent

    // Number of records (all of them: the record filter does not change it).
    int64_t RecordCount() const { return count_; }

    // Movement. Records are numbered 0 .. RecordCount()-1; before the first record the cursor
    // is at BOF, after the last at EOF. With a record filter the moves skip rejected records.
    // Each returns whether the cursor stands on a record afterwards.
    bool First();
    bool Last();
    bool Next();
    bool Prior();
    bool MoveBy(int64_t n);
    bool MoveTo(int64_t recNo);  // exact record; ignores the filter
    int64_t RecNo() const { return pos_; }
    bool Bof() const { return pos_ < 0; }
    bool Eof() const { return pos_ >= count_; }

    // The current record's values (raises EngineError at BOF/EOF).
    const Record& Current();
    const Value& FieldValue(size_t field) { return Current().at(field); }
    // Any record's values without moving.
    void ReadRecord(int64_t recNo, Record& out);

    // Bookmarks are stable for the life of the answer.
    int64_t Bookmark() const { return pos_; }
    bool GotoBookmark(int64_t bookmark) { return MoveTo(bookmark); }

    // The record filter: asked record by record whether to accept it (nullptr: none). A
    // filtered cursor is not sequenced: record numbers do not count accepted records.
    void SetFilter(std::function<bool(const Record&)> accept);
    bool IsSequenced() const { return !filter_; }

    // The temporary table holding the rows (batch copy and tests read it directly).
    const std::string& TableName() const { return table_; }
    Database& Owner() { return *db_; }

private:
    friend class Database;
    Cursor(Database* db, std::string table, std::vector<FieldDesc> fields, int64_t count);
    bool Seek(int64_t start, int step);

    Database* db_;
    std::string table_;
    std::vector<FieldDesc> fields_;
    int64_t count_ = 0;
    int64_t pos_ = -1;
    sqlite3_stmt* read_ = nullptr;
    Record current_;
    int64_t currentRec_ = -1;
    // Records read ahead in one statement: stepping through the answer costs one lookup per
    // block instead of one per record.
    std::vector<Record> block_;
    int64_t blockStart_ = 0;
    std::function<bool(const Record&)> filter_;
};

}  // namespace tessel::engine
