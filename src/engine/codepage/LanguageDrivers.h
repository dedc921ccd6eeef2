#pragma once

// Language drivers of dBASE and Paradox tables and the code pages they name.

#include <cstdint>
#include <string_view>

namespace tessel::engine::codepage {

// The code page Tessel assumes when a table names none or one it does not know: Windows ANSI,
// what the programs that wrote such files used for text. Every byte of it decodes (the five
// unassigned bytes are kept, see kKeptByteBase), so an unknown driver never yields a failure.
constexpr int kDefaultCodePage = 1252;

// A dBASE language driver: the byte at header offset 29, the code page it names, and the
// driver's internal name as the engine reports it (empty when there is no usual name).
struct DbaseLanguageDriver {
    uint8_t id;
    uint16_t codePage;
    const char* name;
    const char* description;
};

// The driver with this byte, or nullptr (0 means "not set").
const DbaseLanguageDriver* FindDbaseDriver(uint8_t id);
// The driver a level 7 table names (compared without case), or nullptr.
const DbaseLanguageDriver* FindDbaseDriverByName(std::string_view name);
// The byte to write for text in this code page; 0 when dBASE has no driver for it.
uint8_t DbaseDriverForCodePage(int codePage);

// A Paradox language driver (sort order): the ID string kept in the header, the sort-order
// byte, and the code page.
struct ParadoxLanguageDriver {
    const char* id;
    uint8_t sortOrder;
    uint16_t codePage;
    const char* description;
};

// By ID string (without case), or nullptr.
const ParadoxLanguageDriver* FindParadoxDriver(std::string_view id);
// By sort-order byte and code page (the byte alone is ambiguous), or nullptr.
const ParadoxLanguageDriver* FindParadoxDriver(uint8_t sortOrder, int codePage);

}  // namespace tessel::engine::codepage
