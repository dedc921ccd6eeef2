#pragma once

// An answer whose rows stand for records of one table (a SELECT of plain columns of one table
// file): the data set edits, inserts and deletes the table's records through it. Until the
// first change it reads the rows as the answer has them; the first change reads the answer to
// its end and opens the table file for writing, and every later change goes straight into the
// file, record by record. A record that another writer changed or removed since the answer
// read it is not written: the change fails and asks for the query to be run again.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/Table.h"
#include "framework/data/DataCursor.h"

namespace tessel {

namespace engine {
class Cursor;
}

class TLiveAnswerCursor : public TDataCursor {
public:
    // `answer` must stand for records (answer->Source().tablePath is set).
    explicit TLiveAnswerCursor(std::unique_ptr<engine::Cursor> answer);
    ~TLiveAnswerCursor() override;

    const std::vector<engine::FieldDesc>& Fields() const override;
    int64_t RecordCount() const override;
    int64_t KnownCount() const override;
    bool IsComplete() const override;
    int64_t CountUpTo(int64_t position) override;
    bool FetchMore(int64_t rows) override;
    void ReadRecord(int64_t position, engine::Record& out) override;

    bool CanModify() const override { return replaced_.empty(); }
    // A new record goes to the end of the answer; an edited one keeps its place.
    int64_t AppendRecord(const engine::Record& values) override;
    int64_t UpdateRecord(int64_t position, const engine::Record& values) override;
    void DeleteRecord(int64_t position) override;
    uint64_t CopyTo(const std::string& destPath) override;

    const std::string& TablePath() const;
    // Why the answer can no longer change its table (empty while it can).
    const std::string& WhyReadOnly() const { return replaced_; }
    // The pictures the table's validity checks give the answer's fields, as lines
    // "answer field<TAB>picture" (read once).
    const std::vector<std::string>& ValidityPictures();

private:
    struct Row {
        uint32_t slot;        // the record's slot in the table
        int64_t answerRow;    // its row in the answer; -1 for a record added here
        int64_t edited = -1;  // its values as last written here, in edited_
    };

    // Reads the answer to its end, lists its rows and opens the table for writing.
    void Begin();
    Row& At(int64_t position);
    // The table file is still the one the answer read, else fails.
    void CheckSameFile() const;
    // Reads the record of `row` into full_ and fails when it is gone or no longer shows the
    // values the answer has for it.
    void ReadUnchanged(const Row& row);
    // Keeps the record now at `row.slot` as the row's values (as the table stored them).
    void Remember(Row& row);
    void Project(const engine::Record& full, engine::Record& out) const;
    // Slots move in a table without deletion marks: after a record left slot `at` (or came to it).
    void Removed(uint32_t at, const Row* except);
    void Inserted(uint32_t at, const Row* except);
    [[noreturn]] void Changed(const std::string& what) const;

    std::unique_ptr<engine::Cursor> answer_;
    std::unique_ptr<engine::Table> table_;
    uint64_t device_ = 0, inode_ = 0;  // the file the answer read
    bool begun_ = false;
    bool shifting_ = false;  // a record's removal moves the records after it
    std::vector<Row> rows_;
    std::vector<engine::Record> edited_;
    engine::Record full_, shown_;
    std::string replaced_;
    std::vector<std::string> pictures_;
    bool picturesRead_ = false;
};

}  // namespace tessel
