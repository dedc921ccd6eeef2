#pragma once

// The storage drivers the engine knows. Everything above the drivers finds a table's driver
// here: by the extension of its file name, by the name an alias gives, or by the type name a
// table reports.

#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/Driver.h"

namespace tessel::engine {

// Every driver, in the order their extensions are listed in messages.
const std::vector<const StorageDriver*>& Drivers();

// The driver whose main files have this extension (with or without the dot, any case).
const StorageDriver* FindDriverByExtension(std::string_view ext);
// The driver of the file `path` by its extension; nullptr when no driver has it.
const StorageDriver* FindDriverForPath(const std::string& path);
// The same, raising EngineError (kNotSupported) "Unknown table type of ..." when none has it.
const StorageDriver& DriverForPath(const std::string& path);
// The driver an alias names ("PARADOX", "dBASE": without case); nullptr when none.
const StorageDriver* FindDriverByName(std::string_view name);
// The driver whose tables report this type name ("FOXPRO"); nullptr when none.
const StorageDriver* FindDriverByTypeName(std::string_view typeName);

// The driver a table name without an extension means where no alias says otherwise.
const StorageDriver& DefaultStorageDriver();

// The drivers' names joined for a message: "PARADOX or DBASE".
std::string DriverNamesText();

}  // namespace tessel::engine
