#pragma once

// A file of a table family with positioned I/O and an advisory lock.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/storage/Table.h"

namespace tessel::engine {

// A file of a table family: positioned reads and writes that raise EngineError naming the
// file, and an advisory whole-file lock (flock) that is shared by readers and exclusive for
// writers. Locks are counted, so nested holds are cheap; an exclusive request while only a
// shared hold exists upgrades the lock.
class LockedFile {
public:
    LockedFile() = default;
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    // Opens an existing file. Raises kNotFound / kIo / kReadOnly.
    void Open(const std::string& path, bool writable);
    // Creates (truncating) a file for writing.
    void Create(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    bool Writable() const { return writable_; }

    uint64_t Size() const;
    // Reads up to `size` bytes at `offset`; returns how many were read (short at the end).
    size_t ReadAt(uint64_t offset, void* buffer, size_t size) const;
    // Reads exactly `size` bytes or raises kCorruptFile with `what` in the message.
    void ReadExactly(uint64_t offset, void* buffer, size_t size, const char* what) const;
    void WriteAt(uint64_t offset, const void* data, size_t size);
    void WriteAt(uint64_t offset, std::string_view data) { WriteAt(offset, data.data(), data.size()); }
    void Truncate(uint64_t size);
    void Sync();

    // How long a lock request waits for another process before it fails with kLocked.
    static void SetLockTimeoutMs(int ms);

    void Lock(LockMode mode);
    void Unlock();
    bool HoldsLock() const { return depth_ > 0; }
    bool HoldsExclusive() const { return depth_ > 0 && exclusive_; }
    int Depth() const { return depth_; }
    // Grows every time the kernel lock is (re)taken: what was read under an older generation
    // may have changed since.
    uint64_t LockGeneration() const { return generation_; }
    // Grows with every write and truncation through this object: what was read before may
    // have changed since.
    uint64_t WriteGeneration() const { return writes_; }

private:
    void Acquire(bool exclusive);

    int fd_ = -1;
    bool writable_ = false;
    std::string path_;
    int depth_ = 0;
    int exclusiveDepth_ = 0;  // how many of the holds asked for exclusive
    bool exclusive_ = false;  // what the kernel lock currently is
    uint64_t generation_ = 0;
    uint64_t writes_ = 0;
};

// Holds a LockedFile's lock for a scope.
class FileLockGuard {
public:
    FileLockGuard(LockedFile& file, LockMode mode) : file_(file) { file_.Lock(mode); }
    ~FileLockGuard() { file_.Unlock(); }
    FileLockGuard(const FileLockGuard&) = delete;
    FileLockGuard& operator=(const FileLockGuard&) = delete;

private:
    LockedFile& file_;
};

}  // namespace tessel::engine
