// Open and save dialogs with the filter strings of the tools.

#include "framework/widgets/FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

namespace tessel {

namespace {

TFileDialogHook& Hook() {
    static TFileDialogHook hook;
    return hook;
}

}  // namespace

std::vector<TDialogFilter> ParseDialogFilter(const QString& filter) {
    std::vector<TDialogFilter> filters;
    const QStringList parts = filter.split('|');
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters.push_back({parts[i], parts[i + 1].split(';', Qt::SkipEmptyParts)});
    return filters;
}

bool MatchesDialogFilter(const QString& fileName, const TDialogFilter& filter) {
    for (const QString& pattern : filter.patterns) {
        const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern.trimmed()),
                                    QRegularExpression::CaseInsensitiveOption);
        if (re.match(fileName).hasMatch()) return true;
    }
    return false;
}

void SetFileDialogHook(TFileDialogHook hook) {
    Hook() = std::move(hook);
}

std::optional<QString> ExecFileDialog(QWidget* parent, const TFileDialogRequest& request) {
    std::optional<QString> chosen;
    if (Hook()) {
        chosen = Hook()(request);
    } else {
        QFileDialog dialog(parent, request.title, request.initialDir);
        // Qt's own dialog: the platform one may match patterns with case.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(request.kind == TFileDialogRequest::Save ? QFileDialog::AcceptSave
                                                                      : QFileDialog::AcceptOpen);
        dialog.setFileMode(request.kind == TFileDialogRequest::Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
        QStringList nameFilters;
        for (const TDialogFilter& f : ParseDialogFilter(request.filter))
            nameFilters << f.description + " (" + f.patterns.join(' ') + ")";
        dialog.setNameFilters(nameFilters);
        // Without QDir::CaseSensitive the dialog's model matches the name filters without case.
        dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
        if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().first();
    }
    if (!chosen || chosen->isEmpty()) return std::nullopt;
    QString path = QFileInfo(*chosen).absoluteFilePath();
    if (request.kind == TFileDialogRequest::Save && !request.defaultExt.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += "." + request.defaultExt;
    return path;
}

}  // namespace tessel
