// The alias store: reading, listing, adding and removing aliases.

#include "engine/Aliases.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "base/Exceptions.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/StringList.h"
#include "engine/codepage/CodePage.h"
#include "engine/drivers/Drivers.h"

namespace tessel::engine {

namespace {

std::string Setting(const std::vector<std::pair<std::string, std::string>>& settings, const std::string& key) {
    for (const auto& [k, v] : settings)
        if (SameText(k, key)) return v;
    return {};
}

// Why a name cannot be an alias name, or empty when it can.
std::string NameProblem(const std::string& name) {
    if (name.empty()) return "an alias name cannot be empty";
    if (name.size() > kMaxAliasNameLength)
        return "alias name \"" + name + "\" is longer than " + std::to_string(kMaxAliasNameLength) + " characters";
    if (name.front() == ' ' || name.back() == ' ') return "alias name \"" + name + "\" begins or ends with a blank";
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '[' || c == ']' || c == '=')
            return "alias name \"" + name +
                   "\" holds a character that is not allowed ('[', ']', '=' or a control character)";
    }
    return {};
}

TIniFile LoadStore(const std::string& fileName) {
    try {
        return TIniFile(fileName);
    } catch (const EFileError& e) {
        throw EngineError(std::string("Cannot read the alias file: ") + e.what(), errc::kIo, 0);
    }
}

}  // namespace

AliasStore::AliasStore(std::string fileName) : fileName_(std::move(fileName)) {
    Load();
}

std::string AliasStore::DefaultFileName() {
    return UserConfigDir() + "/aliases.conf";
}

std::string AliasStore::SampleDirectory() {
    return UserDataDir() + "/samples";
}

void AliasStore::Load() {
    const TIniFile ini = LoadStore(fileName_);
    skipped_ = ini.SkippedLines();
    for (const std::string& section : ini.SectionNames()) {
        const std::string problem = NameProblem(section);
        if (!problem.empty()) {
            skipped_.push_back("alias " + section + ": " + problem);
            continue;
        }
        Alias alias{section, ini.SectionValues(section), false};
        const std::string type = Setting(alias.settings, "TYPE");
        if ((type.empty() || SameText(type, "STANDARD")) && Setting(alias.settings, "PATH").empty()) {
            skipped_.push_back("alias " + section + ": no PATH");
            continue;
        }
        aliases_.push_back(std::move(alias));
    }
    if (!Find(kSampleAliasName)) {
        aliases_.push_back({kSampleAliasName,
                            {{"TYPE", "STANDARD"},
                             {"PATH", SampleDirectory()},
                             {"DEFAULT DRIVER", std::string(DefaultStorageDriver().Name())}},
                            true});
    }
}

const AliasStore::Alias* AliasStore::Find(const std::string& name) const {
    const std::string cut = name.substr(0, kMaxAliasNameLength);
    for (const auto& alias : aliases_)
        if (SameText(alias.name, cut)) return &alias;
    return nullptr;
}

const AliasStore::Alias& AliasStore::Get(const std::string& name) const {
    if (const Alias* alias = Find(name)) return *alias;
    throw EngineError("Unknown database alias: " + name, errc::kUnknownAlias);
}

std::vector<std::string> AliasStore::AliasNames() const {
    std::vector<std::string> names;
    for (const auto& alias : aliases_) names.push_back(alias.name);
    return names;
}

bool AliasStore::AliasExists(const std::string& name) const {
    return Find(name) != nullptr;
}

std::vector<std::string> AliasStore::AliasParams(const std::string& name) const {
    const Alias& alias = Get(name);
    std::vector<std::string> lines;
    const std::string type = Setting(alias.settings, "TYPE");
    const bool standard = type.empty() || SameText(type, "STANDARD");
    if (standard) lines.push_back("PATH=" + Setting(alias.settings, "PATH"));
    for (const auto& [key, value] : alias.settings) {
        if (SameText(key, "TYPE") || (standard && SameText(key, "PATH"))) continue;
        lines.push_back(key + "=" + value);
    }
    if (alias.builtIn) {
        // The sample folder exists as soon as someone looks at the alias, so choosing it
        // gives a directory to work in; the tables themselves are made on first use.
        try {
            ForceDirectories(Setting(alias.settings, "PATH"));
        } catch (const EFileError&) {
            // The folder is reported when a table in it is opened.
        }
    }
    return lines;
}

std::string AliasStore::AliasPath(const std::string& name) const {
    return Setting(Get(name).settings, "PATH");
}

std::string AliasStore::DefaultDriver(const std::string& name) const {
    const StorageDriver* driver = FindDriverByName(Setting(Get(name).settings, "DEFAULT DRIVER"));
    return std::string(driver ? driver->Name() : DefaultStorageDriver().Name());
}

int AliasStore::CodePage(const std::string& name) const {
    const int codePage = codepage::CodePageFromName(Setting(Get(name).settings, "CODE PAGE"));
    return codepage::IsCodePageSupported(codePage) ? codePage : 0;
}

void AliasStore::AddAlias(const std::string& name, const std::string& directory, const std::string& driver,
                          const std::string& codePageName) {
    if (const std::string problem = NameProblem(name); !problem.empty())
        throw EngineError("Cannot add the alias: " + problem, errc::kInvalidParameter);
    const StorageDriver* known = FindDriverByName(driver);
    if (!known)
        throw EngineError("Cannot add the alias: unknown driver \"" + driver + "\" (" + DriverNamesText() + ")",
                          errc::kInvalidParameter);
    const std::string upperDriver(known->Name());
    const int codePage = codePageName.empty() ? 0 : codepage::CodePageFromName(codePageName);
    if (!codePageName.empty() && !codepage::IsCodePageSupported(codePage))
        throw EngineError("Cannot add the alias: unknown code page \"" + codePageName + "\"", errc::kInvalidParameter);
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(directory, ec).lexically_normal();
    struct stat st {};
    if (ec || directory.empty() || ::stat(absolute.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw EngineError("Cannot add the alias: \"" + directory + "\" is not a directory", errc::kNotFound);
    std::string path = absolute.string();
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    std::vector<std::pair<std::string, std::string>> settings{
        {"TYPE", "STANDARD"}, {"PATH", path}, {"DEFAULT DRIVER", upperDriver}};
    if (codePage > 0) settings.emplace_back("CODE PAGE", codepage::CodePageFileText(codePage));
    WriteNewAlias(name, settings);
}

void AliasStore::AddServerAlias(const std::string& name, const std::string& type,
                                const std::vector<std::string>& given) {
    if (const std::string problem = NameProblem(name); !problem.empty())
        throw EngineError("Cannot add the alias: " + problem, errc::kInvalidParameter);
    if (!SameText(type, kPostgresAliasType))
        throw EngineError("Cannot add the alias: unknown server type \"" + type + "\" (POSTGRESQL)",
                          errc::kInvalidParameter);
    std::vector<std::pair<std::string, std::string>> settings{{"TYPE", kPostgresAliasType}};
    for (const std::string& line : given) {
        const size_t eq = line.find('=');
        std::string key = line.substr(0, eq);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        if (eq == std::string::npos || key.empty())
            throw EngineError("Cannot add the alias: \"" + line + "\" is no KEY=VALUE setting",
                              errc::kInvalidParameter);
        if (SameText(key, "PASSWORD") || SameText(key, "TYPE"))
            throw EngineError("Cannot add the alias: " + key +
                                  " cannot be stored (a password comes from ~/.pgpass, PGPASSWORD or the prompt)",
                              errc::kInvalidParameter);
        settings.emplace_back(key, line.substr(eq + 1));
    }
    WriteNewAlias(name, settings);
}

std::string AliasStore::AliasType(const std::string& name) const {
    const std::string type = Setting(Get(name).settings, "TYPE");
    if (type.empty()) return "STANDARD";
    std::string upper = type;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

bool AliasStore::IsServerAlias(const std::string& name) const {
    return AliasExists(name) && AliasType(name) == kPostgresAliasType;
}

void AliasStore::WriteNewAlias(const std::string& name,
                               const std::vector<std::pair<std::string, std::string>>& settings) {
    TIniFile ini = LoadStore(fileName_);
    for (const std::string& section : ini.SectionNames())
        if (SameText(section, name))
            throw EngineError("Cannot add the alias: \"" + name + "\" already exists", errc::kInvalidParameter);
    if (const Alias* existing = Find(name); existing && existing->builtIn)
        throw EngineError("Cannot add the alias: \"" + name + "\" is the built-in sample alias",
                          errc::kInvalidParameter);
    for (const auto& [key, value] : settings) ini.WriteString(name, key, value);
    try {
        ForceDirectories(ExtractFileDir(fileName_));
        ini.UpdateFile();
    } catch (const EFileError& e) {
        throw EngineError(std::string("Cannot write the alias file: ") + e.what(), errc::kIo);
    }
    aliases_.clear();
    Load();
}

void AliasStore::RemoveAlias(const std::string& name) {
    TIniFile ini = LoadStore(fileName_);
    std::string found;
    for (const std::string& section : ini.SectionNames())
        if (SameText(section, name)) found = section;
    if (found.empty()) {
        if (const Alias* existing = Find(name); existing && existing->builtIn)
            throw EngineError("Cannot remove the alias: \"" + existing->name + "\" is built in",
                              errc::kInvalidParameter);
        throw EngineError("Unknown database alias: " + name, errc::kUnknownAlias);
    }
    ini.EraseSection(found);
    try {
        ini.UpdateFile();
    } catch (const EFileError& e) {
        throw EngineError(std::string("Cannot write the alias file: ") + e.what(), errc::kIo);
    }
    aliases_.clear();
    Load();
}

}  // namespace tessel::engine
