#include "base/FileUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

void WriteFileAtomically(const std::string& fileName, const std::string& bytes) {
    const std::string dir = ExtractFileDir(fileName);
    std::string tmpl = (dir == "/" ? std::string() : dir) + "/.tessel-save-XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    FileDescriptor fd(::mkstemp(name.data()));
    if (fd.get() < 0) throw EFileError(FileErrorMessage("create", fileName, errno));
    const std::string tmpName(name.data());
    auto fail = [&](int err) {
        ::unlink(tmpName.c_str());
        throw EFileError(FileErrorMessage("write", fileName, err));
    };
    if (::fchmod(fd.get(), static_cast<mode_t>(PermissionsForReplacing(fileName))) != 0) fail(errno);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd.get()) != 0) fail(errno);
    if (::close(fd.release()) != 0) fail(errno);
    if (::rename(tmpName.c_str(), fileName.c_str()) != 0) fail(errno);
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
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        return path.substr(0, dot) + extension;
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

std::string UserConfigDir() { return XdgDir("XDG_CONFIG_HOME", "/.config"); }
std::string UserDataDir() { return XdgDir("XDG_DATA_HOME", "/.local/share"); }

void ForceDirectories(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw EFileError("Cannot create directory \"" + dir + "\". " + ec.message());
}

}  // namespace tessel
