// The Paradox table: reading, writing, keys, secondary indexes, creating tables.

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

namespace {

[[noreturn]] void Fail(const std::string& msg, int code) {
    throw EngineError(msg, code);
}

const char* DriverForCodePage(int cp) {
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

bool IsDosCodePage(int cp) {
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
bool ParseDecimalText(std::string_view text, bool& negative, std::string& intPart, std::string& frac) {
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
bool BcdDigits(std::string_view text, int decimals, bool& negative, char digits[32]) {
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

bool ParseInt(std::string_view s, int64_t& v, size_t& pos, size_t digits) {
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

bool ParseDateText(std::string_view s, size_t& pos, int64_t& day) {
    int64_t y, m, d;
    if (!ParseInt(s, y, pos, 4) || pos >= s.size() || s[pos++] != '-' || !ParseInt(s, m, pos, 2) || pos >= s.size() ||
        s[pos++] != '-' || !ParseInt(s, d, pos, 2))
        return false;
    if (!IsValidDate(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d))) return false;
    day = DayNumber(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d));
    return true;
}

bool ParseTimeText(std::string_view s, size_t& pos, int64_t& ms) {
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

}  // namespace

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
    void UpdateRecord(uint32_t recNo, const Record& values) override;
    void DeleteRecord(uint32_t recNo) override;
    uint32_t RecordSize() const override { return h_.recordSize; }
    void ReadRawRecord(uint32_t recNo, std::string& out) override;
    void WriteRawRecord(uint32_t recNo, std::string_view bytes) override;
    std::vector<IndexDesc> Indexes() override;
    std::vector<ValCheckDesc> ValidityChecks() override;
    void Lock(LockMode mode) override;
    void Unlock() override;
    void Close() override;

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
    // A hold of the table lock for one write call; flushes the header and index when the
    // outermost hold ends.
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
        ~WriteHold() {
            try {
                t_.Unlock();
            } catch (...) {
            }
        }
        WriteHold(const WriteHold&) = delete;
        WriteHold& operator=(const WriteHold&) = delete;

    private:
        ParadoxTable& t_;
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

void ParadoxTable::LoadBlock(size_t pos) {
    FlushPendingBlock();
    const uint16_t b = chain_[pos];
    const uint32_t n = counts_[pos];
    cache_.resize(kBlockHeader + size_t{n} * h_.recordSize);
    const size_t got = db_.ReadAt(BlockOffset(b), cache_.data(), cache_.size());
    if (got != cache_.size())
        Fail(Where() + " is truncated: block " + std::to_string(b) + " can no longer be read", errc::kCorruptFile);
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
            const std::string text = asText();
            if (text.find('\0') != std::string::npos) badValue("text holds a NUL character");
            std::string enc;
            char32_t bad = 0;
            if (!conv_->FromUtf8(text, enc, f.length + 1, &bad))
                badValue("character U+" + std::to_string(static_cast<uint32_t>(bad)) + " has no place in code page " +
                         std::to_string(conv_->CodePage()));
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
            if (!conv_->FromUtf8(text, data, SIZE_MAX, &bad))
                badValue("character U+" + std::to_string(static_cast<uint32_t>(bad)) + " has no place in code page " +
                         std::to_string(conv_->CodePage()));
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
        RebuildCounts();
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
    return result;
}

void ParadoxTable::UpdateRecord(uint32_t recNo, const Record& values) {
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
        InsertKeyed(rec);
    }
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
}

bool ParadoxTable::DropIndex(const std::string& name) {
    if (!writable_) Fail("Table \"" + path_ + "\" is open read-only", errc::kReadOnly);
    Lock(LockMode::Exclusive);
    struct Release {
        ParadoxTable& t;
        ~Release() {
            try {
                t.Unlock();
            } catch (...) {
            }
        }
    } release{*this};
    for (size_t k = 0; k < secondaries_.size(); ++k) {
        const std::string n = SecondaryName(secondaries_[k]);
        if (n.size() != name.size() || strcasecmp(n.c_str(), name.c_str()) != 0) continue;
        std::error_code ec;
        fs::remove(secondaries_[k].dataPath, ec);
        fs::remove(secondaries_[k].treePath, ec);
        secondaries_.erase(secondaries_.begin() + static_cast<std::ptrdiff_t>(k));
        contents_.erase(contents_.begin() + static_cast<std::ptrdiff_t>(k));
        props_.indexCount = (h_.keyFields > 0 ? 1u : 0u) + static_cast<uint32_t>(secondaries_.size());
        return true;
    }
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

// --- creating --------------------------------------------------------------------------------

void ParadoxTable::CreateFiles(const std::vector<FieldDesc>& fields, const CreateOptions& options, size_t keyFields) {
    auto bad = [&](const std::string& why) { Fail("Cannot create " + Where() + ": " + why, errc::kInvalidParameter); };
    if (fields.empty()) bad("a table needs at least one field");
    if (fields.size() > 255) bad("a table holds at most 255 fields");
    if (keyFields > fields.size() || keyFields > 16) bad("the key may have at most 16 of the table's fields");

    // Language driver and code page.
    const codepage::ParadoxLanguageDriver* drv = nullptr;
    if (!options.languageDriver.empty()) {
        drv = codepage::FindParadoxDriver(options.languageDriver);
        if (!drv) bad("unknown language driver \"" + options.languageDriver + "\"");
    } else {
        const int cp = options.codePage ? options.codePage : codepage::kDefaultCodePage;
        const char* id = DriverForCodePage(cp);
        if (!id || !(drv = codepage::FindParadoxDriver(id)))
            bad("no language driver for code page " + std::to_string(cp));
    }
    conv_ = std::make_unique<CodePageConverter>(drv->codePage);

    PxHeader h;
    h.fileType = keyFields ? kFileKeyed : kFileUnkeyed;
    h.keyFields = static_cast<uint16_t>(keyFields);
    int level = IsDosCodePage(drv->codePage) ? 3 : 4;
    uint32_t offset = 0;
    std::vector<std::string> seen;
    for (size_t k = 0; k < fields.size(); ++k) {
        const FieldDesc& d = fields[k];
        PxField f;
        const std::string where = "field \"" + d.name + "\"";
        if (d.name.empty()) bad("field " + std::to_string(k + 1) + " has no name");
        std::string upper = d.name;
        for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (std::find(seen.begin(), seen.end(), upper) != seen.end())
            bad("field name \"" + d.name + "\" is used twice");
        seen.push_back(upper);
        if (!conv_->FromUtf8(d.name, f.rawName) || f.rawName.size() > 25 || f.rawName.find('\0') != std::string::npos)
            bad(where + ": a field name has at most 25 characters of the table's code page");
        switch (d.type) {
            case fldtype::kString:
                if (d.units1 < 1 || d.units1 > 255) bad(where + ": alpha size must be 1 to 255");
                f.type = pxt::kAlpha;
                f.sizeByte = static_cast<uint8_t>(d.units1);
                break;
            case fldtype::kDate:
                f.type = pxt::kDate;
                f.sizeByte = 4;
                break;
            case fldtype::kBool:
                f.type = pxt::kLogical;
                f.sizeByte = 1;
                break;
            case fldtype::kInt16:
                f.type = pxt::kShort;
                f.sizeByte = 2;
                break;
            case fldtype::kInt32:
                f.type = d.subType == fldsub::kAutoInc || d.nativeType == '+' ? pxt::kAutoInc : pxt::kLong;
                f.sizeByte = 4;
                break;
            case fldtype::kFloat:
                f.type = d.subType == fldsub::kMoney || d.nativeType == '$' ? pxt::kCurrency : pxt::kNumber;
                f.sizeByte = 8;
                break;
            case fldtype::kBcd:
                if (d.units2 > 32) bad(where + ": at most 32 decimals");
                f.type = pxt::kBcd;
                f.sizeByte = static_cast<uint8_t>(d.units2);
                break;
            case fldtype::kBytes:
                if (d.units1 < 1 || d.units1 > 255) bad(where + ": bytes size must be 1 to 255");
                f.type = pxt::kBytes;
                f.sizeByte = static_cast<uint8_t>(d.units1);
                break;
            case fldtype::kTime:
                f.type = pxt::kTime;
                f.sizeByte = 4;
                break;
            case fldtype::kTimestamp:
                f.type = pxt::kTimestamp;
                f.sizeByte = 8;
                break;
            case fldtype::kBlob: {
                switch (d.subType) {
                    case fldsub::kBinary:
                    case fldsub::kTypedBinary:
                        f.type = pxt::kBinary;
                        break;
                    case fldsub::kFormattedMemo:
                        f.type = pxt::kFmtMemo;
                        break;
                    case fldsub::kOle:
                    case fldsub::kDbaseOle:
                        f.type = pxt::kOle;
                        break;
                    case fldsub::kGraphic:
                        f.type = pxt::kGraphic;
                        break;
                    default:
                        f.type = pxt::kMemo;
                        break;
                }
                uint32_t leader = d.units1;
                if (f.type == pxt::kMemo && leader == 0) leader = 10;  // a memo keeps at least one byte
                if (leader > 240) bad(where + ": a BLOB keeps at most 240 bytes in the record");
                f.sizeByte = static_cast<uint8_t>(leader + kBlobDescriptor);
                break;
            }
            default:
                bad(where + ": type " + std::to_string(d.type) + " cannot be stored in a Paradox table");
        }
        if (k < keyFields && IsBlobType(f.type)) bad(where + ": a BLOB field cannot be part of the key");
        f.length = StoredLength(f.type, f.sizeByte);
        f.offset = offset;
        offset += f.length;
        level = std::max(level, LevelForType(f.type));
        h.fields.push_back(std::move(f));
        h.fieldNumbers.push_back(static_cast<uint16_t>(k + 1));
    }
    if (offset > 0xFFFF - kBlockHeader) bad("records would be too long");
    if (options.level) {
        if (options.level != 3 && options.level != 4 && options.level != 5 && options.level != 7)
            bad("table level must be 3, 4, 5 or 7");
        if (options.level < level) bad("the field types or the code page need table level " + std::to_string(level));
        level = options.level;
    }
    h.recordSize = static_cast<uint16_t>(offset);
    h.versionByte = VersionByteForLevel(level);
    // Block size: 4 KiB holds several records of most tables; longer records get larger
    // blocks where the level allows them.
    const uint32_t keyBytes = h.KeyLength() + 6;
    for (uint8_t code : {4, 8, 16, 32}) {
        if (code > 4 && level < 5) break;
        h.blockCode = code;
        if (h.RecordsPerBlock() >= 3 && keyBytes * 3 <= h.BlockSize()) break;
    }
    if (h.recordSize + kBlockHeader > h.BlockSize())
        bad("records of " + std::to_string(h.recordSize) + " bytes do not fit a block");
    h.sortOrder = drv->sortOrder;
    if (h.HasSecondPart()) {
        h.codePageWord = static_cast<uint16_t>(drv->codePage);
        h.sortOrderId = drv->id;
    }
    // The name the table will have: a table built under a temporary name records its final one.
    const std::string ownName = fs::path(options.finalPath.empty() ? path_ : options.finalPath).filename().string();
    if (!conv_->FromUtf8(ownName, h.rawTableName)) h.rawTableName = "table";
    // Header size: the used bytes rounded up to 2 KiB.
    size_t used =
        (h.HasSecondPart() ? 0x78 : 0x58) + 8 * h.fields.size() + 4 + h.NameAreaSize() + h.sortOrderId.size() + 1;
    for (const auto& f : h.fields) used += f.rawName.size() + 1;
    const size_t hs = (used + 0x7FF) / 0x800 * 0x800;
    if (hs > 0xF800) bad("the header would be too large");
    h.headerSize = static_cast<uint16_t>(hs);

    // Replace the table and every companion of the old one.
    RemoveTableFamily(path_, ParadoxDriver());
    LockedFile f;
    f.Create(path_);
    f.WriteAt(0, BuildDbHeader(h));
    f.Close();
    bool anyBlob = false;
    for (const auto& fld : h.fields) anyBlob = anyBlob || IsBlobType(fld.type);
    if (anyBlob) {
        BlobFile mb;
        mb.Create(CompanionPath(path_, ".MB"));
        mb.Close();
    }
    if (keyFields) {
        PxIndexHeader ih;
        LockedFile px;
        px.Create(CompanionPath(path_, ".PX"));
        px.WriteAt(0, BuildPxHeader(h, ih));
        px.Close();
    }
    OpenFiles();
}

// --- entry points ----------------------------------------------------------------------------

std::unique_ptr<Table> OpenParadoxTable(const std::string& path, OpenMode mode) {
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
