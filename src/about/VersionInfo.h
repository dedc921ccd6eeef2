#pragma once

// The version information of a program, as the build sets it once (CMake's project version
// and the values beside it): the string values by key, the file and product versions, and the
// build flags. The executable (an empty Filename, or the running program's path) has the
// build's values; any other file has none, as a file without a version resource.

#include <QString>
#include <array>

class QLabel;

namespace tessel {

enum TPreDef {
    pdCompanyName,
    pdFileDescription,
    pdFileVersion,
    pdInternalName,
    pdLegalCopyright,
    pdLegalTrademarks,
    pdOriginalFilename,
    pdProductName,
    pdProductVersion,
    pdComments,
    pdBuildFlags
};
inline constexpr int kPreDefCount = 11;

// The key of a predefined value ("CompanyName", ...; pdBuildFlags has none of its own).
const char* PreDefKey(TPreDef value);

// The flags of a build as the box names them, in their order, joined with ", ".
struct TBuildFlags {
    bool debug = false, infoInferred = false, patched = false, preRelease = false, privateBuild = false,
         specialBuild = false;
};
QString BuildFlagsText(const TBuildFlags& flags);

class TVersionInfoResource {
public:
    TVersionInfoResource();

    // Empty: the executable.
    QString Filename;
    void Read();

    bool HasResource() const { return has_; }
    QString Value(TPreDef key) const { return values_[key]; }
    // A string value by its key, empty when there is none.
    QString Value(const QString& key) const;
    QString CompanyName() const { return Value(pdCompanyName); }
    QString FileDescription() const { return Value(pdFileDescription); }
    QString InternalName() const { return Value(pdInternalName); }
    QString LegalCopyright() const { return Value(pdLegalCopyright); }
    QString LegalTrademarks() const { return Value(pdLegalTrademarks); }
    QString OriginalFilename() const { return Value(pdOriginalFilename); }
    QString ProductName() const { return Value(pdProductName); }
    QString Comments() const { return Value(pdComments); }
    // The numbers "%d.%d.%d.%d".
    QString FileVersion() const { return Value(pdFileVersion); }
    QString ProductVersion() const { return Value(pdProductVersion); }
    // Optional labels it fills: version, copyright, product name and description.
    QLabel* VersionLabel = nullptr;
    QLabel* CopyrightLabel = nullptr;
    QLabel* ProductLabel = nullptr;
    QLabel* DescriptionLabel = nullptr;

private:
    bool has_ = false;
    std::array<QString, kPreDefCount> values_;
};

// The build's own version, "0.9.0.1", and the project's web address.
QString BuildVersion();
QString BuildHomepage();

}  // namespace tessel
