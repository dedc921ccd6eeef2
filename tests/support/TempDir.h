#pragma once

// A temporary directory for tests.

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessel::test {

// A fresh directory under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "tessel-test-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        // A test may have taken write permission away; give it back so removal works.
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ec))
            if (entry.is_directory(ec)) ::chmod(entry.path().c_str(), 0755);
        ::chmod(path_.c_str(), 0755);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

    // Names in the directory, sorted.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Points $XDG_CONFIG_HOME and $XDG_DATA_HOME at a temporary folder for the test's lifetime,
// so tests never touch the real alias store or sample folder.
class ScopedUserDirs {
public:
    ScopedUserDirs() {
        Save("XDG_CONFIG_HOME", oldConfig_, hadConfig_);
        Save("XDG_DATA_HOME", oldData_, hadData_);
        ::setenv("XDG_CONFIG_HOME", (dir_.Path() + "/config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir_.Path() + "/data").c_str(), 1);
    }
    ~ScopedUserDirs() {
        Restore("XDG_CONFIG_HOME", oldConfig_, hadConfig_);
        Restore("XDG_DATA_HOME", oldData_, hadData_);
    }
    std::string ConfigDir() const { return dir_.Path() + "/config/tessel"; }
    std::string DataDir() const { return dir_.Path() + "/data/tessel"; }
    const TempDir& Root() const { return dir_; }

private:
    static void Save(const char* name, std::string& value, bool& had) {
        const char* v = std::getenv(name);
        had = v != nullptr;
        if (v) value = v;
    }
    static void Restore(const char* name, const std::string& value, bool had) {
        if (had)
            ::setenv(name, value.c_str(), 1);
        else
            ::unsetenv(name);
    }
    TempDir dir_;
    std::string oldConfig_, oldData_;
    bool hadConfig_ = false, hadData_ = false;
};

}  // namespace tessel::test
