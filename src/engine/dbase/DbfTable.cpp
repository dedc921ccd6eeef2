// The dBASE table: opening and reading.

#include "engine/dbase/DbfTable.h"

#include "base/FileUtil.h"
#include "engine/codepage/CodePage.h"
#include "engine/dbase/Dbase.h"
#include "engine/dbase/DbfCodec.h"
#include "engine/storage/RollbackJournal.h"
#include "engine/storage/TableFamily.h"

namespace tessel::engine::dbase {

// ------------------------------------------------------------------------------------ open

DbfTable::~DbfTable() {
    try {
        Close();
    } catch (...) {
    }
}

std::unique_ptr<DbfTable> DbfTable::Open(const std::string& path, OpenMode mode, int undeclaredCodePage) {
    RecoverHotJournals(path, mode == OpenMode::ReadWrite);
    std::unique_ptr<DbfTable> t(new DbfTable());
    t->Load(path, mode, undeclaredCodePage);
    return t;
}

void DbfTable::Load(const std::string& path, OpenMode mode, int undeclaredCodePage) {
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

    // Code page: a .cpg companion (GIS tools write one, leaving the driver byte 0), else the
    // level 7 driver name, else the driver byte, else what the folder's alias or the run says
    // for tables that declare none, else the default.
    int codePage = undeclaredCodePage > 0 ? undeclaredCodePage : UndeclaredCodePage(ExtractFileDir(path));
    std::string driverName;
    props_.codePageDeclared = header_.languageDriverId != 0 || (header_.level7 && !header_.languageDriverName.empty());
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
    if (const std::string cpg = FindCompanion(path, ".cpg"); !cpg.empty()) {
        std::string text;
        try {
            text = ReadFileBytes(cpg).substr(0, 64);
        } catch (const std::exception&) {
            // Unreadable: the header decides.
        }
        const int named = codepage::CodePageFromName(text);
        if (named > 0 && codepage::IsCodePageSupported(named)) {
            codePage = named;
            props_.codePageFile = text;
            props_.codePageDeclared = true;
        }
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

void DbfTable::Abandon() noexcept {
    pending_.clear();
    pendingCount_ = 0;
    mdx_.dirty = false;
    memo_.Close();
    file_.Close();
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

}  // namespace tessel::engine::dbase
