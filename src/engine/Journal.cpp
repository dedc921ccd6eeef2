// The before-images of the tables a statement or a transaction changes.

#include "engine/Journal.h"

#include <algorithm>

namespace tessel::engine {

bool Journal::Has(const std::string& mainPath) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const auto& e) { return e->MainPath() == mainPath; });
}

void Journal::Snapshot(const std::string& mainPath) {
    if (Has(mainPath)) return;
    entries_.push_back(std::make_unique<RollbackJournal>(mainPath));
}

std::vector<std::string> Journal::Tables() const {
    std::vector<std::string> out;
    for (const auto& e : entries_) out.push_back(e->MainPath());
    return out;
}

void Journal::Restore(const std::string& mainPath) {
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e->MainPath() == mainPath; });
    if (it == entries_.end()) return;
    (*it)->Rollback();
    entries_.erase(it);
}

void Journal::Clear() {
    if (entries_.size() > 1) {
        std::vector<RollbackJournal*> all;
        for (const auto& e : entries_) all.push_back(e.get());
        CommitTogether(all);
        entries_.clear();
        return;
    }
    while (!entries_.empty()) {
        entries_.front()->Commit();
        entries_.erase(entries_.begin());
    }
}

}  // namespace tessel::engine
