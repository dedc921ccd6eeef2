#pragma once

// Memo files of dBASE and FoxPro tables.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/dbase/DbfHeader.h"
#include "engine/storage/LockedFile.h"

namespace tessel::engine::dbase {

// The memo file of a table (.DBT in both dBASE layouts, .FPT). The table's lock covers it:
// callers hold the table file's lock (shared to read, exclusive to write).
class MemoFile {
public:
    // Opens an existing memo file; for MemoKind::Probe the layout is taken from the file.
    void Open(const std::string& path, MemoKind kind, bool writable);
    // Creates an empty memo file (Dbt3 or Dbt4; 512-byte blocks). `baseName` goes into a
    // dBASE IV header.
    void Create(const std::string& path, MemoKind kind, const std::string& baseName);
    void Close() { file_.Close(); }
    bool IsOpen() const { return file_.IsOpen(); }
    MemoKind Kind() const { return kind_; }
    const std::string& Path() const { return file_.Path(); }

    // Reads the memo that starts at `block` into `out`. A pointer outside the file or a
    // length that runs past it raises kCorruptFile naming the memo file.
    void Read(uint64_t block, std::string& out);

    // Writes `data` as a memo and returns its block. When `oldBlock` (not 0) held a memo whose
    // blocks can take the new data, they are reused; otherwise the memo goes at the end.
    // Refuses data a dBASE III memo cannot hold (the 0x1A end mark).
    uint32_t Write(std::string_view data, uint64_t oldBlock);

    // Blocks the memo at `block` occupies (for reuse decisions); 0 when unreadable.
    uint64_t BlockSpan(uint64_t block);

private:
    void ReadToEndMark(uint64_t offset, std::string& out);
    uint64_t NextFreeBlock();

    LockedFile file_;
    MemoKind kind_ = MemoKind::None;
    uint32_t blockSize_ = 512;
    uint32_t firstBlock_ = 1;
};

}  // namespace tessel::engine::dbase
