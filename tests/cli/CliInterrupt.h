#pragma once

// tessel-sql started as a program of its own and sent SIGINT (Ctrl+C) after a while.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace tessel::test {

struct Stopped {
    int status = -1;
    double afterSignal = 0;  // seconds from SIGINT to the exit
};

// Starts tessel-sql with the arguments, sends it SIGINT after `wait`, and waits for it.
inline Stopped InterruptAfter(const std::vector<std::string>& args, std::chrono::milliseconds wait) {
    std::vector<std::string> argv{std::string(TESSEL_BIN_DIR) + "/tessel-sql"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, raw[0], nullptr, nullptr, raw.data(), environ), 0);
    std::this_thread::sleep_for(wait);
    const auto signalled = std::chrono::steady_clock::now();
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    Stopped s;
    s.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    s.afterSignal = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    return s;
}

}  // namespace tessel::test
