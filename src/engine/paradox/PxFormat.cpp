// Paradox headers and field types: parsing and building the bytes.

#include "engine/paradox/PxFormat.h"

#include <algorithm>
#include <ctime>

#include "base/EngineError.h"

namespace tessel::engine::paradox {

uint32_t StoredLength(uint8_t type, uint8_t sizeByte) {
    switch (type) {
        case pxt::kAlpha:
        case pxt::kBytes:
            return sizeByte;  // 0 is refused by the caller
        case pxt::kDate:
        case pxt::kLong:
        case pxt::kTime:
        case pxt::kAutoInc:
            return sizeByte == 4 ? 4 : 0;
        case pxt::kShort:
            return sizeByte == 2 ? 2 : 0;
        case pxt::kCurrency:
        case pxt::kNumber:
        case pxt::kTimestamp:
            return sizeByte == 8 ? 8 : 0;
        case pxt::kLogical:
            return sizeByte == 1 ? 1 : 0;
        case pxt::kMemo:
        case pxt::kBinary:
        case pxt::kFmtMemo:
        case pxt::kOle:
        case pxt::kGraphic:
            return sizeByte >= kBlobDescriptor && sizeByte <= 250 ? sizeByte : 0;
        case pxt::kBcd:
            return sizeByte <= 32 ? kBcdBytes : 0;
        default:
            return 0;
    }
}

int LevelForType(uint8_t type) {
    switch (type) {
        case pxt::kAlpha:
        case pxt::kNumber:
        case pxt::kCurrency:
        case pxt::kDate:
        case pxt::kShort:
            return 3;
        case pxt::kMemo:
        case pxt::kBinary:
        case pxt::kFmtMemo:
        case pxt::kOle:
        case pxt::kGraphic:
            return 4;
        default:
            return 5;
    }
}

char TypeLetter(uint8_t type) {
    switch (type) {
        case pxt::kAlpha:
            return 'A';
        case pxt::kDate:
            return 'D';
        case pxt::kShort:
            return 'S';
        case pxt::kLong:
            return 'I';
        case pxt::kCurrency:
            return '$';
        case pxt::kNumber:
            return 'N';
        case pxt::kLogical:
            return 'L';
        case pxt::kMemo:
            return 'M';
        case pxt::kBinary:
            return 'B';
        case pxt::kFmtMemo:
            return 'F';
        case pxt::kOle:
            return 'O';
        case pxt::kGraphic:
            return 'G';
        case pxt::kTime:
            return 'T';
        case pxt::kTimestamp:
            return '@';
        case pxt::kAutoInc:
            return '+';
        case pxt::kBcd:
            return '#';
        case pxt::kBytes:
            return 'Y';
        default:
            return 0;
    }
}

uint8_t VersionByteForLevel(int level) {
    switch (level) {
        case 3:
            return 0x04;
        case 4:
            return 0x09;
        case 5:
            return 0x0B;
        default:
            return 0x0C;
    }
}

int LevelForVersionByte(uint8_t v) {
    if (v <= 0x04) return 3;
    if (v <= 0x09) return 4;
    if (v <= 0x0B) return 5;
    return 7;
}

uint32_t PxHeader::KeyLength() const {
    uint32_t n = 0;
    for (size_t k = 0; k < keyFields && k < fields.size(); ++k) n += fields[k].length;
    return n;
}

namespace {

[[noreturn]] void Corrupt(const std::string& path, const std::string& what) {
    throw EngineError("\"" + path + "\" is not a valid Paradox table: " + what, errc::kCorruptFile);
}

// Reads a NUL-terminated string from [pos, end); returns false when no NUL comes first.
bool ReadCString(std::string_view bytes, size_t& pos, size_t end, std::string& out) {
    const size_t stop = std::min(end, bytes.size());
    for (size_t k = pos; k < stop; ++k) {
        if (bytes[k] == 0) {
            out.assign(bytes.substr(pos, k - pos));
            pos = k + 1;
            return true;
        }
    }
    return false;
}

}  // namespace

PxHeader ParseDbHeader(std::string_view bytes, uint64_t fileSize, const std::string& path, bool indexData) {
    if (fileSize < 0x58 || bytes.size() < 0x58) Corrupt(path, "the file is too short for a header");
    const auto* b = reinterpret_cast<const uint8_t*>(bytes.data());
    PxHeader h;
    h.recordSize = GetLe16(b + 0x00);
    h.headerSize = GetLe16(b + 0x02);
    h.fileType = b[0x04];
    h.blockCode = b[0x05];
    h.numRecords = GetLe32(b + 0x06);
    h.usedBlocks = GetLe16(b + 0x0A);
    h.fileBlocks = GetLe16(b + 0x0C);
    h.firstBlock = GetLe16(b + 0x0E);
    h.lastBlock = GetLe16(b + 0x10);
    const uint16_t numFields = GetLe16(b + 0x21);
    h.keyFields = GetLe16(b + 0x23);
    const uint32_t encryption1 = GetLe32(b + 0x25);
    h.sortOrder = b[0x29];
    h.versionByte = b[0x39];
    h.autoInc = GetLe32(b + 0x49);
    h.firstFreeBlock = GetLe16(b + 0x4D);

    if (h.versionByte < 3 || h.versionByte > 0x0C)
        Corrupt(path, "unknown table level byte " + std::to_string(h.versionByte));
    if (indexData) {
        if (h.fileType != 3 && h.fileType != 5 && h.fileType != 6 && h.fileType != 8)
            Corrupt(path,
                    "it is not the data file of a secondary index (file type " + std::to_string(h.fileType) + ")");
    } else if (h.fileType != kFileKeyed && h.fileType != kFileUnkeyed)
        throw EngineError("\"" + path + "\" is not a Paradox data table (file type " + std::to_string(h.fileType) + ")",
                          errc::kNotSupported);
    if (h.blockCode < 1 || h.blockCode > 32)
        Corrupt(path, "block size code " + std::to_string(h.blockCode) + " is out of range");
    if (h.headerSize < 0x58 || h.headerSize > fileSize)
        Corrupt(path, "header size " + std::to_string(h.headerSize) + " does not fit the file of " +
                          std::to_string(fileSize) + " bytes");
    if (bytes.size() < h.headerSize) Corrupt(path, "the header is truncated");
    if (numFields == 0 || numFields > 255)
        Corrupt(path, "field count " + std::to_string(numFields) + " is out of range");
    if (h.fileType == kFileKeyed || indexData) {
        if (h.keyFields == 0 || h.keyFields > numFields || h.keyFields > 16)
            Corrupt(path, "key field count " + std::to_string(h.keyFields) + " is out of range");
    } else {
        h.keyFields = 0;
    }

    const bool second = h.HasSecondPart();
    if (second && h.headerSize < 0x78) Corrupt(path, "the header is too short for its level");
    uint32_t encryption = encryption1;
    if (second && encryption1 == kEncryptedMarker) encryption = GetLe32(b + 0x5C);
    if (encryption != 0)
        throw EngineError("\"" + path +
                              "\" is an encrypted (password-protected) Paradox table; "
                              "Tessel cannot read encrypted tables",
                          errc::kNotSupported);
    if (second) h.codePageWord = GetLe16(b + 0x6A);

    size_t pos = second ? 0x78 : 0x58;
    const size_t end = h.headerSize;
    if (pos + 2u * numFields > end) Corrupt(path, "the field list runs past the header");
    uint32_t offset = 0;
    h.fields.resize(numFields);
    for (size_t k = 0; k < numFields; ++k) {
        PxField& f = h.fields[k];
        f.type = b[pos + 2 * k];
        f.sizeByte = b[pos + 2 * k + 1];
        f.length = StoredLength(f.type, f.sizeByte);
        if (f.length == 0)
            Corrupt(path, "field " + std::to_string(k + 1) + " has type " + std::to_string(f.type) + " with size " +
                              std::to_string(f.sizeByte) + ", which is not valid");
        f.offset = offset;
        offset += f.length;
    }
    if (offset != h.recordSize)
        Corrupt(path, "record size " + std::to_string(h.recordSize) + " does not match the fields, which take " +
                          std::to_string(offset) + " bytes");
    if (h.recordSize + kBlockHeader > h.BlockSize())
        Corrupt(path, "records of " + std::to_string(h.recordSize) + " bytes do not fit blocks of " +
                          std::to_string(h.BlockSize()) + " bytes");
    pos += 2u * numFields;
    pos += 4 + 4u * numFields;  // table name pointer, field name pointers
    if (pos + h.NameAreaSize() > end) Corrupt(path, "the table name runs past the header");
    {
        size_t p = pos;
        if (!ReadCString(bytes, p, pos + h.NameAreaSize(), h.rawTableName))
            h.rawTableName.assign(bytes.substr(pos, h.NameAreaSize()));
    }
    pos += h.NameAreaSize();
    for (size_t k = 0; k < numFields; ++k)
        if (!ReadCString(bytes, pos, end, h.fields[k].rawName))
            Corrupt(path, "the name of field " + std::to_string(k + 1) + " runs past the header");
    if (second) {
        if (pos + 2u * numFields > end) Corrupt(path, "the field numbers run past the header");
        h.fieldNumbers.resize(numFields);
        for (size_t k = 0; k < numFields; ++k) h.fieldNumbers[k] = GetLe16(b + pos + 2 * k);
        pos += 2u * numFields;
        // The language driver's name. A header that ends without it is accepted: the sort
        // byte and the code page word still tell the driver.
        if (!ReadCString(bytes, pos, end, h.sortOrderId)) h.sortOrderId.clear();
    }
    return h;
}

std::string BuildDbHeader(const PxHeader& h) {
    std::string out(h.headerSize, '\0');
    auto* b = reinterpret_cast<uint8_t*>(out.data());
    const auto n = static_cast<uint16_t>(h.fields.size());
    PutLe16(b + 0x00, h.recordSize);
    PutLe16(b + 0x02, h.headerSize);
    b[0x04] = h.fileType;
    b[0x05] = h.blockCode;
    PutLe32(b + 0x06, h.numRecords);
    PutLe16(b + 0x0A, h.usedBlocks);
    PutLe16(b + 0x0C, h.fileBlocks);
    PutLe16(b + 0x0E, h.firstBlock);
    PutLe16(b + 0x10, h.lastBlock);
    PutLe16(b + 0x12, h.fileType == kFileKeyed ? 12 : 0);
    PutLe16(b + 0x21, n);
    PutLe16(b + 0x23, h.keyFields);
    const bool second = h.HasSecondPart();
    PutLe32(b + 0x25, second ? kEncryptedMarker : 0);
    b[0x29] = h.sortOrder;
    b[0x2D] = 2;
    b[0x2E] = 1;
    b[0x39] = h.versionByte;
    PutLe16(b + 0x3A, h.fileBlocks);
    b[0x3E] = 0x1F;
    b[0x3F] = 0x0F;
    PutLe32(b + 0x49, h.autoInc);
    PutLe16(b + 0x4D, h.firstFreeBlock);
    b[0x56] = 0x20;

    size_t pos = second ? 0x78 : 0x58;
    for (size_t k = 0; k < n; ++k) {
        b[pos++] = h.fields[k].type;
        b[pos++] = h.fields[k].sizeByte;
    }
    pos += 4 + 4u * n;
    std::memcpy(b + pos, h.rawTableName.data(), std::min<size_t>(h.rawTableName.size(), h.NameAreaSize() - 1));
    pos += h.NameAreaSize();
    for (const auto& f : h.fields) {
        std::memcpy(b + pos, f.rawName.data(), f.rawName.size());
        pos += f.rawName.size() + 1;
    }
    if (second) {
        const size_t numbersAt = pos;
        for (size_t k = 0; k < n; ++k) {
            PutLe16(b + pos, k < h.fieldNumbers.size() ? h.fieldNumbers[k] : static_cast<uint16_t>(k + 1));
            pos += 2;
        }
        std::memcpy(b + pos, h.sortOrderId.data(), h.sortOrderId.size());
        pos += h.sortOrderId.size() + 1;
        PutLe16(b + 0x58, static_cast<uint16_t>(0x0100 + h.versionByte));
        PutLe16(b + 0x5A, static_cast<uint16_t>(0x0100 + h.versionByte));
        PutLe32(b + 0x60, static_cast<uint32_t>(std::time(nullptr)));
        PutLe16(b + 0x64, static_cast<uint16_t>(n + 1));
        PutLe16(b + 0x66, static_cast<uint16_t>(numbersAt - 0x58));
        PutLe16(b + 0x6A, h.codePageWord);
        b[0x6C] = 1;
        b[0x6D] = 1;
    }
    PutLe16(b + 0x51, static_cast<uint16_t>(pos));
    return out;
}

std::string BuildPxHeader(const PxHeader& t, const PxIndexHeader& x) {
    std::string out(kPxHeaderSize, '\0');
    auto* b = reinterpret_cast<uint8_t*>(out.data());
    const uint16_t n = t.keyFields;
    PutLe16(b + 0x00, static_cast<uint16_t>(t.KeyLength() + 6));
    PutLe16(b + 0x02, kPxHeaderSize);
    b[0x04] = kFileIndex;
    b[0x05] = t.blockCode;
    PutLe32(b + 0x06, x.entries);
    PutLe16(b + 0x0A, x.blocks);
    PutLe16(b + 0x0C, x.blocks);
    PutLe16(b + 0x0E, x.blocks ? 1 : 0);
    PutLe16(b + 0x10, x.blocks);
    PutLe16(b + 0x12, 13);  // one more than the table's value, as readers of the pair expect
    PutLe16(b + 0x1E, x.rootBlock);
    b[0x20] = x.levels;
    PutLe16(b + 0x21, n);
    b[0x29] = t.sortOrder;
    b[0x2C] = 102;
    b[0x2D] = 2;
    b[0x2E] = 1;
    b[0x39] = t.versionByte;
    PutLe16(b + 0x3A, x.blocks);
    b[0x3E] = 0x1F;
    b[0x3F] = 0x0F;
    size_t pos = 0x58;
    for (size_t k = 0; k < n; ++k) {
        b[pos++] = t.fields[k].type;
        b[pos++] = t.fields[k].sizeByte;
    }
    pos += 4;
    std::memcpy(b + pos, t.rawTableName.data(), std::min<size_t>(t.rawTableName.size(), t.NameAreaSize() - 1));
    pos += t.NameAreaSize();
    PutLe16(b + 0x51, static_cast<uint16_t>(pos));
    return out;
}

bool DecodeBcd(const uint8_t* p, bool& negative, int& decimals, char digits[32]) {
    if ((p[0] & 0x40) == 0) return false;
    negative = (p[0] & 0x80) == 0;
    decimals = p[0] & 0x3F;
    if (decimals > 32) return false;
    for (int k = 0; k < 32; ++k) {
        int nib = (p[1 + k / 2] >> (k % 2 ? 0 : 4)) & 0x0F;
        if (negative) nib = 15 - nib;
        if (nib > 9) return false;
        digits[k] = static_cast<char>('0' + nib);
    }
    return true;
}

void EncodeBcd(bool negative, int decimals, const char digits[32], uint8_t* p) {
    p[0] = static_cast<uint8_t>((negative ? 0x40 : 0xC0) | (decimals & 0x3F));
    for (int k = 0; k < 16; ++k) {
        int hi = digits[2 * k] - '0';
        int lo = digits[2 * k + 1] - '0';
        if (negative) {
            hi = 15 - hi;
            lo = 15 - lo;
        }
        p[1 + k] = static_cast<uint8_t>((hi << 4) | lo);
    }
}

}  // namespace tessel::engine::paradox
