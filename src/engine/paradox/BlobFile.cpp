// The .MB file of a Paradox table: reading and writing BLOBs.

#include "engine/paradox/BlobFile.h"

#include <algorithm>
#include <cstring>

#include "base/EngineError.h"
#include "engine/paradox/PxFormat.h"

namespace tessel::engine::paradox {

namespace {

constexpr uint8_t kHeaderBlock = 0;
constexpr uint8_t kSingleBlock = 2;
constexpr uint8_t kSmallBlock = 3;
constexpr uint8_t kFreeBlock = 4;
constexpr uint32_t kSlots = 64;
constexpr uint32_t kSlotTable = 0x0C;
constexpr uint32_t kFirstChunk = 0x150 / 16;  // 21
constexpr uint32_t kChunks = 4096 / 16;       // 256

[[noreturn]] void Bad(const std::string& path, const std::string& what) {
    throw EngineError("BLOB file \"" + path + "\" is damaged: " + what, errc::kCorruptFile);
}

}  // namespace

void BlobFile::Open(const std::string& path, bool writable) {
    file_.Open(path, writable);
    scanned_ = false;
    uint8_t head[3];
    if (file_.ReadAt(0, head, 3) != 3 || head[0] != kHeaderBlock) Bad(path, "it does not start with a header block");
}

void BlobFile::Create(const std::string& path) {
    file_.Create(path);
    std::string head(kUnit, '\0');
    auto* b = reinterpret_cast<uint8_t*>(head.data());
    b[0] = kHeaderBlock;
    PutLe16(b + 1, 1);
    const uint8_t magic[5] = {0x82, 0x73, 0x02, 0x00, 0x29};
    std::memcpy(b + 5, magic, 5);
    PutLe16(b + 0x0B, 0x1000);
    PutLe16(b + 0x0D, 0x1000);
    b[0x10] = 0x10;
    PutLe16(b + 0x11, kSlots);
    PutLe16(b + 0x13, kSmallLimit);
    PutLe16(b + 0x29, 0x02A1);
    file_.WriteAt(0, head);
    scanned_ = true;
    end_ = kUnit;
    free_.clear();
    small_.clear();
}

void BlobFile::Read(uint32_t offsetIndex, uint32_t length, std::string& out) const {
    const std::string& path = file_.Path();
    const uint64_t block = offsetIndex & ~uint32_t{0xFF};
    const uint32_t index = offsetIndex & 0xFF;
    const uint64_t size = file_.Size();
    if (block < kUnit || block + 3 > size)
        Bad(path, "a record points at offset " + std::to_string(block) + ", outside the file");
    uint8_t head[kSlotTable + 5 * kSlots];
    if (index == 0xFF) {
        file_.ReadExactly(block, head, 9, "a BLOB block header");
        if (head[0] != kSingleBlock)
            Bad(path, "a record points at block " + std::to_string(block) + ", which holds no single BLOB");
        const uint32_t stored = GetLe32(head + 3);
        if (stored != length)
            Bad(path, "the BLOB at " + std::to_string(block) + " has " + std::to_string(stored) +
                          " bytes where its record says " + std::to_string(length));
        if (block + 9 + uint64_t{length} > size)
            Bad(path, "the BLOB at " + std::to_string(block) + " runs past the end of the file");
        out.resize(length);
        file_.ReadExactly(block + 9, out.data(), length, "a BLOB");
        return;
    }
    if (index >= kSlots)
        Bad(path, "a record names slot " + std::to_string(index) + " of block " + std::to_string(block));
    file_.ReadExactly(block, head, sizeof head, "a BLOB block header");
    if (head[0] != kSmallBlock)
        Bad(path, "a record points at block " + std::to_string(block) + ", which holds no small BLOBs");
    const uint8_t* slot = head + kSlotTable + 5 * index;
    const uint32_t chunk = slot[0], chunks = slot[1], last = slot[4];
    if (chunk == 0 || chunks == 0 || last == 0 || last > 16)
        Bad(path, "slot " + std::to_string(index) + " of block " + std::to_string(block) + " holds no BLOB");
    const uint32_t stored = (chunks - 1) * 16 + last;
    if (stored != length)
        Bad(path, "the BLOB in slot " + std::to_string(index) + " of block " + std::to_string(block) + " has " +
                      std::to_string(stored) + " bytes where its record says " + std::to_string(length));
    if (chunk < kFirstChunk || chunk * 16 + length > kUnit || block + chunk * 16 + length > size)
        Bad(path, "slot " + std::to_string(index) + " of block " + std::to_string(block) + " points outside its block");
    out.resize(length);
    file_.ReadExactly(block + chunk * 16, out.data(), length, "a BLOB");
}

void BlobFile::Scan() {
    free_.clear();
    small_.clear();
    const uint64_t size = file_.Size();
    uint64_t pos = kUnit;
    while (pos + 3 <= size) {
        uint8_t head[3];
        file_.ReadExactly(pos, head, 3, "a BLOB block header");
        uint32_t units = GetLe16(head + 1);
        if (units == 0) units = 1;  // keep moving; such a block cannot be used
        if (head[0] == kFreeBlock)
            free_.push_back({pos, units});
        else if (head[0] == kSmallBlock)
            small_.push_back(pos);
        pos += uint64_t{units} * kUnit;
    }
    // A file that does not end on a block boundary (some writers leave the last block short)
    // grows from the next boundary.
    end_ = (std::max(pos, size) + kUnit - 1) / kUnit * kUnit;
    scanned_ = true;
}

uint16_t BlobFile::NextModNumber() {
    uint8_t b[2];
    file_.ReadExactly(3, b, 2, "the BLOB file header");
    uint16_t mod = static_cast<uint16_t>(GetLe16(b) + 1);
    if (mod == 0) mod = 1;
    PutLe16(b, mod);
    file_.WriteAt(3, b, 2);
    return mod;
}

void BlobFile::WriteFreeBlock(uint64_t offset, uint32_t units) {
    uint8_t head[3] = {kFreeBlock, 0, 0};
    PutLe16(head + 1, static_cast<uint16_t>(units));
    file_.WriteAt(offset, head, 3);
}

uint64_t BlobFile::TakeBlocks(uint32_t units) {
    for (size_t k = 0; k < free_.size(); ++k) {
        if (free_[k].units < units) continue;
        const uint64_t at = free_[k].offset;
        if (free_[k].units > units) {
            free_[k].offset += uint64_t{units} * kUnit;
            free_[k].units -= units;
            WriteFreeBlock(free_[k].offset, free_[k].units);
        } else {
            free_.erase(free_.begin() + static_cast<std::ptrdiff_t>(k));
        }
        return at;
    }
    const uint64_t at = end_;
    if (at + uint64_t{units} * kUnit > 0xFFFFFF00ull)
        throw EngineError("BLOB file \"" + file_.Path() + "\" is full", errc::kIo);
    end_ += uint64_t{units} * kUnit;
    return at;
}

bool BlobFile::PlaceSmall(uint64_t block, std::string_view data, uint16_t mod, uint32_t& offsetIndex) {
    std::string buf(kUnit, '\0');
    file_.ReadExactly(block, buf.data(), kUnit, "a BLOB block");
    auto* b = reinterpret_cast<uint8_t*>(buf.data());
    if (b[0] != kSmallBlock) return false;
    bool used[kChunks] = {};
    for (uint32_t c = 0; c < kFirstChunk; ++c) used[c] = true;
    int freeSlot = -1;
    for (int s = kSlots - 1; s >= 0; --s) {
        const uint8_t* slot = b + kSlotTable + 5 * s;
        if (slot[0] == 0) {
            if (freeSlot < 0) freeSlot = s;
            continue;
        }
        for (uint32_t c = slot[0]; c < slot[0] + uint32_t{slot[1]} && c < kChunks; ++c) used[c] = true;
    }
    if (freeSlot < 0) return false;
    const auto need = static_cast<uint32_t>((data.size() + 15) / 16);
    uint32_t run = 0;
    for (uint32_t c = kFirstChunk; c < kChunks; ++c) {
        run = used[c] ? 0 : run + 1;
        if (run == need) {
            const uint32_t first = c + 1 - need;
            uint8_t* slot = b + kSlotTable + 5 * freeSlot;
            slot[0] = static_cast<uint8_t>(first);
            slot[1] = static_cast<uint8_t>(need);
            PutLe16(slot + 2, mod);
            slot[4] = static_cast<uint8_t>(data.size() - (need - 1) * 16);
            std::memset(b + first * 16, 0, need * 16);
            std::memcpy(b + first * 16, data.data(), data.size());
            file_.WriteAt(block, buf);
            offsetIndex = static_cast<uint32_t>(block) | static_cast<uint32_t>(freeSlot);
            return true;
        }
    }
    return false;
}

void BlobFile::Write(std::string_view data, uint32_t& offsetIndex, uint16_t& modNumber) {
    if (!scanned_) Scan();
    if (data.size() > 0x7FFFFFFF)
        throw EngineError("A BLOB of " + std::to_string(data.size()) + " bytes is too large", errc::kInvalidParameter);
    modNumber = NextModNumber();
    if (data.size() <= kSmallLimit) {
        // Try the most recently used sub-allocated block first, then a fresh one.
        while (!small_.empty()) {
            if (PlaceSmall(small_.back(), data, modNumber, offsetIndex)) return;
            small_.pop_back();
        }
        const uint64_t block = TakeBlocks(1);
        std::string buf(kUnit, '\0');
        buf[0] = static_cast<char>(kSmallBlock);
        PutLe16(buf.data() + 1, 1);
        file_.WriteAt(block, buf);
        small_.push_back(block);
        if (!PlaceSmall(block, data, modNumber, offsetIndex))
            throw EngineError("BLOB file \"" + file_.Path() + "\": cannot place a small BLOB", errc::kIo);
        return;
    }
    const auto units = static_cast<uint32_t>((9 + data.size() + kUnit - 1) / kUnit);
    if (units > 0xFFFF)
        throw EngineError("A BLOB of " + std::to_string(data.size()) + " bytes is too large", errc::kInvalidParameter);
    const uint64_t block = TakeBlocks(units);
    std::string buf(uint64_t{units} * kUnit, '\0');
    auto* b = reinterpret_cast<uint8_t*>(buf.data());
    b[0] = kSingleBlock;
    PutLe16(b + 1, static_cast<uint16_t>(units));
    PutLe32(b + 3, static_cast<uint32_t>(data.size()));
    PutLe16(b + 7, modNumber);
    std::memcpy(b + 9, data.data(), data.size());
    file_.WriteAt(block, buf);
    offsetIndex = static_cast<uint32_t>(block) | 0xFF;
}

void BlobFile::Free(uint32_t offsetIndex) {
    if (!scanned_) Scan();
    const uint64_t block = offsetIndex & ~uint32_t{0xFF};
    const uint32_t index = offsetIndex & 0xFF;
    if (block < kUnit || block + kUnit > end_) return;
    uint8_t head[kSlotTable + 5 * kSlots];
    if (file_.ReadAt(block, head, sizeof head) != sizeof head) return;
    if (index == 0xFF) {
        if (head[0] != kSingleBlock) return;
        const uint32_t units = std::max<uint32_t>(1, GetLe16(head + 1));
        WriteFreeBlock(block, units);
        free_.push_back({block, units});
        return;
    }
    if (index >= kSlots || head[0] != kSmallBlock) return;
    uint8_t* slot = head + kSlotTable + 5 * index;
    std::memset(slot, 0, 5);
    bool anyLeft = false;
    for (uint32_t s = 0; s < kSlots && !anyLeft; ++s) anyLeft = head[kSlotTable + 5 * s] != 0;
    if (!anyLeft) {
        WriteFreeBlock(block, 1);
        free_.push_back({block, 1});
        std::erase(small_, block);
        return;
    }
    file_.WriteAt(block + kSlotTable + 5 * index, slot, 5);
    if (std::find(small_.begin(), small_.end(), block) == small_.end()) small_.insert(small_.begin(), block);
}

}  // namespace tessel::engine::paradox
