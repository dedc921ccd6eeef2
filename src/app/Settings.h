#pragma once

// The window's settings file: the generator options that persist between runs.

#include <string>

namespace tessel {

// The three generator options that persist between runs.
struct TGeneratorOptions {
    bool quoteFields = false;     // chkQf
    bool fileExtensions = false;  // chkFileX
    bool fileNames = false;       // chkFileN
};

// Where the settings file lives: the executable's path with the extension ".INI" when that
// file exists or the executable's directory may be written (a build-tree or portable run);
// otherwise the same file name in the per-user configuration folder, so an installed program
// keeps its settings without writing beside itself.
std::string SettingsFileFor(const std::string& executablePath);

// Reads section "init": each key as an integer, non-zero meaning checked; a missing file,
// key or non-integer value reads as unchecked.
TGeneratorOptions ReadGeneratorOptions(const std::string& fileName);

// Writes "chkQf", "chkFileX", "chkFileN" as 1/0 in section "init", keeping anything else in
// the file. Raises an exception whose message is "Unable to write to " + the file's path.
void WriteGeneratorOptions(const std::string& fileName, const TGeneratorOptions& options);

}  // namespace tessel
