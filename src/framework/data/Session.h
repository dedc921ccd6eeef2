#pragma once

// The engine the data objects of this process talk to. The window hands in its own; anyone
// else gets one made on first use with the user's alias store.

#include <string>

#include "engine/Engine.h"

namespace tessel {

engine::Engine& SessionEngine();
// Uses `engine` (not owned; nullptr goes back to the default one).
void SetSessionEngine(engine::Engine* engine);
// Opens (or finds) a database by name: an alias, a directory, or empty for the default.
engine::Database& OpenSessionDatabase(const std::string& databaseName);
// Whether a database name is an alias of a database server: its SQL goes to the server as
// written (SessionEngine().Server).
bool IsServerDatabase(const std::string& databaseName);

}  // namespace tessel
