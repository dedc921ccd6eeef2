// The window's print commands on a machine without printers, and the headless print.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QTimer>
#include <filesystem>

#include "WindowTestSupport.h"
#include "app/MainWindow.h"
#include "editor/widget/CustomCodeEdit.h"
#include "engine/Aliases.h"
#include "print/QtPrint.h"
#include "support/RunCommand.h"
#include "toolbars/ToolbarButton.h"

using namespace tessel;

namespace {

class PrintWindowTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        MakeBinDir();
        if (HasPrinter()) GTEST_SKIP() << "this machine has a printer; the test would print on it";
    }
};

TEST_F(PrintWindowTest, WithoutAPrinterPrintAsksForAPdfAndWritesThePages) {
    TForm1 form(Setup());
    form.show();
    form.AliasBox()->setEditText(engine::kSampleAliasName);
    form.Editor()->ReplaceAllText("SELECT *\r\nFROM \"employee.db\"");
    auto* print = form.findChild<TToolbarButton*>("tbbPrint");
    ASSERT_NE(print, nullptr);
    ASSERT_TRUE(print->isEnabled());

    // Cancelled: nothing is written, nothing said to be printed.
    dialogAnswer.reset();
    print->Click();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind, TFileDialogRequest::Save);
    EXPECT_EQ(requests[0].initialDir.toStdString(), form.WorkDir());
    EXPECT_EQ(requests[0].fileName, "Untitled.pdf");
    EXPECT_FALSE(form.StatusText().contains("printed"));

    const std::string pdf = form.WorkDir() + "/query.pdf";
    dialogAnswer = QString::fromStdString(pdf);
    form.findChild<QAction*>("Print1")->trigger();
    ASSERT_TRUE(shown.empty()) << shown.front();
    ASSERT_TRUE(std::filesystem::exists(pdf));
    EXPECT_EQ(form.StatusText().toStdString(), "1 page printed to " + pdf);
    const std::string text = test::RunCommand("pdftotext -layout '" + pdf + "' -");
    EXPECT_NE(text.find("SELECT *"), std::string::npos) << text;
    EXPECT_NE(text.find("FROM \"employee.db\""), std::string::npos) << text;

    // A file that cannot be written is an error shown to the person, and no print.
    dialogAnswer = QString("/nonexistent/dir/q.pdf");
    print->Click();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("/nonexistent/dir/q.pdf"), std::string::npos) << shown[0];
    EXPECT_FALSE(form.StatusText().contains("q.pdf"));
}

TEST_F(PrintWindowTest, ThePreviewShowsThePagesThePrintMakes) {
    TForm1 form(Setup());
    form.show();
    std::string lines;
    for (int i = 0; i < 130; ++i) lines += "SELECT " + std::to_string(i) + ";\r\n";
    form.Editor()->ReplaceAllText(lines);
    int previewPages = -1;
    // Looks for the shown preview until it is there, then closes it.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QPrintPreviewDialog*>(w); dialog && dialog->isVisible()) {
                if (auto* preview = dialog->findChild<QPrintPreviewWidget*>()) previewPages = preview->pageCount();
                dialog->reject();
                closer.stop();
            }
    });
    closer.start(50);
    form.findChild<QAction*>("PrintPreview1")->trigger();
    ASSERT_TRUE(shown.empty()) << shown.front();
    EXPECT_EQ(previewPages, 3);  // 58 lines a page
    EXPECT_EQ(form.PrintJob().PageCount(), 3);
}

TEST_F(PrintWindowTest, TheHeadlessPrintWritesAPdfOrSaysWhyNot) {
    const std::string sql = dirs.Root().File("some.sql");
    test::WriteBytes(sql, "SELECT LAST_NAME\r\nFROM \"employee.db\"\r\n");
    const std::string pdf = dirs.Root().File("out.pdf");
    const std::string tessel = std::string(TESSEL_BIN_DIR) + "/tessel";
    int status = -1;
    const std::string out = test::RunCommand(
        "QT_QPA_PLATFORM=offscreen '" + tessel + "' --print '" + sql + "' --pdf '" + pdf + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(test::RunCommand("pdftotext '" + pdf + "' -").find("FROM \"employee.db\""), std::string::npos);
    const std::string failed = test::RunCommand(
        "QT_QPA_PLATFORM=offscreen '" + tessel + "' --print /nonexistent.sql --pdf '" + pdf + "x' 2>&1", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(failed.find("/nonexistent.sql"), std::string::npos) << failed;
    EXPECT_FALSE(std::filesystem::exists(pdf + "x"));
}

}  // namespace
