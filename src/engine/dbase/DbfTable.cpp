// The dBASE table: reading, writing, the production index, creating tables.

#include "engine/dbase/DbfTable.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "base/FileUtil.h"
#include "engine/codepage/LanguageDrivers.h"
#include "engine/storage/TableFamily.h"

namespace tessel::engine::dbase {

namespace {

constexpr size_t kChunkBytes = 256 * 1024;
constexpr size_t kProbeBytes = 4096;
constexpr size_t kPendingBytes = 1024 * 1024;  // appends kept back before they are written

uint32_t LeU32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint32_t>(u[0]) | (static_cast<uint32_t>(u[1]) << 8) | (static_cast<uint32_t>(u[2]) << 16) |
           (static_cast<uint32_t>(u[3]) << 24);
}

uint64_t LeU64(const char* p) {
    return static_cast<uint64_t>(LeU32(p)) | (static_cast<uint64_t>(LeU32(p + 4)) << 32);
}

uint64_t BeU64(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    uint64_t v = 0;
    for (int k = 0; k < 8; ++k) v = (v << 8) | u[k];
    return v;
}

void PutLeU32(char* p, uint32_t v) {
    for (int k = 0; k < 4; ++k) p[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
}

void PutLeU16(char* p, uint16_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
}

void PutBeU64(char* p, uint64_t v) {
    for (int k = 7; k >= 0; --k) {
        p[k] = static_cast<char>(v & 0xFF);
        v >>= 8;
    }
}

bool AllBytes(const char* p, size_t n, char c) {
    for (size_t k = 0; k < n; ++k)
        if (p[k] != c) return false;
    return true;
}

// Parses the text of an N/F field. Blank, asterisks (an overflow mark some writers leave) and
// text that is no number give NULL: one bad cell must not stop a scan.
void ParseNumber(const char* p, size_t w, int decimals, Value& out) {
    size_t b = 0, e = w;
    while (b < e && (p[b] == ' ' || p[b] == '\0')) ++b;
    while (e > b && (p[e - 1] == ' ' || p[e - 1] == '\0')) --e;
    if (b == e) {
        out.SetNull();
        return;
    }
    size_t k = b;
    bool negative = false;
    if (p[k] == '-' || p[k] == '+') {
        negative = p[k] == '-';
        ++k;
    }
    uint64_t mant = 0;
    int digits = 0, fracDigits = 0;
    bool point = false, overflow = false, any = false;
    for (; k < e; ++k) {
        const char c = p[k];
        if (c >= '0' && c <= '9') {
            any = true;
            if (mant == 0 && c == '0') {
                if (point) ++fracDigits;
                continue;
            }
            if (digits >= 18) {
                overflow = true;
            } else {
                mant = mant * 10 + static_cast<uint64_t>(c - '0');
                ++digits;
            }
            if (point) ++fracDigits;
        } else if ((c == '.' || c == ',') && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any) {
        out.SetNull();
        return;
    }
    if (k < e || overflow || fracDigits > 18) {
        // Exponents, more than 18 significant digits and the like: go through a double.
        char buf[64];
        const size_t n = std::min<size_t>(e - b, sizeof buf - 1);
        std::memcpy(buf, p + b, n);
        buf[n] = '\0';
        for (size_t q = 0; q < n; ++q)
            if (buf[q] == ',') buf[q] = '.';
        char* end = nullptr;
        const double d = std::strtod(buf, &end);
        if (end == buf || *end != '\0') {
            out.SetNull();
            return;
        }
        out.SetDouble(d);
        return;
    }
    int64_t v = static_cast<int64_t>(mant);
    if (negative) v = -v;
    if (fracDigits == 0 && decimals == 0) {
        out.SetInt(v);
        return;
    }
    int scale = std::max<int>(fracDigits, std::min(decimals, 18));
    // Bring the mantissa to `scale` digits when that fits, else keep the digits as read.
    if (scale > fracDigits) {
        const int up = scale - fracDigits;
        if (digits - fracDigits + scale <= 18)
            v *= kPow10[up];
        else
            scale = fracDigits;
    }
    out.SetDecimal(v, scale);
}

bool ParseDate8(const char* p, int64_t& day) {
    int y = 0, m = 0, d = 0;
    for (int k = 0; k < 8; ++k)
        if (p[k] < '0' || p[k] > '9') return false;
    for (int k = 0; k < 4; ++k) y = y * 10 + (p[k] - '0');
    m = (p[4] - '0') * 10 + (p[5] - '0');
    d = (p[6] - '0') * 10 + (p[7] - '0');
    if (!IsValidDate(y, m, d)) return false;
    day = DayNumber(y, m, d);
    return true;
}

// Decimal text of a value for an N/F field: sign, digits and how many of them are decimals.
struct DecimalText {
    bool negative = false;
    std::string digits;  // without leading zeros (may be empty for 0)
    int scale = 0;
};

bool ToDecimalText(const Value& v, DecimalText& t) {
    char buf[400];
    switch (v.kind) {
        case ValueKind::Bool:
        case ValueKind::Int:
        case ValueKind::Decimal: {
            const int64_t i = v.kind == ValueKind::Bool ? (v.i ? 1 : 0) : v.i;
            t.negative = i < 0;
            const uint64_t mag = t.negative ? 0 - static_cast<uint64_t>(i) : static_cast<uint64_t>(i);
            t.digits = std::to_string(mag);
            t.scale = v.kind == ValueKind::Decimal ? std::max<int>(0, v.scale) : 0;
            return true;
        }
        case ValueKind::Double: {
            if (!std::isfinite(v.d)) return false;
            auto r = std::to_chars(buf, buf + sizeof buf, v.d, std::chars_format::fixed);
            if (r.ec != std::errc()) return false;
            std::string s(buf, r.ptr);
            t.negative = !s.empty() && s[0] == '-';
            if (t.negative) s.erase(0, 1);
            const size_t dot = s.find('.');
            t.scale = dot == std::string::npos ? 0 : static_cast<int>(s.size() - dot - 1);
            if (dot != std::string::npos) s.erase(dot, 1);
            t.digits = s;
            return true;
        }
        case ValueKind::Text: {
            std::string s = v.s;
            while (!s.empty() && s.back() == ' ') s.pop_back();
            size_t b = 0;
            while (b < s.size() && s[b] == ' ') ++b;
            s = s.substr(b);
            if (s.empty()) return false;
            t.negative = s[0] == '-';
            if (s[0] == '-' || s[0] == '+') s.erase(0, 1);
            const size_t dot = s.find('.');
            t.scale = dot == std::string::npos ? 0 : static_cast<int>(s.size() - dot - 1);
            if (dot != std::string::npos) s.erase(dot, 1);
            if (s.empty()) return false;
            for (char c : s)
                if (c < '0' || c > '9') return false;
            t.digits = s;
            return true;
        }
        default:
            return false;
    }
}

// Rounds half up (away from zero) to `decimals` and formats as the field text, right-aligned
// in `width`. False when it does not fit.
bool FormatNumberField(DecimalText t, int decimals, uint32_t width, char* dst) {
    if (t.scale > decimals) {
        const size_t cut = static_cast<size_t>(t.scale - decimals);
        if (t.digits.size() < cut) t.digits.insert(0, cut - t.digits.size(), '0');
        const bool roundUp = t.digits[t.digits.size() - cut] >= '5';
        t.digits.resize(t.digits.size() - cut);
        if (roundUp) {
            int k = static_cast<int>(t.digits.size()) - 1;
            while (k >= 0 && t.digits[static_cast<size_t>(k)] == '9') t.digits[static_cast<size_t>(k--)] = '0';
            if (k < 0)
                t.digits.insert(0, 1, '1');
            else
                ++t.digits[static_cast<size_t>(k)];
        }
        t.scale = decimals;
    }
    while (t.scale < decimals) {
        t.digits.push_back('0');
        ++t.scale;
    }
    // Integer and fraction parts.
    if (t.digits.size() < static_cast<size_t>(decimals) + 1)
        t.digits.insert(0, static_cast<size_t>(decimals) + 1 - t.digits.size(), '0');
    size_t lead = 0;
    while (lead + 1 < t.digits.size() - static_cast<size_t>(decimals) && t.digits[lead] == '0') ++lead;
    t.digits.erase(0, lead);
    std::string text;
    const bool isZero = t.digits.find_first_not_of('0') == std::string::npos;
    if (t.negative && !isZero) text.push_back('-');
    text.append(t.digits, 0, t.digits.size() - static_cast<size_t>(decimals));
    if (decimals > 0) {
        text.push_back('.');
        text.append(t.digits, t.digits.size() - static_cast<size_t>(decimals), std::string::npos);
    }
    if (text.size() > width) return false;
    std::memset(dst, ' ', width - text.size());
    std::memcpy(dst + (width - text.size()), text.data(), text.size());
    return true;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

bool FileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

void TodayBytes(char* p) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    p[0] = static_cast<char>(tm.tm_year & 0xFF);  // years since 1900
    p[1] = static_cast<char>(tm.tm_mon + 1);
    p[2] = static_cast<char>(tm.tm_mday);
}

}  // namespace

// ------------------------------------------------------------------------------------ open

DbfTable::~DbfTable() {
    try {
        Close();
    } catch (...) {
    }
}

std::unique_ptr<DbfTable> DbfTable::Open(const std::string& path, OpenMode mode) {
    std::unique_ptr<DbfTable> t(new DbfTable());
    t->Load(path, mode);
    return t;
}

void DbfTable::Load(const std::string& path, OpenMode mode) {
    path_ = path;
    file_.Open(path, mode == OpenMode::ReadWrite);
    {
        FileLockGuard lock(file_, LockMode::Shared);
        const uint64_t size = file_.Size();
        char fixed[kDbfFixedHeader] = {};
        const size_t got = file_.ReadAt(0, fixed, sizeof fixed);
        std::string bytes(fixed, got);
        if (got == kDbfFixedHeader) {
            const uint16_t headerLength =
                static_cast<uint16_t>(static_cast<uint8_t>(fixed[8]) | (static_cast<uint8_t>(fixed[9]) << 8));
            // Only read what the file really has; the parser reports a length beyond it.
            if (headerLength > got && headerLength <= size) {
                bytes.resize(headerLength);
                file_.ReadExactly(got, bytes.data() + got, headerLength - got, "header");
            }
        }
        header_ = ParseDbfHeader(bytes, size, path);
        recordCount_ = header_.recordCount;
        freshGeneration_ = file_.LockGeneration();
    }

    // Code page: the level 7 driver name, else the driver byte, else the default.
    int codePage = codepage::kDefaultCodePage;
    std::string driverName;
    if (header_.level7 && !header_.languageDriverName.empty()) {
        driverName = header_.languageDriverName.substr(0, 31);
        if (const auto* d = codepage::FindDbaseDriverByName(driverName))
            codePage = d->codePage;
        else if (const auto* d2 = codepage::FindDbaseDriver(header_.languageDriverId))
            codePage = d2->codePage;
    } else if (const auto* d = codepage::FindDbaseDriver(header_.languageDriverId)) {
        codePage = d->codePage;
        driverName = d->name;
    }
    conv_ = std::make_unique<codepage::CodePageConverter>(codePage);

    if (header_.hasMemoFields) {
        std::vector<std::pair<const char*, MemoKind>> candidates;
        if (header_.memoKind == MemoKind::Fpt) {
            candidates = {{".fpt", MemoKind::Fpt}};
        } else if (header_.memoKind == MemoKind::Probe) {
            candidates = {{".dbt", MemoKind::Probe}, {".fpt", MemoKind::Fpt}};
        } else {
            candidates = {{".dbt", header_.memoKind}};
        }
        bool opened = false;
        for (const auto& [ext, kind] : candidates) {
            const std::string name = FindCompanion(path, ext);
            if (name.empty()) continue;
            memo_.Open(name, kind, mode == OpenMode::ReadWrite && !header_.foxPro);
            opened = true;
            break;
        }
        if (!opened)
            throw EngineError("The memo file \"" + CompanionPath(path, candidates.front().first) + "\" of table \"" +
                                  path + "\" is missing",
                              errc::kNotFound);
    }

    for (size_t k = 0; k < header_.fields.size(); ++k) {
        const DbfField& f = header_.fields[k];
        if (f.kind == FieldKind::NullFlags) continue;
        FieldDesc d = DescribeField(f, header_);
        d.name = conv_->ToUtf8(f.name);
        fields_.push_back(std::move(d));
        fieldMap_.push_back(k);
    }

    // dBASE's production index: its tags are listed and kept current.
    if (!header_.foxPro && header_.mdxFlag != 0) {
        mdx_.path = FindCompanion(path, ".mdx");
        if (!mdx_.path.empty()) LoadIndexFile();
    }
    readOnly_ = mode == OpenMode::ReadOnly || header_.foxPro;
    props_.name = BaseName(path);
    props_.typeName = TableTypeName(header_);
    props_.fieldCount = static_cast<uint32_t>(fields_.size());
    props_.recordBufferSize = header_.recordLength;
    props_.level = static_cast<uint32_t>(header_.level);
    props_.languageDriver = driverName.substr(0, 31);
    props_.codePage = conv_->CodePage();
}

void DbfTable::Close() {
    if ((pendingCount_ > 0 || mdx_.dirty) && file_.IsOpen()) {
        try {
            FlushAppends();
            if (mdx_.dirty) WriteIndexFile();
        } catch (...) {
            memo_.Close();
            file_.Close();
            throw;
        }
    }
    memo_.Close();
    file_.Close();
    chunk_.clear();
    chunk_.shrink_to_fit();
    chunkCount_ = 0;
}

void DbfTable::ReadCountLocked() {
    char b[4];
    file_.ReadExactly(4, b, 4, "header");
    uint32_t count = LeU32(b);
    if (count == 0) {
        const uint64_t dataBytes = file_.Size() - std::min<uint64_t>(file_.Size(), header_.headerLength);
        count = static_cast<uint32_t>(std::min<uint64_t>(dataBytes / header_.recordLength, UINT32_MAX));
    }
    chunkCount_ = 0;
    recordCount_ = count;
    // Level 7 auto-increment counters live in the descriptors.
    if (header_.level7) {
        for (size_t k = 0; k < header_.fields.size(); ++k) {
            DbfField& f = header_.fields[k];
            if (f.kind != FieldKind::AutoInc7) continue;
            char c[4];
            file_.ReadExactly(header_.DescriptorStart() + k * header_.DescriptorSize() + 40, c, 4, "field descriptor");
            f.autoIncNext = LeU32(c);
        }
    }
    freshGeneration_ = file_.LockGeneration();
}

void DbfTable::Refresh() {
    FlushAppends();
    FileLockGuard lock(file_, LockMode::Shared);
    ReadCountLocked();
}

void DbfTable::EnsureFresh() {
    if (freshGeneration_ == file_.LockGeneration()) return;
    FlushAppends();  // kept-back records belong before whatever the file says now
    ReadCountLocked();
}

// ---------------------------------------------------------------------------------- reading

void DbfTable::CheckSlot(uint32_t recNo) const {
    if (recNo >= recordCount_)
        throw EngineError("Record " + std::to_string(uint64_t{recNo} + 1) + " is beyond the end of table \"" + path_ +
                              "\" (" + std::to_string(recordCount_) + " records)",
                          errc::kInvalidParameter);
}

const char* DbfTable::RecordBytes(uint32_t recNo) {
    CheckSlot(recNo);
    // Kept-back appends reach the file before any read that could touch their places.
    if (pendingCount_ > 0 && (recNo >= pendingFirst_ || recNo < chunkFirst_ || recNo >= chunkFirst_ + chunkCount_))
        FlushAppends();
    const uint32_t recLen = header_.recordLength;
    if (recNo < chunkFirst_ || recNo >= chunkFirst_ + chunkCount_) {
        // A large block for reading on from the start or from the last block; a small one for
        // a record picked out of the middle (a lookup through an index).
        const bool onward = recNo == 0 || (chunkCount_ > 0 && recNo == chunkFirst_ + chunkCount_);
        const uint32_t perChunk =
            std::max<uint32_t>(1, static_cast<uint32_t>((onward ? kChunkBytes : kProbeBytes) / recLen));
        const uint32_t n = std::min(perChunk, recordCount_ - recNo);
        chunk_.resize(static_cast<size_t>(n) * recLen);
        size_t got;
        {
            // A writer holds the lock exclusively while it writes a record, so a block read
            // under the shared lock never holds half a record.
            FileLockGuard lock(file_, LockMode::Shared);
            got = file_.ReadAt(header_.headerLength + uint64_t{recNo} * recLen, chunk_.data(), chunk_.size());
        }
        const uint32_t complete = static_cast<uint32_t>(got / recLen);
        if (complete == 0) {
            chunkCount_ = 0;
            const uint64_t size = file_.Size();
            const uint64_t have = size > header_.headerLength ? (size - header_.headerLength) / recLen : 0;
            throw EngineError("Table \"" + path_ + "\" is truncated: record " + std::to_string(uint64_t{recNo} + 1) +
                                  " of " + std::to_string(recordCount_) + " cannot be read; the file holds " +
                                  std::to_string(have) + " complete records",
                              errc::kCorruptFile);
        }
        chunkFirst_ = recNo;
        chunkCount_ = complete;
    }
    return chunk_.data() + static_cast<size_t>(recNo - chunkFirst_) * recLen;
}

uint64_t DbfTable::MemoPointer(const char* rec, const DbfField& f) const {
    const char* p = rec + f.offset;
    if (f.kind == FieldKind::Memo4) return LeU32(p);
    uint64_t v = 0;
    bool digits = false;
    for (uint32_t k = 0; k < f.width; ++k) {
        const char c = p[k];
        if (c >= '0' && c <= '9') {
            v = v * 10 + static_cast<uint64_t>(c - '0');
            digits = true;
        } else if (c == ' ' || c == '\0') {
            if (digits) {
                // Trailing blanks after the digits are accepted; anything after them is not.
                for (uint32_t q = k; q < f.width; ++q)
                    if (p[q] != ' ' && p[q] != '\0')
                        throw EngineError(
                            "Corrupt table \"" + path_ + "\": field " + f.name + " holds an invalid memo pointer",
                            errc::kCorruptFile);
                break;
            }
        } else {
            throw EngineError("Corrupt table \"" + path_ + "\": field " + f.name + " holds an invalid memo pointer",
                              errc::kCorruptFile);
        }
    }
    return v;
}

void DbfTable::DecodeMemo(const char* rec, const DbfField& f, Value& out) {
    const uint64_t block = MemoPointer(rec, f);
    if (block == 0) {
        out.SetNull();
        return;
    }
    {
        FileLockGuard lock(file_, LockMode::Shared);
        memo_.Read(block, scratch_);
    }
    if (f.binaryBlob) {
        out.kind = ValueKind::Bytes;
        out.s.swap(scratch_);
    } else {
        out.kind = ValueKind::Text;
        conv_->ToUtf8(scratch_, out.s);
    }
}

void DbfTable::DecodeField(const char* rec, const DbfField& f, Value& out) {
    const char* p = rec + f.offset;
    if (f.nullBit >= 0) {
        const DbfField& nf = header_.fields[static_cast<size_t>(header_.nullFlagsField)];
        const auto byte = static_cast<uint8_t>(rec[nf.offset + static_cast<uint32_t>(f.nullBit / 8)]);
        if ((byte >> (f.nullBit % 8)) & 1) {
            out.SetNull();
            return;
        }
    }
    switch (f.kind) {
        case FieldKind::Char: {
            size_t n = f.width;
            while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
            if (n == 0) {
                // dBASE has no null marker: blank text reads as null.
                out.SetNull();
                return;
            }
            out.kind = ValueKind::Text;
            conv_->ToUtf8(std::string_view(p, n), out.s);
            return;
        }
        case FieldKind::Number:
            ParseNumber(p, f.width, f.decimals, out);
            return;
        case FieldKind::Date: {
            int64_t day;
            if (ParseDate8(p, day))
                out.SetDate(day);
            else
                out.SetNull();
            return;
        }
        case FieldKind::Logical:
            switch (p[0]) {
                case 'T':
                case 't':
                case 'Y':
                case 'y':
                    out.SetBool(true);
                    return;
                case 'F':
                case 'f':
                case 'N':
                case 'n':
                    out.SetBool(false);
                    return;
                default:
                    out.SetNull();
                    return;
            }
        case FieldKind::Memo10:
        case FieldKind::Memo4:
            DecodeMemo(rec, f, out);
            return;
        case FieldKind::Long7:
        case FieldKind::AutoInc7: {
            if (AllBytes(p, 4, '\0')) {
                out.SetNull();
                return;
            }
            const auto* u = reinterpret_cast<const unsigned char*>(p);
            const uint32_t raw = (uint32_t{u[0]} << 24) | (uint32_t{u[1]} << 16) | (uint32_t{u[2]} << 8) | u[3];
            out.SetInt(static_cast<int64_t>(raw) - 0x80000000LL);
            return;
        }
        case FieldKind::Double7: {
            if (AllBytes(p, 8, '\0')) {
                out.SetNull();
                return;
            }
            uint64_t bits = BeU64(p);
            bits = (bits & 0x8000000000000000ull) ? bits ^ 0x8000000000000000ull : ~bits;
            double d;
            std::memcpy(&d, &bits, 8);
            out.SetDouble(d);
            return;
        }
        case FieldKind::Timestamp7: {
            if (AllBytes(p, 8, '\0')) {
                out.SetNull();
                return;
            }
            const uint64_t bits = BeU64(p);
            double d;
            std::memcpy(&d, &bits, 8);
            if (!std::isfinite(d) || d < kMsPerDay || d >= 3'652'060.0 * kMsPerDay) {
                out.SetNull();
                return;
            }
            out.SetTimestamp(std::llround(d));
            return;
        }
        case FieldKind::FoxInt:
            out.SetInt(static_cast<int32_t>(LeU32(p)));
            return;
        case FieldKind::FoxDouble: {
            const uint64_t bits = LeU64(p);
            double d;
            std::memcpy(&d, &bits, 8);
            out.SetDouble(d);
            return;
        }
        case FieldKind::FoxCurrency:
            out.SetDecimal(static_cast<int64_t>(LeU64(p)), 4);
            return;
        case FieldKind::FoxDateTime: {
            const uint32_t julian = LeU32(p);
            const uint32_t ms = LeU32(p + 4);
            if (julian == 0 || AllBytes(p, 8, ' ')) {
                out.SetNull();
                return;
            }
            const int64_t day = int64_t{julian} - 1721425;
            if (day < 1 || day > 3'652'059 || ms >= kMsPerDay) {
                out.SetNull();
                return;
            }
            out.SetTimestamp(day * kMsPerDay + ms);
            return;
        }
        case FieldKind::NullFlags:
        case FieldKind::Raw:
            out.kind = ValueKind::Bytes;
            out.s.assign(p, f.width);
            return;
    }
}

bool DbfTable::ReadRecord(uint32_t recNo, Record& out, const std::vector<bool>* columns) {
    const char* rec = RecordBytes(recNo);
    if (rec[0] == '*') return false;
    out.resize(fields_.size());
    for (size_t k = 0; k < fields_.size(); ++k) {
        if (columns && (k >= columns->size() || !(*columns)[k])) {
            out[k].SetNull();
            continue;
        }
        DecodeField(rec, header_.fields[fieldMap_[k]], out[k]);
    }
    return true;
}

void DbfTable::ReadRawRecord(uint32_t recNo, std::string& out) {
    const char* rec = RecordBytes(recNo);
    out.assign(rec, header_.recordLength);
}

// ---------------------------------------------------------------------------------- writing

void DbfTable::RequireWritable() {
    if (header_.foxPro)
        throw EngineError("Table \"" + path_ + "\" is a FoxPro table, which Tessel only reads", errc::kReadOnly);
    if (readOnly_) throw EngineError("Table \"" + path_ + "\" is open read-only", errc::kReadOnly);
    if (!mdx_.path.empty())
        RequireIndexKept();
    else if (header_.mdxFlag != 0)
        WriteIndexFlags();  // the header claims an index that does not exist
}

void DbfTable::FieldError(const DbfField& f, const std::string& what, int code) const {
    throw EngineError("Field " + conv_->ToUtf8(f.name) + " of table \"" + path_ + "\": " + what, code);
}

void DbfTable::EncodeField(const DbfField& f, const FieldDesc& desc, const Value& v, char* dst,
                           std::vector<PendingBlob>& blobs) {
    const bool null = v.IsNull() || (v.kind == ValueKind::Text && v.s.empty() && f.kind != FieldKind::Char &&
                                     f.kind != FieldKind::Memo10);
    auto mismatch = [&]() { FieldError(f, "type mismatch (" + FormatValue(v) + ")", errc::kInvalidParameter); };
    switch (f.kind) {
        case FieldKind::Char: {
            std::memset(dst, ' ', f.width);
            if (null) return;
            if (v.kind == ValueKind::Bytes) mismatch();
            const std::string text = v.kind == ValueKind::Text ? std::string() : FormatValue(v);
            const std::string_view utf8 = v.kind == ValueKind::Text ? std::string_view(v.s) : text;
            char32_t bad = 0;
            if (!conv_->FromUtf8(utf8, scratch_, f.width, &bad)) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(bad));
                FieldError(f,
                           std::string("the character ") + buf + " has no place in code page " +
                               std::to_string(conv_->CodePage()),
                           errc::kInvalidParameter);
            }
            std::memcpy(dst, scratch_.data(), scratch_.size());
            return;
        }
        case FieldKind::Number: {
            if (null) {
                std::memset(dst, ' ', f.width);
                return;
            }
            DecimalText t;
            if (!ToDecimalText(v, t)) mismatch();
            if (!FormatNumberField(t, f.decimals, f.width, dst))
                FieldError(f,
                           "the value " + FormatValue(v) + " does not fit " + std::string(1, f.type) + "(" +
                               std::to_string(f.width) + "," + std::to_string(f.decimals) + ")",
                           errc::kInvalidParameter);
            return;
        }
        case FieldKind::Date: {
            if (null) {
                std::memset(dst, ' ', 8);
                return;
            }
            int64_t day = 0;
            if (v.kind == ValueKind::Date)
                day = v.i;
            else if (v.kind == ValueKind::Timestamp)
                day = v.i / kMsPerDay;
            else if (v.kind == ValueKind::Text) {
                int y, m, d;
                if (std::sscanf(v.s.c_str(), "%4d-%2d-%2d", &y, &m, &d) != 3 || !IsValidDate(y, m, d)) mismatch();
                day = DayNumber(y, m, d);
            } else {
                mismatch();
            }
            int y, m, d;
            CivilFromDayNumber(day, y, m, d);
            if (y < 1 || y > 9999) FieldError(f, "date out of range", errc::kInvalidParameter);
            char buf[16];
            std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
            std::memcpy(dst, buf, 8);
            return;
        }
        case FieldKind::Logical: {
            if (null) {
                dst[0] = header_.level7 ? ' ' : '?';
                return;
            }
            bool b = false;
            if (v.kind == ValueKind::Bool || v.kind == ValueKind::Int)
                b = v.i != 0;
            else if (v.kind == ValueKind::Text &&
                     (v.s == "T" || v.s == "t" || v.s == "TRUE" || v.s == "true" || v.s == "Y"))
                b = true;
            else if (v.kind == ValueKind::Text &&
                     (v.s == "F" || v.s == "f" || v.s == "FALSE" || v.s == "false" || v.s == "N"))
                b = false;
            else
                mismatch();
            dst[0] = b ? 'T' : 'F';
            return;
        }
        case FieldKind::Memo10: {
            std::memset(dst, ' ', f.width);
            if (null) return;
            PendingBlob blob;
            blob.field = static_cast<size_t>(&f - header_.fields.data());
            if (v.kind == ValueKind::Bytes) {
                blob.data = v.s;
            } else if (v.kind == ValueKind::Text && !f.binaryBlob) {
                char32_t bad = 0;
                if (!conv_->FromUtf8(v.s, blob.data, SIZE_MAX, &bad)) {
                    char buf[16];
                    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(bad));
                    FieldError(f,
                               std::string("the character ") + buf + " has no place in code page " +
                                   std::to_string(conv_->CodePage()),
                               errc::kInvalidParameter);
                }
            } else if (v.kind == ValueKind::Text) {
                blob.data = v.s;
            } else {
                blob.data = FormatValue(v);
            }
            if (blob.data.empty() && v.kind == ValueKind::Text) return;  // empty memo: no block
            if (memo_.Kind() == MemoKind::Dbt3 && blob.data.find('\x1A') != std::string::npos)
                FieldError(f, "the value contains the byte 0x1A, which a dBASE III memo cannot hold",
                           errc::kInvalidParameter);
            blobs.push_back(std::move(blob));
            return;
        }
        case FieldKind::Long7:
        case FieldKind::AutoInc7: {
            if (null) {
                std::memset(dst, 0, 4);
                return;
            }
            int64_t i = 0;
            if (v.kind == ValueKind::Int || v.kind == ValueKind::Bool)
                i = v.i;
            else if (v.kind == ValueKind::Decimal && v.scale >= 0 && v.scale <= 18 && v.i % kPow10[v.scale] == 0)
                i = v.i / kPow10[v.scale];
            else if (v.kind == ValueKind::Double && std::nearbyint(v.d) == v.d && std::fabs(v.d) < 3e9)
                i = static_cast<int64_t>(v.d);
            else
                mismatch();
            if (i < INT32_MIN || i > INT32_MAX)
                FieldError(f, "the value " + std::to_string(i) + " does not fit a 32-bit integer",
                           errc::kInvalidParameter);
            const uint32_t raw = static_cast<uint32_t>(i + 0x80000000LL);
            dst[0] = static_cast<char>(raw >> 24);
            dst[1] = static_cast<char>(raw >> 16);
            dst[2] = static_cast<char>(raw >> 8);
            dst[3] = static_cast<char>(raw);
            return;
        }
        case FieldKind::Double7: {
            if (null) {
                std::memset(dst, 0, 8);
                return;
            }
            if (v.kind != ValueKind::Int && v.kind != ValueKind::Double && v.kind != ValueKind::Decimal &&
                v.kind != ValueKind::Bool)
                mismatch();
            const double d = v.AsDouble();
            uint64_t bits;
            std::memcpy(&bits, &d, 8);
            bits = (bits & 0x8000000000000000ull) ? ~bits : bits | 0x8000000000000000ull;
            PutBeU64(dst, bits);
            return;
        }
        case FieldKind::Timestamp7: {
            if (null) {
                std::memset(dst, 0, 8);
                return;
            }
            int64_t ms = 0;
            if (v.kind == ValueKind::Timestamp)
                ms = v.i;
            else if (v.kind == ValueKind::Date)
                ms = v.i * kMsPerDay;
            else
                mismatch();
            if (ms < kMsPerDay) FieldError(f, "timestamp out of range", errc::kInvalidParameter);
            const double d = static_cast<double>(ms);
            uint64_t bits;
            std::memcpy(&bits, &d, 8);
            PutBeU64(dst, bits);
            return;
        }
        default:
            (void)desc;
            FieldError(f, "Tessel cannot write fields of type " + std::string(1, f.type), errc::kNotSupported);
    }
}

void DbfTable::EncodeRecord(const Record& values, std::string& rec, std::vector<PendingBlob>& blobs) {
    if (values.size() != fields_.size())
        throw EngineError("Table \"" + path_ + "\" has " + std::to_string(fields_.size()) + " fields, but " +
                              std::to_string(values.size()) + " values were given",
                          errc::kInvalidParameter);
    rec.assign(header_.recordLength, ' ');
    blobs.clear();
    for (size_t k = 0; k < fields_.size(); ++k) {
        const DbfField& f = header_.fields[fieldMap_[k]];
        EncodeField(f, fields_[k], values[k], rec.data() + f.offset, blobs);
    }
}

void DbfTable::WriteBlobs(std::string& rec, std::vector<PendingBlob>& blobs, const std::string* oldRec) {
    for (auto& blob : blobs) {
        const DbfField& f = header_.fields[blob.field];
        const uint64_t oldBlock = oldRec ? MemoPointer(oldRec->data(), f) : 0;
        uint32_t block;
        try {
            block = memo_.Write(blob.data, oldBlock);
        } catch (const EngineError& e) {
            FieldError(f, e.what(), e.Code());
        }
        const std::string digits = std::to_string(block);
        char* dst = rec.data() + f.offset;
        std::memset(dst, ' ', f.width);
        std::memcpy(dst + (f.width - digits.size()), digits.data(), digits.size());
    }
}

void DbfTable::Unlock() {
    // The outermost hold writes what was kept back: the appends, then the index.
    const bool last = file_.Depth() == 1;
    if (pendingCount_ > 0 || (last && mdx_.dirty)) {
        try {
            FlushAppends();
            if (last && mdx_.dirty) WriteIndexFile();
        } catch (...) {
            file_.Unlock();
            throw;
        }
    }
    file_.Unlock();
}

void DbfTable::FlushAppends() {
    if (pendingCount_ == 0) return;
    try {
        FileLockGuard lock(file_, LockMode::Exclusive);
        pending_.push_back('\x1A');
        file_.WriteAt(header_.headerLength + uint64_t{pendingFirst_} * header_.recordLength, pending_);
        WriteHeaderUpdate(pendingFirst_ + pendingCount_);
    } catch (...) {
        // The kept records are lost: the table is as it was before them.
        recordCount_ = pendingFirst_;
        chunkCount_ = 0;
        pending_.clear();
        pendingCount_ = 0;
        throw;
    }
    pending_.clear();
    pendingCount_ = 0;
}

void DbfTable::WriteHeaderUpdate(uint32_t count) {
    char b[7];
    TodayBytes(b);
    PutLeU32(b + 3, count);
    file_.WriteAt(1, b, 7);
}

uint32_t DbfTable::AppendRecord(const Record& values) {
    RequireWritable();
    EncodeRecord(values, encoded_, blobs_);
    const bool held = file_.HoldsExclusive();
    const bool callerHolds = file_.HoldsLock();
    FileLockGuard lock(file_, LockMode::Exclusive);
    EnsureFresh();
    const uint32_t count = recordCount_;
    if (count == UINT32_MAX) throw EngineError("Table \"" + path_ + "\" is full", errc::kIo);
    // Level 7 auto-increment fields: the next number unless a value was given.
    bool countersChanged = false;
    for (size_t k = 0; k < fields_.size(); ++k) {
        DbfField& f = header_.fields[fieldMap_[k]];
        if (f.kind != FieldKind::AutoInc7) continue;
        int64_t v;
        if (values[k].IsNull()) {
            v = std::max<int64_t>(1, f.autoIncNext);
            Value given = Value::Int(v);
            EncodeField(f, fields_[k], given, encoded_.data() + f.offset, blobs_);
        } else {
            Value decoded;
            DecodeField(encoded_.data(), f, decoded);
            v = decoded.i;
        }
        if (v + 1 > int64_t{f.autoIncNext} && v + 1 <= INT32_MAX) {
            f.autoIncNext = static_cast<uint32_t>(v + 1);
            countersChanged = true;
        }
    }
    WriteBlobs(encoded_, blobs_, nullptr);
    NoteIndexChange(count, nullptr, encoded_.data());
    // Held exclusively by the caller (a batch of appends): kept back and written in pieces.
    const bool keep = held && !countersChanged;
    if (!keep) FlushAppends();
    if (keep) {
        if (pendingCount_ == 0) pendingFirst_ = count;
        pending_.append(encoded_);
        ++pendingCount_;
    } else {
        // The record and the end mark first, the header after: until the header counts it, no
        // reader sees the record.
        encoded_.push_back('\x1A');
        file_.WriteAt(header_.headerLength + uint64_t{count} * header_.recordLength, encoded_);
        encoded_.pop_back();
    }
    if (countersChanged) {
        for (size_t k = 0; k < header_.fields.size(); ++k) {
            const DbfField& f = header_.fields[k];
            if (f.kind != FieldKind::AutoInc7) continue;
            char c[4];
            PutLeU32(c, f.autoIncNext);
            file_.WriteAt(header_.DescriptorStart() + k * header_.DescriptorSize() + 40, c, 4);
        }
    }
    if (!keep) WriteHeaderUpdate(count + 1);
    recordCount_ = count + 1;
    if (keep && pending_.size() >= kPendingBytes) FlushAppends();
    if (chunkCount_ > 0 && chunkFirst_ + chunkCount_ == count &&
        chunk_.size() >= (uint64_t{chunkCount_} + 1) * header_.recordLength) {
        std::memcpy(chunk_.data() + uint64_t{chunkCount_} * header_.recordLength, encoded_.data(),
                    header_.recordLength);
        ++chunkCount_;
    }
    AfterWrite(callerHolds);
    return count;
}

void DbfTable::UpdateRecord(uint32_t recNo, const Record& values) {
    RequireWritable();
    FlushAppends();
    EncodeRecord(values, encoded_, blobs_);
    const bool callerHolds = file_.HoldsLock();
    FileLockGuard lock(file_, LockMode::Exclusive);
    EnsureFresh();
    CheckSlot(recNo);
    const uint64_t offset = header_.headerLength + uint64_t{recNo} * header_.recordLength;
    std::string old(header_.recordLength, '\0');
    file_.ReadExactly(offset, old.data(), old.size(), "record");
    encoded_[0] = old[0];  // the deletion mark stays as it is
    for (size_t k = 0; k < fields_.size(); ++k) {
        const DbfField& f = header_.fields[fieldMap_[k]];
        if (f.kind == FieldKind::AutoInc7 && values[k].IsNull())
            std::memcpy(encoded_.data() + f.offset, old.data() + f.offset, 4);
    }
    WriteBlobs(encoded_, blobs_, &old);
    file_.WriteAt(offset, encoded_);
    NoteIndexChange(recNo, old.data(), encoded_.data());
    WriteHeaderUpdate(recordCount_);
    if (recNo >= chunkFirst_ && recNo < chunkFirst_ + chunkCount_)
        std::memcpy(chunk_.data() + uint64_t{recNo - chunkFirst_} * header_.recordLength, encoded_.data(),
                    header_.recordLength);
    AfterWrite(callerHolds);
}

void DbfTable::DeleteRecord(uint32_t recNo) {
    RequireWritable();
    FlushAppends();
    FileLockGuard lock(file_, LockMode::Exclusive);
    EnsureFresh();
    CheckSlot(recNo);
    file_.WriteAt(header_.headerLength + uint64_t{recNo} * header_.recordLength, "*", 1);
    WriteHeaderUpdate(recordCount_);
    if (recNo >= chunkFirst_ && recNo < chunkFirst_ + chunkCount_)
        chunk_[uint64_t{recNo - chunkFirst_} * header_.recordLength] = '*';
    // The index keeps a deleted record's entries (as dBASE does) until the table is packed.
}

void DbfTable::WriteRawRecord(uint32_t recNo, std::string_view bytes) {
    RequireWritable();
    FlushAppends();
    if (bytes.size() != header_.recordLength)
        throw EngineError(
            "A raw record for \"" + path_ + "\" must have " + std::to_string(header_.recordLength) + " bytes",
            errc::kInvalidParameter);
    const bool callerHolds = file_.HoldsLock();
    FileLockGuard lock(file_, LockMode::Exclusive);
    EnsureFresh();
    CheckSlot(recNo);
    const uint64_t offset = header_.headerLength + uint64_t{recNo} * header_.recordLength;
    if (!mdx_.path.empty()) {
        oldRecord_.resize(header_.recordLength);
        file_.ReadExactly(offset, oldRecord_.data(), oldRecord_.size(), "record");
    }
    file_.WriteAt(offset, bytes);
    chunkCount_ = 0;
    if (!mdx_.path.empty()) NoteIndexChange(recNo, oldRecord_.data(), bytes.data());
    AfterWrite(callerHolds);
}

void DbfTable::Pack() {
    RequireWritable();
    FlushAppends();
    const bool callerHolds = file_.HoldsLock();
    FileLockGuard lock(file_, LockMode::Exclusive);
    EnsureFresh();
    // Live records move down in order; a write always lands at or before the place it was read
    // from, so an interrupted pack can duplicate a record but never lose one.
    const uint32_t recLen = header_.recordLength;
    std::string rec(recLen, '\0');
    uint32_t kept = 0;
    for (uint32_t k = 0; k < recordCount_; ++k) {
        const uint64_t from = header_.headerLength + uint64_t{k} * recLen;
        file_.ReadExactly(from, rec.data(), recLen, "record");
        if (rec[0] == '*') continue;
        if (kept != k) file_.WriteAt(header_.headerLength + uint64_t{kept} * recLen, rec);
        ++kept;
    }
    const uint64_t end = header_.headerLength + uint64_t{kept} * recLen;
    file_.WriteAt(end, "\x1A", 1);
    WriteHeaderUpdate(kept);
    file_.Truncate(end + 1);
    recordCount_ = kept;
    chunkCount_ = 0;
    mdx_.full = true;  // record numbers changed
    AfterWrite(callerHolds);
}

// ------------------------------------------------------------------------ production index

namespace {

// The identity of an index file: another program that rewrites it changes one of these.
std::string IndexStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + ":" + std::to_string(st.st_ino);
}

std::string ReadWholeFile(const std::string& path) {
    LockedFile f;
    f.Open(path, false);
    std::string bytes(static_cast<size_t>(f.Size()), '\0');
    f.ReadExactly(0, bytes.data(), bytes.size(), "index file");
    return bytes;
}

}  // namespace

void DbfTable::LoadIndexFile() {
    mdx_.file = MdxFile();
    mdx_.damaged.clear();
    mdx_.notKept.clear();
    mdx_.checked = false;
    mdx_.full = true;
    mdx_.stamp = IndexStamp(mdx_.path);
    try {
        mdx_.file = MdxFile::Read(ReadWholeFile(mdx_.path), mdx_.path);
    } catch (const EngineError& e) {
        // The table is still read; it lists no tags and is not written until the index is
        // mended or removed.
        mdx_.damaged = e.what();
        mdx_.file = MdxFile();
    }
    for (auto& tag : mdx_.file.Tags()) {
        const std::string why = ResolveMdxTag(tag, header_);
        if (!why.empty() && mdx_.notKept.empty()) mdx_.notKept = conv_->ToUtf8(why);
    }
    ListIndexes();
}

void DbfTable::ListIndexes() {
    indexes_.clear();
    for (const auto& tag : mdx_.file.Tags()) {
        IndexDesc d;
        d.name = conv_->ToUtf8(tag.name);
        if (tag.fields.empty()) {
            d.fields = conv_->ToUtf8(tag.expression);
        } else {
            for (size_t f : tag.fields) {
                if (!d.fields.empty()) d.fields += ';';
                d.fields += conv_->ToUtf8(header_.fields[f].name);
            }
        }
        d.unique = tag.unique;
        d.descending = tag.descending;
        indexes_.push_back(std::move(d));
    }
    props_.indexCount = static_cast<uint32_t>(indexes_.size());
}

void DbfTable::RequireIndexKept() {
    // The file is looked at once per hold of the table's lock (a Tessel writer needs that lock
    // to change it), and at every call made without one.
    const bool lookedAt = file_.HoldsLock() && mdx_.keptGeneration == file_.LockGeneration();
    if (!lookedAt && IndexStamp(mdx_.path) != mdx_.stamp) LoadIndexFile();  // another program rewrote it
    auto refuse = [&](const std::string& why) {
        throw EngineError("Table \"" + path_ + "\" is read-only: " + why, errc::kReadOnly);
    };
    if (!mdx_.damaged.empty()) refuse("its production index cannot be read. " + mdx_.damaged);
    if (mdx_.notKept.empty() && !mdx_.checked) {
        // Another program may order character keys by a language driver's collation: a key
        // put in by byte order could be missed by that program's searches.
        for (size_t t = 0; t < mdx_.file.Tags().size() && mdx_.notKept.empty(); ++t) {
            const std::string tag = conv_->ToUtf8(mdx_.file.Tags()[t].name);
            if (!mdx_.file.InKeyOrder(t))
                mdx_.notKept = "the keys of tag " + tag +
                               " are in an order other than their bytes' (a language driver's sort order)";
            else if (mdx_.file.Tags()[t].keyType == 'C' && !mdx_.file.CharactersInByteOrder())
                mdx_.notKept = "the character keys of tag " + tag +
                               " were put in order by another program, which may follow a language driver's sort order";
        }
    }
    if (!mdx_.notKept.empty())
        refuse("Tessel cannot keep its production index \"" + mdx_.path + "\" current (" + mdx_.notKept + ")");
    // A change the index cannot follow must not reach the table either.
    if (!lookedAt) {
        if (::access(mdx_.path.c_str(), W_OK) != 0) {
            const int err = errno;
            throw EngineError("Table \"" + path_ + "\" is read-only: its production index \"" + mdx_.path +
                                  "\" cannot be written: " + std::strerror(err),
                              errc::kReadOnly, err);
        }
        mdx_.keptGeneration = file_.HoldsLock() ? file_.LockGeneration() : 0;
    }
    if (mdx_.checked) return;
    mdx_.checked = true;
    // Changes go into the tags in place when every tag holds every record (a program that
    // wrote the table without the index leaves fewer); otherwise the next write builds them.
    mdx_.full = false;
    for (size_t t = 0; t < mdx_.file.Tags().size(); ++t)
        if (mdx_.file.Tags()[t].unique || mdx_.file.EntryCount(t) != recordCount_ || !mdx_.file.EachRecordOnce(t))
            mdx_.full = true;
}

void DbfTable::NoteIndexChange(uint32_t slot, const char* oldRecord, const char* newRecord) {
    if (mdx_.path.empty()) return;
    mdx_.dirty = true;
    if (mdx_.full) return;
    // Another program may have written the index since it was read. Looked at once per hold
    // of the table's lock: a Tessel writer needs that lock to change it.
    if (mdx_.stampGeneration != file_.LockGeneration()) {
        mdx_.stampGeneration = file_.LockGeneration();
        if (IndexStamp(mdx_.path) != mdx_.stamp) {
            mdx_.full = true;
            return;
        }
    }
    char oldKey[256], newKey[256];
    for (size_t t = 0; t < mdx_.file.Tags().size(); ++t) {
        const MdxTag& tag = mdx_.file.Tags()[t];
        MakeMdxKey(tag, header_, newRecord, newKey);
        if (oldRecord) {
            MakeMdxKey(tag, header_, oldRecord, oldKey);
            if (std::memcmp(oldKey, newKey, tag.keyLength) == 0) continue;
        }
        if (tag.unique) {
            // One entry per key: a new record's key goes in when no record has it yet; a
            // changed key may have to bring in another record that holds the old one.
            if (oldRecord) {
                mdx_.full = true;
                return;
            }
            if (!mdx_.file.Contains(t, newKey)) mdx_.file.Insert(t, newKey, slot + 1);
            continue;
        }
        if (mdx_.file.EntryCount(t) != (oldRecord ? recordCount_ : slot) ||
            (oldRecord && !mdx_.file.Remove(t, oldKey, slot + 1))) {
            mdx_.full = true;  // the tag does not hold one entry per record as it should
            return;
        }
        mdx_.file.Insert(t, newKey, slot + 1);
    }
}

void DbfTable::AfterWrite(bool callerHolds) {
    if (mdx_.path.empty()) return;
    mdx_.dirty = true;
    if (!callerHolds) WriteIndexFile();
}

void DbfTable::WriteIndexFile() {
    if (mdx_.path.empty()) {
        mdx_.dirty = false;
        return;
    }
    if (mdx_.full) {
        RebuildIndexFile();
        return;
    }
    FileLockGuard lock(file_, LockMode::Exclusive);
    FlushAppends();
    uint8_t today[3];
    TodayBytes(reinterpret_cast<char*>(today));
    const auto changes = mdx_.file.TakeChanges(today);
    // In place, under the table's lock, as the table itself is written: a program that holds
    // the index open sees the new one.
    try {
        LockedFile out;
        if (FileExists(mdx_.path))
            out.Open(mdx_.path, true);
        else
            out.Create(mdx_.path);
        for (const auto& [offset, size] : changes) out.WriteAt(offset, mdx_.file.Bytes().data() + offset, size);
        if (out.Size() > mdx_.file.Bytes().size()) out.Truncate(mdx_.file.Bytes().size());
        out.Close();
    } catch (const EngineError& e) {
        mdx_.stamp.clear();  // read afresh before it is used again
        mdx_.full = true;
        throw EngineError(
            "The production index \"" + mdx_.path + "\" of table \"" + path_ + "\" cannot be written: " + e.what(),
            e.Code());
    }
    mdx_.stamp = IndexStamp(mdx_.path);
    mdx_.dirty = false;
}

// Builds every tag afresh from the records: deleted records keep their entries, as in dBASE,
// until the table is packed.
void DbfTable::RebuildIndexFile() {
    RebuildIndexFile(std::vector<MdxTag>(mdx_.file.Tags()));
}

void DbfTable::RebuildIndexFile(const std::vector<MdxTag>& tags) {
    if (mdx_.path.empty()) {
        mdx_.dirty = false;
        return;
    }
    FileLockGuard lock(file_, LockMode::Exclusive);
    FlushAppends();
    EnsureFresh();
    std::vector<MdxEntries> entries(tags.size());
    for (size_t t = 0; t < entries.size(); ++t) {
        entries[t].keys.reserve(size_t{recordCount_} * tags[t].keyLength);
        entries[t].recNos.reserve(recordCount_);
    }
    char key[256];
    for (uint32_t slot = 0; slot < recordCount_; ++slot) {
        const char* rec = RecordBytes(slot);
        for (size_t t = 0; t < entries.size(); ++t) {
            MakeMdxKey(tags[t], header_, rec, key);
            entries[t].keys.append(key, tags[t].keyLength);
            entries[t].recNos.push_back(slot + 1);
        }
    }
    for (size_t t = 0; t < entries.size(); ++t) SortMdxEntries(tags[t], entries[t]);
    uint8_t today[3];
    TodayBytes(reinterpret_cast<char*>(today));
    MdxFile built = MdxFile::Build(tags, entries, AsciiUpper(BaseName(path_)), today);
    mdx_.file = std::move(built);
    mdx_.full = false;
    mdx_.checked = true;
    mdx_.damaged.clear();
    WriteIndexFile();
}

void DbfTable::WriteIndexFlags() {
    FileLockGuard lock(file_, LockMode::Exclusive);
    const bool any = !mdx_.path.empty() && !mdx_.file.Tags().empty();
    const char flag = any ? 1 : 0;
    file_.WriteAt(28, &flag, 1);
    header_.mdxFlag = static_cast<uint8_t>(flag);
    const size_t at = header_.level7 ? 37 : 31;
    for (size_t k = 0; k < header_.fields.size(); ++k) {
        bool tagged = false;
        for (const auto& tag : mdx_.file.Tags())
            tagged = tagged || (any && tag.fields.size() == 1 && tag.fields[0] == k);
        const char b = tagged ? 1 : 0;
        file_.WriteAt(header_.DescriptorStart() + k * header_.DescriptorSize() + at, &b, 1);
    }
    // A level 3 file that claims an index is read as level 4.
    if (any && header_.version == 0x03 && header_.level == 3) props_.level = header_.level = 4;
}

int DbfTable::SeekableTag(size_t field) const {
    if (mdx_.path.empty() || !mdx_.damaged.empty() || mdx_.dirty || pendingCount_ > 0 || field >= fieldMap_.size())
        return -1;
    for (size_t t = 0; t < mdx_.file.Tags().size(); ++t) {
        const MdxTag& tag = mdx_.file.Tags()[t];
        // A unique tag lacks the records whose key an earlier record has.
        if (tag.fields.empty() || tag.unique || tag.fields.front() != fieldMap_[field]) continue;
        return static_cast<int>(t);
    }
    return -1;
}

bool DbfTable::SeekIndex(size_t field, const Value* lo, const Value* hi, std::vector<uint32_t>& out) {
    if (SeekableTag(field) < 0 || (lo && lo->IsNull()) || (hi && hi->IsNull())) return false;
    FileLockGuard lock(file_, LockMode::Shared);
    EnsureFresh();
    if (IndexStamp(mdx_.path) != mdx_.stamp) LoadIndexFile();  // another program rewrote it
    const int found = SeekableTag(field);
    if (found < 0) return false;
    const size_t t = static_cast<size_t>(found);
    const MdxTag& tag = mdx_.file.Tags()[t];
    // Every record has an entry unless a program wrote the table without the index (or a
    // damaged entry names another record), and the search goes by bytes, which another
    // program's collation may not follow.
    if (mdx_.file.EntryCount(t) != recordCount_ || !mdx_.file.InKeyOrder(t) || !mdx_.file.EachRecordOnce(t))
        return false;
    const DbfField& f = header_.fields[fieldMap_[field]];
    MdxFile::Position at;
    std::function<bool(const char*)> beyond;  // past the upper bound
    if (tag.keyType == 'C') {
        // The first field's bytes lead the key: compare those.
        const size_t w = f.width;
        std::string loKey, hiKey;
        auto encode = [&](const Value& v, char pad, std::string& key) {
            if (v.kind != ValueKind::Text || !conv_->FromUtf8(v.s, key) || key.size() > w) return false;
            key.append(w - key.size(), pad);
            return true;
        };
        if ((lo && !encode(*lo, '\0', loKey)) || (hi && !encode(*hi, ' ', hiKey))) return false;
        if (lo) at = mdx_.file.Find(t, [&](const char* k) { return std::memcmp(k, loKey.data(), w) < 0; });
        if (hi) beyond = [hiKey, w](const char* k) { return std::memcmp(k, hiKey.data(), w) > 0; };
    } else {
        auto number = [&](const Value& b, double& x) {
            if (tag.keyType == 'D') {
                if (b.kind != ValueKind::Date) return false;
                x = static_cast<double>(b.i + kMdxJulianOffset);
                return true;
            }
            if (b.kind != ValueKind::Int && b.kind != ValueKind::Double && b.kind != ValueKind::Decimal) return false;
            x = b.AsDouble();
            return std::isfinite(x);
        };
        double l = 0, h = 0;
        if ((lo && !number(*lo, l)) || (hi && !number(*hi, h))) return false;
        // Numbers: a little slack on each side, so a key that converts to a double a step away
        // from the field's value still lies inside; the caller checks each record again.
        const bool numeric = tag.keyType == 'N';
        if (numeric) {
            l -= 1e-9 * std::max(1.0, std::fabs(l));
            h += 1e-9 * std::max(1.0, std::fabs(h));
        }
        auto value = [numeric](const char* k) { return numeric ? MdxNumberValue(k) : MdxDateValue(k); };
        if (lo) at = mdx_.file.Find(t, [&](const char* k) { return value(k) < l; });
        if (hi) beyond = [value, h](const char* k) { return value(k) > h; };
    }
    out.clear();
    const char* key;
    uint32_t recNo;
    while (mdx_.file.Next(t, at, key, recNo)) {
        if (beyond && beyond(key)) break;
        const uint32_t slot = recNo - 1;
        if (recNo == 0 || slot >= recordCount_) continue;
        const char* rec = RecordBytes(slot);
        if (rec[0] == '*' || AllBytes(rec + f.offset, f.width, ' ')) continue;  // deleted or blank
        out.push_back(slot);
    }
    return true;
}

void DbfTable::CreateIndex(const std::string& name, const std::vector<std::string>& fieldNames, bool unique,
                           bool descending) {
    RequireWritable();
    const std::string tagName = AsciiUpper(name);
    bool valid = !tagName.empty() && tagName.size() <= 10 && tagName[0] >= 'A' && tagName[0] <= 'Z';
    for (char c : tagName) valid = valid && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_');
    if (!valid)
        throw EngineError("Invalid index name \"" + name +
                              "\": a dBASE index tag name has 1 to 10 letters, digits or _, the first a letter",
                          errc::kInvalidParameter);
    for (const auto& tag : mdx_.file.Tags())
        if (tag.name == tagName) throw EngineError("Index already exists: " + name, errc::kInvalidParameter);
    if (descending)
        throw EngineError("Capability not supported: Tessel does not write descending dBASE index tags",
                          errc::kNotSupported);
    if (mdx_.file.Tags().size() >= kMdxMaxTags)
        throw EngineError("Capability not supported: a dBASE production index holds at most 47 tags",
                          errc::kNotSupported);
    if (fieldNames.empty()) throw EngineError("An index needs at least one field", errc::kInvalidParameter);
    MdxTag tag;
    tag.name = tagName;
    tag.unique = unique;
    uint32_t width = 0;
    for (const auto& fieldName : fieldNames) {
        const int k = FindField(*this, fieldName);
        if (k < 0) throw EngineError("Invalid field name: " + fieldName, errc::kInvalidParameter);
        const size_t hf = fieldMap_[static_cast<size_t>(k)];
        if (std::find(tag.fields.begin(), tag.fields.end(), hf) != tag.fields.end())
            throw EngineError("Field " + fieldName + " appears twice in the index", errc::kInvalidParameter);
        const DbfField& f = header_.fields[hf];
        const char type = f.kind == FieldKind::Char     ? 'C'
                          : f.kind == FieldKind::Number ? 'N'
                          : f.kind == FieldKind::Date   ? 'D'
                                                        : '?';
        if (type == '?')
            throw EngineError("Capability not supported: a dBASE index tag cannot hold field " + fieldName +
                                  " of type " + std::string(1, f.type),
                              errc::kNotSupported);
        if (fieldNames.size() > 1 && type != 'C')
            throw EngineError(
                "Capability not supported: a dBASE index over several fields joins character fields only; " +
                    fieldName + " is of type " + std::string(1, f.type),
                errc::kNotSupported);
        tag.keyType = type;
        width += type == 'C' ? f.width : type == 'N' ? kMdxNumericKey : kMdxDateKey;
        if (!tag.expression.empty()) tag.expression += '+';
        tag.expression += f.name;
        tag.fields.push_back(hf);
    }
    if (width > kMdxMaxCharKey)
        throw EngineError("Capability not supported: a dBASE index key holds at most 100 characters; this one needs " +
                              std::to_string(width),
                          errc::kNotSupported);
    tag.keyLength = static_cast<uint16_t>(width);
    tag.entryLength = MdxEntryLength(tag.keyLength);

    FileLockGuard lock(file_, LockMode::Exclusive);
    FlushAppends();
    EnsureFresh();
    const bool hadIndex = !mdx_.path.empty();
    if (!hadIndex) {
        mdx_.path = FindCompanion(path_, ".mdx");
        if (mdx_.path.empty()) mdx_.path = CompanionPath(path_, ".mdx");
    }
    // A file of that name the header does not claim is stale; it is put back if this fails.
    std::string stale;
    const bool hadStale = !hadIndex && FileExists(mdx_.path);
    if (hadStale) stale = ReadWholeFile(mdx_.path);
    const std::vector<MdxTag> before = mdx_.file.Tags();
    std::vector<MdxTag> after = before;
    after.push_back(std::move(tag));
    try {
        RebuildIndexFile(after);
        WriteIndexFlags();
    } catch (...) {
        try {
            if (hadIndex) {
                RebuildIndexFile(before);
            } else {
                if (hadStale)
                    WriteFileAtomically(mdx_.path, stale);
                else
                    ::unlink(mdx_.path.c_str());
                mdx_.path.clear();
                mdx_.file = MdxFile();
                mdx_.dirty = false;
                WriteIndexFlags();
            }
        } catch (...) {
            if (!mdx_.path.empty()) LoadIndexFile();  // whatever the disk holds now
        }
        ListIndexes();
        throw;
    }
    ListIndexes();
}

bool DbfTable::DropIndex(const std::string& name) {
    const std::vector<MdxTag> before = mdx_.file.Tags();
    size_t t = 0;
    while (t < before.size() && AsciiUpper(conv_->ToUtf8(before[t].name)) != AsciiUpper(name)) ++t;
    if (t == before.size()) return false;
    RequireWritable();
    FileLockGuard lock(file_, LockMode::Exclusive);
    FlushAppends();
    EnsureFresh();
    const std::string path = mdx_.path;
    std::vector<MdxTag> after = before;
    after.erase(after.begin() + static_cast<std::ptrdiff_t>(t));
    try {
        if (after.empty()) {
            // The header's claim goes before the file, never the other way round.
            mdx_.path.clear();
            WriteIndexFlags();
            ::unlink(path.c_str());
            mdx_.file = MdxFile();
        } else {
            RebuildIndexFile(after);
            WriteIndexFlags();
        }
    } catch (...) {
        mdx_.path = path;
        LoadIndexFile();  // whatever the disk holds now
        throw;
    }
    ListIndexes();
    return true;
}

// --------------------------------------------------------------------------------- creating

DbfPlan PlanDbfTable(const std::vector<FieldDesc>& defs, const CreateOptions& options) {
    DbfPlan plan;
    auto invalid = [](const FieldDesc& d, const std::string& why) {
        throw EngineError("Invalid field type: field " + d.name + " " + why, errc::kNotSupported);
    };
    if (defs.empty()) throw EngineError("A table needs at least one field", errc::kInvalidParameter);

    // Code page and language driver.
    if (!options.languageDriver.empty()) {
        const auto* d = codepage::FindDbaseDriverByName(options.languageDriver);
        if (!d) throw EngineError("Unknown language driver " + options.languageDriver, errc::kInvalidParameter);
        plan.codePage = d->codePage;
        plan.languageDriverId = d->id;
        plan.languageDriverName = d->name;
    } else {
        plan.codePage = options.codePage > 0 ? options.codePage : codepage::kDefaultCodePage;
        plan.languageDriverId = codepage::DbaseDriverForCodePage(plan.codePage);
        if (plan.languageDriverId == 0 || !codepage::IsCodePageSupported(plan.codePage)) {
            plan.codePage = codepage::kDefaultCodePage;
            plan.languageDriverId = codepage::DbaseDriverForCodePage(plan.codePage);
        }
        const auto* d = codepage::FindDbaseDriver(plan.languageDriverId);
        plan.languageDriverName = d && d->name[0] ? d->name : "DBWINUS0";
    }

    // First pass: the level the types need.
    int need = 3;
    for (const auto& d : defs) {
        switch (d.type) {
            case fldtype::kString:
                if (d.units1 == 0) invalid(d, "CHAR needs a size from 1 to 254");
                break;
            case fldtype::kDate:
            case fldtype::kBool:
            case fldtype::kInt16:
                break;
            case fldtype::kBlob:
                if (d.subType == fldsub::kBinary || d.subType == fldsub::kTypedBinary ||
                    d.subType == fldsub::kGraphic || d.subType == fldsub::kOle || d.subType == fldsub::kDbaseOle)
                    need = std::max(need, 5);
                break;
            case fldtype::kInt32:
                if (d.subType == fldsub::kAutoInc) need = 7;
                break;
            case fldtype::kFloat:
            case fldtype::kBcd:
                if (d.nativeType == 'O') need = 7;
                if (d.units1 > 19 && d.subType != fldsub::kMoney) need = std::max(need, 4);
                break;
            case fldtype::kTimestamp:
                need = 7;
                break;
            case fldtype::kTime:
                invalid(d, "of type TIME: dBASE tables have no time fields");
                break;
            case fldtype::kBytes:
                invalid(d, "of type BYTES: dBASE tables have no bytes fields");
                break;
            default:
                invalid(d, "has a type dBASE tables do not have");
        }
    }
    int level = need;
    if (options.level != 0) {
        if (options.level != 3 && options.level != 4 && options.level != 5 && options.level != 7)
            throw EngineError("dBASE table level " + std::to_string(options.level) + " does not exist",
                              errc::kInvalidParameter);
        if (options.level < need)
            throw EngineError("The fields need a dBASE table of level " + std::to_string(need), errc::kNotSupported);
        level = options.level;
    }
    plan.level = level;

    // Second pass: the fields.
    const size_t maxName = level == 7 ? 31 : 10;
    uint64_t recordLength = 1;
    bool anyMemo = false;
    for (const auto& d : defs) {
        DbfField f;
        std::string name = AsciiUpper(d.name);
        if (options.fixNames) {
            for (auto& c : name)
                if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) c = '_';
            if (name.empty() || !(name[0] >= 'A' && name[0] <= 'Z')) name = "F" + name;
            if (name.size() > maxName) name.resize(maxName);
            // Unique: replace the tail with a number when needed.
            for (int n = 1;; ++n) {
                bool clash = false;
                for (const auto& g : plan.fields) clash = clash || g.name == name;
                if (!clash) break;
                const std::string suffix = std::to_string(n);
                name = name.substr(0, std::min(name.size(), maxName - suffix.size())) + suffix;
            }
        } else {
            if (name.empty() || name.size() > maxName)
                throw EngineError("Invalid field name \"" + d.name + "\": a dBASE field name has 1 to " +
                                      std::to_string(maxName) + " characters",
                                  errc::kInvalidParameter);
            if (!(name[0] >= 'A' && name[0] <= 'Z'))
                throw EngineError("Invalid field name \"" + d.name + "\": it must start with a letter",
                                  errc::kInvalidParameter);
            for (char c : name)
                if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
                    throw EngineError("Invalid field name \"" + d.name + "\": only letters, digits and _ are allowed",
                                      errc::kInvalidParameter);
            for (const auto& g : plan.fields)
                if (g.name == name)
                    throw EngineError("Duplicate field name \"" + d.name + "\"", errc::kInvalidParameter);
        }
        f.name = name;
        auto number = [&](char type, uint32_t width, uint32_t decimals) {
            const uint32_t maxWidth = level == 3 ? 19 : 20;
            const uint32_t maxDec = level == 3 ? 15 : 18;
            if (width < 1 || width > maxWidth)
                throw EngineError(
                    "Invalid size for field " + d.name + ": a number has 1 to " + std::to_string(maxWidth) + " digits",
                    errc::kInvalidParameter);
            if (decimals > maxDec || (decimals > 0 && decimals + 2 > width))
                throw EngineError("Invalid size for field " + d.name + ": " + std::to_string(decimals) +
                                      " decimals do not fit a width of " + std::to_string(width),
                                  errc::kInvalidParameter);
            f.type = type;
            f.kind = FieldKind::Number;
            f.width = width;
            f.decimals = static_cast<uint8_t>(decimals);
        };
        switch (d.type) {
            case fldtype::kString:
                if (d.units1 > 254) {
                    f.type = 'M';
                    f.kind = FieldKind::Memo10;
                    f.width = 10;
                } else {
                    f.type = 'C';
                    f.kind = FieldKind::Char;
                    f.width = d.units1;
                }
                break;
            case fldtype::kDate:
                f.type = 'D';
                f.kind = FieldKind::Date;
                f.width = 8;
                break;
            case fldtype::kBool:
                f.type = 'L';
                f.kind = FieldKind::Logical;
                f.width = 1;
                break;
            case fldtype::kInt16:
                number('N', 6, 0);
                break;
            case fldtype::kInt32:
                if (d.subType == fldsub::kAutoInc) {
                    f.type = '+';
                    f.kind = FieldKind::AutoInc7;
                    f.width = 4;
                    f.autoIncNext = 1;
                } else if (level == 7) {
                    f.type = 'I';
                    f.kind = FieldKind::Long7;
                    f.width = 4;
                } else {
                    number('N', 11, 0);
                }
                break;
            case fldtype::kFloat:
            case fldtype::kBcd:
                if (d.subType == fldsub::kMoney) {
                    number('N', level == 3 ? 19 : 20, 4);
                } else if (d.nativeType == 'O' && level == 7) {
                    f.type = 'O';
                    f.kind = FieldKind::Double7;
                    f.width = 8;
                } else if (d.units1 == 0 || (d.nativeType != 'N' && d.nativeType != 'F' && d.type == fldtype::kFloat)) {
                    // A binary floating-point source: keep four decimals.
                    number('N', level == 3 ? 19 : 20, 4);
                } else {
                    // F is stored exactly like N; it is kept as asked for even at level 3,
                    // where the readers of such files take it too.
                    number(d.nativeType == 'F' ? 'F' : 'N', d.units1, d.units2);
                }
                break;
            case fldtype::kBlob:
                f.width = 10;
                f.kind = FieldKind::Memo10;
                if (d.subType == fldsub::kOle || d.subType == fldsub::kDbaseOle) {
                    f.type = 'G';
                    f.binaryBlob = true;
                } else if (d.subType == fldsub::kBinary || d.subType == fldsub::kTypedBinary ||
                           d.subType == fldsub::kGraphic) {
                    f.type = 'B';
                    f.binaryBlob = true;
                } else {
                    f.type = 'M';
                }
                break;
            case fldtype::kTimestamp:
                f.type = '@';
                f.kind = FieldKind::Timestamp7;
                f.width = 8;
                break;
            default:
                invalid(d, "has a type dBASE tables do not have");
        }
        anyMemo = anyMemo || f.kind == FieldKind::Memo10;
        f.offset = static_cast<uint32_t>(recordLength);
        recordLength += f.width;
        plan.fields.push_back(std::move(f));
    }
    const size_t maxFields = level == 3 ? 128 : level == 7 ? 1024 : 255;
    if (plan.fields.size() > maxFields)
        throw EngineError("Too many fields: a dBASE table of level " + std::to_string(level) + " holds at most " +
                              std::to_string(maxFields),
                          errc::kInvalidParameter);
    const uint64_t maxRecord = level == 7 ? 32767 : 4000;
    if (recordLength > maxRecord)
        throw EngineError("The record of " + std::to_string(recordLength) +
                              " bytes is too long: a dBASE table of level " + std::to_string(level) +
                              " holds at most " + std::to_string(maxRecord),
                          errc::kInvalidParameter);
    if (level == 7) {
        plan.version = anyMemo ? 0x8C : 0x04;
        plan.memoKind = anyMemo ? MemoKind::Dbt4 : MemoKind::None;
    } else if (level == 3) {
        plan.version = anyMemo ? 0x83 : 0x03;
        plan.memoKind = anyMemo ? MemoKind::Dbt3 : MemoKind::None;
    } else {
        plan.version = anyMemo ? 0x8B : 0x03;
        plan.memoKind = anyMemo ? MemoKind::Dbt4 : MemoKind::None;
    }
    return plan;
}

namespace {

void WriteNewFiles(const std::string& dbfPath, const std::string& memoPath, const DbfPlan& plan,
                   const std::string& memoBaseName) {
    const bool l7 = plan.level == 7;
    std::string h(l7 ? 68 : 32, '\0');
    h[0] = static_cast<char>(plan.version);
    TodayBytes(h.data() + 1);
    uint32_t recordLength = 1;
    for (const auto& f : plan.fields) recordLength += f.width;
    PutLeU16(h.data() + 10, static_cast<uint16_t>(recordLength));
    h[29] = static_cast<char>(plan.languageDriverId);
    if (l7) {
        const std::string name = plan.languageDriverName.substr(0, 31);
        std::memcpy(h.data() + 32, name.data(), name.size());
    }
    for (const auto& f : plan.fields) {
        std::string d(l7 ? 48 : 32, '\0');
        std::memcpy(d.data(), f.name.data(), f.name.size());
        if (l7) {
            d[32] = f.type;
            d[33] = static_cast<char>(f.width);
            d[34] = static_cast<char>(f.decimals);
            if (f.kind == FieldKind::AutoInc7) PutLeU32(d.data() + 40, 1);
        } else {
            d[11] = f.type;
            d[16] = static_cast<char>(f.width);
            d[17] = static_cast<char>(f.decimals);
        }
        h += d;
    }
    h.push_back('\x0D');
    PutLeU16(h.data() + 8, static_cast<uint16_t>(h.size()));
    h.push_back('\x1A');
    LockedFile out;
    out.Create(dbfPath);
    out.WriteAt(0, h);
    out.Close();
    if (plan.memoKind != MemoKind::None) {
        MemoFile memo;
        memo.Create(memoPath, plan.memoKind, memoBaseName);
        memo.Close();
    }
}

}  // namespace

std::unique_ptr<DbfTable> CreateDbfTable(const std::string& path, const std::vector<FieldDesc>& fields,
                                         const CreateOptions& options, const std::function<void(Table&)>& fill) {
    const DbfPlan plan = PlanDbfTable(fields, options);
    // A level 4 memo file records the table's name: the final one, also when the table is
    // built under a temporary name by a caller.
    const std::string ownName = BaseName(options.finalPath.empty() ? path : options.finalPath);
    BuildTableFamily(path, DbaseDriver(), [&](const std::string& tmpDbf) {
        WriteNewFiles(tmpDbf, CompanionPath(tmpDbf, ".dbt"), plan, ownName);
        if (fill) {
            auto table = DbfTable::Open(tmpDbf, OpenMode::ReadWrite);
            table->Lock(LockMode::Exclusive);
            fill(*table);
            table->Unlock();
            table->Close();
        }
    });
    return DbfTable::Open(path, OpenMode::ReadWrite);
}

}  // namespace tessel::engine::dbase
