#pragma once

// The dBASE driver as other layers see it: its descriptor, through which its tables are opened
// and created (see engine/storage/Driver.h). The table class itself is internal (DbfTable.h).

#include "engine/storage/Driver.h"

namespace tessel::engine::dbase {

const StorageDriver& DbaseDriver();

}  // namespace tessel::engine::dbase
