// Converting between table code pages and UTF-8.

#include "engine/codepage/CodePage.h"

#include <iconv.h>

#include <cerrno>
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
        default:
            return "CP" + std::to_string(codePage);
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
            std::memcpy(table->utf8[b], "\xEF\xBF\xBD", 3);
            table->len[b] = 3;
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

bool IsCodePageSupported(int codePage) {
    if (codePage <= 0) return false;
    if (!IsMultiByte(codePage)) return SharedTable(codePage) != nullptr;
    iconv_t cd = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (cd == kBadIconv) return false;
    iconv_close(cd);
    return true;
}

CodePageConverter::CodePageConverter(int codePage) : codePage_(codePage) {
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
            const bool malformed = cp == 0xFFFD && (pos - start != 3 || utf8.substr(start, 3) != "\xEF\xBF\xBD");
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
