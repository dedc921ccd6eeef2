// Reading and describing the header of a .DBF file.

#include "engine/dbase/DbfHeader.h"

#include <cstring>

#include "base/EngineError.h"

namespace tessel::engine::dbase {

namespace {

[[noreturn]] void Corrupt(const std::string& path, const std::string& why) {
    throw EngineError("Corrupt table \"" + path + "\": " + why, errc::kCorruptFile);
}

uint16_t U16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}

uint32_t U32(std::string_view b, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24);
}

std::string Hex2(uint8_t v) {
    static const char kHex[] = "0123456789ABCDEF";
    return std::string("0x") + kHex[v >> 4] + kHex[v & 15];
}

// Text up to the first NUL, without trailing blanks.
std::string NameFrom(std::string_view raw) {
    size_t n = 0;
    while (n < raw.size() && raw[n] != '\0') ++n;
    while (n > 0 && raw[n - 1] == ' ') --n;
    return std::string(raw.substr(0, n));
}

struct VersionInfo {
    uint8_t byte;
    bool foxPro;
    bool visualFoxPro;
    bool level7;
    MemoKind memo;
};

// Every version byte Tessel reads. 0x02 (dBASE II / FoxBASE) has another header layout.
const VersionInfo kVersions[] = {
    {0x03, false, false, false, MemoKind::None}, {0x04, false, false, true, MemoKind::None},
    {0x05, false, false, false, MemoKind::None}, {0x30, true, true, false, MemoKind::Fpt},
    {0x31, true, true, false, MemoKind::Fpt},    {0x32, true, true, false, MemoKind::Fpt},
    {0x43, false, false, false, MemoKind::None}, {0x63, false, false, false, MemoKind::None},
    {0x7B, false, false, false, MemoKind::Dbt4}, {0x83, false, false, false, MemoKind::Dbt3},
    {0x8B, false, false, false, MemoKind::Dbt4}, {0x8C, false, false, true, MemoKind::Dbt4},
    {0x8E, false, false, false, MemoKind::Dbt4}, {0xCB, false, false, false, MemoKind::Dbt4},
    {0xF5, true, false, false, MemoKind::Fpt},   {0xFB, true, false, false, MemoKind::Fpt},
};

}  // namespace

DbfHeader ParseDbfHeader(std::string_view bytes, uint64_t fileSize, const std::string& path) {
    if (fileSize < kDbfFixedHeader || bytes.size() < kDbfFixedHeader)
        Corrupt(path, "the file is shorter than a table header (" + std::to_string(fileSize) + " bytes)");
    DbfHeader h;
    h.version = static_cast<uint8_t>(bytes[0]);
    const VersionInfo* info = nullptr;
    for (const auto& v : kVersions)
        if (v.byte == h.version) info = &v;
    if (!info) {
        if (h.version == 0x02)
            throw EngineError("Table \"" + path + "\" is a dBASE II / FoxBASE table, which Tessel does not read",
                              errc::kNotSupported);
        Corrupt(path, "unknown version byte " + Hex2(h.version) + " (not a dBASE table)");
    }
    h.foxPro = info->foxPro;
    h.visualFoxPro = info->visualFoxPro;
    h.level7 = info->level7;
    h.memoKind = info->memo;
    h.year = static_cast<uint8_t>(bytes[1]);
    h.month = static_cast<uint8_t>(bytes[2]);
    h.day = static_cast<uint8_t>(bytes[3]);
    h.recordCount = U32(bytes, 4);
    h.headerLength = U16(bytes, 8);
    h.recordLength = U16(bytes, 10);
    h.transactionFlag = static_cast<uint8_t>(bytes[14]);
    h.mdxFlag = static_cast<uint8_t>(bytes[28]);
    h.languageDriverId = static_cast<uint8_t>(bytes[29]);
    if (bytes[15] != 0)
        throw EngineError("Table \"" + path + "\" is encrypted, which Tessel does not read", errc::kNotSupported);

    const size_t descStart = h.DescriptorStart();
    const size_t descSize = h.DescriptorSize();
    if (h.headerLength < descStart + 1)
        Corrupt(path, "header length " + std::to_string(h.headerLength) + " is too small");
    if (h.headerLength > fileSize)
        Corrupt(path, "header length " + std::to_string(h.headerLength) + " is beyond the end of the file (" +
                          std::to_string(fileSize) + " bytes)");
    if (bytes.size() < h.headerLength) Corrupt(path, "the header is cut off");
    if (h.level7) h.languageDriverName = NameFrom(bytes.substr(32, 32));

    // Descriptors until the terminator, which is 0x0D (some writers leave 0x0A, 0x00 or none),
    // or until the header length leaves no room for a whole one, whichever comes first; the
    // record length below then tells whether the fields found are all there are.
    std::vector<uint32_t> clipperWidths;
    for (size_t pos = descStart;; pos += descSize) {
        if (pos + descSize > h.headerLength) break;
        const uint8_t first = static_cast<uint8_t>(bytes[pos]);
        if (first == 0x0D || first == 0x0A || first == 0x00) break;
        std::string_view d = bytes.substr(pos, descSize);
        DbfField f;
        if (h.level7) {
            f.name = NameFrom(d.substr(0, 32));
            f.type = d[32];
            f.width = static_cast<uint8_t>(d[33]);
            f.decimals = static_cast<uint8_t>(d[34]);
            f.autoIncNext = U32(d, 40);
        } else {
            f.name = NameFrom(d.substr(0, 11));
            f.type = d[11];
            f.width = static_cast<uint8_t>(d[16]);
            f.decimals = static_cast<uint8_t>(d[17]);
            if (h.visualFoxPro) f.flags = static_cast<uint8_t>(d[18]);
        }
        if (f.type >= 'a' && f.type <= 'z') f.type = static_cast<char>(f.type - 32);
        // Clipper and FoxPro keep long character fields by using the decimal byte as the high
        // byte of the width; taken only when the record length agrees (checked below).
        clipperWidths.push_back(f.type == 'C' && f.decimals > 0 ? f.width + 256u * f.decimals : f.width);
        h.fields.push_back(std::move(f));
    }

    uint64_t sum = 1, clipperSum = 1;
    for (size_t k = 0; k < h.fields.size(); ++k) {
        sum += h.fields[k].width;
        clipperSum += clipperWidths[k];
    }
    if (sum != h.recordLength) {
        if (clipperSum == h.recordLength) {
            for (size_t k = 0; k < h.fields.size(); ++k) {
                if (h.fields[k].width != clipperWidths[k]) {
                    h.fields[k].width = clipperWidths[k];
                    h.fields[k].decimals = 0;
                }
            }
        } else {
            Corrupt(path, "the record length " + std::to_string(h.recordLength) +
                              " does not match the fields, whose widths add up to " + std::to_string(sum));
        }
    }

    // Kinds, offsets and the widths each kind needs.
    uint32_t offset = 1;
    int nullBits = 0;
    for (size_t k = 0; k < h.fields.size(); ++k) {
        DbfField& f = h.fields[k];
        f.offset = offset;
        offset += f.width;
        auto need = [&](uint32_t width) {
            if (f.width != width)
                Corrupt(path, "field " + f.name + " of type " + std::string(1, f.type) + " has width " +
                                  std::to_string(f.width) + " instead of " + std::to_string(width));
        };
        if (f.width == 0) Corrupt(path, "field " + f.name + " has width 0");
        switch (f.type) {
            case 'C':
                f.kind = FieldKind::Char;
                break;
            case 'N':
            case 'F':
                f.kind = FieldKind::Number;
                break;
            case 'D':
                need(8);
                f.kind = FieldKind::Date;
                break;
            case 'L':
                need(1);
                f.kind = FieldKind::Logical;
                break;
            case 'M':
            case 'G':
            case 'P':
                if (f.width != 10 && f.width != 4) need(10);
                f.kind = f.width == 4 ? FieldKind::Memo4 : FieldKind::Memo10;
                f.binaryBlob = f.type != 'M';
                h.hasMemoFields = true;
                break;
            case 'B':
                if (h.foxPro) {
                    need(8);
                    f.kind = FieldKind::FoxDouble;
                } else {
                    if (f.width != 10 && f.width != 4) need(10);
                    f.kind = f.width == 4 ? FieldKind::Memo4 : FieldKind::Memo10;
                    f.binaryBlob = true;
                    h.hasMemoFields = true;
                }
                break;
            case 'I':
                need(4);
                f.kind = h.level7 ? FieldKind::Long7 : FieldKind::FoxInt;
                break;
            case '+':
                need(4);
                f.kind = h.level7 ? FieldKind::AutoInc7 : FieldKind::FoxInt;
                break;
            case 'O':
                need(8);
                f.kind = FieldKind::Double7;
                break;
            case '@':
                need(8);
                f.kind = FieldKind::Timestamp7;
                break;
            case 'Y':
                need(8);
                f.kind = FieldKind::FoxCurrency;
                break;
            case 'T':
                need(8);
                f.kind = FieldKind::FoxDateTime;
                break;
            case '0':
                if (h.visualFoxPro && h.nullFlagsField < 0) {
                    f.kind = FieldKind::NullFlags;
                    h.nullFlagsField = static_cast<int>(k);
                } else {
                    f.kind = FieldKind::Raw;
                }
                break;
            default:
                f.kind = FieldKind::Raw;
                break;
        }
        if (h.visualFoxPro && f.kind != FieldKind::NullFlags) {
            // Variable-length fields spend one bit on their length before their null bit.
            if (f.type == 'V' || f.type == 'Q') ++nullBits;
            if (f.flags & 0x02) f.nullBit = nullBits++;
        }
    }
    if (h.nullFlagsField >= 0 &&
        static_cast<uint64_t>(nullBits) > 8ull * h.fields[static_cast<size_t>(h.nullFlagsField)].width)
        Corrupt(path, "the null flags field is too short for the nullable fields");
    if (h.nullFlagsField < 0)
        for (auto& f : h.fields) f.nullBit = -1;

    if (h.hasMemoFields && h.memoKind == MemoKind::None) h.memoKind = MemoKind::Probe;

    // A count of 0 with records present is a known quirk of some writers: count what is there.
    const uint64_t dataBytes = fileSize - h.headerLength;
    if (h.recordCount == 0 && dataBytes >= h.recordLength)
        h.recordCount = static_cast<uint32_t>(dataBytes / h.recordLength);

    // The table level: the file carries none for levels 3 to 5; infer it from what is used.
    bool anyF = false, anyBG = false, anyMdxField = false;
    for (const auto& f : h.fields) {
        anyF = anyF || f.type == 'F';
        anyBG = anyBG || f.type == 'B' || f.type == 'G';
    }
    if (!h.level7)
        for (size_t k = 0; k < h.fields.size(); ++k)
            anyMdxField = anyMdxField || bytes[descStart + k * descSize + 31] != 0;
    if (h.foxPro) {
        h.level = 25;
    } else if (h.level7) {
        h.level = 7;
    } else {
        switch (h.version) {
            case 0x83:
                h.level = 3;
                break;
            case 0x05:
                h.level = 5;
                break;
            case 0x03:
                h.level = (anyF || h.mdxFlag != 0 || anyMdxField) ? 4 : 3;
                break;
            default:
                h.level = anyBG ? 5 : 4;
                break;
        }
    }
    return h;
}

FieldDesc DescribeField(const DbfField& f, const DbfHeader& h) {
    FieldDesc d;
    d.name = f.name;
    d.nativeType = f.type;
    d.offset = f.offset;
    d.length = f.width;
    d.units1 = static_cast<uint16_t>(f.width);
    d.units2 = f.decimals;
    switch (f.kind) {
        case FieldKind::Char:
            d.type = fldtype::kString;
            d.nullable = h.visualFoxPro;
            break;
        case FieldKind::Number:
            d.type = fldtype::kFloat;
            break;
        case FieldKind::Date:
            d.type = fldtype::kDate;
            break;
        case FieldKind::Logical:
            d.type = fldtype::kBool;
            break;
        case FieldKind::Memo10:
        case FieldKind::Memo4:
            d.type = fldtype::kBlob;
            switch (f.type) {
                case 'M':
                    d.subType = fldsub::kMemo;
                    break;
                case 'B':
                    d.subType = fldsub::kBinary;
                    break;
                case 'G':
                    d.subType = h.foxPro ? fldsub::kOle : fldsub::kDbaseOle;
                    break;
                case 'P':
                    d.subType = fldsub::kGraphic;
                    break;
                default:
                    break;
            }
            break;
        case FieldKind::Long7:
        case FieldKind::FoxInt:
            d.type = fldtype::kInt32;
            break;
        case FieldKind::AutoInc7:
            d.type = fldtype::kInt32;
            d.subType = fldsub::kAutoInc;
            d.readOnly = true;
            break;
        case FieldKind::Double7:
        case FieldKind::FoxDouble:
            d.type = fldtype::kFloat;
            break;
        case FieldKind::Timestamp7:
        case FieldKind::FoxDateTime:
            d.type = fldtype::kTimestamp;
            break;
        case FieldKind::FoxCurrency:
            d.type = fldtype::kFloat;
            d.subType = fldsub::kMoney;
            if (d.units2 == 0) d.units2 = 4;
            break;
        case FieldKind::NullFlags:
        case FieldKind::Raw:
            d.type = fldtype::kUnknown;
            break;
    }
    return d;
}

const char* TableTypeName(const DbfHeader& header) {
    return header.foxPro ? "FOXPRO" : "DBASE";
}

}  // namespace tessel::engine::dbase
