#pragma once

// The fixture of the window tests: user folders of their own, the application's error handler
// collecting what it would show, and file dialogs answered by the test.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "base/ErrorHandler.h"
#include "framework/widgets/FileDialogs.h"
#include "support/TempDir.h"

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

    ScopedUserDirs dirs;
    std::vector<std::string> shown;
    std::vector<TFileDialogRequest> requests;
    std::optional<QString> dialogAnswer;
};

}  // namespace tessel::test
