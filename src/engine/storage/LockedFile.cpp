// Table files with positioned reads and writes and advisory locks.

#include "engine/storage/LockedFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/EngineError.h"
#include "engine/storage/IoFaults.h"
#include "engine/storage/RollbackJournal.h"

namespace tessel::engine {

namespace {

std::atomic<int> gLockTimeoutMs{10000};

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err, int code) {
    throw EngineError(what + " \"" + path + "\": " + std::strerror(err), code, err);
}

}  // namespace

LockedFile::~LockedFile() {
    Close();
}

void LockedFile::SetLockTimeoutMs(int ms) {
    gLockTimeoutMs = ms;
}

void LockedFile::Open(const std::string& path, bool writable) {
    Close();
    const int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        const int code = err == ENOENT ? errc::kNotFound : err == EACCES || err == EROFS ? errc::kReadOnly : errc::kIo;
        Fail("Cannot open", path, err, code);
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        Fail("Cannot open", path, EISDIR, errc::kIo);
    }
    fd_ = fd;
    path_ = path;
    writable_ = writable;
}

void LockedFile::Create(const std::string& path) {
    Close();
    if (const IoFault f = CheckIoFault(IoCall::Create, path); f.error) Fail("Cannot create", path, f.error, errc::kIo);
    NotifyBeforeCreate(path);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int err = errno;
        Fail("Cannot create", path, err, err == EACCES || err == EROFS ? errc::kReadOnly : errc::kIo);
    }
    fd_ = fd;
    path_ = path;
    writable_ = true;
}

void LockedFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);  // also drops the flock
        fd_ = -1;
    }
    depth_ = 0;
    exclusiveDepth_ = 0;
    exclusive_ = false;
}

uint64_t LockedFile::Size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("Cannot read", path_, errno, errc::kIo);
    return static_cast<uint64_t>(st.st_size);
}

size_t LockedFile::ReadAt(uint64_t offset, void* buffer, size_t size) const {
    size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < size) {
        const ssize_t n = ::pread(fd_, p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot read", path_, errno, errc::kIo);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void LockedFile::ReadExactly(uint64_t offset, void* buffer, size_t size, const char* what) const {
    if (ReadAt(offset, buffer, size) != size)
        throw EngineError("File \"" + path_ + "\" is truncated: " + what + " at offset " + std::to_string(offset) +
                              " runs past its end",
                          errc::kCorruptFile);
}

void LockedFile::WriteAt(uint64_t offset, const void* data, size_t size) {
    ++writes_;
    const IoFault fault = CheckIoFault(IoCall::Write, path_);
    if (fault.error && fault.bytes < size) size = fault.bytes;  // a write cut off part-way
    NotifyBeforeWrite(path_, fd_, offset, size);
    size_t done = 0;
    const auto* p = static_cast<const char*>(data);
    while (done < size) {
        const ssize_t n = ::pwrite(fd_, p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot write", path_, errno, errc::kIo);
        }
        done += static_cast<size_t>(n);
    }
    if (fault.error) Fail("Cannot write", path_, fault.error, errc::kIo);
}

void LockedFile::Truncate(uint64_t size) {
    ++writes_;
    if (const IoFault f = CheckIoFault(IoCall::Truncate, path_); f.error)
        Fail("Cannot write", path_, f.error, errc::kIo);
    NotifyBeforeTruncate(path_, fd_, size);
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail("Cannot write", path_, errno, errc::kIo);
}

void LockedFile::Sync() {
    if (const IoFault f = CheckIoFault(IoCall::Sync, path_); f.error) Fail("Cannot write", path_, f.error, errc::kIo);
    if (::fdatasync(fd_) != 0) Fail("Cannot write", path_, errno, errc::kIo);
}

void LockedFile::Acquire(bool exclusive) {
    const int op = (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(gLockTimeoutMs.load());
    int sleepUs = 200;
    for (;;) {
        if (::flock(fd_, op) == 0) {
            exclusive_ = exclusive;
            ++generation_;
            return;
        }
        const int err = errno;
        if (err == EINTR) continue;
        if (err != EWOULDBLOCK) Fail("Cannot lock", path_, err, errc::kIo);
        if (std::chrono::steady_clock::now() >= deadline)
            throw EngineError("Table \"" + path_ + "\" is locked by another user", errc::kLocked, err);
        std::this_thread::sleep_for(std::chrono::microseconds(sleepUs));
        if (sleepUs < 20000) sleepUs *= 2;
    }
}

void LockedFile::Lock(LockMode mode) {
    const bool wantExclusive = mode == LockMode::Exclusive;
    if (depth_ == 0) {
        Acquire(wantExclusive);
    } else if (wantExclusive && !exclusive_) {
        // flock converts by dropping and re-taking the lock; callers re-read what they cached.
        Acquire(true);
    }
    ++depth_;
    if (wantExclusive) ++exclusiveDepth_;
}

void LockedFile::Unlock() {
    if (depth_ == 0) return;
    --depth_;
    if (depth_ == 0) {
        exclusiveDepth_ = 0;
        exclusive_ = false;
        ::flock(fd_, LOCK_UN);
    }
}

}  // namespace tessel::engine
