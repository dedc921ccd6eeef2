// RTF into paragraphs of runs and back.

#include "richtext/RtfDocument.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>

#include "base/TextEncoding.h"
#include "engine/codepage/CodePage.h"

namespace tessel {

namespace {

constexpr size_t kMaxDepth = 1000;

enum class Dest { Body, FontTable, ColorTable, Skip };

struct State {
    Dest dest = Dest::Body;
    TRichCharFormat chars;
    TRichParagraph para;  // its properties; runs are kept apart
    int unicodeSkip = 1;
};

bool IsSkipped(const std::string& word) {
    static const char* const kSkipped[] = {"stylesheet",
                                           "info",
                                           "pict",
                                           "object",
                                           "header",
                                           "footer",
                                           "headerl",
                                           "headerr",
                                           "headerf",
                                           "footerl",
                                           "footerr",
                                           "footerf",
                                           "listtable",
                                           "listoverridetable",
                                           "generator",
                                           "themedata",
                                           "latentstyles",
                                           "rsidtbl",
                                           "xmlnstbl",
                                           "datastore",
                                           "fldinst",
                                           "pntext",
                                           "listtext",
                                           "pn",
                                           "colorschememapping",
                                           "mmathPr",
                                           "filetbl",
                                           "revtbl",
                                           "bkmkstart",
                                           "bkmkend",
                                           "shppict",
                                           "nonshppict",
                                           "userprops",
                                           "docvar"};
    for (const char* s : kSkipped)
        if (word == s) return true;
    return false;
}

class Reader {
public:
    explicit Reader(std::string_view rtf) : rtf_(rtf) {}

    TRichDocument Read() {
        size_t start = 0;
        while (start < rtf_.size() && std::isspace(static_cast<unsigned char>(rtf_[start]))) ++start;
        if (rtf_.substr(start, 5) != "{\\rtf")
            throw ERtfError("The text is not an RTF document (it must begin with {\\rtf)");
        pos_ = start;
        while (pos_ < rtf_.size() && !done_) Step();
        Flush();
        if (!current_.runs.empty()) doc_.paragraphs.push_back(current_);
        if (doc_.fonts.empty()) doc_.fonts.push_back({"Arial", 0});
        if (doc_.colors.empty()) doc_.colors.push_back({});
        // Colours were counted from 1 for the table's first entry. A table whose first entry
        // is the automatic colour keeps its numbering; any other gets one in front.
        const bool autoFirst = colorTableHadAuto_ || rawColors_.empty();
        if (autoFirst) {
            if (!rawColors_.empty()) doc_.colors = rawColors_;
        } else {
            doc_.colors.assign(1, TRichColor{});
            doc_.colors.insert(doc_.colors.end(), rawColors_.begin(), rawColors_.end());
        }
        const int colorCount = static_cast<int>(doc_.colors.size());
        for (auto& p : doc_.paragraphs)
            for (auto& r : p.runs) {
                int& c = r.format.color;
                int& h = r.format.highlight;
                if (autoFirst) {
                    c = c ? c - 1 : 0;
                    h = h ? h - 1 : 0;
                }
                if (c >= colorCount) c = 0;  // a colour the table lacks
                if (h >= colorCount) h = 0;
            }
        return doc_;
    }

private:
    State& Top() { return stack_.back(); }

    void Step() {
        const char c = rtf_[pos_];
        if (c == '{') {
            Flush();
            ++pos_;
            if (stack_.size() >= kMaxDepth) throw ERtfError("The RTF document is nested too deeply (over 1000 groups)");
            stack_.push_back(stack_.empty() ? State{} : Top());
            skip_ = 0;
            return;
        }
        if (c == '}') {
            Flush();
            ++pos_;
            EndGroup();
            skip_ = 0;
            return;
        }
        if (stack_.empty()) {  // text after the document's closing brace
            done_ = true;
            return;
        }
        if (c == '\\') {
            ControlWord();
            return;
        }
        ++pos_;
        if (c == '\r' || c == '\n') return;
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) return;  // junk
        if (skip_ > 0) {
            --skip_;
            return;
        }
        if (c == '\t') {
            Text("\t");
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            pending_ += c;  // an unescaped byte of the code page
        } else {
            Flush();
            Text(std::string(1, c));
        }
    }

    void EndGroup() {
        if (stack_.empty()) {
            done_ = true;
            return;
        }
        const State ended = Top();
        stack_.pop_back();
        if (ended.dest == Dest::FontTable && !fontName_.empty()) EndFont();
        if (stack_.empty()) done_ = true;
    }

    void ControlWord() {
        ++pos_;  // the backslash
        if (pos_ >= rtf_.size()) return;
        const char c = rtf_[pos_];
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            ++pos_;
            if (c == '\'') {
                if (pos_ + 2 > rtf_.size()) {  // cut off: the document ends here
                    pos_ = rtf_.size();
                    return;
                }
                const int hi = Hex(rtf_[pos_]), lo = Hex(rtf_[pos_ + 1]);
                pos_ += 2;
                if (hi < 0 || lo < 0) return;
                if (skip_ > 0) {
                    --skip_;
                    return;
                }
                pending_ += static_cast<char>(hi * 16 + lo);
                return;
            }
            Flush();
            if (c == '*') {
                star_ = true;
                return;
            }
            if (skip_ > 0) {
                --skip_;
                return;
            }
            if (c == '\\' || c == '{' || c == '}')
                Text(std::string(1, c));
            else if (c == '~')
                Text("\u00A0");
            else if (c == '_')
                Text("\u2011");
            else if (c == '\n' || c == '\r')
                EndParagraph();
            return;
        }
        size_t start = pos_;
        while (pos_ < rtf_.size() && std::isalpha(static_cast<unsigned char>(rtf_[pos_])) && pos_ - start < 32) ++pos_;
        const std::string word(rtf_.substr(start, pos_ - start));
        bool hasParam = false;
        long param = 0;
        start = pos_;
        if (pos_ < rtf_.size() && (rtf_[pos_] == '-' || std::isdigit(static_cast<unsigned char>(rtf_[pos_])))) {
            ++pos_;
            while (pos_ < rtf_.size() && std::isdigit(static_cast<unsigned char>(rtf_[pos_])) && pos_ - start < 11)
                ++pos_;
            param = std::strtol(std::string(rtf_.substr(start, pos_ - start)).c_str(), nullptr, 10);
            hasParam = true;
        }
        if (pos_ < rtf_.size() && rtf_[pos_] == ' ') ++pos_;
        if (word != "u") Flush();
        Word(word, hasParam, param);
        star_ = false;
    }

    void Word(const std::string& w, bool has, long p) {
        State& s = Top();
        const int n = static_cast<int>(p);
        if (w == "bin") {  // binary data: skipped whole
            pos_ += has && p > 0 ? std::min<size_t>(static_cast<size_t>(p), rtf_.size() - pos_) : 0;
            return;
        }
        // Destinations.
        if (w == "fonttbl") {
            s.dest = Dest::FontTable;
            return;
        }
        if (w == "colortbl") {
            s.dest = Dest::ColorTable;
            return;
        }
        if (IsSkipped(w) || (star_ && s.dest == Dest::Body)) {
            // The text a bulleted paragraph shows before itself: the paragraph has a bullet.
            if (w == "pntext" || w == "listtext") current_.bullet = true;
            s.dest = Dest::Skip;
            return;
        }
        if (w == "pnlvlblt") current_.bullet = true;
        if (s.dest == Dest::Skip) return;
        if (s.dest == Dest::FontTable) {
            if (w == "f") {
                if (!fontName_.empty()) EndFont();
                fontNumber_ = n;
            } else if (w == "fcharset") {
                fontCharset_ = n;
            }
            return;
        }
        if (s.dest == Dest::ColorTable) {
            if (w == "red") color_.red = static_cast<uint8_t>(n);
            if (w == "green") color_.green = static_cast<uint8_t>(n);
            if (w == "blue") color_.blue = static_cast<uint8_t>(n);
            colorSet_ = true;
            return;
        }
        if (w == "ansicpg" && has) {
            doc_.codePage = n;
            converter_.reset();
        } else if (w == "uc") {
            s.unicodeSkip = std::max(0, n);
        } else if (w == "u") {
            // A signed 16-bit unit; anything beyond is no character.
            if (p >= -32768 && p <= 65535) Unicode(p < 0 ? p + 65536 : p);
            skip_ = s.unicodeSkip;
        } else if (w == "par" || w == "line") {
            EndParagraph();
        } else if (w == "tab") {
            Text("\t");
        } else if (w == "pard") {
            s.para = TRichParagraph{};
            current_.align = TRichAlign::Left;
            current_.firstIndent = current_.leftIndent = current_.rightIndent = 0;
            current_.tabs.clear();
            current_.spaceBefore = current_.spaceAfter = current_.lineSpacing = 0;
            current_.lineMultiple = false;
            current_.bullet = false;
        } else if (w == "plain") {
            s.chars = TRichCharFormat{};
        } else if (w == "b") {
            s.chars.bold = !has || p != 0;
        } else if (w == "i") {
            s.chars.italic = !has || p != 0;
        } else if (w == "ul") {
            s.chars.underline = !has || p != 0;
        } else if (w == "ulnone") {
            s.chars.underline = false;
        } else if (w == "fs") {
            s.chars.halfPoints = has && n > 0 ? n : 24;
        } else if (w == "f") {
            const auto it = fontIndex_.find(n);
            s.chars.font = it == fontIndex_.end() ? 0 : it->second;
        } else if (w == "cf") {
            // Kept one above the table's index until the table is known (0: no colour named).
            s.chars.color = std::max(0, n) + 1;
        } else if (w == "highlight" || w == "cb") {
            s.chars.highlight = n > 0 ? n + 1 : 0;
        } else if (w == "ql" || w == "qc" || w == "qr" || w == "qj") {
            s.para.align = current_.align = w == "qc"   ? TRichAlign::Center
                                            : w == "qr" ? TRichAlign::Right
                                            : w == "qj" ? TRichAlign::Justify
                                                        : TRichAlign::Left;
        } else if (w == "fi") {
            s.para.firstIndent = current_.firstIndent = n;
        } else if (w == "li") {
            s.para.leftIndent = current_.leftIndent = n;
        } else if (w == "ri") {
            s.para.rightIndent = current_.rightIndent = n;
        } else if (w == "tx") {
            s.para.tabs.push_back(n);
            current_.tabs = s.para.tabs;
        } else if (w == "sb") {
            s.para.spaceBefore = current_.spaceBefore = std::max(0, n);
        } else if (w == "sa") {
            s.para.spaceAfter = current_.spaceAfter = std::max(0, n);
        } else if (w == "sl") {
            s.para.lineSpacing = current_.lineSpacing = n;
        } else if (w == "slmult") {
            s.para.lineMultiple = current_.lineMultiple = !has || p != 0;
        } else if (w == "emdash") {
            Text("\u2014");
        } else if (w == "endash") {
            Text("\u2013");
        } else if (w == "lquote") {
            Text("\u2018");
        } else if (w == "rquote") {
            Text("\u2019");
        } else if (w == "ldblquote") {
            Text("\u201C");
        } else if (w == "rdblquote") {
            Text("\u201D");
        } else if (w == "bullet") {
            Text("\u2022");
        }
    }

    void Unicode(long cp) {
        if (cp >= 0xD800 && cp < 0xDC00) {
            highSurrogate_ = static_cast<char32_t>(cp);
            return;
        }
        char32_t c = static_cast<char32_t>(cp);
        if (cp >= 0xDC00 && cp < 0xE000) {
            if (!highSurrogate_) return;
            c = 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (static_cast<char32_t>(cp) - 0xDC00);
        }
        highSurrogate_ = 0;
        if ((c < 0x20 && c != U'\t') || c == 0x7F) return;
        std::string s;
        AppendUtf8(s, c);
        Text(s);
    }

    // Bytes of the code page gathered from \'hh become text.
    void Flush() {
        if (pending_.empty()) return;
        if (!converter_) converter_ = std::make_unique<engine::codepage::CodePageConverter>(doc_.codePage);
        std::string text = converter_->ToUtf8(pending_);
        pending_.clear();
        // Control characters are no text (a tab comes as \tab or as itself).
        std::erase_if(text, [](char c) { return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F; });
        Text(text);
    }

    void Text(const std::string& text) {
        if (stack_.empty()) return;
        State& s = Top();
        if (s.dest == Dest::FontTable) {
            for (char c : text) {
                if (c == ';')
                    EndFont();
                else
                    fontName_ += c;
            }
            return;
        }
        if (s.dest == Dest::ColorTable) {
            for (char c : text)
                if (c == ';') {
                    if (rawColors_.empty() && !colorSet_) colorTableHadAuto_ = true;
                    rawColors_.push_back(colorSet_ ? color_ : TRichColor{});
                    color_ = {};
                    colorSet_ = false;
                }
            return;
        }
        if (s.dest != Dest::Body) return;
        if (current_.runs.empty() || !(current_.runs.back().format == s.chars))
            current_.runs.push_back({std::string(), s.chars});
        current_.runs.back().text += text;
    }

    void EndFont() {
        size_t b = fontName_.find_first_not_of(' '), e = fontName_.find_last_not_of(' ');
        const std::string name = b == std::string::npos ? std::string() : fontName_.substr(b, e - b + 1);
        fontIndex_[fontNumber_] = static_cast<int>(doc_.fonts.size());
        doc_.fonts.push_back({name, fontCharset_});
        fontName_.clear();
        fontCharset_ = 0;
    }

    void EndParagraph() {
        if (stack_.empty() || Top().dest != Dest::Body) return;
        doc_.paragraphs.push_back(current_);
        current_.runs.clear();
        const TRichParagraph& p = Top().para;
        current_.align = p.align;
        current_.firstIndent = p.firstIndent;
        current_.leftIndent = p.leftIndent;
        current_.rightIndent = p.rightIndent;
        current_.tabs = p.tabs;
        current_.spaceBefore = p.spaceBefore;
        current_.spaceAfter = p.spaceAfter;
        current_.lineSpacing = p.lineSpacing;
        current_.lineMultiple = p.lineMultiple;
        current_.bullet = p.bullet;
    }

    static int Hex(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    std::string_view rtf_;
    size_t pos_ = 0;
    bool done_ = false;
    bool star_ = false;
    int skip_ = 0;
    std::vector<State> stack_;
    TRichDocument doc_;
    TRichParagraph current_;
    std::string pending_;
    std::unique_ptr<engine::codepage::CodePageConverter> converter_;
    char32_t highSurrogate_ = 0;
    std::map<int, int> fontIndex_;
    int fontNumber_ = 0, fontCharset_ = 0;
    std::string fontName_;
    std::vector<TRichColor> rawColors_;
    TRichColor color_;
    bool colorSet_ = false, colorTableHadAuto_ = false;
};

void WriteText(std::string& out, std::string_view utf8) {
    size_t i = 0;
    while (i < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            ++i;
            if (c == '\\' || c == '{' || c == '}') {
                out += '\\';
                out += static_cast<char>(c);
            } else if (c == '\t') {
                out += "\\tab ";
            } else if (c >= 0x20) {
                out += static_cast<char>(c);
            }
            continue;
        }
        char32_t cp = NextCodePoint(utf8, i);
        auto unit = [&](uint32_t u) {
            out += "\\u" + std::to_string(u >= 0x8000 ? static_cast<int>(u) - 65536 : static_cast<int>(u)) + "?";
        };
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
}

}  // namespace

std::string TRichParagraph::Text() const {
    std::string s;
    for (const TRichRun& r : runs) s += r.text;
    return s;
}

std::vector<std::string> TRichDocument::PlainLines() const {
    std::vector<std::string> lines;
    for (const TRichParagraph& p : paragraphs) lines.push_back(p.Text());
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

TRichDocument TRichDocument::FromLines(const std::vector<std::string>& lines, const std::string& font, int halfPoints) {
    TRichDocument doc;
    doc.fonts.push_back({font, 0});
    doc.colors.push_back({});
    for (const std::string& line : lines) {
        TRichParagraph p;
        TRichRun run;
        run.text = line;
        run.format.halfPoints = halfPoints;
        if (!line.empty()) p.runs.push_back(run);
        doc.paragraphs.push_back(p);
    }
    return doc;
}

TRichDocument ReadRtf(std::string_view rtf) {
    return Reader(rtf).Read();
}

std::string WriteRtf(const TRichDocument& doc) {
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl";
    const std::vector<TRichFont> fonts = doc.fonts.empty() ? std::vector<TRichFont>{{"Arial", 0}} : doc.fonts;
    for (size_t i = 0; i < fonts.size(); ++i) {
        out += "{\\f" + std::to_string(i) + "\\fnil\\fcharset" + std::to_string(fonts[i].charset) + " ";
        WriteText(out, fonts[i].name);
        out += ";}";
    }
    out += "}\r\n{\\colortbl ;";
    for (size_t i = 1; i < doc.colors.size(); ++i) {
        const TRichColor& c = doc.colors[i];
        out += "\\red" + std::to_string(c.red) + "\\green" + std::to_string(c.green) + "\\blue" +
               std::to_string(c.blue) + ";";
    }
    out += "}\r\n";
    for (const TRichParagraph& p : doc.paragraphs) {
        out += "\\pard";
        if (p.align == TRichAlign::Center) out += "\\qc";
        if (p.align == TRichAlign::Right) out += "\\qr";
        if (p.align == TRichAlign::Justify) out += "\\qj";
        if (p.firstIndent) out += "\\fi" + std::to_string(p.firstIndent);
        if (p.leftIndent) out += "\\li" + std::to_string(p.leftIndent);
        if (p.rightIndent) out += "\\ri" + std::to_string(p.rightIndent);
        for (int t : p.tabs) out += "\\tx" + std::to_string(t);
        if (p.spaceBefore) out += "\\sb" + std::to_string(p.spaceBefore);
        if (p.spaceAfter) out += "\\sa" + std::to_string(p.spaceAfter);
        if (p.lineSpacing) out += "\\sl" + std::to_string(p.lineSpacing) + (p.lineMultiple ? "\\slmult1" : "\\slmult0");
        // Groups and runs all begin with a brace: no blank ends the control words.
        if (p.bullet) out += "{\\pntext\\'95\\tab}{\\*\\pn\\pnlvlblt\\pnindent360{\\pntxtb\\'95}}";
        for (const TRichRun& r : p.runs) {
            const TRichCharFormat& f = r.format;
            out += "{\\f" + std::to_string(f.font) + "\\fs" + std::to_string(f.halfPoints);
            if (f.bold) out += "\\b";
            if (f.italic) out += "\\i";
            if (f.underline) out += "\\ul";
            if (f.color) out += "\\cf" + std::to_string(f.color);
            if (f.highlight) out += "\\highlight" + std::to_string(f.highlight);
            out += " ";
            WriteText(out, r.text);
            out += "}";
        }
        out += "\\par\r\n";
    }
    out += "}";
    return out;
}

}  // namespace tessel
