#pragma once

// The dBASE table class (internal to the driver).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/codepage/CodePage.h"
#include "engine/dbase/Dbase.h"
#include "engine/dbase/DbfHeader.h"
#include "engine/dbase/MdxIndex.h"
#include "engine/dbase/MemoFile.h"
#include "engine/storage/LockedFile.h"
#include "engine/storage/Table.h"

namespace tessel::engine::dbase {

// A dBASE (levels 3, 4, 5, 7) or FoxPro table (.DBF with its .DBT/.FPT). FoxPro tables are
// read-only. Text is converted between the language driver's code page and UTF-8 here.
//
// What Tessel assumes about quirky files: a missing or 0x00 header terminator and bytes
// between the terminator and the first record are accepted (records start at the header
// length); a language driver byte of 0 or one Tessel does not know means Windows-1252; a record
// count of 0 with records present counts the records in the file; the header date is not
// checked; deletion marks other than '*' mean "live". A table whose header declares more
// records than the file holds opens, and reading fails at the first record that is missing.
// A production index (.MDX) is kept current: every change rewrites it once the write call (or
// the caller's lock) ends. A table whose index Tessel cannot keep current (a tag over an
// expression Tessel does not compute, a FOR condition, a descending tag, keys in another
// order than Tessel's, a damaged file) is read-only, so the index other programs trust never
// stops matching the records. A header that claims an index that does not exist loses the
// claim on the first write.
class DbfTable final : public Table {
public:
    // `undeclaredCodePage`: the code page of a table whose files name none, instead of what the
    // folder or the run says (a copy made here knows what it wrote); 0 = theirs.
    static std::unique_ptr<DbfTable> Open(const std::string& path, OpenMode mode, int undeclaredCodePage = 0);
    ~DbfTable() override;

    const StorageDriver& Driver() const override { return DbaseDriver(); }
    const std::string& FileName() const override { return path_; }
    const TableProperties& Properties() const override { return props_; }
    const std::vector<FieldDesc>& Fields() const override { return fields_; }
    bool IsReadOnly() const override { return readOnly_; }
    uint32_t RecordCount() const override { return recordCount_; }
    void Refresh() override;
    bool ReadRecord(uint32_t recNo, Record& out, const std::vector<bool>* columns = nullptr) override;
    uint32_t AppendRecord(const Record& values) override;
    uint32_t UpdateRecord(uint32_t recNo, const Record& values) override;
    void DeleteRecord(uint32_t recNo) override;
    void Pack() override;
    uint32_t RecordSize() const override { return header_.recordLength; }
    void ReadRawRecord(uint32_t recNo, std::string& out) override;
    void WriteRawRecord(uint32_t recNo, std::string_view bytes) override;
    // The tags of the production index (.MDX) when the header says there is one.
    std::vector<IndexDesc> Indexes() override { return indexes_; }
    bool CanSeekIndex(size_t field) override { return SeekableTag(field) >= 0; }
    bool SeekIndex(size_t field, const Value* lo, const Value* hi, std::vector<uint32_t>& recNos) override;
    std::vector<ValCheckDesc> ValidityChecks() override { return {}; }
    void Lock(LockMode mode) override { file_.Lock(mode); }
    // Writes the appends kept back under the held lock before letting it go.
    void Unlock() override;
    void Close() override;
    void Abandon() noexcept override;
    // Exact numbers with more digits than their field declares keep them where the width
    // holds them, instead of being rounded (a copy of another writer's table).
    void KeepNumberDigits(bool keep) { keepDigits_ = keep; }

    const DbfHeader& Header() const { return header_; }
    const std::string& IndexFileName() const { return mdx_.path; }

    // Tags of the production index: a new tag over one field (character, number or date) or
    // over character fields joined, and dropping one (the last one takes the file with it).
    void CreateIndex(const std::string& name, const std::vector<std::string>& fields, bool unique,
                     bool descending) override;
    bool DropIndex(const std::string& name) override;
    const std::string& MemoFileName() const { return memo_.Path(); }

private:
    DbfTable() = default;
    struct PendingBlob {
        size_t field;  // index into header_.fields
        std::string data;
    };

    void Load(const std::string& path, OpenMode mode, int undeclaredCodePage);
    void EnsureFresh();  // re-reads the count (and counters) unless known under the held lock
    void ReadCountLocked();
    const char* RecordBytes(uint32_t recNo);
    void DecodeField(const char* rec, const DbfField& f, Value& out);
    void DecodeMemo(const char* rec, const DbfField& f, Value& out);
    void EncodeRecord(const Record& values, std::string& rec, std::vector<PendingBlob>& blobs);
    void EncodeField(const DbfField& f, const FieldDesc& desc, const Value& v, char* dst,
                     std::vector<PendingBlob>& blobs);
    uint64_t MemoPointer(const char* rec, const DbfField& f) const;
    void WriteBlobs(std::string& rec, std::vector<PendingBlob>& blobs, const std::string* oldRec);
    void WriteHeaderUpdate(uint32_t count);
    void FlushAppends();
    void RequireWritable();
    void CheckSlot(uint32_t recNo) const;
    [[noreturn]] void FieldError(const DbfField& f, const std::string& what, int code) const;

    void LoadIndexFile();     // the tag directory, at open and when another program changed it
    void ListIndexes();       // indexes_ and the index count from the tags
    void RequireIndexKept();  // every tag computable and in Tessel's key order
    // A record changed (appended: no old bytes): its entries move in the loaded tags.
    void NoteIndexChange(uint32_t slot, const char* oldRecord, const char* newRecord);
    void AfterWrite(bool callerHolds);
    void WriteIndexFile();    // the blocks that changed, or all of it built from the records
    void RebuildIndexFile();  // from the records
    void RebuildIndexFile(const std::vector<MdxTag>& tags);
    void WriteIndexFlags();  // the header's claim of a production index and the field flags
    int SeekableTag(size_t field) const;

    std::string path_;
    LockedFile file_;
    MemoFile memo_;
    DbfHeader header_;
    TableProperties props_;
    std::vector<FieldDesc> fields_;
    std::vector<size_t> fieldMap_;  // reported field -> header_.fields index
    std::unique_ptr<codepage::CodePageConverter> conv_;
    bool readOnly_ = true;
    // The production index, when the header claims one.
    struct IndexFile {
        std::string path;  // empty: none (a claim without a file is cleared on write)
        MdxFile file;
        std::string damaged;           // why the file cannot be read, else empty
        std::string notKept;           // why Tessel cannot keep the tags current, else empty
        bool checked = false;          // every tag was found computable and in Tessel's key order
        std::string stamp;             // the file's identity when it was read or written
        uint64_t stampGeneration = 0;  // the table lock's generation it was last compared under
        uint64_t keptGeneration = 0;   // likewise, before a write (and found writable)
        bool dirty = false;            // the records changed since the file was written
        bool full = true;              // the tags in memory do not follow the records: build afresh
    } mdx_;
    std::vector<IndexDesc> indexes_;
    uint32_t recordCount_ = 0;
    uint64_t freshGeneration_ = 0;

    // A block of raw records read in one go.
    std::string chunk_;
    uint32_t chunkFirst_ = 0;
    uint32_t chunkCount_ = 0;

    // Appends made while the caller holds the exclusive lock are kept here and written in
    // large pieces: the records (and the end mark) first, the header's count after them, so
    // the file never counts records it does not hold. Every other access writes them first.
    std::string pending_;
    uint32_t pendingFirst_ = 0;
    uint32_t pendingCount_ = 0;

    std::string scratch_;
    std::string encoded_;
    bool keepDigits_ = false;
    std::string oldRecord_;
    std::vector<PendingBlob> blobs_;
};

// The layout a new dBASE table gets for the given field definitions.
struct DbfPlan {
    int level = 3;
    uint8_t version = 0x03;
    uint8_t languageDriverId = 0x03;
    std::string languageDriverName;  // level 7 only
    int codePage = 1252;
    std::string codePageFile;  // the text of the .cpg companion to write; empty: none
    MemoKind memoKind = MemoKind::None;
    std::vector<DbfField> fields;
};

// Maps engine field definitions to dBASE fields at the lowest level that holds them (or the
// level asked for): CHAR(n) C, numbers N (F when asked for by an 'F' hint), SMALLINT N(6,0),
// INTEGER N(11,0) (I at level 7), MONEY N(20,4) (N(19,4) at level 3), DATE D, BOOLEAN L,
// memos M, binary and graphic B and OLE G (level 5), TIMESTAMP @ and AUTOINC + (level 7).
// TIME, BYTES and unknown types are refused with "Invalid field type".
DbfPlan PlanDbfTable(const std::vector<FieldDesc>& fields, const CreateOptions& options);

// Creates a table, replacing any table of that name together with its companion files (memo,
// indexes). The files are written under temporary names in the same directory and renamed
// into place, so a failure leaves the old table as it was. `fill`, when given, appends the
// records to the new table before it is put in place. Returns the new table, open for writing.
std::unique_ptr<DbfTable> CreateDbfTable(const std::string& path, const std::vector<FieldDesc>& fields,
                                         const CreateOptions& options = {},
                                         const std::function<void(Table&)>& fill = {});

}  // namespace tessel::engine::dbase
