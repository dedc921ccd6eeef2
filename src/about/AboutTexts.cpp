// The about box's texts and rules.

#include "about/AboutTexts.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>

#include <QFile>
#include <QStringList>

#include "base/Exceptions.h"

namespace tessel {

const TAboutTexts& AboutTexts(TLangType language) {
    static const TAboutTexts english{"About",        "Physical memory available",
                                     "Kb",           "Build",
                                     "Double-click", "Error while launching the default browser."};
    static const TAboutTexts french{"A propos de",  "M\u00E9moire physique disponible",
                                    "Ko",           "Construction",
                                    "Double-click", "Erreur lors du lancement du navigateur par d\u00E9faut."};
    return language == TLangType::ltFrench ? french : english;
}

QString VersionText(const QString& fileVersion, bool format, int* build) {
    QStringList parts = fileVersion.split('.');
    int number = 0;
    if (parts.size() == 4) {
        bool ok = false;
        number = parts.back().trimmed().toInt(&ok);
        if (!ok) throw Exception("'" + parts.back().toStdString() + "' is not a valid integer value");
        parts.removeLast();
    }
    if (format)
        for (qsizetype i = 1; i < parts.size(); ++i)
            if (parts[i].size() < 2) parts[i] = "0" + parts[i];
    if (build) *build = number;
    return parts.join('.');
}

QString DateBuild(const QDate& date) {
    return date.toString("yy.MM.dd");
}

QString WindowsOsText(const TWindowsVersion& v, const QString& buildWord) {
    QString name;
    uint32_t build = v.build;
    if (v.platform == 1) {
        name = v.minor < 10 ? "Windows 95" : v.minor < 90 ? "Windows 98" : "Windows Millennium";
        build &= 0xFFFF;
    } else if (v.platform == 2) {
        if (v.major == 4)
            name = "Windows NT";
        else if (v.major > 4 && v.minor == 0)
            name = "Windows 2000";
        else if (v.major > 4 && v.minor == 1)
            name = "Windows XP";
    } else {
        return QString("Windows %1.%2").arg(v.major).arg(v.minor);
    }
    const QString version = QString("%1.%2").arg(v.major).arg(v.minor);
    if (v.servicePack.isEmpty()) return QString("%1 %2 (%3 %4)").arg(name, version, buildWord).arg(build);
    if (name == "Windows 2000" || name == "Windows XP")
        return QString("%1 (%2 %3: %4)").arg(name, buildWord).arg(build).arg(v.servicePack);
    return QString("%1 %2 (%3 %4: %5)").arg(name, version, buildWord).arg(build).arg(v.servicePack);
}

namespace {

// KEY=value lines; values may be quoted, with backslash escapes inside the quotes.
QString OsReleaseValue(const QString& text, const QString& key) {
    for (const QString& raw : text.split('\n')) {
        const QString line = raw.trimmed();
        if (!line.startsWith(key + "=")) continue;
        QString value = line.mid(key.size() + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
            const QChar quote = value.front();
            value = value.mid(1, value.size() - 2);
            if (quote == '"') {
                QString unescaped;
                for (qsizetype i = 0; i < value.size(); ++i) {
                    if (value[i] == '\\' && i + 1 < value.size()) ++i;
                    unescaped += value[i];
                }
                value = unescaped;
            }
        }
        return value;
    }
    return QString();
}

}  // namespace

QString LinuxOsText(const QString& osRelease, const QString& kernelName, const QString& kernelRelease,
                    const QString& buildWord) {
    QString name = OsReleaseValue(osRelease, "PRETTY_NAME");
    if (name.isEmpty()) {
        name = OsReleaseValue(osRelease, "NAME");
        const QString version = OsReleaseValue(osRelease, "VERSION");
        if (!name.isEmpty() && !version.isEmpty()) name += " " + version;
    }
    if (name.isEmpty()) name = kernelName.isEmpty() ? QString("Linux") : kernelName;
    if (kernelRelease.isEmpty()) return name;
    return QString("%1 (%2 %3)").arg(name, buildWord, kernelRelease);
}

QString SystemOsText(const QString& buildWord) {
    QString osRelease;
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            osRelease = QString::fromUtf8(file.readAll());
            break;
        }
    }
    utsname u{};
    QString sysname, release;
    if (uname(&u) == 0) {
        sysname = QString::fromLocal8Bit(u.sysname);
        release = QString::fromLocal8Bit(u.release);
    }
    return LinuxOsText(osRelease, sysname, release, buildWord);
}

QString MemoryText(uint64_t bytes, const QLocale& locale, const QString& unit) {
    QLocale grouped = locale;
    grouped.setNumberOptions(grouped.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouped.toString(static_cast<qulonglong>(bytes >> 10)) + " " + unit;
}

uint64_t PhysicalMemory() {
    struct sysinfo info {};
    if (sysinfo(&info) != 0) return 0;
    return static_cast<uint64_t>(info.totalram) * info.mem_unit;
}

}  // namespace tessel
