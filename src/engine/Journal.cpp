// Before-images of table families for statements and transactions.

#include "engine/Journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/EngineError.h"
#include "base/FileUtil.h"
#include "engine/drivers/Drivers.h"
#include "engine/storage/TableFamily.h"

namespace tessel::engine {

namespace fs = std::filesystem;

namespace {

// Copies `from` over `to`, writing into the existing file when there is one.
void CopyFileContents(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        const int err = errno;
        throw EngineError("Cannot read \"" + from + "\": " + std::strerror(err), errc::kIo, err);
    }
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        throw EngineError("Cannot write \"" + to + "\": " + std::strerror(err),
                          err == EACCES || err == EROFS ? errc::kReadOnly : errc::kIo, err);
    }
    static thread_local std::vector<char> buffer(1 << 20);
    bool ok = true;
    int err = 0;
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            err = errno;
            break;
        }
        if (n == 0) break;
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(out, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                ok = false;
                err = errno;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    ::close(in);
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) throw EngineError("Cannot copy \"" + from + "\" to \"" + to + "\": " + std::strerror(err), errc::kIo, err);
}

}  // namespace

Journal::~Journal() {
    if (!dir_.empty()) {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
}

std::string Journal::EnsureDirectory() {
    if (dir_.empty()) {
        std::string tmpl = (fs::temp_directory_path() / "tessel-journal-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) {
            const int err = errno;
            throw EngineError(std::string("Cannot create the transaction journal: ") + std::strerror(err), errc::kIo,
                              err);
        }
        dir_ = tmpl;
    }
    return dir_;
}

bool Journal::Has(const std::string& mainPath) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.mainPath == mainPath; });
}

void Journal::Snapshot(const std::string& mainPath) {
    if (Has(mainPath)) return;
    const std::string dir = EnsureDirectory();
    Entry entry;
    entry.mainPath = mainPath;
    for (const auto& file : TableFamilyFiles(mainPath, DriverForPath(mainPath))) {
        const std::string copy = dir + "/" + std::to_string(++counter_);
        CopyFileContents(file, copy);
        entry.files.emplace_back(file, copy);
    }
    entries_.push_back(std::move(entry));
}

std::vector<std::string> Journal::Tables() const {
    std::vector<std::string> out;
    for (const auto& e : entries_) out.push_back(e.mainPath);
    return out;
}

void Journal::Restore(const std::string& mainPath) {
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.mainPath == mainPath; });
    if (it == entries_.end()) return;
    for (const auto& file : TableFamilyFiles(mainPath, DriverForPath(mainPath))) {
        const bool had =
            std::any_of(it->files.begin(), it->files.end(), [&](const auto& p) { return p.first == file; });
        if (!had) ::unlink(file.c_str());
    }
    // Companions first, the main file last.
    for (auto f = it->files.rbegin(); f != it->files.rend(); ++f) CopyFileContents(f->second, f->first);
}

void Journal::Clear() {
    for (const auto& e : entries_)
        for (const auto& f : e.files) ::unlink(f.second.c_str());
    entries_.clear();
}

}  // namespace tessel::engine
