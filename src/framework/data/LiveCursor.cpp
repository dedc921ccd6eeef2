// The live answer: rows of one table's records, changed in the table file itself.

#include "framework/data/LiveCursor.h"

#include <sys/stat.h>

#include <filesystem>

#include "base/EngineError.h"
#include "engine/Cursor.h"
#include "engine/Database.h"
#include "engine/Engine.h"
#include "engine/TableFiles.h"

namespace tessel {

using engine::EngineError;
using engine::Value;
using engine::ValueKind;

namespace {

bool Numeric(const Value& v) {
    return v.kind == ValueKind::Int || v.kind == ValueKind::Double || v.kind == ValueKind::Decimal ||
           v.kind == ValueKind::Bool;
}

double AsNumber(const Value& v) {
    switch (v.kind) {
        case ValueKind::Double:
            return v.d;
        case ValueKind::Decimal:
            return static_cast<double>(v.i) / static_cast<double>(engine::kPow10[v.scale]);
        default:
            return static_cast<double>(v.i);
    }
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// Whether a record still shows what the answer read: the same values, numbers by their
// value and text without its trailing blanks (the rule the queries compare by).
bool SameValue(const Value& a, const Value& b) {
    if (a.IsNull() || b.IsNull()) return a.IsNull() == b.IsNull();
    if (Numeric(a) && Numeric(b)) return AsNumber(a) == AsNumber(b);
    if (a.kind != b.kind) return false;
    if (a.kind == ValueKind::Text) return Trimmed(a.s) == Trimmed(b.s);
    if (a.kind == ValueKind::Bytes) return a.s == b.s;
    return a.i == b.i;
}

bool FileId(const std::string& path, uint64_t& device, uint64_t& inode) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    device = st.st_dev;
    inode = st.st_ino;
    return true;
}

}  // namespace

TLiveAnswerCursor::TLiveAnswerCursor(std::unique_ptr<engine::Cursor> answer) : answer_(std::move(answer)) {
    // The query has just read the file under its lock: this is the file its slots are of.
    if (!FileId(TablePath(), device_, inode_))
        throw EngineError("Table does not exist: " + TablePath(), engine::errc::kNotFound);
}

TLiveAnswerCursor::~TLiveAnswerCursor() {
    if (!table_) return;
    try {
        table_->Close();
    } catch (...) {
        // Every change was written when it was made; closing has nothing left to report.
    }
}

const std::string& TLiveAnswerCursor::TablePath() const {
    return answer_->Source().tablePath;
}

const std::vector<engine::FieldDesc>& TLiveAnswerCursor::Fields() const {
    return answer_->Fields();
}

int64_t TLiveAnswerCursor::RecordCount() const {
    return begun_ ? static_cast<int64_t>(rows_.size()) : answer_->RecordCount();
}

int64_t TLiveAnswerCursor::KnownCount() const {
    return begun_ ? static_cast<int64_t>(rows_.size()) : answer_->KnownCount();
}

bool TLiveAnswerCursor::IsComplete() const {
    return begun_ || answer_->IsComplete();
}

int64_t TLiveAnswerCursor::CountUpTo(int64_t position) {
    return begun_ ? static_cast<int64_t>(rows_.size()) : answer_->CountUpTo(position);
}

bool TLiveAnswerCursor::FetchMore(int64_t rows) {
    return begun_ || answer_->FetchMore(rows);
}

void TLiveAnswerCursor::ReadRecord(int64_t position, engine::Record& out) {
    if (!begun_) return answer_->ReadRecord(position, out);
    const Row& row = At(position);
    if (row.edited >= 0)
        out = edited_[static_cast<size_t>(row.edited)];
    else
        answer_->ReadRecord(row.answerRow, out);
}

TLiveAnswerCursor::Row& TLiveAnswerCursor::At(int64_t position) {
    if (position < 0 || position >= static_cast<int64_t>(rows_.size()))
        throw EngineError("Record " + std::to_string(position + 1) + " of the answer does not exist",
                          engine::errc::kNotFound);
    return rows_[static_cast<size_t>(position)];
}

[[noreturn]] void TLiveAnswerCursor::Changed(const std::string& what) const {
    throw EngineError("The record " + what +
                          " by another user since the query read it; run the query again to "
                          "change it",
                      engine::errc::kRecordChanged);
}

void TLiveAnswerCursor::CheckSameFile() const {
    if (!replaced_.empty())
        throw EngineError("The answer can no longer change its table: " + replaced_, engine::errc::kReadOnly);
    uint64_t device = 0, inode = 0;
    if (!FileId(TablePath(), device, inode) || device != device_ || inode != inode_)
        throw EngineError("The table \"" + TablePath() + "\" was replaced since the query read it; run the query again",
                          engine::errc::kRecordChanged);
}

void TLiveAnswerCursor::Begin() {
    if (begun_) return;
    CheckSameFile();
    const int64_t n = answer_->RecordCount();  // the query ends and lets its table go
    std::vector<Row> rows;
    rows.reserve(static_cast<size_t>(n));
    for (int64_t k = 0; k < n; ++k) rows.push_back(Row{answer_->Slot(k), k});
    table_ = answer_->Owner().OpenTable(TablePath(), engine::OpenMode::ReadWrite);
    shifting_ = table_->Driver().DeleteRemovesRecords();
    rows_ = std::move(rows);
    begun_ = true;
}

void TLiveAnswerCursor::Project(const engine::Record& full, engine::Record& out) const {
    const auto& fields = answer_->Source().fields;
    out.resize(fields.size());
    for (size_t k = 0; k < fields.size(); ++k) out[k] = full.at(fields[k]);
}

void TLiveAnswerCursor::ReadUnchanged(const Row& row) {
    if (row.slot >= table_->RecordCount() || !table_->ReadRecord(row.slot, full_)) Changed("was deleted");
    Project(full_, shown_);
    engine::Record known;
    if (row.edited >= 0)
        known = edited_[static_cast<size_t>(row.edited)];
    else
        answer_->ReadRecord(row.answerRow, known);
    for (size_t k = 0; k < known.size() && k < shown_.size(); ++k)
        if (!SameValue(known[k], shown_[k])) Changed("was changed");
}

void TLiveAnswerCursor::Remember(Row& row) {
    engine::Record stored;
    table_->ReadRecord(row.slot, full_);
    Project(full_, stored);
    if (row.edited < 0) {
        row.edited = static_cast<int64_t>(edited_.size());
        edited_.push_back(std::move(stored));
    } else {
        edited_[static_cast<size_t>(row.edited)] = std::move(stored);
    }
}

void TLiveAnswerCursor::Removed(uint32_t at, const Row* except) {
    if (!shifting_) return;
    for (Row& r : rows_)
        if (&r != except && r.slot > at) --r.slot;
}

void TLiveAnswerCursor::Inserted(uint32_t at, const Row* except) {
    if (!shifting_) return;
    for (Row& r : rows_)
        if (&r != except && r.slot >= at) ++r.slot;
}

namespace {

// The table's lock for one change, with the file read afresh under it: another program may
// have written since the last change.
struct ChangeLock {
    engine::TableLock lock;
    explicit ChangeLock(engine::Table& table) : lock(table, engine::LockMode::Exclusive) {
        if (!table.Driver().RefreshesOnLock()) table.Refresh();
    }
};

}  // namespace

int64_t TLiveAnswerCursor::UpdateRecord(int64_t position, const engine::Record& values) {
    Begin();
    CheckSameFile();
    Row& row = At(position);
    ChangeLock hold(*table_);
    ReadUnchanged(row);
    const auto& fields = answer_->Source().fields;
    for (size_t k = 0; k < fields.size() && k < values.size(); ++k) full_[fields[k]] = values[k];
    const uint32_t before = row.slot;
    const uint32_t after = table_->UpdateRecord(before, full_);
    hold.lock.Release();
    if (after != before) {
        // A keyed table moved the record to its new key's place.
        Removed(before, &row);
        Inserted(after, &row);
        row.slot = after;
    }
    Remember(row);
    return position;
}

int64_t TLiveAnswerCursor::AppendRecord(const engine::Record& values) {
    Begin();
    CheckSameFile();
    ChangeLock hold(*table_);
    full_.assign(table_->Fields().size(), Value());
    const auto& fields = answer_->Source().fields;
    for (size_t k = 0; k < fields.size() && k < values.size(); ++k) full_[fields[k]] = values[k];
    const uint32_t slot = table_->AppendRecord(full_);
    hold.lock.Release();
    Inserted(slot, nullptr);
    rows_.push_back(Row{slot, -1});
    Remember(rows_.back());
    return static_cast<int64_t>(rows_.size()) - 1;
}

void TLiveAnswerCursor::DeleteRecord(int64_t position) {
    Begin();
    CheckSameFile();
    const Row row = At(position);
    ChangeLock hold(*table_);
    ReadUnchanged(row);
    table_->DeleteRecord(row.slot);
    hold.lock.Release();
    rows_.erase(rows_.begin() + position);
    Removed(row.slot, nullptr);
}

uint64_t TLiveAnswerCursor::CopyTo(const std::string& destPath) {
    std::error_code ec;
    const bool ontoTable =
        std::filesystem::exists(destPath, ec) && std::filesystem::equivalent(destPath, TablePath(), ec);
    engine::Database& db = answer_->Owner();
    uint64_t copied;
    if (!begun_) {
        copied = db.BatchCopy(*answer_, destPath);
    } else {
        copied = db.BatchCopy(
            Fields(), RecordCount(), [this](int64_t n, engine::Record& rec) { ReadRecord(n, rec); }, destPath);
    }
    if (ontoTable) {
        // The records the rows stood for are gone with the file they were in.
        replaced_ = "its table was replaced by the saved answer";
        if (table_) {
            table_->Abandon();
            table_.reset();
        }
    }
    return copied;
}

const std::vector<std::string>& TLiveAnswerCursor::ValidityPictures() {
    if (picturesRead_) return pictures_;
    const std::vector<engine::ValCheckDesc> checks =
        table_ ? table_->ValidityChecks() : engine::OpenTableFile(TablePath())->ValidityChecks();
    const auto& fields = answer_->Source().fields;
    for (const auto& check : checks) {
        if (check.picture.empty()) continue;
        for (size_t k = 0; k < fields.size(); ++k)
            if (fields[k] + 1 == check.fieldNumber) pictures_.push_back(Fields()[k].name + '\t' + check.picture);
    }
    picturesRead_ = true;
    return pictures_;
}

}  // namespace tessel
