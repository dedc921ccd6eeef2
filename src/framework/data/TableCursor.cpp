// The cursor over a table file: slots, keys, edits.

#include "framework/data/TableCursor.h"

#include <algorithm>
#include <filesystem>

#include "base/EngineError.h"
#include "engine/TableFiles.h"
#include "engine/storage/Driver.h"

namespace tessel {

using engine::EngineError;

TTableCursor::TTableCursor(std::unique_ptr<engine::Table> table, bool readOnly)
    : table_(std::move(table)), readOnly_(readOnly) {
    fields_ = table_->Fields();
    const std::vector<std::string> names = engine::SqlFieldNames(fields_);
    for (size_t k = 0; k < fields_.size(); ++k) fields_[k].name = names[k];
    MapSlots();
}

TTableCursor::~TTableCursor() {
    try {
        table_->Close();
    } catch (...) {
        // Closing flushes; a failure here has no one left to tell.
    }
}

void TTableCursor::MapSlots() {
    identity_ = true;
    slots_.clear();
    if (table_->Driver().DeleteRemovesRecords()) return;  // no deleted slots
    // Only the deletion marks are looked at: no field is decoded.
    const std::vector<bool> none(table_->Fields().size(), false);
    const uint32_t n = table_->RecordCount();
    for (uint32_t slot = 0; slot < n; ++slot) {
        const bool live = table_->ReadRecord(slot, scratch_, &none);
        if (!live && identity_) {
            identity_ = false;
            slots_.reserve(n);
            for (uint32_t k = 0; k < slot; ++k) slots_.push_back(k);
        }
        if (live && !identity_) slots_.push_back(slot);
    }
}

int64_t TTableCursor::RecordCount() const {
    return identity_ ? static_cast<int64_t>(table_->RecordCount()) : static_cast<int64_t>(slots_.size());
}

uint32_t TTableCursor::Slot(int64_t position) const {
    if (position < 0 || position >= RecordCount())
        throw EngineError(
            "Record " + std::to_string(position + 1) + " of \"" + table_->FileName() + "\" does not exist",
            engine::errc::kNotFound);
    return identity_ ? static_cast<uint32_t>(position) : slots_[static_cast<size_t>(position)];
}

void TTableCursor::ReadRecord(int64_t position, engine::Record& out) {
    if (!table_->ReadRecord(Slot(position), out))
        throw EngineError("Record " + std::to_string(position + 1) + " of \"" + table_->FileName() +
                              "\" was deleted by another program",
                          engine::errc::kNotFound);
}

int64_t TTableCursor::AppendRecord(const engine::Record& values) {
    if (!CanModify()) return TDataCursor::AppendRecord(values);
    const uint32_t slot = table_->AppendRecord(values);
    if (identity_) return slot;
    const auto it = std::lower_bound(slots_.begin(), slots_.end(), slot);
    return slots_.insert(it, slot) - slots_.begin();
}

int64_t TTableCursor::UpdateRecord(int64_t position, const engine::Record& values) {
    if (!CanModify()) return TDataCursor::UpdateRecord(position, values);
    const uint32_t before = Slot(position);
    const uint32_t after = table_->UpdateRecord(before, values);
    // A keyed table moves a record whose key changed to the key's place; a table with
    // deletion marks keeps its slots.
    return after == before ? position : PositionOf(after);
}

void TTableCursor::DeleteRecord(int64_t position) {
    if (!CanModify()) return TDataCursor::DeleteRecord(position);
    const uint32_t slot = Slot(position);
    table_->DeleteRecord(slot);
    if (table_->Driver().DeleteRemovesRecords()) return;  // the records after it moved up
    if (identity_) {
        identity_ = false;
        const uint32_t n = table_->RecordCount();
        slots_.reserve(n);
        for (uint32_t k = 0; k < n; ++k)
            if (k != slot) slots_.push_back(k);
    } else {
        slots_.erase(slots_.begin() + position);
    }
}

int64_t TTableCursor::BookmarkOf(int64_t position) const {
    return Slot(position);
}

int64_t TTableCursor::PositionOf(int64_t bookmark) const {
    if (bookmark < 0) return -1;
    if (identity_) return bookmark < RecordCount() ? bookmark : -1;
    const auto it = std::lower_bound(slots_.begin(), slots_.end(), static_cast<uint32_t>(bookmark));
    return it != slots_.end() && *it == bookmark ? it - slots_.begin() : -1;
}

void TTableCursor::Refresh() {
    table_->Refresh();
    MapSlots();
}

uint64_t TTableCursor::CopyTo(const std::string& destPath) {
    // Copying a table onto its own file would replace the records while they are read.
    std::error_code ec;
    if (std::filesystem::exists(destPath, ec) && std::filesystem::equivalent(destPath, table_->FileName(), ec))
        throw EngineError("Cannot copy table \"" + table_->FileName() + "\" onto itself",
                          engine::errc::kInvalidParameter);
    return engine::CopyTableFile(*table_, destPath);
}

}  // namespace tessel
