#pragma once

// The fixture of the window tests: user folders of their own, the application's error handler
// collecting what it would show, and file dialogs answered by the test.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QTimer>

#include "app/MainWindow.h"
#include "base/ErrorHandler.h"
#include "framework/widgets/FileDialogs.h"
#include "support/TempDir.h"
#include "toolbars/ToolbarButton.h"

namespace tessel::test {

class WindowFixture : public testing::Test {
protected:
    void SetUp() override {
        SetErrorPresenter([this](const std::string& text) { shown.push_back(text); });
        SetFileDialogHook([this](const TFileDialogRequest& request) -> std::optional<QString> {
            requests.push_back(request);
            return dialogAnswer;
        });
        std::filesystem::create_directories(dirs.ConfigDir());
    }
    void TearDown() override {
        SetErrorPresenter(nullptr);
        SetFileDialogHook(nullptr);
    }
    // The window of an executable in bin/ of the test's folders.
    TForm1Setup Setup() const { return {dirs.Root().File("bin/tessel"), dirs.Root().File("bin/tessel.INI")}; }
    // bin/ made beforehand, as a program's folder exists.
    void MakeBinDir() const { std::filesystem::create_directories(dirs.Root().File("bin")); }

    // While the window runs its command: once it is busy and `ready` says so, `act` (which
    // presses Stop, say). Returns once the command has returned.
    void RunWhileBusy(TForm1& form, const std::function<bool()>& ready, const std::function<void()>& act) {
        QTimer timer;
        bool acted = false;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (acted || !form.Busy() || !ready()) return;
            acted = true;
            busyAt = std::chrono::steady_clock::now();
            act();
        });
        timer.start(25);
        started = std::chrono::steady_clock::now();
        form.findChild<TToolbarButton*>("tbbExecute")->Click();
        returned = std::chrono::steady_clock::now();
        EXPECT_TRUE(acted) << "the window never showed that it was busy";
    }
    static double Seconds(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
        return std::chrono::duration<double>(to - from).count();
    }
    std::chrono::steady_clock::time_point started, busyAt, returned;

    ScopedUserDirs dirs;
    std::vector<std::string> shown;
    std::vector<TFileDialogRequest> requests;
    std::optional<QString> dialogAnswer;
};

}  // namespace tessel::test
