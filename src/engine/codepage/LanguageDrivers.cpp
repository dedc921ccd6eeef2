// The language drivers of both formats and their code pages.

#include "engine/codepage/LanguageDrivers.h"
#include "base/AsciiText.h"

#include <cctype>

namespace tessel::engine::codepage {

namespace {

// Bytes and code pages as dBASE and FoxPro files use them; the names pair each byte with the
// dBASE driver of the same language and code page.
const DbaseLanguageDriver kDbaseDrivers[] = {
    {0x01, 437, "DB437US0", "U.S. MS-DOS"},
    {0x02, 850, "", "International MS-DOS"},
    {0x03, 1252, "DBWINUS0", "Windows ANSI"},
    {0x04, 10000, "", "Standard Macintosh"},
    {0x08, 865, "DB865DA0", "Danish OEM"},
    {0x09, 437, "DB437NL0", "Dutch OEM"},
    {0x0A, 850, "", "Dutch OEM (secondary)"},
    {0x0B, 437, "DB437FI0", "Finnish OEM"},
    {0x0D, 437, "", "French OEM"},
    {0x0E, 850, "", "French OEM (secondary)"},
    {0x0F, 437, "DB437DE0", "German OEM"},
    {0x10, 850, "DB850DE0", "German OEM (secondary)"},
    {0x11, 437, "DB437IT0", "Italian OEM"},
    {0x12, 850, "", "Italian OEM (secondary)"},
    {0x13, 932, "", "Japanese Shift-JIS"},
    {0x14, 850, "", "Spanish OEM (secondary)"},
    {0x15, 437, "DB437SV0", "Swedish OEM"},
    {0x16, 850, "", "Swedish OEM (secondary)"},
    {0x17, 865, "DB865NO0", "Norwegian OEM"},
    {0x18, 437, "DB437ES1", "Spanish OEM"},
    {0x19, 437, "DB437UK0", "English OEM (Britain)"},
    {0x1A, 850, "DB850UK0", "English OEM (Britain, secondary)"},
    {0x1B, 437, "DB437US0", "English OEM (U.S.)"},
    {0x1C, 863, "DB863CF1", "French OEM (Canada)"},
    {0x1D, 850, "DB850CF0", "French OEM (secondary)"},
    {0x1F, 852, "", "Czech OEM"},
    {0x22, 852, "", "Hungarian OEM"},
    {0x23, 852, "", "Polish OEM"},
    {0x24, 860, "DB860PT0", "Portuguese OEM"},
    {0x25, 850, "DB850PT0", "Portuguese OEM (secondary)"},
    {0x26, 866, "", "Russian OEM"},
    {0x37, 850, "", "English OEM (U.S., secondary)"},
    {0x40, 852, "", "Romanian OEM"},
    {0x4D, 936, "", "Chinese GBK (PRC)"},
    {0x4E, 949, "", "Korean (ANSI/OEM)"},
    {0x4F, 950, "", "Chinese Big5 (Taiwan)"},
    {0x50, 874, "", "Thai (ANSI/OEM)"},
    {0x57, 1252, "DBWINUS0", "ANSI"},
    {0x58, 1252, "DBWINWE0", "Western European ANSI"},
    {0x59, 1252, "DBWINES0", "Spanish ANSI"},
    {0x64, 852, "", "Eastern European MS-DOS"},
    {0x65, 866, "", "Russian MS-DOS"},
    {0x66, 865, "", "Nordic MS-DOS"},
    {0x67, 861, "", "Icelandic MS-DOS"},
    {0x6A, 737, "", "Greek MS-DOS (437G)"},
    {0x6B, 857, "", "Turkish MS-DOS"},
    {0x6C, 863, "", "Canadian MS-DOS"},
    {0x78, 950, "", "Traditional Chinese Windows"},
    {0x79, 949, "", "Korean Windows"},
    {0x7A, 936, "", "Chinese Simplified Windows"},
    {0x7B, 932, "", "Japanese Windows"},
    {0x7C, 874, "", "Thai Windows"},
    {0x7D, 1255, "", "Hebrew Windows"},
    {0x7E, 1256, "", "Arabic Windows"},
    {0x96, 10007, "", "Russian Macintosh"},
    {0x97, 10029, "", "Macintosh Eastern European"},
    {0x98, 10006, "", "Greek Macintosh"},
    {0xC8, 1250, "", "Windows Eastern European"},
    {0xC9, 1251, "", "Windows Russian"},
    {0xCA, 1254, "", "Windows Turkish"},
    {0xCB, 1253, "", "Windows Greek"},
    {0xCC, 1257, "", "Windows Baltic"},
};

// The byte written for new tables in each code page: the plainest driver of that code page.
const struct {
    uint16_t codePage;
    uint8_t id;
} kPreferred[] = {
    {1252, 0x03},  {437, 0x01},  {850, 0x02},  {10000, 0x04}, {865, 0x66},  {863, 0x6C},   {852, 0x64},
    {866, 0x65},   {861, 0x67},  {737, 0x6A},  {857, 0x6B},   {860, 0x24},  {932, 0x7B},   {936, 0x7A},
    {949, 0x79},   {950, 0x78},  {874, 0x7C},  {1255, 0x7D},  {1256, 0x7E}, {10007, 0x96}, {10029, 0x97},
    {10006, 0x98}, {1250, 0xC8}, {1251, 0xC9}, {1254, 0xCA},  {1253, 0xCB}, {1257, 0xCC},
};

const ParadoxLanguageDriver kParadoxDrivers[] = {
    {"ascii", 0x00, 437, "Paradox 'ascii'"},       {"intl", 0xB7, 437, "Paradox 'intl'"},
    {"intl850", 0x54, 850, "Paradox 'intl' 850"},  {"nordan", 0x82, 865, "Paradox 'nordan'"},
    {"nordan40", 0xE6, 865, "Paradox 'nordan40'"}, {"swedfin", 0xF0, 437, "Paradox 'swedfin'"},
    {"SPANISH", 0x16, 437, "Paradox ESP 437"},     {"czech", 0x0D, 852, "Paradox Czech 852"},
    {"polish", 0x8F, 852, "Paradox Polish 852"},   {"slovene", 0xFC, 852, "Paradox Slovene 852"},
    {"turk", 0xC6, 857, "Paradox 'turk'"},         {"cyrr", 0xC0, 866, "Paradox Cyrr 866"},
    {"hebrew", 0x7D, 862, "Paradox 'hebrew'"},     {"iceland", 0xD0, 861, "Paradox ISL 861"},
    {"ANSIINTL", 0x62, 1252, "Pdox ANSI Intl"},    {"ANSII850", 0x11, 1252, "Pdox ANSI Intl850"},
    {"ANSISPAN", 0x5D, 1252, "Pdox ANSI Spanish"}, {"ANSISWFN", 0x69, 1252, "Pdox ANSI Swedfin"},
    {"ANSINOR4", 0x4E, 1252, "Pdox ANSI Nordan4"}, {"anczech", 0xDC, 1250, "Pdox ANSI Czech"},
    {"anpolish", 0x5E, 1250, "Pdox ANSI Polish"},  {"ansislov", 0x6F, 1250, "Pdox ANSI Slovene"},
    {"anhundc", 0xE1, 1250, "Pdox ANSI Hun. DC"},  {"ancyrr", 0x8F, 1251, "Pdox ANSI Cyrillic"},
    {"angreek1", 0x0E, 1253, "Pdox ANSI Greek"},   {"ANTURK", 0xD5, 1254, "Pdox ANSI Turkish"},
    {"ANHEBREW", 0x4C, 1255, "Pdox ANSI Hebrew"},  {"DBWINUS0", 0x4C, 1252, "'ascii' ANSI"},
    {"DBWINWE0", 0x40, 1252, "'WEurope' ANSI"},    {"DBWINES0", 0x3C, 1252, "'Spanish' ANSI"},
    {"DB437US0", 0xFC, 437, "dBASE English 437"},  {"DB850US0", 0xFB, 850, "dBASE English 850"},
};

}  // namespace

const DbaseLanguageDriver* FindDbaseDriver(uint8_t id) {
    for (const auto& d : kDbaseDrivers)
        if (d.id == id) return &d;
    return nullptr;
}

const DbaseLanguageDriver* FindDbaseDriverByName(std::string_view name) {
    if (name.empty()) return nullptr;
    for (const auto& d : kDbaseDrivers)
        if (SameAscii(d.name, name)) return &d;
    return nullptr;
}

uint8_t DbaseDriverForCodePage(int codePage) {
    for (const auto& p : kPreferred)
        if (p.codePage == codePage) return p.id;
    return 0;
}

const ParadoxLanguageDriver* FindParadoxDriver(std::string_view id) {
    for (const auto& d : kParadoxDrivers)
        if (SameAscii(d.id, id)) return &d;
    return nullptr;
}

const ParadoxLanguageDriver* FindParadoxDriver(uint8_t sortOrder, int codePage) {
    for (const auto& d : kParadoxDrivers)
        if (d.sortOrder == sortOrder && d.codePage == codePage) return &d;
    return nullptr;
}

}  // namespace tessel::engine::codepage
