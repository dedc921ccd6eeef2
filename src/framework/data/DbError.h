#pragma once

// Failures of the data objects. A named object puts its name and ": " before its own
// messages; an engine failure keeps the engine's message and carries its entries along.

#include <string>
#include <vector>

#include "base/EngineError.h"
#include "base/Exceptions.h"

namespace tessel {

class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// An engine failure as the data objects pass it on: the engine's message and its list of
// entries (code, native code, message). The script runner appends entries of its own.
class EDBEngineError : public EDatabaseError {
public:
    explicit EDBEngineError(const engine::EngineError& e)
        : EDatabaseError(e.what()), entries_(e.Entries()), spot_(e.Spot()) {}
    EDBEngineError(const std::string& message, std::vector<engine::ErrorEntry> entries,
                   const engine::TextSpot& spot = {})
        : EDatabaseError(message), entries_(std::move(entries)), spot_(spot) {}

    const std::vector<engine::ErrorEntry>& Entries() const { return entries_; }
    void AddEntry(engine::ErrorEntry entry) { entries_.push_back(std::move(entry)); }
    int ErrorCode() const { return entries_.empty() ? 0 : entries_.front().code; }
    // Where in the statement's text the failure points (line 0: nowhere).
    const engine::TextSpot& Spot() const { return spot_; }

private:
    std::vector<engine::ErrorEntry> entries_;
    engine::TextSpot spot_;
};

// "Name: message" for a named object, the bare message otherwise.
std::string PrefixedMessage(const std::string& message, const std::string& name);
[[noreturn]] void DatabaseError(const std::string& message, const std::string& name = {});

// Runs `body`, turning the engine's failures into EDBEngineError.
template <class F>
decltype(auto) EngineCall(F&& body) {
    try {
        return body();
    } catch (const engine::EngineError& e) {
        throw EDBEngineError(e);
    }
}

// Messages the data objects raise (without the name prefix).
namespace dbmsg {
inline constexpr const char* kDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* kDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* kDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* kDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* kNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* kRecordNotFound = "Record not found";
inline constexpr const char* kInvalidBookmark = "Invalid bookmark";
inline constexpr const char* kNoSql = "No SQL statement available";
inline constexpr const char* kNoTableName = "Missing TableName property";
inline constexpr const char* kCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* kNoDataSet = "Missing data source or data set";
}  // namespace dbmsg

}  // namespace tessel
