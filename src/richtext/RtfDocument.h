#pragma once

// A rich text document as paragraphs of formatted runs, and RTF in and out: the subset a word
// processor commonly writes (fonts, sizes, bold/italic/underline, colours and highlight,
// alignment, indents, tab stops, bullets, Unicode and code-page characters). Text is UTF-8.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

// A document that cannot be read at all (not RTF, nested beyond reason).
class ERtfError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TRichColor {
    uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const TRichColor&) const = default;
};

struct TRichFont {
    std::string name;
    int charset = 0;
    bool operator==(const TRichFont&) const = default;
};

struct TRichCharFormat {
    int font = 0;         // index into the document's fonts
    int halfPoints = 24;  // size in half points (\fs)
    bool bold = false, italic = false, underline = false;
    int color = 0;      // index into colors; 0 is the automatic colour
    int highlight = 0;  // index into colors; 0 is none
    bool operator==(const TRichCharFormat&) const = default;
};

struct TRichRun {
    std::string text;
    TRichCharFormat format;
    bool operator==(const TRichRun&) const = default;
};

enum class TRichAlign { Left, Center, Right, Justify };

struct TRichParagraph {
    std::vector<TRichRun> runs;
    TRichAlign align = TRichAlign::Left;
    int firstIndent = 0, leftIndent = 0, rightIndent = 0;  // twips
    std::vector<int> tabs;                                 // twips from the left indent's origin
    int spaceBefore = 0, spaceAfter = 0;                   // twips
    // Line spacing: 0 is single; with lineMultiple a multiple in 240ths of a line, otherwise
    // twips, at least that much when positive, exactly its magnitude when negative.
    int lineSpacing = 0;
    bool lineMultiple = false;
    bool bullet = false;
    bool operator==(const TRichParagraph&) const = default;
    std::string Text() const;
};

struct TRichDocument {
    std::vector<TRichFont> fonts;    // at least one after reading
    std::vector<TRichColor> colors;  // colors[0] stands for "automatic"
    std::vector<TRichParagraph> paragraphs;
    int codePage = 1252;
    // One line per paragraph; a final empty paragraph is no line.
    std::vector<std::string> PlainLines() const;
    // A document of plain lines in one font.
    static TRichDocument FromLines(const std::vector<std::string>& lines, const std::string& font = "Arial",
                                   int halfPoints = 20);
};

// Reads RTF. Damage after the start (a truncated group, a stray brace, junk) ends the text
// there; a text that is no RTF, or groups nested more than 1000 deep, raise ERtfError.
TRichDocument ReadRtf(std::string_view rtf);
// Writes RTF that other readers take: ASCII with \uN for every other character.
std::string WriteRtf(const TRichDocument& document);

}  // namespace tessel
