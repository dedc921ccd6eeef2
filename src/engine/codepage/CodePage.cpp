// Converting between table code pages and UTF-8.

#include "engine/codepage/CodePage.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

#include "base/TextEncoding.h"
#include "engine/codepage/LanguageDrivers.h"

namespace tessel::engine::codepage {

namespace detail {

struct SingleByteTable {
    // UTF-8 of each byte (1 to 3 bytes; U+FFFD for undefined bytes).
    char utf8[256][4] = {};
    uint8_t len[256] = {};
    bool asciiIdentity = true;  // bytes 0x00..0x7F are ASCII
    std::unordered_map<char32_t, uint8_t> reverse;
};

struct IconvPair {
    iconv_t toUtf8 = reinterpret_cast<iconv_t>(-1);
    iconv_t fromUtf8 = reinterpret_cast<iconv_t>(-1);
    ~IconvPair() {
        if (toUtf8 != reinterpret_cast<iconv_t>(-1)) iconv_close(toUtf8);
        if (fromUtf8 != reinterpret_cast<iconv_t>(-1)) iconv_close(fromUtf8);
    }
};

}  // namespace detail

namespace {

const iconv_t kBadIconv = reinterpret_cast<iconv_t>(-1);

// "ISO-8859-n" for the code pages 28591 to 28606, else "".
std::string IsoName(int codePage) {
    return codePage > 28590 && codePage <= 28606 ? "ISO-8859-" + std::to_string(codePage - 28590) : "";
}

bool IsKeptByte(char32_t c) {
    return c >= kKeptByteBase && c <= kKeptByteBase + 0xFF;
}

// NextCodePoint gave U+FFFD for the bytes from `start` to `pos` of `text` because they are no
// valid UTF-8, not because they spell U+FFFD itself.
bool Malformed(std::string_view text, size_t start, size_t pos, char32_t cp) {
    return cp == 0xFFFD && (pos - start != 3 || text.substr(start, 3) != "\xEF\xBF\xBD");
}

std::string IconvName(int codePage) {
    switch (codePage) {
        case 10000:
            return "MACINTOSH";
        case 10006:
            return "MAC-GREEK";
        case 10007:
            return "MAC-CYRILLIC";
        case 10029:
            return "MAC-CENTRALEUROPE";
        default: {
            const std::string iso = IsoName(codePage);
            return iso.empty() ? "CP" + std::to_string(codePage) : iso;
        }
    }
}

bool IsMultiByte(int codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

// Builds the byte table of a single-byte code page; nullptr when iconv does not know it.
std::shared_ptr<const detail::SingleByteTable> BuildTable(int codePage) {
    iconv_t cd = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (cd == kBadIconv) return nullptr;
    auto table = std::make_shared<detail::SingleByteTable>();
    for (int b = 0; b < 256; ++b) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char in = static_cast<char>(b);
        char* inPtr = &in;
        size_t inLeft = 1;
        char out[8];
        char* outPtr = out;
        size_t outLeft = sizeof out;
        const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        size_t n = sizeof out - outLeft;
        if (r == static_cast<size_t>(-1) || n == 0 || n > 3) {
            // Kept as the byte itself: the private-use character U+F700 + byte, which writing
            // to the same code page turns back into the byte.
            const char32_t kept = kKeptByteBase + static_cast<char32_t>(b);
            std::string s;
            AppendUtf8(s, kept);
            std::memcpy(table->utf8[b], s.data(), s.size());
            table->len[b] = static_cast<uint8_t>(s.size());
            table->reverse.emplace(kept, static_cast<uint8_t>(b));
        } else {
            std::memcpy(table->utf8[b], out, n);
            table->len[b] = static_cast<uint8_t>(n);
            size_t pos = 0;
            const char32_t cp = NextCodePoint(std::string_view(out, n), pos);
            table->reverse.emplace(cp, static_cast<uint8_t>(b));
        }
        if (b < 0x80 && (table->len[b] != 1 || table->utf8[b][0] != static_cast<char>(b))) table->asciiIdentity = false;
    }
    iconv_close(cd);
    return table;
}

std::shared_ptr<const detail::SingleByteTable> SharedTable(int codePage) {
    static std::mutex mutex;
    static std::map<int, std::shared_ptr<const detail::SingleByteTable>> cache;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(codePage);
    if (it != cache.end()) return it->second;
    auto table = BuildTable(codePage);
    cache.emplace(codePage, table);
    return table;
}

}  // namespace

std::string NoPlaceText(char32_t c, int codePage) {
    char buf[96];
    if (IsKeptByte(c))
        std::snprintf(buf, sizeof buf, "the byte 0x%02X, which the text it came from does not define,",
                      static_cast<unsigned>(c - kKeptByteBase));
    else
        std::snprintf(buf, sizeof buf, "the character U+%04X", static_cast<unsigned>(c));
    return std::string(buf) + " has no place in code page " + std::to_string(codePage);
}

int CodePageFromName(std::string_view name) {
    std::string s;
    for (char c : name)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            s.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    auto number = [](std::string_view digits) {
        if (digits.empty() || digits.size() > 5) return 0;
        int n = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return 0;
            n = n * 10 + (c - '0');
        }
        return n;
    };
    auto after = [&](std::string_view prefix, std::string_view& rest) {
        if (s.compare(0, prefix.size(), prefix) != 0) return false;
        rest = std::string_view(s).substr(prefix.size());
        return true;
    };
    if (s == "UTF-8" || s == "UTF8") return kUtf8CodePage;
    std::string_view rest;
    if (after("LDID/", rest)) {
        const int id = number(rest);
        const auto* d = id > 0 && id < 256 ? FindDbaseDriver(static_cast<uint8_t>(id)) : nullptr;
        return d ? d->codePage : 0;
    }
    // ISO 8859 parts, written many ways: ISO-8859-1, ISO8859-1, ISO88591, 8859-1, 88591.
    for (std::string_view prefix : {"ISO-8859-", "ISO8859-", "ISO8859", "8859-", "8859"}) {
        if (after(prefix, rest)) {
            const int part = number(rest);
            return part >= 1 && part <= 16 ? 28590 + part : 0;
        }
    }
    for (std::string_view prefix : {"WINDOWS-", "CP", "ANSI", "OEM", "IBM", ""}) {
        if (after(prefix, rest)) {
            const int n = number(rest);
            if (n == 65001) return kUtf8CodePage;
            if (n > 0) return n;
        }
    }
    return 0;
}

std::string CodePageFileText(int codePage) {
    if (codePage == kUtf8CodePage) return "UTF-8";
    const std::string iso = IsoName(codePage);
    return iso.empty() ? std::to_string(codePage) : iso;
}

bool IsCodePageSupported(int codePage) {
    if (codePage <= 0) return false;
    if (codePage == kUtf8CodePage) return true;
    if (!IsMultiByte(codePage)) return SharedTable(codePage) != nullptr;
    iconv_t cd = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (cd == kBadIconv) return false;
    iconv_close(cd);
    return true;
}

CodePageConverter::CodePageConverter(int codePage) : codePage_(codePage) {
    if (codePage == kUtf8CodePage) return;
    if (codePage > 0 && IsMultiByte(codePage)) {
        auto pair = std::make_unique<detail::IconvPair>();
        pair->toUtf8 = iconv_open("UTF-8", IconvName(codePage).c_str());
        pair->fromUtf8 = iconv_open(IconvName(codePage).c_str(), "UTF-8");
        if (pair->toUtf8 != kBadIconv && pair->fromUtf8 != kBadIconv) {
            iconv_ = std::move(pair);
            return;
        }
    } else if (codePage > 0) {
        single_ = SharedTable(codePage);
        if (single_) return;
    }
    codePage_ = kDefaultCodePage;
    single_ = SharedTable(kDefaultCodePage);
}

CodePageConverter::~CodePageConverter() = default;

void CodePageConverter::ToUtf8(std::string_view bytes, std::string& out) const {
    if (codePage_ == kUtf8CodePage) {
        // Valid UTF-8 as it is; a byte that is not part of a valid sequence is kept.
        if (IsValidUtf8(bytes)) {
            out.assign(bytes);
            return;
        }
        out.clear();
        size_t pos = 0;
        while (pos < bytes.size()) {
            const size_t start = pos;
            const char32_t cp = NextCodePoint(bytes, pos);
            if (Malformed(bytes, start, pos, cp))
                AppendUtf8(out, kKeptByteBase + static_cast<unsigned char>(bytes[start]));
            else
                out.append(bytes.substr(start, pos - start));
        }
        return;
    }
    if (single_) {
        const auto& t = *single_;
        if (t.asciiIdentity) {
            size_t k = 0;
            while (k < bytes.size() && static_cast<unsigned char>(bytes[k]) < 0x80) ++k;
            if (k == bytes.size()) {
                out.assign(bytes);
                return;
            }
        }
        out.clear();
        for (unsigned char c : bytes) out.append(t.utf8[c], t.len[c]);
        return;
    }
    out.clear();
    iconv_t cd = iconv_->toUtf8;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buf[1024];
    while (inLeft > 0) {
        char* outPtr = buf;
        size_t outLeft = sizeof buf;
        const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buf, sizeof buf - outLeft);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // An undefined or incomplete sequence: one replacement character, then go on.
            out.append("\xEF\xBF\xBD");
            ++inPtr;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

bool CodePageConverter::FromUtf8(std::string_view utf8, std::string& out, size_t maxBytes, char32_t* badChar) const {
    out.clear();
    if (codePage_ == kUtf8CodePage) {
        size_t pos = 0;
        while (pos < utf8.size()) {
            const size_t start = pos;
            const char32_t cp = NextCodePoint(utf8, pos);
            if (Malformed(utf8, start, pos, cp)) {
                if (badChar) *badChar = cp;
                return false;
            }
            const bool kept = IsKeptByte(cp);
            const size_t n = kept ? 1 : pos - start;
            if (out.size() + n > maxBytes) break;
            if (kept)
                out.push_back(static_cast<char>(cp - kKeptByteBase));
            else
                out.append(utf8.substr(start, n));
        }
        return true;
    }
    if (single_) {
        const auto& t = *single_;
        size_t pos = 0;
        while (pos < utf8.size() && out.size() < maxBytes) {
            const unsigned char c = static_cast<unsigned char>(utf8[pos]);
            if (c < 0x80 && t.asciiIdentity) {
                out.push_back(static_cast<char>(c));
                ++pos;
                continue;
            }
            const size_t start = pos;
            const char32_t cp = NextCodePoint(utf8, pos);
            auto it = t.reverse.find(cp);
            const bool malformed = Malformed(utf8, start, pos, cp);
            if (it == t.reverse.end() || malformed) {
                if (badChar) *badChar = cp;
                return false;
            }
            out.push_back(static_cast<char>(it->second));
        }
        return true;
    }
    iconv_t cd = iconv_->fromUtf8;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    size_t pos = 0;
    while (pos < utf8.size()) {
        const size_t start = pos;
        const char32_t cp = NextCodePoint(utf8, pos);
        char* inPtr = const_cast<char*>(utf8.data() + start);
        size_t inLeft = pos - start;
        char buf[16];
        char* outPtr = buf;
        size_t outLeft = sizeof buf;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) {
            if (badChar) *badChar = cp;
            return false;
        }
        const size_t n = sizeof buf - outLeft;
        if (out.size() + n > maxBytes) break;
        out.append(buf, n);
    }
    return true;
}

}  // namespace tessel::engine::codepage
