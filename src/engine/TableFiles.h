#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/Table.h"

namespace tessel::engine {

// Opens a table file; the extension decides the driver (.dbf dBASE, .db Paradox, without
// regard to case).
std::unique_ptr<Table> OpenTableFile(const std::string& path, OpenMode mode = OpenMode::ReadOnly);

// Creates a table file (replacing one of that name with its companion files).
std::unique_ptr<Table> CreateTableFile(const std::string& path, const std::vector<FieldDesc>& fields,
                                       const CreateOptions& options = {});

// The batch copy: creates `destPath` with the source's field definitions and no indexes,
// replacing an existing table, and appends every live record of the source. The destination
// keeps the source's code page when its format has a language driver for it, and is made at
// the lowest level that holds its types. Field types the destination format lacks are carried
// in the nearest one that keeps the values (dBASE: times as text, bytes as binary BLOBs,
// auto-increment values as plain integers). The destination is built under a temporary
// name and renamed into place with its companions, so a failure leaves the old table intact
// and no stale companion of the old table remains. Returns the number of records copied.
uint64_t CopyTableFile(Table& source, const std::string& destPath);

}  // namespace tessel::engine
