// The rollback journal beside a table, and the recovery of hot journals.

#include "engine/storage/RollbackJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "base/FileUtil.h"
#include "engine/storage/IoFaults.h"
#include "engine/storage/TableFamily.h"

namespace tessel::engine {

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kPage = 4096;
constexpr uint64_t kMaxPagesAhead = 256;  // 1 MiB
constexpr uint64_t kNoFile = ~uint64_t{0};
constexpr char kMagic[] = "TSLJRNL1";
std::atomic<bool> gDurable{true};
std::atomic<uint64_t> gJournaled{0};

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
    throw EngineError(what + " \"" + path + "\": " + std::strerror(err), errc::kIo, err);
}

std::string StemOf(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// Files of one family share this key: their directory and their stem without case.
std::string WatchKeyOf(const std::string& path) {
    const std::string dir = fs::path(ExtractFileDir(path)).lexically_normal().string();
    return dir + "/" + AsciiLower(StemOf(ExtractFileName(path)));
}

uint32_t Check(const std::string& bytes) {
    uint32_t h = 2166136261u;  // FNV-1a
    for (unsigned char c : bytes) h = (h ^ c) * 16777619u;
    return h;
}

void PutLe(std::string& out, uint64_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) out.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
}
uint64_t GetLe(const char* p, int bytes) {
    uint64_t v = 0;
    for (int k = bytes - 1; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(p[k]);
    return v;
}

void WriteAll(int fd, const std::string& path, uint64_t offset, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot write", path, errno);
        }
        data += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
}

std::mutex gWatchMutex;
std::multimap<std::string, RollbackJournal*>& Watchers() {
    static std::multimap<std::string, RollbackJournal*> watchers;
    return watchers;
}
std::atomic<int> gWatchCount{0};

std::vector<RollbackJournal*> WatchersOf(const std::string& path) {
    std::vector<RollbackJournal*> out;
    if (gWatchCount.load(std::memory_order_relaxed) == 0) return out;
    // A change writes the same few files many times: their keys are worked out once.
    thread_local std::string lastPath, lastKey;
    if (path != lastPath) {
        lastKey = WatchKeyOf(path);
        lastPath = path;
    }
    std::lock_guard<std::mutex> lock(gWatchMutex);
    auto [a, b] = Watchers().equal_range(lastKey);
    for (auto it = a; it != b; ++it) out.push_back(it->second);
    return out;
}

std::string JournalPrefix(const std::string& mainPath) {
    const std::string dir = ExtractFileDir(mainPath);
    return (dir == "/" ? std::string() : dir) + "/." + ExtractFileName(mainPath) + ".tessel-journal-";
}

std::string ReadJournal(const std::string& path) {
    try {
        return ReadFileBytes(path);
    } catch (const std::exception& e) {
        throw EngineError(e.what(), errc::kIo);
    }
}

// One parsed journal: the files' original lengths and the old pages, in journal order.
struct JournalContents {
    struct Page {
        std::string path;
        uint64_t offset;
        std::string bytes;
    };
    std::vector<std::pair<std::string, uint64_t>> files;
    std::vector<Page> pages;
    std::string commitNote;  // the shared commit's note, when the journal names one
};

// Records name their files by name alone, in the journal's folder, so a folder moved with its
// journal still recovers. A record that names a file outside the table's family, or old bytes
// outside the file's original length, marks the journal as damaged: nothing of it is applied.
JournalContents ParseJournal(const std::string& bytes, const std::string& journalPath, const std::string& mainPath) {
    JournalContents out;
    const std::string dir = ExtractFileDir(journalPath);
    const std::string stem = StemOf(ExtractFileName(mainPath));
    auto damaged = [&](const std::string& why) {
        return EngineError("The journal \"" + journalPath + "\" is damaged: " + why, errc::kCorruptFile);
    };
    std::map<std::string, uint64_t> lengths;
    if (bytes.size() < 8 || bytes.compare(0, 8, kMagic) != 0)
        throw EngineError("The journal \"" + journalPath + "\" is damaged: it does not begin as a journal does",
                          errc::kCorruptFile);
    size_t pos = 8;
    while (pos < bytes.size()) {
        const size_t start = pos;
        if (bytes.size() - pos < 1 + 2) break;
        const char kind = bytes[pos];
        const size_t pathLen = GetLe(bytes.data() + pos + 1, 2);
        pos += 3;
        if (bytes.size() - pos < pathLen + 8 + 4) break;
        std::string path = bytes.substr(pos, pathLen);
        pos += pathLen;
        const uint64_t a = GetLe(bytes.data() + pos, 8);
        const size_t dataLen = GetLe(bytes.data() + pos + 8, 4);
        pos += 12;
        if (bytes.size() - pos < dataLen + 4) break;
        std::string data = bytes.substr(pos, dataLen);
        pos += dataLen;
        const uint32_t check = static_cast<uint32_t>(GetLe(bytes.data() + pos, 4));
        pos += 4;
        if (check != Check(bytes.substr(start, pos - 4 - start))) break;  // torn: never acted on
        if (path.empty() || path.find('/') != std::string::npos || path.find('\0') != std::string::npos ||
            !SameAscii(StemOf(path), stem))
            throw damaged("it names a file that is not one of its table's");
        path = (dir == "/" ? std::string() : dir) + "/" + path;
        if (kind == 'F') {
            if (lengths.count(path)) throw damaged("it names a file twice");
            lengths[path] = a;
            out.files.emplace_back(std::move(path), a);
        } else if (kind == 'P') {
            auto it = lengths.find(path);
            if (it == lengths.end() || it->second == kNoFile || a > it->second || data.size() > it->second - a)
                throw damaged("it holds bytes outside a file's original length");
            out.pages.push_back({std::move(path), a, std::move(data)});
        } else if (kind == 'M') {
            if (data.empty() || data.find('\0') != std::string::npos ||
                ExtractFileName(data).rfind(".tessel-commit-", 0) != 0)
                throw damaged("it names a commit note that is none");
            out.commitNote = data;
        } else {
            throw damaged("unknown record");
        }
    }
    // The original length of a file is within what the file holds now or the old bytes kept
    // for it (a change that cut a file short kept the bytes it cut).
    for (const auto& [path, length] : out.files) {
        if (length == kNoFile) continue;
        struct stat st {};
        uint64_t reach = ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
        for (const auto& p : out.pages)
            if (p.path == path) reach = std::max(reach, p.offset + p.bytes.size());
        if (length > reach) throw damaged("a file's original length is beyond anything it held");
    }
    return out;
}

// Puts the old bytes back: pages, then lengths; files that did not exist are removed.
void Apply(const JournalContents& j) {
    for (const auto& [path, length] : j.files) {
        if (length == kNoFile) {
            if (::unlink(path.c_str()) != 0 && errno != ENOENT) Fail("Cannot remove", path, errno);
            continue;
        }
        if (const IoFault f = CheckIoFault(IoCall::Write, path); f.error) Fail("Cannot write", path, f.error);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) Fail("Cannot write", path, errno);
        try {
            for (const auto& p : j.pages)
                if (p.path == path) WriteAll(fd, path, p.offset, p.bytes.data(), p.bytes.size());
            if (::ftruncate(fd, static_cast<off_t>(length)) != 0) Fail("Cannot write", path, errno);
            if (DurableWrites() && ::fsync(fd) != 0) Fail("Cannot write", path, errno);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
    }
}

}  // namespace

void SetDurableWrites(bool durable) {
    gDurable = durable;
}
bool DurableWrites() {
    return gDurable.load(std::memory_order_relaxed);
}

uint64_t JournaledBytes() {
    return gJournaled.load(std::memory_order_relaxed);
}

bool IsJournalFileName(const std::string& fileName) {
    return fileName.find(".tessel-journal-") != std::string::npos;
}

RollbackJournal::RollbackJournal(const std::string& mainPath) : mainPath_(mainPath), watchKey_(WatchKeyOf(mainPath)) {
    // A counter in the name orders journals of one table that are alive at once (a statement
    // inside a transaction): the newest is rolled back first.
    static std::atomic<uint64_t> counter{0};
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const uint64_t stamp = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
    char name[64];
    std::snprintf(name, sizeof name, "%016llx%04llx", static_cast<unsigned long long>(stamp),
                  static_cast<unsigned long long>(++counter & 0xFFFF));
    journalPath_ = JournalPrefix(mainPath) + name;
    if (const IoFault f = CheckIoFault(IoCall::Create, journalPath_); f.error)
        Fail("Cannot create", journalPath_, f.error);
    fd_ = ::open(journalPath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        const int err = errno;
        throw EngineError("Cannot create the journal \"" + journalPath_ + "\": " + std::strerror(err),
                          err == EACCES || err == EROFS || err == EPERM ? errc::kReadOnly : errc::kIo, err);
    }
    // Held for the journal's life: an opener that can take it knows the writer is gone.
    ::flock(fd_, LOCK_EX);
    try {
        WriteAll(fd_, journalPath_, 0, kMagic, 8);
        size_ = 8;
        unsynced_ = true;
    } catch (...) {
        ::close(fd_);
        ::unlink(journalPath_.c_str());
        throw;
    }
    std::lock_guard<std::mutex> lock(gWatchMutex);
    Watchers().emplace(watchKey_, this);
    ++gWatchCount;
}

RollbackJournal::~RollbackJournal() {
    if (!done_) {
        try {
            Rollback();
        } catch (...) {
            // The journal stays hot; the next opener rolls it back.
        }
    }
    Stop();
    if (fd_ >= 0) ::close(fd_);
}

void RollbackJournal::Stop() {
    std::lock_guard<std::mutex> lock(gWatchMutex);
    auto [a, b] = Watchers().equal_range(watchKey_);
    for (auto it = a; it != b; ++it)
        if (it->second == this) {
            Watchers().erase(it);
            --gWatchCount;
            break;
        }
}

void RollbackJournal::Append(char kind, const std::string& path, uint64_t a, const std::string& data) {
    const std::string name = ExtractFileName(path);
    std::string rec;
    rec.push_back(kind);
    PutLe(rec, name.size(), 2);
    rec += name;
    PutLe(rec, a, 8);
    PutLe(rec, data.size(), 4);
    rec += data;
    PutLe(rec, Check(rec), 4);
    const IoFault f = CheckIoFault(IoCall::Write, journalPath_);
    if (f.error) {
        WriteAll(fd_, journalPath_, size_, rec.data(), std::min(rec.size(), f.bytes));
        Fail("Cannot write", journalPath_, f.error);
    }
    WriteAll(fd_, journalPath_, size_, rec.data(), rec.size());
    size_ += rec.size();
    gJournaled += rec.size();
    unsynced_ = true;
}

void RollbackJournal::SyncJournal() {
    if (!unsynced_) return;
    if (DurableWrites()) {
        if (const IoFault f = CheckIoFault(IoCall::Sync, journalPath_); f.error)
            Fail("Cannot write", journalPath_, f.error);
        if (::fdatasync(fd_) != 0) Fail("Cannot write", journalPath_, errno);
        if (size_ <= 8 + 4096) SyncToDevice(ExtractFileDir(journalPath_), true);  // the journal's own name, once
    }
    unsynced_ = false;
}

RollbackJournal::FileState& RollbackJournal::Touch(const std::string& path, int fd) {
    auto it = files_.find(path);
    if (it != files_.end()) return it->second;
    FileState f;
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0) {
        f.originalLength = static_cast<uint64_t>(st.st_size);
    } else if (::stat(path.c_str(), &st) == 0) {
        f.originalLength = static_cast<uint64_t>(st.st_size);
    } else {
        f.existed = false;
    }
    Append('F', path, f.existed ? f.originalLength : kNoFile, {});
    return files_.emplace(path, std::move(f)).first->second;
}

void RollbackJournal::SavePages(const std::string& path, FileState& f, int fd, uint64_t first, uint64_t last) {
    const int readFd = fd >= 0 ? fd : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string page;
    for (uint64_t p = first; p <= last; ++p) {
        const uint64_t offset = p * kPage;
        if (!f.existed || offset >= f.originalLength || f.savedPages.count(p)) continue;
        page.resize(static_cast<size_t>(std::min(kPage, f.originalLength - offset)));
        const ssize_t n = ::pread(readFd, page.data(), page.size(), static_cast<off_t>(offset));
        if (n < 0) {
            const int err = errno;
            if (readFd != fd) ::close(readFd);
            Fail("Cannot read", path, err);
        }
        page.resize(static_cast<size_t>(n));
        Append('P', path, offset, page);
        f.savedPages.insert(p);
    }
    if (readFd != fd && readFd >= 0) ::close(readFd);
}

void RollbackJournal::BeforeWrite(const std::string& path, int fd, uint64_t offset, uint64_t size) {
    if (done_ || size == 0) return;
    FileState& f = Touch(path, fd);
    if (f.existed && offset < f.originalLength) {
        uint64_t first = offset / kPage;
        const uint64_t last = (std::min(offset + size, f.originalLength) - 1) / kPage;
        while (first <= last && f.savedPages.count(first)) ++first;
        if (first <= last) {
            // A write that carries on where the latest save ended also saves the pages ahead of
            // it, twice as many as that save did, up to a limit: a statement that sweeps
            // through a file waits for the journal once per stretch, not once per page, while
            // scattered writes journal only their own pages.
            f.ahead = first == f.savedEnd ? std::min(std::max<uint64_t>(2 * f.ahead, 1), kMaxPagesAhead) : 0;
            const uint64_t end = std::min(last + f.ahead, (f.originalLength - 1) / kPage);
            SavePages(path, f, fd, first, end);
            f.savedEnd = end + 1;
        }
    }
    SyncJournal();
}

void RollbackJournal::BeforeTruncate(const std::string& path, int fd, uint64_t size) {
    if (done_) return;
    FileState& f = Touch(path, fd);
    if (f.existed && size < f.originalLength) SavePages(path, f, fd, size / kPage, (f.originalLength - 1) / kPage);
    SyncJournal();
}

void RollbackJournal::BeforeCreate(const std::string& path) {
    if (done_) return;
    FileState& f = Touch(path, -1);
    if (f.existed && f.originalLength > 0) SavePages(path, f, -1, 0, (f.originalLength - 1) / kPage);
    SyncJournal();
}

void RollbackJournal::SyncChangedFiles() {
    if (!DurableWrites()) return;
    for (const auto& [path, f] : files_) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;  // removed by the change
        const IoFault fault = CheckIoFault(IoCall::Sync, path);
        const bool ok = !fault.error && ::fsync(fd) == 0;
        const int err = fault.error ? fault.error : errno;
        ::close(fd);
        if (!ok) Fail("Cannot write", path, err);
    }
}

void RollbackJournal::Commit() {
    if (done_) return;
    SyncChangedFiles();
    if (const IoFault f = CheckIoFault(IoCall::Remove, journalPath_); f.error)
        Fail("Cannot remove", journalPath_, f.error);
    if (::unlink(journalPath_.c_str()) != 0 && errno != ENOENT) Fail("Cannot remove", journalPath_, errno);
    done_ = true;
    Stop();
    if (DurableWrites()) SyncToDevice(ExtractFileDir(journalPath_), true);
}

void RollbackJournal::PrepareCommit(const std::string& commitPath) {
    SyncChangedFiles();
    Append('M', mainPath_, 0, commitPath);
    SyncJournal();
}

void RollbackJournal::FinishCommit() {
    // Past the commit point nothing can fail the change: a journal left here is recognised by
    // its missing note and only removed.
    CheckIoFault(IoCall::Remove, journalPath_);  // a test may stop the process here
    ::unlink(journalPath_.c_str());
    done_ = true;
    Stop();
}

void CommitTogether(const std::vector<RollbackJournal*>& journals) {
    if (journals.empty()) return;
    static std::atomic<uint64_t> counter{0};
    const std::string dir = ExtractFileDir(journals.front()->MainPath());
    const std::string note = (dir == "/" ? std::string() : dir) + "/.tessel-commit-" + std::to_string(::getpid()) +
                             "-" + std::to_string(++counter);
    std::string list;
    for (const RollbackJournal* j : journals) list += j->JournalPath() + "\n";
    if (const IoFault f = CheckIoFault(IoCall::Create, note); f.error) Fail("Cannot create", note, f.error);
    const int fd = ::open(note.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) Fail("Cannot create", note, errno);
    try {
        WriteAll(fd, note, 0, list.data(), list.size());
        if (DurableWrites() && ::fsync(fd) != 0) Fail("Cannot write", note, errno);
    } catch (...) {
        ::close(fd);
        ::unlink(note.c_str());
        throw;
    }
    ::close(fd);
    if (DurableWrites()) SyncToDevice(dir, true);
    try {
        for (RollbackJournal* j : journals) j->PrepareCommit(note);
    } catch (...) {
        ::unlink(note.c_str());  // nothing committed: the journals roll back
        throw;
    }
    if (const IoFault f = CheckIoFault(IoCall::Remove, note); f.error) {
        ::unlink(note.c_str());
        Fail("Cannot remove", note, f.error);
    }
    ::unlink(note.c_str());  // the commit point
    if (DurableWrites()) SyncToDevice(dir, true);
    for (RollbackJournal* j : journals) j->FinishCommit();
    for (RollbackJournal* j : journals)
        if (DurableWrites()) SyncToDevice(ExtractFileDir(j->JournalPath()), true);
}

void RollbackJournal::Rollback() {
    if (done_) return;
    Stop();  // the writes below are the journal's own
    Apply(ParseJournal(ReadJournal(journalPath_), journalPath_, mainPath_));
    ::unlink(journalPath_.c_str());
    done_ = true;
}

namespace {

// A commit note goes once no journal it lists is left (the commit is then over either way).
void RemoveNoteIfDone(const std::string& note) {
    std::string lines;
    try {
        lines = ReadFileBytes(note);
    } catch (...) {
        return;
    }
    size_t start = 0;
    while (start < lines.size()) {
        const size_t nl = lines.find('\n', start);
        const std::string path = lines.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        struct stat st {};
        if (!path.empty() && ::stat(path.c_str(), &st) == 0) return;
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    ::unlink(note.c_str());
}

}  // namespace

void RecoverHotJournals(const std::string& mainPath, bool forWriting) {
    if (forWriting)
        RemoveStaleBuilds(ExtractFileDir(mainPath));  // finishes interrupted swaps first
    else
        RecoverInterruptedSwaps(ExtractFileDir(mainPath));
    const std::string prefix = JournalPrefix(mainPath);
    const std::string dir = ExtractFileDir(mainPath);
    const std::string namePrefix = ExtractFileName(prefix);
    std::vector<std::string> journals, notes;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > namePrefix.size() && SameAscii(name.substr(0, namePrefix.size()), namePrefix))
            journals.push_back(entry.path().string());
        else if (forWriting && name.rfind(".tessel-commit-", 0) == 0)
            notes.push_back(entry.path().string());
    }
    std::sort(journals.rbegin(), journals.rend());  // newest first
    for (const auto& j : journals) {
        const int fd = ::open(j.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {  // its writer is alive
            ::close(fd);
            continue;
        }
        std::string note;
        try {
            const JournalContents contents = ParseJournal(ReadJournal(j), j, mainPath);
            note = contents.commitNote;
            struct stat st {};
            // A shared commit whose note is gone was committed: the journal only goes.
            if (note.empty() || ::stat(note.c_str(), &st) == 0) Apply(contents);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::unlink(j.c_str());
        ::close(fd);
        if (!note.empty()) RemoveNoteIfDone(note);
        if (DurableWrites()) SyncToDevice(dir, true);
    }
    // Notes of shared commits that died before any journal named them.
    for (const auto& note : notes) RemoveNoteIfDone(note);
}

void NotifyBeforeWrite(const std::string& path, int fd, uint64_t offset, uint64_t size) {
    for (RollbackJournal* j : WatchersOf(path)) j->BeforeWrite(path, fd, offset, size);
}
void NotifyBeforeTruncate(const std::string& path, int fd, uint64_t size) {
    for (RollbackJournal* j : WatchersOf(path)) j->BeforeTruncate(path, fd, size);
}
void NotifyBeforeCreate(const std::string& path) {
    for (RollbackJournal* j : WatchersOf(path)) j->BeforeCreate(path);
}

void RemoveTableFile(const std::string& path) {
    NotifyBeforeCreate(path);  // the same as emptying it: its bytes are kept
    ::unlink(path.c_str());
}

}  // namespace tessel::engine
