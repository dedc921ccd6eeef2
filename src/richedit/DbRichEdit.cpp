// The rich text holder.

#include "richedit/DbRichEdit.h"

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

bool TDbCustomRichEdit::OpenEditorWindow() {
    TDbRichEditForm form(*this, window());
    return form.exec() == QDialog::Accepted;
}

}  // namespace tessel
