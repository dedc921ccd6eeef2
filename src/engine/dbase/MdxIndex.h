#pragma once

// The production index of a dBASE table (NAME.MDX): a directory of up to 47 tags, each a tree
// of 1024-byte blocks whose leaves hold one key and one record number per table record.
// Page numbers in the file count 512-byte pages; the directory fills pages 0-3.
//
// Keys: character tags hold the field bytes as stored (a sum of character fields: the bytes
// one after the other); numeric tags a 12-byte decimal (exponent byte, sign and digit count,
// then two digits per byte); date tags the Julian day number as a little-endian double.
// Interior nodes hold, for each child but the last, the highest key below it, and the last
// child after the entries; a leaf has 0 there. Deleted records keep their entries until the
// table is packed, as dBASE does.
//
// No I/O here: the table class reads and writes the bytes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dbase/DbfHeader.h"

namespace tessel::engine::dbase {

constexpr uint32_t kMdxPageSize = 512;
constexpr uint32_t kMdxBlockSize = 1024;
constexpr size_t kMdxMaxTags = 47;
constexpr uint16_t kMdxMaxCharKey = 100;
constexpr uint16_t kMdxNumericKey = 12;
constexpr uint16_t kMdxDateKey = 8;
// Julian day number of the day before 0001-01-01 (day number 1 in Value).
constexpr int64_t kMdxJulianOffset = 1721425;

struct MdxTag {
    std::string name;        // as stored: code page bytes, upper case, at most 10
    std::string expression;  // as stored
    char keyType = 'C';      // 'C', 'N' or 'D'
    uint16_t keyLength = 0;
    uint16_t entryLength = 0;
    bool unique = false;  // one entry per key value (the first record that has it)
    bool descending = false;
    bool filtered = false;  // a FOR condition limits the records
    uint32_t headerPage = 0;
    uint32_t rootPage = 0;
    // The table fields (indexes into DbfHeader::fields) that form the key, when the expression
    // is one Tessel computes: a field, or character fields joined by "+". Empty otherwise.
    std::vector<size_t> fields;
};

// One tag's entries: keyLength bytes per key back to back, and the record numbers (from 1).
struct MdxEntries {
    std::string keys;
    std::vector<uint32_t> recNos;
    size_t Size() const { return recNos.size(); }
};

// Reads the tag directory of a whole .MDX file. Raises EngineError kCorruptFile naming
// `path` when a declared size or page does not hold.
std::vector<MdxTag> ParseMdx(std::string_view file, const std::string& path);

// Finds the fields of a tag's expression in the table. Returns "" when Tessel can compute the
// tag's keys (and sets tag.fields), else the reason it cannot.
std::string ResolveMdxTag(MdxTag& tag, const DbfHeader& table);

// The entry length and key length a key type and length give (entry: key + 4, rounded up to
// four bytes); the most keys one block holds.
uint16_t MdxEntryLength(uint16_t keyLength);
uint32_t MdxKeysPerBlock(uint16_t entryLength);

// The key of a raw record (deletion mark at byte 0) for a resolved tag.
void MakeMdxKey(const MdxTag& tag, const DbfHeader& table, const char* record, char* key);

// Orders two keys of the given type: negative, 0, positive.
int CompareMdxKeys(char keyType, const char* a, const char* b, size_t length);

// Numeric keys: from the text of an N or F field (blank or unreadable text: 0), and back to
// a double.
void EncodeMdxNumber(std::string_view text, char* key);
double MdxNumberValue(const char* key);
// Date keys: the Julian day number as a double.
double MdxDateValue(const char* key);

// Sorts entries into key order (equal keys by record number); a unique tag keeps the first
// record of each key.
void SortMdxEntries(const MdxTag& tag, MdxEntries& entries);

// A production index held in memory as the bytes of its file. Tags are searched and changed
// in place; a change touches the leaf it lands in (a full leaf splits into a new block at the
// end of the file) and, when the change is finished, the tag's interior nodes, which are laid
// out again over the leaves. Only the blocks that changed are written back.
class MdxFile {
public:
    MdxFile() = default;

    // Reads a whole file: the directory, then every tag's tree (which blocks are leaves, in
    // key order). Raises EngineError kCorruptFile naming `path`.
    static MdxFile Read(std::string bytes, const std::string& path);
    // A new file for these tags over their entries (each sorted by SortMdxEntries). Assigns each
    // tag its header and root page. `tableName`: the table's file name without extension, as
    // stored (upper case); `today`: year - 1900, month, day.
    static MdxFile Build(std::vector<MdxTag> tags, const std::vector<MdxEntries>& entries, std::string_view tableName,
                         const uint8_t today[3]);

    const std::vector<MdxTag>& Tags() const { return tags_; }
    std::vector<MdxTag>& Tags() { return tags_; }
    const std::string& Bytes() const { return bytes_; }
    size_t EntryCount(size_t tag) const { return trees_[tag].count; }
    // Whether the tag's keys follow Tessel's order (another program may sort by a language
    // driver's collation). Worked out once per tag.
    bool InKeyOrder(size_t tag);
    // Whether no record number appears twice in the tag and none lies beyond its entry count,
    // as in a tag that holds every record once. Worked out once per tag.
    bool EachRecordOnce(size_t tag);
    // Whether the file says its character keys are in byte order (Tessel built it). Another
    // program's file may order them by the language driver's collation, which Tessel does not
    // know: such tags are searched only when their keys are found in byte order, and not kept.
    bool CharactersInByteOrder() const;
    // Every entry of a tag in key order.
    MdxEntries Entries(size_t tag) const;

    // A place among a tag's entries: leaf (in key order) and entry in it.
    struct Position {
        size_t leaf = 0;
        uint32_t entry = 0;
    };
    // The first entry whose key is not before the bound: `before(key)` is true for the keys
    // before it (a prefix of the tag's entries).
    template <class Before>
    Position Find(size_t tag, Before before) const;
    // The entry at `at` and a step on; false at the end.
    bool Next(size_t tag, Position& at, const char*& key, uint32_t& recNo) const;

    // A new entry, after the entries with smaller keys and equal keys of smaller records.
    void Insert(size_t tag, const char* key, uint32_t recNo);
    // Removes the entry of this key and record; false when there is none.
    bool Remove(size_t tag, const char* key, uint32_t recNo);
    bool Contains(size_t tag, const char* key) const;

    // Lays out the interior nodes of the tags that changed and updates the headers. Returns
    // the byte ranges (offset, length) of the file that differ from what was last written.
    std::vector<std::pair<uint64_t, size_t>> TakeChanges(const uint8_t today[3]);

private:
    struct Tree {
        std::vector<uint32_t> leaves;  // pages of the leaves, in key order
        std::vector<uint32_t> inner;   // pages of the interior nodes
        size_t count = 0;
        int inOrder = 0;      // 0 not known, 1 yes, -1 no
        int recordsOnce = 0;  // likewise
        bool changed = false;
    };
    char* Node(uint32_t page) { return bytes_.data() + size_t{page} * kMdxPageSize; }
    const char* Node(uint32_t page) const { return bytes_.data() + size_t{page} * kMdxPageSize; }
    uint32_t NewBlock();
    void Touch(uint32_t page);
    void LayOut(size_t tag);
    // The leaf an entry (key, recNo) belongs in: the first whose last entry is not before it.
    size_t LeafFor(size_t tag, const char* key, uint32_t recNo) const;

    std::vector<MdxTag> tags_;
    std::vector<Tree> trees_;
    std::string bytes_;
    std::vector<uint32_t> spare_;    // blocks no tree uses any more
    std::vector<uint32_t> touched_;  // first pages of changed blocks
    bool wholeFile_ = false;         // everything is to be written
};

template <class Before>
MdxFile::Position MdxFile::Find(size_t tag, Before before) const {
    const Tree& tree = trees_[tag];
    const MdxTag& t = tags_[tag];
    // Leaves are never empty unless the tag is: the last key of each leaf orders them.
    size_t a = 0, b = tree.leaves.size();
    auto count = [&](uint32_t page) {
        const auto* u = reinterpret_cast<const unsigned char*>(Node(page));
        return uint32_t{u[0]} | uint32_t{u[1]} << 8 | uint32_t{u[2]} << 16 | uint32_t{u[3]} << 24;
    };
    while (a < b) {
        const size_t m = a + (b - a) / 2;
        const uint32_t n = count(tree.leaves[m]);
        if (n > 0 && before(Node(tree.leaves[m]) + 8 + size_t{n - 1} * t.entryLength + 4))
            a = m + 1;
        else
            b = m;
    }
    Position p{a, 0};
    if (a < tree.leaves.size()) {
        uint32_t lo = 0, hi = count(tree.leaves[a]);
        while (lo < hi) {
            const uint32_t m = lo + (hi - lo) / 2;
            if (before(Node(tree.leaves[a]) + 8 + size_t{m} * t.entryLength + 4))
                lo = m + 1;
            else
                hi = m;
        }
        p.entry = lo;
    }
    return p;
}

}  // namespace tessel::engine::dbase
