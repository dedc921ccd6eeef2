#pragma once

// Runs a shell command (an independent reader or writer of the files, say) and gives back its
// standard output; `exitStatus`, when given, gets the command's exit status (-1 when it did not
// end normally or could not start).

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace tessel::test {

inline std::string RunCommand(const std::string& command, int* exitStatus = nullptr) {
    std::string out;
    if (exitStatus) *exitStatus = -1;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = ::pclose(p);
    if (exitStatus) *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

}  // namespace tessel::test
