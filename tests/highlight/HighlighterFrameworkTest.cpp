// Tests of the highlighter framework.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/IniFile.h"
#include "base/StringList.h"
#include "highlight/SQLHighlighter.h"

namespace tessel {
namespace {

// A minimal highlighter over the base class: one token per line, to see what the base gives.
class TPlainHighlighter : public TCustomHighlighter {
public:
    TPlainHighlighter() {
        text_ = AddAttribute(std::make_unique<THighlighterAttributes>("Text"));
        AddAttribute(std::make_unique<THighlighterAttributes>("alpha"));
        AddAttribute(std::make_unique<THighlighterAttributes>("Beta"));
        BindAttributes();
    }
    const char* ClassName() const override { return "TPlainHighlighter"; }
    THighlighterAttributes* StandardAttribute(int) const override { return text_; }
    bool AtLineEnd() const override { return atEnd_; }
    std::string TokenText() const override { return atEnd_ ? "" : std::string(line_); }
    THighlighterAttributes* TokenStyle() const override { return atEnd_ ? nullptr : text_; }
    int TokenKindCode() const override { return atEnd_; }
    int TokenStart() const override { return atEnd_ ? static_cast<int>(line_.size()) : 0; }
    void Advance() override { atEnd_ = true; }
    using TCustomHighlighter::StartLine;
    void StartLine(std::string_view text, int) override {
        line_ = text;
        atEnd_ = text.empty();
    }

private:
    THighlighterAttributes* text_;
    std::string_view line_;
    bool atEnd_ = true;
};

TEST(HighlighterAttributesTest, SettersNotifyOnlyOnRealChanges) {
    THighlighterAttributes a("Comment");
    EXPECT_EQ(a.Name(), "Comment");
    EXPECT_EQ(a.Background(), clNone);
    EXPECT_EQ(a.Foreground(), clNone);
    EXPECT_TRUE(a.Style().Empty());
    int changes = 0;
    a.OnChange = [&](THighlighterAttributes* sender) {
        EXPECT_EQ(sender, &a);
        ++changes;
    };
    a.SetBackground(clNone);
    a.SetForeground(clNone);
    a.SetStyle({});
    EXPECT_EQ(changes, 0);
    a.SetBackground(0x00FF00);
    EXPECT_EQ(changes, 1);
    a.SetBackground(0x00FF00);
    a.SetForeground(clWindowText);
    a.SetStyle({TFontStyle::fsBold});
    a.SetStyleBits(1 | 16);  // higher bits are ignored: still just bold
    EXPECT_EQ(changes, 3);
}

TEST(HighlighterAttributesTest, StyleBits) {
    THighlighterAttributes a("x");
    using enum TFontStyle;
    const struct {
        unsigned bits;
        TFontStyles style;
    } cases[] = {{0, {}},
                 {1, {fsBold}},
                 {2, {fsItalic}},
                 {4, {fsUnderline}},
                 {8, {fsStrikeOut}},
                 {15, {fsBold, fsItalic, fsUnderline, fsStrikeOut}},
                 {0xF5, {fsBold, fsUnderline}}};
    for (const auto& c : cases) {
        a.SetStyleBits(c.bits);
        EXPECT_EQ(a.Style(), c.style) << c.bits;
        EXPECT_EQ(a.StyleBits(), c.bits & 15);
    }
}

TEST(HighlighterAttributesTest, StoredOnlyWhenDifferentFromSavedDefaults) {
    THighlighterAttributes a("x");
    a.SetStyle({TFontStyle::fsBold});
    a.SaveDefaults();
    EXPECT_FALSE(a.IsBackgroundStored() || a.IsForegroundStored() || a.IsStyleStored());
    a.SetForeground(0x123456);
    EXPECT_TRUE(a.IsForegroundStored());
    EXPECT_FALSE(a.IsBackgroundStored() || a.IsStyleStored());
    a.SetStyle({});
    EXPECT_TRUE(a.IsStyleStored());
    a.SetForeground(clNone);
    EXPECT_FALSE(a.IsForegroundStored());
}

TEST(HighlighterAttributesTest, AssignCopiesNameAndValuesAndNotifiesOnce) {
    THighlighterAttributes source("Source");
    source.SetBackground(1);
    source.SetForeground(2);
    source.SetStyle({TFontStyle::fsItalic});
    THighlighterAttributes target("Target");
    int changes = 0;
    target.OnChange = [&](THighlighterAttributes*) { ++changes; };
    target.Assign(source);
    EXPECT_EQ(target.Name(), "Source");
    EXPECT_EQ(target.Background(), 1u);
    EXPECT_EQ(target.Foreground(), 2u);
    EXPECT_EQ(target.Style(), TFontStyles{TFontStyle::fsItalic});
    EXPECT_EQ(changes, 1);
    target.Assign(source);
    EXPECT_EQ(changes, 1);
    TPlainHighlighter hl;
    try {
        target.Assign(hl);
        FAIL() << "no error";
    } catch (const EHighlighterError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TPlainHighlighter to a THighlighterAttributes");
    }
}

TEST(CustomHighlighterTest, BaseDefaults) {
    TPlainHighlighter hl;
    EXPECT_TRUE(hl.Enabled());
    EXPECT_EQ(hl.DefaultFilter(), "");
    EXPECT_TRUE(hl.IsDefaultFilterStored());
    EXPECT_EQ(hl.SampleText(), "");
    EXPECT_EQ(hl.LanguageTitle(), "<Unknown>");
    EXPECT_EQ(hl.LineState(), 0);
    EXPECT_FALSE(hl.IsReservedWord("select"));
    EXPECT_EQ(hl.Capabilities(), static_cast<THighlighterCapabilities>(THighlighterCapability::capRegistry));
    EXPECT_FALSE(hl.ApplyUserSettings(0));
    TStringList list{"a", "b"};
    hl.ListUserSettings(list);
    EXPECT_EQ(list.Count(), 0);
    const TCharSet delimiters = hl.WordDelimiters();
    EXPECT_EQ(delimiters.count(), 22u);  // the characters listed for the default
    for (char c : std::string("\"'!()*+,-./:;=?[\\]^{|}"))
        EXPECT_TRUE(delimiters.test(static_cast<unsigned char>(c))) << c;
    const TCharSet identifiers = hl.IdentifierChars();
    EXPECT_EQ(identifiers.count(), 255u - 33u + 1u);
    EXPECT_FALSE(identifiers.test(' '));
    EXPECT_TRUE(identifiers.test('!') && identifiers.test(255));
}

TEST(CustomHighlighterTest, AttributeListIsSortedAndRejectsDuplicates) {
    TPlainHighlighter hl;
    ASSERT_EQ(hl.AttributeCount(), 3);
    EXPECT_EQ(hl.AttributeAt(0)->Name(), "alpha");
    EXPECT_EQ(hl.AttributeAt(1)->Name(), "Beta");
    EXPECT_EQ(hl.AttributeAt(2)->Name(), "Text");
    EXPECT_EQ(hl.AttributeAt(-1), nullptr);
    EXPECT_EQ(hl.AttributeAt(hl.AttributeCount()), nullptr);
    try {
        hl.AddAttribute(std::make_unique<THighlighterAttributes>("BETA"));
        FAIL() << "no error";
    } catch (const EHighlighterError& e) {
        EXPECT_STREQ(e.what(), "String list does not allow duplicates");
    }
    EXPECT_EQ(hl.AttributeCount(), 3);
}

TEST(CustomHighlighterTest, ChangeChainRunsInHookOrder) {
    TPlainHighlighter hl;
    std::vector<std::string> calls;
    int first = 0, second = 0;
    hl.HookAttributeChanges(&first, [&](TCustomHighlighter* sender) {
        EXPECT_EQ(sender, &hl);
        calls.push_back("first");
    });
    hl.HookAttributeChanges(&second, [&](TCustomHighlighter*) { calls.push_back("second"); });
    hl.SetEnabled(false);
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));
    hl.SetEnabled(false);
    EXPECT_EQ(calls.size(), 2u);
    hl.AttributeAt(0)->SetForeground(0xFF);  // attribute changes reach the chain
    EXPECT_EQ(calls.size(), 4u);
    hl.UnhookAttributeChanges(&first);
    hl.SetEnabled(true);
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second", "first", "second", "second"}));
}

TEST(CustomHighlighterTest, SkipToLineEndAndEmptyLines) {
    TPlainHighlighter hl;
    hl.StartLine("", 0);
    EXPECT_TRUE(hl.AtLineEnd());
    hl.SkipToLineEnd();
    EXPECT_TRUE(hl.AtLineEnd());
    hl.StartLine("abc", 1);
    EXPECT_FALSE(hl.AtLineEnd());
    hl.SkipToLineEnd();
    EXPECT_TRUE(hl.AtLineEnd());
    EXPECT_EQ(hl.TokenStart(), 3);
    EXPECT_EQ(hl.TokenStyle(), nullptr);
}

TEST(CustomHighlighterTest, AssignMatchesAttributesByName) {
    TSQLHighlighter sql;
    sql.CommentAttri()->SetForeground(0x112233);
    sql.SetDefaultFilter("F");
    sql.SetEnabled(false);
    TCharSet delimiters;
    delimiters.set(',');
    sql.SetWordDelimiters(delimiters);
    TPlainHighlighter plain;
    plain.AddAttribute(std::make_unique<THighlighterAttributes>("Comment"));
    plain.Assign(sql);
    EXPECT_EQ(plain.AttributeAt(2)->Name(), "Comment");
    EXPECT_EQ(plain.AttributeAt(2)->Foreground(), 0x112233u);
    EXPECT_EQ(plain.DefaultFilter(), "F");
    EXPECT_FALSE(plain.Enabled());
    EXPECT_EQ(plain.WordDelimiters(), delimiters);
    THighlighterAttributes attribute("x");
    EXPECT_THROW(plain.Assign(attribute), EHighlighterError);
}

TEST(CustomHighlighterTest, KeyValueStorageRoundTrip) {
    TSQLHighlighter written;
    written.KeyAttri()->SetForeground(0x0000FF);
    written.KeyAttri()->SetBackground(clWindow);
    written.CommentAttri()->SetStyleBits(6);
    TIniFile store("unused.ini", "");
    ASSERT_TRUE(written.WriteToRegistry(store, "Software\\Tessel\\SQL"));
    EXPECT_EQ(store.ReadInteger("Software\\Tessel\\SQL\\Reserved word", "Foreground", -1), 0xFF);
    EXPECT_EQ(store.ReadInteger("Software\\Tessel\\SQL\\Reserved word", "Background", -1),
              static_cast<long long>(clWindow));

    TSQLHighlighter read;
    EXPECT_FALSE(read.ReadFromRegistry(store, "Software\\Other"));
    ASSERT_TRUE(read.ReadFromRegistry(store, "Software\\Tessel\\SQL\\"));
    EXPECT_EQ(read.KeyAttri()->Foreground(), 0x0000FFu);
    EXPECT_EQ(read.KeyAttri()->Background(), clWindow);
    EXPECT_EQ(read.CommentAttri()->StyleBits(), 6u);
}

TEST(CustomHighlighterTest, ReadStopsAtTheFirstMissingAttribute) {
    // Sections for the first and the third attribute only; values present are read one by one.
    TIniFile store("unused.ini",
                   "[K\\Comment]\nForeground=255\n"
                   "[K\\Default packages]\nForeground=65280\n");
    TSQLHighlighter hl;
    EXPECT_FALSE(hl.ReadFromRegistry(store, "K"));
    EXPECT_EQ(hl.CommentAttri()->Foreground(), 255u);
    EXPECT_EQ(hl.CommentAttri()->Background(), clNone);
    EXPECT_EQ(hl.CommentAttri()->StyleBits(), 2u);  // no Style value: unchanged
    EXPECT_EQ(hl.DefaultPackageAttri()->Foreground(), clNone);
}

TEST(HighlighterAttributesTest, ImportIdeColors) {
    const std::string ini =
        "[Old]\n"
        "Plain=0,0,BI,0,0,12,14\n"
        "Defaults=0,0,U,1,1,99,99\n"
        "BadForeground=0,0,B,0,0,16,3\n"
        "NotNumber=0,0,B,0,0,x,3\n"
        "Short=0,0,B,0\n"
        "[New\\Full]\n"
        "Foreground Color=4\nBackground Color=15\nBold=True\nItalic=false\nUnderline=0\n"
        "Default Foreground=FALSE\nDefault Background=0\n"
        "[New\\Defaults]\n"
        "Foreground Color=99\nBackground Color=99\nBold=0\nItalic=1\nUnderline=yes\n"
        "Default Foreground=1\nDefault Background=TRUE\n"
        "[New\\Missing]\n"
        "Foreground Color=4\nBackground Color=15\nBold=True\nItalic=false\nUnderline=0\n"
        "Default Foreground=FALSE\n";
    const TIniFile store("unused.ini", ini);
    using enum TFontStyle;
    const struct {
        const char* key;
        const char* name;
        bool oldLayout;
        bool result;
        TColor background, foreground;
        TFontStyles style;
    } cases[] = {
        {"Old", "Plain", true, true, 0xFFFF00, 0xFF0000, {fsBold, fsItalic}},
        {"Old", "Defaults", true, true, clWindow, clWindowText, {fsUnderline}},
        // The background was set before the bad foreground index stopped the import.
        {"Old", "BadForeground", true, false, 0x008080, clNone, {}},
        {"Old", "NotNumber", true, false, 0x008080, clNone, {}},
        {"Old", "Short", true, false, clNone, clNone, {}},
        {"Old", "Absent", true, false, clNone, clNone, {}},
        {"New", "Full", false, true, 0xFFFFFF, 0x800000, {fsBold}},
        {"New", "Defaults", false, true, clWindow, clWindowText, {fsItalic, fsUnderline}},
        {"New", "Missing", false, false, clNone, clNone, {}},
    };
    for (const auto& c : cases) {
        THighlighterAttributes a("x");
        EXPECT_EQ(a.ImportIdeColors(store, c.key, c.name, c.oldLayout), c.result) << c.name;
        EXPECT_EQ(a.Background(), c.background) << c.name;
        EXPECT_EQ(a.Foreground(), c.foreground) << c.name;
        EXPECT_EQ(a.Style(), c.style) << c.name;
    }
}

TEST(HighlighterAttributesTest, StandardPalette) {
    EXPECT_EQ(StandardPaletteColor(0), 0x000000u);
    EXPECT_EQ(StandardPaletteColor(1), 0x000080u);   // maroon
    EXPECT_EQ(StandardPaletteColor(9), 0x0000FFu);   // red
    EXPECT_EQ(StandardPaletteColor(12), 0xFF0000u);  // blue
    EXPECT_EQ(StandardPaletteColor(15), 0xFFFFFFu);
    EXPECT_EQ(StandardPaletteColor(16), clNone);
    EXPECT_EQ(StandardPaletteColor(-1), clNone);
}

}  // namespace
}  // namespace tessel
