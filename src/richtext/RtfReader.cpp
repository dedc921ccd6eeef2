// Reading RTF into plain lines of text.

#include "richtext/RtfReader.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>

namespace tessel {

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Groups whose text is no part of the document's body.
bool IsHiddenDestination(const std::string& word) {
    static const char* const kHidden[] = {"fonttbl",   "colortbl",  "stylesheet",   "info",      "pict",
                                          "object",    "header",    "footer",       "listtable", "listoverridetable",
                                          "generator", "themedata", "latentstyles", "rsidtbl",   "xmlnstbl",
                                          "datastore", "pntext",    "listtext",     "pn"};
    for (const char* h : kHidden)
        if (word == h) return true;
    return false;
}

struct Group {
    bool hidden = false;
    int unicodeSkip = 1;
};

}  // namespace

std::vector<std::string> RtfPlainLines(std::string_view rtf) {
    std::vector<std::string> paragraphs;
    std::string current;
    std::vector<Group> stack{Group{}};
    int skip = 0;  // fallback characters still to drop after a \uN
    bool startOfGroup = false;
    size_t i = 0;
    const size_t n = rtf.size();
    auto emit = [&](const std::string& text) {
        if (stack.back().hidden) return;
        if (skip > 0) {
            --skip;
            return;
        }
        current += text;
    };
    while (i < n) {
        const char c = rtf[i];
        if (c == '{') {
            stack.push_back(stack.back());
            startOfGroup = true;
            ++i;
            continue;
        }
        if (c == '}') {
            if (stack.size() > 1) stack.pop_back();
            startOfGroup = false;
            skip = 0;
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n' || c == '\0') {
            ++i;
            continue;
        }
        if (c != '\\') {
            startOfGroup = false;
            emit(std::string(1, c));
            ++i;
            continue;
        }
        // A control word, a control symbol or an escape.
        ++i;
        if (i >= n) break;
        const char s = rtf[i];
        if (!std::isalpha(static_cast<unsigned char>(s))) {
            ++i;
            const bool wasStart = startOfGroup;
            startOfGroup = false;
            switch (s) {
                case '\\':
                case '{':
                case '}':
                    emit(std::string(1, s));
                    break;
                case '\'': {
                    const int hi = i < n ? HexDigit(rtf[i]) : -1;
                    const int lo = i + 1 < n ? HexDigit(rtf[i + 1]) : -1;
                    if (hi >= 0 && lo >= 0) {
                        emit(std::string(1, static_cast<char>(hi * 16 + lo)));
                        i += 2;
                    }
                    break;
                }
                case '~':
                    emit(" ");
                    break;
                case '*':
                    if (wasStart) stack.back().hidden = true;  // an optional destination
                    break;
                case '\r':
                case '\n':
                    if (!stack.back().hidden) {
                        paragraphs.push_back(current);
                        current.clear();
                    }
                    break;
                default:
                    break;
            }
            continue;
        }
        std::string word;
        while (i < n && std::isalpha(static_cast<unsigned char>(rtf[i]))) word += rtf[i++];
        bool hasParam = false;
        long param = 0;
        if (i < n && (rtf[i] == '-' || std::isdigit(static_cast<unsigned char>(rtf[i])))) {
            const size_t start = i;
            ++i;
            while (i < n && std::isdigit(static_cast<unsigned char>(rtf[i]))) ++i;
            param = std::strtol(std::string(rtf.substr(start, i - start)).c_str(), nullptr, 10);
            hasParam = true;
        }
        if (i < n && rtf[i] == ' ') ++i;  // the blank that ends a control word is no text
        const bool wasStart = startOfGroup;
        startOfGroup = false;
        if (wasStart && IsHiddenDestination(word)) {
            stack.back().hidden = true;
        } else if (word == "par") {
            if (!stack.back().hidden) {
                paragraphs.push_back(current);
                current.clear();
            }
        } else if (word == "tab") {
            emit("\t");
        } else if (word == "line") {
            emit("\n");
        } else if (word == "uc" && hasParam) {
            stack.back().unicodeSkip = static_cast<int>(param);
        } else if (word == "u" && hasParam) {
            if (!stack.back().hidden) {
                std::string ch;
                AppendUtf8(ch, static_cast<uint32_t>(param < 0 ? param + 65536 : param));
                current += ch;
                skip = stack.back().unicodeSkip;
            }
        } else if (word == "emdash") {
            emit("\x97");
        } else if (word == "endash") {
            emit("\x96");
        } else if (word == "bullet") {
            emit("\x95");
        } else if (word == "lquote") {
            emit("\x91");
        } else if (word == "rquote") {
            emit("\x92");
        } else if (word == "ldblquote") {
            emit("\x93");
        } else if (word == "rdblquote") {
            emit("\x94");
        }
    }
    // The document's last paragraph mark ends its last paragraph; text after it, if any, is
    // one more paragraph. A final empty paragraph is no line.
    if (!current.empty()) paragraphs.push_back(current);
    if (!paragraphs.empty() && paragraphs.back().empty()) paragraphs.pop_back();
    return paragraphs;
}

std::string_view StoredRtf(std::string_view data) {
    if (data.size() < 4) return {};
    uint32_t length = 0;
    for (int b = 3; b >= 0; --b) length = (length << 8) | static_cast<unsigned char>(data[static_cast<size_t>(b)]);
    std::string_view rtf = data.substr(4, length);
    while (!rtf.empty() && rtf.back() == '\0') rtf.remove_suffix(1);
    return rtf;
}

}  // namespace tessel
