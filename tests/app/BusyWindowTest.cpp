// Long work in the window: after 0.3 s the busy panel tells what is being done and for how
// long; nothing but Stop takes input; Stop ends the work soon and keeps what was done.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>

#include "WindowTestSupport.h"
#include "app/MainWindow.h"
#include "editor/widget/CustomCodeEdit.h"
#include "engine/Aliases.h"
#include "toolbars/ToolbarButton.h"

using namespace tessel;

namespace {

class BusyWindowTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        MakeBinDir();
    }
};

TEST_F(BusyWindowTest, ALongJoinShowsItsProgressAndStopsWithinHalfASecond) {
    TForm1 form(Setup());
    form.show();
    form.AliasBox()->setEditText(engine::kSampleAliasName);
    const std::string text =
        "SELECT COUNT(*)\r\nFROM \"employee.db\" a, \"employee.db\" b, \"employee.db\" c, "
        "\"employee.db\" d, \"employee.db\" e";
    form.Editor()->ReplaceAllText(text);
    QString busyText;
    bool menusOff = false;
    RunWhileBusy(
        form, [] { return true; },
        [&] {
            busyText = form.BusyText();
            menusOff = !form.menuBar()->isEnabled();
            // Typing goes nowhere while the window is busy.
            QTest::keyClicks(form.Editor(), "typed");
            QTest::mouseClick(form.BusyPanel()->findChild<QPushButton*>("StopButton"), Qt::LeftButton);
        });
    EXPECT_GE(Seconds(started, busyAt), 0.3);
    EXPECT_LT(Seconds(busyAt, returned), 0.5) << "Stop took too long";
    EXPECT_TRUE(busyText.contains(" s")) << busyText.toStdString();
    EXPECT_TRUE(menusOff);
    EXPECT_FALSE(form.Busy());
    EXPECT_TRUE(form.menuBar()->isEnabled());
    EXPECT_FALSE(form.BusyPanel()->isVisible());
    // Asked for, so no error: the status bar says it.
    EXPECT_TRUE(shown.empty()) << shown.front();
    EXPECT_TRUE(form.findChild<QStatusBar*>("StatusBar1")->currentMessage().startsWith("Query stopped after "));
    EXPECT_TRUE(busyText.startsWith("Running the query")) << busyText.toStdString();
    EXPECT_EQ(form.Editor()->Lines().Text(), text + "\r\n");  // as it was
}

TEST_F(BusyWindowTest, AStoppedScriptKeepsTheStatementsDoneAndSaysHowManyRan) {
    TForm1 form(Setup());
    form.show();
    form.AliasBox()->setEditText(engine::kSampleAliasName);
    std::string script = "CREATE TABLE \"many.db\" (N INTEGER);\r\n";
    for (int i = 1; i <= 20000; ++i) script += "INSERT INTO \"many.db\" VALUES (" + std::to_string(i) + ");\r\n";
    form.Editor()->ReplaceAllText(script);
    QString busyText;
    RunWhileBusy(
        form, [&] { return form.BusyText().startsWith("Running statement "); },
        [&] {
            busyText = form.BusyText();
            QTest::keyClick(form.BusyPanel(), Qt::Key_Escape);
        });
    EXPECT_TRUE(busyText.contains(" of 20,001")) << busyText.toStdString();
    EXPECT_LT(Seconds(busyAt, returned), 0.5);
    const QString status = form.findChild<QStatusBar*>("StatusBar1")->currentMessage();
    EXPECT_TRUE(status.contains("; stopped at statement ")) << status.toStdString();
    EXPECT_TRUE(shown.empty()) << shown.front();
    // The statements that ran are in the table: as many as the status bar says ran.
    const int ran = status.section(' ', 0, 0).toInt();
    ASSERT_GT(ran, 1);
    form.Editor()->ReplaceAllText("SELECT COUNT(*) FROM \"many.db\"");
    shown.clear();
    form.findChild<TToolbarButton*>("tbbExecute")->Click();
    ASSERT_TRUE(shown.empty()) << shown.front();
    engine::Record rec;
    form.Query().Cursor()->ReadRecord(0, rec);
    EXPECT_EQ(rec[0].i, ran - 1);  // the CREATE TABLE was the first of them
}

}  // namespace
