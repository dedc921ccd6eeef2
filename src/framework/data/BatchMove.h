#pragma once

// The batch copy: all records of a source data set into a new table file that the
// destination table names, replacing a table of that name.

#include <cstdint>
#include <string>

namespace tessel {

class TDataSet;
class TTable;

enum class TBatchMode { batAppend, batUpdate, batAppendUpdate, batDelete, batCopy };

class TBatchMove {
public:
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    TDataSet* Source() const { return source_; }
    void SetSource(TDataSet* source) { source_ = source; }
    TTable* Destination() const { return destination_; }
    void SetDestination(TTable* destination) { destination_ = destination; }
    TBatchMode Mode() const { return mode_; }
    void SetMode(TBatchMode mode) { mode_ = mode; }

    // Opens the source when it is closed (and leaves it open), closes the destination, and
    // copies. The new table gets the source's field definitions and no indexes; its type is
    // the one its extension names.
    void Execute();
    // Records copied by the last Execute.
    int64_t MovedCount() const { return movedCount_; }

private:
    std::string name_;
    TDataSet* source_ = nullptr;
    TTable* destination_ = nullptr;
    TBatchMode mode_ = TBatchMode::batAppend;
    int64_t movedCount_ = 0;
};

}  // namespace tessel
