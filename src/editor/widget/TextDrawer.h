#pragma once

// The editor's text drawer: fonts, cell metrics, styled runs.

#include <QColor>
#include <QFont>
#include <QRawFont>
#include <QRect>
#include <memory>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "highlight/HighlighterTypes.h"

class QPainter;

namespace tessel {

// "SetBaseFont: 'Value' must be specified."
class EheFontStockException : public Exception {
public:
    using Exception::Exception;
};
class EheTextDrawerException : public Exception {
public:
    using Exception::Exception;
};

// The fonts of one base font, one per combination of bold, italic, underline and strike-out
// (index = style bits), made and measured on first use and shared by every stock with the
// same base font.
struct TheSharedFontsInfo {
    struct Entry {
        bool made = false;
        QFont font;
        QRawFont raw;
        int advance = 0;  // cell width of the style
        int height = 0;   // cell height of the style
        int ascent = 0;
    };
    QFont baseFont;
    QString key;
    int refCount = 0;
    int lockCount = 0;
    Entry entries[16];
};

// The process-wide registry of shared font informations.
class TheFontsInfoManager {
public:
    static TheFontsInfoManager& Instance();
    // The information for a base font (compared without its style), made when new; the caller
    // holds one reference.
    TheSharedFontsInfo* GetFontsInfo(const QFont& baseFont);
    void ReleaseFontsInfo(TheSharedFontsInfo* info);
    int InfoCount() const { return static_cast<int>(infos_.size()); }

private:
    std::vector<std::unique_ptr<TheSharedFontsInfo>> infos_;
};

// The fonts of one drawer: a base font and the current style.
class TheFontStock {
public:
    explicit TheFontStock(const QFont* baseFont);
    ~TheFontStock();
    TheFontStock(const TheFontStock&) = delete;
    TheFontStock& operator=(const TheFontStock&) = delete;

    // Null raises EheFontStockException.
    void SetBaseFont(const QFont* value);
    void SetStyle(TFontStyles style);
    TFontStyles Style() const { return style_; }
    const TheSharedFontsInfo::Entry& Current() const { return *current_; }
    int CharAdvance() const { return current_->advance; }
    int CharHeight() const { return current_->height; }
    const QFont& BaseFont() const { return info_->baseFont; }

private:
    void MakeEntry(unsigned bits);

    TheSharedFontsInfo* info_ = nullptr;
    TheSharedFontsInfo::Entry* current_ = nullptr;
    TFontStyles style_;
    bool locked_ = false;
};

// Draws text in a fixed grid: every character gets one cell of CharWidth pixels, whatever the
// width of its glyph, so columns line up in every style.
class TheTextDrawer {
public:
    TheTextDrawer(TFontStyles baseStyle, const QFont& baseFont);

    int CharWidth() const { return charWidth_ + charExtra_; }
    int CharHeight() const { return charHeight_; }
    int CharAscent() const { return stock_.Current().ascent; }

    void BeginDrawing(QPainter* painter);
    void EndDrawing();
    // Null raises EheTextDrawerException.
    void SetBaseFont(const QFont* font);
    void SetBaseStyle(TFontStyles style);
    void SetStyle(TFontStyles style);
    TFontStyles BaseStyle() const { return baseStyle_; }
    void SetForeColor(const QColor& color) { foreColor_ = color; }
    void SetBackColor(const QColor& color) { backColor_ = color; }
    void SetCharExtra(int value);

    // Fills `rect` with the background colour and draws the characters from cell x on (top y),
    // clipped to the rectangle. Tab characters are drawn as blanks.
    void ExtTextOut(int x, int y, const QRect& rect, const char32_t* text, int count);
    // Without the background fill and the clipping.
    void TextOut(int x, int y, const char32_t* text, int count);

    // How many glyph runs have been drawn (for tests of run joining).
    long DrawCalls() const { return drawCalls_; }

private:
    void DrawChars(int x, int y, const char32_t* text, int count);

    TheFontStock stock_;
    TFontStyles baseStyle_;
    int charWidth_ = 0;
    int charHeight_ = 0;
    int charExtra_ = 0;
    QColor foreColor_ = Qt::black;
    QColor backColor_ = Qt::white;
    QPainter* painter_ = nullptr;
    int drawNesting_ = 0;
    long drawCalls_ = 0;
    // Reused between calls.
    std::vector<quint32> glyphs_;
    std::vector<QPointF> positions_;
    QString utf16_;
};

// The font styles a font carries.
TFontStyles FontStylesOf(const QFont& font);

// A colour value resolved for painting: system colours (top bit set) come from the
// application's palette.
QColor ResolveColor(TColor color);

inline constexpr TColor clHighlight = 0x8000000D;
inline constexpr TColor clHighlightText = 0x8000000E;
inline constexpr TColor clInfoBk = 0x80000018;
inline constexpr TColor clSilver = 0xC0C0C0;

}  // namespace tessel
