#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// Opens an existing .DB table (with its .MB, .PX and .VAL when present).
std::unique_ptr<Table> OpenParadoxTable(const std::string& path, OpenMode mode);

// Creates a new, empty table, replacing an existing one and its companion files. The first
// `keyFields` fields form the primary key (0: unkeyed). The table level is the lowest that
// holds the field types and the text's code page unless `options.level` asks for a higher one.
std::unique_ptr<Table> CreateParadoxTable(const std::string& path,
                                          const std::vector<FieldDesc>& fields,
                                          const CreateOptions& options, size_t keyFields = 0);

// The validity checks of an open Paradox table with everything the .VAL file says about them;
// empty for another kind of table or a table without a .VAL.
std::vector<ValidityCheck> ParadoxValidityChecks(Table& table);

// Makes a secondary index of a keyed Paradox table over the named fields from its records as
// they stand; it is kept current by every later change. An index named like one of its fields
// indexes that field alone; any other name makes a named (composite) index. Raises
// EngineError: kKeyViolation for a unique index over equal values (no file is left), and
// kNotSupported for an index the table's files cannot hold.
void CreateParadoxIndex(Table& table, const std::string& name, const std::vector<std::string>& fields,
                        bool unique, bool descending);
// Removes the secondary index with this name (compared without case) and its files; false
// when the table has none of that name.
bool DropParadoxIndex(Table& table, const std::string& name);
// Record numbers of the records with lo <= field <= hi (a null pointer: no bound), found
// through a secondary index that begins with the field, in index order. Blank values are never
// found. False when no such index can answer; the caller then scans.
bool ParadoxIndexSeek(Table& table, size_t field, const Value* lo, const Value* hi, std::vector<uint32_t>& recNos);

}  // namespace tessel::engine::paradox
