#pragma once

// The about box: the program's title, icon and version, copyright, author, e-mail and web
// links, a free text, the physical memory and the operating system.

#include <QDialog>
#include <QObject>
#include <QString>
#include <memory>

#include "about/AboutTexts.h"
#include "about/VersionInfo.h"

class QLabel;
class QPushButton;

namespace tessel {

class TLinkLabel;

enum TAboutDialogOption {
    opEnableVersionInfo = 1 << 0,
    opFormatVersionInfo = 1 << 1,
    opShowAuthor = 1 << 2,
    opShowBuildNumber = 1 << 3,
    opShowEmail = 1 << 4,
    opShowOSInformations = 1 << 5,
    opShowText = 1 << 6,
    opShowURL = 1 << 7,
};
using TAboutDialogOptions = int;
inline constexpr TAboutDialogOptions kDefaultAboutOptions =
    opEnableVersionInfo | opShowAuthor | opShowEmail | opShowOSInformations | opShowText | opShowURL;

class TAboutBox : public QDialog {
public:
    TAboutBox(TLangType language, QWidget* parent = nullptr);

    QLabel* ProgramIcon = nullptr;
    QLabel* ApplicationLabel = nullptr;
    QLabel* VersionLabel = nullptr;
    QLabel* CopyrightLabel = nullptr;
    QLabel* AuthorLabel = nullptr;
    TLinkLabel* EmailLabel = nullptr;
    TLinkLabel* URLLabel = nullptr;
    QLabel* TextLabel = nullptr;
    QWidget* Bevel1 = nullptr;
    QLabel* PhysicalMemoryLabel = nullptr;
    QLabel* PhysMem = nullptr;
    QLabel* OSInformationsLabel = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton* OKButton = nullptr;

    // The text file beside the executable that a double-click on the icon opens.
    static QString ReadMeFile();
    void ProgramIconDblClick();
    void EmailLabelClick();
    void URLLabelClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const TAboutTexts& texts_;
};

class TAboutDialog : public QObject {
public:
    explicit TAboutDialog(QObject* parent = nullptr);

    QString Author = "Tessel developers";
    QString Copyright = "Copyright (C) 2026 Tessel developers";
    QString Email = "tessel@example.org";
    QString URL = BuildHomepage();
    QString Text;
    QString Version;
    TLangType LangType = TLangType::ltEnglish;
    TAboutDialogOptions Options = kDefaultAboutOptions;

    // The box filled as Execute shows it (Version and Copyright take the version
    // information's values with opEnableVersionInfo).
    std::unique_ptr<TAboutBox> CreateBox(QWidget* parent = nullptr);
    // Shows the box modally; true when it was closed with OK.
    bool Execute(QWidget* parent = nullptr);
};

// The program's icon in every size it comes in.
QIcon TesselIcon();

}  // namespace tessel
