// The memo window the grid opens for memo cells.

#include "grid/DbMemoDialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "framework/data/DataSource.h"
#include "framework/data/Fields.h"
#include "grid/DbIntl.h"

namespace tessel {

namespace {

QString Plain(const std::string& caption) {
    QString s = QString::fromStdString(caption);
    s.remove(QLatin1Char('&'));
    return s;
}

}  // namespace

TDbMemoDlg::TDbMemoDlg(bool viewOnly, bool wordWrap, bool sizeable, QWidget* parent)
    : QDialog(parent), viewOnly_(viewOnly) {
    setObjectName("TDbMemoDlg");
    setWindowTitle("Dialog");
    resize(561, 395);
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("Memo");
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo_->setTabChangesFocus(false);
    memo_->setLineWrapMode(wordWrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    memo_->setReadOnly(viewOnly);
    memo_->installEventFilter(this);
    const int dpi = std::max(1, logicalDpiX());
    auto px = [dpi](int v) { return v * dpi / 96; };
    ok_ = new QPushButton(Plain(DbIntl().BtnOKCaption), this);
    cancel_ = new QPushButton(Plain(DbIntl().BtnCancelCaption), this);
    const int h = px(DbIntl().OKCancelBitmapped ? 27 : 24);
    ok_->resize(px(77), h);
    cancel_->resize(px(77), h);
    ok_->setDefault(true);
    cancel_->setVisible(!viewOnly);
    ok_->setEnabled(viewOnly);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(memo_, &QPlainTextEdit::textChanged, this, [this] {
        changed_ = true;
        ok_->setEnabled(true);
    });
    if (!sizeable) setFixedSize(size());
    Layout();
}

void TDbMemoDlg::Layout() {
    // Memo at (6, 6) filling the client area above a 17-pixel gap and the button row.
    const int bw = ok_->width(), bh = ok_->height();
    memo_->setGeometry(6, 6, std::max(10, width() - 12), std::max(10, height() - 6 - 17 - bh - 10));
    const int y = memo_->geometry().bottom() + 1 + 17 - 7;
    const int right = memo_->geometry().right() + 1;
    if (!viewOnly_) {
        cancel_->move(right - bw, y);
        ok_->move(right - 2 * bw - 20, y);
    } else {
        ok_->move(memo_->x() + (memo_->width() - bw) / 2, y);
    }
}

void TDbMemoDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Layout();
}

bool TDbMemoDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == memo_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if ((enter && (key->modifiers() & Qt::ControlModifier)) || key->key() == Qt::Key_F2) {
            accept();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            reject();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TDbMemoDlg::reject() {
    if (!viewOnly_ && changed_) {
        const bool close = ConfirmDiscard
                               ? ConfirmDiscard()
                               : QMessageBox::question(this, windowTitle(),
                                                       QString::fromStdString(DbIntl().UserMessages.MemoChangesWarning),
                                                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        if (!close) return;
    }
    QDialog::reject();
}

// ------------------------------------------------------------------------ the component

bool TDbMemoDialog::ViewOnly() const {
    if (MemoAttributes.Has(mViewOnly)) return true;
    TDataSet* ds = DataSource ? DataSource->DataSet() : nullptr;
    TField* f = ds && !DataField.empty() ? ds->FindField(DataField) : nullptr;
    return f && !f->CanModify();
}

TDbMemoDlg* TDbMemoDialog::CreateWindow(QWidget* parent) {
    auto* dlg = new TDbMemoDlg(ViewOnly(), MemoAttributes.Has(mWordWrap), MemoAttributes.Has(mSizeable), parent);
    dlg->setWindowTitle(QString::fromStdString(Caption));
    dlg->Memo()->setFont(Font);
    TDataSet* ds = DataSource ? DataSource->DataSet() : nullptr;
    TField* f = ds && !DataField.empty() ? ds->FindField(DataField) : nullptr;
    std::string text;
    if (f) {
        auto* blob = dynamic_cast<TBlobField*>(f);
        text = blob ? blob->Data() : f->AsString();
    } else {
        text = Lines.Text();
    }
    // One block of text in one call: a memo of megabytes is laid out as it scrolls into view.
    dlg->Memo()->setPlainText(QString::fromStdString(text));
    dlg->Memo()->document()->setModified(false);
    dlg->OkButton()->setEnabled(dlg->ViewOnly());
    if (DlgLeft == 0 && DlgTop == 0) {
        dlg->resize(DlgWidth, DlgHeight);
    } else if (DlgLeft > 0 || DlgTop > 0) {
        dlg->setGeometry(DlgLeft, DlgTop, DlgWidth, DlgHeight);
    } else if (QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        dlg->move(area.center() - QPoint(dlg->width() / 2, dlg->height() / 2));
    }
    if (OnInitDialog) OnInitDialog(*this, *dlg);
    return dlg;
}

bool TDbMemoDialog::Finish(TDbMemoDlg& dlg, bool ok) {
    if (OnCloseDialog) OnCloseDialog(*this, ok);
    if (!ok || dlg.ViewOnly()) return ok;
    const std::string text = dlg.Memo()->toPlainText().toStdString();
    TDataSet* ds = DataSource ? DataSource->DataSet() : nullptr;
    TField* f = ds && !DataField.empty() ? ds->FindField(DataField) : nullptr;
    if (f) {
        if (ds->State() != TDataSetState::dsEdit && ds->State() != TDataSetState::dsInsert) ds->Edit();
        f->SetAsString(text);
    } else {
        Lines.SetText(text);
    }
    return ok;
}

bool TDbMemoDialog::Execute(QWidget* parent) {
    std::unique_ptr<TDbMemoDlg> dlg(CreateWindow(parent));
    const bool ok = dlg->exec() == QDialog::Accepted;
    return Finish(*dlg, ok);
}

}  // namespace tessel
