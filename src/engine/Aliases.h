#pragma once

// Aliases: named directories of tables, kept in aliases.conf.

#include <string>
#include <utility>
#include <vector>

namespace tessel::engine {

// Alias names are at most this long; longer names are refused when added and cut when looked up.
constexpr size_t kMaxAliasNameLength = 31;

// The alias type that names a PostgreSQL server (engine/Server.h) instead of a folder.
inline constexpr const char* kPostgresAliasType = "POSTGRESQL";

// The alias that always exists: a per-user folder with the sample tables.
inline constexpr const char* kSampleAliasName = "TESSEL_SAMPLES";

// The named aliases of the engine, kept in a profile file (one section per alias:
// TYPE=STANDARD, PATH=<directory>, DEFAULT DRIVER=PARADOX|DBASE, and optionally CODE PAGE=<the
// code page of its dBASE tables that declare none>). Names match without regard
// to case. The built-in sample alias is listed even when the file does not name it; a section
// of the same name in the file overrides it.
class AliasStore {
public:
    // Reads the store; a missing file is an empty store. Unreadable lines and aliases are
    // skipped and reported by SkippedLines().
    explicit AliasStore(std::string fileName = DefaultFileName());

    // $XDG_CONFIG_HOME/tessel/aliases.conf (default ~/.config/tessel/aliases.conf).
    static std::string DefaultFileName();
    // $XDG_DATA_HOME/tessel/samples (default ~/.local/share/tessel/samples).
    static std::string SampleDirectory();

    const std::string& FileName() const { return fileName_; }

    // All alias names, in store order, the built-in sample alias last unless overridden.
    std::vector<std::string> AliasNames() const;

    // key=value lines of an alias. For a STANDARD alias: its settings less TYPE, the first line
    // being PATH=<directory>; for other types all settings less TYPE. The name is cut to 31
    // characters. A name that is no alias raises EngineError.
    std::vector<std::string> AliasParams(const std::string& name) const;

    bool AliasExists(const std::string& name) const;
    // The alias' directory (raises EngineError for an unknown alias).
    std::string AliasPath(const std::string& name) const;
    // "PARADOX" or "DBASE": the table type that an unqualified table name resolves to.
    std::string DefaultDriver(const std::string& name) const;
    // The code page of the alias' tables that declare none; 0 when the alias names none.
    int CodePage(const std::string& name) const;

    // Adds a STANDARD alias and writes the store. The name must be 1 to 31 printable characters
    // without '[', ']' or '=' and not yet used; the directory must exist (it is stored
    // absolute); the driver is PARADOX or DBASE (any case); a code page, when given, is one
    // Tessel converts ("1250", "UTF-8", "ISO-8859-2", ...). Raises EngineError otherwise.
    void AddAlias(const std::string& name, const std::string& directory, const std::string& driver = "PARADOX",
                  const std::string& codePage = "");
    // Adds an alias of a server type (POSTGRESQL) with its settings, "KEY=VALUE" each (SERVER
    // NAME, PORT, DATABASE NAME, USER NAME, or another libpq keyword), and writes the store. A
    // PASSWORD setting is refused: no password is stored. The name rules are AddAlias's.
    void AddServerAlias(const std::string& name, const std::string& type, const std::vector<std::string>& settings);
    // "STANDARD" for a folder of tables, else the TYPE the alias names, in capitals.
    std::string AliasType(const std::string& name) const;
    // Whether the alias names a PostgreSQL server.
    bool IsServerAlias(const std::string& name) const;
    // Removes an alias from the store and writes it. The built-in alias cannot be removed.
    void RemoveAlias(const std::string& name);

    // "line N: text" for each line of the file that was skipped, and "alias NAME: reason"
    // for each alias that was skipped.
    const std::vector<std::string>& SkippedLines() const { return skipped_; }

private:
    struct Alias {
        std::string name;
        std::vector<std::pair<std::string, std::string>> settings;  // TYPE included, file order
        bool builtIn = false;
    };
    void Load();
    // Writes a new section with these settings, after checking the name.
    void WriteNewAlias(const std::string& name, const std::vector<std::pair<std::string, std::string>>& settings);
    const Alias* Find(const std::string& name) const;
    const Alias& Get(const std::string& name) const;

    std::string fileName_;
    std::vector<Alias> aliases_;
    std::vector<std::string> skipped_;
};

}  // namespace tessel::engine
