// Answer rows packed in pieces, in memory and then in an unnamed temporary file.

#include "engine/AnswerStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/EngineError.h"

namespace tessel::engine {

namespace {

constexpr size_t kPiece = size_t{1} << 20;
constexpr size_t kPiecesReadBack = 4;

template <class T>
void Put(std::string& out, T v) {
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    out.append(b, sizeof(T));
}

template <class T>
T Take(const char*& p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    p += sizeof(T);
    return v;
}

void Pack(const Record& row, std::string& out) {
    out.clear();
    Put<uint32_t>(out, static_cast<uint32_t>(row.size()));
    for (const Value& v : row) {
        out.push_back(static_cast<char>(v.kind));
        switch (v.kind) {
            case ValueKind::Null:
                break;
            case ValueKind::Double:
                Put(out, v.d);
                break;
            case ValueKind::Decimal:
                out.push_back(static_cast<char>(v.scale));
                Put(out, v.i);
                break;
            case ValueKind::Text:
            case ValueKind::Bytes:
                Put<uint32_t>(out, static_cast<uint32_t>(v.s.size()));
                out.append(v.s);
                break;
            default:  // Bool, Int, Date, Time, Timestamp
                Put(out, v.i);
                break;
        }
    }
}

void Unpack(const char* p, Record& out) {
    out.resize(Take<uint32_t>(p));
    for (Value& v : out) {
        // A reused record holds nothing of the row read before it.
        v.kind = static_cast<ValueKind>(*p++);
        v.scale = 0;
        v.i = 0;
        v.d = 0;
        if (v.kind != ValueKind::Text && v.kind != ValueKind::Bytes) v.s.clear();
        switch (v.kind) {
            case ValueKind::Null:
                break;
            case ValueKind::Double:
                v.d = Take<double>(p);
                break;
            case ValueKind::Decimal:
                v.scale = static_cast<int8_t>(*p++);
                v.i = Take<int64_t>(p);
                break;
            case ValueKind::Text:
            case ValueKind::Bytes: {
                const uint32_t n = Take<uint32_t>(p);
                v.s.assign(p, n);
                p += n;
                break;
            }
            default:
                v.i = Take<int64_t>(p);
                break;
        }
    }
}

[[noreturn]] void Fail(const char* what, int err) {
    throw EngineError(std::string("Cannot keep the answer: ") + what + ": " + std::strerror(err), errc::kIo, err);
}

int OpenTemporaryFile() {
    const char* env = std::getenv("TMPDIR");
    const std::string dir = env && *env ? env : "/tmp";
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    // A file system without unnamed files: a named one, removed at once.
    std::string name = dir + "/tessel-answer-XXXXXX";
    fd = ::mkstemp(name.data());
    if (fd < 0) Fail("no temporary file", errno);
    ::unlink(name.c_str());
    return fd;
}

}  // namespace

AnswerStore::AnswerStore(size_t memoryBudget) : budget_(memoryBudget) {}

AnswerStore::~AnswerStore() {
    if (fd_ >= 0) ::close(fd_);
}

void AnswerStore::Append(const Record& row) {
    Pack(row, scratch_);
    if (pieces_.empty() || (!pieces_.back().bytes.empty() && pieces_.back().bytes.size() + scratch_.size() > kPiece)) {
        // The full piece is done; pieces beyond the budget go to the file, oldest first.
        while (inMemory_ + scratch_.size() > budget_ && !pieces_.empty()) {
            const size_t before = inMemory_;
            Spill();
            if (inMemory_ == before) break;
        }
        pieces_.emplace_back();
        pieces_.back().bytes.reserve(std::max(kPiece, scratch_.size()));
    }
    Piece& last = pieces_.back();
    rows_.push_back({static_cast<uint32_t>(pieces_.size() - 1), static_cast<uint32_t>(last.bytes.size())});
    last.bytes.append(scratch_);
    inMemory_ += scratch_.size();
}

void AnswerStore::Spill() {
    // The oldest piece still only in memory (never the one being filled).
    const uint32_t next = static_cast<uint32_t>(spilled_.size());
    if (next >= pieces_.size()) return;
    Piece& p = pieces_[next];
    if (fd_ < 0) fd_ = OpenTemporaryFile();
    size_t done = 0;
    while (done < p.bytes.size()) {
        const ssize_t n =
            ::pwrite(fd_, p.bytes.data() + done, p.bytes.size() - done, static_cast<off_t>(fileSize_ + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail("writing the temporary file", n < 0 ? errno : ENOSPC);
        done += static_cast<size_t>(n);
    }
    p.fileOffset = fileSize_;
    fileSize_ += p.bytes.size();
    inMemory_ -= p.bytes.size();
    std::string().swap(p.bytes);
    p.loaded = false;
    spilled_.push_back(next);
}

const std::string& AnswerStore::Load(uint32_t piece) {
    Piece& p = pieces_[piece];
    if (p.loaded) return p.bytes;
    // Its size: up to the next piece's offset, or the end of the file.
    const uint64_t end = piece + 1 < spilled_.size() ? pieces_[piece + 1].fileOffset : fileSize_;
    std::string bytes(static_cast<size_t>(end - p.fileOffset), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(p.fileOffset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail("reading the temporary file", n < 0 ? errno : EIO);
        done += static_cast<size_t>(n);
    }
    if (loaded_.size() >= kPiecesReadBack) {
        Piece& old = pieces_[loaded_.back()];
        std::string().swap(old.bytes);
        old.loaded = false;
        loaded_.pop_back();
    }
    p.bytes = std::move(bytes);
    p.loaded = true;
    loaded_.push_front(piece);
    return p.bytes;
}

void AnswerStore::Read(int64_t n, Record& out) {
    const Where w = rows_.at(static_cast<size_t>(n));
    Unpack(Load(w.piece).data() + w.offset, out);
}

}  // namespace tessel::engine
