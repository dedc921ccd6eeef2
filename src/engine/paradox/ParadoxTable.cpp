// The Paradox table: opening, validity checks, reading, locking, and the entry points.

#include "engine/paradox/ParadoxTable.h"
#include "engine/storage/RollbackJournal.h"

namespace tessel::engine::paradox {

// --- opening ---------------------------------------------------------------------------------

void ParadoxTable::OpenFiles() {
    db_.Open(path_, writable_);
    mbPath_ = FindCompanion(path_, ".MB");
    pxPath_ = FindCompanion(path_, ".PX");
    valPath_ = FindCompanion(path_, ".VAL");
    FileLockGuard guard(db_, LockMode::Shared);
    Load();
    LoadValidity();
    BuildDescriptors();
}

void ParadoxTable::Load() {
    LoadHeader();
    bool anyBlob = false;
    for (const auto& f : h_.fields) anyBlob = anyBlob || IsBlobType(f.type);
    if (anyBlob && !mb_.IsOpen() && !mbPath_.empty()) mb_.Open(mbPath_, writable_);
    if (mb_.IsOpen()) mb_.Forget();
    WalkChain();
    if (h_.keyFields > 0) CheckIndex();
    LoadSecondaries();
    cachePos_ = SIZE_MAX;
    ForgetHeldBlocks();
}

void ParadoxTable::LoadHeader() {
    const uint64_t size = db_.Size();
    std::string head(std::min<uint64_t>(size, 0x800), '\0');
    db_.ReadExactly(0, head.data(), head.size(), "the table header");
    if (head.size() >= 4) {
        const uint16_t hs = GetLe16(head.data() + 2);
        if (hs > head.size() && hs <= size) {
            head.resize(hs);
            db_.ReadExactly(0, head.data(), hs, "the table header");
        }
    }
    h_ = ParseDbHeader(head, size, path_);
    headBytes_ = head.substr(0, 0x58);
    physBlocks_ =
        static_cast<uint32_t>(std::min<uint64_t>((size - h_.headerSize + h_.BlockSize() - 1) / h_.BlockSize(), 0xFFFF));

    // Text: the code page word when set, else the driver's code page, else the DOS default.
    const codepage::ParadoxLanguageDriver* drv = nullptr;
    if (!h_.sortOrderId.empty()) drv = codepage::FindParadoxDriver(h_.sortOrderId);
    if (!drv && h_.codePageWord) drv = codepage::FindParadoxDriver(h_.sortOrder, h_.codePageWord);
    if (!drv && !h_.HasSecondPart()) {
        for (int cp : {437, 850, 865, 852, 857, 866, 862, 861})
            if ((drv = codepage::FindParadoxDriver(h_.sortOrder, cp))) break;
    }
    int cp = h_.codePageWord ? h_.codePageWord : drv ? drv->codePage : 437;
    if (!conv_ || conv_->CodePage() != cp) conv_ = std::make_unique<CodePageConverter>(cp);

    props_ = {};
    props_.name = fs::path(path_).stem().string();
    props_.typeName = "PARADOX";
    props_.fieldCount = static_cast<uint32_t>(h_.fields.size());
    props_.recordBufferSize = h_.recordSize;
    props_.level = static_cast<uint32_t>(h_.Level());
    props_.languageDriver = !h_.sortOrderId.empty() ? h_.sortOrderId : drv ? drv->id : "";
    if (props_.languageDriver.size() > 31) props_.languageDriver.resize(31);
    props_.codePage = conv_->CodePage();
    props_.indexCount = h_.keyFields > 0 ? 1 : 0;

    autoIncField_ = -1;
    for (size_t k = 0; k < h_.fields.size(); ++k)
        if (h_.fields[k].type == pxt::kAutoInc && autoIncField_ < 0) autoIncField_ = static_cast<int>(k);
    maxAutoInc_.reset();
}

void ParadoxTable::WalkChain() {
    chain_.clear();
    counts_.clear();
    firstKeys_.clear();
    freeBlocks_.clear();
    chainError_.clear();
    const uint64_t size = db_.Size();
    const uint32_t perBlock = h_.RecordsPerBlock();
    const uint32_t keyLen = h_.KeyLength();
    std::vector<bool> seen(physBlocks_ + 1, false);
    uint64_t total = 0;
    uint16_t b = h_.firstBlock;
    uint16_t prev = 0;
    while (b != 0) {
        if (b > physBlocks_) {
            chainError_ = "block " + std::to_string(b) + " of its chain lies beyond the end of the file";
            break;
        }
        if (seen[b])
            Fail(Where() + " is damaged: its block chain runs in a circle at block " + std::to_string(b),
                 errc::kCorruptFile);
        seen[b] = true;
        const uint64_t at = BlockOffset(b);
        uint8_t head[kBlockHeader];
        if (db_.ReadAt(at, head, kBlockHeader) != kBlockHeader) {
            chainError_ = "block " + std::to_string(b) + " is cut off";
            break;
        }
        const uint16_t next = GetLe16(head);
        const auto add = static_cast<int16_t>(GetLe16(head + 4));
        if (add % static_cast<int>(h_.recordSize) != 0 || add < -static_cast<int>(h_.recordSize) ||
            static_cast<uint32_t>(add / h_.recordSize + 1) > perBlock)
            Fail(Where() + " is damaged: block " + std::to_string(b) + " declares " + std::to_string(add) +
                     " bytes of records, which does not fit records of " + std::to_string(h_.recordSize) + " bytes",
                 errc::kCorruptFile);
        uint32_t count = static_cast<uint32_t>(add / static_cast<int>(h_.recordSize) + 1);
        const uint64_t need = at + kBlockHeader + uint64_t{count} * h_.recordSize;
        if (need > size) {
            const uint32_t whole = static_cast<uint32_t>((size - at - kBlockHeader) / h_.recordSize);
            chainError_ = "block " + std::to_string(b) + " is cut off after " + std::to_string(whole) + " of its " +
                          std::to_string(count) + " records";
            count = whole;
        }
        if (count > 0 || !chainError_.empty()) {
            chain_.push_back(b);
            counts_.push_back(static_cast<uint16_t>(count));
            if (keyLen) {
                std::string key(keyLen, '\0');
                if (count) db_.ReadExactly(at + kBlockHeader, key.data(), keyLen, "a key");
                firstKeys_.push_back(std::move(key));
            }
            total += count;
        }
        if (!chainError_.empty()) break;
        prev = b;
        b = next;
    }
    (void)prev;
    readable_ = static_cast<uint32_t>(total);
    if (chainError_.empty())
        recordCount_ = readable_;  // the chain is the truth; a stale count in the header is not
    else
        recordCount_ = std::max<uint32_t>(h_.numRecords, readable_ + 1);
    RebuildCounts();

    // The free list, for writing. A damaged list is dropped: its blocks are simply not reused.
    if (writable_) {
        uint16_t f = h_.firstFreeBlock;
        while (f != 0 && f <= physBlocks_ && !seen[f]) {
            seen[f] = true;
            freeBlocks_.push_back(f);
            uint8_t head[2];
            if (db_.ReadAt(BlockOffset(f), head, 2) != 2) break;
            f = GetLe16(head);
        }
    }
}

void ParadoxTable::CheckIndex() {
    if (!chainError_.empty()) return;  // reading reports the damage record by record
    const std::string px = pxPath_;
    if (px.empty())
        Fail("The primary index of keyed table " + Where() + " is missing (" + CompanionPath(path_, ".PX") + ")",
             errc::kCorruptFile);
    LockedFile f;
    f.Open(px, false);
    const uint64_t size = f.Size();
    auto bad = [&](const std::string& what) {
        Fail("Primary index \"" + px + "\" does not match table " + Where() + ": " + what, errc::kCorruptFile);
    };
    if (size < 0x58) bad("the index file is too short");
    uint8_t hd[0x58];
    f.ReadExactly(0, hd, sizeof hd, "the index header");
    const uint16_t recSize = GetLe16(hd), headSize = GetLe16(hd + 2);
    const uint32_t keyLen = h_.KeyLength();
    if (hd[4] != kFileIndex) bad("it is not a primary index file");
    if (recSize != keyLen + 6)
        bad("its entries are " + std::to_string(recSize) + " bytes, the key needs " + std::to_string(keyLen + 6));
    if (GetLe16(hd + 0x21) != h_.keyFields) bad("it covers another number of key fields");
    const uint32_t bs = uint32_t{hd[5]} * 1024;
    if (bs < recSize + kBlockHeader || headSize < 0x58 || headSize > size) bad("its header sizes do not fit the file");
    const uint64_t blocks = (size - headSize) / bs;
    const uint16_t root = GetLe16(hd + 0x1E);
    const uint8_t levels = hd[0x20];
    // Walk the tree: every level-1 entry in order must name the next block of the chain
    // with its record count and first key.
    std::vector<std::pair<uint16_t, uint16_t>> leaf;  // block, count
    std::vector<std::string> leafKeys;
    std::string buf(bs, '\0');
    std::function<void(uint16_t, int)> walk = [&](uint16_t block, int level) {
        if (block == 0 || block > blocks) bad("it names block " + std::to_string(block) + ", outside the file");
        if (leaf.size() > chain_.size() + 1) bad("it has more entries than the table has blocks");
        f.ReadExactly(headSize + uint64_t{block - 1u} * bs, buf.data(), bs, "an index block");
        const auto add = static_cast<int16_t>(GetLe16(buf.data() + 4));
        if (add < -static_cast<int>(recSize) || add % recSize != 0 ||
            add / recSize + 1 > static_cast<int>((bs - 6) / recSize))
            bad("block " + std::to_string(block) + " has a bad entry count");
        const int n = add / recSize + 1;
        std::vector<std::pair<uint16_t, std::string>> entries;
        for (int e = 0; e < n; ++e) {
            const auto* p = reinterpret_cast<const uint8_t*>(buf.data()) + 6 + e * recSize;
            const auto child = static_cast<uint16_t>(DecodeInt(p + keyLen, 2));
            const auto cnt = static_cast<uint16_t>(DecodeInt(p + keyLen + 2, 2));
            if (level == 1) {
                leaf.emplace_back(child, cnt);
                leafKeys.emplace_back(reinterpret_cast<const char*>(p), keyLen);
            } else {
                entries.emplace_back(child, std::string());
            }
        }
        for (const auto& e : entries) walk(e.first, level - 1);
    };
    if (chain_.empty()) return;
    if (levels == 0 || levels > 8) bad("it has " + std::to_string(levels) + " levels");
    walk(root, levels);
    if (leaf.size() != chain_.size())
        bad("it lists " + std::to_string(leaf.size()) + " data blocks, the table has " + std::to_string(chain_.size()));
    for (size_t k = 0; k < leaf.size(); ++k) {
        if (leaf[k].first != chain_[k] || leaf[k].second != counts_[k] || leafKeys[k] != firstKeys_[k])
            bad("its entry " + std::to_string(k + 1) + " disagrees with data block " + std::to_string(chain_[k]));
    }
}

void ParadoxTable::BuildDescriptors() {
    fields_.clear();
    for (size_t k = 0; k < h_.fields.size(); ++k) {
        const PxField& f = h_.fields[k];
        FieldDesc d;
        d.name = conv_->ToUtf8(f.rawName);
        d.nativeType = TypeLetter(f.type);
        d.offset = f.offset;
        d.length = f.length;
        switch (f.type) {
            case pxt::kAlpha:
                d.type = fldtype::kString;
                d.units1 = f.sizeByte;
                break;
            case pxt::kDate:
                d.type = fldtype::kDate;
                break;
            case pxt::kShort:
                d.type = fldtype::kInt16;
                break;
            case pxt::kLong:
                d.type = fldtype::kInt32;
                break;
            case pxt::kAutoInc:
                d.type = fldtype::kInt32;
                d.subType = fldsub::kAutoInc;
                d.readOnly = true;
                break;
            case pxt::kCurrency:
                d.type = fldtype::kFloat;
                d.subType = fldsub::kMoney;
                break;
            case pxt::kNumber:
                d.type = fldtype::kFloat;
                break;
            case pxt::kLogical:
                d.type = fldtype::kBool;
                break;
            case pxt::kTime:
                d.type = fldtype::kTime;
                break;
            case pxt::kTimestamp:
                d.type = fldtype::kTimestamp;
                break;
            case pxt::kBcd:
                d.type = fldtype::kBcd;
                d.units1 = 32;
                d.units2 = f.sizeByte;
                break;
            case pxt::kBytes:
                d.type = fldtype::kBytes;
                d.units1 = f.sizeByte;
                break;
            default:
                d.type = fldtype::kBlob;
                d.units1 = static_cast<uint16_t>(f.sizeByte - kBlobDescriptor);
                d.subType = f.type == pxt::kMemo      ? fldsub::kMemo
                            : f.type == pxt::kBinary  ? fldsub::kBinary
                            : f.type == pxt::kFmtMemo ? fldsub::kFormattedMemo
                            : f.type == pxt::kOle     ? fldsub::kOle
                                                      : fldsub::kGraphic;
        }
        fields_.push_back(std::move(d));
    }
}

// --- .VAL ------------------------------------------------------------------------------------

void ParadoxTable::LoadValidity() {
    checks_.clear();
    props_.valCheckCount = 0;
    if (valPath_.empty()) return;
    LockedFile f;
    f.Open(valPath_, false);
    const uint64_t size = f.Size();
    auto bad = [&](const std::string& what) {
        Fail("Validity check file \"" + valPath_ + "\" is damaged: " + what, errc::kCorruptFile);
    };
    if (size < 0x35) bad("it is too short");
    if (size > (16u << 20)) bad("it is too large");
    std::string v(size, '\0');
    f.ReadExactly(0, v.data(), size, "the validity checks");
    const auto* b = reinterpret_cast<const uint8_t*>(v.data());
    const uint32_t count = b[2];
    const uint32_t footer = GetLe32(b + 9);
    // The footer lists the fields the checks are numbered by.
    if (footer < 0x35 || footer + 6 > size) bad("its field list lies outside the file");
    const uint32_t nFooter = GetLe16(b + footer);
    if (footer + 6 + 4ull * nFooter > size) bad("its field list runs past the end");
    std::vector<std::pair<uint8_t, uint8_t>> types(nFooter);
    for (uint32_t k = 0; k < nFooter; ++k)
        types[k] = {b[footer + 6 + 2 * nFooter + 2 * k], b[footer + 6 + 2 * nFooter + 2 * k + 1]};
    size_t pos = 0x35;
    for (uint32_t c = 0; c < count; ++c) {
        if (pos + 0x1C > footer) bad("check " + std::to_string(c + 1) + " runs into the field list");
        ValidityCheck chk;
        const uint8_t field = b[pos];
        const uint8_t picLen = b[pos + 1];
        chk.required = b[pos + 2] == 1;
        const bool hasLookup = GetLe32(b + pos + 4) != 0;
        const bool hasMin = GetLe32(b + pos + 0x0C) != 0;
        const bool hasMax = GetLe32(b + pos + 0x10) != 0;
        const bool hasDef = GetLe32(b + pos + 0x14) != 0;
        const bool hasPic = GetLe32(b + pos + 0x18) != 0;
        if (field >= nFooter || field >= h_.fields.size())
            bad("check " + std::to_string(c + 1) + " names field " + std::to_string(field + 1) +
                ", which the table lacks");
        chk.fieldNumber = static_cast<uint16_t>(field + 1);
        pos += 0x1C;
        if (hasLookup) pos += 0x50;
        const uint32_t len = StoredLength(types[field].first, types[field].second);
        if (len == 0 || IsBlobType(types[field].first))
            bad("check " + std::to_string(c + 1) + " is for a field of unknown type");
        Value* slots[3] = {hasMin ? &chk.minimum : nullptr, hasMax ? &chk.maximum : nullptr,
                           hasDef ? &chk.defaultValue : nullptr};
        for (Value* slot : slots) {
            if (!slot) continue;
            if (pos + len > footer) bad("check " + std::to_string(c + 1) + " runs into the field list");
            if (h_.fields[field].type == types[field].first && h_.fields[field].length == len)
                DecodeField(field, b + pos - h_.fields[field].offset, *slot);
            pos += len;
        }
        if (hasPic && picLen > 0) {
            if (pos + picLen > footer)
                bad("the picture of check " + std::to_string(c + 1) + " runs into the field list");
            std::string_view pic(v.data() + pos, picLen);
            const size_t nul = pic.find('\0');
            chk.picture = conv_->ToUtf8(pic.substr(0, nul));
            pos += picLen;
        }
        checks_.push_back(std::move(chk));
    }
    props_.valCheckCount = static_cast<uint32_t>(checks_.size());
}

std::vector<ValCheckDesc> ParadoxTable::ValidityChecks() {
    std::vector<ValCheckDesc> out;
    for (const auto& c : checks_) {
        ValCheckDesc d;
        d.fieldNumber = c.fieldNumber;
        d.picture = c.picture;
        out.push_back(std::move(d));
    }
    return out;
}

std::vector<IndexDesc> ParadoxTable::Indexes() {
    std::vector<IndexDesc> out;
    if (h_.keyFields > 0) {
        IndexDesc d;
        d.primary = true;
        d.unique = true;
        for (size_t k = 0; k < h_.keyFields; ++k) {
            if (k) d.fields += ";";
            d.fields += fields_[k].name;
        }
        out.push_back(std::move(d));
    }
    for (const auto& ix : secondaries_) {
        IndexDesc d;
        d.name = SecondaryName(ix);
        d.unique = ix.unique;
        d.descending = ix.descending;
        for (size_t k = 0; k < ix.fields.size(); ++k) {
            if (k) d.fields += ";";
            d.fields += fields_[ix.fields[k]].name;
        }
        out.push_back(std::move(d));
    }
    return out;
}

// --- reading ---------------------------------------------------------------------------------

void ParadoxTable::Refresh() {
    FlushPendingBlock();
    FileLockGuard guard(db_, LockMode::Shared);
    Load();
}

void ParadoxTable::FlushPendingBlock() {
    if (!pendingBlock_) return;
    try {
        WriteCached();
        if (pendingLink_) {
            uint8_t next[2];
            PutLe16(next, chain_[cachePos_]);
            db_.WriteAt(BlockOffset(pendingLink_), next, 2);
        }
    } catch (...) {
        // What was kept back is lost: go back to what the file says.
        pendingBlock_ = false;
        pendingLink_ = 0;
        try {
            Load();
            metaDirty_ = false;
        } catch (...) {
        }
        throw;
    }
    pendingBlock_ = false;
    pendingLink_ = 0;
}

namespace {
constexpr size_t kHeldBlockBytes = size_t{16} << 20;
}

void ParadoxTable::ForgetHeldBlocks() {
    heldBlocks_.clear();
    heldBytes_ = 0;
}

void ParadoxTable::LoadBlock(size_t pos) {
    FlushPendingBlock();
    const uint16_t b = chain_[pos];
    const uint32_t n = counts_[pos];
    const size_t size = kBlockHeader + size_t{n} * h_.recordSize;
    if (holds_ > 0 && (heldLock_ != db_.LockGeneration() || heldWrites_ != db_.WriteGeneration())) {
        ForgetHeldBlocks();
        heldLock_ = db_.LockGeneration();
        heldWrites_ = db_.WriteGeneration();
    }
    const auto held = holds_ > 0 ? heldBlocks_.find(b) : heldBlocks_.end();
    if (held != heldBlocks_.end() && held->second.size() == size) {
        cache_.assign(held->second);
    } else {
        cache_.resize(size);
        const size_t got = db_.ReadAt(BlockOffset(b), cache_.data(), cache_.size());
        if (got != cache_.size())
            Fail(Where() + " is truncated: block " + std::to_string(b) + " can no longer be read", errc::kCorruptFile);
        if (holds_ > 0 && heldBytes_ + size <= kHeldBlockBytes) {
            heldBytes_ += size;
            heldBlocks_[b] = cache_;
        }
    }
    cachePos_ = pos;
    cacheStart_ = static_cast<uint32_t>(tree_.Before(pos));
    cacheCount_ = n;
}

void ParadoxTable::CheckReadable(uint32_t recNo) {
    if (recNo >= recordCount_)
        Fail("Record " + std::to_string(recNo + 1) + " is beyond the end of " + Where(), errc::kInvalidParameter);
    if (recNo >= readable_)
        Fail(Where() + " is truncated or damaged: " + chainError_ + "; record " + std::to_string(readable_ + 1) +
                 " of " + std::to_string(recordCount_) + " cannot be read (" + std::to_string(readable_) +
                 " records were read)",
             errc::kCorruptFile);
}

size_t ParadoxTable::Locate(uint32_t recNo, uint32_t& index) {
    CheckReadable(recNo);
    if (cachePos_ != SIZE_MAX && recNo >= cacheStart_ && recNo < cacheStart_ + cacheCount_) {
        index = recNo - cacheStart_;
        return cachePos_;
    }
    size_t pos;
    if (cachePos_ != SIZE_MAX && recNo == cacheStart_ + cacheCount_ && cachePos_ + 1 < chain_.size()) {
        pos = cachePos_ + 1;
        while (pos < chain_.size() && counts_[pos] == 0) ++pos;
    } else {
        uint64_t before = 0;
        pos = tree_.Find(recNo, before);
    }
    if (holds_ == 0) {
        FileLockGuard guard(db_, LockMode::Shared);
        LoadBlock(pos);
    } else {
        LoadBlock(pos);
    }
    index = recNo - cacheStart_;
    return pos;
}

void ParadoxTable::DecodeField(size_t k, const uint8_t* rec, Value& out) {
    const PxField& f = h_.fields[k];
    const uint8_t* p = rec + f.offset;
    switch (f.type) {
        case pxt::kAlpha: {
            const auto* end = static_cast<const uint8_t*>(std::memchr(p, 0, f.length));
            const size_t n = end ? static_cast<size_t>(end - p) : f.length;
            if (n == 0) {
                out.SetNull();
                return;
            }
            out.kind = ValueKind::Text;
            conv_->ToUtf8(std::string_view(reinterpret_cast<const char*>(p), n), out.s);
            return;
        }
        case pxt::kLogical:
            if (p[0] == 0)
                out.SetNull();
            else
                out.SetBool((p[0] & 0x7F) != 0);
            return;
        case pxt::kBytes:
            if (AllZero(p, f.length))
                out.SetNull();
            else
                out.SetBytes(std::string_view(reinterpret_cast<const char*>(p), f.length));
            return;
        case pxt::kBcd: {
            bool neg;
            int dec;
            char digits[32];
            if (p[0] == 0 || !DecodeBcd(p, neg, dec, digits)) {
                out.SetNull();
                return;
            }
            size_t lead = 0;
            while (lead < 32 && digits[lead] == '0') ++lead;
            if (32 - lead <= 18) {
                int64_t v = 0;
                for (size_t i = lead; i < 32; ++i) v = v * 10 + (digits[i] - '0');
                out.SetDecimal(neg ? -v : v, dec);
            } else {
                std::string t(digits, 32);
                t.insert(t.size() - static_cast<size_t>(dec), ".");
                out.SetDouble((neg ? -1 : 1) * std::strtod(t.c_str(), nullptr));
            }
            return;
        }
        default:
            break;
    }
    if (IsBlobType(f.type)) {
        const uint32_t leader = f.length - kBlobDescriptor;
        const uint8_t* d = p + leader;
        const uint32_t oi = GetLe32(d);
        const uint32_t len = GetLe32(d + 4);
        if (len == 0) {
            out.SetNull();
            return;
        }
        std::string& data = scratch_;
        if (len <= leader && oi == 0) {
            data.assign(reinterpret_cast<const char*>(p), len);
        } else {
            if (!mb_.IsOpen())
                Fail("The BLOB file of " + Where() + " (" + CompanionPath(path_, ".MB") + ") is missing",
                     errc::kCorruptFile);
            mb_.Read(oi, len, data);
        }
        if (f.type == pxt::kGraphic && data.size() >= 8) data.erase(0, 8);
        if (IsTextBlob(f.type)) {
            out.kind = ValueKind::Text;
            conv_->ToUtf8(data, out.s);
        } else {
            out.SetBytes(data);
        }
        return;
    }
    if (AllZero(p, f.length)) {
        out.SetNull();
        return;
    }
    switch (f.type) {
        case pxt::kDate:
            out.SetDate(DecodeInt(p, 4));
            return;
        case pxt::kShort:
        case pxt::kLong:
        case pxt::kAutoInc:
            out.SetInt(DecodeInt(p, f.length));
            return;
        case pxt::kTime:
            out.SetTime(DecodeInt(p, 4));
            return;
        case pxt::kCurrency:
        case pxt::kNumber:
            out.SetDouble(DecodeDouble(p));
            return;
        case pxt::kTimestamp: {
            const double ms = DecodeDouble(p);
            // Milliseconds from day 0; day numbers count from 0001-01-01 = 1 as ours do.
            if (!std::isfinite(ms) || std::fabs(ms) > 9.0e17) {
                out.SetNull();
                return;
            }
            out.SetTimestamp(static_cast<int64_t>(std::llround(ms)));
            return;
        }
        default:
            out.SetNull();
            return;
    }
}

bool ParadoxTable::ReadRecord(uint32_t recNo, Record& out, const std::vector<bool>* columns) {
    uint32_t index;
    Locate(recNo, index);
    const auto* rec = reinterpret_cast<const uint8_t*>(cache_.data()) + kBlockHeader + size_t{index} * h_.recordSize;
    out.resize(h_.fields.size());
    const bool needLock = holds_ == 0 && mb_.IsOpen();
    if (needLock) mb_.File().Lock(LockMode::Shared);
    try {
        for (size_t k = 0; k < h_.fields.size(); ++k) {
            if (columns && (k >= columns->size() || !(*columns)[k])) {
                out[k].SetNull();
                continue;
            }
            DecodeField(k, rec, out[k]);
        }
    } catch (...) {
        if (needLock) mb_.File().Unlock();
        throw;
    }
    if (needLock) mb_.File().Unlock();
    return true;
}

void ParadoxTable::ReadRawRecord(uint32_t recNo, std::string& out) {
    uint32_t index;
    Locate(recNo, index);
    out.assign(cache_, kBlockHeader + size_t{index} * h_.recordSize, h_.recordSize);
}

// --- locking ---------------------------------------------------------------------------------

void ParadoxTable::Lock(LockMode mode) {
    db_.Lock(mode);
    if (mb_.IsOpen()) mb_.File().Lock(mode);
    if (++holds_ == 1) {
        try {
            SyncWithDisk();
        } catch (...) {
            Unlock();
            throw;
        }
    }
}

void ParadoxTable::Unlock() {
    if (holds_ == 0) return;
    if (holds_ == 1 && (metaDirty_ || indexDirty_ || pendingBlock_)) {
        try {
            FlushPendingBlock();
            FlushMeta();
        } catch (...) {
            --holds_;
            if (mb_.IsOpen()) mb_.File().Unlock();
            db_.Unlock();
            throw;
        }
    }
    --holds_;
    if (holds_ == 0) ForgetHeldBlocks();  // another program may write once the lock is gone
    if (mb_.IsOpen()) mb_.File().Unlock();
    db_.Unlock();
}

void ParadoxTable::SyncWithDisk() {
    std::string head(0x58, '\0');
    if (db_.ReadAt(0, head.data(), head.size()) == head.size() && head == headBytes_) {
        CheckSecondaryFiles();
        return;
    }
    Load();
}

// --- entry points ----------------------------------------------------------------------------

std::unique_ptr<Table> OpenParadoxTable(const std::string& path, OpenMode mode) {
    RecoverHotJournals(path, mode == OpenMode::ReadWrite);
    auto t = std::make_unique<ParadoxTable>(path, mode == OpenMode::ReadWrite);
    t->OpenFiles();
    return t;
}

std::unique_ptr<Table> CreateParadoxTable(const std::string& path, const std::vector<FieldDesc>& fields,
                                          const CreateOptions& options, size_t keyFields) {
    auto t = std::make_unique<ParadoxTable>(path, true);
    t->CreateFiles(fields, options, keyFields);
    return t;
}

std::vector<ValidityCheck> ParadoxValidityChecks(Table& table) {
    if (auto* p = dynamic_cast<ParadoxTable*>(&table)) return p->Checks();
    return {};
}

}  // namespace tessel::engine::paradox
