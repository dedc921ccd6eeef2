#pragma once

// Secondary indexes of keyed Paradox tables: the pair of files that holds one.
//
// The data file (.Xnn for a single-field index, .XGn for a composite or named one) is itself a
// keyed table: one record per table record holding the indexed fields, then the table's key
// fields (again, when some of them are indexed too), then a two-byte "Hint" with the number of the table block the
// record lives in. All fields but the hint form its key, so equal index values are ordered by the table key. The tree
// file (.Ynn / .YGn) indexes the data file's blocks the way a .PX indexes a table's.
//
// No I/O here: the table class hands in the raw records and writes the bytes out.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/paradox/PxFormat.h"

namespace tessel::engine::paradox {

// File types of the pair.
constexpr uint8_t kFileSingleIndex = 3;  // single field, not maintained
constexpr uint8_t kFileSingleTree = 4;
constexpr uint8_t kFileSingleIndexKept = 5;  // single field, maintained
constexpr uint8_t kFileCompositeIndex = 6;   // composite, not maintained
constexpr uint8_t kFileCompositeTree = 7;
constexpr uint8_t kFileCompositeIndexKept = 8;  // composite, maintained

// Header byte 0x55 of a level-7 data file.
constexpr uint8_t kIndexFlagAscending = 0x01;
constexpr uint8_t kIndexFlagDescending = 0x10;
constexpr uint8_t kIndexFlagUnique = 0x20;

struct SecondaryIndex {
    bool composite = false;        // an .XGn/.YGn pair (carries a name)
    int number = 0;                // single: the field's number (from 1); composite: 0..15
    std::string rawName;           // composite: the stored name, in the table's code page
    std::vector<uint16_t> fields;  // positions of the indexed fields in the table, from 0
    bool unique = false;
    bool descending = false;
    bool maintained = true;
    std::string dataPath, treePath;  // set by the table class
};

// The file extensions of an index: ".X0A" / ".Y0A" for field 10, ".XG2" / ".YG2" for the
// third composite index. Upper case.
std::string IndexExtension(const SecondaryIndex& ix, bool tree);
// Reads an index extension back: true with `composite` and `number` when `ext` (any case,
// with its dot) names an index data file.
bool ParseIndexExtension(std::string_view ext, bool& composite, int& number);

// Refuses an index the files cannot hold faithfully or the table does not allow. Raises
// EngineError (kNotSupported or kInvalidParameter) with the reason.
void CheckIndexDefinition(const PxHeader& table, const SecondaryIndex& ix, const std::string& tablePath);

// Bytes of one record of the index's data file.
uint32_t IndexRecordSize(const PxHeader& table, const SecondaryIndex& ix);
// Appends the data-file record of table record `rec`, which lives in table block `block`.
void AppendIndexRecord(const PxHeader& table, const SecondaryIndex& ix, const uint8_t* rec, uint16_t block,
                       std::string& out);

// Both files of an index over `records` (IndexRecordSize bytes each, in any order).
// A unique index over equal values raises EngineError kKeyViolation.
struct SecondaryIndexFiles {
    std::string data, tree;
    uint32_t records = 0;
    // `data` is the header (headerSize bytes), then the data blocks from the one at file
    // offset `blocksAt` to the end of the file, which is `dataSize` bytes long. Unless the
    // blocks were asked for from a later record on, `blocksAt` is headerSize: `data` is all of it.
    uint64_t headerSize = 0, blocksAt = 0, dataSize = 0;
};
SecondaryIndexFiles BuildIndexFiles(const PxHeader& table, const SecondaryIndex& ix, std::string records,
                                    const std::string& tablePath);
// The same in two steps: `records` put in key order (the order of the data file), then both
// files over records already in that order. Together they write what BuildIndexFiles writes.
std::string SortIndexRecords(const PxHeader& table, const SecondaryIndex& ix, std::string records,
                             const std::string& tablePath);
// `fromRecord`: the data blocks before the one that holds this record are left out (they are
// the same as in the file written before, which the header and the tree replace).
SecondaryIndexFiles IndexFilesFromSorted(const PxHeader& table, const SecondaryIndex& ix, std::string_view sorted,
                                         const std::string& tablePath, size_t fromRecord = 0);
// Bytes of the indexed fields at the start of each index record; the table key and the hint
// follow them.
uint32_t IndexedBytes(const PxHeader& table, const SecondaryIndex& ix);

// Reads a data file's header (`bytes`: at least its header) and checks it against the table.
// Raises EngineError kCorruptFile when the file does not describe an index of this table.
SecondaryIndex ParseIndexHeader(std::string_view bytes, uint64_t fileSize, const PxHeader& table,
                                const std::string& path);

// The header of the index's data file as a table header (fields, key, block size).
PxHeader IndexDataHeader(const PxHeader& table, const SecondaryIndex& ix);

// A tree file (.PX or .Ynn) over data blocks with these first keys and record counts, in
// chain order. `keyed` describes the indexed file: its first keyFields fields are the key.
// `what` names the index in the error raised when the tree would need too many blocks.
std::string BuildTreeFile(const PxHeader& keyed, const std::vector<std::string>& firstKeys,
                          const std::vector<uint16_t>& blocks, const std::vector<uint32_t>& counts, uint8_t fileType,
                          const std::string& what);

}  // namespace tessel::engine::paradox
