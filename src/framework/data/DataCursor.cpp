// Cursors under data sets, and the records they hold in memory.

#include "framework/data/DataCursor.h"

#include <algorithm>
#include <filesystem>

#include "base/EngineError.h"
#include "engine/TableFiles.h"

namespace tessel {

using engine::EngineError;

int64_t TDataCursor::AppendRecord(const engine::Record&) {
    throw EngineError("Cannot modify a read-only dataset", engine::errc::kReadOnly);
}

int64_t TDataCursor::UpdateRecord(int64_t, const engine::Record&) {
    throw EngineError("Cannot modify a read-only dataset", engine::errc::kReadOnly);
}

void TDataCursor::DeleteRecord(int64_t) {
    throw EngineError("Cannot modify a read-only dataset", engine::errc::kReadOnly);
}

uint64_t TDataCursor::CopyTo(const std::string& destPath) {
    // Every record is read before the destination is touched, so a source that lives in the
    // destination's file cannot be destroyed by the copy.
    std::vector<engine::Record> records(static_cast<size_t>(RecordCount()));
    for (size_t i = 0; i < records.size(); ++i) ReadRecord(static_cast<int64_t>(i), records[i]);
    size_t next = 0;
    engine::CopyRecords(Fields(), nullptr, destPath, [&](engine::Record& rec) {
        if (next == records.size()) return false;
        rec = std::move(records[next++]);
        return true;
    });
    return records.size();
}

TMemoryCursor::TMemoryCursor(std::vector<engine::FieldDesc> fields, std::vector<engine::Record> records, bool readOnly)
    : fields_(std::move(fields)), records_(std::move(records)), readOnly_(readOnly) {
    for (auto& r : records_) {
        r.resize(fields_.size());
        ids_.push_back(nextId_++);
    }
}

void TMemoryCursor::Check(int64_t position) const {
    if (position < 0 || position >= RecordCount())
        throw EngineError("Record " + std::to_string(position) + " does not exist", engine::errc::kNotFound);
}

void TMemoryCursor::ReadRecord(int64_t position, engine::Record& out) {
    Check(position);
    ++reads_;
    out = records_[static_cast<size_t>(position)];
}

int64_t TMemoryCursor::AppendRecord(const engine::Record& values) {
    if (readOnly_) return TDataCursor::AppendRecord(values);
    records_.push_back(values);
    records_.back().resize(fields_.size());
    ids_.push_back(nextId_++);
    return RecordCount() - 1;
}

int64_t TMemoryCursor::UpdateRecord(int64_t position, const engine::Record& values) {
    if (readOnly_) return TDataCursor::UpdateRecord(position, values);
    Check(position);
    records_[static_cast<size_t>(position)] = values;
    records_[static_cast<size_t>(position)].resize(fields_.size());
    return position;
}

void TMemoryCursor::DeleteRecord(int64_t position) {
    if (readOnly_) return TDataCursor::DeleteRecord(position);
    Check(position);
    records_.erase(records_.begin() + position);
    ids_.erase(ids_.begin() + position);
}

int64_t TMemoryCursor::BookmarkOf(int64_t position) const {
    Check(position);
    return ids_[static_cast<size_t>(position)];
}

int64_t TMemoryCursor::PositionOf(int64_t bookmark) const {
    const auto it = std::lower_bound(ids_.begin(), ids_.end(), bookmark);
    return it != ids_.end() && *it == bookmark ? it - ids_.begin() : -1;
}

}  // namespace tessel
