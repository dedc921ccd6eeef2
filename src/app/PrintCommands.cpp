// The window's print commands: "Print SQL" on the default printer or, without a printer,
// into a PDF file; the print preview of the same job.

#include <QFileInfo>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStatusBar>

#include "app/MainWindow.h"
#include "app/RunSql.h"
#include "base/ErrorHandler.h"
#include "editor/widget/CustomCodeEdit.h"
#include "framework/widgets/FileDialogs.h"
#include "print/QtPrint.h"

namespace tessel {

namespace {

// The job's title: the SQL file's name, or "Untitled" for text never saved.
std::string JobTitle(const QString& sqlFile) {
    return sqlFile.isEmpty() ? std::string("Untitled") : QFileInfo(sqlFile).fileName().toStdString();
}

}  // namespace

void TForm1::tbbPrintClick() {
    CodeEditPrint1.SetLines(MemoPad->Lines().ToVector());
    CodeEditPrint1.Title = JobTitle(openFileName_);
    if (HasPrinter()) {
        PrintOnDefaultPrinter(CodeEditPrint1);
        StatusBar1->showMessage(QString::fromStdString(PrintSummary(CodeEditPrint1.PageCount(), "")));
        return;
    }
    // No printer: the pages go into a PDF file, named by the person.
    TFileDialogRequest request;
    request.kind = TFileDialogRequest::Save;
    request.title = "Print to PDF file";
    request.initialDir = QString::fromStdString(workDir_);
    const QString base = openFileName_.isEmpty() ? QString("Untitled") : QFileInfo(openFileName_).completeBaseName();
    request.fileName = base + ".pdf";
    request.filter = "PDF documents (*.PDF)|*.PDF";
    request.defaultExt = "pdf";
    request.overwritePrompt = true;
    const auto chosen = ExecFileDialog(this, request);
    if (!chosen) return;
    const int pages = PrintToPdf(CodeEditPrint1, chosen->toStdString());
    StatusBar1->showMessage(QString::fromStdString(PrintSummary(pages, chosen->toStdString())));
}

void TForm1::PrintPreviewClick() {
    CodeEditPrint1.SetLines(MemoPad->Lines().ToVector());
    CodeEditPrint1.Title = JobTitle(openFileName_);
    // The preview lays the pages out for the printer the Print command would use.
    const bool printer = HasPrinter();
    QPrinter device(QPrinter::HighResolution);
    if (!printer) SetUpPdfPrinter(device, std::string());
    QPrintPreviewDialog dialog(&device, this);
    dialog.setWindowTitle("Print Preview");
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [&](QPrinter* p) {
        RunGuarded([&] {
            TQtPrintTarget target(*p, printer ? DefaultPrinterGeometry() : std::nullopt);
            CodeEditPrint1.Print(target);
        });
    });
    dialog.exec();
}

}  // namespace tessel
