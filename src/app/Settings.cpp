// Reading and writing the window's settings file.

#include "app/Settings.h"

#include <unistd.h>

#include "base/Exceptions.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"

namespace tessel {

namespace {

constexpr const char* kSection = "init";

}  // namespace

std::string SettingsFileFor(const std::string& executablePath) {
    const std::string beside = ChangeFileExt(executablePath, ".INI");
    if (::access(beside.c_str(), F_OK) == 0 || DirectoryIsWritable(ExtractFileDir(beside))) return beside;
    const size_t slash = beside.find_last_of('/');
    return UserConfigDir() + "/" + (slash == std::string::npos ? beside : beside.substr(slash + 1));
}

TGeneratorOptions ReadGeneratorOptions(const std::string& fileName) {
    TGeneratorOptions options;
    try {
        const TIniFile ini(fileName);
        options.quoteFields = ini.ReadInteger(kSection, "chkQf", 0) != 0;
        options.fileExtensions = ini.ReadInteger(kSection, "chkFileX", 0) != 0;
        options.fileNames = ini.ReadInteger(kSection, "chkFileN", 0) != 0;
    } catch (const EFileError&) {
        // An unreadable settings file reads like a missing one: every box unchecked.
    }
    return options;
}

void WriteGeneratorOptions(const std::string& fileName, const TGeneratorOptions& options) {
    try {
        TIniFile ini = [&] {
            try {
                return TIniFile(fileName);
            } catch (const EFileError&) {
                return TIniFile(fileName, "");
            }
        }();
        ini.WriteBool(kSection, "chkQf", options.quoteFields);
        ini.WriteBool(kSection, "chkFileX", options.fileExtensions);
        ini.WriteBool(kSection, "chkFileN", options.fileNames);
        ForceDirectories(ExtractFileDir(fileName));
        ini.UpdateFile();
    } catch (const EFileError&) {
        throw Exception("Unable to write to " + fileName);
    }
}

}  // namespace tessel
