#pragma once

// The editor window of a rich text holder: its document in an editor with the menus, tool
// bar, format bar and status bar the holder's options leave, find and replace, loading and
// saving RTF or text, printing and page setup, and the closing rules (ask before losing
// changes, Escape in a read-only window).

#include <QDialog>
#include <QMessageBox>
#include <QPageLayout>
#include <QTextCharFormat>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "richedit/KeyboardLocks.h"
#include "richtext/RtfDocument.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class QTextEdit;
class QToolBar;
class QToolButton;

namespace tessel {

class TDbCustomRichEdit;
class TDbRichEdit;
class TDbRulerPanel;
class TSpellChecker;
class TSpellHighlighter;

class TDbRichEditForm : public QDialog {
public:
    TDbRichEditForm(TDbCustomRichEdit& holder, QWidget* parent = nullptr);

    // The editing control RichEdit1: of the holder's class, with the holder's print settings
    // (page setup changes them; the holder takes them on save and exit).
    TDbRichEdit* Editor() const { return editor_; }
    TDbRulerPanel* Ruler() const { return ruler_; }
    QMenuBar* MenuBar() const { return menu_; }
    QToolBar* ToolBar() const { return tools_; }
    QToolBar* FormatBar() const { return format_; }
    QStatusBar* StatusBar() const { return status_; }
    QComboBox* FontNameCombo() const { return fontName_; }
    QComboBox* FontSizeCombo() const { return fontSize_; }
    // A menu item or button's action by its name ("Print1", "BoldButton", ...); null when the
    // options leave it out.
    QAction* Action(const char* name) const;
    QMenu* Menu(const char* name) const;
    // The options in effect (a read-only window drops the editing ones).
    int Options() const { return options_; }

    // Prints the document with the holder's margins: on the default printer, or without one
    // into a PDF file whose name it asks for. Returns the file written ("" for a printer).
    std::string PrintDocument();
    void PageSetup();
    void SaveAndExit();
    // Searches forward (or backward) from the caret; false when the text is not found.
    bool Find(const QString& text, bool matchCase, bool wholeWord, bool backward = false);
    // Replaces every occurrence; returns how many.
    int ReplaceAll(const QString& text, const QString& with, bool matchCase, bool wholeWord);
    void LoadFile(const QString& path);
    void SaveFile(const QString& path);
    // The paragraph and tab dialogs on the selected paragraphs.
    void ParagraphDialog();
    void TabsDialog();
    // Applies indents, spacing and alignment (not tab stops) to the selected paragraphs.
    void ApplyParagraph(const TRichParagraph& paragraph);
    void ApplyTabs(const std::vector<int>& twips);
    // "Check spelling" from the caret; says so when no dictionary is installed.
    void CheckSpelling();
    // The dictionary in use (null without one, or when spelling is not offered).
    std::shared_ptr<TSpellChecker> SpellChecker() const { return speller_; }
    // Spelling suggestions for the word at a point of the editor, put first in its menu.
    void AddSuggestions(QMenu* menu, QPoint at);

    // Asks a question with Yes/No/Cancel (the tests answer it).
    static std::function<QMessageBox::StandardButton(QWidget*, const QString&)> Ask;
    // Tells the user something (the tests read it).
    static std::function<void(QWidget*, const QString&)> Tell;
    // The state of the lock keys for the CAP and NUM panels.
    static std::function<TKeyboardLocks()> KeyboardLocks;
    void UpdateLockPanels();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void BuildMenus();
    void BuildBars();
    void SyncWithSelection();
    void MergeFormat(const QTextCharFormat& format);
    void FindDialog(bool replace);
    void FontDialog();
    void ToggleBullets(bool on);
    void LayOutRuler();

    TDbCustomRichEdit& holder_;
    int options_;
    bool readOnly_;
    bool saving_ = false;
    TDbRichEdit* editor_ = nullptr;
    TDbRulerPanel* ruler_ = nullptr;
    std::shared_ptr<TSpellChecker> speller_;
    TSpellHighlighter* spellMarks_ = nullptr;
    QMenuBar* menu_ = nullptr;
    QToolBar* tools_ = nullptr;
    QToolBar* format_ = nullptr;
    QStatusBar* status_ = nullptr;
    QComboBox* fontName_ = nullptr;
    QComboBox* fontSize_ = nullptr;
    QLabel* hint_ = nullptr;
    QLabel* caps_ = nullptr;
    QLabel* num_ = nullptr;
    QPageLayout layout_;
    QString lastSearch_;
    bool lastMatchCase_ = false, lastWholeWord_ = false;
};

}  // namespace tessel
