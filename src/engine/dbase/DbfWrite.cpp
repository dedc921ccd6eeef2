// The dBASE table: appending, updating, deleting and packing records, and their memos.

#include "engine/dbase/DbfCodec.h"
#include "engine/dbase/DbfTable.h"

namespace tessel::engine::dbase {

// ---------------------------------------------------------------------------------- writing

void DbfTable::RequireWritable() {
    if (header_.foxPro)
        throw EngineError("Table \"" + path_ + "\" is a FoxPro table, which Tessel only reads", errc::kReadOnly);
    if (readOnly_) throw EngineError("Table \"" + path_ + "\" is open read-only", errc::kReadOnly);
    if (!mdx_.path.empty())
        RequireIndexKept();
    else if (header_.mdxFlag != 0)
        WriteIndexFlags();  // the header claims an index that does not exist
}

void DbfTable::FieldError(const DbfField& f, const std::string& what, int code) const {
    throw EngineError("Field " + conv_->ToUtf8(f.name) + " of table \"" + path_ + "\": " + what, code);
}

void DbfTable::EncodeField(const DbfField& f, const FieldDesc& desc, const Value& v, char* dst,
                           std::vector<PendingBlob>& blobs) {
    const bool null = v.IsNull() || (v.kind == ValueKind::Text && v.s.empty() && f.kind != FieldKind::Char &&
                                     f.kind != FieldKind::Memo10);
    auto mismatch = [&]() { FieldError(f, "type mismatch (" + FormatValue(v) + ")", errc::kInvalidParameter); };
    switch (f.kind) {
        case FieldKind::Char: {
            std::memset(dst, ' ', f.width);
            if (null) return;
            if (v.kind == ValueKind::Bytes) mismatch();
            const std::string text = v.kind == ValueKind::Text ? std::string() : FormatValue(v);
            const std::string_view utf8 = v.kind == ValueKind::Text ? std::string_view(v.s) : text;
            char32_t bad = 0;
            if (!conv_->FromUtf8(utf8, scratch_, f.width, &bad))
                FieldError(f, codepage::NoPlaceText(bad, conv_->CodePage()), errc::kInvalidParameter);
            std::memcpy(dst, scratch_.data(), scratch_.size());
            return;
        }
        case FieldKind::Number: {
            if (null) {
                std::memset(dst, ' ', f.width);
                return;
            }
            DecimalText t;
            if (!ToDecimalText(v, t)) mismatch();
            if (!FormatNumberField(t, f.decimals, f.width, dst, keepDigits_ && v.kind == ValueKind::Decimal))
                FieldError(f,
                           "the value " + FormatValue(v) + " does not fit " + std::string(1, f.type) + "(" +
                               std::to_string(f.width) + "," + std::to_string(f.decimals) + ")",
                           errc::kInvalidParameter);
            return;
        }
        case FieldKind::Date: {
            if (null) {
                std::memset(dst, ' ', 8);
                return;
            }
            int64_t day = 0;
            if (v.kind == ValueKind::Date)
                day = v.i;
            else if (v.kind == ValueKind::Timestamp)
                day = v.i / kMsPerDay;
            else if (v.kind == ValueKind::Text) {
                int y, m, d;
                if (std::sscanf(v.s.c_str(), "%4d-%2d-%2d", &y, &m, &d) != 3 || !IsValidDate(y, m, d)) mismatch();
                day = DayNumber(y, m, d);
            } else {
                mismatch();
            }
            int y, m, d;
            CivilFromDayNumber(day, y, m, d);
            if (y < 1 || y > 9999) FieldError(f, "date out of range", errc::kInvalidParameter);
            char buf[16];
            std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
            std::memcpy(dst, buf, 8);
            return;
        }
        case FieldKind::Logical: {
            if (null) {
                dst[0] = header_.level7 ? ' ' : '?';
                return;
            }
            bool b = false;
            if (v.kind == ValueKind::Bool || v.kind == ValueKind::Int)
                b = v.i != 0;
            else if (v.kind == ValueKind::Text &&
                     (v.s == "T" || v.s == "t" || v.s == "TRUE" || v.s == "true" || v.s == "Y"))
                b = true;
            else if (v.kind == ValueKind::Text &&
                     (v.s == "F" || v.s == "f" || v.s == "FALSE" || v.s == "false" || v.s == "N"))
                b = false;
            else
                mismatch();
            dst[0] = b ? 'T' : 'F';
            return;
        }
        case FieldKind::Memo10: {
            std::memset(dst, ' ', f.width);
            if (null) return;
            PendingBlob blob;
            blob.field = static_cast<size_t>(&f - header_.fields.data());
            if (v.kind == ValueKind::Bytes) {
                blob.data = v.s;
            } else if (v.kind == ValueKind::Text && !f.binaryBlob) {
                char32_t bad = 0;
                if (!conv_->FromUtf8(v.s, blob.data, SIZE_MAX, &bad))
                    FieldError(f, codepage::NoPlaceText(bad, conv_->CodePage()), errc::kInvalidParameter);
            } else if (v.kind == ValueKind::Text) {
                blob.data = v.s;
            } else {
                blob.data = FormatValue(v);
            }
            if (blob.data.empty() && v.kind == ValueKind::Text) return;  // empty memo: no block
            if (memo_.Kind() == MemoKind::Dbt3 && blob.data.find('\x1A') != std::string::npos)
                FieldError(f, "the value contains the byte 0x1A, which a dBASE III memo cannot hold",
                           errc::kInvalidParameter);
            blobs.push_back(std::move(blob));
            return;
        }
        case FieldKind::Long7:
        case FieldKind::AutoInc7: {
            if (null) {
                std::memset(dst, 0, 4);
                return;
            }
            int64_t i = 0;
            if (v.kind == ValueKind::Int || v.kind == ValueKind::Bool)
                i = v.i;
            else if (v.kind == ValueKind::Decimal && v.scale >= 0 && v.scale <= 18 && v.i % kPow10[v.scale] == 0)
                i = v.i / kPow10[v.scale];
            else if (v.kind == ValueKind::Double && std::nearbyint(v.d) == v.d && std::fabs(v.d) < 3e9)
                i = static_cast<int64_t>(v.d);
            else
                mismatch();
            if (i < INT32_MIN || i > INT32_MAX)
                FieldError(f, "the value " + std::to_string(i) + " does not fit a 32-bit integer",
                           errc::kInvalidParameter);
            const uint32_t raw = static_cast<uint32_t>(i + 0x80000000LL);
            dst[0] = static_cast<char>(raw >> 24);
            dst[1] = static_cast<char>(raw >> 16);
            dst[2] = static_cast<char>(raw >> 8);
            dst[3] = static_cast<char>(raw);
            return;
        }
        case FieldKind::Double7: {
            if (null) {
                std::memset(dst, 0, 8);
                return;
            }
            if (v.kind != ValueKind::Int && v.kind != ValueKind::Double && v.kind != ValueKind::Decimal &&
                v.kind != ValueKind::Bool)
                mismatch();
            const double d = v.AsDouble();
            uint64_t bits;
            std::memcpy(&bits, &d, 8);
            bits = (bits & 0x8000000000000000ull) ? ~bits : bits | 0x8000000000000000ull;
            PutBeU64(dst, bits);
            return;
        }
        case FieldKind::Timestamp7: {
            if (null) {
                std::memset(dst, 0, 8);
                return;
            }
            int64_t ms = 0;
            if (v.kind == ValueKind::Timestamp)
                ms = v.i;
            else if (v.kind == ValueKind::Date)
                ms = v.i * kMsPerDay;
            else
                mismatch();
            if (ms < kMsPerDay) FieldError(f, "timestamp out of range", errc::kInvalidParameter);
            const double d = static_cast<double>(ms);
            uint64_t bits;
            std::memcpy(&bits, &d, 8);
            PutBeU64(dst, bits);
            return;
        }
        default:
            (void)desc;
            FieldError(f, "Tessel cannot write fields of type " + std::string(1, f.type), errc::kNotSupported);
    }
}

void DbfTable::EncodeRecord(const Record& values, std::string& rec, std::vector<PendingBlob>& blobs) {
    if (values.size() != fields_.size())
        throw EngineError("Table \"" + path_ + "\" has " + std::to_string(fields_.size()) + " fields, but " +
                              std::to_string(values.size()) + " values were given",
                          errc::kInvalidParameter);
    rec.assign(header_.recordLength, ' ');
    blobs.clear();
    for (size_t k = 0; k < fields_.size(); ++k) {
        const DbfField& f = header_.fields[fieldMap_[k]];
        EncodeField(f, fields_[k], values[k], rec.data() + f.offset, blobs);
    }
}

void DbfTable::WriteBlobs(std::string& rec, std::vector<PendingBlob>& blobs, const std::string* oldRec) {
    for (auto& blob : blobs) {
        const DbfField& f = header_.fields[blob.field];
        const uint64_t oldBlock = oldRec ? MemoPointer(oldRec->data(), f) : 0;
        uint32_t block;
        try {
            block = memo_.Write(blob.data, oldBlock);
        } catch (const EngineError& e) {
            FieldError(f, e.what(), e.Code());
        }
        const std::string digits = std::to_string(block);
        char* dst = rec.data() + f.offset;
        std::memset(dst, ' ', f.width);
        std::memcpy(dst + (f.width - digits.size()), digits.data(), digits.size());
    }
}

void DbfTable::Unlock() {
    // The outermost hold writes what was kept back: the appends, then the index.
    const bool last = file_.Depth() == 1;
    if (pendingCount_ > 0 || (last && mdx_.dirty)) {
        try {
            FlushAppends();
            if (last && mdx_.dirty) WriteIndexFile();
        } catch (...) {
            file_.Unlock();
            throw;
        }
    }
    file_.Unlock();
}

void DbfTable::FlushAppends() {
    if (pendingCount_ == 0) return;
    try {
        FileLockGuard lock(file_, LockMode::Exclusive);
        pending_.push_back('\x1A');
        file_.WriteAt(header_.headerLength + uint64_t{pendingFirst_} * header_.recordLength, pending_);
        WriteHeaderUpdate(pendingFirst_ + pendingCount_);
    } catch (...) {
        // The kept records are lost: the table is as it was before them.
        recordCount_ = pendingFirst_;
        chunkCount_ = 0;
        pending_.clear();
        pendingCount_ = 0;
        throw;
    }
    pending_.clear();
    pendingCount_ = 0;
}

void DbfTable::WriteHeaderUpdate(uint32_t count) {
    char b[7];
    TodayBytes(b);
    PutLeU32(b + 3, count);
    file_.WriteAt(1, b, 7);
}

uint32_t DbfTable::AppendRecord(const Record& values) {
    RequireWritable();
    EncodeRecord(values, encoded_, blobs_);
    const bool held = file_.HoldsExclusive();
    const bool callerHolds = file_.HoldsLock();
    FileLockGuard lock(file_, LockMode::Exclusive);
    EnsureFresh();
    const uint32_t count = recordCount_;
    if (count == UINT32_MAX) throw EngineError("Table \"" + path_ + "\" is full", errc::kIo);
    // Level 7 auto-increment fields: the next number unless a value was given.
    bool countersChanged = false;
    for (size_t k = 0; k < fields_.size(); ++k) {
        DbfField& f = header_.fields[fieldMap_[k]];
        if (f.kind != FieldKind::AutoInc7) continue;
        int64_t v;
        if (values[k].IsNull()) {
            v = std::max<int64_t>(1, f.autoIncNext);
            Value given = Value::Int(v);
            EncodeField(f, fields_[k], given, encoded_.data() + f.offset, blobs_);
        } else {
            Value decoded;
            DecodeField(encoded_.data(), f, decoded);
            v = decoded.i;
        }
        if (v + 1 > int64_t{f.autoIncNext} && v + 1 <= INT32_MAX) {
            f.autoIncNext = static_cast<uint32_t>(v + 1);
            countersChanged = true;
        }
    }
    WriteBlobs(encoded_, blobs_, nullptr);
    NoteIndexChange(count, nullptr, encoded_.data());
    // Held exclusively by the caller (a batch of appends): kept back and written in pieces.
    const bool keep = held && !countersChanged;
    if (!keep) FlushAppends();
    if (keep) {
        if (pendingCount_ == 0) pendingFirst_ = count;
        pending_.append(encoded_);
        ++pendingCount_;
    } else {
        // The record and the end mark first, the header after: until the header counts it, no
        // reader sees the record.
        encoded_.push_back('\x1A');
        file_.WriteAt(header_.headerLength + uint64_t{count} * header_.recordLength, encoded_);
        encoded_.pop_back();
    }
    if (countersChanged) {
        for (size_t k = 0; k < header_.fields.size(); ++k) {
            const DbfField& f = header_.fields[k];
            if (f.kind != FieldKind::AutoInc7) continue;
            char c[4];
            PutLeU32(c, f.autoIncNext);
            file_.WriteAt(header_.DescriptorStart() + k * header_.DescriptorSize() + 40, c, 4);
        }
    }
    if (!keep) WriteHeaderUpdate(count + 1);
    recordCount_ = count + 1;
    if (keep && pending_.size() >= kPendingBytes) FlushAppends();
    if (chunkCount_ > 0 && chunkFirst_ + chunkCount_ == count &&
        chunk_.size() >= (uint64_t{chunkCount_} + 1) * header_.recordLength) {
        std::memcpy(chunk_.data() + uint64_t{chunkCount_} * header_.recordLength, encoded_.data(),
                    header_.recordLength);
        ++chunkCount_;
    }
    AfterWrite(callerHolds);
    return count;
}

uint32_t DbfTable::UpdateRecord(uint32_t recNo, const Record& values) {
    RequireWritable();
    FlushAppends();
    EncodeRecord(values, encoded_, blobs_);
    const bool callerHolds = file_.HoldsLock();
    FileLockGuard lock(file_, LockMode::Exclusive);
    EnsureFresh();
    CheckSlot(recNo);
    const uint64_t offset = header_.headerLength + uint64_t{recNo} * header_.recordLength;
    std::string old(header_.recordLength, '\0');
    file_.ReadExactly(offset, old.data(), old.size(), "record");
    encoded_[0] = old[0];  // the deletion mark stays as it is
    for (size_t k = 0; k < fields_.size(); ++k) {
        const DbfField& f = header_.fields[fieldMap_[k]];
        if (f.kind == FieldKind::AutoInc7 && values[k].IsNull())
            std::memcpy(encoded_.data() + f.offset, old.data() + f.offset, 4);
    }
    WriteBlobs(encoded_, blobs_, &old);
    file_.WriteAt(offset, encoded_);
    NoteIndexChange(recNo, old.data(), encoded_.data());
    WriteHeaderUpdate(recordCount_);
    if (recNo >= chunkFirst_ && recNo < chunkFirst_ + chunkCount_)
        std::memcpy(chunk_.data() + uint64_t{recNo - chunkFirst_} * header_.recordLength, encoded_.data(),
                    header_.recordLength);
    AfterWrite(callerHolds);
    return recNo;  // a dBASE record keeps its slot
}

void DbfTable::DeleteRecord(uint32_t recNo) {
    RequireWritable();
    FlushAppends();
    FileLockGuard lock(file_, LockMode::Exclusive);
    EnsureFresh();
    CheckSlot(recNo);
    file_.WriteAt(header_.headerLength + uint64_t{recNo} * header_.recordLength, "*", 1);
    WriteHeaderUpdate(recordCount_);
    if (recNo >= chunkFirst_ && recNo < chunkFirst_ + chunkCount_)
        chunk_[uint64_t{recNo - chunkFirst_} * header_.recordLength] = '*';
    // The index keeps a deleted record's entries (as dBASE does) until the table is packed.
}

void DbfTable::WriteRawRecord(uint32_t recNo, std::string_view bytes) {
    RequireWritable();
    FlushAppends();
    if (bytes.size() != header_.recordLength)
        throw EngineError(
            "A raw record for \"" + path_ + "\" must have " + std::to_string(header_.recordLength) + " bytes",
            errc::kInvalidParameter);
    const bool callerHolds = file_.HoldsLock();
    FileLockGuard lock(file_, LockMode::Exclusive);
    EnsureFresh();
    CheckSlot(recNo);
    const uint64_t offset = header_.headerLength + uint64_t{recNo} * header_.recordLength;
    if (!mdx_.path.empty()) {
        oldRecord_.resize(header_.recordLength);
        file_.ReadExactly(offset, oldRecord_.data(), oldRecord_.size(), "record");
    }
    file_.WriteAt(offset, bytes);
    chunkCount_ = 0;
    if (!mdx_.path.empty()) NoteIndexChange(recNo, oldRecord_.data(), bytes.data());
    AfterWrite(callerHolds);
}

void DbfTable::Pack() {
    RequireWritable();
    FlushAppends();
    const bool callerHolds = file_.HoldsLock();
    FileLockGuard lock(file_, LockMode::Exclusive);
    EnsureFresh();
    // Live records move down in order; a write always lands at or before the place it was read
    // from, so an interrupted pack can duplicate a record but never lose one.
    const uint32_t recLen = header_.recordLength;
    std::string rec(recLen, '\0');
    uint32_t kept = 0;
    for (uint32_t k = 0; k < recordCount_; ++k) {
        const uint64_t from = header_.headerLength + uint64_t{k} * recLen;
        file_.ReadExactly(from, rec.data(), recLen, "record");
        if (rec[0] == '*') continue;
        if (kept != k) file_.WriteAt(header_.headerLength + uint64_t{kept} * recLen, rec);
        ++kept;
    }
    const uint64_t end = header_.headerLength + uint64_t{kept} * recLen;
    file_.WriteAt(end, "\x1A", 1);
    WriteHeaderUpdate(kept);
    file_.Truncate(end + 1);
    recordCount_ = kept;
    chunkCount_ = 0;
    mdx_.full = true;  // record numbers changed
    AfterWrite(callerHolds);
}

}  // namespace tessel::engine::dbase
