// The application object and its guard around every event.

#include "framework/widgets/Application.h"

#include <QMessageBox>

#include "base/ErrorHandler.h"

namespace tessel {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Tessel");
    setApplicationDisplayName("Tessel");
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    RunGuarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void ShowErrorMessageBox(const QString& text) {
    QMessageBox box(QMessageBox::Critical, "Tessel", text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void TApplication::InstallMessageBoxPresenter() {
    SetErrorPresenter([](const std::string& text) { ShowErrorMessageBox(QString::fromStdString(text)); });
}

}  // namespace tessel
