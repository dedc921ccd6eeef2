#pragma once

// The rows of an answer in the order they came, packed one after the other: in memory up to a
// budget, then in an unnamed temporary file (1 MiB pieces written whole, a few read back at a
// time), so a long answer costs a fixed amount of memory and reading a row back costs a copy.

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "engine/storage/Table.h"

namespace tessel::engine {

class AnswerStore {
public:
    // `memoryBudget`: bytes of rows kept in memory before pieces go to the temporary file.
    explicit AnswerStore(size_t memoryBudget = size_t{32} << 20);
    ~AnswerStore();
    AnswerStore(const AnswerStore&) = delete;
    AnswerStore& operator=(const AnswerStore&) = delete;

    int64_t Count() const { return static_cast<int64_t>(rows_.size()); }
    // Appends a row; a temporary file that cannot be written raises EngineError and keeps the
    // rows before it.
    void Append(const Record& row);
    // Row `n` (0 <= n < Count()).
    void Read(int64_t n, Record& out);

    // Pieces written to the temporary file so far (tests check that the budget holds).
    size_t SpilledPieces() const { return spilled_.size(); }

private:
    struct Piece {
        std::string bytes;
        bool loaded = true;  // false: only in the file at `fileOffset`
        uint64_t fileOffset = 0;
    };
    struct Where {
        uint32_t piece;
        uint32_t offset;
    };
    void Spill();
    const std::string& Load(uint32_t piece);

    size_t budget_;
    size_t inMemory_ = 0;  // bytes of pieces held in memory
    std::vector<Piece> pieces_;
    std::vector<Where> rows_;
    std::vector<uint32_t> spilled_;  // pieces written out, in order
    std::list<uint32_t> loaded_;     // spilled pieces read back, most recent first
    int fd_ = -1;
    uint64_t fileSize_ = 0;
    std::string scratch_;
};

}  // namespace tessel::engine
