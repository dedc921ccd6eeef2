#pragma once

// Failures that tests inject under the storage drivers: every call that changes a table file
// (creating, writing, truncating, syncing, renaming) and every removal of a journal or commit
// note asks the hook first. No hook is set
// outside tests; then the check costs one load.

#include <cstddef>
#include <functional>
#include <string>

namespace tessel::engine {

enum class IoCall { Create, Write, Truncate, Sync, Rename, Remove };

// What the hook decides for one call: `error` 0 lets it go on; otherwise the call fails with
// that errno value (ENOSPC: the disk is full), a write after writing its first `bytes` bytes.
struct IoFault {
    int error = 0;
    size_t bytes = 0;
};

using IoFaultHook = std::function<IoFault(IoCall call, const std::string& path)>;

// Sets (or, with an empty hook, clears) the hook for the whole process.
void SetIoFaultHook(IoFaultHook hook);
// The hook's decision for a call; no fault when none is set.
IoFault CheckIoFault(IoCall call, const std::string& path);

}  // namespace tessel::engine
