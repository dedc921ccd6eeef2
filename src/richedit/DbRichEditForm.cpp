// The rich text editor window.

#include "richedit/DbRichEditForm.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
#include <QTextEdit>
#include <QToolBar>
#include <QVBoxLayout>

#include "base/ErrorHandler.h"
#include "base/Exceptions.h"
#include "framework/widgets/FileDialogs.h"
#include "print/QtPrint.h"
#include "richedit/DbRichEdit.h"

namespace tessel {

TDbRichEditForm::TDbRichEditForm(TDbCustomRichEdit& holder, QWidget* parent) : QDialog(parent), holder_(holder) {
    setObjectName("DbRichEditForm");
    setWindowTitle(QString::fromStdString(holder.EditorCaption));
    const int options = holder.EditorOptions;
    const bool readOnly = holder.ReadOnly();
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    menu_ = new QMenuBar(this);
    box->setMenuBar(menu_);
    editor_ = new QTextEdit(this);
    editor_->setObjectName("Editor");
    editor_->setDocument(holder.document()->clone(editor_));
    editor_->setReadOnly(readOnly);
    editor_->setLineWrapMode(QTextEdit::WidgetWidth);

    auto add = [this](QMenu* m, const char* name, const QString& caption, QKeySequence key, auto handler) {
        QAction* a = m->addAction(caption);
        a->setObjectName(name);
        if (!key.isEmpty()) a->setShortcut(key);
        connect(a, &QAction::triggered, this, [handler] { RunGuarded(handler); });
        return a;
    };
    QMenu* file = menu_->addMenu("&File");
    file->setObjectName("File");
    if (options & reoShowPrint) add(file, "Print", "&Print...", QKeySequence::Print, [this] { PrintDocument(); });
    if (options & reoShowPageSetup) add(file, "PageSetup", "Page Set&up...", QKeySequence(), [this] { PageSetup(); });
    if ((options & reoShowSaveExit) && !readOnly)
        add(file, "SaveExit", "&Save and Exit", QKeySequence("Ctrl+S"), [this] { SaveAndExit(); });
    if (!file->isEmpty()) file->addSeparator();
    add(file, "Exit", "E&xit", QKeySequence(), [this] { reject(); });
    QMenu* edit = menu_->addMenu("&Edit");
    edit->setObjectName("Edit");
    QAction* undo = add(edit, "Undo", "&Undo", QKeySequence::Undo, [this] { editor_->undo(); });
    QAction* redo = add(edit, "Redo", "&Redo", QKeySequence::Redo, [this] { editor_->redo(); });
    edit->addSeparator();
    QAction* cut = add(edit, "Cut", "Cu&t", QKeySequence::Cut, [this] { editor_->cut(); });
    add(edit, "Copy", "&Copy", QKeySequence::Copy, [this] { editor_->copy(); });
    QAction* paste = add(edit, "Paste", "&Paste", QKeySequence::Paste, [this] { editor_->paste(); });
    add(edit, "SelectAll", "Select &All", QKeySequence::SelectAll, [this] { editor_->selectAll(); });
    for (QAction* a : {undo, redo, cut, paste}) a->setEnabled(!readOnly);

    if (options & reoShowToolBar) {
        tools_ = new QToolBar(this);
        tools_->setObjectName("ToolBar");
        if (QAction* print = Action("Print")) tools_->addAction(print);
        tools_->addAction(Action("Copy"));
        if (!readOnly) tools_->addActions({Action("Cut"), Action("Paste"), Action("Undo")});
        box->addWidget(tools_);
    }
    box->addWidget(editor_, 1);
    if (options & reoShowStatusBar) {
        status_ = new QStatusBar(this);
        status_->setObjectName("StatusBar");
        position_ = new QLabel(status_);
        status_->addWidget(position_);
        if (readOnly) status_->addPermanentWidget(new QLabel("Read only", status_));
        box->addWidget(status_);
        connect(editor_, &QTextEdit::cursorPositionChanged, this, [this] { UpdateStatus(); });
        UpdateStatus();
    }
    layout_ =
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                    QMarginsF(holder.MarginMM(holder.PrintMargins.Left), holder.MarginMM(holder.PrintMargins.Top),
                              holder.MarginMM(holder.PrintMargins.Right), holder.MarginMM(holder.PrintMargins.Bottom)),
                    QPageLayout::Millimeter);
    // Bounds: a width or height of 0 keeps the designed size; Left or Top below 1 centres.
    const TDbFormPosition& p = holder.EditorPosition;
    resize(p.Width > 0 ? p.Width : 640, p.Height > 0 ? p.Height : 480);
    if (p.Left >= 1 && p.Top >= 1) {
        move(p.Left, p.Top);
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

QAction* TDbRichEditForm::Action(const char* name) const {
    return findChild<QAction*>(name);
}

void TDbRichEditForm::UpdateStatus() {
    if (!position_) return;
    const QTextCursor c = editor_->textCursor();
    position_->setText(QString("Line %1, column %2").arg(c.blockNumber() + 1).arg(c.positionInBlock() + 1));
}

void TDbRichEditForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && !(holder_.EditorOptions & reoCloseOnEscape)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TDbRichEditForm::SaveAndExit() {
    holder_.setDocument(editor_->document()->clone(&holder_));
    accept();
}

void TDbRichEditForm::PageSetup() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(layout_);
    QPageSetupDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted) layout_ = printer.pageLayout();
}

std::string TDbRichEditForm::PrintDocument() {
    QPrinter printer(QPrinter::HighResolution);
    std::string pdf;
    if (!HasPrinter()) {
        TFileDialogRequest request;
        request.kind = TFileDialogRequest::Save;
        request.title = "Print to PDF file";
        request.fileName = "document.pdf";
        request.filter = "PDF documents (*.PDF)|*.PDF";
        request.defaultExt = "pdf";
        request.overwritePrompt = true;
        const auto chosen = ExecFileDialog(this, request);
        if (!chosen) return std::string();
        pdf = chosen->toStdString();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(*chosen);
    }
    printer.setPageLayout(layout_);
    printer.setDocName(
        QString::fromStdString(holder_.PrintJobName.empty() ? holder_.EditorCaption : holder_.PrintJobName));
    editor_->document()->print(&printer);
    if (!pdf.empty() &&
        (!QFileInfo::exists(QString::fromStdString(pdf)) || QFileInfo(QString::fromStdString(pdf)).size() == 0))
        throw Exception("Cannot write the file " + pdf);
    return pdf;
}

}  // namespace tessel
