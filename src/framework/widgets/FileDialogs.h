#pragma once

// Open and save dialogs.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace tessel {

// A filter written as "Description (*.X)|*.X|Other (*.Y)|*.Y": pairs of a shown text and
// ';'-separated patterns.
struct TDialogFilter {
    QString description;
    QStringList patterns;
};
std::vector<TDialogFilter> ParseDialogFilter(const QString& filter);

// Does the file name match one of the patterns, without regard to case?
bool MatchesDialogFilter(const QString& fileName, const TDialogFilter& filter);

struct TFileDialogRequest {
    enum Kind { Open, Save } kind = Open;
    QString title;
    QString initialDir;
    QString fileName;    // preselected file
    QString filter;      // "A (*.X)|*.X" form
    QString defaultExt;  // appended (with '.') to a chosen name that has no extension
    bool overwritePrompt = false;
};

// Shows an open or save dialog; the chosen file's full path, or nothing when cancelled.
// Patterns match without regard to case, so "query.sql" shows under "*.SQL".
std::optional<QString> ExecFileDialog(QWidget* parent, const TFileDialogRequest& request);

// Replaces the dialogs (for tests and scripted runs); an empty function restores them.
using TFileDialogHook = std::function<std::optional<QString>(const TFileDialogRequest&)>;
void SetFileDialogHook(TFileDialogHook hook);

}  // namespace tessel
