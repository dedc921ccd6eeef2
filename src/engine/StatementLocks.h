#pragma once

// The table locks of one statement; an answer read as it comes keeps them until its last
// row is in.

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "engine/Database.h"

namespace tessel::engine {

// Holds table locks for one statement (shared for reading, exclusive for writing), taken in
// path order so two programs locking the same tables cannot wait on each other for ever.
class StatementLocks {
public:
    // Locks a failure leaves behind are let go without a second failure escaping.
    ~StatementLocks() {
        try {
            Release();
        } catch (...) {
        }
    }
    void Take(const std::vector<std::pair<TableEntry*, bool>>& tables) {
        auto sorted = tables;
        std::sort(sorted.begin(), sorted.end(),
                  [](const auto& a, const auto& b) { return a.first->info.path < b.first->info.path; });
        for (const auto& [e, exclusive] : sorted) {
            e->table->Lock(exclusive ? LockMode::Exclusive : LockMode::Shared);
            held_.push_back(e->table.get());
        }
    }
    // Lets a table's hold go unreleased: its object is let go without writing instead.
    void Forget(const Table* table) { held_.erase(std::remove(held_.begin(), held_.end(), table), held_.end()); }
    // Releasing flushes what the drivers keep pending (headers, indexes).
    void Release() {
        std::exception_ptr first;
        while (!held_.empty()) {
            Table* t = held_.back();
            held_.pop_back();
            try {
                t->Unlock();
            } catch (...) {
                if (!first) first = std::current_exception();
            }
        }
        if (first && std::uncaught_exceptions() == 0) std::rethrow_exception(first);
    }

private:
    std::vector<Table*> held_;
};

}  // namespace tessel::engine
