#pragma once

// The exceptions our own code raises.

#include <stdexcept>
#include <string>

namespace tessel {

// Base of the failures our own code raises; the message is what the person sees.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A silent abort: ends a command without showing anything.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

// Raises the silent abort.
[[noreturn]] inline void Abort() {
    throw EAbort();
}

// A file could not be read or written; the message names the file and the reason.
class EFileError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace tessel
