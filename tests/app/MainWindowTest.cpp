// Tests of the main window: start-up, aliases, settings, SQL files.

#include "app/MainWindow.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>

#include "WindowTestSupport.h"
#include "app/Settings.h"
#include "base/ErrorHandler.h"
#include "editor/widget/CustomCodeEdit.h"
#include "engine/Aliases.h"
#include "framework/widgets/FileDialogs.h"
#include "support/TempDir.h"
#include "toolbars/Dock.h"
#include "toolbars/ToolWindow.h"
#include "toolbars/ToolbarButton.h"

using namespace tessel;
using tessel::test::ReadBytes;
using tessel::test::ScopedUserDirs;
using tessel::test::WriteBytes;

namespace {

// Collects what the application's handler would show, and answers file dialogs.
using WindowTest = tessel::test::WindowFixture;

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
    EXPECT_EQ(form.Query().DatabaseName(), "");
    EXPECT_EQ(form.Script().DatabaseName(), "");
    EXPECT_EQ(form.Table().DatabaseName(), "");
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
    EXPECT_EQ(form.Query().DatabaseName(), "/some/dir");
    EXPECT_EQ(form.Script().DatabaseName(), "/some/dir");
    EXPECT_EQ(form.Table().DatabaseName(), "/some/dir");
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

TEST_F(WindowTest, CommandButtonsStandOnTheToolbarsWithHintsAndImages) {
    TForm1 form(Setup());
    struct Button {
        const char* name;
        const char* hint;
        int x;  // on its toolbar's content
        QSize strip;
        int numGlyphs;
        bool enabled;
    };
    const Button buttons[] = {
        {"tbbOpen", "Open SQL file (Ctrl+O)", 0, {36, 18}, 2, true},
        {"tbbSave", "Save SQL file (Ctrl+S)", 23, {36, 18}, 2, true},
        {"tbbExecute", "Run SQL query (F9)", 46, {36, 18}, 2, true},
        {"tbbDB2SQL", "Table to SQL", 69, {24, 24}, 1, true},
        {"tbbPrint", "Print SQL (Ctrl+P)", 92, {32, 16}, 2, true},
        {"tbbClose", "Close", 115, {36, 18}, 2, true},
        {"tbbSave1", "Save Answer to disk", 0, {36, 18}, 2, true},
        {"tbbClose1", "Close", 23, {36, 18}, 2, true},
        {"btnHelp", "Help and Info (F1)", -1, {36, 18}, 2, true},
    };
    for (const Button& b : buttons) {
        SCOPED_TRACE(b.name);
        auto* button = form.findChild<TToolbarButton*>(b.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->Hint(), b.hint);
        EXPECT_TRUE(button->ShowHint());
        EXPECT_EQ(button->size(), QSize(23, 22));
        EXPECT_EQ(button->Glyph().size(), b.strip);
        EXPECT_EQ(button->NumGlyphs(), b.numGlyphs);
        EXPECT_EQ(button->isEnabled(), b.enabled);
        // Each image is transparent around its drawing, and the drawing is there.
        const QImage image = glyphs::CutImage(button->Glyph(), button->NumGlyphs(), 0);
        EXPECT_EQ(qAlpha(image.pixel(0, image.height() - 1)), 0);
        EXPECT_GT(qAlpha(image.pixel(image.width() / 2, image.height() / 2)) +
                      qAlpha(image.pixel(image.width() / 2 - 2, image.height() / 2 + 2)),
                  0);
        if (b.x >= 0) {
            EXPECT_EQ(button->x() - 11, b.x);  // after the border and the grip
        }
    }
    auto* toolbar1 = form.findChild<TToolbar*>("Toolbar1");
    auto* dock1 = form.findChild<TDock*>("Dock1");
    ASSERT_TRUE(toolbar1 && dock1);
    EXPECT_EQ(toolbar1->DockedTo(), dock1);
    EXPECT_EQ(toolbar1->size(), QSize(151, 26));
    EXPECT_EQ(toolbar1->Caption(), "Toolbar1");
    EXPECT_EQ(dock1->height(), 26);
    auto* toolbar2 = form.findChild<TToolbar*>("Toolbar2");
    ASSERT_NE(toolbar2, nullptr);
    EXPECT_EQ(toolbar2->DockedTo(), form.findChild<TDock*>("Dock2"));
    EXPECT_EQ(toolbar2->size(), QSize(46 + 13, 26));

    // A click on tbbClose closes the window.
    form.show();
    auto* close = form.findChild<TToolbarButton*>("tbbClose");
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, QPointF(5, 5), QPointF(close->mapToGlobal(QPoint(5, 5))), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(close, &event);
    }
    EXPECT_FALSE(form.isVisible());
}

TEST_F(WindowTest, Toolbar1FloatsKeepingItsDockAndDocksBackWhenDroppedOverIt) {
    TForm1 form(Setup());
    form.show();
    auto* toolbar1 = form.findChild<TToolbar*>("Toolbar1");
    auto* dock1 = form.findChild<TDock*>("Dock1");
    auto* memo = form.findChild<QWidget*>("MemoPad");
    ASSERT_TRUE(toolbar1 && dock1 && memo);
    const int memoHeight = memo->height();

    // Dragged off by its grip, far below the dock: the dock keeps the height of the alias and
    // sample boxes, which stay in sight, and the band of options stays where it was.
    toolbar1->BeginDrag({4, 13});
    toolbar1->DragTo(dock1->mapToGlobal(QPoint(200, 250)), false);
    EXPECT_TRUE(toolbar1->DragWouldFloat());
    toolbar1->EndDrag(true);
    ASSERT_TRUE(toolbar1->Floating());
    EXPECT_EQ(dock1->height(), 26);
    EXPECT_FALSE(form.AliasBox()->visibleRegion().isEmpty());
    EXPECT_FALSE(form.SampleBox()->visibleRegion().isEmpty());
    EXPECT_EQ(form.FileExtensionsBox()->geometry(), QRect(8, 48, 201, 17));
    EXPECT_EQ(memo->height(), memoHeight);

    // Its close button: back into Dock1 rather than gone for the session.
    toolbar1->Close();
    EXPECT_EQ(toolbar1->DockedTo(), dock1);
    EXPECT_TRUE(toolbar1->Visible());
    EXPECT_EQ(dock1->height(), 26);

    // Floated again and dropped anywhere over the dock, its middle or its bottom edge, by its
    // caption: docked again.
    for (const QPoint over : {QPoint(30, 13), QPoint(250, 20), QPoint(120, 25)}) {
        SCOPED_TRACE(testing::Message() << over.x() << "," << over.y());
        toolbar1->ToggleDocking();
        ASSERT_TRUE(toolbar1->Floating());
        toolbar1->BeginDrag({20, 8});
        toolbar1->DragTo(dock1->mapToGlobal(over), false);
        EXPECT_EQ(toolbar1->DragTarget(), dock1);
        toolbar1->EndDrag(true);
        EXPECT_EQ(toolbar1->DockedTo(), dock1);
        EXPECT_EQ(toolbar1->DockRow(), 0);
        EXPECT_EQ(dock1->height(), 26);
    }
}

TEST_F(WindowTest, ScreenshotOfBothPagesShowsTheirToolbars) {
    TForm1 form(Setup());
    form.show();
    const std::string dir = dirs.Root().Path();
    for (int page = 0; page < 2; ++page) {
        SCOPED_TRACE(testing::Message() << "page " << page);
        form.Pages()->setCurrentIndex(page);
        const QImage shot = form.grab().toImage();
        const std::string file = dir + "/page" + std::to_string(page) + ".png";
        ASSERT_TRUE(shot.save(QString::fromStdString(file)));
        const QImage saved(QString::fromStdString(file));
        ASSERT_EQ(saved.size(), form.size());
        auto* toolbar = form.findChild<TToolbar*>(page == 0 ? "Toolbar1" : "Toolbar2");
        const QRect area(toolbar->mapTo(&form, QPoint(0, 0)), toolbar->size());
        // The toolbar is drawn, not blank: its border, grip and button images give many colours,
        // among them the face and the navy of the disk images.
        std::set<QRgb> colours;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) colours.insert(saved.pixel(x, y) & 0xffffffu);
        EXPECT_GE(colours.size(), page == 0 ? 8u : 5u);
        // An enabled button's own drawing is on the page: the navy disk of tbbSave, the maroon
        // door of tbbClose1.
        auto* button = form.findChild<TToolbarButton*>(page == 0 ? "tbbSave" : "tbbClose1");
        const QRgb ink = page == 0 ? qRgb(0, 0, 128) : qRgb(128, 0, 0);
        const QRect buttonArea(button->mapTo(&form, QPoint(0, 0)), button->size());
        int inked = 0;
        for (int y = buttonArea.top(); y <= buttonArea.bottom(); ++y)
            for (int x = buttonArea.left(); x <= buttonArea.right(); ++x)
                inked += (saved.pixel(x, y) & 0xffffffu) == (ink & 0xffffffu);
        EXPECT_GT(inked, 20) << "the button's image is not on the page";
    }
}

TEST_F(WindowTest, MemoPadIsTheSqlEditorWithTheWindowsSettings) {
    TForm1 form(Setup());
    auto* memo = form.findChild<TCodeEdit*>("MemoPad");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(form.Editor(), memo);
    EXPECT_EQ(&form.Lines(), &memo->Lines()) << "the window's lines are the editor's buffer";
    EXPECT_EQ(memo->font().family(), "Liberation Mono");
    EXPECT_EQ(memo->font().pixelSize(), 13);
    EXPECT_EQ(memo->ScrollBars(), ssVertical);
    EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_FALSE(memo->WantTabs());
    EXPECT_EQ(memo->Options(), CodeEditDefaultOptions);
    EXPECT_EQ(memo->Keystrokes().Count(), 82);
    ASSERT_NE(memo->Highlighter(), nullptr);
    form.Lines().Add("/* a comment");
    form.Lines().Add("select");
    EXPECT_NE(form.Lines().LineState(1), 0) << "the highlighter's line states are kept";
}

namespace tessel {
namespace {

// A changed text is not lost: opening a file or closing asks first, and Cancel keeps it.
TEST_F(WindowTest, ChangedTextAsksBeforeOpenAndClose) {
    struct Row {
        TSaveAnswer answer;
        bool saveDialogChoosesFile;
        bool closes;
        bool saved;
    };
    const Row rows[] = {
        {TSaveAnswer::Cancel, true, false, false},
        {TSaveAnswer::No, true, true, false},
        {TSaveAnswer::Yes, true, true, true},
        {TSaveAnswer::Yes, false, false, false},  // the save dialog cancelled
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(static_cast<int>(r.answer));
        TForm1Setup setup = Setup();
        int asked = 0;
        setup.askSaveChanges = [&] {
            ++asked;
            return r.answer;
        };
        const std::string target = dirs.Root().File("saved.sql");
        std::filesystem::remove(target);
        dialogAnswer = r.saveDialogChoosesFile ? std::optional<QString>(QString::fromStdString(target)) : std::nullopt;
        TForm1 form(setup);
        form.show();
        EXPECT_FALSE(form.Editor()->IsModified());
        EXPECT_TRUE(form.close()) << "an unchanged text closes without asking";
        EXPECT_EQ(asked, 0);
        form.show();
        form.Editor()->ProcessEditorCommand(ecChar, U'x', nullptr);
        EXPECT_TRUE(form.Editor()->IsModified());
        EXPECT_EQ(form.close(), r.closes);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(std::filesystem::exists(target), r.saved);
        EXPECT_EQ(form.Lines().Get(0), "x");
        EXPECT_EQ(form.Editor()->IsModified(), !r.saved);
        if (!r.closes) {
            // Opening is refused the same way; the text stays.
            const size_t before = requests.size();
            form.tbbOpenClick();
            EXPECT_EQ(asked, 2);
            if (r.answer == TSaveAnswer::Cancel) {
                EXPECT_EQ(requests.size(), before) << "no open dialog after Cancel";
            }
            EXPECT_EQ(form.Lines().Get(0), "x");
        }
        form.Editor()->SetModified(false);
    }
}

}  // namespace
}  // namespace tessel
