#pragma once

// The engine's error type: a message with entries, raised by every layer from storage up.

#include <stdexcept>
#include <string>
#include <vector>

namespace tessel::engine {

// One entry of an engine failure: the engine's error code, the code of the layer below
// (a system errno, an SQLite result code; 0 when none) and the entry's own message.
struct ErrorEntry {
    int code = 0;
    int nativeCode = 0;
    std::string message;
};

// Error codes of the engine's entries, grouped by category in the high byte.
namespace errc {
constexpr int kGeneral = 0x0000;
constexpr int kNotFound = 0x2101;          // a file, table or alias does not exist
constexpr int kIo = 0x2102;                // reading or writing a file failed
constexpr int kCorruptFile = 0x2103;       // a table file is damaged or not of its type
constexpr int kLocked = 0x2104;            // another process holds the table
constexpr int kReadOnly = 0x2105;          // the directory or file may not be written
constexpr int kNotSupported = 0x2106;      // a table feature Tessel does not handle
constexpr int kInvalidParameter = 0x2107;  // a name, size or value outside what is allowed
constexpr int kKeyViolation = 0x2601;
constexpr int kUnknownAlias = 0x2108;
constexpr int kRecordChanged = 0x2109;  // another writer changed a record since it was read
constexpr int kServer = 0x210A;         // a database server refused a connection or a statement
constexpr int kSqlSyntax = 0x3101;
constexpr int kSqlBind = 0x3102;  // unknown table or column, type mismatch
constexpr int kSqlExecute = 0x3103;
constexpr int kCancelled = 0x3104;
}  // namespace errc

// Where in a statement's text a failure points (a syntax error's token): line and column from
// 1, the byte offset and the byte length of the token. Line 0: it points nowhere.
struct TextSpot {
    int line = 0;
    int column = 0;
    size_t offset = 0;
    size_t length = 0;
};

// The engine's failure: a message and the list of entries that led to it (innermost last).
class EngineError : public std::runtime_error {
public:
    explicit EngineError(const std::string& message, int code = errc::kGeneral, int nativeCode = 0)
        : std::runtime_error(message), entries_{{code, nativeCode, message}} {}
    EngineError(const std::string& message, std::vector<ErrorEntry> entries)
        : std::runtime_error(message), entries_(std::move(entries)) {}

    const std::vector<ErrorEntry>& Entries() const { return entries_; }
    int Code() const { return entries_.empty() ? errc::kGeneral : entries_.front().code; }
    const TextSpot& Spot() const { return spot_; }
    void SetSpot(const TextSpot& spot) { spot_ = spot; }

private:
    std::vector<ErrorEntry> entries_;
    TextSpot spot_;
};

}  // namespace tessel::engine
