// The window's about box, icon and link label, and files named on the command line.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "WindowTestSupport.h"
#include "about/AboutDialog.h"
#include "about/LinkLabel.h"
#include "about/VersionInfo.h"
#include "app/MainWindow.h"
#include "editor/widget/CustomCodeEdit.h"
#include "engine/Aliases.h"
#include "engine/Engine.h"

using namespace tessel;

namespace {

class AboutWindowTest : public test::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        MakeBinDir();
    }
};

TEST_F(AboutWindowTest, AboutShowsTheBoxWithTheBuildsVersion) {
    TForm1 form(Setup());
    form.show();
    EXPECT_FALSE(form.windowIcon().isNull());
    EXPECT_FALSE(form.windowIcon().pixmap(32, 32).isNull());
    auto* link = form.findChild<TLinkLabel*>("LinkLabel1");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->URL, "https://tessel.example.org");
    EXPECT_EQ(link->geometry(), QRect(376, 32, 110, 13));

    bool seen = false;
    QString title, version, os;
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = dynamic_cast<TAboutBox*>(w); box && box->isVisible()) {
                timer->stop();
                timer->deleteLater();
                seen = true;
                title = box->windowTitle();
                version = box->VersionLabel->text();
                os = box->OSInformationsLabel->text();
                box->accept();
                return;
            }
    });
    timer->start(20);
    form.About1Click();
    ASSERT_TRUE(seen);
    EXPECT_EQ(title, "About Tessel");
    EXPECT_EQ(version, "Version " + VersionText(BuildVersion(), false));
    EXPECT_FALSE(os.isEmpty());
    EXPECT_TRUE(shown.empty());
}

TEST_F(AboutWindowTest, FilesOnTheCommandLineOpenSqlOrATablesFolder) {
    const std::string sql = dirs.Root().File("query.sql");
    std::ofstream(sql) << "SELECT 1\r\n";
    TForm1 form(Setup());
    form.OpenFromCommandLine(QString::fromStdString(sql));
    EXPECT_EQ(form.windowTitle().toStdString(), sql);

    // The sample alias makes its tables on first use; then its table is opened by file name.
    form.AliasBox()->setEditText(engine::kSampleAliasName);
    const std::string folder = engine::AliasStore::SampleDirectory();
    ASSERT_TRUE(std::filesystem::exists(folder + "/employee.db"));
    form.AliasBox()->setEditText("");
    form.OpenFromCommandLine(QString::fromStdString(folder + "/employee.db"));
    EXPECT_EQ(form.AliasBox()->currentText().toStdString(), std::filesystem::path(folder).string());
    ASSERT_TRUE(form.Query().Active());
    EXPECT_GT(form.Query().RecordCount(), 0);
    EXPECT_TRUE(shown.empty()) << shown.front();
    EXPECT_THROW(form.OpenFromCommandLine(QString::fromStdString(folder + "/missing.dbf")), std::exception);
}

}  // namespace
