// The highlighter framework: attributes, ranges, the scanning loop.

#include "highlight/Highlighter.h"

#include <algorithm>
#include <cctype>
#include <typeinfo>

#include "base/IniFile.h"
#include "base/StringList.h"

namespace tessel {

// --- TAssignable ---------------------------------------------------------------------------

void TAssignable::Assign(const TAssignable& source) {
    AssignError(&source);
}

void TAssignable::AssignError(const TAssignable* source) const {
    const std::string sourceName = source ? source->ClassName() : "nil";
    throw EHighlighterError("Cannot assign a " + sourceName + " to a " + ClassName());
}

// --- THighlighterAttributes ----------------------------------------------------------------

THighlighterAttributes::THighlighterAttributes(std::string name) : name_(std::move(name)) {}

void THighlighterAttributes::Assign(const TAssignable& source) {
    const auto* other = dynamic_cast<const THighlighterAttributes*>(&source);
    if (!other) AssignError(&source);
    if (other == this) return;
    name_ = other->name_;
    const bool differs =
        background_ != other->background_ || foreground_ != other->foreground_ || style_ != other->style_;
    background_ = other->background_;
    foreground_ = other->foreground_;
    style_ = other->style_;
    if (differs) Changed();
}

void THighlighterAttributes::SetBackground(TColor value) {
    if (background_ == value) return;
    background_ = value;
    Changed();
}

void THighlighterAttributes::SetForeground(TColor value) {
    if (foreground_ == value) return;
    foreground_ = value;
    Changed();
}

void THighlighterAttributes::SetStyle(TFontStyles value) {
    if (style_ == value) return;
    style_ = value;
    Changed();
}

void THighlighterAttributes::SaveDefaults() {
    defaultBackground_ = background_;
    defaultForeground_ = foreground_;
    defaultStyle_ = style_;
}

void THighlighterAttributes::Changed() {
    if (OnChange) OnChange(this);
}

TColor StandardPaletteColor(int index) {
    // 0x00BBGGRR
    static constexpr TColor palette[16] = {
        0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
        0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
    };
    return index >= 0 && index < 16 ? palette[index] : clNone;
}

namespace {

// Key paths are section names of the profile; a subkey is "<path>\\<name>".
std::string KeySection(const std::string& keyPath) {
    std::string path = keyPath;
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

std::string SubKey(const std::string& keyPath, const std::string& name) {
    const std::string path = KeySection(keyPath);
    return path.empty() ? name : path + "\\" + name;
}

// A key exists when a section is the key itself or lies below it.
bool KeyExists(const TIniFile& root, const std::string& keyPath) {
    const std::string path = KeySection(keyPath);
    const std::string prefix = path + "\\";
    for (const std::string& section : root.SectionNames()) {
        if (SameText(section, path)) return true;
        if (section.size() > prefix.size() && SameText(section.substr(0, prefix.size()), prefix)) return true;
    }
    return false;
}

// A palette index 0..15 from its text; nullopt for anything else.
std::optional<int> PaletteIndex(const std::string* text) {
    if (!text) return std::nullopt;
    const std::optional<long long> value = ParseProfileInteger(*text);
    if (!value || *value < 0 || *value > 15) return std::nullopt;
    return static_cast<int>(*value);
}

bool IniFlag(const std::string& text) {
    std::string upper = text;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper != "FALSE" && upper != "0";
}

}  // namespace

bool THighlighterAttributes::ImportIdeColors(const TIniFile& root, const std::string& keyPath, const std::string& name,
                                             bool oldLayout) {
    try {
        return oldLayout ? ImportOldLayout(root, keyPath, name) : ImportNewLayout(root, keyPath, name);
    } catch (...) {
        return false;
    }
}

bool THighlighterAttributes::ImportOldLayout(const TIniFile& root, const std::string& keyPath,
                                             const std::string& name) {
    const std::optional<std::string> entry = root.Value(KeySection(keyPath), name);
    if (!entry) return false;
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t comma = entry->find(',', start);
        fields.push_back(entry->substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    // Field n (1-based), or null when the entry has fewer fields.
    auto field = [&](size_t number) -> const std::string* {
        return number <= fields.size() ? &fields[number - 1] : nullptr;
    };
    // Background first, then foreground, then the style.
    if (!field(5)) return false;
    if (*field(5) == "1") {
        SetBackground(clWindow);
    } else {
        const std::optional<int> index = PaletteIndex(field(7));
        if (!index) return false;
        SetBackground(StandardPaletteColor(*index));
    }
    if (!field(4)) return false;
    if (*field(4) == "1") {
        SetForeground(clWindowText);
    } else {
        const std::optional<int> index = PaletteIndex(field(6));
        if (!index) return false;
        SetForeground(StandardPaletteColor(*index));
    }
    if (!field(3)) return false;
    TFontStyles styles;
    for (char c : *field(3)) {
        switch (std::toupper(static_cast<unsigned char>(c))) {
            case 'B':
                styles.Include(TFontStyle::fsBold);
                break;
            case 'I':
                styles.Include(TFontStyle::fsItalic);
                break;
            case 'U':
                styles.Include(TFontStyle::fsUnderline);
                break;
            default:
                break;
        }
    }
    SetStyle(styles);
    return true;
}

bool THighlighterAttributes::ImportNewLayout(const TIniFile& root, const std::string& keyPath,
                                             const std::string& name) {
    const std::string section = SubKey(keyPath, name);
    const auto fg = root.Value(section, "Foreground Color");
    const auto bg = root.Value(section, "Background Color");
    const auto bold = root.Value(section, "Bold");
    const auto italic = root.Value(section, "Italic");
    const auto underline = root.Value(section, "Underline");
    const auto defaultFg = root.Value(section, "Default Foreground");
    const auto defaultBg = root.Value(section, "Default Background");
    if (!fg || !bg || !bold || !italic || !underline || !defaultFg || !defaultBg) return false;
    if (IniFlag(*defaultBg)) {
        SetBackground(clWindow);
    } else {
        const std::optional<int> index = PaletteIndex(bg ? &*bg : nullptr);
        if (!index) return false;
        SetBackground(StandardPaletteColor(*index));
    }
    if (IniFlag(*defaultFg)) {
        SetForeground(clWindowText);
    } else {
        const std::optional<int> index = PaletteIndex(fg ? &*fg : nullptr);
        if (!index) return false;
        SetForeground(StandardPaletteColor(*index));
    }
    TFontStyles styles;
    if (IniFlag(*bold)) styles.Include(TFontStyle::fsBold);
    if (IniFlag(*italic)) styles.Include(TFontStyle::fsItalic);
    if (IniFlag(*underline)) styles.Include(TFontStyle::fsUnderline);
    SetStyle(styles);
    return true;
}

// --- TCustomHighlighter ---------------------------------------------------------------------

TCustomHighlighter::TCustomHighlighter() : wordDelimiters_(DefaultWordDelimiters()) {}

TCustomHighlighter::~TCustomHighlighter() = default;

TCharSet TCustomHighlighter::DefaultWordDelimiters() {
    TCharSet set;
    for (unsigned char c : std::string_view("\"'!()*+,-./:;=?[\\]^{|}")) set.set(c);
    return set;
}

void TCustomHighlighter::Assign(const TAssignable& source) {
    const auto* other = dynamic_cast<const TCustomHighlighter*>(&source);
    if (!other) AssignError(&source);
    if (other == this) return;
    for (const auto& own : attributes_)
        for (const auto& theirs : other->attributes_)
            if (theirs->Name() == own->Name()) own->Assign(*theirs);
    if (typeid(*other) == typeid(*this)) SetSampleText(other->SampleText());
    SetWordDelimiters(other->WordDelimiters());
    SetDefaultFilter(other->DefaultFilter());
    SetEnabled(other->Enabled());
}

int TCustomHighlighter::AttributeCount() const {
    return static_cast<int>(attributes_.size());
}

THighlighterAttributes* TCustomHighlighter::AttributeAt(int index) const {
    if (index < 0 || index >= AttributeCount()) return nullptr;
    return attributes_[static_cast<size_t>(index)].get();
}

TCharSet TCustomHighlighter::IdentifierChars() const {
    TCharSet set;
    for (unsigned c = '!'; c <= 255; ++c) set.set(c);
    return set;
}

THighlighterCapabilities TCustomHighlighter::Capabilities() const {
    return static_cast<THighlighterCapabilities>(THighlighterCapability::capRegistry);
}

void TCustomHighlighter::SetEnabled(bool value) {
    if (enabled_ == value) return;
    enabled_ = value;
    NotifyAttributeChange();
}

bool TCustomHighlighter::IsReservedWord(std::string_view /*text*/) const {
    return false;
}

void TCustomHighlighter::SkipToLineEnd() {
    while (!AtLineEnd()) Advance();
}

void TCustomHighlighter::ListUserSettings(TStrings& list) {
    list.Clear();
}

bool TCustomHighlighter::ReadFromRegistry(const TIniFile& root, const std::string& keyPath) {
    if (!KeyExists(root, keyPath)) return false;
    for (const auto& attribute : attributes_) {
        const std::string section = SubKey(keyPath, attribute->Name());
        if (!root.SectionExists(section)) return false;
        auto readValue = [&](const char* key) -> std::optional<long long> {
            const std::optional<std::string> text = root.Value(section, key);
            return text ? ParseProfileInteger(*text) : std::nullopt;
        };
        if (const auto v = readValue("Background")) attribute->SetBackground(static_cast<TColor>(*v));
        if (const auto v = readValue("Foreground")) attribute->SetForeground(static_cast<TColor>(*v));
        if (const auto v = readValue("Style")) attribute->SetStyleBits(static_cast<unsigned>(*v));
    }
    return true;
}

bool TCustomHighlighter::WriteToRegistry(TIniFile& root, const std::string& keyPath) {
    for (const auto& attribute : attributes_) {
        const std::string section = SubKey(keyPath, attribute->Name());
        root.WriteInteger(section, "Background", attribute->Background());
        root.WriteInteger(section, "Foreground", attribute->Foreground());
        root.WriteInteger(section, "Style", attribute->StyleBits());
    }
    return true;
}

THighlighterAttributes* TCustomHighlighter::AddAttribute(std::unique_ptr<THighlighterAttributes> attribute) {
    auto pos =
        std::lower_bound(attributes_.begin(), attributes_.end(), attribute->Name(),
                         [](const auto& a, const std::string& name) { return CompareText(a->Name(), name) < 0; });
    if (pos != attributes_.end() && SameText((*pos)->Name(), attribute->Name()))
        throw EHighlighterError("String list does not allow duplicates");
    THighlighterAttributes* added = attribute.get();
    attributes_.insert(pos, std::move(attribute));
    return added;
}

void TCustomHighlighter::BindAttributes() {
    for (const auto& attribute : attributes_) {
        attribute->OnChange = [this](THighlighterAttributes*) { NotifyAttributeChange(); };
        attribute->SaveDefaults();
    }
}

void TCustomHighlighter::NotifyAttributeChange() {
    // A handler may unhook itself; walk a copy.
    const std::vector<Hook> hooks = hooks_;
    for (const Hook& hook : hooks)
        if (hook.handler) hook.handler(this);
}

void TCustomHighlighter::HookAttributeChanges(const void* receiver, TNotifyEvent handler) {
    hooks_.push_back({receiver, std::move(handler)});
}

void TCustomHighlighter::UnhookAttributeChanges(const void* receiver) {
    auto it = std::find_if(hooks_.begin(), hooks_.end(), [receiver](const Hook& h) { return h.receiver == receiver; });
    if (it != hooks_.end()) hooks_.erase(it);
}

// --- class list ----------------------------------------------------------------------------

namespace {
std::vector<const THighlighterClass*>& ClassList() {
    static std::vector<const THighlighterClass*> list;
    return list;
}
}  // namespace

const std::vector<const THighlighterClass*>& RegisteredHighlighters() {
    return ClassList();
}

void RegisterHighlighterClass(const THighlighterClass* highlighterClass) {
    auto& list = ClassList();
    if (std::find(list.begin(), list.end(), highlighterClass) == list.end()) list.push_back(highlighterClass);
}

}  // namespace tessel
