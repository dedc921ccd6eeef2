#pragma once

// An answer: the rows of a query, kept as they come (engine/AnswerStore.h), so record
// numbers and bookmarks are cheap and reading a row back costs a copy. The rows come in as
// they are asked for: the query keeps running (and its tables stay
// locked for reading) until its last row is in, so the first rows of a long answer are there
// at once. An answer is read-only.

#include <sqlite3.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/AnswerStore.h"
#include "engine/storage/Field.h"
#include "engine/storage/Table.h"

namespace tessel::engine {

class Database;
class Engine;
class StatementLocks;

// Where the rows of an answer come from when no query of a database makes them (a server's
// cursor, say).
class RowSource {
public:
    virtual ~RowSource() = default;
    // The next row into `row` (one value per field); false when there are no more. Failures
    // raise EngineError.
    virtual bool Next(Record& row) = 0;
};

// What the rows of an answer stand for: the records of one table, when the query shows them as
// they are (a SELECT of plain columns of one table file), or nothing.
struct AnswerSource {
    std::string tablePath;       // empty: the rows stand for no records
    std::vector<size_t> fields;  // for each answer field, its field of the table (Table::Fields())
    std::string notLive;         // why the rows stand for no records ("the query joins tables")
};

class Cursor {
public:
    // An answer of the rows `rows` gives, read as they are asked for.
    static std::unique_ptr<Cursor> FromRows(Engine& engine, std::vector<FieldDesc> fields,
                                            std::unique_ptr<RowSource> rows);
    ~Cursor();
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    // The answer's fields with their type codes and sizes.
    const std::vector<FieldDesc>& Fields() const { return fields_; }
    int FieldIndex(const std::string& name) const;  // without regard to case; -1 when absent

    // Number of records (all of them: the record filter does not change it). The answer is
    // read to its end first.
    int64_t RecordCount() const;
    // Reads on until the record `recNo` is in, where the answer has it; returns the number of
    // records in so far (RecordCount() once the whole answer is in).
    int64_t CountUpTo(int64_t recNo) const;
    // Records in so far, without reading on.
    int64_t KnownCount() const { return count_; }
    bool IsComplete() const { return !stream_; }
    // Reads up to `rows` more records; returns whether the whole answer is in. A failure of
    // the query (a value it cannot compute, a file that went bad, an interrupt) is raised
    // once; the records in before it stay.
    bool FetchMore(int64_t rows);

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

    // The database whose query this is (only for answers of a database's queries).
    Database& Owner() { return *db_; }
    bool HasOwner() const { return db_ != nullptr; }

    // The records the rows stand for (asked for with Database::OpenQuery's `live`), and the
    // slot of the record each row shows (only when Source().tablePath is set).
    const AnswerSource& Source() const { return source_; }
    uint32_t Slot(int64_t recNo);

private:
    friend class Database;
    // `source`: the running query, whose rows the answer keeps; `locks` hold its tables.
    // `slots`: the query has each row's record slot as a last column beyond `fields`.
    Cursor(Database* db, std::vector<FieldDesc> fields, sqlite3_stmt* source, std::unique_ptr<StatementLocks> locks,
           bool slots = false);
    bool Seek(int64_t start, int step);
    bool Has(int64_t recNo) { return recNo < count_ || CountUpTo(recNo) > recNo; }
    // Reads on until `upTo` records are in or the answer ends.
    void Fill(int64_t upTo);
    // Ends the running query: its statement and locks go (the database, before it runs
    // anything else, has every answer read to its end).
    void EndStream() noexcept;

    struct Stream {
        sqlite3_stmt* source = nullptr;  // the query, stepped as rows are wanted
        std::unique_ptr<StatementLocks> locks;
        std::unique_ptr<RowSource> rows;  // or the rows of another source
        ~Stream();
    };
    Cursor(Engine& engine, std::vector<FieldDesc> fields, std::unique_ptr<RowSource> rows);

    Database* db_;
    Engine* engine_;
    std::vector<FieldDesc> fields_;
    AnswerStore rows_;
    int64_t count_ = 0;
    int64_t pos_ = -1;
    Record current_;
    int64_t currentRec_ = -1;
    Record fillRow_;
    static constexpr int64_t kFillBatch = 256;
    std::function<bool(const Record&)> filter_;
    std::unique_ptr<Stream> stream_;  // null once the whole answer is in
    AnswerSource source_;
    bool readSlots_ = false;
    std::vector<uint32_t> slots_;  // one per row in, when readSlots_
};

}  // namespace tessel::engine
