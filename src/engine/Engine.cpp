// The engine: aliases, open databases, the sample tables.

#include "engine/Engine.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "base/FileUtil.h"
#include "engine/dbase/Dbase.h"
#include "engine/drivers/Drivers.h"
#include "engine/sql/Parser.h"

namespace tessel::engine {

extern const char* const kSamplesSql;  // samples/samples.sql, embedded at build time

namespace fs = std::filesystem;

namespace {

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Absolute(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    if (ec) return path;
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

}  // namespace

Engine::Engine(std::string aliasFile, std::string defaultDirectory) : aliases_(std::move(aliasFile)) {
    SetDefaultDirectory(defaultDirectory);
}

Engine::~Engine() = default;

void Engine::SetDefaultDirectory(const std::string& directory) {
    if (directory.empty()) {
        std::error_code ec;
        defaultDirectory_ = fs::current_path(ec).string();
    } else {
        defaultDirectory_ = Absolute(directory);
    }
}

std::string Engine::DirectoryFor(const std::string& name) const {
    if (name.empty()) return defaultDirectory_;
    if (aliases_.IsServerAlias(name))
        throw EngineError("Alias " + name + " names a PostgreSQL server, not a folder of tables", errc::kNotSupported);
    if (aliases_.AliasExists(name)) return Absolute(aliases_.AliasPath(name));
    if (IsDirectory(name)) return Absolute(name);
    throw EngineError("Unknown database: " + name + " is neither an alias nor a directory", errc::kUnknownAlias);
}

Database& Engine::OpenDatabase(const std::string& name) {
    const bool isAlias = !name.empty() && aliases_.AliasExists(name);
    const std::string dir = DirectoryFor(name);
    const std::string driver = isAlias ? aliases_.DefaultDriver(name) : std::string(DefaultStorageDriver().Name());
    if (isAlias && strcasecmp(name.c_str(), kSampleAliasName) == 0) EnsureSamples(dir);
    if (!IsDirectory(dir)) throw EngineError("The directory \"" + dir + "\" does not exist", errc::kNotFound);
    if (isAlias) dbase::SetUndeclaredCodePage(dir, aliases_.CodePage(name));
    const std::string key = dir + "\n" + driver;
    auto it = databases_.find(key);
    if (it != databases_.end()) return *it->second;
    auto db = std::make_unique<Database>(*this, dir, driver);
    Database& ref = *db;
    databases_[key] = std::move(db);
    return ref;
}

void Engine::CloseDatabase(const std::string& name) {
    const bool isAlias = !name.empty() && aliases_.AliasExists(name);
    const std::string dir = DirectoryFor(name);
    const std::string driver = isAlias ? aliases_.DefaultDriver(name) : std::string(DefaultStorageDriver().Name());
    databases_.erase(dir + "\n" + driver);
}

ServerConnection& Engine::Server(const std::string& alias) {
    const std::string key = AsciiUpper(alias);
    auto it = servers_.find(key);
    if (it != servers_.end()) {
        if (it->second->Healthy()) return *it->second;
        servers_.erase(it);  // a dropped connection is made again
    }
    if (!aliases_.IsServerAlias(alias))
        throw EngineError("Alias " + alias + " names no database server", errc::kUnknownAlias);
    auto made = std::make_unique<ServerConnection>(ServerParamsFor(aliases_, alias), this);
    ServerConnection& ref = *made;
    servers_[key] = std::move(made);
    return ref;
}

void Engine::CloseServer(const std::string& alias) {
    const std::string key = AsciiUpper(alias);
    servers_.erase(key);
}

void Engine::Interrupt() {
    if (running_.load() > 0) cancel_.store(true);
}

void Engine::BeginRunning() {
    if (running_.fetch_add(1) == 0) {
        runStart_ = lastHook_ = std::chrono::steady_clock::now();
        activity_.clear();
    }
}

void Engine::EndRunning() {
    if (running_.fetch_sub(1) != 1) return;
    cancel_.store(false);
    activity_.clear();
    if (finishedHook_ && !inHook_) {
        inHook_ = true;
        finishedHook_();
        inHook_ = false;
    }
}

void Engine::CheckCancelled() {
    Tick();
    if (Cancelled()) throw EngineError("Operation cancelled", errc::kCancelled);
}

void Engine::SetCopyProgress(int64_t done, int64_t total) {
    SetActivity("Copying: " + std::to_string(total > 0 ? done * 100 / total : 100) + " %");
}

std::chrono::steady_clock::duration Engine::RunningFor() const {
    if (!Running()) return {};
    return std::chrono::steady_clock::now() - runStart_;
}

void Engine::SetProgressHooks(std::function<void()> progress, std::function<void()> finished) {
    progressHook_ = std::move(progress);
    finishedHook_ = std::move(finished);
}

void Engine::Tick() {
    if (!progressHook_ || inHook_ || !Running()) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastHook_ < std::chrono::milliseconds(40)) return;
    lastHook_ = now;
    inHook_ = true;
    progressHook_();
    inHook_ = false;
}

void Engine::EnsureSamples(const std::string& directory) {
    struct stat st {};
    if (::stat((directory + "/employee.db").c_str(), &st) == 0) return;
    std::error_code ec;
    fs::create_directories(directory, ec);
    if (ec) throw EngineError("Cannot create the sample folder \"" + directory + "\": " + ec.message(), errc::kIo);
    // Built in a folder of its own first, so a failure leaves no half set of tables.
    std::string tmpl = directory + "/.tessel-samples-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        const int err = errno;
        throw EngineError("Cannot create the sample tables in \"" + directory + "\": " + std::strerror(err), errc::kIo,
                          err);
    }
    try {
        {
            Database db(*this, tmpl, std::string(DefaultStorageDriver().Name()));
            // An installed program makes them from its shared data, a built one from its own copy.
            std::string script = kSamplesSql;
            const std::string shared = InstalledDataDir(RunningExecutable());
            if (!shared.empty() && ::stat((shared + "/samples.sql").c_str(), &st) == 0)
                script = ReadFileBytes(shared + "/samples.sql");
            for (const auto& piece : sql::SplitScript(script)) db.Execute(piece.text);
        }
        for (const auto& entry : fs::directory_iterator(tmpl)) {
            const fs::path target = fs::path(directory) / entry.path().filename();
            if (!fs::exists(target)) fs::rename(entry.path(), target);
        }
    } catch (...) {
        fs::remove_all(tmpl, ec);
        throw;
    }
    fs::remove_all(tmpl, ec);
}

}  // namespace tessel::engine
