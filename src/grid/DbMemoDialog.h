#pragma once

// The memo window: a dialog that shows (and, unless view-only, edits) the text of a memo
// field, or a list of lines when no field is bound.

#include <QDialog>
#include <QFont>
#include <functional>
#include <string>

#include "base/StringList.h"
#include "grid/DbGridTypes.h"

class QPlainTextEdit;
class QPushButton;

namespace tessel {

class TDataSource;

// The window itself.
class TDbMemoDlg : public QDialog {
    Q_OBJECT

public:
    TDbMemoDlg(bool viewOnly, bool wordWrap, bool sizeable, QWidget* parent = nullptr);
    QPlainTextEdit* Memo() const { return memo_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }
    bool ViewOnly() const { return viewOnly_; }
    bool Changed() const { return changed_; }
    // Asked when the window closes without OK after a change; true: close.
    std::function<bool()> ConfirmDiscard;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    void Layout();
    QPlainTextEdit* memo_;
    QPushButton* ok_;
    QPushButton* cancel_;
    bool viewOnly_;
    bool changed_ = false;
};

class TDbMemoDialog {
public:
    TDataSource* DataSource = nullptr;
    std::string DataField;
    QFont Font;
    TDbMemoAttributes MemoAttributes{mSizeable, mWordWrap};
    std::string Caption;
    TStringList Lines;
    int DlgLeft = 0, DlgTop = 0, DlgWidth = 561, DlgHeight = 396;
    std::function<void(TDbMemoDialog&, TDbMemoDlg&)> OnInitDialog;
    std::function<void(TDbMemoDialog&, bool ok)> OnCloseDialog;

    // Shows the window modally; true when it was closed with OK. An editable window closed
    // with OK puts the data set into edit state and gives the field the text (no post).
    bool Execute(QWidget* parent = nullptr);
    // Builds the window without showing it (the caller runs it).
    TDbMemoDlg* CreateWindow(QWidget* parent);
    // The result of a window built by CreateWindow and closed.
    bool Finish(TDbMemoDlg& dlg, bool ok);
    // Whether the bound field's window is view-only.
    bool ViewOnly() const;
};

}  // namespace tessel
