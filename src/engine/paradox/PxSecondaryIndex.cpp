// Secondary indexes of Paradox tables: their headers and trees.

#include "engine/paradox/PxSecondaryIndex.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "base/EngineError.h"

namespace tessel::engine::paradox {

namespace {

[[noreturn]] void Fail(const std::string& msg, int code) {
    throw EngineError(msg, code);
}

const char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Bytes of the table's key fields.
uint32_t KeyBytes(const PxHeader& table) {
    return table.KeyLength();
}

}  // namespace

uint32_t IndexedBytes(const PxHeader& table, const SecondaryIndex& ix) {
    uint32_t n = 0;
    for (uint16_t f : ix.fields) n += table.fields[f].length;
    return n;
}

std::string IndexExtension(const SecondaryIndex& ix, bool tree) {
    std::string e = tree ? ".Y" : ".X";
    if (ix.composite) {
        e += 'G';
        e += kHexDigits[ix.number & 0x0F];
    } else {
        e += kHexDigits[(ix.number >> 4) & 0x0F];
        e += kHexDigits[ix.number & 0x0F];
    }
    return e;
}

bool ParseIndexExtension(std::string_view ext, bool& composite, int& number) {
    if (ext.size() != 4 || ext[0] != '.' || (ext[1] != 'X' && ext[1] != 'x')) return false;
    if (ext[2] == 'G' || ext[2] == 'g') {
        const int d = HexValue(ext[3]);
        if (d < 0) return false;
        composite = true;
        number = d;
        return true;
    }
    const int hi = HexValue(ext[2]), lo = HexValue(ext[3]);
    if (hi < 0 || lo < 0 || hi * 16 + lo == 0) return false;
    composite = false;
    number = hi * 16 + lo;
    return true;
}

void CheckIndexDefinition(const PxHeader& table, const SecondaryIndex& ix, const std::string& tablePath) {
    const std::string where = "\"" + tablePath + "\"";
    auto refuse = [&](const std::string& why) {
        Fail("Capability not supported: a secondary index on " + where + " " + why, errc::kNotSupported);
    };
    if (table.keyFields == 0) refuse("needs a primary key; the table has none");
    if (ix.fields.empty()) Fail("An index needs at least one field", errc::kInvalidParameter);
    if (ix.fields.size() > 16) refuse("has at most 16 fields");
    if (ix.fields.size() + table.keyFields > 16)
        refuse("together with the table's key has at most 16 fields; this one would have " +
               std::to_string(ix.fields.size() + table.keyFields));
    if (ix.descending) refuse("cannot be descending: Tessel writes ascending secondary indexes only");
    if (ix.unique && table.Level() < 7) refuse("can be unique only in a level 7 table");
    if (ix.composite && !table.HasSecondPart())
        refuse("with a name or several fields needs a table of level 4 or later");
    for (size_t k = 0; k < ix.fields.size(); ++k) {
        const uint16_t f = ix.fields[k];
        if (f >= table.fields.size()) Fail("Invalid field name", errc::kSqlBind);
        const uint8_t t = table.fields[f].type;
        if (IsBlobType(t) || t == pxt::kLogical || t == pxt::kBytes)
            refuse("cannot include field " + std::to_string(f + 1) + " (a " + std::string(1, TypeLetter(t)) +
                   " field cannot be indexed)");
        if (k == 0 && f == 0) refuse("cannot begin with the first field of the table's key");
        for (size_t j = 0; j < k; ++j)
            if (ix.fields[j] == f)
                Fail("An index names field " + std::to_string(f + 1) + " twice", errc::kInvalidParameter);
    }
    const uint32_t rs = IndexRecordSize(table, ix);
    // The tree's entries carry the key and six bytes; three of them must fit a block.
    if ((rs - 2 + 6) * 3 > table.BlockSize() || rs + kBlockHeader > table.BlockSize())
        refuse("would have entries too long for the table's blocks");
}

uint32_t IndexRecordSize(const PxHeader& table, const SecondaryIndex& ix) {
    return IndexedBytes(table, ix) + KeyBytes(table) + 2;
}

void AppendIndexRecord(const PxHeader& table, const SecondaryIndex& ix, const uint8_t* rec, uint16_t block,
                       std::string& out) {
    for (uint16_t f : ix.fields)
        out.append(reinterpret_cast<const char*>(rec) + table.fields[f].offset, table.fields[f].length);
    out.append(reinterpret_cast<const char*>(rec), KeyBytes(table));
    uint8_t hint[2];
    EncodeInt(static_cast<int16_t>(block), hint, 2);
    out.append(reinterpret_cast<const char*>(hint), 2);
}

PxHeader IndexDataHeader(const PxHeader& table, const SecondaryIndex& ix) {
    PxHeader h;
    h.fileType = ix.composite ? (ix.maintained ? kFileCompositeIndexKept : kFileCompositeIndex)
                              : (ix.maintained ? kFileSingleIndexKept : kFileSingleIndex);
    h.blockCode = table.blockCode;
    h.sortOrder = table.sortOrder;
    h.versionByte = table.versionByte;
    h.codePageWord = table.codePageWord;
    h.sortOrderId = table.sortOrderId;
    h.rawTableName = table.rawTableName;
    uint32_t offset = 0;
    auto add = [&](PxField f, uint16_t number) {
        f.offset = offset;
        offset += f.length;
        h.fields.push_back(std::move(f));
        h.fieldNumbers.push_back(number);
    };
    auto numberOf = [&](size_t pos) -> uint16_t {
        return pos < table.fieldNumbers.size() ? table.fieldNumbers[pos] : static_cast<uint16_t>(pos + 1);
    };
    for (uint16_t f : ix.fields) {
        PxField d = table.fields[f];
        if (!ix.composite) d.rawName = "Sec Key";
        add(std::move(d), numberOf(f));
    }
    for (size_t k = 0; k < table.keyFields; ++k) add(table.fields[k], numberOf(k));
    PxField hint;
    hint.rawName = "Hint";
    hint.type = pxt::kShort;
    hint.sizeByte = 2;
    hint.length = 2;
    add(std::move(hint), 0);
    h.recordSize = static_cast<uint16_t>(offset);
    h.keyFields = static_cast<uint16_t>(ix.fields.size() + table.keyFields);
    size_t used = (h.HasSecondPart() ? 0x78 : 0x58) + 8 * h.fields.size() + 4 + h.NameAreaSize();
    for (const auto& f : h.fields) used += f.rawName.size() + 1;
    if (h.HasSecondPart()) used += h.sortOrderId.size() + 1 + (ix.composite ? ix.rawName.size() + 1 : 0);
    h.headerSize = static_cast<uint16_t>((used + 0x7FF) / 0x800 * 0x800);
    return h;
}

std::string BuildTreeFile(const PxHeader& keyed, const std::vector<std::string>& firstKeys,
                          const std::vector<uint16_t>& blocksIn, const std::vector<uint32_t>& counts, uint8_t fileType,
                          const std::string& what) {
    const uint32_t keyLen = keyed.KeyLength();
    const uint32_t entry = keyLen + 6;
    const uint32_t bs = keyed.BlockSize();
    const uint32_t perBlock = (bs - kBlockHeader) / entry;
    struct Entry {
        std::string_view key;
        uint32_t child;
        uint32_t count;
    };
    std::vector<Entry> level;
    level.reserve(blocksIn.size());
    for (size_t k = 0; k < blocksIn.size(); ++k) level.push_back({firstKeys[k], blocksIn[k], counts[k]});
    std::vector<std::vector<Entry>> blocks;  // every tree block's entries, numbered from 1
    PxIndexHeader ih;
    uint32_t entries = 0;
    while (!level.empty()) {
        std::vector<Entry> up;
        ++ih.levels;
        for (size_t k = 0; k < level.size(); k += perBlock) {
            std::vector<Entry> blk(
                level.begin() + static_cast<std::ptrdiff_t>(k),
                level.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(level.size(), k + perBlock)));
            uint32_t sum = 0;
            for (const auto& e : blk) sum += e.count;
            entries += static_cast<uint32_t>(blk.size());
            blocks.push_back(std::move(blk));
            up.push_back({blocks.back().front().key, static_cast<uint32_t>(blocks.size()), sum});
        }
        if (up.size() == 1) break;
        level = std::move(up);
    }
    if (blocks.size() > 0xFFFF) Fail(what + " would need more than 65535 blocks", errc::kIo);
    ih.blocks = static_cast<uint16_t>(blocks.size());
    ih.rootBlock = static_cast<uint16_t>(blocks.size());
    ih.entries = entries;
    std::string out = BuildPxHeader(keyed, ih);
    out[4] = static_cast<char>(fileType);
    out.reserve(out.size() + blocks.size() * bs);
    for (size_t k = 0; k < blocks.size(); ++k) {
        const size_t at = out.size();
        out.append(bs, '\0');
        auto* p = reinterpret_cast<uint8_t*>(out.data() + at);
        PutLe16(p, k + 1 < blocks.size() ? static_cast<uint16_t>(k + 2) : 0);
        PutLe16(p + 2, static_cast<uint16_t>(k));
        PutLe16(p + 4, static_cast<uint16_t>(
                           static_cast<int16_t>((static_cast<int>(blocks[k].size()) - 1) * static_cast<int>(entry))));
        uint8_t* e = p + kBlockHeader;
        for (const auto& en : blocks[k]) {
            std::memcpy(e, en.key.data(), keyLen);
            EncodeInt(en.child, e + keyLen, 2);
            // Counts above 32767 cannot be written in two bytes; readers only add them up.
            EncodeInt(std::min<uint32_t>(en.count, 32767), e + keyLen + 2, 2);
            EncodeInt(0, e + keyLen + 4, 2);
            e += entry;
        }
    }
    return out;
}

std::string SortIndexRecords(const PxHeader& table, const SecondaryIndex& ix, std::string records,
                             const std::string& tablePath) {
    const size_t rs = IndexRecordSize(table, ix);
    const uint32_t keyLen = static_cast<uint32_t>(rs - 2);
    const size_t n = records.size() / rs;
    // Order by the whole key (index fields, then table key): byte order is value order.
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    const char* base = records.data();
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return std::memcmp(base + size_t{a} * rs, base + size_t{b} * rs, keyLen) < 0;
    });
    if (ix.unique) {
        const uint32_t ixLen = IndexedBytes(table, ix);
        // Blank values do not collide with each other.
        for (size_t k = 1; k < n; ++k)
            if (std::memcmp(base + size_t{order[k - 1]} * rs, base + size_t{order[k]} * rs, ixLen) == 0 &&
                !AllZero(reinterpret_cast<const uint8_t*>(base) + size_t{order[k]} * rs, ixLen))
                Fail("Key violation: the unique index would hold a value twice in \"" + tablePath + "\"",
                     errc::kKeyViolation);
    }
    std::string sorted(n * rs, '\0');
    for (size_t k = 0; k < n; ++k) std::memcpy(sorted.data() + k * rs, base + size_t{order[k]} * rs, rs);
    return sorted;
}

SecondaryIndexFiles BuildIndexFiles(const PxHeader& table, const SecondaryIndex& ix, std::string records,
                                    const std::string& tablePath) {
    return IndexFilesFromSorted(table, ix, SortIndexRecords(table, ix, std::move(records), tablePath), tablePath);
}

SecondaryIndexFiles IndexFilesFromSorted(const PxHeader& table, const SecondaryIndex& ix, std::string_view sorted,
                                         const std::string& tablePath, size_t fromRecord) {
    PxHeader h = IndexDataHeader(table, ix);
    const size_t rs = h.recordSize;
    const uint32_t keyLen = h.KeyLength();
    const size_t n = sorted.size() / rs;
    const char* base = sorted.data();
    const uint32_t perBlock = h.RecordsPerBlock();
    const size_t nBlocks = (n + perBlock - 1) / perBlock;
    if (nBlocks > 0xFFFF) Fail("The index of \"" + tablePath + "\" would need more than 65535 blocks", errc::kIo);
    h.numRecords = static_cast<uint32_t>(n);
    h.usedBlocks = h.fileBlocks = static_cast<uint16_t>(nBlocks);
    h.firstBlock = nBlocks ? 1 : 0;
    h.lastBlock = static_cast<uint16_t>(nBlocks);
    SecondaryIndexFiles out;
    out.records = static_cast<uint32_t>(n);
    out.data = BuildDbHeader(h);
    auto* hb = reinterpret_cast<uint8_t*>(out.data.data());
    hb[0x15] = ix.composite ? 0 : static_cast<uint8_t>(ix.number);
    hb[0x56] = 0;
    if (h.Level() >= 7) hb[0x55] = static_cast<uint8_t>(kIndexFlagAscending | (ix.unique ? kIndexFlagUnique : 0));
    if (ix.composite && h.HasSecondPart()) {
        // The index name follows the language driver's name.
        size_t pos = GetLe16(hb + 0x51);
        std::memcpy(hb + pos, ix.rawName.data(), ix.rawName.size());
        pos += ix.rawName.size() + 1;
        PutLe16(hb + 0x51, static_cast<uint16_t>(pos));
    }
    const uint32_t bs = h.BlockSize();
    // The block before the first changed one is written too: its link to the next block
    // changes when the last block comes or goes.
    const size_t fromBlock = std::min(nBlocks, fromRecord / perBlock) - (fromRecord >= perBlock && nBlocks > 0 ? 1 : 0);
    out.headerSize = out.data.size();
    out.blocksAt = out.headerSize + uint64_t{fromBlock} * bs;
    out.dataSize = out.headerSize + uint64_t{nBlocks} * bs;
    std::vector<std::string> firstKeys;
    std::vector<uint16_t> blocks;
    std::vector<uint32_t> counts;
    firstKeys.reserve(nBlocks);
    blocks.reserve(nBlocks);
    counts.reserve(nBlocks);
    out.data.reserve(out.data.size() + (nBlocks - fromBlock) * bs);
    for (size_t b = 0; b < nBlocks; ++b) {
        const size_t first = b * perBlock;
        const size_t count = std::min<size_t>(perBlock, n - first);
        firstKeys.emplace_back(base + first * rs, keyLen);
        blocks.push_back(static_cast<uint16_t>(b + 1));
        counts.push_back(static_cast<uint32_t>(count));
        if (b < fromBlock) continue;
        const size_t at = out.data.size();
        out.data.append(bs, '\0');
        char* p = out.data.data() + at;
        PutLe16(p, b + 1 < nBlocks ? static_cast<uint16_t>(b + 2) : 0);
        PutLe16(p + 2, static_cast<uint16_t>(b));
        PutLe16(p + 4,
                static_cast<uint16_t>(static_cast<int16_t>((static_cast<int>(count) - 1) * static_cast<int>(rs))));
        std::memcpy(p + kBlockHeader, base + first * rs, count * rs);
    }
    out.tree = BuildTreeFile(h, firstKeys, blocks, counts, ix.composite ? kFileCompositeTree : kFileSingleTree,
                             "The index of \"" + tablePath + "\"");
    return out;
}

SecondaryIndex ParseIndexHeader(std::string_view bytes, uint64_t fileSize, const PxHeader& table,
                                const std::string& path) {
    const PxHeader h = ParseDbHeader(bytes, fileSize, path, true);
    auto bad = [&](const std::string& what) {
        Fail("Secondary index \"" + path + "\" does not match its table: " + what, errc::kCorruptFile);
    };
    SecondaryIndex ix;
    ix.composite = h.fileType == kFileCompositeIndex || h.fileType == kFileCompositeIndexKept;
    ix.maintained = h.fileType == kFileSingleIndexKept || h.fileType == kFileCompositeIndexKept;
    if (table.keyFields == 0) bad("the table has no primary key");
    if (h.fields.size() < size_t{table.keyFields} + 2u) bad("it has too few fields");
    const size_t m = h.fields.size() - table.keyFields - 1;
    if (!ix.composite && m != 1) bad("a single-field index holds " + std::to_string(m) + " indexed fields");
    if (h.versionByte != table.versionByte) bad("its level differs from the table's");
    // Which table fields: by field number where the header carries them, else the single
    // field's number at 0x15.
    for (size_t k = 0; k < m; ++k) {
        size_t pos = SIZE_MAX;
        if (!h.fieldNumbers.empty() && !table.fieldNumbers.empty()) {
            for (size_t t = 0; t < table.fieldNumbers.size(); ++t)
                if (table.fieldNumbers[t] == h.fieldNumbers[k]) pos = t;
        } else if (!ix.composite) {
            const uint8_t number = static_cast<uint8_t>(bytes[0x15]);
            if (number >= 1) pos = number - 1u;
        }
        if (pos >= table.fields.size()) bad("indexed field " + std::to_string(k + 1) + " is not in the table");
        if (h.fields[k].type != table.fields[pos].type || h.fields[k].sizeByte != table.fields[pos].sizeByte)
            bad("indexed field " + std::to_string(k + 1) + " differs in type or size from table field " +
                std::to_string(pos + 1));
        ix.fields.push_back(static_cast<uint16_t>(pos));
    }
    for (size_t k = 0; k < table.keyFields; ++k)
        if (h.fields[m + k].type != table.fields[k].type || h.fields[m + k].sizeByte != table.fields[k].sizeByte)
            bad("it does not carry the table's key fields");
    if (h.fields.back().type != pxt::kShort) bad("its last field is not the block hint");
    ix.number = ix.composite ? 0 : ix.fields[0] + 1;
    if (h.Level() >= 7) {
        const uint8_t flags = static_cast<uint8_t>(bytes[0x55]);
        ix.descending = (flags & kIndexFlagDescending) != 0;
        ix.unique = (flags & kIndexFlagUnique) != 0;
    }
    if (ix.composite && h.HasSecondPart()) {
        // The name follows the language driver's name.
        size_t pos = 0x78 + 8 * h.fields.size() + 4 + h.NameAreaSize();
        for (const auto& f : h.fields) pos += f.rawName.size() + 1;
        pos += h.sortOrderId.size() + 1;
        const size_t end = std::min<size_t>(bytes.size(), h.headerSize);
        size_t stop = pos;
        while (stop < end && bytes[stop] != 0) ++stop;
        if (stop >= end) bad("its name runs past the header");
        ix.rawName.assign(bytes.substr(pos, stop - pos));
    }
    return ix;
}

}  // namespace tessel::engine::paradox
