// The about box.

#include "about/AboutDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <algorithm>

#include "about/LinkLabel.h"
#include "about/VersionInfo.h"
#include "base/ErrorHandler.h"
#include "base/Exceptions.h"

namespace tessel {

QIcon TesselIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/tessel/icons/%1x%1/tessel.png").arg(size), QSize(size, size));
    return icon;
}

namespace {

// The box's picture: a strip of tiles under the program's name.
QPixmap AboutPicture() {
    QPixmap pixmap(190, 71);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colors[] = {QColor(0x24, 0x55, 0x8f), QColor(0xf3, 0xa5, 0x30), QColor(0x9c, 0xc3, 0xec)};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 19; ++col) {
            const QColor c = colors[(row + col * 2) % 3];
            p.fillRect(QRectF(col * 10 + (row % 2) * 5 - 5, 44 + row * 9, 9, 8), c);
        }
    QFont f("Sans Serif");
    f.setPixelSize(30);
    f.setBold(true);
    p.setFont(f);
    p.setPen(colors[0]);
    p.drawText(QRect(0, 0, 190, 42), Qt::AlignLeft | Qt::AlignVCenter, "Tessel");
    return pixmap;
}

QLabel* Label(QWidget* parent, const char* name, int left, int top) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->move(left, top);
    return label;
}

TLinkLabel* Link(QWidget* parent, const char* name, int left, int top) {
    auto* label = new TLinkLabel(parent);
    label->setObjectName(name);
    label->move(left, top);
    label->URL.clear();  // the box opens them itself
    label->SetFontColor(QColor(0, 0, 128));
    return label;
}

}  // namespace

TAboutBox::TAboutBox(TLangType language, QWidget* parent) : QDialog(parent), texts_(AboutTexts(language)) {
    setObjectName("AboutBox");
    setWindowTitle("About");
    // A dialog border: a caption and a close button, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(344, 293);
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    ProgramIcon = Label(this, "ProgramIcon", 16, 19);
    ProgramIcon->resize(41, 41);
    ProgramIcon->setAlignment(Qt::AlignCenter);
    ProgramIcon->installEventFilter(this);
    ApplicationLabel = Label(this, "ApplicationLabel", 82, 18);
    QFont bold("MS Sans Serif");
    bold.setPointSize(10);
    bold.setBold(true);
    ApplicationLabel->setFont(bold);
    VersionLabel = Label(this, "VersionLabel", 82, 36);
    CopyrightLabel = Label(this, "CopyrightLabel", 82, 54);
    AuthorLabel = Label(this, "AuthorLabel", 82, 72);
    EmailLabel = Link(this, "EmailLabel", 82, 86);
    EmailLabel->OnClick = [this] { RunGuarded([this] { EmailLabelClick(); }); };
    URLLabel = Link(this, "URLLabel", 82, 101);
    URLLabel->OnClick = [this] { RunGuarded([this] { URLLabelClick(); }); };
    TextLabel = Label(this, "TextLabel", 82, 120);
    TextLabel->setWordWrap(true);
    auto* bevel = new QFrame(this);
    bevel->setObjectName("Bevel1");
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(82, 166, 251, 2);
    Bevel1 = bevel;
    PhysicalMemoryLabel = Label(this, "PhysicalMemoryLabel", 82, 176);
    // Right-aligned: its right edge stays at the bevel's end as the amount grows.
    PhysMem = Label(this, "PhysMem", 280, 176);
    PhysMem->setAlignment(Qt::AlignRight | Qt::AlignTop);
    OSInformationsLabel = Label(this, "OSInformationsLabel", 82, 199);
    Image1 = Label(this, "Image1", 8, 216);
    Image1->setPixmap(AboutPicture());
    Image1->resize(190, 71);
    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(256, 239, 75, 23);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    // When created: the operating system, the memory, the icon's hint.
    OSInformationsLabel->setText(SystemOsText(texts_.buildWord));
    PhysMem->setText(MemoryText(PhysicalMemory(), QLocale(), texts_.kilobyteUnit));
    ProgramIcon->setToolTip(QFileInfo::exists(ReadMeFile()) ? texts_.iconHint : QString());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QString TAboutBox::ReadMeFile() {
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    return exe.absolutePath() + "/" + exe.completeBaseName() + ".txt";
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ProgramIcon && event->type() == QEvent::MouseButtonDblClick) {
        RunGuarded([this] { ProgramIconDblClick(); });
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::ProgramIconDblClick() {
    const QString file = ReadMeFile();
    if (QFileInfo::exists(file)) TLinkLabel::OpenUrl(QUrl::fromLocalFile(file));
}

void TAboutBox::EmailLabelClick() {
    TLinkLabel::OpenUrl(QUrl("mailto:" + EmailLabel->text()));
}

void TAboutBox::URLLabelClick() {
    const QUrl url = QUrl::fromUserInput(URLLabel->text());
    if (!url.isValid() || URLLabel->text().isEmpty()) return;
    if (!TLinkLabel::OpenUrl(url)) throw Exception(texts_.browserError.toStdString());
}

TAboutDialog::TAboutDialog(QObject* parent) : QObject(parent) {
    setObjectName("dlgAbout");
}

std::unique_ptr<TAboutBox> TAboutDialog::CreateBox(QWidget* parent) {
    const TAboutTexts& texts = AboutTexts(LangType);
    int build = 0;
    QString version = Version, copyright = Copyright;
    if (Options & opEnableVersionInfo) {
        const TVersionInfoResource info;
        copyright = info.LegalCopyright();
        version = "Version " + VersionText(info.FileVersion(), Options & opFormatVersionInfo, &build);
    }
    auto box = std::make_unique<TAboutBox>(LangType, parent);
    const QString title = QGuiApplication::applicationDisplayName();
    box->setWindowTitle(texts.titlePrefix + " " + title);
    box->ApplicationLabel->setText(title);
    box->AuthorLabel->setText(Author);
    box->CopyrightLabel->setText(copyright);
    box->EmailLabel->setText(Email);
    box->TextLabel->setText(Text);
    box->URLLabel->setText(URL);
    if (Options & opShowBuildNumber) {
        const QString number =
            (Options & opEnableVersionInfo)
                ? QString::number(build)
                : DateBuild(QFileInfo(QCoreApplication::applicationFilePath()).lastModified().date());
        version += " - " + texts.buildWord + " " + number;
    }
    box->VersionLabel->setText(version);
    box->PhysicalMemoryLabel->setText(texts.memoryLabel + " :");
    box->AuthorLabel->setVisible(Options & opShowAuthor);
    box->EmailLabel->setVisible(Options & opShowEmail);
    box->OSInformationsLabel->setVisible(Options & opShowOSInformations);
    box->TextLabel->setVisible(Options & opShowText);
    box->URLLabel->setVisible(Options & opShowURL);
    for (QLabel* label : box->findChildren<QLabel*>())
        if (label != box->ProgramIcon && label != box->Image1 && label != box->TextLabel) label->adjustSize();
    // The free text wraps within the room above the line; what does not fit is cut.
    box->TextLabel->setFixedWidth(251);
    box->TextLabel->adjustSize();
    box->TextLabel->setFixedHeight(std::min(box->TextLabel->height(), 166 - 120 - 2));
    // The amount keeps its right edge where the bevel ends.
    box->PhysMem->adjustSize();
    box->PhysMem->move(333 - box->PhysMem->width(), 176);
    // A long system name is cut to the line's width; the whole of it is the label's tip.
    const QString os = box->OSInformationsLabel->text();
    box->OSInformationsLabel->setToolTip(os);
    box->OSInformationsLabel->setText(box->OSInformationsLabel->fontMetrics().elidedText(os, Qt::ElideRight, 251));
    box->OSInformationsLabel->adjustSize();
    box->ProgramIcon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    return box;
}

bool TAboutDialog::Execute(QWidget* parent) {
    std::unique_ptr<TAboutBox> box = CreateBox(parent);
    return box->exec() == QDialog::Accepted;
}

}  // namespace tessel
