#pragma once

// A cursor over one table file, editing its records in place. Positions count the live
// records in file order (a keyed Paradox table keeps them in key order); a dBASE table's
// deleted records are skipped.

#include <memory>
#include <string>
#include <vector>

#include "engine/storage/Table.h"
#include "framework/data/DataCursor.h"

namespace tessel {

class TTableCursor : public TDataCursor {
public:
    // `readOnly`: refuse writes even when the file could take them.
    TTableCursor(std::unique_ptr<engine::Table> table, bool readOnly);
    ~TTableCursor() override;

    engine::Table& Table() { return *table_; }

    // The table's fields under the names SQL knows them by (a repeated name gets a suffix).
    const std::vector<engine::FieldDesc>& Fields() const override { return fields_; }
    int64_t RecordCount() const override;
    void ReadRecord(int64_t position, engine::Record& out) override;
    bool CanModify() const override { return !readOnly_ && !table_->IsReadOnly(); }
    int64_t AppendRecord(const engine::Record& values) override;
    int64_t UpdateRecord(int64_t position, const engine::Record& values) override;
    void DeleteRecord(int64_t position) override;
    // Bookmarks are slot numbers: a dBASE record keeps its slot until the table is packed.
    int64_t BookmarkOf(int64_t position) const override;
    int64_t PositionOf(int64_t bookmark) const override;
    void Refresh() override;
    uint64_t CopyTo(const std::string& destPath) override;

private:
    std::vector<engine::FieldDesc> fields_;
    uint32_t Slot(int64_t position) const;
    void MapSlots();

    std::unique_ptr<engine::Table> table_;
    bool readOnly_;
    bool identity_ = true;         // position == slot (no deleted slots)
    std::vector<uint32_t> slots_;  // live slots in order, when not identity
    engine::Record scratch_;
};

}  // namespace tessel
