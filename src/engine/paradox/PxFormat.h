#pragma once

// The byte layout of Paradox table files (.DB header, data blocks, value encodings) and of
// their primary index header (.PX). No I/O here: the table class reads and writes the bytes.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace tessel::engine::paradox {

// Field type codes as stored in the header's field list.
namespace pxt {
constexpr uint8_t kAlpha = 0x01;
constexpr uint8_t kDate = 0x02;
constexpr uint8_t kShort = 0x03;
constexpr uint8_t kLong = 0x04;
constexpr uint8_t kCurrency = 0x05;
constexpr uint8_t kNumber = 0x06;
constexpr uint8_t kLogical = 0x09;
constexpr uint8_t kMemo = 0x0C;
constexpr uint8_t kBinary = 0x0D;
constexpr uint8_t kFmtMemo = 0x0E;
constexpr uint8_t kOle = 0x0F;
constexpr uint8_t kGraphic = 0x10;
constexpr uint8_t kTime = 0x14;
constexpr uint8_t kTimestamp = 0x15;
constexpr uint8_t kAutoInc = 0x16;
constexpr uint8_t kBcd = 0x17;
constexpr uint8_t kBytes = 0x18;
}  // namespace pxt

constexpr uint8_t kFileKeyed = 0;
constexpr uint8_t kFileIndex = 1;
constexpr uint8_t kFileUnkeyed = 2;
constexpr uint32_t kBlockHeader = 6;      // next, prev, addDataSize
constexpr uint32_t kBlobDescriptor = 10;  // offset/index, length, modification number
constexpr uint32_t kBcdBytes = 17;
constexpr uint32_t kEncryptedMarker = 0xFF00FF00u;

inline bool IsBlobType(uint8_t t) {
    return t >= pxt::kMemo && t <= pxt::kGraphic;
}
inline bool IsTextBlob(uint8_t t) {
    return t == pxt::kMemo || t == pxt::kFmtMemo;
}
// Bytes a field takes in a record, from its type and size byte; 0 for an unknown type or a
// size the type does not allow.
uint32_t StoredLength(uint8_t type, uint8_t sizeByte);
// The lowest table level (3, 4, 5) whose files may hold the type.
int LevelForType(uint8_t type);
// The type letter a user knows the field by ('A', 'N', '$', ...), 0 for an unknown code.
char TypeLetter(uint8_t type);

// Version byte at 0x39 for a table level, and back.
uint8_t VersionByteForLevel(int level);
int LevelForVersionByte(uint8_t v);

struct PxField {
    std::string rawName;  // as stored, in the table's code page
    uint8_t type = 0;
    uint8_t sizeByte = 0;
    uint32_t offset = 0;  // inside the record
    uint32_t length = 0;  // bytes inside the record
};

// What a .DB header says, checked against itself (the caller checks the block numbers
// against the file size).
struct PxHeader {
    uint16_t recordSize = 0;
    uint16_t headerSize = 0;
    uint8_t fileType = kFileUnkeyed;
    uint8_t blockCode = 0;
    uint32_t numRecords = 0;
    uint16_t usedBlocks = 0;
    uint16_t fileBlocks = 0;
    uint16_t firstBlock = 0;
    uint16_t lastBlock = 0;
    uint16_t keyFields = 0;
    uint8_t sortOrder = 0;
    uint8_t versionByte = 0;
    uint32_t autoInc = 0;
    uint16_t firstFreeBlock = 0;
    uint16_t codePageWord = 0;  // 0x6A, level 4 and later; 0 otherwise
    std::string sortOrderId;    // level 4 and later; empty otherwise
    std::string rawTableName;
    std::vector<PxField> fields;
    std::vector<uint16_t> fieldNumbers;

    int Level() const { return LevelForVersionByte(versionByte); }
    bool HasSecondPart() const { return versionByte >= 5; }
    uint32_t BlockSize() const { return uint32_t{blockCode} * 1024; }
    uint32_t RecordsPerBlock() const { return (BlockSize() - kBlockHeader) / recordSize; }
    uint32_t KeyLength() const;
    uint32_t NameAreaSize() const { return versionByte >= 0x0C ? 261 : 79; }
};

// Parses and checks a .DB header. `bytes` holds at least the first min(fileSize, headerSize)
// bytes of the file. Raises EngineError naming `path`: kCorruptFile for a header that does
// not hold together, kNotSupported for an encrypted table or a file of another kind. With
// `indexData` the file must be the data file of a secondary index instead (types 3, 5, 6, 8),
// which is read as a keyed table.
PxHeader ParseDbHeader(std::string_view bytes, uint64_t fileSize, const std::string& path, bool indexData = false);

// The whole header (headerSize bytes) of a .DB file for `h`.
std::string BuildDbHeader(const PxHeader& h);

// The header of a primary index over the first `h.keyFields` fields of table `h`.
struct PxIndexHeader {
    uint32_t entries = 0;
    uint16_t blocks = 0;
    uint16_t rootBlock = 0;
    uint8_t levels = 0;
};
std::string BuildPxHeader(const PxHeader& table, const PxIndexHeader& index);
constexpr uint16_t kPxHeaderSize = 0x800;

// Little-endian helpers for header fields.
inline uint16_t GetLe16(const void* p) {
    const auto* b = static_cast<const uint8_t*>(p);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}
inline uint32_t GetLe32(const void* p) {
    const auto* b = static_cast<const uint8_t*>(p);
    return uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
}
inline void PutLe16(void* p, uint16_t v) {
    auto* b = static_cast<uint8_t*>(p);
    b[0] = static_cast<uint8_t>(v);
    b[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(void* p, uint32_t v) {
    auto* b = static_cast<uint8_t*>(p);
    for (int k = 0; k < 4; ++k) b[k] = static_cast<uint8_t>(v >> (8 * k));
}

// Field values: big-endian with the sign bit flipped, so that records compare with memcmp;
// all zero bytes are blank.
inline bool AllZero(const uint8_t* p, size_t n) {
    for (size_t k = 0; k < n; ++k)
        if (p[k]) return false;
    return true;
}
inline int64_t DecodeInt(const uint8_t* p, size_t n) {
    uint64_t u = 0;
    for (size_t k = 0; k < n; ++k) u = (u << 8) | p[k];
    u ^= uint64_t{1} << (8 * n - 1);
    // Sign-extend from n bytes.
    const unsigned shift = static_cast<unsigned>(64 - 8 * n);
    return static_cast<int64_t>(u << shift) >> shift;
}
inline void EncodeInt(int64_t v, uint8_t* p, size_t n) {
    uint64_t u = static_cast<uint64_t>(v);
    for (size_t k = n; k-- > 0;) {
        p[k] = static_cast<uint8_t>(u);
        u >>= 8;
    }
    p[0] ^= 0x80;
}
inline double DecodeDouble(const uint8_t* p) {
    uint64_t u = 0;
    for (int k = 0; k < 8; ++k) u = (u << 8) | p[k];
    if (u & (uint64_t{1} << 63))
        u &= ~(uint64_t{1} << 63);
    else
        u = ~u;
    double d;
    std::memcpy(&d, &u, 8);
    return d;
}
inline void EncodeDouble(double d, uint8_t* p) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    if (u & (uint64_t{1} << 63))
        u = ~u;
    else
        u |= uint64_t{1} << 63;
    for (int k = 7; k >= 0; --k) {
        p[k] = static_cast<uint8_t>(u);
        u >>= 8;
    }
}

// BCD: 32 digits. Returns false for a blank or a value that is not well formed. The digits
// (most significant first, exactly 32) go to `digits` as '0'..'9'.
bool DecodeBcd(const uint8_t* p, bool& negative, int& decimals, char digits[32]);
// `digits`: 32 characters '0'..'9', the last `decimals` being the fraction.
void EncodeBcd(bool negative, int decimals, const char digits[32], uint8_t* p);

}  // namespace tessel::engine::paradox
