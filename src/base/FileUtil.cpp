// Files and paths: reads, atomic writes, permissions, path parts, user folders.

#include "base/FileUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/Exceptions.h"

namespace tessel {

std::string FileErrorMessage(const char* verb, const std::string& fileName, int errnoValue) {
    return std::string("Cannot ") + verb + " file \"" + fileName + "\". " + std::strerror(errnoValue);
}

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

}  // namespace

std::string ReadFileBytes(const std::string& fileName) {
    FileDescriptor fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throw EFileError(FileErrorMessage("open", fileName, errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw EFileError(FileErrorMessage("read", fileName, errno));
    if (S_ISDIR(st.st_mode)) throw EFileError(FileErrorMessage("open", fileName, EISDIR));
    std::string data;
    if (st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EFileError(FileErrorMessage("read", fileName, errno));
        }
        if (n == 0) break;
        data.append(buffer, static_cast<size_t>(n));
    }
    return data;
}

unsigned PermissionsForReplacing(const std::string& fileName) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0) return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

namespace {

// A save through a symbolic link replaces the file it points to, not the link itself.
std::string FollowLink(const std::string& fileName) {
    struct stat st {};
    if (::lstat(fileName.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return fileName;
    char resolved[PATH_MAX];
    if (::realpath(fileName.c_str(), resolved) == nullptr) return fileName;
    return resolved;
}

}  // namespace

TAtomicFile::TAtomicFile(const std::string& fileName) : fileName_(fileName), targetName_(FollowLink(fileName)) {
    const std::string dir = ExtractFileDir(targetName_);
    std::string pattern = (dir == "/" ? std::string() : dir) + "/.tessel-save-XXXXXX";
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) Fail("create", errno);
    tempName_ = pattern;
    if (::fchmod(fd_, static_cast<mode_t>(PermissionsForReplacing(targetName_))) != 0) {
        const int err = errno;
        ::close(fd_);
        fd_ = -1;
        ::unlink(tempName_.c_str());
        Fail("create", err);
    }
}

TAtomicFile::~TAtomicFile() {
    if (committed_) return;
    if (fd_ >= 0) ::close(fd_);
    if (!tempName_.empty()) ::unlink(tempName_.c_str());
}

void TAtomicFile::Fail(const char* verb, int err) const {
    throw EFileError(FileErrorMessage(verb, fileName_, err));
}

void TAtomicFile::Write(std::string_view bytes) {
    if (fd_ < 0) Fail("write", EBADF);
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("write", errno);
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

void TAtomicFile::Commit() {
    if (committed_) return;
    if (fd_ < 0) Fail("write", EBADF);
    if (::fsync(fd_) != 0) Fail("write", errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail("write", errno);
    if (::rename(tempName_.c_str(), targetName_.c_str()) != 0) Fail("write", errno);
    committed_ = true;
    SyncToDevice(ExtractFileDir(targetName_), true);  // the rename reaches the device with its directory
}

void SyncToDevice(const std::string& path, bool directory) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (directory ? O_DIRECTORY : 0));
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

void WriteFileAtomically(const std::string& fileName, const std::string& bytes) {
    TAtomicFile file(fileName);
    file.Write(bytes);
    file.Commit();
}

std::string ExtractFileDir(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string ExtractFileName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileExt(const std::string& path) {
    const std::string name = ExtractFileName(path);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return path.substr(0, dot) + extension;
    return path + extension;
}

bool DirectoryIsWritable(const std::string& dir) {
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

static std::string XdgDir(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && *value == '/') return std::string(value) + "/tessel";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + fallback + "/tessel";
}

std::string UserConfigDir() {
    return XdgDir("XDG_CONFIG_HOME", "/.config");
}
std::string UserDataDir() {
    return XdgDir("XDG_DATA_HOME", "/.local/share");
}

std::string InstalledDataDir(const std::string& executable) {
    if (executable.empty()) return std::string();
    const std::filesystem::path bin = std::filesystem::path(executable).parent_path();
    if (bin.filename() != "bin") return std::string();
    const std::filesystem::path share = bin.parent_path() / "share" / "tessel";
    std::error_code ec;
    return std::filesystem::is_directory(share, ec) ? share.string() : std::string();
}

std::string RunningExecutable() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

void ForceDirectories(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw EFileError("Cannot create directory \"" + dir + "\". " + ec.message());
}

}  // namespace tessel
