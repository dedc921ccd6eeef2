#pragma once

// The rich text holder: a rich text control with its document stored as RTF, plain lines in
// and out, print settings, and an editor window it opens on its document.

#include <QColor>
#include <QMenu>
#include <QTextEdit>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "richedit/RichPrint.h"
#include "richtext/RtfDocument.h"

namespace tessel {

enum TDbRichEditOption {
    reoShowLoad = 1 << 0,
    reoShowSaveAs = 1 << 1,
    reoShowSaveExit = 1 << 2,
    reoShowPrint = 1 << 3,
    reoShowPageSetup = 1 << 4,
    reoShowFormatBar = 1 << 5,
    reoShowToolBar = 1 << 6,
    reoShowStatusBar = 1 << 7,
    reoShowHints = 1 << 8,
    reoShowRuler = 1 << 9,
    reoShowInsertObject = 1 << 10,
    reoCloseOnEscape = 1 << 11,
    reoFlatButtons = 1 << 12,
    reoShowSpellCheck = 1 << 13,
    reoShowMainMenuIcons = 1 << 14,
    reoShowJustifyButton = 1 << 15,
    reoUseBackColor = 1 << 16,
    reoNoConfirmation = 1 << 17,
};
using TDbRichEditOptions = int;
inline constexpr TDbRichEditOptions kDefaultRichEditOptions =
    reoShowSaveExit | reoShowPrint | reoShowPageSetup | reoShowFormatBar | reoShowToolBar | reoShowStatusBar |
    reoShowHints | reoShowRuler | reoShowInsertObject | reoCloseOnEscape | reoFlatButtons | reoShowSpellCheck |
    reoShowMainMenuIcons;

enum TDbRichEditPopupOption {
    rpoPopupEdit = 1 << 0,
    rpoPopupCut = 1 << 1,
    rpoPopupCopy = 1 << 2,
    rpoPopupPaste = 1 << 3,
    rpoPopupBold = 1 << 4,
    rpoPopupItalic = 1 << 5,
    rpoPopupUnderline = 1 << 6,
    rpoPopupFont = 1 << 7,
    rpoPopupBullet = 1 << 8,
    rpoPopupParagraph = 1 << 9,
    rpoPopupTabs = 1 << 10,
    rpoPopupFind = 1 << 11,
    rpoPopupReplace = 1 << 12,
    rpoPopupInsertObject = 1 << 13,
    rpoPopupMSWordSpellCheck = 1 << 14,
};
using TDbRichEditPopupOptions = int;
inline constexpr TDbRichEditPopupOptions kDefaultPopupOptions =
    rpoPopupEdit | rpoPopupCut | rpoPopupCopy | rpoPopupPaste | rpoPopupFont | rpoPopupBullet | rpoPopupParagraph |
    rpoPopupTabs | rpoPopupFind | rpoPopupReplace | rpoPopupInsertObject | rpoPopupMSWordSpellCheck;

enum class TDbMeasurementUnits { muInches, muCentimeters };

struct TDbPrintMargins {
    double Top = 1, Bottom = 1, Left = 1, Right = 1;  // in the holder's MeasurementUnits
};

struct TDbFormPosition {
    int Left = 0, Top = 0, Width = 0, Height = 0;
};

class TDbCustomRichEdit : public QTextEdit {
public:
    explicit TDbCustomRichEdit(QWidget* parent = nullptr);

    // The document as plain lines (a final empty paragraph is no line); writing replaces it.
    std::vector<std::string> Lines() const;
    void SetLines(const std::vector<std::string>& lines);
    // The document as form data keeps it: a 4-byte length, then RTF (with a closing NUL).
    void LoadStoredDocument(std::string_view data);
    std::string StoredDocument() const;
    TRichDocument Document() const;
    void SetDocument(const TRichDocument& document);

    bool WordWrap() const { return lineWrapMode() != NoWrap; }
    void SetWordWrap(bool wrap) { setLineWrapMode(wrap ? WidgetWidth : NoWrap); }
    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool readOnly) { setReadOnly(readOnly); }

    // The pop-up menu from PopupOptions: cut, copy, paste and the styles work on the control
    // itself; the commands of the editor window (font, bullets, paragraph, tabs, find,
    // replace, spelling) are offered when OnPopupCommand carries them out. Null when the
    // options leave nothing.
    QMenu* CreatePopupMenu(QWidget* parent);
    TDbRichEditPopupOptions PopupOptions = kDefaultPopupOptions;
    std::function<void(TDbRichEditPopupOption)> OnPopupCommand;
    // Called with the menu before it shows, and the point it was asked for (spelling
    // suggestions go first).
    std::function<void(QMenu*, QPoint)> OnPopupMenu;

    std::string EditorCaption = "Edit Rich Text";
    TDbRichEditOptions EditorOptions = kDefaultRichEditOptions;
    TDbFormPosition EditorPosition;
    TDbMeasurementUnits MeasurementUnits = TDbMeasurementUnits::muInches;
    TDbPrintMargins PrintMargins;
    std::string PrintJobName;
    TDbRTFHeaderFooter PrintHeader, PrintFooter;
    TPrintBandEvent OnPrintHeader, OnPrintFooter;
    QColor HighlightColor = QColor(255, 255, 0);

    // Opens the editor window on the document (modal); an editable document takes the
    // window's changes when it is saved and closed. Returns whether it was.
    bool OpenEditorWindow();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

public:
    // A margin of PrintMargins in millimetres.
    double MarginMM(double value) const {
        return MeasurementUnits == TDbMeasurementUnits::muInches ? value * 25.4 : value * 10;
    }
};

class TDbRichEdit : public TDbCustomRichEdit {
public:
    using TDbCustomRichEdit::TDbCustomRichEdit;
};

}  // namespace tessel
