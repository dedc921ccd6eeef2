// Answers of SQL statements: rows read in blocks, moved over both ways.

#include "engine/Cursor.h"

#include <algorithm>
#include <cctype>

#include "base/EngineError.h"
#include "engine/Database.h"
#include "engine/SqlValue.h"

namespace tessel::engine {

Cursor::Cursor(Database* db, std::string table, std::vector<FieldDesc> fields, int64_t count)
    : db_(db), table_(std::move(table)), fields_(std::move(fields)), count_(count) {
    const std::string sql = "SELECT * FROM temp." + table_ + " WHERE rowid >= ?1 ORDER BY rowid";
    if (sqlite3_prepare_v3(db_->Connection(), sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &read_, nullptr) != SQLITE_OK)
        throw EngineError(std::string("Cannot read the answer: ") + sqlite3_errmsg(db_->Connection()),
                          errc::kSqlExecute);
}

Cursor::~Cursor() {
    sqlite3_finalize(read_);
    db_->DropAnswerTable(table_);
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
    if (recNo < 0 || recNo >= count_) throw EngineError("Record number out of range", errc::kInvalidParameter);
    if (recNo < blockStart_ || recNo >= blockStart_ + static_cast<int64_t>(block_.size())) {
        // A block around the record: ahead of it, or behind it when moving backwards.
        constexpr int64_t kBlock = 256;
        const bool backwards = !block_.empty() && recNo == blockStart_ - 1;
        const int64_t start = backwards ? std::max<int64_t>(0, recNo - kBlock + 1) : recNo;
        const int64_t n = std::min(kBlock, count_ - start);
        block_.clear();
        blockStart_ = start;
        sqlite3_reset(read_);
        sqlite3_bind_int64(read_, 1, start + 1);  // rows are stored in answer order from rowid 1
        block_.resize(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i) {
            const int rc = sqlite3_step(read_);
            if (rc != SQLITE_ROW) {
                sqlite3_reset(read_);
                block_.clear();
                throw EngineError(std::string("Cannot read the answer: ") + sqlite3_errmsg(db_->Connection()),
                                  errc::kSqlExecute, rc == SQLITE_DONE ? SQLITE_CORRUPT : rc);
            }
            Record& rec = block_[static_cast<size_t>(i)];
            rec.resize(fields_.size());
            for (size_t k = 0; k < fields_.size(); ++k) ColumnValue(read_, static_cast<int>(k), fields_[k], rec[k]);
        }
        sqlite3_reset(read_);
    }
    out = block_[static_cast<size_t>(recNo - blockStart_)];
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
    for (int64_t k = start; k >= 0 && k < count_; k += step) {
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
    return Seek(count_ - 1, -1);
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
    if (recNo < 0 || recNo >= count_) return false;
    pos_ = recNo;
    return true;
}

void Cursor::SetFilter(std::function<bool(const Record&)> accept) {
    filter_ = std::move(accept);
}

}  // namespace tessel::engine
