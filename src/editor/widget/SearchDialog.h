#pragma once

// The editor's Find and Replace dialog: one window for both, kept while the editor lives, so
// that "Find next" and "Find previous" go on with the text last looked for.

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tessel {

class TCustomCodeEdit;

class TSearchDialog : public QDialog {
public:
    explicit TSearchDialog(TCustomCodeEdit* editor, QWidget* parent = nullptr);

    // Shows the dialog for finding, or for replacing, with the selected word as the text.
    void ShowFind() { Show(false); }
    void ShowReplace() { Show(true); }
    // Finds the text last looked for again, forwards or backwards; shows the dialog when
    // nothing was looked for yet.
    void FindAgain(bool backwards);

    // The dialog's controls (tests fill them in and press the buttons).
    QLineEdit* FindBox() const { return find_; }
    QLineEdit* ReplaceBox() const { return replace_; }
    QCheckBox* MatchCaseBox() const { return matchCase_; }
    QCheckBox* WholeWordBox() const { return wholeWord_; }
    QCheckBox* SelectionOnlyBox() const { return selectionOnly_; }
    QPushButton* FindNextButton() const { return findNext_; }
    QPushButton* FindPreviousButton() const { return findPrevious_; }
    QPushButton* ReplaceButton() const { return replaceOne_; }
    QPushButton* ReplaceAllButton() const { return replaceAll_; }
    // What the last search said: "Not found: x", "3 replaced", and so on.
    QString Result() const;

private:
    void Show(bool replacing);
    void Run(unsigned extra);
    unsigned Options() const;

    TCustomCodeEdit* editor_;
    QLineEdit* find_;
    QLineEdit* replace_;
    QLabel* replaceLabel_;
    QCheckBox* matchCase_;
    QCheckBox* wholeWord_;
    QCheckBox* selectionOnly_;
    QPushButton* findNext_;
    QPushButton* findPrevious_;
    QPushButton* replaceOne_;
    QPushButton* replaceAll_;
    QLabel* result_;
};

}  // namespace tessel
