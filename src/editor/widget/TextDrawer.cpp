// Drawing the editor's text in fixed character cells.

#include "editor/widget/TextDrawer.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>
#include <QPalette>
#include <algorithm>

namespace tessel {

namespace {

// The description two base fonts are compared by: the family, size and weight of the font,
// without italic, underline and strike-out.
QString BaseKey(const QFont& font) {
    QFont f(font);
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    return f.key();
}

}  // namespace

TFontStyles FontStylesOf(const QFont& font) {
    TFontStyles s;
    if (font.bold()) s.Include(TFontStyle::fsBold);
    if (font.italic()) s.Include(TFontStyle::fsItalic);
    if (font.underline()) s.Include(TFontStyle::fsUnderline);
    if (font.strikeOut()) s.Include(TFontStyle::fsStrikeOut);
    return s;
}

QColor ResolveColor(TColor color) {
    if (color & 0x80000000U) {
        const QPalette palette = QApplication::palette();
        switch (color & 0xFF) {
            case 5:
                return palette.color(QPalette::Base);
            case 8:
                return palette.color(QPalette::Text);
            case 13:
                return palette.color(QPalette::Highlight);
            case 14:
                return palette.color(QPalette::HighlightedText);
            case 15:
                return palette.color(QPalette::Button);
            case 18:
                return palette.color(QPalette::ButtonText);
            case 23:
                return palette.color(QPalette::ToolTipText);
            case 24:
                return palette.color(QPalette::ToolTipBase);
            default:
                return palette.color(QPalette::Window);
        }
    }
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

// --- TheFontsInfoManager -----------------------------------------------------------------------

TheFontsInfoManager& TheFontsInfoManager::Instance() {
    static TheFontsInfoManager manager;
    return manager;
}

TheSharedFontsInfo* TheFontsInfoManager::GetFontsInfo(const QFont& baseFont) {
    const QString key = BaseKey(baseFont);
    for (const auto& info : infos_) {
        if (info->key == key) {
            ++info->refCount;
            return info.get();
        }
    }
    auto info = std::make_unique<TheSharedFontsInfo>();
    info->baseFont = baseFont;
    info->baseFont.setItalic(false);
    info->baseFont.setUnderline(false);
    info->baseFont.setStrikeOut(false);
    info->key = key;
    info->refCount = 1;
    infos_.push_back(std::move(info));
    return infos_.back().get();
}

void TheFontsInfoManager::ReleaseFontsInfo(TheSharedFontsInfo* info) {
    if (info == nullptr) return;
    if (info->refCount < 2) {
        std::erase_if(infos_, [info](const auto& p) { return p.get() == info; });
    } else {
        --info->refCount;
    }
}

// --- TheFontStock ------------------------------------------------------------------------------

TheFontStock::TheFontStock(const QFont* baseFont) {
    SetBaseFont(baseFont);
}

TheFontStock::~TheFontStock() {
    if (info_ != nullptr && locked_) --info_->lockCount;
    TheFontsInfoManager::Instance().ReleaseFontsInfo(info_);
}

void TheFontStock::SetBaseFont(const QFont* value) {
    if (value == nullptr) throw EheFontStockException("SetBaseFont: 'Value' must be specified.");
    TheSharedFontsInfo* info = TheFontsInfoManager::Instance().GetFontsInfo(*value);
    if (info == info_) {
        --info_->refCount;
    } else {
        if (info_ != nullptr) {
            if (locked_) --info_->lockCount;
            locked_ = false;
            TheFontsInfoManager::Instance().ReleaseFontsInfo(info_);
        }
        info_ = info;
    }
    current_ = nullptr;
    TFontStyles style;
    if (value->bold()) style.Include(TFontStyle::fsBold);
    if (value->italic()) style.Include(TFontStyle::fsItalic);
    if (value->underline()) style.Include(TFontStyle::fsUnderline);
    if (value->strikeOut()) style.Include(TFontStyle::fsStrikeOut);
    SetStyle(style);
}

void TheFontStock::MakeEntry(unsigned bits) {
    TheSharedFontsInfo::Entry& e = info_->entries[bits];
    e.font = info_->baseFont;
    e.font.setBold((bits & 1) != 0);
    e.font.setItalic((bits & 2) != 0);
    e.font.setUnderline((bits & 4) != 0);
    e.font.setStrikeOut((bits & 8) != 0);
    e.font.setKerning(false);
    const QFontMetrics metrics(e.font);
    e.advance = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
    e.height = std::max(1, metrics.height());
    e.ascent = metrics.ascent();
    e.raw = QRawFont::fromFont(e.font);
    e.made = true;
}

void TheFontStock::SetStyle(TFontStyles style) {
    if (!locked_) {
        ++info_->lockCount;
        locked_ = true;
    }
    const unsigned bits = style.Bits();
    if (!info_->entries[bits].made) MakeEntry(bits);
    current_ = &info_->entries[bits];
    style_ = style;
}

// --- TheTextDrawer -----------------------------------------------------------------------------

TheTextDrawer::TheTextDrawer(TFontStyles baseStyle, const QFont& baseFont) : stock_(&baseFont), baseStyle_(baseStyle) {
    stock_.SetStyle(baseStyle_);
    charWidth_ = stock_.CharAdvance();
    charHeight_ = stock_.CharHeight();
    SetBaseFont(&baseFont);
}

void TheTextDrawer::BeginDrawing(QPainter* painter) {
    if (painter != painter_) {
        painter_ = painter;
        painter_->save();
    }
    ++drawNesting_;
}

void TheTextDrawer::EndDrawing() {
    if (--drawNesting_ <= 0) {
        drawNesting_ = 0;
        if (painter_ != nullptr) painter_->restore();
        painter_ = nullptr;
    }
}

void TheTextDrawer::SetBaseFont(const QFont* font) {
    if (font == nullptr) throw EheTextDrawerException("SetBaseFont: 'Value' must be specified.");
    stock_.SetBaseFont(font);
    stock_.SetStyle(baseStyle_);
    charWidth_ = stock_.CharAdvance();
    charHeight_ = stock_.CharHeight();
    TFontStyles style;
    if (font->bold()) style.Include(TFontStyle::fsBold);
    if (font->italic()) style.Include(TFontStyle::fsItalic);
    if (font->underline()) style.Include(TFontStyle::fsUnderline);
    if (font->strikeOut()) style.Include(TFontStyle::fsStrikeOut);
    SetStyle(style);
}

void TheTextDrawer::SetBaseStyle(TFontStyles style) {
    if (style == baseStyle_) return;
    baseStyle_ = style;
    const TFontStyles current = stock_.Style();
    stock_.SetStyle(baseStyle_);
    charWidth_ = stock_.CharAdvance();
    charHeight_ = stock_.CharHeight();
    stock_.SetStyle(current);
}

void TheTextDrawer::SetStyle(TFontStyles style) {
    stock_.SetStyle(style);
}

void TheTextDrawer::SetCharExtra(int value) {
    charExtra_ = value;
}

void TheTextDrawer::ExtTextOut(int x, int y, const QRect& rect, const char32_t* text, int count) {
    if (painter_ == nullptr) return;
    painter_->fillRect(rect, backColor_);
    if (count <= 0) return;
    painter_->save();
    painter_->setClipRect(rect, Qt::IntersectClip);
    DrawChars(x, y, text, count);
    painter_->restore();
}

void TheTextDrawer::TextOut(int x, int y, const char32_t* text, int count) {
    if (painter_ == nullptr || count <= 0) return;
    DrawChars(x, y, text, count);
}

void TheTextDrawer::DrawChars(int x, int y, const char32_t* text, int count) {
    const TheSharedFontsInfo::Entry& entry = stock_.Current();
    const int cell = CharWidth();
    const qreal baseline = y + entry.ascent;
    glyphs_.clear();
    positions_.clear();
    // Characters whose glyph the font lacks are drawn one by one through the font fallback.
    std::vector<int> missing;
    for (int i = 0; i < count; ++i) {
        const char32_t c = text[i];
        if (c == U'\t' || c == U' ' || c < 32) continue;
        utf16_.clear();
        if (c >= 0x10000) {
            utf16_.append(QChar::highSurrogate(c));
            utf16_.append(QChar::lowSurrogate(c));
        } else {
            utf16_.append(QChar(static_cast<char16_t>(c)));
        }
        quint32 glyph = 0;
        int numGlyphs = 1;
        if (!entry.raw.isValid() ||
            !entry.raw.glyphIndexesForChars(utf16_.constData(), static_cast<int>(utf16_.size()), &glyph, &numGlyphs) ||
            glyph == 0) {
            missing.push_back(i);
            continue;
        }
        glyphs_.push_back(glyph);
        positions_.emplace_back(static_cast<qreal>(x + i * cell), baseline);
    }
    painter_->setPen(foreColor_);
    painter_->setRenderHint(QPainter::TextAntialiasing, !(entry.font.styleStrategy() & QFont::NoAntialias));
    if (!glyphs_.empty()) {
        QGlyphRun run;
        run.setRawFont(entry.raw);
        run.setGlyphIndexes(QList<quint32>(glyphs_.begin(), glyphs_.end()));
        run.setPositions(QList<QPointF>(positions_.begin(), positions_.end()));
        run.setUnderline(entry.font.underline());
        run.setStrikeOut(entry.font.strikeOut());
        painter_->drawGlyphRun(QPointF(0, 0), run);
    }
    if (!missing.empty()) {
        painter_->setFont(entry.font);
        for (int i : missing) {
            const char32_t c = text[i];
            painter_->drawText(QPointF(x + i * cell, baseline), QString::fromUcs4(&c, 1));
        }
    }
    ++drawCalls_;
}

}  // namespace tessel
