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
#include <string>

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

class TDbRichEditForm : public QDialog {
public:
    TDbRichEditForm(TDbCustomRichEdit& holder, QWidget* parent = nullptr);

    QTextEdit* Editor() const { return editor_; }
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

    // Asks a question with Yes/No/Cancel (the tests answer it).
    static std::function<QMessageBox::StandardButton(QWidget*, const QString&)> Ask;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

private:
    void BuildMenus();
    void BuildBars();
    void SyncWithSelection();
    void MergeFormat(const QTextCharFormat& format);
    void FindDialog(bool replace);

    TDbCustomRichEdit& holder_;
    int options_;
    bool readOnly_;
    bool saving_ = false;
    QTextEdit* editor_ = nullptr;
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
