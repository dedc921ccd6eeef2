#include "app/MainWindow.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include "app/Settings.h"
#include "engine/Aliases.h"
#include "framework/ErrorHandler.h"
#include "framework/widgets/FileDialogs.h"
#include "support/TempDir.h"

using namespace tessel;
using tessel::test::ReadBytes;
using tessel::test::ScopedUserDirs;
using tessel::test::WriteBytes;

namespace {

// Collects what the application's handler would show, and answers file dialogs.
class WindowTest : public testing::Test {
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
    TForm1Setup Setup() const {
        return {dirs.Root().File("bin/tessel"), dirs.Root().File("bin/tessel.INI")};
    }

    ScopedUserDirs dirs;
    std::vector<std::string> shown;
    std::vector<TFileDialogRequest> requests;
    std::optional<QString> dialogAnswer;
};

}  // namespace

TEST_F(WindowTest, StartsWithBothPagesAliasesAndWorkingDirectory) {
    WriteBytes(dirs.ConfigDir() + "/aliases.conf", "[zeta]\nPATH=/z\n[Alpha]\nPATH=/a\n");
    TForm1 form(Setup());
    EXPECT_EQ(form.windowTitle(), "Tessel");
    EXPECT_EQ(form.Pages()->count(), 2);
    EXPECT_EQ(form.Pages()->tabText(0), "SQL commands");
    EXPECT_EQ(form.Pages()->tabText(1), "Answer table");
    EXPECT_EQ(form.Pages()->currentIndex(), 0);
    QStringList items;
    for (int i = 0; i < form.AliasBox()->count(); ++i) items << form.AliasBox()->itemText(i);
    EXPECT_EQ(items, (QStringList{"Alpha", engine::kSampleAliasName, "zeta"}));
    EXPECT_EQ(form.AliasBox()->currentText(), "");  // no alias chosen at start
    EXPECT_EQ(form.SampleBox()->count(), 10);
    EXPECT_EQ(form.SampleBox()->itemText(9), "SELECT *");
    EXPECT_EQ(form.WorkDir(), dirs.Root().Path() + "/bin");
    EXPECT_EQ(form.StatusText().toStdString(), "Working directory: " + dirs.Root().Path() + "/bin");
    EXPECT_EQ(form.DatabaseName(), "");
    EXPECT_EQ(form.Lines().Count(), 0);
    EXPECT_EQ(form.FileExtensionsBox()->text(), "Include Table Filename Extenstions");
    EXPECT_EQ(form.FileExtensionsBox()->geometry(), QRect(8, 48, 201, 17));
    EXPECT_EQ(form.FileNamesBox()->geometry(), QRect(232, 48, 177, 17));
    EXPECT_EQ(form.QuoteFieldsBox()->geometry(), QRect(8, 64, 97, 17));
    EXPECT_TRUE(shown.empty());
}

TEST_F(WindowTest, ChoosingAnAliasSetsTheWorkingDirectoryAndTypingChangesNothing) {
    WriteBytes(dirs.ConfigDir() + "/aliases.conf", "[Data]\nPATH=/some/dir\n[Dat]\nTYPE=OTHER\n");
    TForm1 form(Setup());
    const QString startStatus = form.StatusText();
    // Typed key by key, as a person does: no completion may jump ahead to "Data".
    form.show();
    QApplication::setActiveWindow(&form);
    form.AliasBox()->lineEdit()->setFocus();
    QTest::keyClicks(form.AliasBox()->lineEdit(), "Da");
    EXPECT_EQ(form.AliasBox()->currentText(), "Da");
    EXPECT_EQ(form.StatusText(), startStatus);
    form.AliasBox()->setEditText("Datx");
    EXPECT_EQ(form.StatusText(), startStatus);
    // "Dat" is an alias without parameters: dropped silently as well.
    form.AliasBox()->setEditText("Dat");
    EXPECT_EQ(form.StatusText(), startStatus);
    form.AliasBox()->setEditText("data");
    EXPECT_EQ(form.StatusText(), "Working directory: /some/dir");
    EXPECT_EQ(form.WorkDir(), "/some/dir");
    EXPECT_EQ(form.DatabaseName(), "/some/dir");
    EXPECT_TRUE(shown.empty());
}

TEST_F(WindowTest, SettingsAreReadByTheIntegerRuleAndRewrittenCleanly) {
    const TForm1Setup setup = Setup();
    std::filesystem::create_directories(dirs.Root().File("bin"));
    WriteBytes(setup.settingsFile, "[init]\nchkQf=0x1\nchkFileX=yes\nchkFileN=-3\n[mine]\nkeep=me\n");
    {
        TForm1 form(setup);
        EXPECT_TRUE(form.QuoteFieldsBox()->isChecked());
        EXPECT_FALSE(form.FileExtensionsBox()->isChecked());
        EXPECT_TRUE(form.FileNamesBox()->isChecked());
        form.FileNamesBox()->setChecked(false);
        form.close();
    }
    EXPECT_EQ(ReadBytes(setup.settingsFile), "[init]\nchkQf=1\nchkFileX=0\nchkFileN=0\n\n[mine]\nkeep=me\n");
}

TEST_F(WindowTest, UnwritableSettingsAreReportedAndTheWindowStillCloses) {
    TForm1Setup setup = Setup();
    setup.settingsFile = dirs.Root().File("settings-dir");
    std::filesystem::create_directories(setup.settingsFile);  // a directory cannot be written as a file
    TForm1 form(setup);
    form.show();
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(shown, (std::vector<std::string>{"Unable to write to " + setup.settingsFile + "."}));
}

TEST(Settings, FileLivesBesideTheExecutableWhenItMayAndInTheUserFolderOtherwise) {
    ScopedUserDirs dirs;
    const std::string bin = dirs.Root().File("bin");
    std::filesystem::create_directories(bin);
    EXPECT_EQ(SettingsFileFor(bin + "/tessel"), bin + "/tessel.INI");
    if (::geteuid() == 0) return;  // root may write anywhere
    ::chmod(bin.c_str(), 0555);
    EXPECT_EQ(SettingsFileFor(bin + "/tessel"), dirs.ConfigDir() + "/tessel.INI");
    WriteBytes(bin + "/tessel.INI", "");  // cannot: read-only
    ::chmod(bin.c_str(), 0755);
    WriteBytes(bin + "/tessel.INI", "[init]\n");
    ::chmod(bin.c_str(), 0555);
    EXPECT_EQ(SettingsFileFor(bin + "/tessel"), bin + "/tessel.INI");  // an existing file is used
    ::chmod(bin.c_str(), 0755);
}

TEST_F(WindowTest, OpenLoadsTheFileAndNamesItInTheCaption) {
    TForm1 form(Setup());
    const std::string path = dirs.Root().File("query.sql");
    WriteBytes(path, "SELECT *\r\nFROM \"employee.db\"");
    dialogAnswer = QString::fromStdString(path);
    form.tbbOpenClick();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].filter, "SQL files (*.SQL)|*.SQL");
    EXPECT_EQ(requests[0].initialDir.toStdString(), form.WorkDir());
    EXPECT_EQ(form.Lines().ToVector(), (std::vector<std::string>{"SELECT *", "FROM \"employee.db\""}));
    EXPECT_EQ(form.windowTitle().toStdString(), path);

    // A file that cannot be read: its error is shown; lines and caption stay.
    dialogAnswer = QString::fromStdString(dirs.Root().File("gone.sql"));
    RunGuarded([&] { form.tbbOpenClick(); });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("gone.sql"), std::string::npos) << shown[0];
    EXPECT_EQ(form.Lines().Count(), 2);
    EXPECT_EQ(form.windowTitle().toStdString(), path);

    // Cancelling changes nothing.
    dialogAnswer.reset();
    form.tbbOpenClick();
    EXPECT_EQ(form.Lines().Count(), 2);
    EXPECT_EQ(form.windowTitle().toStdString(), path);
}

TEST_F(WindowTest, SaveWritesTheLinesAddsTheExtensionAndRemembersTheFile) {
    TForm1 form(Setup());
    form.Lines().Add("DELETE FROM \"employee.db\"");
    dialogAnswer = QString::fromStdString(dirs.Root().File("empty-table"));
    form.tbbSaveClick();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].overwritePrompt);
    const std::string saved = dirs.Root().File("empty-table.SQL");
    EXPECT_EQ(ReadBytes(saved), "DELETE FROM \"employee.db\"\r\n");
    EXPECT_EQ(form.windowTitle().toStdString(), saved);
    dialogAnswer.reset();
    form.tbbOpenClick();
    EXPECT_EQ(requests.back().fileName.toStdString(), saved);
}

TEST(FileDialogs, PatternsMatchWithoutCase) {
    const auto filters = ParseDialogFilter("SQL files (*.SQL)|*.SQL|All (*.*)|*.*");
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].description, "SQL files (*.SQL)");
    EXPECT_TRUE(MatchesDialogFilter("query.sql", filters[0]));
    EXPECT_TRUE(MatchesDialogFilter("QUERY.SQL", filters[0]));
    EXPECT_FALSE(MatchesDialogFilter("query.sqlx", filters[0]));
    EXPECT_TRUE(MatchesDialogFilter("notes.txt", filters[1]));
}
