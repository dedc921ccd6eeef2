#pragma once

// The Paradox table class and the helpers its source files share (internal to the driver).

#include "engine/paradox/Paradox.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>

#include <strings.h>

#include "base/EngineError.h"
#include "engine/codepage/CodePage.h"
#include "engine/codepage/LanguageDrivers.h"
#include "engine/paradox/BlobFile.h"
#include "engine/paradox/PxFormat.h"
#include "engine/paradox/PxSecondaryIndex.h"
#include "engine/storage/LockedFile.h"
#include "engine/storage/TableFamily.h"

namespace tessel::engine::paradox {

namespace fs = std::filesystem;
using codepage::CodePageConverter;

[[noreturn]] inline void Fail(const std::string& msg, int code) {
    throw EngineError(msg, code);
}

inline const char* DriverForCodePage(int cp) {
    switch (cp) {
        case 437:
            return "ascii";
        case 850:
            return "intl850";
        case 865:
            return "nordan";
        case 852:
            return "czech";
        case 857:
            return "turk";
        case 866:
            return "cyrr";
        case 862:
            return "hebrew";
        case 861:
            return "iceland";
        case 1250:
            return "anczech";
        case 1251:
            return "ancyrr";
        case 1253:
            return "angreek1";
        case 1254:
            return "ANTURK";
        case 1255:
            return "ANHEBREW";
        case 1252:
            return "ANSIINTL";
        default:
            return nullptr;
    }
}

inline bool IsDosCodePage(int cp) {
    return cp < 1000;
}

// Fenwick tree over the record counts of the blocks in chain order.
class CountTree {
public:
    void Build(const std::vector<uint16_t>& counts) {
        n_ = counts.size();
        t_.assign(n_ + 1, 0);
        for (size_t i = 0; i < n_; ++i) {
            t_[i + 1] += counts[i];
            const size_t j = (i + 1) + ((i + 1) & (~(i + 1) + 1));
            if (j <= n_) t_[j] += t_[i + 1];
        }
    }
    // One more block at the end, holding `count` records: one node, not a rebuild.
    void Append(int64_t count) {
        ++n_;
        t_.resize(n_ + 1, 0);
        const size_t i = n_;
        t_[i] = count;
        const size_t low = i & (~i + 1);
        for (size_t j = i - 1; j > i - low; j -= j & (~j + 1)) t_[i] += t_[j];
    }
    void Add(size_t pos, int64_t delta) {
        for (size_t i = pos + 1; i <= n_; i += i & (~i + 1)) t_[i] += delta;
    }
    // Records in blocks before `pos`.
    uint64_t Before(size_t pos) const {
        uint64_t s = 0;
        for (size_t i = pos; i > 0; i -= i & (~i + 1)) s += t_[i];
        return static_cast<uint64_t>(s);
    }
    // The block holding record `rec`, and the records before it.
    size_t Find(uint64_t rec, uint64_t& before) const {
        size_t pos = 0;
        uint64_t acc = 0;
        size_t step = 1;
        while (step * 2 <= n_) step *= 2;
        for (; step > 0; step /= 2) {
            if (pos + step <= n_ && acc + static_cast<uint64_t>(t_[pos + step]) <= rec) {
                pos += step;
                acc += static_cast<uint64_t>(t_[pos]);
            }
        }
        before = acc;
        return pos;
    }

private:
    size_t n_ = 0;
    std::vector<int64_t> t_;
};

// Parses "[-|+]digits[.digits]" (blanks around allowed) into sign, integer and fraction digits.
inline bool ParseDecimalText(std::string_view text, bool& negative, std::string& intPart, std::string& frac) {
    size_t a = 0, b = text.size();
    while (a < b && text[a] == ' ') ++a;
    while (b > a && text[b - 1] == ' ') --b;
    text = text.substr(a, b - a);
    negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    intPart.clear();
    frac.clear();
    size_t k = 0;
    while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]))) intPart += text[k++];
    if (k < text.size() && text[k] == '.') {
        ++k;
        while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]))) frac += text[k++];
    }
    if (k != text.size() || (intPart.empty() && frac.empty())) return false;
    return true;
}

// Builds the 32 BCD digits for a decimal text with `decimals` places, rounding half away
// from zero. False when the value needs more integer digits than the field has.
inline bool BcdDigits(std::string_view text, int decimals, bool& negative, char digits[32]) {
    std::string ip, fr;
    if (!ParseDecimalText(text, negative, ip, fr)) return false;
    bool roundUp = false;
    if (static_cast<int>(fr.size()) > decimals) {
        roundUp = fr[static_cast<size_t>(decimals)] >= '5';
        fr.resize(static_cast<size_t>(decimals));
    }
    fr.append(static_cast<size_t>(decimals) - fr.size(), '0');
    std::string all = ip + fr;
    if (roundUp) {
        int k = static_cast<int>(all.size()) - 1;
        while (k >= 0 && all[static_cast<size_t>(k)] == '9') all[static_cast<size_t>(k--)] = '0';
        if (k < 0)
            all.insert(all.begin(), '1');
        else
            ++all[static_cast<size_t>(k)];
    }
    size_t lead = 0;
    while (lead < all.size() && all[lead] == '0') ++lead;
    all.erase(0, lead);
    if (all.size() > 32) return false;
    std::memset(digits, '0', 32);
    std::memcpy(digits + 32 - all.size(), all.data(), all.size());
    if (all.empty()) negative = false;
    return true;
}

inline bool ParseInt(std::string_view s, int64_t& v, size_t& pos, size_t digits) {
    if (pos + digits > s.size()) return false;
    v = 0;
    for (size_t k = 0; k < digits; ++k) {
        const char c = s[pos + k];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    pos += digits;
    return true;
}

inline bool ParseDateText(std::string_view s, size_t& pos, int64_t& day) {
    int64_t y, m, d;
    if (!ParseInt(s, y, pos, 4) || pos >= s.size() || s[pos++] != '-' || !ParseInt(s, m, pos, 2) || pos >= s.size() ||
        s[pos++] != '-' || !ParseInt(s, d, pos, 2))
        return false;
    if (!IsValidDate(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d))) return false;
    day = DayNumber(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d));
    return true;
}

inline bool ParseTimeText(std::string_view s, size_t& pos, int64_t& ms) {
    int64_t h, mi, se = 0, f = 0;
    if (!ParseInt(s, h, pos, 2) || pos >= s.size() || s[pos++] != ':' || !ParseInt(s, mi, pos, 2)) return false;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        if (!ParseInt(s, se, pos, 2)) return false;
        if (pos < s.size() && s[pos] == '.') {
            ++pos;
            int64_t scale = 100;
            size_t n = 0;
            while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
                if (n++ < 3) f += (s[pos] - '0') * scale;
                scale /= 10;
                ++pos;
            }
        }
    }
    if (h > 23 || mi > 59 || se > 59) return false;
    ms = ((h * 60 + mi) * 60 + se) * 1000 + f;
    return true;
}

// ---------------------------------------------------------------------------------------------

class ParadoxTable final : public Table {
public:
    ParadoxTable(std::string path, bool writable) : path_(std::move(path)), writable_(writable) {}
    ~ParadoxTable() override {
        try {
            Close();
        } catch (...) {
        }
    }

    void OpenFiles();
    void CreateFiles(const std::vector<FieldDesc>& fields, const CreateOptions& options, size_t keyFields);

    const StorageDriver& Driver() const override { return ParadoxDriver(); }
    const std::string& FileName() const override { return path_; }
    const TableProperties& Properties() const override { return props_; }
    const std::vector<FieldDesc>& Fields() const override { return fields_; }
    bool IsReadOnly() const override { return !writable_; }
    uint32_t RecordCount() const override { return recordCount_; }
    void Refresh() override;
    bool ReadRecord(uint32_t recNo, Record& out, const std::vector<bool>* columns) override;
    uint32_t AppendRecord(const Record& values) override;
    uint32_t UpdateRecord(uint32_t recNo, const Record& values) override;
    void DeleteRecord(uint32_t recNo) override;
    uint32_t RecordSize() const override { return h_.recordSize; }
    void ReadRawRecord(uint32_t recNo, std::string& out) override;
    void WriteRawRecord(uint32_t recNo, std::string_view bytes) override;
    std::vector<IndexDesc> Indexes() override;
    std::vector<ValCheckDesc> ValidityChecks() override;
    void Lock(LockMode mode) override;
    void Unlock() override;
    void Close() override;
    void Abandon() noexcept override;

    const std::vector<ValidityCheck>& Checks() { return checks_; }

    // Secondary indexes: made from the records as they stand, dropped with their files.
    void CreateIndex(const std::string& name, const std::vector<std::string>& fields, bool unique,
                     bool descending) override;
    bool DropIndex(const std::string& name) override;
    bool SeekSecondary(size_t field, const Value* lo, const Value* hi, std::vector<uint32_t>& out);
    bool CanSeekIndex(size_t field) override { return SeekableIndex(field) != nullptr; }
    bool SeekIndex(size_t field, const Value* lo, const Value* hi, std::vector<uint32_t>& recNos) override {
        return SeekSecondary(field, lo, hi, recNos);
    }
    const std::vector<SecondaryIndex>& Secondaries() const { return secondaries_; }

private:
    // A hold of the table lock for one write call. Release (at the call's normal end) writes the
    // header and index when the outermost hold ends and reports a failure; a hold left by a
    // failure is let go by the destructor, which never throws.
    class WriteHold {
    public:
        explicit WriteHold(ParadoxTable& t) : t_(t) {
            if (!t_.writable_) Fail("Table \"" + t_.path_ + "\" is open read-only", errc::kReadOnly);
            t_.Lock(LockMode::Exclusive);
            if (!t_.secondaryError_.empty()) {
                t_.Unlock();
                Fail("Table " + t_.Where() + " cannot be written while its index is damaged (" + t_.secondaryError_ +
                         "); drop the index or delete its files",
                     errc::kCorruptFile);
            }
            if (!t_.chainError_.empty()) {
                // Writing into a damaged chain would bury the records behind the damage.
                t_.Unlock();
                Fail("Table " + t_.Where() + " is damaged (" + t_.chainError_ + ") and cannot be written",
                     errc::kCorruptFile);
            }
        }
        void Release() {
            if (!held_) return;
            held_ = false;
            t_.Unlock();
        }
        ~WriteHold() {
            if (!held_) return;
            try {
                t_.Unlock();
            } catch (...) {
                // A failure is already on its way to the caller.
            }
        }
        WriteHold(const WriteHold&) = delete;
        WriteHold& operator=(const WriteHold&) = delete;

    private:
        ParadoxTable& t_;
        bool held_ = true;
    };

    void Load();
    void LoadHeader();
    void WalkChain();
    void CheckIndex();
    void LoadValidity();
    void BuildDescriptors();
    void RebuildCounts() { tree_.Build(counts_); }
    uint64_t BlockOffset(uint16_t block) const {
        return uint64_t{h_.headerSize} + uint64_t{block - 1u} * h_.BlockSize();
    }
    // Loads chain position `pos` into the block cache.
    void LoadBlock(size_t pos);
    size_t Locate(uint32_t recNo, uint32_t& index);
    void CheckReadable(uint32_t recNo);
    void DecodeField(size_t k, const uint8_t* rec, Value& out);
    void EncodeRecord(const Record& values, std::string& rec, std::vector<std::pair<size_t, std::string>>& blobs);
    void EncodeField(size_t k, const Value& v, uint8_t* dst, std::vector<std::pair<size_t, std::string>>& blobs);
    void StoreBlobs(std::string& rec, const std::vector<std::pair<size_t, std::string>>& blobs);
    void FreeBlobs(const uint8_t* rec);
    void AssignAutoInc(std::string& rec, const Record& values);
    uint32_t InsertKeyed(const std::string& rec);
    // `keep`: the caller holds the table exclusively; the block is written later.
    uint32_t AppendUnkeyed(const std::string& rec, bool keep = false);
    void RemoveAt(size_t pos, uint32_t index);
    // Finds the record with this key: true with its chain position and index when present;
    // otherwise the position and index where it would go.
    bool FindKey(const uint8_t* key, size_t& pos, uint32_t& index);
    uint16_t NewBlock();
    void FreeBlock(uint16_t block);
    void WriteBlockHeader(uint16_t block, uint16_t next, uint16_t prev, int count);
    void WriteCached();
    void SyncWithDisk();
    void FlushMeta();
    void WriteIndex();
    void LoadSecondaries();
    std::string SecondaryName(const SecondaryIndex& ix) const;
    // An ascending, maintained secondary index that begins with the field and whose files hold
    // every change made so far; null when there is none.
    const SecondaryIndex* SeekableIndex(size_t field) const;
    bool SortsByBytes() const;
    // The index's records in key order, made from every table record.
    std::string BuildSecondary(const SecondaryIndex& ix);
    // Refuses a record that would give a unique secondary index a value twice; `old` is the
    // record it replaces, if any.
    void CheckUniqueSecondaries(const std::string& rec, const std::string* old);
    void WriteSecondaries();
    // Brings the kept index contents up to one record's change: `before` (null: none) left
    // table block `fromBlock`, `after` (null: none) now lives in `toBlock`. A record that only
    // moved to another block passes itself as both.
    void TrackSecondaries(const uint8_t* before, uint16_t fromBlock, const uint8_t* after, uint16_t toBlock);
    // Drops every kept index contents: the next flush rebuilds the indexes from the records.
    void ForgetSecondaryContents();
    // Drops the kept contents of an index whose data file is no longer the one last written
    // here (another program wrote it).
    void CheckSecondaryFiles();
    // Drops the kept index contents when a change fails part way: the table may then hold
    // part of it that the contents do not, or the other way round.
    class ContentsGuard {
    public:
        explicit ContentsGuard(ParadoxTable& t) : t_(t), uncaught_(std::uncaught_exceptions()) {}
        ~ContentsGuard() {
            if (std::uncaught_exceptions() > uncaught_) t_.ForgetSecondaryContents();
        }
        ContentsGuard(const ContentsGuard&) = delete;
        ContentsGuard& operator=(const ContentsGuard&) = delete;

    private:
        ParadoxTable& t_;
        int uncaught_;
    };
    void MarkDirty() {
        metaDirty_ = true;
        secondariesDirty_ = true;
    }
    std::string Where() const { return "\"" + path_ + "\""; }

    std::string path_;
    bool writable_;
    LockedFile db_;
    BlobFile mb_;
    std::string mbPath_, pxPath_, valPath_;
    PxHeader h_;
    std::string headBytes_;  // the fixed header part as last read or written
    TableProperties props_;
    std::vector<FieldDesc> fields_;
    std::unique_ptr<CodePageConverter> conv_;
    std::vector<ValidityCheck> checks_;
    std::vector<SecondaryIndex> secondaries_;
    // What each secondary index's data file holds once it has been written here: its records
    // in key order, with every change made since applied at its place, so a change costs an
    // insertion or removal here and, at the flush, a write of the data blocks from the first
    // changed one on instead of a rebuild from every record. Not `valid`: the next flush
    // rebuilds that index from the records and keeps the result. The size and time of the data
    // file as written tell whether another program has rewritten it since.
    struct SecondaryContents {
        bool valid = false;
        size_t changedFrom = SIZE_MAX;  // the first record whose place in the file changed
        std::string records;
        uintmax_t fileSize = 0;
        fs::file_time_type fileTime{};
        // After the data file was written: writes the tree file and notes the data file's
        // size and time, by which a later change by another program shows.
        void Finish(const SecondaryIndex& ix, const SecondaryIndexFiles& files) {
            LockedFile y;
            y.Create(ix.treePath);
            y.WriteAt(0, files.tree);
            y.Close();
            fileSize = fs::file_size(ix.dataPath);
            fileTime = fs::last_write_time(ix.dataPath);
            valid = true;
        }
    };
    std::vector<SecondaryContents> contents_;  // one for each of secondaries_
    std::string secondaryError_;               // a secondary index that cannot be read: the table stays readable

    // The block chain in order: block numbers, record counts, first keys (keyed tables).
    std::vector<uint16_t> chain_;
    std::vector<uint16_t> counts_;
    std::vector<std::string> firstKeys_;
    CountTree tree_;
    std::vector<uint16_t> freeBlocks_;  // the free list, head first
    uint32_t physBlocks_ = 0;           // blocks in the file (used and free)
    uint32_t recordCount_ = 0;
    uint32_t readable_ = 0;  // records before the first unreadable one
    std::string chainError_;

    // Block cache: chain position, first record number, the block's bytes.
    size_t cachePos_ = SIZE_MAX;
    uint32_t cacheStart_ = 0;
    uint32_t cacheCount_ = 0;
    std::string cache_;
    // The blocks read while the lock is held (a statement), by block number, up to a limit:
    // a join that probes a small table reads each of its blocks once, not once per probe.
    // Valid while neither the kernel lock was retaken nor anything was written.
    std::unordered_map<uint16_t, std::string> heldBlocks_;
    size_t heldBytes_ = 0;
    uint64_t heldLock_ = 0;
    uint64_t heldWrites_ = 0;
    void ForgetHeldBlocks();

    int holds_ = 0;
    bool metaDirty_ = false;
    // Records were added, removed, moved or had an indexed field changed since the secondary
    // index files were last written.
    bool secondariesDirty_ = false;
    bool indexDirty_ = false;
    int autoIncField_ = -1;
    std::optional<int64_t> maxAutoInc_;
    bool closed_ = false;
    // Appends made while the caller holds the exclusive lock fill the cached last block in
    // memory; it is written when full or before anything else touches the table, the link
    // from the block before it after it, and the header last (at unlock), so the file never
    // counts or links records it does not hold.
    bool pendingBlock_ = false;
    uint16_t pendingLink_ = 0;  // block whose "next" must point at the pending block
    void FlushPendingBlock();
    std::string scratch_;
};

}  // namespace tessel::engine::paradox
