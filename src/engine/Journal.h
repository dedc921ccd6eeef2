#pragma once

// Before-images of whole table families. A table is copied, with every companion file, the
// first time it is about to change under the journal; restoring writes the copies back over
// the files (in place, so other programs' open handles see the old data again) and removes
// family files that did not exist then. Restoring is exact: every byte of every file is as it
// was.

#include <string>
#include <vector>

namespace tessel::engine {

class Journal {
public:
    Journal() = default;
    ~Journal();  // drops the copies
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    bool Has(const std::string& mainPath) const;
    // Copies the family of `mainPath` unless it is already in the journal. The table must be
    // flushed (not in the middle of a change). Raises EngineError when a copy fails.
    void Snapshot(const std::string& mainPath);
    // The main paths in the journal, in the order they were added.
    std::vector<std::string> Tables() const;
    // Writes one table's before-image back. Its open table objects must be closed first.
    void Restore(const std::string& mainPath);
    // Forgets every before-image (commit).
    void Clear();
    bool Empty() const { return entries_.empty(); }

private:
    struct Entry {
        std::string mainPath;
        std::vector<std::pair<std::string, std::string>> files;  // original, copy
    };
    std::string EnsureDirectory();

    std::string dir_;
    std::vector<Entry> entries_;
    int counter_ = 0;
};

}  // namespace tessel::engine
