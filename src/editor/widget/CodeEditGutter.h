#pragma once

// The editor's gutter: line numbers, bookmarks, its font and width.

#include <QFont>
#include <QImage>
#include <functional>
#include <string>
#include <vector>

#include "highlight/HighlighterTypes.h"

class QPainter;

namespace tessel {

// The settings of the band left of the text: width, line numbers and their font. Every
// change raises OnChange (the editor recomputes its gutter width).
class TGutter {
public:
    TGutter();

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value) { Set(autoSize_, value); }
    TColor Color() const { return color_; }
    void SetColor(TColor value) { Set(color_, value); }
    int DigitCount() const { return digitCount_; }
    // Clamped to 2..12; also the digits in use.
    void SetDigitCount(int value);
    const QFont& Font() const { return font_; }
    void SetFont(const QFont& value);
    bool LeadingZeros() const { return leadingZeros_; }
    void SetLeadingZeros(bool value) { Set(leadingZeros_, value); }
    int LeftOffset() const { return leftOffset_; }
    void SetLeftOffset(int value) { Set(leftOffset_, std::max(value, 0)); }
    int RightOffset() const { return rightOffset_; }
    void SetRightOffset(int value) { Set(rightOffset_, std::max(value, 0)); }
    bool ShowLineNumbers() const { return showLineNumbers_; }
    void SetShowLineNumbers(bool value) { Set(showLineNumbers_, value); }
    bool UseFontStyle() const { return useFontStyle_; }
    void SetUseFontStyle(bool value) { Set(useFontStyle_, value); }
    bool Visible() const { return visible_; }
    void SetVisible(bool value) { Set(visible_, value); }
    int Width() const { return width_; }
    void SetWidth(int value) { Set(width_, std::max(value, 0)); }
    bool ZeroStart() const { return zeroStart_; }
    void SetZeroStart(bool value) { Set(zeroStart_, value); }
    int EffectiveDigits() const { return effectiveDigits_; }

    void Assign(const TGutter& source);

    // With line numbers and AutoSize, widens the numbers to the digits of lineCount.
    void AutoSizeDigits(int lineCount);
    std::string FormatLineNumber(int line) const;
    int RealGutterWidth(int charWidth) const;

    std::function<void()> OnChange;

private:
    template <typename T>
    void Set(T& field, T value) {
        if (field == value) return;
        field = value;
        Changed();
    }
    void Changed() {
        if (OnChange) OnChange();
    }

    bool autoSize_ = false;
    TColor color_ = clBtnFace;
    int digitCount_ = 4;
    QFont font_;
    bool leadingZeros_ = false;
    int leftOffset_ = 16;
    int rightOffset_ = 2;
    bool showLineNumbers_ = false;
    bool useFontStyle_ = true;
    bool visible_ = true;
    int width_ = 30;
    bool zeroStart_ = false;
    int effectiveDigits_ = 4;
};

// How bookmarks are drawn and whether their keys act.
class TBookMarkOpt {
public:
    // Not owned; when set, mark glyphs come from these images instead of the built-in digits.
    const std::vector<QImage>* BookmarkImages() const { return bookmarkImages_; }
    void SetBookmarkImages(const std::vector<QImage>* value) { Set(bookmarkImages_, value); }
    bool DrawBookmarksFirst() const { return drawBookmarksFirst_; }
    void SetDrawBookmarksFirst(bool value) { Set(drawBookmarksFirst_, value); }
    bool EnableKeys() const { return enableKeys_; }
    void SetEnableKeys(bool value) { enableKeys_ = value; }
    bool GlyphsVisible() const { return glyphsVisible_; }
    void SetGlyphsVisible(bool value) { Set(glyphsVisible_, value); }
    int LeftMargin() const { return leftMargin_; }
    void SetLeftMargin(int value) { Set(leftMargin_, value); }
    int Xoffset() const { return xoffset_; }
    void SetXoffset(int value) { Set(xoffset_, value); }

    void Assign(const TBookMarkOpt& source);

    std::function<void()> OnChange;

private:
    template <typename T>
    void Set(T& field, T value) {
        if (field == value) return;
        field = value;
        if (OnChange) OnChange();
    }

    const std::vector<QImage>* bookmarkImages_ = nullptr;
    bool drawBookmarksFirst_ = true;
    bool enableKeys_ = true;
    bool glyphsVisible_ = true;
    int leftMargin_ = 2;
    int xoffset_ = 12;
};

// A strip of equally wide glyphs shared by every user of the same name. The editor's strip,
// "CodeEditInternalImages", holds the ten bookmark digits and is drawn by the program itself.
class TInternalImage {
public:
    TInternalImage(const std::string& name, int count);
    ~TInternalImage();
    TInternalImage(const TInternalImage&) = delete;
    TInternalImage& operator=(const TInternalImage&) = delete;

    int Count() const { return count_; }
    int GlyphWidth() const { return glyphWidth_; }
    int GlyphHeight() const { return glyphHeight_; }
    const QImage& Bitmap() const;
    // Copies glyph n to (x, y): centred on a taller line, its middle rows on a shorter one.
    void Draw(QPainter& painter, int n, int x, int y, int lineHeight) const;

    // Users of a shared strip (for tests).
    static int UsageCount(const std::string& name);

private:
    std::string key_;
    int count_ = 0;
    int glyphWidth_ = 0;
    int glyphHeight_ = 0;
};

// The ten bookmark digits: 110 x 14 pixels, each 11 x 14 glyph a raised frame on silver with
// its digit in black.
QImage MakeBookmarkDigitStrip();

}  // namespace tessel
