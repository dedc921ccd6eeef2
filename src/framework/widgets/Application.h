#pragma once

// The application object.

#include <QApplication>

namespace tessel {

// The application object. Every event handler and slot runs inside its guard: a failure that
// a command does not catch ends that command and is shown by the application's error handler
// (a message box titled with the application title, an error icon and OK); a silent abort
// shows nothing; the program goes on.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Makes the error handler show failures in a message box (the default for the program;
    // tests may install their own presenter instead).
    static void InstallMessageBoxPresenter();
};

// Shows the failure text the way the application's handler does.
void ShowErrorMessageBox(const QString& text);

}  // namespace tessel
