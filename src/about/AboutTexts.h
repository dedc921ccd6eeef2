#pragma once

// The about box's texts and rules: the language texts, the version text from a file version,
// the operating-system line (the Windows rules, and ours from os-release and uname), the
// physical memory in kilobytes.

#include <QDate>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

namespace tessel {

enum class TLangType { ltFrench, ltEnglish };

struct TAboutTexts {
    QString titlePrefix, memoryLabel, kilobyteUnit, buildWord, iconHint, browserError;
};
const TAboutTexts& AboutTexts(TLangType language);

// A file version "1.2.3.45" as the box shows it: four parts drop the fourth into build
// ("1.2.3", build 45), fewer keep them all (build 0); with format, every part after the first
// gets two digits ("1.02.03"). A fourth part that is no integer raises Exception
// ("'x' is not a valid integer value").
QString VersionText(const QString& fileVersion, bool format, int* build = nullptr);
// Without version information the build is the file's date: "yy.mm.dd".
QString DateBuild(const QDate& date);

// The Windows rules: platform 1 is 9x, 2 is NT, anything else "Windows" with build 0.
struct TWindowsVersion {
    int platform = 2;
    int major = 0, minor = 0;
    uint32_t build = 0;
    QString servicePack;  // the CSD text, empty when none
};
QString WindowsOsText(const TWindowsVersion& v, const QString& buildWord);

// Ours: the os-release file's PRETTY_NAME (else NAME and VERSION, else the kernel's name) and
// the kernel release as the build: "Debian GNU/Linux 12 (bookworm) (Build 6.1.0-18-amd64)".
QString LinuxOsText(const QString& osRelease, const QString& kernelName, const QString& kernelRelease,
                    const QString& buildWord);
// The running system's, from /etc/os-release (or /usr/lib/os-release) and uname.
QString SystemOsText(const QString& buildWord);

// Kilobytes with the locale's thousands separator and the unit: "16,314,880 Kb".
QString MemoryText(uint64_t bytes, const QLocale& locale, const QString& unit);
// The machine's total physical memory in bytes (0 when unknown).
uint64_t PhysicalMemory();

}  // namespace tessel
