// The Paradox table: secondary indexes, made, kept current, searched and dropped.

#include "engine/paradox/ParadoxTable.h"
#include "engine/storage/RollbackJournal.h"

namespace tessel::engine::paradox {

// --- secondary indexes -------------------------------------------------------------------------

void ParadoxTable::LoadSecondaries() {
    secondaries_.clear();
    secondaryError_.clear();
    std::vector<std::string> dataFiles;
    for (const std::string& file : TableFamilyFiles(path_, ParadoxDriver())) {
        bool composite;
        int number;
        if (ParseIndexExtension(fs::path(file).extension().string(), composite, number)) dataFiles.push_back(file);
    }
    std::sort(dataFiles.begin(), dataFiles.end());
    for (const auto& x : dataFiles) {
        try {
            LockedFile f;
            f.Open(x, false);
            const uint64_t size = f.Size();
            std::string head(std::min<uint64_t>(size, 0x800), '\0');
            f.ReadExactly(0, head.data(), head.size(), "the index header");
            if (head.size() >= 4) {
                const uint16_t hs = GetLe16(head.data() + 2);
                if (hs > head.size() && hs <= size) {
                    head.resize(hs);
                    f.ReadExactly(0, head.data(), hs, "the index header");
                }
            }
            SecondaryIndex ix = ParseIndexHeader(head, size, h_, x);
            bool composite;
            int number;
            ParseIndexExtension(fs::path(x).extension().string(), composite, number);
            if (composite != ix.composite)
                Fail("Secondary index \"" + x + "\" does not match its table: its name and its kind disagree",
                     errc::kCorruptFile);
            if (composite) ix.number = number;
            std::string ext = fs::path(x).extension().string();
            ext[1] = static_cast<char>(ext[1] == 'x' ? 'y' : 'Y');
            ix.dataPath = x;
            ix.treePath = FindCompanion(path_, ext);
            if (ix.treePath.empty())
                Fail("Secondary index \"" + x + "\" has no tree file (" + ext + ")", errc::kCorruptFile);
            secondaries_.push_back(std::move(ix));
        } catch (const EngineError& e) {
            if (secondaryError_.empty()) secondaryError_ = e.what();
        }
    }
    contents_.assign(secondaries_.size(), SecondaryContents{});
    props_.indexCount = (h_.keyFields > 0 ? 1u : 0u) + static_cast<uint32_t>(secondaries_.size());
}

std::string ParadoxTable::SecondaryName(const SecondaryIndex& ix) const {
    if (!ix.composite) return ix.fields[0] < fields_.size() ? fields_[ix.fields[0]].name : std::string();
    return conv_->ToUtf8(ix.rawName);
}

std::string ParadoxTable::BuildSecondary(const SecondaryIndex& ix) {
    const uint32_t rs = h_.recordSize;
    std::string records;
    records.reserve(size_t{recordCount_} * IndexRecordSize(h_, ix));
    std::string block;
    for (size_t pos = 0; pos < chain_.size(); ++pos) {
        block.resize(kBlockHeader + size_t{counts_[pos]} * rs);
        if (db_.ReadAt(BlockOffset(chain_[pos]), block.data(), block.size()) != block.size())
            Fail(Where() + " is truncated: block " + std::to_string(chain_[pos]) + " can no longer be read",
                 errc::kCorruptFile);
        const auto* recs = reinterpret_cast<const uint8_t*>(block.data()) + kBlockHeader;
        for (uint32_t r = 0; r < counts_[pos]; ++r)
            AppendIndexRecord(h_, ix, recs + size_t{r} * rs, chain_[pos], records);
    }
    return SortIndexRecords(h_, ix, std::move(records), path_);
}

void ParadoxTable::CheckUniqueSecondaries(const std::string& rec, const std::string* old) {
    const uint32_t rs = h_.recordSize;
    const uint32_t keyLen = h_.KeyLength();
    std::string block;
    for (size_t x = 0; x < secondaries_.size(); ++x) {
        const SecondaryIndex& ix = secondaries_[x];
        if (!ix.unique) continue;
        std::string mine;
        AppendIndexRecord(h_, ix, reinterpret_cast<const uint8_t*>(rec.data()), 0, mine);
        const size_t ixLen = mine.size() - keyLen - 2;
        if (AllZero(reinterpret_cast<const uint8_t*>(mine.data()), ixLen)) continue;
        if (old) {
            std::string before;
            AppendIndexRecord(h_, ix, reinterpret_cast<const uint8_t*>(old->data()), 0, before);
            if (before.compare(0, ixLen, mine, 0, ixLen) == 0) continue;  // the value stays
        }
        if (contents_[x].valid) {
            // The kept contents hold every record's value in order: look among the equal ones.
            const std::string& all = contents_[x].records;
            const size_t irs = mine.size();
            size_t lo = 0, hi = all.size() / irs;
            while (lo < hi) {
                const size_t mid = (lo + hi) / 2;
                if (std::memcmp(all.data() + mid * irs, mine.data(), ixLen) < 0)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            for (size_t at = lo; at < all.size() / irs && std::memcmp(all.data() + at * irs, mine.data(), ixLen) == 0;
                 ++at)
                if (!old || std::memcmp(all.data() + at * irs + ixLen, old->data(), keyLen) != 0)
                    Fail("Key violation: unique index " + SecondaryName(ix) + " of " + Where() +
                             " holds that value already",
                         errc::kKeyViolation);
            continue;
        }
        std::string other;
        for (size_t pos = 0; pos < chain_.size(); ++pos) {
            block.resize(kBlockHeader + size_t{counts_[pos]} * rs);
            if (db_.ReadAt(BlockOffset(chain_[pos]), block.data(), block.size()) != block.size()) continue;
            const auto* recs = reinterpret_cast<const uint8_t*>(block.data()) + kBlockHeader;
            for (uint32_t r = 0; r < counts_[pos]; ++r) {
                const uint8_t* p = recs + size_t{r} * rs;
                if (old && std::memcmp(p, old->data(), keyLen) == 0) continue;
                other.clear();
                AppendIndexRecord(h_, ix, p, 0, other);
                if (other.compare(0, ixLen, mine, 0, ixLen) == 0)
                    Fail("Key violation: unique index " + SecondaryName(ix) + " of " + Where() +
                             " holds that value already",
                         errc::kKeyViolation);
            }
        }
    }
}

// Writes the files of every secondary index that changed: from the kept contents where there
// are some, else rebuilt from the records (and kept from then on). A unique index that a change
// would break refuses before any file is written.
void ParadoxTable::WriteSecondaries() {
    const size_t n = secondaries_.size();
    std::vector<std::string> rebuilt(n);
    std::vector<std::optional<SecondaryIndexFiles>> files(n);
    for (size_t k = 0; k < n; ++k) {
        SecondaryContents& c = contents_[k];
        if (!c.valid) {
            rebuilt[k] = BuildSecondary(secondaries_[k]);
            files[k] = IndexFilesFromSorted(h_, secondaries_[k], rebuilt[k], path_);
        } else if (c.changedFrom != SIZE_MAX) {
            // The file holds what was written last: the header and the blocks from the first
            // changed one on replace their old bytes.
            files[k] = IndexFilesFromSorted(h_, secondaries_[k], c.records, path_, c.changedFrom);
        }
    }
    try {
        for (size_t k = 0; k < n; ++k) {
            if (!files[k]) continue;
            SecondaryContents& c = contents_[k];
            const SecondaryIndex& ix = secondaries_[k];
            const SecondaryIndexFiles& f = *files[k];
            LockedFile x;
            if (c.valid) {
                c.valid = false;
                const std::string_view data = f.data;
                x.Open(ix.dataPath, true);
                x.WriteAt(0, data.substr(0, f.headerSize));
                x.WriteAt(f.blocksAt, data.substr(f.headerSize));
                if (x.Size() != f.dataSize) x.Truncate(f.dataSize);
            } else {
                c.records = std::move(rebuilt[k]);
                x.Create(ix.dataPath);
                x.WriteAt(0, f.data);
            }
            x.Close();
            c.Finish(ix, f);
            c.changedFrom = SIZE_MAX;
        }
    } catch (...) {
        ForgetSecondaryContents();
        throw;
    }
}

void ParadoxTable::ForgetSecondaryContents() {
    for (auto& c : contents_) c = SecondaryContents{};
}

void ParadoxTable::CheckSecondaryFiles() {
    for (size_t k = 0; k < contents_.size(); ++k) {
        SecondaryContents& c = contents_[k];
        if (!c.valid) continue;
        std::error_code e1, e2;
        const uintmax_t size = fs::file_size(secondaries_[k].dataPath, e1);
        const fs::file_time_type time = fs::last_write_time(secondaries_[k].dataPath, e2);
        if (e1 || e2 || size != c.fileSize || time != c.fileTime) c = SecondaryContents{};
    }
}

void ParadoxTable::TrackSecondaries(const uint8_t* before, uint16_t fromBlock, const uint8_t* after, uint16_t toBlock) {
    std::string was, now;
    for (size_t k = 0; k < secondaries_.size(); ++k) {
        const SecondaryIndex& ix = secondaries_[k];
        was.clear();
        now.clear();
        if (before) AppendIndexRecord(h_, ix, before, fromBlock, was);
        if (after) AppendIndexRecord(h_, ix, after, toBlock, now);
        if (was == now) continue;  // neither its fields nor its block changed
        secondariesDirty_ = true;
        SecondaryContents& c = contents_[k];
        if (!c.valid) continue;
        std::string& all = c.records;
        const size_t rs = before ? was.size() : now.size();
        const size_t keyLen = rs - 2;  // all but the hint
        const size_t count = all.size() / rs;
        // Position of the first index record whose key is not below `entry`; `found` when equal.
        auto find = [&](const std::string& entry, bool& found) {
            size_t lo = 0, hi = count;
            while (lo < hi) {
                const size_t mid = (lo + hi) / 2;
                if (std::memcmp(all.data() + mid * rs, entry.data(), keyLen) < 0)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            found = lo < count && std::memcmp(all.data() + lo * rs, entry.data(), keyLen) == 0;
            return lo;
        };
        bool found = false;
        size_t from = 0;
        if (before) {
            from = find(was, found);
            // Not there as it should be: the contents went astray; rebuild instead.
            if (!found || std::memcmp(all.data() + from * rs + keyLen, was.data() + keyLen, 2) != 0) {
                c = SecondaryContents{};
                continue;
            }
        }
        if (!after) {
            all.erase(from * rs, rs);
            c.changedFrom = std::min(c.changedFrom, from);
            continue;
        }
        if (before && std::memcmp(was.data(), now.data(), keyLen) == 0) {
            std::memcpy(all.data() + from * rs + keyLen, now.data() + keyLen, 2);  // moved block only
            c.changedFrom = std::min(c.changedFrom, from);
            continue;
        }
        const size_t to = find(now, found);
        if (found) {  // a key the index holds already cannot come in twice
            c = SecondaryContents{};
            continue;
        }
        c.changedFrom = std::min(c.changedFrom, before ? std::min(from, to) : to);
        if (!before) {
            all.insert(to * rs, now);
            continue;
        }
        // From one place to the other: only the records between them shift.
        char* base = all.data();
        if (to > from) {
            std::memmove(base + from * rs, base + (from + 1) * rs, (to - 1 - from) * rs);
            std::memcpy(base + (to - 1) * rs, now.data(), rs);
        } else {
            std::memmove(base + (to + 1) * rs, base + to * rs, (from - to) * rs);
            std::memcpy(base + to * rs, now.data(), rs);
        }
    }
}

void ParadoxTable::CreateIndex(const std::string& name, const std::vector<std::string>& fields, bool unique,
                               bool descending) {
    WriteHold hold(*this);
    SecondaryIndex ix;
    ix.unique = unique;
    ix.descending = descending;
    for (const auto& f : fields) {
        const int pos = FindField(*this, f);
        if (pos < 0) Fail("Invalid field name: " + f, errc::kSqlBind);
        ix.fields.push_back(static_cast<uint16_t>(pos));
    }
    const int named = FindField(*this, name);
    if (named >= 0 && (ix.fields.size() != 1 || ix.fields[0] != named))
        Fail("An index named like field " + name + " must be an index of that field alone", errc::kInvalidParameter);
    ix.composite = named < 0;
    if (ix.composite) {
        if (name.empty()) Fail("An index needs a name", errc::kInvalidParameter);
        if (!conv_->FromUtf8(name, ix.rawName) || ix.rawName.find('\0') != std::string::npos || ix.rawName.size() > 25)
            Fail("An index name has at most 25 characters of the table's code page: " + name, errc::kInvalidParameter);
        std::vector<bool> used(16, false);
        for (const auto& s : secondaries_)
            if (s.composite) used[static_cast<size_t>(s.number & 15)] = true;
        ix.number = -1;
        for (int k = 0; k < 16 && ix.number < 0; ++k)
            if (!used[static_cast<size_t>(k)]) ix.number = k;
        if (ix.number < 0)
            Fail("Capability not supported: a table holds at most 16 named secondary indexes", errc::kNotSupported);
    } else {
        ix.number = named + 1;
    }
    for (const auto& s : secondaries_)
        if (!s.composite && !ix.composite && s.number == ix.number)
            Fail("Index already exists: " + name, errc::kInvalidParameter);
    CheckIndexDefinition(h_, ix, path_);
    if (!chainError_.empty()) Fail("Table " + Where() + " is damaged (" + chainError_ + ")", errc::kCorruptFile);
    SecondaryContents kept;
    kept.records = BuildSecondary(ix);
    const SecondaryIndexFiles files = IndexFilesFromSorted(h_, ix, kept.records, path_);
    ix.dataPath = CompanionPath(path_, IndexExtension(ix, false));
    ix.treePath = CompanionPath(path_, IndexExtension(ix, true));
    try {
        LockedFile x;
        x.Create(ix.dataPath);
        x.WriteAt(0, files.data);
        x.Close();
        kept.Finish(ix, files);
    } catch (...) {
        std::error_code ec;
        fs::remove(ix.dataPath, ec);
        fs::remove(ix.treePath, ec);
        throw;
    }
    secondaries_.push_back(std::move(ix));
    contents_.push_back(std::move(kept));
    props_.indexCount = (h_.keyFields > 0 ? 1u : 0u) + static_cast<uint32_t>(secondaries_.size());
    hold.Release();
}

bool ParadoxTable::DropIndex(const std::string& name) {
    TableLock hold(*this, LockMode::Exclusive);
    if (!writable_) Fail("Table \"" + path_ + "\" is open read-only", errc::kReadOnly);
    for (size_t k = 0; k < secondaries_.size(); ++k) {
        const std::string n = SecondaryName(secondaries_[k]);
        if (n.size() != name.size() || strcasecmp(n.c_str(), name.c_str()) != 0) continue;
        RemoveTableFile(secondaries_[k].dataPath);
        RemoveTableFile(secondaries_[k].treePath);
        secondaries_.erase(secondaries_.begin() + static_cast<std::ptrdiff_t>(k));
        contents_.erase(contents_.begin() + static_cast<std::ptrdiff_t>(k));
        props_.indexCount = (h_.keyFields > 0 ? 1u : 0u) + static_cast<uint32_t>(secondaries_.size());
        hold.Release();
        return true;
    }
    hold.Release();
    return false;
}

const SecondaryIndex* ParadoxTable::SeekableIndex(size_t field) const {
    // Changes not yet flushed are missing from the index files.
    if (!chainError_.empty() || metaDirty_ || indexDirty_ || pendingBlock_) return nullptr;
    // Alpha keys are searched in byte order. Only the 'ascii' drivers promise that order; under
    // a dictionary-ordered driver an index written by another program would send the search
    // down the wrong branch and miss records, so such lookups scan instead.
    if (field < h_.fields.size() && h_.fields[field].type == pxt::kAlpha && !SortsByBytes()) return nullptr;
    const SecondaryIndex* ix = nullptr;
    for (const auto& s : secondaries_)
        if (!s.fields.empty() && s.fields[0] == field && !s.descending && s.maintained) ix = &s;
    return ix;
}

bool ParadoxTable::SortsByBytes() const {
    if (!h_.sortOrderId.empty()) return h_.sortOrderId == "ascii" || h_.sortOrderId == "DBWINUS0";
    return h_.sortOrder == 0x00;
}

// Answers lo <= field <= hi (either bound may be absent) through a secondary index that
// begins with the field: down its tree to the first candidate block of its data file, along
// the data blocks while the values lie in range, and from each entry's table key to the record.
bool ParadoxTable::SeekSecondary(size_t field, const Value* lo, const Value* hi, std::vector<uint32_t>& out) {
    if (field >= h_.fields.size() || !SeekableIndex(field)) return false;
    const PxField& f = h_.fields[field];
    std::vector<std::pair<size_t, std::string>> blobs;
    std::string loKey(f.length, '\0'), hiKey(f.length, '\0');
    try {
        if (lo) EncodeField(field, *lo, reinterpret_cast<uint8_t*>(loKey.data()), blobs);
        if (hi) EncodeField(field, *hi, reinterpret_cast<uint8_t*>(hiKey.data()), blobs);
    } catch (const EngineError&) {
        return false;  // a bound the field cannot hold: the caller scans
    }
    if ((lo && lo->IsNull()) || (hi && hi->IsNull())) return false;
    TableLock hold(*this, LockMode::Shared);
    // Taking the lock may have re-read a table another program changed.
    const SecondaryIndex* ix = SeekableIndex(field);
    if (!ix) return false;
    LockedFile x, y;
    x.Open(ix->dataPath, false);
    y.Open(ix->treePath, false);
    uint8_t xh[0x58], yh[0x58];
    x.ReadExactly(0, xh, sizeof xh, "the index header");
    y.ReadExactly(0, yh, sizeof yh, "the index tree header");
    const uint32_t rs = GetLe16(xh), xHead = GetLe16(xh + 2), xbs = uint32_t{xh[5]} * 1024;
    const uint32_t es = GetLe16(yh), yHead = GetLe16(yh + 2), ybs = uint32_t{yh[5]} * 1024;
    const uint32_t keyLen = h_.KeyLength();
    const uint32_t pkAt = IndexRecordSize(h_, *ix) - keyLen - 2;
    if (rs != IndexRecordSize(h_, *ix) || es < f.length + 6 || xbs < rs + kBlockHeader || ybs < es + kBlockHeader)
        return false;
    out.clear();
    uint16_t block = 0;
    if (GetLe32(xh + 6) == 0) return true;
    // Down the tree: the last entry that begins before the lower bound.
    uint16_t node = GetLe16(yh + 0x1E);
    std::string buf;
    for (int level = yh[0x20]; level >= 1; --level) {
        buf.assign(ybs, '\0');
        y.ReadExactly(yHead + uint64_t{node - 1u} * ybs, buf.data(), ybs, "an index tree block");
        const int n = static_cast<int16_t>(GetLe16(buf.data() + 4)) / static_cast<int>(es) + 1;
        int pick = 0;
        for (int e = 1; e < n && lo; ++e)
            if (std::memcmp(buf.data() + kBlockHeader + size_t(e) * es, loKey.data(), f.length) < 0) pick = e;
        const auto* entry = reinterpret_cast<const uint8_t*>(buf.data()) + kBlockHeader + size_t(pick) * es;
        node = static_cast<uint16_t>(DecodeInt(entry + es - 6, 2));
    }
    block = node;
    // Along the data blocks.
    size_t guardCount = 0;
    while (block != 0 && guardCount++ <= 0xFFFF) {
        buf.assign(xbs, '\0');
        x.ReadExactly(xHead + uint64_t{block - 1u} * xbs, buf.data(), xbs, "an index block");
        const int n = static_cast<int16_t>(GetLe16(buf.data() + 4)) / static_cast<int>(rs) + 1;
        for (int r = 0; r < n; ++r) {
            const char* rec = buf.data() + kBlockHeader + size_t(r) * rs;
            if (AllZero(reinterpret_cast<const uint8_t*>(rec), f.length)) continue;  // blank: never in range
            if (lo && std::memcmp(rec, loKey.data(), f.length) < 0) continue;
            if (hi && std::memcmp(rec, hiKey.data(), f.length) > 0) return true;
            size_t pos;
            uint32_t index;
            if (FindKey(reinterpret_cast<const uint8_t*>(rec + pkAt), pos, index)) out.push_back(cacheStart_ + index);
        }
        block = GetLe16(buf.data());
    }
    return true;
}

void ParadoxTable::Close() {
    if (closed_) return;
    closed_ = true;
    while (holds_ > 0) Unlock();
    mb_.Close();
    db_.Close();
}

void ParadoxTable::Abandon() noexcept {
    closed_ = true;
    holds_ = 0;
    pendingBlock_ = false;
    metaDirty_ = indexDirty_ = secondariesDirty_ = false;
    mb_.Close();
    db_.Close();
}

}  // namespace tessel::engine::paradox
