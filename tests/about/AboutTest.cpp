// The about box: version, operating-system and memory texts, the language texts, the string
// splitter, the link label, the version information and the box's controls.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QUrl>

#include "about/AboutDialog.h"
#include "about/AboutTexts.h"
#include "about/BrkApart.h"
#include "about/LinkLabel.h"
#include "about/VersionInfo.h"

namespace tessel {
namespace {

TEST(AboutTexts, VersionTextRules) {
    const struct {
        const char* fileVersion;
        bool format;
        const char* text;
        int build;
    } cases[] = {
        {"1.2.3.45", false, "1.2.3", 45},
        {"1.2.3.45", true, "1.02.03", 45},
        {"1.2.3", false, "1.2.3", 0},
        {"1.2.3", true, "1.02.03", 0},
        {"10.11.0.7", true, "10.11.00", 7},
        {"2.0", true, "2.00", 0},
        {"", false, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileVersion);
        int build = -1;
        EXPECT_EQ(VersionText(c.fileVersion, c.format, &build), c.text);
        EXPECT_EQ(build, c.build);
    }
    EXPECT_THROW(VersionText("1.2.3.x", false), std::exception);
    EXPECT_EQ(DateBuild(QDate(2026, 3, 7)), "26.03.07");
}

TEST(AboutTexts, WindowsOperatingSystemRules) {
    const struct {
        TWindowsVersion v;
        const char* text;
    } cases[] = {
        {{2, 4, 0, 1381, "Service Pack 6"}, "Windows NT 4.0 (Build 1381: Service Pack 6)"},
        {{2, 5, 1, 2600, "Service Pack 1"}, "Windows XP (Build 2600: Service Pack 1)"},
        {{2, 5, 0, 2195, ""}, "Windows 2000 5.0 (Build 2195)"},
        {{2, 5, 0, 2195, "Service Pack 4"}, "Windows 2000 (Build 2195: Service Pack 4)"},
        {{1, 4, 0, 0x040003B6, ""}, "Windows 95 4.0 (Build 950)"},
        {{1, 4, 10, 0x04000AAE, " A "}, "Windows 98 4.10 (Build 2734:  A )"},
        {{1, 4, 90, 3000, ""}, "Windows Millennium 4.90 (Build 3000)"},
        {{0, 3, 1, 511, ""}, "Windows 3.1"},
    };
    for (const auto& c : cases) EXPECT_EQ(WindowsOsText(c.v, "Build"), c.text);
    EXPECT_EQ(WindowsOsText({2, 4, 0, 1381, ""}, "Construction"), "Windows NT 4.0 (Construction 1381)");
}

TEST(AboutTexts, LinuxOperatingSystemLine) {
    const struct {
        const char* osRelease;
        const char* text;
    } cases[] = {
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n",
         "Debian GNU/Linux 12 (bookworm) (Build 6.1.0-18-amd64)"},
        {"NAME=Fedora Linux\nVERSION=\"39 (Workstation Edition)\"\n",
         "Fedora Linux 39 (Workstation Edition) (Build 6.1.0-18-amd64)"},
        {"NAME='Alpine Linux'\n", "Alpine Linux (Build 6.1.0-18-amd64)"},
        {"# no name here\nID=custom\n", "Linux (Build 6.1.0-18-amd64)"},
        {"PRETTY_NAME=\"Say \\\"hi\\\" OS\"\n", "Say \"hi\" OS (Build 6.1.0-18-amd64)"},
        {"", "Linux (Build 6.1.0-18-amd64)"},
    };
    for (const auto& c : cases) EXPECT_EQ(LinuxOsText(c.osRelease, "Linux", "6.1.0-18-amd64", "Build"), c.text);
    EXPECT_EQ(LinuxOsText("", "Linux", "", "Build"), "Linux");
    // The running system's line names its kernel release.
    EXPECT_TRUE(SystemOsText("Build").contains("(Build ")) << SystemOsText("Build").toStdString();
}

TEST(AboutTexts, LanguagesAndMemory) {
    const TAboutTexts& fr = AboutTexts(TLangType::ltFrench);
    EXPECT_EQ(fr.titlePrefix, "A propos de");
    EXPECT_EQ(fr.kilobyteUnit, "Ko");
    EXPECT_EQ(fr.buildWord, "Construction");
    EXPECT_EQ(fr.memoryLabel, QString::fromUtf8("M\xC3\xA9moire physique disponible"));
    EXPECT_EQ(fr.browserError, QString::fromUtf8("Erreur lors du lancement du navigateur par d\xC3\xA9"
                                                 "faut."));
    EXPECT_EQ(AboutTexts(TLangType::ltEnglish).browserError, "Error while launching the default browser.");
    // Bytes shifted to kilobytes, grouped as the locale groups thousands.
    const uint64_t bytes = 16706289664ull;  // 16,314,736 KB
    EXPECT_EQ(MemoryText(bytes, QLocale(QLocale::English, QLocale::UnitedStates), "Kb"), "16,314,736 Kb");
    EXPECT_EQ(MemoryText(bytes, QLocale(QLocale::German, QLocale::Germany), "Ko"), "16.314.736 Ko");
    QLocale plain = QLocale::c();
    plain.setNumberOptions(QLocale::OmitGroupSeparator);  // grouped all the same
    EXPECT_EQ(MemoryText(2048 * 1024, plain, "Kb"), "2,048 Kb");
    EXPECT_GT(PhysicalMemory(), 0u);
}

TEST(BrkApart, SplitsAndJoins) {
    TBrkApart b;
    b.BaseString = "a, b,, cAND dandE";
    b.BreakString = ",";
    b.BreakApart();
    EXPECT_EQ(b.StringList, (std::vector<std::string>{"a", " b", "", " cAND dandE"}));
    b.AllowEmptyString = false;
    b.BreakApart();
    EXPECT_EQ(b.StringList, (std::vector<std::string>{"a", " b", " cAND dandE"}));
    b.BreakString = "and";
    b.BreakApart();
    EXPECT_EQ(b.StringList, (std::vector<std::string>{"a, b,, c", " d", "E"}));
    b.CaseSensitive = true;
    b.BreakApart();
    EXPECT_EQ(b.StringList, (std::vector<std::string>{"a, b,, cAND d", "E"}));
    b.StringList = {"x", "y", "z"};
    b.BreakString = "; ";
    b.BuildString();
    EXPECT_EQ(b.BaseString, "x; y; z");
}

TEST(VersionInfo, TheProgramCarriesTheBuildsValuesOtherFilesNone) {
    const TVersionInfoResource info;
    EXPECT_TRUE(info.HasResource());
    EXPECT_EQ(info.ProductName(), "Tessel");
    EXPECT_EQ(info.FileVersion().count('.'), 3);
    EXPECT_TRUE(info.FileVersion().startsWith(BuildVersion().section('.', 0, 1)));
    EXPECT_EQ(info.Value("legalcopyright"), info.LegalCopyright());
    EXPECT_FALSE(info.LegalCopyright().isEmpty());
    EXPECT_EQ(QString(PreDefKey(pdOriginalFilename)), "OriginalFilename");
    TVersionInfoResource other;
    other.Filename = "/etc/hostname";
    other.Read();
    EXPECT_FALSE(other.HasResource());
    EXPECT_TRUE(other.FileVersion().isEmpty());
    TBuildFlags flags;
    flags.debug = flags.preRelease = flags.specialBuild = true;
    EXPECT_EQ(BuildFlagsText(flags), "Debug, Pre-Release, Special");
}

class AboutBox : public testing::Test {
protected:
    void SetUp() override {
        open = TLinkLabel::OpenUrl;
        TLinkLabel::OpenUrl = [this](const QUrl& url) {
            opened << url.toString();
            return opens;
        };
    }
    void TearDown() override { TLinkLabel::OpenUrl = open; }
    std::function<bool(const QUrl&)> open;
    QStringList opened;
    bool opens = true;
};

TEST_F(AboutBox, TheBoxShowsTheVersionAndItsOptions) {
    TAboutDialog dialog;
    dialog.Text = "Free text";
    auto box = dialog.CreateBox();
    EXPECT_EQ(box->windowTitle(), "About Tessel");
    EXPECT_EQ(box->ApplicationLabel->text(), "Tessel");
    EXPECT_EQ(box->VersionLabel->text(), "Version " + VersionText(TVersionInfoResource().FileVersion(), false));
    EXPECT_EQ(box->CopyrightLabel->text(), TVersionInfoResource().LegalCopyright());
    EXPECT_EQ(box->PhysicalMemoryLabel->text(), "Physical memory available :");
    EXPECT_TRUE(box->PhysMem->text().endsWith(" Kb"));
    EXPECT_EQ(box->size(), QSize(344, 293));
    EXPECT_EQ(box->OKButton->geometry(), QRect(256, 239, 75, 23));
    EXPECT_EQ(box->EmailLabel->pos(), QPoint(82, 86));
    EXPECT_EQ(box->PhysMem->geometry().right() + 1, 333);  // right-aligned at the bevel's end
    box->show();
    for (QWidget* w : {static_cast<QWidget*>(box->AuthorLabel), static_cast<QWidget*>(box->EmailLabel),
                       static_cast<QWidget*>(box->URLLabel), static_cast<QWidget*>(box->TextLabel),
                       static_cast<QWidget*>(box->OSInformationsLabel)})
        EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
    box->close();

    // Without version information, with the build number: the executable's date; options
    // hide their labels; French texts.
    dialog.Options = opShowBuildNumber | opShowURL;
    dialog.Version = "Version 7";
    dialog.LangType = TLangType::ltFrench;
    auto french = dialog.CreateBox();
    french->show();
    EXPECT_EQ(french->windowTitle(), "A propos de Tessel");
    EXPECT_TRUE(french->VersionLabel->text().startsWith("Version 7 - Construction "));
    EXPECT_EQ(french->VersionLabel->text().size(), QString("Version 7 - Construction 26.12.11").size());
    EXPECT_EQ(french->CopyrightLabel->text(), dialog.Copyright);
    EXPECT_TRUE(french->PhysMem->text().endsWith(" Ko"));
    EXPECT_FALSE(french->AuthorLabel->isVisible());
    EXPECT_FALSE(french->EmailLabel->isVisible());
    EXPECT_FALSE(french->OSInformationsLabel->isVisible());
    EXPECT_TRUE(french->URLLabel->isVisible());
    // With version information and the build number.
    dialog.Options = opEnableVersionInfo | opFormatVersionInfo | opShowBuildNumber;
    int build = 0;
    const QString formatted = VersionText(TVersionInfoResource().FileVersion(), true, &build);
    EXPECT_EQ(dialog.CreateBox()->VersionLabel->text(),
              "Version " + formatted + " - Construction " + QString::number(build));
}

TEST_F(AboutBox, LinksOpenTheMailProgramAndTheBrowser) {
    TAboutDialog dialog;
    auto box = dialog.CreateBox();
    box->show();
    QTest::mouseClick(box->EmailLabel, Qt::LeftButton);
    QTest::mouseClick(box->URLLabel, Qt::LeftButton);
    EXPECT_EQ(opened, (QStringList{"mailto:" + dialog.Email, dialog.URL}));
    opens = false;
    try {
        box->URLLabelClick();
        ADD_FAILURE() << "a browser that does not start is reported";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Error while launching the default browser.");
    }
    // The icon's hint and double-click need the text file beside the program.
    EXPECT_EQ(box->ProgramIcon->toolTip(), QFile::exists(TAboutBox::ReadMeFile()) ? "Double-click" : "");
}

TEST_F(AboutBox, TheLinkLabelChangesColourUnderTheMouseAndOpensItsAddress) {
    TLinkLabel label;
    label.show();
    EXPECT_EQ(label.FontColor(), QColor(Qt::blue));
    EXPECT_TRUE(label.font().underline());
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), label.mapToGlobal(QPointF(1, 1)));
    QApplication::sendEvent(&label, &enter);
    EXPECT_EQ(label.FontColor(), QColor(Qt::red));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&label, &leave);
    EXPECT_EQ(label.FontColor(), QColor(Qt::blue));
    int clicks = 0;
    label.OnClick = [&] { ++clicks; };
    label.URL = "https://example.org/x";
    QTest::mouseClick(&label, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(opened, QStringList{"https://example.org/x"});
}

// The box as it shows: the icon, the picture and the texts where they belong.
// TESSEL_SCREENSHOT_DIR keeps the picture.
TEST_F(AboutBox, AScreenshotShowsTheIconThePictureAndTheTexts) {
    QApplication::setWindowIcon(TesselIcon());
    TAboutDialog dialog;
    dialog.Text = "SQL on Paradox and dBASE tables.";
    auto box = dialog.CreateBox();
    box->show();
    QApplication::processEvents();
    const QImage shot = box->grab().toImage();
    if (const QByteArray dir = qgetenv("TESSEL_SCREENSHOT_DIR"); !dir.isEmpty())
        shot.save(QString::fromLocal8Bit(dir) + "/about-box.png");
    const qreal ratio = shot.devicePixelRatio();
    auto colours = [&](QRect r) {
        QSet<QRgb> seen;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) seen.insert(shot.pixel((QPointF(x, y) * ratio).toPoint()));
        return seen.size();
    };
    EXPECT_GT(colours(box->ProgramIcon->geometry()), 3);  // the icon is drawn
    EXPECT_GT(colours(box->Image1->geometry()), 3);       // and the picture
    EXPECT_GT(colours(box->VersionLabel->geometry()), 1);
    EXPECT_LE(box->TextLabel->geometry().bottom(), box->Bevel1->geometry().top());  // the text fits above the line
    dialog.Text = QString("A free text far too long for its room. ").repeated(8);
    EXPECT_LE(dialog.CreateBox()->TextLabel->geometry().bottom(), box->Bevel1->geometry().top());
    // A long system name is cut to the box's width, whole in the tip.
    EXPECT_LE(box->OSInformationsLabel->geometry().right(), 333);
    EXPECT_EQ(box->OSInformationsLabel->toolTip(), SystemOsText("Build"));
}

}  // namespace
}  // namespace tessel
