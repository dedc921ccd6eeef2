#pragma once

// The dBASE driver as other layers see it: its descriptor, through which its tables are opened
// and created (see engine/storage/Driver.h). The table class itself is internal (DbfTable.h).

#include <string>

#include "engine/storage/Driver.h"

namespace tessel::engine::dbase {

const StorageDriver& DbaseDriver();

// The code page of the tables in `directory` that declare none (neither a .cpg companion nor a
// driver byte Tessel knows): what the folder's alias names; 0 forgets it. An empty directory
// stands for every folder (the choice of a run), which wins over a folder's.
void SetUndeclaredCodePage(const std::string& directory, int codePage);
// That code page, or the default (codepage::kDefaultCodePage) when none was named.
int UndeclaredCodePage(const std::string& directory);

}  // namespace tessel::engine::dbase
