// The editor's gutter: settings and painting of the band left of the text.

#include "editor/widget/CodeEditGutter.h"

#include <QPainter>
#include <algorithm>
#include <map>
#include <memory>

#include "base/AsciiText.h"
#include "editor/widget/TextDrawer.h"

namespace tessel {

// --- TGutter -----------------------------------------------------------------------------------

TGutter::TGutter() {
    font_ = QFont("Terminal");
    font_.setStyleHint(QFont::Monospace);
    font_.setPointSize(8);
}

void TGutter::SetDigitCount(int value) {
    value = std::clamp(value, 2, 12);
    if (value == digitCount_) return;
    digitCount_ = value;
    effectiveDigits_ = value;
    Changed();
}

void TGutter::SetFont(const QFont& value) {
    font_ = value;
    Changed();
}

void TGutter::Assign(const TGutter& source) {
    font_ = source.font_;
    useFontStyle_ = source.useFontStyle_;
    color_ = source.color_;
    visible_ = source.visible_;
    width_ = source.width_;
    showLineNumbers_ = source.showLineNumbers_;
    leadingZeros_ = source.leadingZeros_;
    zeroStart_ = source.zeroStart_;
    leftOffset_ = source.leftOffset_;
    digitCount_ = source.digitCount_;
    rightOffset_ = source.rightOffset_;
    autoSize_ = source.autoSize_;
    effectiveDigits_ = source.effectiveDigits_;
    Changed();
}

void TGutter::AutoSizeDigits(int lineCount) {
    if (visible_ && autoSize_ && showLineNumbers_) {
        int d = static_cast<int>(std::to_string(zeroStart_ ? lineCount - 1 : lineCount).size());
        d = std::max(d, digitCount_);
        if (d != effectiveDigits_) {
            effectiveDigits_ = d;
            Changed();
        }
    } else {
        effectiveDigits_ = digitCount_;
    }
}

std::string TGutter::FormatLineNumber(int line) const {
    std::string s = std::to_string(zeroStart_ ? line - 1 : line);
    const int pad = effectiveDigits_ - static_cast<int>(s.size());
    if (pad > 0) s.insert(0, static_cast<size_t>(pad), leadingZeros_ ? '0' : ' ');
    return s;
}

int TGutter::RealGutterWidth(int charWidth) const {
    if (!visible_) return 0;
    if (showLineNumbers_) return leftOffset_ + rightOffset_ + effectiveDigits_ * charWidth + 2;
    return width_;
}

// --- TBookMarkOpt --------------------------------------------------------------------------------

void TBookMarkOpt::Assign(const TBookMarkOpt& source) {
    bookmarkImages_ = source.bookmarkImages_;
    drawBookmarksFirst_ = source.drawBookmarksFirst_;
    enableKeys_ = source.enableKeys_;
    glyphsVisible_ = source.glyphsVisible_;
    leftMargin_ = source.leftMargin_;
    xoffset_ = source.xoffset_;
    if (OnChange) OnChange();
}

// --- the digit strip -------------------------------------------------------------------------------

namespace {

// Digits 5 pixels wide and 8 high, one row per byte, the leftmost pixel in bit 4.
constexpr uint8_t kDigits[10][8] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E, 0x00},  // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E, 0x00},  // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F, 0x00},  // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E, 0x00},  // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02, 0x00},  // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E, 0x00},  // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E, 0x00},  // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08, 0x00},  // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E, 0x00},  // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C, 0x00},  // 9
};

struct TInternalResource {
    int usage = 0;
    QImage bitmap;
};

// The strips in use, by upper-cased name; GUI thread only.
std::unique_ptr<std::map<std::string, TInternalResource>>& Registry() {
    static std::unique_ptr<std::map<std::string, TInternalResource>> registry;
    return registry;
}

QImage LoadStrip(const std::string& key) {
    if (key == "CODEEDITINTERNALIMAGES") return MakeBookmarkDigitStrip();
    return {};
}

}  // namespace

QImage MakeBookmarkDigitStrip() {
    QImage image(110, 14, QImage::Format_RGB32);
    image.fill(QColor(192, 192, 192));
    const QRgb white = qRgb(255, 255, 255), grey = qRgb(128, 128, 128), black = qRgb(0, 0, 0);
    for (int n = 0; n < 10; ++n) {
        const int x0 = n * 11;
        // A raised 9 x 12 frame from (1, 1): light top and left, dark bottom and right.
        for (int x = 1; x <= 9; ++x) {
            image.setPixel(x0 + x, 1, white);
            image.setPixel(x0 + x, 12, grey);
        }
        for (int y = 1; y <= 12; ++y) {
            image.setPixel(x0 + 1, y, white);
            image.setPixel(x0 + 9, y, grey);
        }
        for (int row = 0; row < 8; ++row)
            for (int col = 0; col < 5; ++col)
                if (kDigits[n][row] & (0x10 >> col)) image.setPixel(x0 + 3 + col, 3 + row, black);
    }
    return image;
}

TInternalImage::TInternalImage(const std::string& name, int count) : key_(AsciiUpper(name)), count_(count) {
    auto& registry = Registry();
    if (!registry) registry = std::make_unique<std::map<std::string, TInternalResource>>();
    auto it = registry->find(key_);
    if (it == registry->end()) it = registry->emplace(key_, TInternalResource{0, LoadStrip(key_)}).first;
    ++it->second.usage;
    const QImage& bitmap = it->second.bitmap;
    glyphWidth_ = count_ > 0 ? (bitmap.width() + count_ / 2) / count_ : 0;
    glyphHeight_ = bitmap.height();
}

TInternalImage::~TInternalImage() {
    auto& registry = Registry();
    if (!registry) return;
    auto it = registry->find(key_);
    if (it == registry->end()) return;
    if (--it->second.usage <= 0) registry->erase(it);
    if (registry->empty()) registry.reset();
}

const QImage& TInternalImage::Bitmap() const {
    static const QImage none;
    const auto& registry = Registry();
    if (!registry) return none;
    const auto it = registry->find(key_);
    return it == registry->end() ? none : it->second.bitmap;
}

int TInternalImage::UsageCount(const std::string& name) {
    const auto& registry = Registry();
    if (!registry) return 0;
    const auto it = registry->find(AsciiUpper(name));
    return it == registry->end() ? 0 : it->second.usage;
}

void TInternalImage::Draw(QPainter& painter, int n, int x, int y, int lineHeight) const {
    if (n < 0 || n >= count_) return;
    const QImage& bitmap = Bitmap();
    if (lineHeight < glyphHeight_) {
        const int skip = (glyphHeight_ - lineHeight) / 2;
        painter.drawImage(QPoint(x, y), bitmap, QRect(n * glyphWidth_, skip, glyphWidth_, lineHeight));
    } else {
        painter.drawImage(QPoint(x, y + (lineHeight - glyphHeight_) / 2), bitmap,
                          QRect(n * glyphWidth_, 0, glyphWidth_, glyphHeight_));
    }
}

}  // namespace tessel
