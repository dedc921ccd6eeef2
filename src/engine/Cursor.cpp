// Answers of SQL statements: rows read in blocks, moved over both ways.

#include "engine/Cursor.h"

#include <algorithm>
#include <cctype>

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "engine/Database.h"
#include "engine/Engine.h"
#include "engine/SqlValue.h"
#include "engine/StatementLocks.h"

namespace tessel::engine {

Cursor::Stream::~Stream() {
    sqlite3_finalize(source);
    // `locks` lets the tables go as it is destroyed (a failure to unlock a read is not
    // worth more than the answer already read).
}

Cursor::Cursor(Database* db, std::vector<FieldDesc> fields, sqlite3_stmt* source, std::unique_ptr<StatementLocks> locks,
               bool slots)
    : db_(db), engine_(&db->Owner()), fields_(std::move(fields)), readSlots_(slots) {
    stream_ = std::make_unique<Stream>();
    stream_->source = source;
    stream_->locks = std::move(locks);
    db_->streams_.push_back(this);
}

Cursor::Cursor(Engine& engine, std::vector<FieldDesc> fields, std::unique_ptr<RowSource> rows)
    : db_(nullptr), engine_(&engine), fields_(std::move(fields)) {
    stream_ = std::make_unique<Stream>();
    stream_->rows = std::move(rows);
}

std::unique_ptr<Cursor> Cursor::FromRows(Engine& engine, std::vector<FieldDesc> fields,
                                         std::unique_ptr<RowSource> rows) {
    std::unique_ptr<Cursor> cursor(new Cursor(engine, std::move(fields), std::move(rows)));
    cursor->Fill(Database::kFirstAnswerRows);
    return cursor;
}

Cursor::~Cursor() {
    EndStream();
}

void Cursor::EndStream() noexcept {
    if (!stream_) return;
    stream_.reset();
    if (!db_) return;
    auto& open = db_->streams_;
    open.erase(std::remove(open.begin(), open.end(), this), open.end());
}

void Cursor::Fill(int64_t upTo) {
    if (!stream_ || count_ >= upTo) return;
    // Rows come a batch at a time: stepping through the answer costs one call here per batch.
    upTo = std::max(upTo, count_ + kFillBatch);
    RunningGuard running(*engine_);
    try {
        Record& row = fillRow_;
        row.resize(fields_.size());
        if (RowSource* rows = stream_->rows.get()) {
            bool more = true;
            while (count_ < upTo && (more = rows->Next(row))) {
                rows_.Append(row);
                if ((++count_ & 0x3FFF) == 0) engine_->SetActivity("Reading records: " + GroupThousands(count_));
            }
            if (!more) EndStream();
            return;
        }
        sqlite3_stmt* source = stream_->source;
        int rc = SQLITE_ROW;
        while (count_ < upTo && (rc = sqlite3_step(source)) == SQLITE_ROW) {
            for (size_t k = 0; k < fields_.size(); ++k) ColumnValue(source, static_cast<int>(k), fields_[k], row[k]);
            rows_.Append(row);
            if (readSlots_)
                slots_.push_back(static_cast<uint32_t>(sqlite3_column_int64(source, static_cast<int>(fields_.size()))));
            if ((++count_ & 0x3FFF) == 0) engine_->SetActivity("Reading records: " + GroupThousands(count_));
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) db_->ThrowSqlite(rc, "");
        if (rc == SQLITE_DONE) EndStream();
    } catch (...) {
        // The rows kept so far stay; the query ends here.
        EndStream();
        throw;
    }
}

int64_t Cursor::RecordCount() const {
    const_cast<Cursor*>(this)->Fill(INT64_MAX);
    return count_;
}

int64_t Cursor::CountUpTo(int64_t recNo) const {
    const_cast<Cursor*>(this)->Fill(recNo < INT64_MAX ? recNo + 1 : recNo);
    return count_;
}

bool Cursor::FetchMore(int64_t rows) {
    if (stream_) Fill(count_ + std::max<int64_t>(rows, 1));
    return !stream_;
}

int Cursor::FieldIndex(const std::string& name) const {
    for (size_t k = 0; k < fields_.size(); ++k) {
        const std::string& f = fields_[k].name;
        if (f.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < f.size() && same; ++i)
            same = std::toupper(static_cast<unsigned char>(f[i])) == std::toupper(static_cast<unsigned char>(name[i]));
        if (same) return static_cast<int>(k);
    }
    return -1;
}

void Cursor::ReadRecord(int64_t recNo, Record& out) {
    if (recNo >= count_) Fill(recNo + 1);
    if (recNo < 0 || recNo >= count_) throw EngineError("Record number out of range", errc::kInvalidParameter);
    rows_.Read(recNo, out);
}

uint32_t Cursor::Slot(int64_t recNo) {
    if (recNo >= count_) Fill(recNo + 1);
    if (!readSlots_ || recNo < 0 || recNo >= count_)
        throw EngineError("Record number out of range", errc::kInvalidParameter);
    return slots_[static_cast<size_t>(recNo)];
}

const Record& Cursor::Current() {
    if (pos_ < 0 || pos_ >= count_) throw EngineError("No current record", errc::kInvalidParameter);
    if (currentRec_ != pos_) {
        ReadRecord(pos_, current_);
        currentRec_ = pos_;
    }
    return current_;
}

bool Cursor::Seek(int64_t start, int step) {
    for (int64_t k = start; k >= 0 && Has(k); k += step) {
        if (filter_) {
            ReadRecord(k, current_);
            currentRec_ = k;
            if (!filter_(current_)) continue;
        }
        pos_ = k;
        return true;
    }
    pos_ = step > 0 ? count_ : -1;
    return false;
}

bool Cursor::First() {
    return Seek(0, 1);
}
bool Cursor::Last() {
    return Seek(RecordCount() - 1, -1);
}
bool Cursor::Next() {
    return pos_ >= count_ ? false : Seek(pos_ + 1, 1);
}
bool Cursor::Prior() {
    return pos_ < 0 ? false : Seek(pos_ - 1, -1);
}

bool Cursor::MoveBy(int64_t n) {
    if (!filter_) {
        const int64_t target = pos_ + n;
        if (target >= count_) Fill(target + 1);
        pos_ = target < 0 ? -1 : target >= count_ ? count_ : target;
        return pos_ >= 0 && pos_ < count_;
    }
    bool ok = pos_ >= 0 && pos_ < count_;
    for (; n > 0 && (ok = Next()); --n) {
    }
    for (; n < 0 && (ok = Prior()); ++n) {
    }
    return ok;
}

bool Cursor::MoveTo(int64_t recNo) {
    if (recNo < 0 || !Has(recNo)) return false;
    pos_ = recNo;
    return true;
}

void Cursor::SetFilter(std::function<bool(const Record&)> accept) {
    filter_ = std::move(accept);
}

}  // namespace tessel::engine
