// The hook through which tests inject failures under the storage drivers.

#include "engine/storage/IoFaults.h"

#include <atomic>
#include <memory>

namespace tessel::engine {

namespace {

std::atomic<bool> gHookSet{false};

IoFaultHook& Hook() {
    static IoFaultHook hook;
    return hook;
}

}  // namespace

void SetIoFaultHook(IoFaultHook hook) {
    Hook() = std::move(hook);
    gHookSet = static_cast<bool>(Hook());
}

IoFault CheckIoFault(IoCall call, const std::string& path) {
    if (!gHookSet.load(std::memory_order_relaxed)) return {};
    return Hook()(call, path);
}

}  // namespace tessel::engine
