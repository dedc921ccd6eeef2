// The rich text holder.

#include "richedit/DbRichEdit.h"

#include <QContextMenuEvent>
#include <cstdint>

#include "richedit/DbRichEditForm.h"
#include "richedit/RichTextQt.h"
#include "richtext/RtfReader.h"

namespace tessel {

TDbCustomRichEdit::TDbCustomRichEdit(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(true);
}

TRichDocument TDbCustomRichEdit::Document() const {
    return FromTextDocument(*document());
}

void TDbCustomRichEdit::SetDocument(const TRichDocument& rich) {
    FillTextDocument(rich, *document());
}

std::vector<std::string> TDbCustomRichEdit::Lines() const {
    return Document().PlainLines();
}

void TDbCustomRichEdit::SetLines(const std::vector<std::string>& lines) {
    SetDocument(TRichDocument::FromLines(lines));
}

void TDbCustomRichEdit::LoadStoredDocument(std::string_view data) {
    const std::string_view rtf = StoredRtf(data);
    if (rtf.empty()) {
        document()->clear();
        return;
    }
    SetDocument(ReadRtf(rtf));
}

std::string TDbCustomRichEdit::StoredDocument() const {
    std::string rtf = WriteRtf(Document());
    rtf.push_back('\0');
    const auto n = static_cast<uint32_t>(rtf.size());
    std::string out;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
    return out + rtf;
}

QMenu* TDbCustomRichEdit::CreatePopupMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setObjectName("PopupMenu");
    const int o = PopupOptions;
    const bool writable = !isReadOnly();
    const bool selection = textCursor().hasSelection();
    auto add = [&](TDbRichEditPopupOption option, const char* name, const QString& caption, auto handler,
                   bool enabled = true) {
        if (!(o & option)) return;
        QAction* a = menu->addAction(caption);
        a->setObjectName(name);
        a->setEnabled(enabled);
        QObject::connect(a, &QAction::triggered, this, handler);
    };
    auto command = [&](TDbRichEditPopupOption option, const char* name, const QString& caption, bool enabled = true) {
        if (OnPopupCommand)
            add(
                option, name, caption, [this, option] { OnPopupCommand(option); }, enabled);
    };
    auto separate = [&] {
        if (!menu->isEmpty() && !menu->actions().back()->isSeparator()) menu->addSeparator();
    };
    if (o & rpoPopupEdit) {
        add(
            rpoPopupEdit, "PopupUndo", "&Undo", [this] { undo(); }, writable && document()->isUndoAvailable());
        separate();
    }
    add(
        rpoPopupCut, "PopupCut", "Cu&t", [this] { cut(); }, writable && selection);
    add(
        rpoPopupCopy, "PopupCopy", "&Copy", [this] { copy(); }, selection);
    add(
        rpoPopupPaste, "PopupPaste", "&Paste", [this] { paste(); }, writable && canPaste());
    separate();
    auto style = [this](auto apply) {
        QTextCharFormat f;
        apply(f, currentCharFormat());
        mergeCurrentCharFormat(f);
    };
    add(
        rpoPopupBold, "PopupBold", "&Bold",
        [style] {
            style([](QTextCharFormat& f, const QTextCharFormat& now) {
                f.setFontWeight(now.fontWeight() >= QFont::Bold ? QFont::Normal : QFont::Bold);
            });
        },
        writable);
    add(
        rpoPopupItalic, "PopupItalic", "&Italic",
        [style] { style([](QTextCharFormat& f, const QTextCharFormat& now) { f.setFontItalic(!now.fontItalic()); }); },
        writable);
    add(
        rpoPopupUnderline, "PopupUnderline", "&Underline",
        [style] {
            style([](QTextCharFormat& f, const QTextCharFormat& now) { f.setFontUnderline(!now.fontUnderline()); });
        },
        writable);
    command(rpoPopupFont, "PopupFont", "&Font...", writable);
    command(rpoPopupBullet, "PopupBullet", "&Bullet Style", writable);
    command(rpoPopupParagraph, "PopupParagraph", "&Paragraph...", writable);
    command(rpoPopupTabs, "PopupTabs", "&Tabs...", writable);
    separate();
    command(rpoPopupFind, "PopupFind", "&Find...", !document()->isEmpty());
    command(rpoPopupReplace, "PopupReplace", "R&eplace...", writable && !document()->isEmpty());
    command(rpoPopupInsertObject, "PopupInsertObject", "Insert &Object...", writable);
    command(rpoPopupMSWordSpellCheck, "PopupSpelling", "&Spelling...", writable && !document()->isEmpty());
    while (!menu->isEmpty() && menu->actions().back()->isSeparator()) menu->removeAction(menu->actions().back());
    if (menu->isEmpty()) {
        delete menu;
        return nullptr;
    }
    return menu;
}

void TDbCustomRichEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = CreatePopupMenu(this);
    if (!menu) return;
    if (OnPopupMenu) OnPopupMenu(menu, event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

bool TDbCustomRichEdit::OpenEditorWindow() {
    TDbRichEditForm form(*this, window());
    return form.exec() == QDialog::Accepted;
}

}  // namespace tessel
