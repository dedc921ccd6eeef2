#pragma once

// The before-images of the tables a statement or a transaction changes: one rollback journal
// beside each table (engine/storage/RollbackJournal.h). A table joins the first time it is
// about to change; restoring writes its old bytes back; clearing commits every table.

#include <memory>
#include <string>
#include <vector>

#include "engine/storage/RollbackJournal.h"

namespace tessel::engine {

class Journal {
public:
    Journal() = default;
    // Tables neither restored nor committed are rolled back (failures swallowed).
    ~Journal() = default;
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    bool Has(const std::string& mainPath) const;
    // Starts journaling the family of `mainPath` unless it is already in the journal. Raises
    // EngineError when the journal cannot be created.
    void Snapshot(const std::string& mainPath);
    // The main paths in the journal, in the order they were added.
    std::vector<std::string> Tables() const;
    // Writes one table's before-image back. Its open table objects must be closed first.
    void Restore(const std::string& mainPath);
    // Commits every table (the changed files made durable, then the journals deleted) and
    // forgets them. Raises EngineError when a commit fails; the tables not yet committed stay
    // in the journal.
    void Clear();
    // Lets go of the tables still in the journal without committing them: each is rolled back
    // once more, and a journal that cannot be stays hot for the next opener of its table.
    void Abandon() { entries_.clear(); }
    bool Empty() const { return entries_.empty(); }

private:
    std::vector<std::unique_ptr<RollbackJournal>> entries_;
};

}  // namespace tessel::engine
