#pragma once

// The Paradox driver as other layers see it: its descriptor, the factory of its tables, and
// what its validity checks hold beyond the table interface.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/Driver.h"
#include "engine/storage/Table.h"

namespace tessel::engine::paradox {

// One validity check of a Paradox table as its .VAL file keeps it. Minimum, maximum and
// default are Null when the check has none.
struct ValidityCheck {
    uint16_t fieldNumber = 0;  // from 1
    std::string picture;       // UTF-8, empty when none
    bool required = false;
    Value minimum;
    Value maximum;
    Value defaultValue;
};

const StorageDriver& ParadoxDriver();

// Opens an existing .DB table (with its .MB, .PX and .VAL when present).
std::unique_ptr<Table> OpenParadoxTable(const std::string& path, OpenMode mode);

// Creates a new, empty table, replacing an existing one and its companion files. The first
// `keyFields` fields form the primary key (0: unkeyed). The table level is the lowest that
// holds the field types and the text's code page unless `options.level` asks for a higher one.
std::unique_ptr<Table> CreateParadoxTable(const std::string& path, const std::vector<FieldDesc>& fields,
                                          const CreateOptions& options, size_t keyFields = 0);

// The validity checks of an open Paradox table with everything the .VAL file says about them;
// empty for another kind of table or a table without a .VAL.
std::vector<ValidityCheck> ParadoxValidityChecks(Table& table);

}  // namespace tessel::engine::paradox
