#pragma once

// Files and paths: whole-file reads and atomic writes, permissions, path parts, user folders.

#include <string>
#include <string_view>

namespace tessel {

// Reads a whole file; raises EFileError naming the file and the system's reason.
std::string ReadFileBytes(const std::string& fileName);

// A whole file written under a temporary name beside its target and put in the target's place
// by Commit, so a failed or abandoned write leaves any old file intact. A target that is a
// symbolic link is replaced where it points (the link stays a link); the new file gets the
// permissions PermissionsForReplacing gives. Failures raise EFileError naming the file (as
// given) and the system's reason.
class TAtomicFile {
public:
    explicit TAtomicFile(const std::string& fileName);
    // Without Commit the temporary file is removed. Never throws.
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    void Write(std::string_view bytes);
    // Makes the data durable, renames the file into place and makes the rename durable.
    void Commit();

private:
    [[noreturn]] void Fail(const char* verb, int err) const;

    std::string fileName_;
    std::string targetName_;
    std::string tempName_;
    int fd_ = -1;
    bool committed_ = false;
};

// Flushes a file, or a directory (its entries: names created, renamed or removed), to the
// device. Best effort: a path that cannot be opened is left alone.
void SyncToDevice(const std::string& path, bool directory = false);

// Writes the bytes through a TAtomicFile.
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

// The data an installed program ships beside itself: <prefix>/share/tessel for a program in
// <prefix>/bin, when that folder exists; empty otherwise (a program run from its build).
std::string InstalledDataDir(const std::string& executable);
// The running program's path (/proc/self/exe), empty when it cannot be read.
std::string RunningExecutable();

// Creates the directory and its parents; raises EFileError on failure.
void ForceDirectories(const std::string& dir);

}  // namespace tessel
