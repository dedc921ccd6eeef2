#include "engine/TableFamily.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "base/AsciiText.h"
#include "base/EngineError.h"

namespace tessel::engine {

namespace fs = std::filesystem;

namespace {

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Whether `ext` (lower case, without dot) belongs to a family whose main file has `mainExt`.
bool IsFamilyExtension(const std::string& mainExt, const std::string& ext) {
    if (ext == mainExt) return true;
    if (mainExt == "db") {
        if (ext == "px" || ext == "mb" || ext == "val" || ext == "tv" || ext == "fam") return true;
        if (ext.size() == 3 && (ext[0] == 'x' || ext[0] == 'y')) {
            if (IsHex(ext[1]) && IsHex(ext[2])) return true;                       // .X01 .Y0A
            if (ext[1] == 'g' && std::isdigit(static_cast<unsigned char>(ext[2]))) return true;  // .XG0
        }
        return false;
    }
    if (mainExt == "dbf") return ext == "dbt" || ext == "fpt" || ext == "mdx" || ext == "cdx";
    return false;
}

std::string StemOf(const std::string& fileName) {
    const size_t dot = fileName.find_last_of('.');
    return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtensionOf(const std::string& path) {
    const std::string name = FileNameOf(path);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

std::vector<std::string> TableFamilyFiles(const std::string& mainPath) {
    const std::string dir = DirectoryOf(mainPath);
    const std::string name = FileNameOf(mainPath);
    const std::string stem = AsciiLower(StemOf(name));
    std::string mainExt = AsciiLower(ExtensionOf(name));
    if (!mainExt.empty()) mainExt.erase(0, 1);
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string file = entry.path().filename().string();
        const size_t dot = file.find_last_of('.');
        if (dot == std::string::npos || AsciiLower(file.substr(0, dot)) != stem) continue;
        if (!IsFamilyExtension(mainExt, AsciiLower(file.substr(dot + 1)))) continue;
        if (!entry.is_regular_file(ec)) continue;
        const std::string full = (dir == "/" ? std::string() : dir) + "/" + file;
        if (AsciiLower(file.substr(dot + 1)) == mainExt)
            files.insert(files.begin(), full);
        else
            files.push_back(full);
    }
    return files;
}

void RemoveTableFamily(const std::string& mainPath) {
    for (const auto& file : TableFamilyFiles(mainPath)) {
        if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
            const int err = errno;
            throw EngineError("Cannot remove \"" + file + "\": " + std::strerror(err),
                              err == EACCES || err == EPERM || err == EROFS ? errc::kReadOnly : errc::kIo, err);
        }
    }
}

std::string TemporaryTablePath(const std::string& dir, const std::string& likePath) {
    const std::string ext = ExtensionOf(likePath);
    const std::string base = (dir == "/" ? std::string() : dir) + "/.tessel-tmp-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string tmpl = base + "XXXXXX";
        const int fd = ::mkstemp(tmpl.data());
        if (fd < 0) {
            const int err = errno;
            throw EngineError("Cannot create a file in \"" + dir + "\": " + std::strerror(err),
                              err == EACCES || err == EPERM || err == EROFS ? errc::kReadOnly : errc::kIo, err);
        }
        ::close(fd);
        // The placeholder reserves the stem; the table's own files carry the extensions.
        const std::string candidate = tmpl + ext;
        if (TableFamilyFiles(candidate).empty()) {
            ::unlink(tmpl.c_str());
            return candidate;
        }
        ::unlink(tmpl.c_str());
    }
    throw EngineError("Cannot find a free temporary name in \"" + dir + "\"", errc::kIo);
}

void ReplaceTableFamily(const std::string& newMainPath, const std::string& destMainPath) {
    const std::string dir = DirectoryOf(destMainPath);
    const std::string prefix = (dir == "/" ? std::string() : dir) + "/";
    const std::string destStem = StemOf(FileNameOf(destMainPath));
    const std::string newStem = StemOf(FileNameOf(newMainPath));
    const std::vector<std::string> oldFiles = TableFamilyFiles(destMainPath);
    const std::vector<std::string> newFiles = TableFamilyFiles(newMainPath);

    // Old files go aside under a temporary stem first.
    const std::string asideMain = TemporaryTablePath(dir, destMainPath);
    const std::string asideStem = StemOf(FileNameOf(asideMain));
    std::vector<std::pair<std::string, std::string>> done;  // renames made, to undo on failure
    auto undo = [&]() {
        for (auto it = done.rbegin(); it != done.rend(); ++it) ::rename(it->second.c_str(), it->first.c_str());
    };
    auto move = [&](const std::string& from, const std::string& to) {
        if (::rename(from.c_str(), to.c_str()) != 0) {
            const int err = errno;
            undo();
            throw EngineError("Cannot rename \"" + from + "\" to \"" + to + "\": " + std::strerror(err),
                              err == EACCES || err == EPERM || err == EROFS ? errc::kReadOnly : errc::kIo, err);
        }
        done.emplace_back(from, to);
    };
    std::vector<std::string> aside;
    for (const auto& file : oldFiles) {
        const std::string name = FileNameOf(file);
        const std::string target = prefix + asideStem + name.substr(StemOf(name).size());
        move(file, target);
        aside.push_back(target);
    }
    // The main file last, so a reader never finds a main file without its companions.
    std::vector<std::string> ordered(newFiles.begin() + (newFiles.empty() ? 0 : 1), newFiles.end());
    if (!newFiles.empty()) ordered.push_back(newFiles.front());
    for (const auto& file : ordered) {
        const std::string name = FileNameOf(file);
        (void)newStem;
        move(file, prefix + destStem + name.substr(StemOf(name).size()));
    }
    for (const auto& file : aside) ::unlink(file.c_str());
}

}  // namespace tessel::engine
