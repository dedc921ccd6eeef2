#pragma once

// The editor window of a rich text holder: its document in an editor with a menu, a tool bar
// and a status bar as the holder's options ask, printing and page setup, Escape to close.

#include <QDialog>
#include <QPageLayout>
#include <memory>

class QAction;
class QLabel;
class QMenuBar;
class QStatusBar;
class QTextEdit;
class QToolBar;

namespace tessel {

class TDbCustomRichEdit;

class TDbRichEditForm : public QDialog {
public:
    TDbRichEditForm(TDbCustomRichEdit& holder, QWidget* parent = nullptr);

    QTextEdit* Editor() const { return editor_; }
    QMenuBar* MenuBar() const { return menu_; }
    QToolBar* ToolBar() const { return tools_; }
    QStatusBar* StatusBar() const { return status_; }
    QAction* Action(const char* name) const;

    // Prints the document with the holder's margins: on the default printer, or without one
    // into a PDF file whose name it asks for. Returns the file written ("" for a printer).
    std::string PrintDocument();
    void PageSetup();
    // Puts the window's text into the holder and closes.
    void SaveAndExit();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void UpdateStatus();

    TDbCustomRichEdit& holder_;
    QTextEdit* editor_ = nullptr;
    QMenuBar* menu_ = nullptr;
    QToolBar* tools_ = nullptr;
    QStatusBar* status_ = nullptr;
    QLabel* position_ = nullptr;
    QPageLayout layout_;
};

}  // namespace tessel
