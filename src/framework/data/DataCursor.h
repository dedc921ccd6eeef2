#pragma once

// What a data set stands on: the records of a table or an answer, addressed by position
// 0 .. RecordCount()-1. A data set reads the records it shows through here and, when the
// cursor can be modified, writes its posted records back.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage/Field.h"
#include "engine/storage/Table.h"

namespace tessel {

class TDataCursor {
public:
    virtual ~TDataCursor() = default;
    TDataCursor() = default;
    TDataCursor(const TDataCursor&) = delete;
    TDataCursor& operator=(const TDataCursor&) = delete;

    // The fields with the engine's type codes and sizes, in record order.
    virtual const std::vector<engine::FieldDesc>& Fields() const = 0;
    virtual int64_t RecordCount() const = 0;
    // A cursor whose records come in as they are read (an answer whose query still runs)
    // counts only the records in so far here; the others have them all.
    virtual int64_t KnownCount() const { return RecordCount(); }
    virtual bool IsComplete() const { return true; }
    // Reads on until the record at `position` is in, where it exists; returns KnownCount().
    virtual int64_t CountUpTo(int64_t position) {
        (void)position;
        return RecordCount();
    }
    // Reads up to `rows` more records; returns whether every record is in.
    virtual bool FetchMore(int64_t rows) {
        (void)rows;
        return true;
    }
    // The record at `position` into `out` (one value per field).
    virtual void ReadRecord(int64_t position, engine::Record& out) = 0;
    // Whether record numbers count the records (false while a filter decides which are seen).
    virtual bool IsSequenced() const { return true; }

    // Bookmarks: a value that finds a record again after other records came or went.
    // PositionOf returns -1 when the record no longer exists.
    virtual int64_t BookmarkOf(int64_t position) const { return position; }
    virtual int64_t PositionOf(int64_t bookmark) const {
        return bookmark >= 0 && bookmark < RecordCount() ? bookmark : -1;
    }

    // Writes. Each returns the record's position afterwards (a keyed table keeps its records
    // in key order, so a record may move). Failures leave the records as they were.
    virtual bool CanModify() const { return false; }
    virtual int64_t AppendRecord(const engine::Record& values);
    virtual int64_t UpdateRecord(int64_t position, const engine::Record& values);
    virtual void DeleteRecord(int64_t position);

    // The cursor this one stands on (a filter wraps another); itself for a plain cursor.
    virtual TDataCursor* Base() { return this; }

    // Re-reads what another writer may have changed.
    virtual void Refresh() {}

    // The batch copy: a new table at `destPath` (type by extension) with these fields and
    // every record. Returns the number of records copied.
    virtual uint64_t CopyTo(const std::string& destPath);
};

// A cursor over records held in memory: the data set of tests and of small lists. It can be
// modified unless made read-only.
class TMemoryCursor : public TDataCursor {
public:
    explicit TMemoryCursor(std::vector<engine::FieldDesc> fields, std::vector<engine::Record> records = {},
                           bool readOnly = false);

    const std::vector<engine::FieldDesc>& Fields() const override { return fields_; }
    int64_t RecordCount() const override { return static_cast<int64_t>(records_.size()); }
    void ReadRecord(int64_t position, engine::Record& out) override;
    bool CanModify() const override { return !readOnly_; }
    int64_t AppendRecord(const engine::Record& values) override;
    int64_t UpdateRecord(int64_t position, const engine::Record& values) override;
    void DeleteRecord(int64_t position) override;
    // Each record keeps the number it was given when it came, so a bookmark survives the
    // deletion of other records.
    int64_t BookmarkOf(int64_t position) const override;
    int64_t PositionOf(int64_t bookmark) const override;

    // Counts ReadRecord calls (tests check that a screenful is all a data set reads).
    int64_t Reads() const { return reads_; }
    const std::vector<engine::Record>& Records() const { return records_; }

private:
    void Check(int64_t position) const;
    std::vector<engine::FieldDesc> fields_;
    std::vector<engine::Record> records_;
    std::vector<int64_t> ids_;
    int64_t nextId_ = 0;
    bool readOnly_;
    int64_t reads_ = 0;
};

}  // namespace tessel
