// Version information from the build.

#include "about/VersionInfo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QStringList>

#include "about/VersionInfo.generated.h"

namespace tessel {

const char* PreDefKey(TPreDef value) {
    static const char* const kKeys[kPreDefCount] = {"CompanyName",
                                                    "FileDescription",
                                                    "FileVersion",
                                                    "InternalName",
                                                    "LegalCopyright",
                                                    "LegalTrademarks",
                                                    "OriginalFilename",
                                                    "ProductName",
                                                    "ProductVersion",
                                                    "Comments",
                                                    ""};
    return value >= 0 && value < kPreDefCount ? kKeys[value] : "";
}

QString BuildFlagsText(const TBuildFlags& f) {
    QStringList names;
    if (f.debug) names << "Debug";
    if (f.infoInferred) names << "Info Inferred";
    if (f.patched) names << "Patched";
    if (f.preRelease) names << "Pre-Release";
    if (f.privateBuild) names << "Private";
    if (f.specialBuild) names << "Special";
    return names.join(", ");
}

QString BuildVersion() {
    return TESSEL_VERSION;
}

QString BuildHomepage() {
    return TESSEL_HOMEPAGE;
}

TVersionInfoResource::TVersionInfoResource() {
    Read();
}

void TVersionInfoResource::Read() {
    values_.fill(QString());
    has_ = false;
    if (!Filename.isEmpty()) {
        const QString exe = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
        if (exe.isEmpty() || QFileInfo(Filename).canonicalFilePath() != QFileInfo(exe).canonicalFilePath()) return;
    }
    has_ = true;
    // Four numbers, as a version resource holds them.
    QStringList numbers = QString(TESSEL_VERSION).split('.');
    while (numbers.size() < 4) numbers << "0";
    const QString version = numbers.mid(0, 4).join('.');
    values_[pdCompanyName] = TESSEL_COMPANY_NAME;
    values_[pdFileDescription] = TESSEL_FILE_DESCRIPTION;
    values_[pdFileVersion] = version;
    values_[pdInternalName] = TESSEL_INTERNAL_NAME;
    values_[pdLegalCopyright] = TESSEL_LEGAL_COPYRIGHT;
    values_[pdLegalTrademarks] = TESSEL_LEGAL_TRADEMARKS;
    values_[pdOriginalFilename] = TESSEL_ORIGINAL_FILENAME;
    values_[pdProductName] = TESSEL_PRODUCT_NAME;
    values_[pdProductVersion] = version;
    values_[pdComments] = TESSEL_COMMENTS;
    TBuildFlags flags;
#ifdef TESSEL_DEBUG_BUILD
    flags.debug = true;
#endif
    values_[pdBuildFlags] = BuildFlagsText(flags);
    if (VersionLabel) VersionLabel->setText(values_[pdFileVersion]);
    if (CopyrightLabel) CopyrightLabel->setText(values_[pdLegalCopyright]);
    if (ProductLabel) ProductLabel->setText(values_[pdProductName]);
    if (DescriptionLabel) DescriptionLabel->setText(values_[pdFileDescription]);
}

QString TVersionInfoResource::Value(const QString& key) const {
    for (int i = 0; i < pdBuildFlags; ++i)
        if (key.compare(PreDefKey(static_cast<TPreDef>(i)), Qt::CaseInsensitive) == 0) return values_[i];
    return QString();
}

}  // namespace tessel
