#pragma once

// The one engine of a process: its aliases, the databases opened through it, and the
// interrupt that ends a running statement.

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "engine/Aliases.h"
#include "engine/Database.h"
#include "engine/Server.h"

namespace tessel::engine {

class Engine {
public:
    // `aliasFile` as for AliasStore; `defaultDirectory` is what an empty database name opens
    // (the window passes the working directory it shows at start; empty: the process' current
    // directory).
    explicit Engine(std::string aliasFile = AliasStore::DefaultFileName(), std::string defaultDirectory = {});
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    AliasStore& Aliases() { return aliases_; }
    const AliasStore& Aliases() const { return aliases_; }

    const std::string& DefaultDirectory() const { return defaultDirectory_; }
    void SetDefaultDirectory(const std::string& directory);

    // Opens (or returns the already open) database: an alias name, a directory, or empty for
    // the default directory. A name that is neither an alias nor an existing directory fails.
    // The built-in sample alias gets its sample tables on first use.
    Database& OpenDatabase(const std::string& name);
    // Closes a database opened by that name (rolling back its active transaction).
    void CloseDatabase(const std::string& name);

    // The connection to the server of a server alias (Aliases().IsServerAlias), made on first
    // use and kept for the session; waiting for it ticks this engine.
    ServerConnection& Server(const std::string& alias);
    // Ends that connection (the next use makes a new one).
    void CloseServer(const std::string& alias);

    // Ends the statement running in any database of this engine with "Operation cancelled".
    // Safe to call from another thread or a signal handler; does nothing when none runs.
    void Interrupt();

    // The directory a database name stands for (alias, directory, or the default).
    std::string DirectoryFor(const std::string& name) const;

    // Whether an interrupt asked the running statement to end.
    bool Cancelled() const { return cancel_.load(std::memory_order_relaxed); }
    // A statement starts / ends (the interrupt applies only while one runs). Runs nest: the
    // outermost one (a whole script, say) is the run an interrupt ends.
    void BeginRunning();
    void EndRunning();
    bool Running() const { return running_.load(std::memory_order_relaxed) > 0; }
    // How long the outermost run has taken so far (zero when none runs).
    std::chrono::steady_clock::duration RunningFor() const;

    // Long work reports itself. Tick is called often (by SQLite every thousand steps of its
    // machine, by the drivers' long loops); at most every 40 ms it calls the progress hook,
    // where a window repaints, shows the activity and reads its Stop input. The hook may call
    // Interrupt, never the engine's other operations. The finished hook is told when the
    // outermost run ends. Neither may throw.
    void SetProgressHooks(std::function<void()> progress, std::function<void()> finished);
    void Tick();
    // Tick, then end the work with "Operation cancelled" when an interrupt asked for it; the
    // check every long loop makes every few thousand records.
    void CheckCancelled();
    // A copy's progress as the busy display shows it: "Copying: 45 %".
    void SetCopyProgress(int64_t done, int64_t total);
    // What the run is doing, for the busy display ("Running statement 3 of 20,000").
    void SetActivity(std::string what) { activity_ = std::move(what); }
    const std::string& Activity() const { return activity_; }

private:
    friend class Database;
    void EnsureSamples(const std::string& directory);

    AliasStore aliases_;
    std::string defaultDirectory_;
    std::map<std::string, std::unique_ptr<Database>> databases_;        // by directory
    std::map<std::string, std::unique_ptr<ServerConnection>> servers_;  // by alias, in capitals
    std::atomic<int> running_{0};
    std::atomic<bool> cancel_{false};
    std::chrono::steady_clock::time_point runStart_{}, lastHook_{};
    std::function<void()> progressHook_, finishedHook_;
    bool inHook_ = false;
    std::string activity_;
};

// Marks a statement as running for its scope (see Engine::Interrupt).
class RunningGuard {
public:
    explicit RunningGuard(Engine& e) : e_(e) { e_.BeginRunning(); }
    ~RunningGuard() { e_.EndRunning(); }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;

private:
    Engine& e_;
};

}  // namespace tessel::engine
