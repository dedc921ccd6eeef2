// Rich text documents on QTextDocument.

#include "richedit/RichTextQt.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>
#include <map>

namespace tessel {

namespace {

QColor ToQColor(const TRichColor& c) {
    return QColor(c.red, c.green, c.blue);
}

QTextCharFormat CharFormat(const TRichDocument& rich, const TRichCharFormat& f) {
    QTextCharFormat out;
    const size_t font = static_cast<size_t>(f.font);
    if (font < rich.fonts.size()) out.setFontFamilies({QString::fromStdString(rich.fonts[font].name)});
    out.setFontPointSize(f.halfPoints / 2.0);
    out.setFontWeight(f.bold ? QFont::Bold : QFont::Normal);
    out.setFontItalic(f.italic);
    out.setFontUnderline(f.underline);
    if (f.color > 0 && static_cast<size_t>(f.color) < rich.colors.size())
        out.setForeground(ToQColor(rich.colors[static_cast<size_t>(f.color)]));
    if (f.highlight > 0 && static_cast<size_t>(f.highlight) < rich.colors.size())
        out.setBackground(ToQColor(rich.colors[static_cast<size_t>(f.highlight)]));
    return out;
}

}  // namespace

QTextBlockFormat BlockFormat(const TRichParagraph& p) {
    QTextBlockFormat out;
    switch (p.align) {
        case TRichAlign::Center:
            out.setAlignment(Qt::AlignHCenter);
            break;
        case TRichAlign::Right:
            out.setAlignment(Qt::AlignRight);
            break;
        case TRichAlign::Justify:
            out.setAlignment(Qt::AlignJustify);
            break;
        default:
            out.setAlignment(Qt::AlignLeft);
    }
    out.setTextIndent(TwipsToLayout(p.firstIndent));
    out.setLeftMargin(TwipsToLayout(p.leftIndent));
    out.setRightMargin(TwipsToLayout(p.rightIndent));
    out.setTopMargin(TwipsToLayout(p.spaceBefore));
    out.setBottomMargin(TwipsToLayout(p.spaceAfter));
    if (p.lineSpacing != 0 && p.lineMultiple)
        out.setLineHeight(p.lineSpacing * 100.0 / 240, QTextBlockFormat::ProportionalHeight);
    else if (p.lineSpacing > 0)
        out.setLineHeight(TwipsToLayout(p.lineSpacing), QTextBlockFormat::MinimumHeight);
    else if (p.lineSpacing < 0)
        out.setLineHeight(TwipsToLayout(-p.lineSpacing), QTextBlockFormat::FixedHeight);
    QList<QTextOption::Tab> tabs;
    for (int t : p.tabs) tabs.append(QTextOption::Tab(TwipsToLayout(t), QTextOption::LeftTab));
    out.setTabPositions(tabs);
    return out;
}

TRichParagraph ParagraphFormat(const QTextBlockFormat& bf) {
    TRichParagraph p;
    const Qt::Alignment a = bf.alignment() & Qt::AlignHorizontal_Mask;
    p.align = a & Qt::AlignHCenter   ? TRichAlign::Center
              : a & Qt::AlignRight   ? TRichAlign::Right
              : a & Qt::AlignJustify ? TRichAlign::Justify
                                     : TRichAlign::Left;
    p.firstIndent = LayoutToTwips(bf.textIndent());
    p.leftIndent = LayoutToTwips(bf.leftMargin());
    p.rightIndent = LayoutToTwips(bf.rightMargin());
    p.spaceBefore = LayoutToTwips(bf.topMargin());
    p.spaceAfter = LayoutToTwips(bf.bottomMargin());
    switch (bf.lineHeightType()) {
        case QTextBlockFormat::ProportionalHeight:
            if (bf.lineHeight() != 100) {
                p.lineSpacing = static_cast<int>(bf.lineHeight() * 240 / 100 + 0.5);
                p.lineMultiple = true;
            }
            break;
        case QTextBlockFormat::MinimumHeight:
            p.lineSpacing = LayoutToTwips(bf.lineHeight());
            break;
        case QTextBlockFormat::FixedHeight:
            p.lineSpacing = -LayoutToTwips(bf.lineHeight());
            break;
        default:
            break;
    }
    for (const QTextOption::Tab& t : bf.tabPositions()) p.tabs.push_back(LayoutToTwips(t.position));
    return p;
}

void FillTextDocument(const TRichDocument& rich, QTextDocument& document) {
    document.clear();
    QTextCursor cursor(&document);
    const size_t count = rich.paragraphs.size();
    QTextListFormat bullets;
    bullets.setStyle(QTextListFormat::ListDisc);
    QTextList* list = nullptr;
    for (size_t i = 0; i < count; ++i) {
        const TRichParagraph& p = rich.paragraphs[i];
        if (i == 0)
            cursor.setBlockFormat(BlockFormat(p));
        else
            cursor.insertBlock(BlockFormat(p));
        if (p.bullet) {
            if (list)
                list->add(cursor.block());
            else
                list = cursor.createList(bullets);
        } else {
            list = nullptr;
        }
        for (const TRichRun& r : p.runs) cursor.insertText(QString::fromStdString(r.text), CharFormat(rich, r.format));
    }
    document.setModified(false);
}

TRichDocument FromTextDocument(const QTextDocument& document) {
    TRichDocument rich;
    std::map<QString, int> fonts;
    auto fontIndex = [&](const QString& name) {
        auto [it, added] = fonts.emplace(name, static_cast<int>(rich.fonts.size()));
        if (added) rich.fonts.push_back({name.toStdString(), 0});
        return it->second;
    };
    rich.colors.push_back({});
    auto colorIndex = [&](const QColor& c) {
        const TRichColor rc{static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
                            static_cast<uint8_t>(c.blue())};
        for (size_t i = 1; i < rich.colors.size(); ++i)
            if (rich.colors[i] == rc) return static_cast<int>(i);
        rich.colors.push_back(rc);
        return static_cast<int>(rich.colors.size() - 1);
    };
    const QString defaultFont = document.defaultFont().family();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        TRichParagraph p = ParagraphFormat(block.blockFormat());
        p.bullet = block.textList() != nullptr;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) continue;
            const QTextCharFormat cf = fragment.charFormat();
            TRichRun run;
            run.text = fragment.text().toStdString();
            const QStringList families = cf.fontFamilies().toStringList();
            run.format.font = fontIndex(families.isEmpty() ? defaultFont : families.front());
            run.format.halfPoints = cf.fontPointSize() > 0 ? static_cast<int>(cf.fontPointSize() * 2 + 0.5) : 24;
            run.format.bold = cf.fontWeight() >= QFont::Bold;
            run.format.italic = cf.fontItalic();
            run.format.underline = cf.fontUnderline();
            if (cf.hasProperty(QTextFormat::ForegroundBrush)) run.format.color = colorIndex(cf.foreground().color());
            if (cf.hasProperty(QTextFormat::BackgroundBrush))
                run.format.highlight = colorIndex(cf.background().color());
            if (!p.runs.empty() && p.runs.back().format == run.format)
                p.runs.back().text += run.text;
            else
                p.runs.push_back(run);
        }
        rich.paragraphs.push_back(p);
    }
    if (rich.fonts.empty()) rich.fonts.push_back({defaultFont.toStdString(), 0});
    return rich;
}

void ScaleParagraphGeometry(QTextDocument& document, double factor) {
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat f = block.blockFormat();
        f.setTextIndent(f.textIndent() * factor);
        f.setLeftMargin(f.leftMargin() * factor);
        f.setRightMargin(f.rightMargin() * factor);
        f.setTopMargin(f.topMargin() * factor);
        f.setBottomMargin(f.bottomMargin() * factor);
        if (f.lineHeightType() == QTextBlockFormat::MinimumHeight ||
            f.lineHeightType() == QTextBlockFormat::FixedHeight)
            f.setLineHeight(f.lineHeight() * factor, f.lineHeightType());
        QList<QTextOption::Tab> tabs = f.tabPositions();
        for (QTextOption::Tab& t : tabs) t.position *= factor;
        f.setTabPositions(tabs);
        cursor.setPosition(block.position());
        cursor.setBlockFormat(f);
    }
    cursor.endEditBlock();
    document.setIndentWidth(document.indentWidth() * factor);
}

}  // namespace tessel
