// Finding, listing, removing and replacing a table's files.

#include "engine/storage/TableFamily.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "base/FileUtil.h"
#include "engine/storage/Driver.h"
#include "engine/storage/IoFaults.h"
#include "engine/storage/RollbackJournal.h"

namespace tessel::engine {

namespace fs = std::filesystem;

namespace {

std::string StemOf(const std::string& fileName) {
    const size_t dot = fileName.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

std::string InDirectory(const std::string& dir, const std::string& name) {
    return (dir == "/" ? std::string() : dir) + "/" + name;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int ErrorCodeFor(int err) {
    return err == EACCES || err == EPERM || err == EROFS ? errc::kReadOnly : errc::kIo;
}

}  // namespace

std::optional<std::string> FindFileNoCase(const std::string& dir, const std::string& fileName) {
    const std::string exact = InDirectory(dir, fileName);
    if (IsRegularFile(exact)) return exact;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (SameAscii(name, fileName) && entry.is_regular_file(ec)) return entry.path().string();
    }
    return std::nullopt;
}

std::string FindCompanion(const std::string& mainPath, std::string_view ext) {
    const std::string dir = ExtractFileDir(mainPath);
    const std::string stem = StemOf(ExtractFileName(mainPath));
    // The names Tessel itself would give first, so two tables whose stems differ only in
    // case each find their own; then any case.
    for (const std::string& e : {AsciiLower(ext), AsciiUpper(ext)})
        if (IsRegularFile(InDirectory(dir, stem + e))) return InDirectory(dir, stem + e);
    const auto found = FindFileNoCase(dir, stem + std::string(ext));
    return found ? *found : std::string();
}

std::string CompanionPath(const std::string& mainPath, std::string_view ext) {
    const std::string mainExt = ExtractFileExt(mainPath);
    bool lower = false;
    for (char c : mainExt) lower = lower || (c >= 'a' && c <= 'z');
    const std::string name = ExtractFileName(mainPath);
    const std::string stem = mainPath.substr(0, mainPath.size() - name.size()) + StemOf(name);
    return stem + (lower ? AsciiLower(ext) : AsciiUpper(ext));
}

std::vector<std::string> TableFamilyFiles(const std::string& mainPath, const StorageDriver& driver) {
    const std::string dir = ExtractFileDir(mainPath);
    const std::string stem = StemOf(ExtractFileName(mainPath));
    const std::string mainExt = AsciiLower(ExtractFileExt(mainPath));
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string file = entry.path().filename().string();
        const size_t dot = file.find_last_of('.');
        if (dot == std::string::npos || dot == 0 || !SameAscii(file.substr(0, dot), stem)) continue;
        const std::string ext = AsciiLower(file.substr(dot + 1));
        if (!driver.IsFamilyExtension(ext)) continue;
        if (!entry.is_regular_file(ec)) continue;
        if ("." + ext == mainExt)
            files.insert(files.begin(), InDirectory(dir, file));
        else
            files.push_back(InDirectory(dir, file));
    }
    return files;
}

void RemoveTableFamily(const std::string& mainPath, const StorageDriver& driver) {
    for (const auto& file : TableFamilyFiles(mainPath, driver)) {
        if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
            const int err = errno;
            throw EngineError("Cannot remove \"" + file + "\": " + std::strerror(err), ErrorCodeFor(err), err);
        }
    }
}

std::string TemporaryTablePath(const std::string& dir, const std::string& likePath) {
    const std::string ext = ExtractFileExt(likePath);
    const std::string base = InDirectory(dir, ".tessel-tmp-");
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string tmpl = base + "XXXXXX";
        const int fd = ::mkstemp(tmpl.data());
        if (fd < 0) {
            const int err = errno;
            throw EngineError("Cannot create a file in \"" + dir + "\": " + std::strerror(err), ErrorCodeFor(err), err);
        }
        ::close(fd);
        // The placeholder reserves the stem; the table's own files carry the extensions.
        const std::string candidate = tmpl + ext;
        const std::string stem = ExtractFileName(tmpl);
        bool taken = false;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir, ec)) {
            const std::string name = entry.path().filename().string();
            taken = taken || (name != stem && SameAscii(StemOf(name), stem));
        }
        ::unlink(tmpl.c_str());
        if (!taken) return candidate;
    }
    throw EngineError("Cannot find a free temporary name in \"" + dir + "\"", errc::kIo);
}

namespace {

constexpr char kSwapSuffix[] = ".tessel-swap";

std::string SwapRecordPath(const std::string& destMainPath) {
    return InDirectory(ExtractFileDir(destMainPath),
                       std::string(".").append(ExtractFileName(destMainPath)).append(kSwapSuffix));
}

// Finishes a swap whose process died: the new family was complete before the first rename, so
// the swap is carried forward. `record` names the stems and the files of both families.
void FinishSwap(const std::string& dir, const std::string& record) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < record.size()) {
        const size_t nl = record.find('\n', start);
        lines.push_back(record.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    if (lines.size() < 5 || lines.front() != "TSLSWAP1" || std::find(lines.begin(), lines.end(), "end") == lines.end())
        return;  // written only in part: no rename had begun
    std::string asideStem, newStem, destStem;
    std::vector<std::string> oldExts, newExts;
    for (const auto& l : lines) {
        const size_t sp = l.find(' ');
        if (sp == std::string::npos) continue;
        const std::string key = l.substr(0, sp), value = l.substr(sp + 1);
        if (value.find('/') != std::string::npos) return;  // not ours
        if (key == "aside") asideStem = value;
        if (key == "new") newStem = value;
        if (key == "dest") destStem = value;
        if (key == "old") oldExts.push_back(value);
        if (key == "add") newExts.push_back(value);
    }
    if (asideStem.empty() || newStem.empty() || destStem.empty()) return;
    for (const auto& ext : newExts) {
        const std::string from = InDirectory(dir, newStem + ext);
        if (IsRegularFile(from)) ::rename(from.c_str(), InDirectory(dir, destStem + ext).c_str());
    }
    for (const auto& ext : oldExts) {
        if (std::find(newExts.begin(), newExts.end(), ext) == newExts.end())
            ::unlink(InDirectory(dir, destStem + ext).c_str());  // an old companion not yet moved aside
        ::unlink(InDirectory(dir, asideStem + ext).c_str());
    }
}

}  // namespace

bool HasInterruptedSwap(const std::string& mainPath) {
    return IsRegularFile(SwapRecordPath(mainPath));
}

void RecoverInterruptedSwaps(const std::string& dir) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= sizeof(kSwapSuffix) ||
            name.compare(name.size() - (sizeof(kSwapSuffix) - 1), std::string::npos, kSwapSuffix) != 0)
            continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {  // its swapper is gone
            std::string record;
            char buf[4096];
            ssize_t n;
            while ((n = ::read(fd, buf, sizeof buf)) > 0) record.append(buf, static_cast<size_t>(n));
            FinishSwap(dir, record);
            ::unlink(entry.path().c_str());
            if (DurableWrites()) SyncToDevice(dir, true);
        }
        ::close(fd);
    }
}

void ReplaceTableFamily(const std::string& newMainPath, const std::string& destMainPath, const StorageDriver& driver) {
    const std::string dir = ExtractFileDir(destMainPath);
    const std::string destStem = StemOf(ExtractFileName(destMainPath));
    const std::vector<std::string> oldFiles = TableFamilyFiles(destMainPath, driver);
    const std::vector<std::string> newFiles = TableFamilyFiles(newMainPath, driver);
    const unsigned mode = PermissionsForReplacing(destMainPath);
    for (const auto& file : newFiles) ::chmod(file.c_str(), static_cast<mode_t>(mode));

    // Old files go aside under a temporary stem first.
    const std::string asideStem = StemOf(ExtractFileName(TemporaryTablePath(dir, destMainPath)));
    // The swap is written down (and, with the new files, made durable) before the first
    // rename, so that a swap cut off by a crash is finished by the next opener.
    const std::string recordPath = SwapRecordPath(destMainPath);
    const int recordFd = ::open(recordPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (recordFd < 0) {
        const int err = errno;
        throw EngineError("Cannot create \"" + recordPath + "\": " + std::strerror(err), ErrorCodeFor(err), err);
    }
    ::flock(recordFd, LOCK_EX);
    struct RecordGuard {
        int fd;
        std::string path;
        ~RecordGuard() {
            ::unlink(path.c_str());
            ::close(fd);
        }
    } recordGuard{recordFd, recordPath};
    {
        std::string record = "TSLSWAP1\naside " + asideStem + "\nnew " + StemOf(ExtractFileName(newMainPath)) +
                             "\ndest " + destStem + "\n";
        for (const auto& f : oldFiles)
            record += "old " + ExtractFileName(f).substr(StemOf(ExtractFileName(f)).size()) + "\n";
        for (const auto& f : newFiles)
            record += "add " + ExtractFileName(f).substr(StemOf(ExtractFileName(f)).size()) + "\n";
        record += "end\n";
        if (DurableWrites())
            for (const auto& f : newFiles) SyncToDevice(f);
        const IoFault fault = CheckIoFault(IoCall::Write, recordPath);
        if (fault.error || ::write(recordFd, record.data(), record.size()) != static_cast<ssize_t>(record.size()) ||
            (DurableWrites() && ::fsync(recordFd) != 0)) {
            const int err = fault.error ? fault.error : errno;
            throw EngineError("Cannot write \"" + recordPath + "\": " + std::strerror(err), ErrorCodeFor(err), err);
        }
        if (DurableWrites()) SyncToDevice(dir, true);
    }
    std::vector<std::pair<std::string, std::string>> done;  // renames made, to undo on failure
    auto undo = [&]() {
        for (auto it = done.rbegin(); it != done.rend(); ++it) ::rename(it->second.c_str(), it->first.c_str());
    };
    auto move = [&](const std::string& from, const std::string& to) {
        const IoFault fault = CheckIoFault(IoCall::Rename, from);
        if (fault.error || ::rename(from.c_str(), to.c_str()) != 0) {
            const int err = fault.error ? fault.error : errno;
            undo();
            throw EngineError("Cannot rename \"" + from + "\" to \"" + to + "\": " + std::strerror(err),
                              ErrorCodeFor(err), err);
        }
        done.emplace_back(from, to);
    };
    std::vector<std::string> aside;
    for (const auto& file : oldFiles) {
        const std::string name = ExtractFileName(file);
        const std::string target = InDirectory(dir, asideStem + name.substr(StemOf(name).size()));
        move(file, target);
        aside.push_back(target);
    }
    // The main file last, so a reader never finds a main file without its companions.
    std::vector<std::string> ordered(newFiles.begin() + (newFiles.empty() ? 0 : 1), newFiles.end());
    if (!newFiles.empty()) ordered.push_back(newFiles.front());
    for (const auto& file : ordered) {
        const std::string name = ExtractFileName(file);
        move(file, InDirectory(dir, destStem + name.substr(StemOf(name).size())));
    }
    for (const auto& file : aside) ::unlink(file.c_str());
}

namespace {

constexpr char kBuildPrefix[] = ".tessel-tmp-";

// A build in progress: the placeholder that reserves the temporary stem stays, locked, for
// the build's life, so a later writer can tell a build whose process is gone.
class BuildPlaceholder {
public:
    explicit BuildPlaceholder(const std::string& dir) {
        std::string tmpl = InDirectory(dir, std::string(kBuildPrefix) + "XXXXXX");
        fd_ = ::mkostemp(tmpl.data(), O_CLOEXEC);
        if (fd_ < 0) {
            const int err = errno;
            throw EngineError("Cannot create a file in \"" + dir + "\": " + std::strerror(err), ErrorCodeFor(err), err);
        }
        ::flock(fd_, LOCK_EX);
        path_ = tmpl;
    }
    ~BuildPlaceholder() {
        ::unlink(path_.c_str());
        ::close(fd_);
    }
    BuildPlaceholder(const BuildPlaceholder&) = delete;
    BuildPlaceholder& operator=(const BuildPlaceholder&) = delete;
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace

void RemoveStaleBuilds(const std::string& dir) {
    // A dead build's files may still be needed to finish its swap.
    RecoverInterruptedSwaps(dir);
    std::error_code ec;
    std::vector<std::string> stale;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != sizeof(kBuildPrefix) - 1 + 6 || name.rfind(kBuildPrefix, 0) != 0) continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) stale.push_back(name);  // its builder is gone
        ::close(fd);
    }
    for (const auto& stem : stale) {
        for (const auto& entry : fs::directory_iterator(dir, ec)) {
            const std::string name = entry.path().filename().string();
            if (name != stem && StemOf(name) == stem) ::unlink(entry.path().c_str());
        }
        ::unlink(InDirectory(dir, stem).c_str());
    }
}

void BuildTableFamily(const std::string& destPath, const StorageDriver& driver,
                      const std::function<void(const std::string& tmpPath)>& build) {
    const std::string dir = ExtractFileDir(destPath);
    RemoveStaleBuilds(dir);
    const BuildPlaceholder placeholder(dir);
    const std::string tmp = placeholder.Path() + ExtractFileExt(destPath);
    try {
        build(tmp);
        ReplaceTableFamily(tmp, destPath, driver);
    } catch (...) {
        try {
            RemoveTableFamily(tmp, driver);
        } catch (...) {
            // The first failure is the one to report.
        }
        throw;
    }
}

}  // namespace tessel::engine
