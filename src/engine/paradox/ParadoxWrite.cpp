// The Paradox table: writing records, keys and BLOBs, and the header and primary index after them.

#include "engine/paradox/ParadoxTable.h"

namespace tessel::engine::paradox {

// --- writing ---------------------------------------------------------------------------------

void ParadoxTable::EncodeField(size_t k, const Value& v, uint8_t* dst,
                               std::vector<std::pair<size_t, std::string>>& blobs) {
    const PxField& f = h_.fields[k];
    std::memset(dst, 0, f.length);
    if (v.IsNull()) return;
    auto badValue = [&](const std::string& why) {
        Fail("Field \"" + fields_[k].name + "\" of " + Where() + ": " + why, errc::kInvalidParameter);
    };
    auto asText = [&]() { return v.kind == ValueKind::Text ? v.s : FormatValue(v); };
    auto asNumber = [&](double& d) -> bool {
        switch (v.kind) {
            case ValueKind::Bool:
            case ValueKind::Int:
                d = static_cast<double>(v.i);
                return true;
            case ValueKind::Double:
                d = v.d;
                return true;
            case ValueKind::Decimal:
                d = v.AsDouble();
                return true;
            case ValueKind::Text: {
                bool neg;
                std::string ip, fr;
                if (!ParseDecimalText(v.s, neg, ip, fr)) {
                    char* end = nullptr;
                    d = std::strtod(v.s.c_str(), &end);
                    return end && *end == 0 && !v.s.empty();
                }
                d = std::strtod(v.s.c_str(), nullptr);
                return true;
            }
            default:
                return false;
        }
    };
    auto asInteger = [&](int64_t lo, int64_t hi) -> int64_t {
        double d;
        if (v.kind == ValueKind::Int || v.kind == ValueKind::Bool) {
            if (v.i < lo || v.i > hi) badValue(std::to_string(v.i) + " is out of range");
            return v.i;
        }
        if (!asNumber(d)) badValue("\"" + asText() + "\" is not a number");
        if (!std::isfinite(d) || d != std::floor(d) || d < static_cast<double>(lo) || d > static_cast<double>(hi))
            badValue(FormatDouble(d) + " is not a whole number in range");
        return static_cast<int64_t>(d);
    };
    switch (f.type) {
        case pxt::kAlpha: {
            // Trailing blanks are not kept, as Paradox itself keeps none: 'ab  ' is stored as
            // 'ab' (and all blanks as a blank field), so every reader sees one value.
            std::string text = asText();
            while (!text.empty() && text.back() == ' ') text.pop_back();
            if (text.find('\0') != std::string::npos) badValue("text holds a NUL character");
            std::string enc;
            char32_t bad = 0;
            if (!conv_->FromUtf8(text, enc, f.length + 1, &bad))
                badValue(codepage::NoPlaceText(bad, conv_->CodePage()));
            if (enc.size() > f.length)
                badValue("text of more than " + std::to_string(f.length) + " bytes does not fit");
            std::memcpy(dst, enc.data(), enc.size());
            return;
        }
        case pxt::kShort:
            EncodeInt(asInteger(-32767, 32767), dst, 2);
            return;
        case pxt::kLong:
        case pxt::kAutoInc:
            EncodeInt(asInteger(-2147483647, 2147483647), dst, 4);
            return;
        case pxt::kCurrency:
        case pxt::kNumber: {
            double d;
            if (!asNumber(d)) badValue("\"" + asText() + "\" is not a number");
            if (std::isnan(d)) badValue("NaN cannot be stored");
            EncodeDouble(d, dst);
            return;
        }
        case pxt::kLogical: {
            bool b = false;
            if (v.kind == ValueKind::Bool || v.kind == ValueKind::Int)
                b = v.i != 0;
            else if (v.kind == ValueKind::Text) {
                std::string t = v.s;
                for (auto& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                if (t == "TRUE" || t == "T" || t == "Y" || t == "YES" || t == "1")
                    b = true;
                else if (t == "FALSE" || t == "F" || t == "N" || t == "NO" || t == "0")
                    b = false;
                else
                    badValue("\"" + v.s + "\" is not a logical value");
            } else
                badValue("not a logical value");
            dst[0] = b ? 0x81 : 0x80;
            return;
        }
        case pxt::kDate: {
            int64_t day = 0;
            if (v.kind == ValueKind::Date)
                day = v.i;
            else if (v.kind == ValueKind::Timestamp)
                day = (v.i >= 0 ? v.i : v.i - kMsPerDay + 1) / kMsPerDay;
            else if (v.kind == ValueKind::Text) {
                size_t pos = 0;
                if (!ParseDateText(v.s, pos, day) || pos != v.s.size()) badValue("\"" + v.s + "\" is not a date");
            } else
                badValue("not a date");
            if (day <= -2147483647 - 1 + 1 || day > 2147483647) badValue("date out of range");
            EncodeInt(day, dst, 4);
            return;
        }
        case pxt::kTime: {
            int64_t ms = 0;
            if (v.kind == ValueKind::Time)
                ms = v.i;
            else if (v.kind == ValueKind::Timestamp)
                ms = ((v.i % kMsPerDay) + kMsPerDay) % kMsPerDay;
            else if (v.kind == ValueKind::Text) {
                size_t pos = 0;
                if (!ParseTimeText(v.s, pos, ms) || pos != v.s.size()) badValue("\"" + v.s + "\" is not a time");
            } else
                badValue("not a time");
            if (ms < 0 || ms >= kMsPerDay) badValue("time out of range");
            EncodeInt(ms, dst, 4);
            return;
        }
        case pxt::kTimestamp: {
            int64_t ms = 0;
            if (v.kind == ValueKind::Timestamp)
                ms = v.i;
            else if (v.kind == ValueKind::Date)
                ms = v.i * kMsPerDay;
            else if (v.kind == ValueKind::Text) {
                size_t pos = 0;
                int64_t day, t = 0;
                if (!ParseDateText(v.s, pos, day)) badValue("\"" + v.s + "\" is not a timestamp");
                if (pos < v.s.size()) {
                    if (v.s[pos] != ' ' && v.s[pos] != 'T') badValue("\"" + v.s + "\" is not a timestamp");
                    ++pos;
                    if (!ParseTimeText(v.s, pos, t)) badValue("\"" + v.s + "\" is not a timestamp");
                }
                if (pos != v.s.size()) badValue("\"" + v.s + "\" is not a timestamp");
                ms = day * kMsPerDay + t;
            } else
                badValue("not a timestamp");
            EncodeDouble(static_cast<double>(ms), dst);
            return;
        }
        case pxt::kBcd: {
            std::string text;
            if (v.kind == ValueKind::Decimal)
                text = FormatDecimal(v.i, v.scale);
            else if (v.kind == ValueKind::Int || v.kind == ValueKind::Bool)
                text = std::to_string(v.i);
            else if (v.kind == ValueKind::Double) {
                if (!std::isfinite(v.d) || std::fabs(v.d) >= 1e32) badValue(FormatDouble(v.d) + " does not fit");
                char buf[128];
                std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(f.sizeByte), v.d);
                text = buf;
            } else if (v.kind == ValueKind::Text)
                text = v.s;
            else
                badValue("not a number");
            bool neg;
            char digits[32];
            if (!BcdDigits(text, f.sizeByte, neg, digits)) badValue("\"" + text + "\" does not fit");
            EncodeBcd(neg, f.sizeByte, digits, dst);
            return;
        }
        case pxt::kBytes: {
            if (v.kind != ValueKind::Bytes && v.kind != ValueKind::Text) badValue("not a byte string");
            if (v.s.size() > f.length) badValue("more than " + std::to_string(f.length) + " bytes do not fit");
            std::memcpy(dst, v.s.data(), v.s.size());
            return;
        }
        default:
            break;
    }
    if (IsBlobType(f.type)) {
        std::string data;
        if (IsTextBlob(f.type)) {
            const std::string text = asText();
            char32_t bad = 0;
            if (!conv_->FromUtf8(text, data, SIZE_MAX, &bad)) badValue(codepage::NoPlaceText(bad, conv_->CodePage()));
        } else {
            if (v.kind != ValueKind::Bytes && v.kind != ValueKind::Text) badValue("not binary data");
            data = v.s;
        }
        if (f.type == pxt::kGraphic && !data.empty()) {
            std::string head(8, '\0');
            PutLe32(head.data() + 4, static_cast<uint32_t>(data.size()));
            data.insert(0, head);
        }
        if (data.empty()) return;
        if (data.size() > 0x7FFFFFFF) badValue("the BLOB is too large");
        const uint32_t leader = f.length - kBlobDescriptor;
        std::memcpy(dst, data.data(), std::min<size_t>(leader, data.size()));
        PutLe32(dst + leader + 4, static_cast<uint32_t>(data.size()));
        if (data.size() > leader) blobs.emplace_back(k, std::move(data));
    }
}

void ParadoxTable::EncodeRecord(const Record& values, std::string& rec,
                                std::vector<std::pair<size_t, std::string>>& blobs) {
    if (values.size() != h_.fields.size())
        Fail("A record for " + Where() + " needs " + std::to_string(h_.fields.size()) + " values, not " +
                 std::to_string(values.size()),
             errc::kInvalidParameter);
    rec.assign(h_.recordSize, '\0');
    blobs.clear();
    for (size_t k = 0; k < h_.fields.size(); ++k)
        EncodeField(k, values[k], reinterpret_cast<uint8_t*>(rec.data()) + h_.fields[k].offset, blobs);
    if (!blobs.empty() && !mb_.IsOpen()) {
        const std::string mb = mbPath_.empty() ? CompanionPath(path_, ".MB") : mbPath_;
        if (fs::exists(mb))
            mb_.Open(mb, true);
        else
            mb_.Create(mb);
        mbPath_ = mb;
        mb_.File().Lock(LockMode::Exclusive);
        for (int k = 1; k < holds_; ++k) mb_.File().Lock(LockMode::Exclusive);
    }
}

void ParadoxTable::StoreBlobs(std::string& rec, const std::vector<std::pair<size_t, std::string>>& blobs) {
    for (const auto& [k, data] : blobs) {
        const PxField& f = h_.fields[k];
        uint32_t oi;
        uint16_t mod;
        mb_.Write(data, oi, mod);
        auto* d = reinterpret_cast<uint8_t*>(rec.data()) + f.offset + f.length - kBlobDescriptor;
        PutLe32(d, oi);
        PutLe16(d + 8, mod);
    }
}

void ParadoxTable::FreeBlobs(const uint8_t* rec) {
    if (!mb_.IsOpen()) return;
    for (const auto& f : h_.fields) {
        if (!IsBlobType(f.type)) continue;
        const uint8_t* d = rec + f.offset + f.length - kBlobDescriptor;
        const uint32_t oi = GetLe32(d);
        if (oi != 0 && GetLe32(d + 4) != 0) mb_.Free(oi);
    }
}

void ParadoxTable::AssignAutoInc(std::string& rec, const Record& values) {
    if (autoIncField_ < 0) return;
    const auto k = static_cast<size_t>(autoIncField_);
    if (!maxAutoInc_) {
        int64_t mx = h_.autoInc;
        for (size_t pos = 0; pos < chain_.size(); ++pos) {
            LoadBlock(pos);
            for (uint32_t r = 0; r < cacheCount_; ++r) {
                const auto* p = reinterpret_cast<const uint8_t*>(cache_.data()) + kBlockHeader +
                                size_t{r} * h_.recordSize + h_.fields[k].offset;
                if (!AllZero(p, 4)) mx = std::max(mx, DecodeInt(p, 4));
            }
        }
        maxAutoInc_ = mx;
    }
    auto* p = reinterpret_cast<uint8_t*>(rec.data()) + h_.fields[k].offset;
    if (values[k].IsNull()) {
        if (*maxAutoInc_ >= 2147483647)
            Fail("The auto-increment field of " + Where() + " is exhausted", errc::kInvalidParameter);
        EncodeInt(*maxAutoInc_ + 1, p, 4);
    }
}

uint16_t ParadoxTable::NewBlock() {
    if (!freeBlocks_.empty()) {
        const uint16_t b = freeBlocks_.front();
        freeBlocks_.erase(freeBlocks_.begin());
        return b;
    }
    if (physBlocks_ >= 0xFFFF) Fail("Table " + Where() + " is full (65535 blocks)", errc::kIo);
    return static_cast<uint16_t>(++physBlocks_);
}

void ParadoxTable::FreeBlock(uint16_t block) {
    const uint16_t next = freeBlocks_.empty() ? 0 : freeBlocks_.front();
    WriteBlockHeader(block, next, 0, 0);
    freeBlocks_.insert(freeBlocks_.begin(), block);
}

void ParadoxTable::WriteBlockHeader(uint16_t block, uint16_t next, uint16_t prev, int count) {
    uint8_t head[kBlockHeader];
    PutLe16(head, next);
    PutLe16(head + 2, prev);
    PutLe16(head + 4, static_cast<uint16_t>(static_cast<int16_t>((count - 1) * static_cast<int>(h_.recordSize))));
    db_.WriteAt(BlockOffset(block), head, kBlockHeader);
}

// Writes the cached block (header and records) back; the rest of the block keeps its bytes.
void ParadoxTable::WriteCached() {
    const uint16_t b = chain_[cachePos_];
    PutLe16(cache_.data(), cachePos_ + 1 < chain_.size() ? chain_[cachePos_ + 1] : 0);
    PutLe16(cache_.data() + 2, cachePos_ > 0 ? chain_[cachePos_ - 1] : 0);
    PutLe16(cache_.data() + 4, static_cast<uint16_t>(static_cast<int16_t>((static_cast<int>(cacheCount_) - 1) *
                                                                          static_cast<int>(h_.recordSize))));
    db_.WriteAt(BlockOffset(b), cache_);
    // A new block at the end of the file is written whole, so the file length stays a whole
    // number of blocks.
    const uint64_t end = BlockOffset(b) + h_.BlockSize();
    if (db_.Size() < end) db_.Truncate(end);
}

bool ParadoxTable::FindKey(const uint8_t* key, size_t& pos, uint32_t& index) {
    const uint32_t keyLen = h_.KeyLength();
    // The last block whose first key is <= key.
    size_t lo = 0, hi = chain_.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (std::memcmp(firstKeys_[mid].data(), key, keyLen) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    pos = lo == 0 ? 0 : lo - 1;
    if (chain_.empty()) {
        index = 0;
        return false;
    }
    if (cachePos_ != pos) LoadBlock(pos);
    uint32_t a = 0, z = cacheCount_;
    const auto* recs = reinterpret_cast<const uint8_t*>(cache_.data()) + kBlockHeader;
    while (a < z) {
        const uint32_t mid = (a + z) / 2;
        const int c = std::memcmp(recs + size_t{mid} * h_.recordSize, key, keyLen);
        if (c < 0)
            a = mid + 1;
        else
            z = mid;
    }
    index = a;
    return a < cacheCount_ && std::memcmp(recs + size_t{a} * h_.recordSize, key, keyLen) == 0;
}

uint32_t ParadoxTable::AppendUnkeyed(const std::string& rec, bool keep) {
    const uint32_t cap = h_.RecordsPerBlock();
    if (chain_.empty() || counts_.back() >= cap) {
        FlushPendingBlock();
        const uint16_t b = NewBlock();
        const uint16_t prevLast = chain_.empty() ? 0 : chain_.back();
        chain_.push_back(b);
        counts_.push_back(0);
        tree_.Append(0);  // appending stays linear in the table's size
        if (prevLast && keep) {
            pendingLink_ = prevLast;  // linked once the new block is written
        } else if (prevLast) {
            // Link the old last block to the new one.
            uint8_t next[2];
            PutLe16(next, b);
            db_.WriteAt(BlockOffset(prevLast), next, 2);
        }
        cachePos_ = chain_.size() - 1;
        cacheStart_ = static_cast<uint32_t>(tree_.Before(cachePos_));
        cacheCount_ = 0;
        cache_.assign(kBlockHeader, '\0');
    } else if (cachePos_ != chain_.size() - 1) {
        LoadBlock(chain_.size() - 1);
    }
    cache_.append(rec);
    ++cacheCount_;
    ++counts_.back();
    tree_.Add(chain_.size() - 1, 1);
    // Only the block header and the new record need writing (and a fresh block in full).
    const uint16_t b = chain_.back();
    if (keep) {
        PutLe16(cache_.data() + 2, chain_.size() > 1 ? chain_[chain_.size() - 2] : 0);
        PutLe16(cache_.data() + 4, static_cast<uint16_t>((cacheCount_ - 1) * h_.recordSize));
        pendingBlock_ = true;
        if (cacheCount_ >= cap) FlushPendingBlock();
    } else if (cacheCount_ == 1) {
        std::string whole(h_.BlockSize(), '\0');
        std::memcpy(whole.data(), cache_.data(), cache_.size());
        PutLe16(whole.data() + 2, chain_.size() > 1 ? chain_[chain_.size() - 2] : 0);
        PutLe16(cache_.data() + 2, chain_.size() > 1 ? chain_[chain_.size() - 2] : 0);
        db_.WriteAt(BlockOffset(b), whole);
    } else {
        uint8_t add[2];
        PutLe16(add, static_cast<uint16_t>((cacheCount_ - 1) * h_.recordSize));
        PutLe16(cache_.data() + 4, GetLe16(add));
        db_.WriteAt(BlockOffset(b) + kBlockHeader + uint64_t{cacheCount_ - 1} * h_.recordSize, rec);
        db_.WriteAt(BlockOffset(b) + 4, add, 2);
    }
    ++recordCount_;
    ++readable_;
    MarkDirty();
    return recordCount_ - 1;
}

// Puts a record whose key is not in the table yet at its key's place; returns its number.
uint32_t ParadoxTable::InsertKeyed(const std::string& rec) {
    const uint32_t keyLen = h_.KeyLength();
    size_t pos;
    uint32_t index;
    FindKey(reinterpret_cast<const uint8_t*>(rec.data()), pos, index);
    const uint32_t cap = h_.RecordsPerBlock();
    const size_t rs = h_.recordSize;
    indexDirty_ = true;
    const auto* recBytes = reinterpret_cast<const uint8_t*>(rec.data());
    if (chain_.empty()) {
        const uint32_t n = AppendUnkeyed(rec);
        firstKeys_.assign(1, rec.substr(0, keyLen));
        TrackSecondaries(nullptr, 0, recBytes, chain_.back());
        return n;
    }
    if (counts_[pos] < cap) {
        cache_.insert(kBlockHeader + index * rs, rec);
        ++cacheCount_;
        ++counts_[pos];
        tree_.Add(pos, 1);
        if (index == 0) firstKeys_[pos] = rec.substr(0, keyLen);
        WriteCached();
        ++recordCount_;
        ++readable_;
        MarkDirty();
        TrackSecondaries(nullptr, 0, recBytes, chain_[pos]);
        return cacheStart_ + index;
    }
    // Full block: a new block after it takes the upper half (or, at the end of the last
    // block, only the new record, so ascending keys fill blocks completely).
    const bool atEnd = pos + 1 == chain_.size() && index == cacheCount_;
    const uint32_t keep = atEnd ? cacheCount_ : cacheCount_ / 2;
    std::string upper(cache_, kBlockHeader + keep * rs);
    cache_.resize(kBlockHeader + keep * rs);
    uint32_t upperCount = cacheCount_ - keep;
    const bool intoUpper = index > keep || (atEnd && index == keep);
    if (intoUpper) {
        upper.insert((index - keep) * rs, rec);
        ++upperCount;
    } else {
        cache_.insert(kBlockHeader + index * rs, rec);
    }
    const uint32_t lowerCount = intoUpper ? keep : keep + 1;
    const uint16_t nb = NewBlock();
    const uint16_t after = pos + 1 < chain_.size() ? chain_[pos + 1] : 0;
    chain_.insert(chain_.begin() + static_cast<std::ptrdiff_t>(pos + 1), nb);
    counts_[pos] = static_cast<uint16_t>(lowerCount);
    counts_.insert(counts_.begin() + static_cast<std::ptrdiff_t>(pos + 1), static_cast<uint16_t>(upperCount));
    firstKeys_.insert(firstKeys_.begin() + static_cast<std::ptrdiff_t>(pos + 1), upper.substr(0, keyLen));
    if (!intoUpper && index == 0) firstKeys_[pos] = rec.substr(0, keyLen);
    RebuildCounts();
    cacheCount_ = lowerCount;
    WriteCached();
    // The new block, written whole.
    std::string whole(h_.BlockSize(), '\0');
    PutLe16(whole.data(), after);
    PutLe16(whole.data() + 2, chain_[pos]);
    PutLe16(whole.data() + 4,
            static_cast<uint16_t>(static_cast<int16_t>((static_cast<int>(upperCount) - 1) * static_cast<int>(rs))));
    std::memcpy(whole.data() + kBlockHeader, upper.data(), upper.size());
    db_.WriteAt(BlockOffset(nb), whole);
    if (after) {
        uint8_t prev[2];
        PutLe16(prev, nb);
        db_.WriteAt(BlockOffset(after) + 2, prev, 2);
    }
    const uint32_t start = static_cast<uint32_t>(tree_.Before(pos));
    cachePos_ = SIZE_MAX;
    ++recordCount_;
    ++readable_;
    MarkDirty();
    // The records of the upper half now live in the new block: their index hints follow.
    if (!secondaries_.empty()) {
        const uint16_t lowerBlock = chain_[pos];
        const size_t added = intoUpper ? size_t{index - keep} : SIZE_MAX;
        for (size_t r = 0; r < upperCount; ++r) {
            if (r == added) continue;
            const auto* moved = reinterpret_cast<const uint8_t*>(upper.data()) + r * rs;
            TrackSecondaries(moved, lowerBlock, moved, nb);
        }
        TrackSecondaries(nullptr, 0, recBytes, intoUpper ? nb : lowerBlock);
    }
    return intoUpper ? start + lowerCount + (index - keep) : start + index;
}

void ParadoxTable::RemoveAt(size_t pos, uint32_t index) {
    if (cachePos_ != pos) LoadBlock(pos);
    const size_t rs = h_.recordSize;
    TrackSecondaries(reinterpret_cast<const uint8_t*>(cache_.data()) + kBlockHeader + index * rs, chain_[pos], nullptr,
                     0);
    cache_.erase(kBlockHeader + index * rs, rs);
    --cacheCount_;
    --counts_[pos];
    tree_.Add(pos, -1);
    --recordCount_;
    --readable_;
    MarkDirty();
    if (cacheCount_ > 0) {
        if (index == 0 && !firstKeys_.empty()) firstKeys_[pos].assign(cache_, kBlockHeader, h_.KeyLength());
        WriteCached();
        return;
    }
    // The block is empty: take it out of the chain. The first block keeps its place; the
    // records of its successor move into it.
    const uint16_t b = chain_[pos];
    if (pos == 0 && chain_.size() > 1) {
        LoadBlock(1);
        const uint16_t succ = chain_[1];
        std::string moved = cache_;
        const uint32_t movedCount = cacheCount_;
        chain_.erase(chain_.begin() + 1);
        counts_.erase(counts_.begin() + 1);
        counts_[0] = static_cast<uint16_t>(movedCount);
        if (!firstKeys_.empty()) {
            firstKeys_[0] = firstKeys_[1];
            firstKeys_.erase(firstKeys_.begin() + 1);
        }
        RebuildCounts();
        cachePos_ = 0;
        cacheStart_ = 0;
        cacheCount_ = movedCount;
        cache_ = std::move(moved);
        WriteCached();
        FreeBlock(succ);
        // The successor's records now live in the first block: their index hints follow.
        for (uint32_t r = 0; r < cacheCount_ && !secondaries_.empty(); ++r) {
            const auto* rec = reinterpret_cast<const uint8_t*>(cache_.data()) + kBlockHeader + size_t{r} * rs;
            TrackSecondaries(rec, succ, rec, b);
        }
        if (chain_.size() > 1) {
            uint8_t prev[2];
            PutLe16(prev, b);
            db_.WriteAt(BlockOffset(chain_[1]) + 2, prev, 2);
        }
        return;
    }
    const uint16_t prevB = pos > 0 ? chain_[pos - 1] : 0;
    const uint16_t nextB = pos + 1 < chain_.size() ? chain_[pos + 1] : 0;
    chain_.erase(chain_.begin() + static_cast<std::ptrdiff_t>(pos));
    counts_.erase(counts_.begin() + static_cast<std::ptrdiff_t>(pos));
    if (!firstKeys_.empty()) firstKeys_.erase(firstKeys_.begin() + static_cast<std::ptrdiff_t>(pos));
    RebuildCounts();
    cachePos_ = SIZE_MAX;
    if (chain_.empty()) {
        // No records left: the file goes back to its bare header.
        freeBlocks_.clear();
        physBlocks_ = 0;
        db_.Truncate(h_.headerSize);
        return;
    }
    if (prevB) {
        uint8_t next[2];
        PutLe16(next, nextB);
        db_.WriteAt(BlockOffset(prevB), next, 2);
    }
    if (nextB) {
        uint8_t prev[2];
        PutLe16(prev, prevB);
        db_.WriteAt(BlockOffset(nextB) + 2, prev, 2);
    }
    FreeBlock(b);
}

uint32_t ParadoxTable::AppendRecord(const Record& values) {
    const bool held = holds_ > 0 && db_.HoldsExclusive();
    WriteHold hold(*this);
    std::string rec;
    std::vector<std::pair<size_t, std::string>> blobs;
    EncodeRecord(values, rec, blobs);
    AssignAutoInc(rec, values);
    uint32_t result;
    if (h_.keyFields == 0) {
        StoreBlobs(rec, blobs);
        if (!held) FlushPendingBlock();
        result = AppendUnkeyed(rec, held);
    } else {
        FlushPendingBlock();
        size_t pos;
        uint32_t index;
        if (FindKey(reinterpret_cast<const uint8_t*>(rec.data()), pos, index))
            Fail("Key violation.", errc::kKeyViolation);
        if (!secondaries_.empty()) CheckUniqueSecondaries(rec, nullptr);
        ContentsGuard guard(*this);
        StoreBlobs(rec, blobs);
        result = InsertKeyed(rec);
    }
    if (autoIncField_ >= 0) {
        const auto* p =
            reinterpret_cast<const uint8_t*>(rec.data()) + h_.fields[static_cast<size_t>(autoIncField_)].offset;
        if (!AllZero(p, 4)) maxAutoInc_ = std::max(*maxAutoInc_, DecodeInt(p, 4));
    }
    hold.Release();
    return result;
}

uint32_t ParadoxTable::UpdateRecord(uint32_t recNo, const Record& values) {
    WriteHold hold(*this);
    FlushPendingBlock();
    uint32_t index;
    size_t pos = Locate(recNo, index);
    const size_t rs = h_.recordSize;
    std::string old(cache_, kBlockHeader + index * rs, rs);
    std::string rec;
    std::vector<std::pair<size_t, std::string>> blobs;
    EncodeRecord(values, rec, blobs);
    // An auto-increment value is kept when the update leaves it blank.
    if (autoIncField_ >= 0 && values[static_cast<size_t>(autoIncField_)].IsNull()) {
        const auto& f = h_.fields[static_cast<size_t>(autoIncField_)];
        std::memcpy(rec.data() + f.offset, old.data() + f.offset, 4);
    }
    const uint32_t keyLen = h_.KeyLength();
    const bool keyChanged = keyLen && std::memcmp(rec.data(), old.data(), keyLen) != 0;
    if (keyChanged) {
        size_t p2;
        uint32_t i2;
        if (FindKey(reinterpret_cast<const uint8_t*>(rec.data()), p2, i2)) Fail("Key violation.", errc::kKeyViolation);
    }
    if (!secondaries_.empty()) CheckUniqueSecondaries(rec, &old);
    ContentsGuard guard(*this);
    StoreBlobs(rec, blobs);
    FreeBlobs(reinterpret_cast<const uint8_t*>(old.data()));
    uint32_t slot = recNo;
    if (!keyChanged) {
        if (cachePos_ != pos) LoadBlock(pos);
        std::memcpy(cache_.data() + kBlockHeader + index * rs, rec.data(), rs);
        db_.WriteAt(BlockOffset(chain_[pos]) + kBlockHeader + index * rs, rec);
        // The record stays in its block: the secondary indexes change only with their fields.
        metaDirty_ = true;
        TrackSecondaries(reinterpret_cast<const uint8_t*>(old.data()), chain_[pos],
                         reinterpret_cast<const uint8_t*>(rec.data()), chain_[pos]);
    } else {
        // Move the record to its new key's place: out of its block, then in again with the
        // BLOBs already stored.
        RemoveAt(pos, index);
        slot = InsertKeyed(rec);
    }
    hold.Release();
    return slot;
}

void ParadoxTable::DeleteRecord(uint32_t recNo) {
    WriteHold hold(*this);
    FlushPendingBlock();
    uint32_t index;
    const size_t pos = Locate(recNo, index);
    ContentsGuard guard(*this);
    FreeBlobs(reinterpret_cast<const uint8_t*>(cache_.data()) + kBlockHeader + size_t{index} * h_.recordSize);
    RemoveAt(pos, index);
    if (h_.keyFields) indexDirty_ = true;
    hold.Release();
}

void ParadoxTable::WriteRawRecord(uint32_t recNo, std::string_view bytes) {
    WriteHold hold(*this);
    FlushPendingBlock();
    if (bytes.size() != h_.recordSize)
        Fail("A raw record for " + Where() + " must have " + std::to_string(h_.recordSize) + " bytes",
             errc::kInvalidParameter);
    uint32_t index;
    const size_t pos = Locate(recNo, index);
    // Raw bytes may break the key order or a unique index: the indexes are rebuilt.
    ForgetSecondaryContents();
    std::memcpy(cache_.data() + kBlockHeader + size_t{index} * h_.recordSize, bytes.data(), bytes.size());
    db_.WriteAt(BlockOffset(chain_[pos]) + kBlockHeader + uint64_t{index} * h_.recordSize, bytes);
    if (index == 0 && h_.keyFields) {
        firstKeys_[pos].assign(bytes.substr(0, h_.KeyLength()));
        indexDirty_ = true;
    }
    MarkDirty();
    hold.Release();
}

void ParadoxTable::FlushMeta() {
    if (indexDirty_) secondariesDirty_ = true;
    h_.numRecords = recordCount_;
    h_.usedBlocks = static_cast<uint16_t>(chain_.size());
    h_.fileBlocks = static_cast<uint16_t>(physBlocks_);
    h_.firstBlock = chain_.empty() ? 0 : chain_.front();
    h_.lastBlock = chain_.empty() ? 0 : chain_.back();
    h_.firstFreeBlock = freeBlocks_.empty() ? 0 : freeBlocks_.front();
    if (maxAutoInc_ && *maxAutoInc_ > static_cast<int64_t>(h_.autoInc))
        h_.autoInc = static_cast<uint32_t>(*maxAutoInc_);
    uint8_t* b = reinterpret_cast<uint8_t*>(headBytes_.data());
    PutLe32(b + 0x06, h_.numRecords);
    PutLe16(b + 0x0A, h_.usedBlocks);
    PutLe16(b + 0x0C, h_.fileBlocks);
    PutLe16(b + 0x0E, h_.firstBlock);
    PutLe16(b + 0x10, h_.lastBlock);
    PutLe16(b + 0x3A, h_.fileBlocks);
    PutLe32(b + 0x49, h_.autoInc);
    PutLe16(b + 0x4D, h_.firstFreeBlock);
    db_.WriteAt(0, headBytes_);
    metaDirty_ = false;
    if (indexDirty_ || h_.keyFields) {
        if (indexDirty_) WriteIndex();
        indexDirty_ = false;
    }
    if (secondariesDirty_ && !secondaries_.empty()) WriteSecondaries();
    secondariesDirty_ = false;
}

void ParadoxTable::WriteIndex() {
    const std::vector<uint32_t> counts(counts_.begin(), counts_.end());
    const std::string out =
        BuildTreeFile(h_, firstKeys_, chain_, counts, kFileIndex, "The primary index of " + Where());
    if (pxPath_.empty()) pxPath_ = CompanionPath(path_, ".PX");
    LockedFile px;
    px.Create(pxPath_);
    px.WriteAt(0, out);
    px.Close();
}

}  // namespace tessel::engine::paradox
