// Entry point of the window program:
//   tessel [FILE.sql | TABLE.db | TABLE.dbf]   opens a SQL file, or a table's folder and records
//   tessel --version
//   tessel --print FILE.sql --pdf OUT.pdf
// prints a SQL file through the window's print job into a PDF file and exits (0, or 1 with
// the message on standard error); with QT_QPA_PLATFORM=offscreen it needs no display.

#include <QFileInfo>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "about/AboutDialog.h"
#include "about/VersionInfo.h"
#include "app/MainWindow.h"
#include "base/ErrorHandler.h"
#include "base/StringList.h"
#include "framework/widgets/Application.h"
#include "highlight/SQLHighlighter.h"
#include "print/QtPrint.h"

namespace {

int PrintFile(const std::string& sqlFile, const std::string& pdf) {
    try {
        tessel::TStringList lines;
        lines.LoadFromFile(sqlFile);
        tessel::TSQLHighlighter highlighter;
        highlighter.SetSQLDialect(tessel::sqlSybase);
        tessel::TCodeEditPrint job;
        job.Font = tessel::TPrintFont::FromHeight("Courier New", -13);
        job.SetHighlighter(&highlighter);
        job.Title = QFileInfo(QString::fromStdString(sqlFile)).fileName().toStdString();
        job.SetLines(lines.ToVector());
        const int pages = tessel::PrintToPdf(job, pdf);
        std::cout << pages << (pages == 1 ? " page" : " pages") << " printed to " << pdf << "\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "tessel: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string printFile, pdf, open;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "Tessel " << tessel::BuildVersion().toStdString() << "\n";
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::cout << "Usage: tessel [FILE.sql | TABLE.db | TABLE.dbf]\n"
                         "       tessel --print FILE.sql --pdf OUT.pdf\n"
                         "       tessel --version\n";
            return 0;
        }
        if (std::strcmp(argv[i], "--print") == 0 && i + 1 < argc)
            printFile = argv[++i];
        else if (std::strcmp(argv[i], "--pdf") == 0 && i + 1 < argc)
            pdf = argv[++i];
        else if (argv[i][0] != '-' && open.empty())
            open = argv[i];
    }
    tessel::TApplication app(argc, argv);
    app.setApplicationVersion(tessel::BuildVersion());
    app.setWindowIcon(tessel::TesselIcon());
    app.setDesktopFileName("tessel");
    if (!printFile.empty() || !pdf.empty()) {
        if (printFile.empty() || pdf.empty()) {
            std::cerr << "tessel: --print FILE.sql needs --pdf OUT.pdf (and the other way round)\n";
            return 1;
        }
        return PrintFile(printFile, pdf);
    }
    tessel::TApplication::InstallMessageBoxPresenter();
    tessel::TForm1 form;
    form.show();
    if (!open.empty())
        tessel::RunGuarded(
            [&] { form.OpenFromCommandLine(QFileInfo(QString::fromLocal8Bit(open.c_str())).absoluteFilePath()); });
    return app.exec();
}
