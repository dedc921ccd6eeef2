#pragma once

// The header of a .DBF file: versions, fields, memo layouts.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/Field.h"

namespace tessel::engine::dbase {

// Which memo file layout a table's memo-like fields point into.
enum class MemoKind : uint8_t {
    None,
    Dbt3,   // .DBT, 512-byte blocks, data ends at 1A 1A
    Dbt4,   // .DBT, block size in the header, each memo has a length
    Fpt,    // .FPT (FoxPro), big-endian
    Probe,  // a memo field in a table whose version byte names no memo file: look at the file
};

// How one field's bytes are decoded.
enum class FieldKind : uint8_t {
    Char,         // C
    Number,       // N, F: ASCII number
    Date,         // D: YYYYMMDD
    Logical,      // L
    Memo10,       // M, B (dBASE), G, P: block number as 10 ASCII digits
    Memo4,        // the same as a 32-bit little-endian block number (Visual FoxPro)
    Long7,        // I at level 7: big-endian, sign bit flipped
    AutoInc7,     // + at level 7
    Double7,      // O at level 7: order-preserving big-endian double
    Timestamp7,   // @ at level 7: big-endian double of milliseconds
    FoxInt,       // I (FoxPro): little-endian int32
    FoxDouble,    // B (FoxPro): little-endian double
    FoxCurrency,  // Y: little-endian int64 / 10'000
    FoxDateTime,  // T: Julian day + milliseconds, little-endian
    NullFlags,    // 0: Visual FoxPro's hidden null bits
    Raw,          // a type Tessel does not decode: the bytes as they are
};

struct DbfField {
    std::string name;  // as stored (ASCII in practice), without padding
    char type = 'C';
    uint32_t width = 0;  // bytes in the record
    uint8_t decimals = 0;
    uint32_t offset = 0;  // inside the record; the deletion mark is byte 0
    FieldKind kind = FieldKind::Raw;
    bool binaryBlob = false;   // memo-like field holding bytes rather than text
    uint8_t flags = 0;         // Visual FoxPro field flags (0x02 nullable)
    int nullBit = -1;          // bit in the null flags, -1 when not nullable
    uint32_t autoIncNext = 0;  // level 7 '+': next value (descriptor bytes 40-43)
};

// What a table header says, after checking it against itself and against the file size.
struct DbfHeader {
    uint8_t version = 0;
    bool foxPro = false;
    bool visualFoxPro = false;
    bool level7 = false;
    int level = 3;
    uint8_t year = 0, month = 0, day = 0;  // last update bytes as stored
    uint32_t recordCount = 0;              // as declared (0 with data present is corrected)
    uint16_t headerLength = 0;
    uint16_t recordLength = 0;
    uint8_t transactionFlag = 0;
    uint8_t mdxFlag = 0;
    uint8_t languageDriverId = 0;
    std::string languageDriverName;  // level 7: as stored (bytes 32-63)
    MemoKind memoKind = MemoKind::None;
    std::vector<DbfField> fields;  // all descriptors, hidden ones included
    int nullFlagsField = -1;       // index into fields, or -1
    bool hasMemoFields = false;

    size_t DescriptorStart() const { return level7 ? 68 : 32; }
    size_t DescriptorSize() const { return level7 ? 48 : 32; }
};

// Parses and checks a header. `bytes` holds the start of the file (at least the header length
// when the file is that long); `fileSize` is the whole file's size. Raises EngineError
// (kCorruptFile / kNotSupported) naming `path` when a declared size does not hold.
// Sizes are checked before anything is allocated from them.
DbfHeader ParseDbfHeader(std::string_view bytes, uint64_t fileSize, const std::string& path);

// The length the fixed part needs to know the header length (and to read the first byte).
constexpr size_t kDbfFixedHeader = 32;

// The engine's descriptor (type, subtype, units) for a dBASE or FoxPro field.
FieldDesc DescribeField(const DbfField& field, const DbfHeader& header);

// "DBASE" or "FOXPRO".
const char* TableTypeName(const DbfHeader& header);

}  // namespace tessel::engine::dbase
