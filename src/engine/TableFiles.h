#pragma once

// Opening, creating and copying table files through the driver their name asks for.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/Driver.h"
#include "engine/storage/Table.h"

namespace tessel::engine {

// Opens a table file; the extension decides the driver (without regard to case).
std::unique_ptr<Table> OpenTableFile(const std::string& path, OpenMode mode = OpenMode::ReadOnly);

// Creates a table file (replacing one of that name with its companion files).
std::unique_ptr<Table> CreateTableFile(const std::string& path, const std::vector<FieldDesc>& fields,
                                       const CreateOptions& options = {});

// The fields of a batch copy's destination and how values reach them. Every copy (of a table,
// of an answer) plans its fields here, so the same source field always lands in the same kind
// of field: names made valid and unique for the destination format, each field as the
// destination driver carries it (StorageDriver::CopyField).
struct CopyPlan {
    std::vector<FieldDesc> fields;
    std::vector<bool> timeAsText;
    // Converts one value of source field `k` for the destination, and refuses a value the
    // destination field would not hold whole (naming the field and the record, from 0).
    void Convert(size_t k, Value& v, uint64_t recNo) const;
};
// `sourceDriver`: the driver of the source table, or nullptr for an answer. `keepNames`: a copy
// into the source's own format keeps the stored names, repeats included.
CopyPlan PlanCopy(const std::vector<FieldDesc>& source, const StorageDriver* sourceDriver, const StorageDriver& dest,
                  bool keepNames = false);

// The batch copy of any records, the one routine behind every copy: creates `destPath` with
// the fields planned from `fields` (of a table of `sourceDriver`, or nullptr for an answer; the
// hidden ones are left out) and no indexes, replacing an existing table, and appends each
// record `next` gives until it returns false. `options` carries the code page and level wished
// for. Built under a temporary name and swapped in, so a failure leaves the old table intact.
// Returns the number of records copied.
uint64_t CopyRecords(const std::vector<FieldDesc>& fields, const StorageDriver* sourceDriver,
                     const std::string& destPath, const std::function<bool(Record&)>& next, CreateOptions options = {});

// The batch copy of a table: creates `destPath` with the source's field definitions and no indexes,
// replacing an existing table, and appends every live record of the source. The destination
// keeps the source's code page when its format has a language driver for it, and is made at
// the lowest level that holds its types. The destination is built under a temporary name and
// swapped in with its companions, so a failure leaves the old table intact and no stale
// companion of the old table remains. Returns the number of records copied.
uint64_t CopyTableFile(Table& source, const std::string& destPath);

}  // namespace tessel::engine
