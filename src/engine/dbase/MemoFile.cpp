// Memo files (.DBT of both layouts, .FPT): reading and writing memos.

#include "engine/dbase/MemoFile.h"

#include <algorithm>
#include <cstring>

#include "base/EngineError.h"

namespace tessel::engine::dbase {

namespace {

uint32_t LeU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t BeU32(const unsigned char* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

void PutLeU32(char* p, uint32_t v) {
    for (int k = 0; k < 4; ++k) p[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
}

constexpr uint64_t kMaxMemoBytes = 0xFFFFFFF0ull;

}  // namespace

void MemoFile::Open(const std::string& path, MemoKind kind, bool writable) {
    file_.Open(path, writable);
    const uint64_t size = file_.Size();
    unsigned char head[512] = {};
    const size_t got = file_.ReadAt(0, head, sizeof head);
    if (got < 8 || size < 8)
        throw EngineError("Corrupt memo file \"" + path + "\": shorter than its header", errc::kCorruptFile);
    if (kind == MemoKind::Probe) {
        const uint16_t size20 = static_cast<uint16_t>(head[20] | (head[21] << 8));
        unsigned char block1[4] = {};
        file_.ReadAt(512, block1, 4);
        const bool ivMark = block1[0] == 0xFF && block1[1] == 0xFF && block1[2] == 0x08;
        kind = (size20 != 0 && size20 != 512) || ivMark ? MemoKind::Dbt4 : MemoKind::Dbt3;
    }
    kind_ = kind;
    switch (kind) {
        case MemoKind::Dbt3:
            blockSize_ = 512;
            firstBlock_ = 1;
            break;
        case MemoKind::Dbt4: {
            // Readers disagree on where the block size lives; try 20-21, then 4-7, then 512.
            uint32_t bs = static_cast<uint32_t>(head[20] | (head[21] << 8));
            if (bs < 16) bs = LeU32(head + 4);
            if (bs < 16 || bs > 65536) bs = 512;
            blockSize_ = bs;
            firstBlock_ = 1;
            break;
        }
        case MemoKind::Fpt: {
            uint32_t bs = static_cast<uint32_t>((head[6] << 8) | head[7]);
            if (bs == 0) bs = 1;
            blockSize_ = bs;
            firstBlock_ = (512 + bs - 1) / bs;
            break;
        }
        default:
            throw EngineError("Memo file \"" + path + "\" of unknown layout", errc::kCorruptFile);
    }
}

void MemoFile::Create(const std::string& path, MemoKind kind, const std::string& baseName) {
    file_.Create(path);
    kind_ = kind;
    blockSize_ = 512;
    firstBlock_ = 1;
    char head[512] = {};
    PutLeU32(head, 1);
    if (kind == MemoKind::Dbt3) {
        head[16] = 0x03;
    } else {
        PutLeU32(head + 4, 512);
        std::string name = baseName.substr(0, 8);
        for (auto& c : name)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        name.resize(8, ' ');
        std::memcpy(head + 8, name.data(), 8);
        head[20] = 0x00;
        head[21] = 0x02;  // 512
    }
    file_.WriteAt(0, head, sizeof head);
}

void MemoFile::ReadToEndMark(uint64_t offset, std::string& out) {
    // The data runs to 1A 1A; FoxBASE-style files end with a single 1A, so a 1A followed by
    // a NUL or the end of the file also ends it. A lone 1A inside the text is kept.
    out.clear();
    const uint64_t size = file_.Size();
    char buf[4096];
    uint64_t pos = offset;
    while (pos < size) {
        const size_t n = file_.ReadAt(pos, buf, static_cast<size_t>(std::min<uint64_t>(sizeof buf, size - pos)));
        if (n == 0) break;
        size_t scanFrom = out.size();
        out.append(buf, n);
        pos += n;
        if (scanFrom > 0) --scanFrom;  // a 1A at the end of the previous chunk
        for (size_t k = scanFrom; k < out.size(); ++k) {
            if (out[k] != '\x1A') continue;
            if (k + 1 >= out.size()) {
                if (pos >= size) {
                    out.resize(k);
                    return;
                }
                break;  // need the next byte
            }
            if (out[k + 1] == '\x1A' || out[k + 1] == '\0') {
                out.resize(k);
                return;
            }
        }
    }
    // No end mark before the end of the file: the memo runs to the end.
}

void MemoFile::Read(uint64_t block, std::string& out) {
    const uint64_t size = file_.Size();
    const uint64_t offset = block * blockSize_;
    if (block < firstBlock_ || offset >= size)
        throw EngineError("Corrupt memo file \"" + file_.Path() + "\": memo block " + std::to_string(block) +
                              " is outside the file (" + std::to_string(size) + " bytes)",
                          errc::kCorruptFile);
    unsigned char head[8] = {};
    switch (kind_) {
        case MemoKind::Dbt3:
            ReadToEndMark(offset, out);
            return;
        case MemoKind::Dbt4: {
            const size_t got = file_.ReadAt(offset, head, 8);
            if (got == 8 && head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0) {
                const uint32_t len = LeU32(head + 4);
                if (len < 8 || offset + len > size)
                    throw EngineError("Corrupt memo file \"" + file_.Path() + "\": the memo at block " +
                                          std::to_string(block) + " declares " + std::to_string(len) +
                                          " bytes, which run past the end of the file",
                                      errc::kCorruptFile);
                out.resize(len - 8);
                file_.ReadExactly(offset + 8, out.data(), out.size(), "memo data");
                return;
            }
            ReadToEndMark(offset, out);
            return;
        }
        case MemoKind::Fpt: {
            file_.ReadExactly(offset, head, 8, "memo block header");
            const uint32_t len = BeU32(head + 4);
            if (offset + 8 + static_cast<uint64_t>(len) > size)
                throw EngineError("Corrupt memo file \"" + file_.Path() + "\": the memo at block " +
                                      std::to_string(block) + " declares " + std::to_string(len) +
                                      " bytes, which run past the end of the file",
                                  errc::kCorruptFile);
            out.resize(len);
            file_.ReadExactly(offset + 8, out.data(), out.size(), "memo data");
            return;
        }
        default:
            out.clear();
            return;
    }
}

uint64_t MemoFile::BlockSpan(uint64_t block) {
    try {
        std::string data;
        Read(block, data);
        const uint64_t bytes = data.size() + (kind_ == MemoKind::Dbt3 ? 2 : 8);
        return (bytes + blockSize_ - 1) / blockSize_;
    } catch (const EngineError&) {
        return 0;
    }
}

uint64_t MemoFile::NextFreeBlock() {
    unsigned char head[4] = {};
    file_.ReadExactly(0, head, 4, "memo header");
    const uint64_t declared = kind_ == MemoKind::Fpt ? BeU32(head) : LeU32(head);
    const uint64_t bySize = (file_.Size() + blockSize_ - 1) / blockSize_;
    return std::max<uint64_t>({declared, bySize, firstBlock_});
}

uint32_t MemoFile::Write(std::string_view data, uint64_t oldBlock) {
    if (kind_ != MemoKind::Dbt3 && kind_ != MemoKind::Dbt4)
        throw EngineError("Memo file \"" + file_.Path() + "\" cannot be written", errc::kNotSupported);
    if (data.size() > kMaxMemoBytes)
        throw EngineError(
            "A memo value of " + std::to_string(data.size()) + " bytes is too large for \"" + file_.Path() + "\"",
            errc::kInvalidParameter);
    std::string chunk;
    if (kind_ == MemoKind::Dbt3) {
        if (data.find('\x1A') != std::string_view::npos)
            throw EngineError("The value contains the byte 0x1A, which a dBASE III memo cannot hold",
                              errc::kInvalidParameter);
        chunk.reserve(data.size() + 2);
        chunk.append(data);
        chunk.append("\x1A\x1A");
    } else {
        chunk.resize(8);
        chunk[0] = '\xFF';
        chunk[1] = '\xFF';
        chunk[2] = '\x08';
        chunk[3] = '\x00';
        PutLeU32(chunk.data() + 4, static_cast<uint32_t>(data.size() + 8));
        chunk.append(data);
    }
    const uint64_t needBlocks = (chunk.size() + blockSize_ - 1) / blockSize_;
    if (oldBlock >= firstBlock_ && BlockSpan(oldBlock) >= needBlocks) {
        file_.WriteAt(oldBlock * blockSize_, chunk);
        return static_cast<uint32_t>(oldBlock);
    }
    const uint64_t block = NextFreeBlock();
    if (block + needBlocks > 0xFFFFFFFFull || block + needBlocks > 9'999'999'999ull)
        throw EngineError("Memo file \"" + file_.Path() + "\" is full", errc::kIo);
    chunk.resize(needBlocks * blockSize_, '\0');
    // Data first, then the header's next free block: a failure leaves only unused blocks.
    file_.WriteAt(block * blockSize_, chunk);
    char head[4];
    PutLeU32(head, static_cast<uint32_t>(block + needBlocks));
    file_.WriteAt(0, head, 4);
    return static_cast<uint32_t>(block);
}

}  // namespace tessel::engine::dbase
