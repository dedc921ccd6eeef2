#pragma once

// Byte, number and date helpers the dBASE table's source files share (internal to the driver).

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/AsciiText.h"
#include "base/EngineError.h"
#include "base/FileUtil.h"
#include "engine/codepage/LanguageDrivers.h"
#include "engine/storage/TableFamily.h"
#include "engine/storage/Value.h"

namespace tessel::engine::dbase {

constexpr size_t kChunkBytes = 256 * 1024;
constexpr size_t kProbeBytes = 4096;
constexpr size_t kPendingBytes = 1024 * 1024;  // appends kept back before they are written

inline uint32_t LeU32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint32_t>(u[0]) | (static_cast<uint32_t>(u[1]) << 8) | (static_cast<uint32_t>(u[2]) << 16) |
           (static_cast<uint32_t>(u[3]) << 24);
}

inline uint64_t LeU64(const char* p) {
    return static_cast<uint64_t>(LeU32(p)) | (static_cast<uint64_t>(LeU32(p + 4)) << 32);
}

inline uint64_t BeU64(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    uint64_t v = 0;
    for (int k = 0; k < 8; ++k) v = (v << 8) | u[k];
    return v;
}

inline void PutLeU32(char* p, uint32_t v) {
    for (int k = 0; k < 4; ++k) p[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
}

inline void PutLeU16(char* p, uint16_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
}

inline void PutBeU64(char* p, uint64_t v) {
    for (int k = 7; k >= 0; --k) {
        p[k] = static_cast<char>(v & 0xFF);
        v >>= 8;
    }
}

inline bool AllBytes(const char* p, size_t n, char c) {
    for (size_t k = 0; k < n; ++k)
        if (p[k] != c) return false;
    return true;
}

// Parses the text of an N/F field. Blank, asterisks (an overflow mark some writers leave) and
// text that is no number give NULL: one bad cell must not stop a scan.
void ParseNumber(const char* p, size_t w, int decimals, Value& out);

bool ParseDate8(const char* p, int64_t& day);

// Decimal text of a value for an N/F field: sign, digits and how many of them are decimals.
struct DecimalText {
    bool negative = false;
    std::string digits;  // without leading zeros (may be empty for 0)
    int scale = 0;
};

bool ToDecimalText(const Value& v, DecimalText& t);

// Rounds half up (away from zero) to `decimals` and formats as the field text, right-aligned
// in `width`. False when it does not fit.
// `keepDigits`: digits beyond `decimals` are written as they are when the width holds them (a
// value read with them, on its way to a copy).
bool FormatNumberField(DecimalText t, int decimals, uint32_t width, char* dst, bool keepDigits = false);

std::string BaseName(const std::string& path);

inline bool FileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

void TodayBytes(char* p);

}  // namespace tessel::engine::dbase
