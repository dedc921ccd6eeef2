// The session: databases the data sets name.

#include "framework/data/Session.h"

#include <memory>

#include "framework/data/DbError.h"

namespace tessel {

namespace {

engine::Engine* current = nullptr;

}  // namespace

engine::Engine& SessionEngine() {
    if (!current) {
        static std::unique_ptr<engine::Engine> own;
        if (!own) own = EngineCall([] { return std::make_unique<engine::Engine>(); });
        return *own;
    }
    return *current;
}

void SetSessionEngine(engine::Engine* engine) {
    current = engine;
}

engine::Database& OpenSessionDatabase(const std::string& databaseName) {
    return EngineCall([&]() -> engine::Database& { return SessionEngine().OpenDatabase(databaseName); });
}

bool IsServerDatabase(const std::string& databaseName) {
    return !databaseName.empty() && SessionEngine().Aliases().IsServerAlias(databaseName);
}

}  // namespace tessel
