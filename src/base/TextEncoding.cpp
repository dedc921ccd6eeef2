// Detecting, decoding and encoding the text encodings of SQL files.

#include "base/TextEncoding.h"

namespace tessel {

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five bytes that have no character.
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t Cp1252ToUnicode(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) {
        const char16_t u = kCp1252High[c - 0x80];
        // The undefined bytes map to the C1 controls of the same value, as most converters do,
        // so that reading and writing back gives the same bytes.
        return u ? u : c;
    }
    return c;
}

bool UnicodeToCp1252(char32_t u, unsigned char& c) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
        c = static_cast<unsigned char>(u);
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        const char16_t mapped = kCp1252High[i];
        if ((mapped && mapped == u) || (!mapped && u == static_cast<char32_t>(0x80 + i))) {
            c = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

bool HasPrefix(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

}  // namespace

char32_t NextCodePoint(std::string_view s, size_t& pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    int extra;
    char32_t cp;
    char32_t minimum;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + static_cast<size_t>(extra) >= s.size()) {
        ++pos;
        return 0xFFFD;
    }
    for (int i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + static_cast<size_t>(i)]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return 0xFFFD;
    }
    pos += static_cast<size_t>(extra) + 1;
    return cp;
}

bool IsValidUtf8(std::string_view bytes) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[pos]);
        if (b < 0x80) {
            ++pos;
            continue;
        }
        const size_t before = pos;
        const char32_t cp = NextCodePoint(bytes, pos);
        // A genuine U+FFFD takes three bytes; a replacement for bad input advances by one.
        if (cp == 0xFFFD && pos - before == 1) return false;
    }
    return true;
}

size_t Utf8Length(std::string_view utf8) {
    size_t n = 0;
    for (char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

TTextEncoding DetectTextEncoding(std::string_view bytes) {
    if (HasPrefix(bytes, "\xEF\xBB\xBF")) return TTextEncoding::Utf8Bom;
    if (HasPrefix(bytes, "\xFF\xFE")) return TTextEncoding::Utf16LeBom;
    if (HasPrefix(bytes, "\xFE\xFF")) return TTextEncoding::Utf16BeBom;
    return IsValidUtf8(bytes) ? TTextEncoding::Utf8 : TTextEncoding::Windows1252;
}

std::string DecodeText(std::string_view bytes, TTextEncoding encoding) {
    std::string out;
    switch (encoding) {
        case TTextEncoding::Utf8:
            return std::string(bytes);
        case TTextEncoding::Utf8Bom:
            return std::string(HasPrefix(bytes, "\xEF\xBB\xBF") ? bytes.substr(3) : bytes);
        case TTextEncoding::Windows1252:
            out.reserve(bytes.size());
            for (char c : bytes) AppendUtf8(out, Cp1252ToUnicode(static_cast<unsigned char>(c)));
            return out;
        case TTextEncoding::Utf16LeBom:
        case TTextEncoding::Utf16BeBom: {
            const bool le = encoding == TTextEncoding::Utf16LeBom;
            size_t pos = bytes.size() >= 2 ? 2 : bytes.size();
            auto unit = [&](size_t at) -> char32_t {
                const auto a = static_cast<unsigned char>(bytes[at]);
                const auto b = static_cast<unsigned char>(bytes[at + 1]);
                return le ? static_cast<char32_t>(a | (b << 8)) : static_cast<char32_t>((a << 8) | b);
            };
            out.reserve(bytes.size());
            while (pos + 1 < bytes.size()) {
                char32_t u = unit(pos);
                pos += 2;
                if (u >= 0xD800 && u <= 0xDBFF && pos + 1 < bytes.size()) {
                    const char32_t low = unit(pos);
                    if (low >= 0xDC00 && low <= 0xDFFF) {
                        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                        pos += 2;
                    } else {
                        u = 0xFFFD;
                    }
                } else if (u >= 0xD800 && u <= 0xDFFF) {
                    u = 0xFFFD;
                }
                AppendUtf8(out, u);
            }
            if (pos < bytes.size()) AppendUtf8(out, 0xFFFD);  // odd trailing byte
            return out;
        }
    }
    return out;
}

bool EncodeText(std::string_view utf8, TTextEncoding encoding, std::string& out) {
    out.clear();
    switch (encoding) {
        case TTextEncoding::Utf8:
            out.assign(utf8);
            return true;
        case TTextEncoding::Utf8Bom:
            out = "\xEF\xBB\xBF";
            out.append(utf8);
            return true;
        case TTextEncoding::Windows1252: {
            out.reserve(utf8.size());
            size_t pos = 0;
            while (pos < utf8.size()) {
                unsigned char c;
                if (!UnicodeToCp1252(NextCodePoint(utf8, pos), c)) return false;
                out += static_cast<char>(c);
            }
            return true;
        }
        case TTextEncoding::Utf16LeBom:
        case TTextEncoding::Utf16BeBom: {
            const bool le = encoding == TTextEncoding::Utf16LeBom;
            auto put = [&](char32_t u) {
                const char hi = static_cast<char>((u >> 8) & 0xFF);
                const char lo = static_cast<char>(u & 0xFF);
                if (le) {
                    out += lo;
                    out += hi;
                } else {
                    out += hi;
                    out += lo;
                }
            };
            put(0xFEFF);
            size_t pos = 0;
            while (pos < utf8.size()) {
                const char32_t cp = NextCodePoint(utf8, pos);
                if (cp >= 0x10000) {
                    put(0xD800 + ((cp - 0x10000) >> 10));
                    put(0xDC00 + ((cp - 0x10000) & 0x3FF));
                } else {
                    put(cp);
                }
            }
            return true;
        }
    }
    return false;
}

}  // namespace tessel
