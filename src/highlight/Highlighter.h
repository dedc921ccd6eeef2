#pragma once

// The highlighter framework: token attributes and the highlighter base.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "highlight/HighlighterTypes.h"

namespace tessel {

class TIniFile;
class TStrings;
class TCustomHighlighter;

// The named style of one kind of token: foreground, background and font style. A colour of
// clNone means the client's own colour applies.
class THighlighterAttributes : public TAssignable {
public:
    using TChangeEvent = std::function<void(THighlighterAttributes* sender)>;

    explicit THighlighterAttributes(std::string name);

    const char* ClassName() const override { return "THighlighterAttributes"; }

    // From another attribute: copies Name, Background, Foreground and Style and calls Changed
    // once when any of the three values differed. Any other source raises the assign error.
    void Assign(const TAssignable& source) override;

    const std::string& Name() const { return name_; }

    TColor Background() const { return background_; }
    void SetBackground(TColor value);
    TColor Foreground() const { return foreground_; }
    void SetForeground(TColor value);
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles value);
    // The style as bits 0..3 (bold, italic, underline, strike-out); higher bits are ignored.
    unsigned StyleBits() const { return style_.Bits(); }
    void SetStyleBits(unsigned bits) { SetStyle(TFontStyles::FromBits(bits)); }

    // Stored definitions carry a value only when it differs from the default saved when the
    // highlighter was built.
    void SaveDefaults();
    bool IsBackgroundStored() const { return background_ != defaultBackground_; }
    bool IsForegroundStored() const { return foreground_ != defaultForeground_; }
    bool IsStyleStored() const { return style_ != defaultStyle_; }

    TChangeEvent OnChange;

    virtual void Changed();

    // Reads one colour entry of an IDE's editor settings from the key-value store: in the old
    // layout the string value `name` of the section `keyPath` holds seven comma-separated
    // fields; in the new layout the section `keyPath\name` holds the separate values. True only
    // when the entry was read completely; values set before a failing field stay set.
    virtual bool ImportIdeColors(const TIniFile& root, const std::string& keyPath, const std::string& name,
                                 bool oldLayout);

private:
    bool ImportOldLayout(const TIniFile& root, const std::string& keyPath, const std::string& name);
    bool ImportNewLayout(const TIniFile& root, const std::string& keyPath, const std::string& name);

    TColor background_ = clNone;
    TColor defaultBackground_ = clNone;
    TColor foreground_ = clNone;
    TColor defaultForeground_ = clNone;
    std::string name_;
    TFontStyles style_;
    TFontStyles defaultStyle_;
};

// The sixteen colours of the standard palette, index 0 (black) to 15 (white).
TColor StandardPaletteColor(int index);

// What a highlighter class supports besides scanning.
enum class THighlighterCapability : uint8_t { capUserSettings = 1, capRegistry = 2 };
using THighlighterCapabilities = uint8_t;  // a set of THighlighterCapability bits

// A line-by-line tokenizer with a style per token; the editor and the print job drive it.
//
// Scanning one line:
//   1. ResetLineState() for the first line or a fresh scan, else SetLineState(stored state);
//   2. StartLine(text, index) - the highlighter keeps a view of the caller's text, which must
//      stay alive and unchanged until the next StartLine, and scans the first token;
//   3. while !AtLineEnd(): read TokenStart/TokenText/TokenKindCode/TokenStyle, then Advance();
//   4. at the line end LineState() is the state at the start of the next line.
// Tokens cover the line without gaps; the last one is an empty end marker with a null style.
// Positions count characters (UTF-8 code points), never bytes. A NUL character ends the line.
// Line states are opaque: clients store them and compare them for equality; 0 means nothing
// is open at the line start.
class TCustomHighlighter : public TAssignable {
public:
    using TLineState = intptr_t;
    using TNotifyEvent = std::function<void(TCustomHighlighter* sender)>;

    TCustomHighlighter();
    ~TCustomHighlighter() override;
    TCustomHighlighter(const TCustomHighlighter&) = delete;
    TCustomHighlighter& operator=(const TCustomHighlighter&) = delete;

    const char* ClassName() const override { return "TCustomHighlighter"; }

    // From another highlighter: every own attribute takes the values of the source's attribute
    // of the same name; SampleText comes along when the classes are the same; then
    // WordDelimiters, DefaultFilter and Enabled.
    void Assign(const TAssignable& source) override;

    // Attributes, in case-insensitive name order.
    virtual int AttributeCount() const;
    // Null when the index is outside 0..AttributeCount()-1.
    virtual THighlighterAttributes* AttributeAt(int index) const;
    // Roles: 0 comment, 1 identifier, 2 reserved word, 3 string, 4 whitespace, 5 symbol.
    virtual THighlighterAttributes* StandardAttribute(int role) const = 0;

    virtual std::string DefaultFilter() const { return defaultFilter_; }
    virtual void SetDefaultFilter(const std::string& value) { defaultFilter_ = value; }
    virtual bool IsDefaultFilterStored() const { return true; }

    // Characters that may form a word; the base class takes every code from '!' to 255.
    virtual TCharSet IdentifierChars() const;
    const TCharSet& WordDelimiters() const { return wordDelimiters_; }
    virtual void SetWordDelimiters(const TCharSet& value) { wordDelimiters_ = value; }
    // The delimiters a new highlighter starts with: " ' ! ( ) * + , - . / : ; = ? [ \ ] ^ { | }
    static TCharSet DefaultWordDelimiters();

    virtual std::string SampleText() const { return std::string(); }
    virtual void SetSampleText(const std::string& /*value*/) {}

    virtual THighlighterCapabilities Capabilities() const;
    virtual std::string LanguageTitle() const { return "<Unknown>"; }

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);

    // --- token iteration --------------------------------------------------------------------
    virtual bool AtLineEnd() const = 0;
    virtual TLineState LineState() const { return 0; }
    virtual std::string TokenText() const = 0;
    virtual THighlighterAttributes* TokenStyle() const = 0;
    virtual int TokenKindCode() const = 0;
    // 0-based character offset of the current token in the line.
    virtual int TokenStart() const = 0;
    virtual bool IsReservedWord(std::string_view text) const;
    virtual void Advance() = 0;
    virtual void StartLine(std::string_view text, int lineIndex) = 0;
    // The highlighter keeps a view of the text, so a temporary string would dangle at once.
    void StartLine(std::string&& text, int lineIndex) = delete;
    void StartLine(const char* text, int lineIndex) { StartLine(std::string_view(text), lineIndex); }
    virtual void SetLineState(TLineState /*value*/) {}
    virtual void ResetLineState() {}
    // Calls Advance until AtLineEnd.
    void SkipToLineEnd();

    // --- user settings and key-value storage (nothing in the program calls these) -----------
    virtual bool ApplyUserSettings(int /*settingIndex*/) { return false; }
    virtual void ListUserSettings(TStrings& list);
    // Reads the attributes from the sections "<keyPath>\<attribute name>", values "Background",
    // "Foreground" and "Style" (each only when present). False, ending the walk, at the first
    // attribute without a section; later attributes keep their values.
    virtual bool ReadFromRegistry(const TIniFile& root, const std::string& keyPath);
    // Writes every attribute the same way; the caller writes the file.
    virtual bool WriteToRegistry(TIniFile& root, const std::string& keyPath);

    // --- building and change notification ---------------------------------------------------
    // Takes ownership; a second attribute with an existing name (in any case) raises
    // "String list does not allow duplicates".
    THighlighterAttributes* AddAttribute(std::unique_ptr<THighlighterAttributes> attribute);
    // Routes every attribute's OnChange to NotifyAttributeChange and saves its defaults.
    void BindAttributes();
    // Calls every hooked handler in hook order with this highlighter as sender.
    void NotifyAttributeChange();
    // `receiver` identifies the handler for UnhookAttributeChanges.
    void HookAttributeChanges(const void* receiver, TNotifyEvent handler);
    void UnhookAttributeChanges(const void* receiver);

private:
    struct Hook {
        const void* receiver;
        TNotifyEvent handler;
    };
    std::vector<std::unique_ptr<THighlighterAttributes>> attributes_;  // sorted by name
    std::vector<Hook> hooks_;
    TCharSet wordDelimiters_;
    std::string defaultFilter_;
    bool enabled_ = true;
};

// --- the list of highlighter classes ------------------------------------------------------

struct THighlighterClass {
    const char* name;
    std::unique_ptr<TCustomHighlighter> (*create)();
};

// Highlighter classes in the order they were registered.
const std::vector<const THighlighterClass*>& RegisteredHighlighters();
// Appends the class unless it is already listed.
void RegisterHighlighterClass(const THighlighterClass* highlighterClass);

}  // namespace tessel
