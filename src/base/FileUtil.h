#pragma once

// Files and paths: whole-file reads and atomic writes, permissions, path parts, user folders.

#include <string>

namespace tessel {

// Reads a whole file; raises EFileError naming the file and the system's reason.
std::string ReadFileBytes(const std::string& fileName);

// Writes the bytes to a temporary file in the target's directory and renames it over the
// target, so a failed write leaves any old file intact. An existing file keeps its permissions.
// Raises EFileError naming the file and the system's reason.
void WriteFileAtomically(const std::string& fileName, const std::string& bytes);

// The permissions for a file written under a temporary name and renamed to `fileName`: those of
// the file it replaces, else the usual 0666 less the umask (a temporary file alone would be
// private to the user).
unsigned PermissionsForReplacing(const std::string& fileName);

// Message used for a failed file operation: Cannot <verb> file "<name>". <reason>
std::string FileErrorMessage(const char* verb, const std::string& fileName, int errnoValue);

// Directory part of a path without a trailing separator ("/" stays "/"); "." for a bare name.
std::string ExtractFileDir(const std::string& path);

// The last path component, and its extension with the dot as written ("" when it has none; a
// leading dot as in ".profile" starts no extension).
std::string ExtractFileName(const std::string& path);
std::string ExtractFileExt(const std::string& path);

// Replaces the extension of the last path component (appends when it has none).
std::string ChangeFileExt(const std::string& path, const std::string& extension);

// Can this process create files in the directory?
bool DirectoryIsWritable(const std::string& dir);

// $XDG_CONFIG_HOME/tessel (default ~/.config/tessel), and $XDG_DATA_HOME/tessel
// (default ~/.local/share/tessel). Neither is created here.
std::string UserConfigDir();
std::string UserDataDir();

// Creates the directory and its parents; raises EFileError on failure.
void ForceDirectories(const std::string& dir);

}  // namespace tessel
