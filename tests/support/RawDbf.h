#pragma once

// dBASE tables laid out byte by byte, as other programs write them, for tests that need a file
// Tessel would not write itself (another terminator, repeated names, no code page).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessel::test {

struct RawField {
    std::string name;
    char type;
    int width;
    int decimals;
};

struct RawDbf {
    std::vector<RawField> fields;
    std::vector<std::string> records;  // the field bytes of each record, without the deletion flag
    uint8_t version = 0x03;
    uint8_t languageDriver = 0;
    char terminator = 0x0D;
};

// The bytes of a level 3 table as the writers lay it out.
inline std::string Bytes(const RawDbf& t) {
    auto le16 = [](std::string& s, size_t at, unsigned v) {
        s[at] = static_cast<char>(v & 0xFF);
        s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    };
    const size_t headerLength = 32 + 32 * t.fields.size() + 1;
    size_t recordLength = 1;
    for (const auto& f : t.fields) recordLength += static_cast<size_t>(f.width);
    std::string out(32, '\0');
    out[0] = static_cast<char>(t.version);
    out[1] = 124;
    out[2] = 5;
    out[3] = 17;
    le16(out, 4, static_cast<unsigned>(t.records.size() & 0xFFFF));
    le16(out, 6, static_cast<unsigned>(t.records.size() >> 16));
    le16(out, 8, static_cast<unsigned>(headerLength));
    le16(out, 10, static_cast<unsigned>(recordLength));
    out[29] = static_cast<char>(t.languageDriver);
    for (const auto& f : t.fields) {
        std::string d(32, '\0');
        d.replace(0, f.name.size(), f.name);
        d[11] = f.type;
        d[16] = static_cast<char>(f.width);
        d[17] = static_cast<char>(f.decimals);
        out += d;
    }
    out.push_back(t.terminator);
    for (const auto& r : t.records) {
        std::string rec = " " + r;
        rec.resize(recordLength, ' ');
        out += rec;
    }
    out.push_back('\x1A');
    return out;
}

}  // namespace tessel::test
