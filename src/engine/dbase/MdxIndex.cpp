// The production index (.MDX): reading, searching and building tags.

#include "engine/dbase/MdxIndex.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "engine/storage/Value.h"

namespace tessel::engine::dbase {

namespace {

constexpr size_t kDirectoryBytes = 2048;  // pages 0-3
// Written into the header's unused bytes (47-543) of the files Tessel builds: their character
// keys are in byte order. Another program's may follow its language driver's collation.
constexpr size_t kByteOrderNoteAt = 48;
constexpr char kByteOrderNote[] = "Tessel: character keys in byte order";
constexpr size_t kTagTable = 544;
constexpr size_t kTagEntry = 32;

uint32_t GetU32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return uint32_t{u[0]} | uint32_t{u[1]} << 8 | uint32_t{u[2]} << 16 | uint32_t{u[3]} << 24;
}
uint16_t GetU16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint16_t>(u[0] | u[1] << 8);
}
void PutU32(char* p, uint32_t v) {
    for (int k = 0; k < 4; ++k) p[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
}
void PutU16(char* p, uint16_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
}

// A tag name or expression as stored: blanks and NULs around it are padding.
std::string TrimmedKey(std::string_view s) {
    return std::string(TrimChars(s, std::string_view(" \0", 2)));
}

[[noreturn]] void Corrupt(const std::string& path, const std::string& what) {
    throw EngineError("The index file \"" + path + "\" is damaged: " + what, errc::kCorruptFile);
}

int FindTableField(const DbfHeader& table, std::string_view name) {
    for (size_t k = 0; k < table.fields.size(); ++k)
        if (table.fields[k].kind != FieldKind::NullFlags && SameAscii(table.fields[k].name, name))
            return static_cast<int>(k);
    return -1;
}

// A numeric key taken apart: sign, exponent (value = 0.d1d2... * 10^exp) and the digits.
struct Bcd {
    bool negative = false;
    int exponent = 0;
    int count = 0;
    char digits[20] = {};
};

Bcd Unpack(const char* key) {
    const auto* u = reinterpret_cast<const unsigned char*>(key);
    Bcd b;
    b.exponent = int{u[0]} - 0x34;
    b.negative = (u[1] & 0x80) != 0;
    b.count = std::min((u[1] >> 2) & 0x1F, 20);
    for (int k = 0; k < b.count; ++k) {
        const unsigned char pair = u[2 + k / 2];
        b.digits[k] = static_cast<char>(k % 2 == 0 ? pair >> 4 : pair & 0x0F);
    }
    // Zeros at either end carry no value; a key without a significant digit is zero.
    int first = 0;
    while (first < b.count && b.digits[first] == 0) ++first;
    if (first == b.count) {
        b.count = 0;
        b.negative = false;
        return b;
    }
    if (first > 0) {
        std::memmove(b.digits, b.digits + first, static_cast<size_t>(b.count - first));
        b.count -= first;
        b.exponent -= first;
    }
    while (b.count > 0 && b.digits[b.count - 1] == 0) --b.count;
    return b;
}

int CompareMagnitude(const Bcd& a, const Bcd& b) {
    if (a.exponent != b.exponent) return a.exponent < b.exponent ? -1 : 1;
    const int n = std::max(a.count, b.count);
    for (int k = 0; k < n; ++k) {
        const int x = k < a.count ? a.digits[k] : 0;
        const int y = k < b.count ? b.digits[k] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

int CompareNumbers(const char* ka, const char* kb) {
    const auto* ua = reinterpret_cast<const unsigned char*>(ka);
    const auto* ub = reinterpret_cast<const unsigned char*>(kb);
    // Keys as written: no leading zero digit, so the exponent and then the digit bytes order
    // numbers of one sign; anything else is taken apart digit by digit.
    const int ca = (ua[1] >> 2) & 0x1F, cb = (ub[1] >> 2) & 0x1F;
    if (ca > 0 && cb > 0 && (ua[2] >> 4) != 0 && (ub[2] >> 4) != 0 && ca <= 20 && cb <= 20) {
        const bool na = (ua[1] & 0x80) != 0, nb = (ub[1] & 0x80) != 0;
        if (na != nb) return na ? -1 : 1;
        int c = ua[0] < ub[0] ? -1 : ua[0] > ub[0] ? 1 : 0;
        for (int k = 0; c == 0 && k < std::max(ca, cb); ++k) {
            // Digits past a key's count are zero.
            const int x = k < ca ? (k % 2 == 0 ? ua[2 + k / 2] >> 4 : ua[2 + k / 2] & 0x0F) : 0;
            const int y = k < cb ? (k % 2 == 0 ? ub[2 + k / 2] >> 4 : ub[2 + k / 2] & 0x0F) : 0;
            c = x < y ? -1 : x > y ? 1 : 0;
        }
        return na ? -c : c;
    }
    const Bcd a = Unpack(ka), b = Unpack(kb);
    const int sa = a.count == 0 ? 0 : a.negative ? -1 : 1;
    const int sb = b.count == 0 ? 0 : b.negative ? -1 : 1;
    if (sa != sb) return sa < sb ? -1 : 1;
    if (sa == 0) return 0;
    const int m = CompareMagnitude(a, b);
    return sa > 0 ? m : -m;
}

int CompareDoubles(const char* a, const char* b) {
    double x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    return x < y ? -1 : x > y ? 1 : 0;
}

void PutDouble(char* p, double v) {
    std::memcpy(p, &v, 8);
}  // little-endian hosts only

}  // namespace

uint16_t MdxEntryLength(uint16_t keyLength) {
    return static_cast<uint16_t>((keyLength + 4 + 3) / 4 * 4);
}

uint32_t MdxKeysPerBlock(uint16_t entryLength) {
    return entryLength == 0 ? 0 : (kMdxBlockSize - 12) / entryLength;
}

// --- reading --------------------------------------------------------------------------------

std::vector<MdxTag> ParseMdx(std::string_view file, const std::string& path) {
    if (file.size() < kDirectoryBytes) Corrupt(path, "it is shorter than its header");
    const char* h = file.data();
    const uint16_t pagesPerBlock = GetU16(h + 20), blockBytes = GetU16(h + 22);
    if (pagesPerBlock == 0 || blockBytes != pagesPerBlock * kMdxPageSize)
        Corrupt(path, "the block size " + std::to_string(blockBytes) + " does not match " +
                          std::to_string(pagesPerBlock) + " pages");
    if (blockBytes != kMdxBlockSize)
        throw EngineError("The index file \"" + path + "\" uses blocks of " + std::to_string(blockBytes) +
                              " bytes; Tessel reads only blocks of 1024 bytes",
                          errc::kNotSupported);
    const uint8_t entryBytes = static_cast<uint8_t>(h[26]);
    const uint16_t inUse = GetU16(h + 28);
    if (entryBytes != kTagEntry) Corrupt(path, "a tag entry of " + std::to_string(entryBytes) + " bytes");
    if (inUse > kMdxMaxTags) Corrupt(path, std::to_string(inUse) + " tags are in use; the file holds at most 47");
    const uint64_t pages = file.size() / kMdxPageSize;
    std::vector<MdxTag> tags;
    for (size_t t = 0; t < inUse; ++t) {
        const char* e = h + kTagTable + t * kTagEntry;
        MdxTag tag;
        tag.headerPage = GetU32(e);
        tag.name = TrimmedKey(std::string_view(e + 4, 11).substr(0, std::string_view(e + 4, 11).find('\0')));
        if (tag.headerPage < 4 || uint64_t{tag.headerPage} + 2 > pages)  // a header fills a block
            Corrupt(path, "tag " + std::to_string(t + 1) + " names page " + std::to_string(tag.headerPage));
        const char* th = file.data() + uint64_t{tag.headerPage} * kMdxPageSize;
        const size_t avail = static_cast<size_t>(
            std::min<uint64_t>(kMdxBlockSize, file.size() - uint64_t{tag.headerPage} * kMdxPageSize));
        if (avail < 512) Corrupt(path, "the header of tag " + tag.name + " is cut short");
        tag.rootPage = GetU32(th);
        tag.keyType = th[9];
        tag.keyLength = GetU16(th + 12);
        tag.entryLength = GetU16(th + 18);
        tag.descending = (th[8] & 0x08) != 0;
        tag.unique = (th[8] & 0x40) != 0 || th[23] != 0;
        size_t n = 0;
        while (24 + n < 245 && 24 + n < avail && th[24 + n] != '\0') ++n;
        tag.expression = TrimmedKey(std::string_view(th + 24, n));
        tag.filtered = th[245] != 0;
        if (tag.keyType != 'C' && tag.keyType != 'N' && tag.keyType != 'D')
            Corrupt(path,
                    "tag " + tag.name + " has the key type " + std::to_string(static_cast<unsigned char>(tag.keyType)));
        if (tag.keyLength == 0 || tag.entryLength < tag.keyLength + 4 || MdxKeysPerBlock(tag.entryLength) == 0)
            Corrupt(path, "tag " + tag.name + " has keys of " + std::to_string(tag.keyLength) +
                              " bytes in entries of " + std::to_string(tag.entryLength));
        if ((tag.keyType == 'N' && tag.keyLength != kMdxNumericKey) ||
            (tag.keyType == 'D' && tag.keyLength != kMdxDateKey))
            Corrupt(path, "tag " + tag.name + " has a key length that does not fit its type");
        if (tag.rootPage < 4 || uint64_t{tag.rootPage} + 2 > pages)
            Corrupt(path, "the root of tag " + tag.name + " lies outside the file");
        tags.push_back(std::move(tag));
    }
    return tags;
}

std::string ResolveMdxTag(MdxTag& tag, const DbfHeader& table) {
    tag.fields.clear();
    if (tag.filtered) return "the tag " + tag.name + " has a FOR condition";
    if (tag.descending) return "the tag " + tag.name + " is descending";
    std::vector<size_t> fields;
    std::string_view expr = tag.expression;
    size_t start = 0;
    while (start <= expr.size()) {
        const size_t plus = expr.find('+', start);
        const std::string part =
            TrimmedKey(expr.substr(start, plus == std::string_view::npos ? std::string_view::npos : plus - start));
        const int f = FindTableField(table, part);
        if (f < 0)
            return "the tag " + tag.name + " has the expression " + tag.expression + ", which Tessel does not compute";
        fields.push_back(static_cast<size_t>(f));
        if (plus == std::string_view::npos) break;
        start = plus + 1;
    }
    uint32_t width = 0;
    for (size_t f : fields) {
        const DbfField& d = table.fields[f];
        const char type = d.kind == FieldKind::Char     ? 'C'
                          : d.kind == FieldKind::Number ? 'N'
                          : d.kind == FieldKind::Date   ? 'D'
                                                        : '?';
        if (type == '?' || (fields.size() > 1 && type != 'C') || type != tag.keyType)
            return "the tag " + tag.name + " has the expression " + tag.expression + ", which Tessel does not compute";
        width += type == 'C' ? d.width : type == 'N' ? kMdxNumericKey : kMdxDateKey;
    }
    if (width != tag.keyLength)
        return "the keys of tag " + tag.name + " are " + std::to_string(tag.keyLength) + " bytes long, not " +
               std::to_string(width);
    // Keys are built in buffers of the longest key a tag may have, and a full leaf splits in
    // two: entries laid out otherwise are not Tessel's to change.
    if (width > kMdxMaxCharKey)
        return "the keys of tag " + tag.name + " are " + std::to_string(width) + " bytes long, more than " +
               std::to_string(kMdxMaxCharKey);
    if (tag.entryLength != MdxEntryLength(tag.keyLength))
        return "the entries of tag " + tag.name + " are " + std::to_string(tag.entryLength) + " bytes long, not " +
               std::to_string(MdxEntryLength(tag.keyLength));
    tag.fields = std::move(fields);
    return {};
}

// --- keys -----------------------------------------------------------------------------------

void EncodeMdxNumber(std::string_view text, char* key) {
    std::memset(key, 0, kMdxNumericKey);
    bool negative = false;
    size_t k = 0;
    while (k < text.size() && text[k] == ' ') ++k;
    if (k < text.size() && (text[k] == '-' || text[k] == '+')) negative = text[k++] == '-';
    const size_t intStart = k;
    while (k < text.size() && text[k] >= '0' && text[k] <= '9') ++k;
    const size_t intEnd = k;
    size_t fracStart = k, fracEnd = k;
    if (k < text.size() && text[k] == '.') {
        fracStart = ++k;
        while (k < text.size() && text[k] >= '0' && text[k] <= '9') ++k;
        fracEnd = k;
    }
    while (k < text.size() && text[k] == ' ') ++k;
    // The digits without leading zeros and without zeros after the last fractional digit
    // that counts; value = 0.<digits> * 10^exponent.
    char digits[64];
    size_t count = 0;
    int exponent = 0;
    if (k == text.size()) {  // anything else is not a number: as blank
        size_t i = intStart;
        while (i < intEnd && text[i] == '0') ++i;
        exponent = static_cast<int>(intEnd - i);
        for (; i < intEnd && count < sizeof digits; ++i) digits[count++] = text[i];
        size_t f = fracStart;
        if (count == 0)
            while (f < fracEnd && text[f] == '0') ++f, --exponent;
        size_t fEnd = fracEnd;
        while (fEnd > f && text[fEnd - 1] == '0') --fEnd;
        for (; f < fEnd && count < sizeof digits; ++f) digits[count++] = text[f];
    }
    if (count > 20) count = 20;
    if (count == 0) {
        exponent = 0;
        negative = false;
    }
    key[0] = static_cast<char>(0x34 + exponent);
    key[1] = static_cast<char>((negative ? 0x80 : 0) | (count << 2) | 0x01);
    for (size_t d = 0; d < count; ++d) {
        const int v = digits[d] - '0';
        key[2 + d / 2] = static_cast<char>(key[2 + d / 2] | (d % 2 == 0 ? v << 4 : v));
    }
}

double MdxNumberValue(const char* key) {
    // Through the decimal text: the conversion rounds correctly, so the key order is kept.
    const Bcd b = Unpack(key);
    if (b.count == 0) return 0;
    char text[40];
    size_t n = 0;
    if (b.negative) text[n++] = '-';
    text[n++] = '.';
    for (int k = 0; k < b.count; ++k) text[n++] = static_cast<char>('0' + b.digits[k]);
    n += static_cast<size_t>(std::snprintf(text + n, sizeof text - n, "e%d", b.exponent));
    return std::strtod(text, nullptr);
}

double MdxDateValue(const char* key) {
    double v;
    std::memcpy(&v, key, 8);
    return v;
}

void MakeMdxKey(const MdxTag& tag, const DbfHeader& table, const char* record, char* key) {
    if (tag.keyType == 'C') {
        for (size_t f : tag.fields) {
            const DbfField& d = table.fields[f];
            std::memcpy(key, record + d.offset, d.width);
            key += d.width;
        }
        return;
    }
    const DbfField& d = table.fields[tag.fields.front()];
    const char* p = record + d.offset;
    if (tag.keyType == 'N') {
        EncodeMdxNumber(std::string_view(p, d.width), key);
        return;
    }
    int y = 0, m = 0, day = 0;
    bool digits = d.width == 8;
    for (uint32_t k = 0; k < 8 && digits; ++k) digits = p[k] >= '0' && p[k] <= '9';
    if (digits) {
        y = (p[0] - '0') * 1000 + (p[1] - '0') * 100 + (p[2] - '0') * 10 + (p[3] - '0');
        m = (p[4] - '0') * 10 + (p[5] - '0');
        day = (p[6] - '0') * 10 + (p[7] - '0');
    }
    // A blank or invalid date sorts first.
    PutDouble(key,
              digits && IsValidDate(y, m, day) ? static_cast<double>(DayNumber(y, m, day) + kMdxJulianOffset) : 0.0);
}

int CompareMdxKeys(char keyType, const char* a, const char* b, size_t length) {
    switch (keyType) {
        case 'N':
            return CompareNumbers(a, b);
        case 'D':
            return CompareDoubles(a, b);
        default:
            return std::memcmp(a, b, length);
    }
}

namespace {

// A numeric key as bytes that sort like the numbers: sign class, exponent, then 20 digits
// (all three turned round for negative numbers, where a larger magnitude is smaller).
constexpr size_t kSortableNumber = 22;
void SortableNumber(const char* key, char* out) {
    const Bcd b = Unpack(key);
    std::memset(out, 0, kSortableNumber);
    if (b.count == 0) {
        out[0] = 1;
        return;
    }
    const bool neg = b.negative;
    out[0] = neg ? 0 : 2;
    const int e = std::clamp(b.exponent + 128, 0, 255);
    out[1] = static_cast<char>(neg ? 255 - e : e);
    for (int k = 0; k < 20; ++k) {
        const int d = k < b.count ? b.digits[k] : 0;
        out[2 + k] = static_cast<char>(neg ? 9 - d : d);
    }
}

}  // namespace

void SortMdxEntries(const MdxTag& tag, MdxEntries& entries) {
    const size_t n = entries.Size();
    const size_t len = tag.keyLength;
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    const std::vector<uint32_t>& rec = entries.recNos;
    if (tag.keyType == 'D') {
        std::vector<double> v(n);
        for (size_t k = 0; k < n; ++k) v[k] = MdxDateValue(entries.keys.data() + k * len);
        std::sort(order.begin(), order.end(),
                  [&](uint32_t x, uint32_t y) { return v[x] != v[y] ? v[x] < v[y] : rec[x] < rec[y]; });
    } else {
        std::string sortable;
        const char* keys = entries.keys.data();
        size_t width = len;
        if (tag.keyType == 'N') {
            sortable.resize(n * kSortableNumber);
            for (size_t k = 0; k < n; ++k) SortableNumber(keys + k * len, sortable.data() + k * kSortableNumber);
            keys = sortable.data();
            width = kSortableNumber;
        }
        std::sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
            const int c = std::memcmp(keys + size_t{x} * width, keys + size_t{y} * width, width);
            return c != 0 ? c < 0 : rec[x] < rec[y];
        });
    }
    MdxEntries sorted;
    sorted.keys.reserve(entries.keys.size());
    sorted.recNos.reserve(n);
    for (uint32_t k : order) {
        const char* key = entries.keys.data() + size_t{k} * len;
        if (tag.unique && !sorted.recNos.empty() &&
            CompareMdxKeys(tag.keyType, sorted.keys.data() + sorted.keys.size() - len, key, len) == 0)
            continue;
        sorted.keys.append(key, len);
        sorted.recNos.push_back(rec[k]);
    }
    entries = std::move(sorted);
}

// --- the file in memory ------------------------------------------------------------------

namespace {

// The tags form a binary tree by name in the directory (threads "less", "greater", parent),
// numbered from 1; built by inserting the tags in directory order.
void ThreadTags(const std::vector<MdxTag>& tags, std::vector<std::array<uint8_t, 3>>& threads) {
    threads.assign(tags.size(), {0, 0, 0});
    for (size_t t = 1; t < tags.size(); ++t) {
        size_t at = 0;
        for (;;) {
            const bool less = tags[t].name < tags[at].name;
            uint8_t& slot = threads[at][less ? 0 : 1];
            if (slot == 0) {
                slot = static_cast<uint8_t>(t + 1);
                threads[t][2] = static_cast<uint8_t>(at + 1);
                break;
            }
            at = slot - 1u;
        }
    }
}

// Orders an entry (record number, then key) against a key and record.
int CompareEntry(const MdxTag& tag, const char* entry, const char* key, uint32_t recNo) {
    const int c = CompareMdxKeys(tag.keyType, entry + 4, key, tag.keyLength);
    if (c != 0) return c;
    const uint32_t r = GetU32(entry);
    return r < recNo ? -1 : r > recNo ? 1 : 0;
}

}  // namespace

MdxFile MdxFile::Read(std::string bytes, const std::string& path) {
    MdxFile f;
    f.tags_ = ParseMdx(bytes, path);
    f.bytes_ = std::move(bytes);
    const size_t pages = f.bytes_.size() / kMdxPageSize;
    f.bytes_.resize(pages * kMdxPageSize);
    std::vector<bool> used(pages, false);
    for (size_t t = 0; t < 4; ++t) used[t] = true;
    f.trees_.resize(f.tags_.size());
    for (const auto& tag : f.tags_) {
        if (used[tag.headerPage] || used[tag.headerPage + 1]) Corrupt(path, "two tags share a header page");
        used[tag.headerPage] = used[tag.headerPage + 1] = true;
    }
    for (size_t t = 0; t < f.tags_.size(); ++t) {
        const MdxTag& tag = f.tags_[t];
        Tree& tree = f.trees_[t];
        const uint32_t maxKeys = MdxKeysPerBlock(tag.entryLength);
        std::vector<uint32_t> emptyLeaves;
        struct Frame {
            uint32_t page;
            uint32_t count;
            uint32_t next;
        };
        std::vector<Frame> stack;
        auto visit = [&](uint32_t page) {
            if (page < 4 || size_t{page} + 2 > pages || used[page] || used[page + 1])
                Corrupt(path, "tag " + tag.name + " points at page " + std::to_string(page) +
                                  (page < pages && used[page] ? ", which is used twice" : ""));
            if (stack.size() >= 64) Corrupt(path, "the tree of tag " + tag.name + " is too deep");
            used[page] = used[page + 1] = true;
            const char* node = f.Node(page);
            const uint32_t count = GetU32(node);
            if (count > maxKeys)
                Corrupt(path, "a node of tag " + tag.name + " holds " + std::to_string(count) + " keys");
            if (GetU32(node + 8 + size_t{count} * tag.entryLength) == 0) {
                (count > 0 ? tree.leaves : emptyLeaves).push_back(page);
                tree.count += count;
                return;
            }
            tree.inner.push_back(page);
            stack.push_back({page, count, 0});
        };
        visit(tag.rootPage);
        while (!stack.empty()) {
            Frame& fr = stack.back();
            if (fr.next > fr.count) {
                stack.pop_back();
                continue;
            }
            const uint32_t child = GetU32(f.Node(fr.page) + 8 + size_t{fr.next} * tag.entryLength);
            ++fr.next;
            visit(child);
        }
        // Empty leaves are left out of the search; their blocks are reused when the tree is
        // laid out again. A tag without entries keeps one.
        if (tree.leaves.empty() && !emptyLeaves.empty()) {
            tree.leaves.push_back(emptyLeaves.front());
            emptyLeaves.erase(emptyLeaves.begin());
        }
        tree.inner.insert(tree.inner.end(), emptyLeaves.begin(), emptyLeaves.end());
    }
    return f;
}

MdxFile MdxFile::Build(std::vector<MdxTag> tags, const std::vector<MdxEntries>& entries, std::string_view tableName,
                       const uint8_t today[3]) {
    MdxFile f;
    f.tags_ = std::move(tags);
    f.trees_.resize(f.tags_.size());
    f.bytes_.assign(4 * kMdxPageSize, '\0');
    for (size_t t = 0; t < f.tags_.size(); ++t) {
        MdxTag& tag = f.tags_[t];
        const MdxEntries& e = entries[t];
        tag.entryLength = MdxEntryLength(tag.keyLength);
        const uint32_t perBlock = MdxKeysPerBlock(tag.entryLength);
        const size_t len = tag.keyLength;
        tag.headerPage = f.NewBlock();
        char* th = f.Node(tag.headerPage);
        th[8] = static_cast<char>(0x10 | (tag.unique ? 0x40 : 0));
        th[9] = tag.keyType;
        th[11] = 0x1B;
        PutU16(th + 12, tag.keyLength);
        PutU16(th + 14, static_cast<uint16_t>(perBlock));
        PutU16(th + 16, tag.keyType == 'D' ? 1 : 0);
        PutU16(th + 18, tag.entryLength);
        th[23] = tag.unique ? 1 : 0;
        std::memcpy(th + 24, tag.expression.data(), std::min<size_t>(tag.expression.size(), 220));
        std::memcpy(th + 257, today, 3);
        th[480] = tag.fields.size() == 1 ? 1 : 0;
        // Full leaves, the last one holding the rest.
        Tree& tree = f.trees_[t];
        size_t at = 0;
        do {
            const uint32_t page = f.NewBlock();
            char* node = f.Node(page);
            const size_t count = std::min<size_t>(perBlock, e.Size() - at);
            PutU32(node, static_cast<uint32_t>(count));
            for (size_t k = 0; k < count; ++k) {
                char* entry = node + 8 + k * tag.entryLength;
                PutU32(entry, e.recNos[at + k]);
                std::memcpy(entry + 4, e.keys.data() + (at + k) * len, len);
            }
            at += count;
            tree.leaves.push_back(page);
        } while (at < e.Size());
        tree.count = e.Size();
        tree.inOrder = 1;                       // sorted by SortMdxEntries
        if (!tag.unique) tree.recordsOnce = 1;  // one entry per record
        f.LayOut(t);
    }
    char* h = f.bytes_.data();
    h[0] = 2;
    std::memcpy(h + 1, today, 3);
    std::memcpy(h + 4, tableName.data(), std::min<size_t>(tableName.size(), 16));
    PutU16(h + 20, 2);
    PutU16(h + 22, static_cast<uint16_t>(kMdxBlockSize));
    h[24] = 1;
    h[25] = 48;
    h[26] = static_cast<char>(kTagEntry);
    PutU16(h + 28, static_cast<uint16_t>(f.tags_.size()));
    h[30] = static_cast<char>(f.tags_.size());
    h[31] = 0x1B;
    std::memcpy(h + kByteOrderNoteAt, kByteOrderNote, sizeof kByteOrderNote - 1);
    std::vector<std::array<uint8_t, 3>> threads;
    ThreadTags(f.tags_, threads);
    for (size_t t = 0; t < f.tags_.size(); ++t) {
        char* e = h + kTagTable + t * kTagEntry;
        PutU32(e, f.tags_[t].headerPage);
        std::memcpy(e + 4, f.tags_[t].name.data(), std::min<size_t>(f.tags_[t].name.size(), 10));
        e[15] = f.tags_[t].fields.size() == 1 ? 0x10 : 0x00;
        e[16] = static_cast<char>(threads[t][0]);
        e[17] = static_cast<char>(threads[t][1]);
        e[18] = static_cast<char>(threads[t][2]);
        e[19] = 0x02;
        e[20] = f.tags_[t].keyType;
    }
    f.TakeChanges(today);
    f.touched_.clear();
    f.wholeFile_ = true;
    return f;
}

uint32_t MdxFile::NewBlock() {
    uint32_t page;
    if (!spare_.empty()) {
        page = spare_.back();
        spare_.pop_back();
        std::memset(Node(page), 0, kMdxBlockSize);
    } else {
        page = static_cast<uint32_t>(bytes_.size() / kMdxPageSize);
        bytes_.append(kMdxBlockSize, '\0');
    }
    Touch(page);
    return page;
}

void MdxFile::Touch(uint32_t page) {
    touched_.push_back(page);
}

void MdxFile::LayOut(size_t t) {
    MdxTag& tag = tags_[t];
    Tree& tree = trees_[t];
    const uint32_t perBlock = MdxKeysPerBlock(tag.entryLength);
    const size_t fanout = size_t{perBlock} + 1;
    const size_t len = tag.keyLength;
    std::vector<uint32_t> pool = std::move(tree.inner);
    tree.inner.clear();
    size_t reused = 0;
    struct Child {
        uint32_t page;
        std::string lastKey;  // the highest key below it
    };
    std::vector<Child> level;
    level.reserve(tree.leaves.size());
    for (uint32_t page : tree.leaves) {
        const char* node = Node(page);
        const uint32_t n = GetU32(node);
        level.push_back(
            {page, n ? std::string(node + 8 + size_t{n - 1} * tag.entryLength + 4, len) : std::string(len, '\0')});
    }
    while (level.size() > 1) {
        const size_t parents = (level.size() + fanout - 1) / fanout;
        std::vector<Child> up;
        size_t child = 0;
        for (size_t p = 0; p < parents; ++p) {
            // Children spread evenly, so no parent is left with a single one.
            const size_t take = (level.size() - child) / (parents - p);
            uint32_t page;
            if (reused < pool.size()) {
                page = pool[reused++];
                std::memset(Node(page), 0, kMdxBlockSize);
                Touch(page);
            } else {
                page = NewBlock();
            }
            char* node = Node(page);
            PutU32(node, static_cast<uint32_t>(take - 1));
            for (size_t k = 0; k + 1 < take; ++k) {
                char* entry = node + 8 + k * tag.entryLength;
                PutU32(entry, level[child + k].page);
                std::memcpy(entry + 4, level[child + k].lastKey.data(), len);
            }
            PutU32(node + 8 + (take - 1) * tag.entryLength, level[child + take - 1].page);
            tree.inner.push_back(page);
            up.push_back({page, std::move(level[child + take - 1].lastKey)});
            child += take;
        }
        level = std::move(up);
    }
    spare_.insert(spare_.end(), pool.begin() + static_cast<std::ptrdiff_t>(reused), pool.end());
    tag.rootPage = level.front().page;
    char* th = Node(tag.headerPage);
    PutU32(th, tag.rootPage);
    PutU32(th + 4, static_cast<uint32_t>(2 * (tree.leaves.size() + tree.inner.size() + 1)));
    th[20] = static_cast<char>(th[20] + 1);  // bumped on each change
    th[246] = tree.count > 0 ? 1 : 0;
    Touch(tag.headerPage);
    tree.changed = false;
}

std::vector<std::pair<uint64_t, size_t>> MdxFile::TakeChanges(const uint8_t today[3]) {
    for (size_t t = 0; t < trees_.size(); ++t)
        if (trees_[t].changed) LayOut(t);
    std::vector<std::pair<uint64_t, size_t>> out;
    if (touched_.empty() && !wholeFile_) return out;
    char* h = bytes_.data();
    PutU32(h + 32, static_cast<uint32_t>(bytes_.size() / kMdxPageSize));
    std::memcpy(h + 44, today, 3);
    if (wholeFile_) {
        out.emplace_back(0, bytes_.size());
    } else {
        out.emplace_back(0, 4 * kMdxPageSize);
        std::sort(touched_.begin(), touched_.end());
        touched_.erase(std::unique(touched_.begin(), touched_.end()), touched_.end());
        for (uint32_t page : touched_) {
            const uint64_t at = uint64_t{page} * kMdxPageSize;
            if (!out.empty() && out.back().first + out.back().second >= at + kMdxBlockSize) continue;
            if (!out.empty() && out.back().first + out.back().second >= at)
                out.back().second = static_cast<size_t>(at + kMdxBlockSize - out.back().first);
            else
                out.emplace_back(at, kMdxBlockSize);
        }
    }
    touched_.clear();
    wholeFile_ = false;
    return out;
}

bool MdxFile::CharactersInByteOrder() const {
    return bytes_.size() >= kDirectoryBytes &&
           std::memcmp(bytes_.data() + kByteOrderNoteAt, kByteOrderNote, sizeof kByteOrderNote - 1) == 0;
}

bool MdxFile::InKeyOrder(size_t t) {
    Tree& tree = trees_[t];
    if (tree.inOrder == 0) {
        const MdxTag& tag = tags_[t];
        Position at;
        const char* key = nullptr;
        const char* previous = nullptr;
        uint32_t rec;
        tree.inOrder = 1;
        while (Next(t, at, key, rec)) {
            if (previous && CompareMdxKeys(tag.keyType, previous, key, tag.keyLength) > 0) {
                tree.inOrder = -1;
                break;
            }
            previous = key;
        }
    }
    return tree.inOrder > 0;
}

bool MdxFile::EachRecordOnce(size_t t) {
    Tree& tree = trees_[t];
    if (tree.recordsOnce == 0) {
        std::vector<bool> seen(tree.count, false);
        Position at;
        const char* key;
        uint32_t rec;
        tree.recordsOnce = 1;
        while (Next(t, at, key, rec)) {
            if (rec == 0 || rec > tree.count || seen[rec - 1]) {
                tree.recordsOnce = -1;
                break;
            }
            seen[rec - 1] = true;
        }
    }
    return tree.recordsOnce > 0;
}

MdxEntries MdxFile::Entries(size_t t) const {
    MdxEntries out;
    Position at;
    const char* key;
    uint32_t rec;
    while (Next(t, at, key, rec)) {
        out.keys.append(key, tags_[t].keyLength);
        out.recNos.push_back(rec);
    }
    return out;
}

bool MdxFile::Next(size_t t, Position& at, const char*& key, uint32_t& recNo) const {
    const Tree& tree = trees_[t];
    while (at.leaf < tree.leaves.size()) {
        const char* node = Node(tree.leaves[at.leaf]);
        if (at.entry < GetU32(node)) {
            const char* entry = node + 8 + size_t{at.entry} * tags_[t].entryLength;
            recNo = GetU32(entry);
            key = entry + 4;
            ++at.entry;
            return true;
        }
        ++at.leaf;
        at.entry = 0;
    }
    return false;
}

size_t MdxFile::LeafFor(size_t t, const char* key, uint32_t recNo) const {
    const Tree& tree = trees_[t];
    const MdxTag& tag = tags_[t];
    size_t a = 0, b = tree.leaves.size();
    while (a < b) {
        const size_t m = a + (b - a) / 2;
        const char* node = Node(tree.leaves[m]);
        const uint32_t n = GetU32(node);
        if (n > 0 && CompareEntry(tag, node + 8 + size_t{n - 1} * tag.entryLength, key, recNo) < 0)
            a = m + 1;
        else
            b = m;
    }
    return std::min(a, tree.leaves.size() - 1);
}

void MdxFile::Insert(size_t t, const char* key, uint32_t recNo) {
    Tree& tree = trees_[t];
    const MdxTag& tag = tags_[t];
    const size_t e = tag.entryLength;
    size_t leaf = LeafFor(t, key, recNo);
    uint32_t n = GetU32(Node(tree.leaves[leaf]));
    if (n >= MdxKeysPerBlock(tag.entryLength)) {
        // A full leaf: its upper half moves to a new block that follows it.
        const uint32_t fresh = NewBlock();
        char* node = Node(tree.leaves[leaf]);
        char* moved = Node(fresh);
        const uint32_t keep = n / 2;
        std::memcpy(moved + 8, node + 8 + keep * e, (n - keep) * e);
        PutU32(moved, n - keep);
        std::memset(node + 8 + keep * e, 0, (n - keep) * e + 4);
        PutU32(node, keep);
        Touch(tree.leaves[leaf]);
        tree.leaves.insert(tree.leaves.begin() + static_cast<std::ptrdiff_t>(leaf) + 1, fresh);
        if (CompareEntry(tag, node + 8 + (keep - 1) * e, key, recNo) < 0) ++leaf;
        n = GetU32(Node(tree.leaves[leaf]));
    }
    const uint32_t page = tree.leaves[leaf];
    char* node = Node(page);
    uint32_t lo = 0, hi = n;
    while (lo < hi) {
        const uint32_t m = lo + (hi - lo) / 2;
        if (CompareEntry(tag, node + 8 + m * e, key, recNo) < 0)
            lo = m + 1;
        else
            hi = m;
    }
    char* entry = node + 8 + size_t{lo} * e;
    std::memmove(entry + e, entry, (n - lo) * e);
    std::memset(entry, 0, e);
    PutU32(entry, recNo);
    std::memcpy(entry + 4, key, tag.keyLength);
    PutU32(node, n + 1);
    std::memset(node + 8 + size_t{n + 1} * e, 0, 4);  // a leaf ends with 0
    Touch(page);
    ++tree.count;
    tree.changed = true;
}

bool MdxFile::Remove(size_t t, const char* key, uint32_t recNo) {
    Tree& tree = trees_[t];
    const MdxTag& tag = tags_[t];
    const size_t e = tag.entryLength;
    // From the first entry of the key along the equal ones: another program need not have
    // put them in record order.
    Position at = Find(t, [&](const char* k) { return CompareMdxKeys(tag.keyType, k, key, tag.keyLength) < 0; });
    while (at.leaf < tree.leaves.size()) {
        const uint32_t page = tree.leaves[at.leaf];
        char* node = Node(page);
        const uint32_t n = GetU32(node);
        if (at.entry >= n) {
            ++at.leaf;
            at.entry = 0;
            continue;
        }
        char* entry = node + 8 + size_t{at.entry} * e;
        if (CompareMdxKeys(tag.keyType, entry + 4, key, tag.keyLength) != 0) return false;
        if (GetU32(entry) != recNo) {
            ++at.entry;
            continue;
        }
        std::memmove(entry, entry + e, (n - at.entry - 1) * e);
        std::memset(node + 8 + size_t{n - 1} * e, 0, e + 4);
        PutU32(node, n - 1);
        Touch(page);
        --tree.count;
        tree.changed = true;
        if (n == 1 && tree.leaves.size() > 1) {
            // The emptied leaf leaves the search; its block is reused when the tree is laid out.
            tree.leaves.erase(tree.leaves.begin() + static_cast<std::ptrdiff_t>(at.leaf));
            tree.inner.push_back(page);
        }
        return true;
    }
    return false;
}

bool MdxFile::Contains(size_t t, const char* key) const {
    const MdxTag& tag = tags_[t];
    Position at = Find(t, [&](const char* k) { return CompareMdxKeys(tag.keyType, k, key, tag.keyLength) < 0; });
    const char* found;
    uint32_t rec;
    return Next(t, at, found, rec) && CompareMdxKeys(tag.keyType, found, key, tag.keyLength) == 0;
}

}  // namespace tessel::engine::dbase
