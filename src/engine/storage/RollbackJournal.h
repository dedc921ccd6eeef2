#pragma once

// The rollback journal of a table family: before a byte of a table file changes for the first
// time under the journal, the journal beside the table (same directory, same file system)
// receives its old bytes and the file's original length; the journal reaches the device before
// the change does. Deleting the journal commits. A journal whose writer is gone is "hot": the
// next opener of the table writes the old bytes back, cuts the files to their original lengths
// and removes the files the writer created, so a killed process, a full disk or a failing
// device leaves the table as it was before the journaled change or as it is after it.
//
// File: "TSLJRNL1", then records, each
//   kind (1: 'F' file first touched, 'P' old bytes of a page) | name length (u16) | file name |
//   a (u64: F original length or kNoFile, P offset) | data length (u32) | data | check (u32)
// where the check covers every byte of the record before it. A torn last record is ignored:
// the change it announced never reached the table.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tessel::engine {

class StorageDriver;

// Whether commits and journals are flushed to the device (fsync). On by default.
void SetDurableWrites(bool durable);
bool DurableWrites();
// Bytes written to journals by this process so far (for the benchmarks).
uint64_t JournaledBytes();

class RollbackJournal {
public:
    // Starts journaling every file of the family of `mainPath`, companions created later
    // included. Raises EngineError when the journal cannot be created.
    explicit RollbackJournal(const std::string& mainPath);
    // Without Commit or Rollback the change is rolled back here (failures swallowed).
    ~RollbackJournal();
    RollbackJournal(const RollbackJournal&) = delete;
    RollbackJournal& operator=(const RollbackJournal&) = delete;

    const std::string& MainPath() const { return mainPath_; }
    // Makes the changed files durable, then deletes the journal: the change is done.
    void Commit();
    // The two halves of a commit shared with other tables' journals (see CommitTogether).
    void PrepareCommit(const std::string& commitPath);
    void FinishCommit();
    const std::string& JournalPath() const { return journalPath_; }
    // Writes the old bytes back and removes the journal. The table's open objects must be
    // closed first. Raises EngineError when the files cannot be restored (the journal stays,
    // hot, for the next opener).
    void Rollback();

    // Called by the table files before they change.
    void BeforeWrite(const std::string& path, int fd, uint64_t offset, uint64_t size);
    void BeforeTruncate(const std::string& path, int fd, uint64_t size);
    void BeforeCreate(const std::string& path);

private:
    struct FileState {
        uint64_t originalLength = 0;
        bool existed = true;
        std::set<uint64_t> savedPages;
        uint64_t savedEnd = 0;  // one past the last page the latest save took
        uint64_t ahead = 0;     // pages that save took beyond the write
    };
    FileState& Touch(const std::string& path, int fd);
    void SavePages(const std::string& path, FileState& f, int fd, uint64_t first, uint64_t last);
    void Append(char kind, const std::string& path, uint64_t a, const std::string& data);
    void SyncJournal();
    // Flushes the files the change touched to the device (when writes are durable).
    void SyncChangedFiles();
    void Stop();

    std::string mainPath_;
    std::string journalPath_;
    std::string watchKey_;
    int fd_ = -1;
    uint64_t size_ = 0;
    bool unsynced_ = false;
    bool done_ = false;
    std::map<std::string, FileState> files_;
};

// Commits several tables' journals as one: a commit note listing the journals is made durable,
// each journal names it, the note is deleted (the commit point), then the journals. A crash
// before the note is gone rolls every table back; after it, none. Raises EngineError when a
// step fails; the journals are then still there to roll back.
void CommitTogether(const std::vector<RollbackJournal*>& journals);

// Rolls back the hot journals of the table `mainPath` (newest first), then removes them. Called
// by the drivers before they open a table. A journal another live process holds is left alone.
// Raises EngineError naming a damaged journal; the table is then left as it is. `forWriting`:
// the opener will write, and first removes what dead rewrites left in the folder.
void RecoverHotJournals(const std::string& mainPath, bool forWriting);

// The journals of a table, for messages and tests: "<dir>/.<name>.tessel-journal-<n>".
bool IsJournalFileName(const std::string& fileName);

// Used by LockedFile: the journals that watch the file `path` are told before it changes.
void NotifyBeforeWrite(const std::string& path, int fd, uint64_t offset, uint64_t size);
void NotifyBeforeTruncate(const std::string& path, int fd, uint64_t size);
void NotifyBeforeCreate(const std::string& path);

// Removes a file of a table family, the journals that watch it keeping its bytes first. Raises
// EngineError when a journal cannot keep them (the file then stays); a file that cannot be
// removed is left as it is.
void RemoveTableFile(const std::string& path);

}  // namespace tessel::engine
