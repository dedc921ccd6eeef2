#pragma once

// The .MB file of a Paradox table.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/LockedFile.h"

namespace tessel::engine::paradox {

// The .MB file of a table: BLOB values longer than their field's leader. 4 KiB-aligned blocks:
// a header block, blocks holding one blob each, and blocks split into 64 slots for blobs of
// up to 2 KiB. A record names its blob by (block offset | slot) or (block offset | 0xFF).
class BlobFile {
public:
    static constexpr uint32_t kUnit = 4096;
    static constexpr uint32_t kSmallLimit = 2048;

    void Open(const std::string& path, bool writable);
    void Create(const std::string& path);
    void Close() {
        file_.Close();
        scanned_ = false;
    }
    bool IsOpen() const { return file_.IsOpen(); }
    LockedFile& File() { return file_; }
    const std::string& Path() const { return file_.Path(); }

    // Reads the blob that a record's descriptor names (`length` bytes as the record says).
    // Raises kCorruptFile naming the .MB when the descriptor points outside the file, at the
    // wrong kind of block, or at a blob of another length.
    void Read(uint32_t offsetIndex, uint32_t length, std::string& out) const;

    // Stores a new blob and returns what the record's descriptor must hold.
    void Write(std::string_view data, uint32_t& offsetIndex, uint16_t& modNumber);
    // Releases a blob's space so later writes can use it again. Unknown descriptors are left
    // alone: freeing must never damage a blob that other records still name.
    void Free(uint32_t offsetIndex);
    // Drops what was learnt about the file's blocks (another process may have written).
    void Forget() { scanned_ = false; }

private:
    struct FreeRun {
        uint64_t offset;
        uint32_t units;
    };
    void Scan();
    uint16_t NextModNumber();
    bool PlaceSmall(uint64_t blockOffset, std::string_view data, uint16_t mod, uint32_t& offsetIndex);
    uint64_t TakeBlocks(uint32_t units);
    void WriteFreeBlock(uint64_t offset, uint32_t units);

    LockedFile file_;
    bool scanned_ = false;
    uint64_t end_ = 0;             // where new blocks go (a multiple of 4 KiB)
    std::vector<FreeRun> free_;    // free blocks, in file order
    std::vector<uint64_t> small_;  // sub-allocated blocks that may have room
};

}  // namespace tessel::engine::paradox
