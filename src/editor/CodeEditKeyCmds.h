#pragma once

// The editor's command codes and keystroke table.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "editor/CodeEditTypes.h"

namespace tessel {

// A 16-bit editor command code: 0 is none, built-in codes lie below 1001, codes from 1001 up
// are the host's own.
using TCodeEditorCommand = uint16_t;

inline constexpr TCodeEditorCommand ecNone = 0;
inline constexpr TCodeEditorCommand ecLeft = 1;
inline constexpr TCodeEditorCommand ecRight = 2;
inline constexpr TCodeEditorCommand ecUp = 3;
inline constexpr TCodeEditorCommand ecDown = 4;
inline constexpr TCodeEditorCommand ecWordLeft = 5;
inline constexpr TCodeEditorCommand ecWordRight = 6;
inline constexpr TCodeEditorCommand ecLineStart = 7;
inline constexpr TCodeEditorCommand ecLineEnd = 8;
inline constexpr TCodeEditorCommand ecPageUp = 9;
inline constexpr TCodeEditorCommand ecPageDown = 10;
inline constexpr TCodeEditorCommand ecPageLeft = 11;
inline constexpr TCodeEditorCommand ecPageRight = 12;
inline constexpr TCodeEditorCommand ecPageTop = 13;
inline constexpr TCodeEditorCommand ecPageBottom = 14;
inline constexpr TCodeEditorCommand ecEditorTop = 15;
inline constexpr TCodeEditorCommand ecEditorBottom = 16;
inline constexpr TCodeEditorCommand ecGotoXY = 17;
// The selecting variants: the same movement, extending the selection.
inline constexpr TCodeEditorCommand ecSelLeft = 101;
inline constexpr TCodeEditorCommand ecSelRight = 102;
inline constexpr TCodeEditorCommand ecSelUp = 103;
inline constexpr TCodeEditorCommand ecSelDown = 104;
inline constexpr TCodeEditorCommand ecSelWordLeft = 105;
inline constexpr TCodeEditorCommand ecSelWordRight = 106;
inline constexpr TCodeEditorCommand ecSelLineStart = 107;
inline constexpr TCodeEditorCommand ecSelLineEnd = 108;
inline constexpr TCodeEditorCommand ecSelPageUp = 109;
inline constexpr TCodeEditorCommand ecSelPageDown = 110;
inline constexpr TCodeEditorCommand ecSelPageLeft = 111;
inline constexpr TCodeEditorCommand ecSelPageRight = 112;
inline constexpr TCodeEditorCommand ecSelPageTop = 113;
inline constexpr TCodeEditorCommand ecSelPageBottom = 114;
inline constexpr TCodeEditorCommand ecSelEditorTop = 115;
inline constexpr TCodeEditorCommand ecSelEditorBottom = 116;
inline constexpr TCodeEditorCommand ecSelGotoXY = 117;
inline constexpr TCodeEditorCommand ecSelectAll = 199;
inline constexpr TCodeEditorCommand ecCopy = 201;
inline constexpr TCodeEditorCommand ecScrollUp = 211;
inline constexpr TCodeEditorCommand ecScrollDown = 212;
inline constexpr TCodeEditorCommand ecScrollLeft = 213;
inline constexpr TCodeEditorCommand ecScrollRight = 214;
inline constexpr TCodeEditorCommand ecInsertMode = 221;
inline constexpr TCodeEditorCommand ecOverwriteMode = 222;
inline constexpr TCodeEditorCommand ecToggleMode = 223;
inline constexpr TCodeEditorCommand ecNormalSelect = 231;
inline constexpr TCodeEditorCommand ecColumnSelect = 232;
inline constexpr TCodeEditorCommand ecLineSelect = 233;
inline constexpr TCodeEditorCommand ecMatchBracket = 250;
inline constexpr TCodeEditorCommand ecGotoMarker0 = 301;  // .. ecGotoMarker0 + 9
inline constexpr TCodeEditorCommand ecGotoMarker9 = 310;
inline constexpr TCodeEditorCommand ecSetMarker0 = 351;  // .. ecSetMarker0 + 9
inline constexpr TCodeEditorCommand ecSetMarker9 = 360;
inline constexpr TCodeEditorCommand ecContextHelp = 490;
inline constexpr TCodeEditorCommand ecDeleteLastChar = 501;
inline constexpr TCodeEditorCommand ecDeleteChar = 502;
inline constexpr TCodeEditorCommand ecDeleteWord = 503;
inline constexpr TCodeEditorCommand ecDeleteLastWord = 504;
inline constexpr TCodeEditorCommand ecDeleteBOL = 505;
inline constexpr TCodeEditorCommand ecDeleteEOL = 506;
inline constexpr TCodeEditorCommand ecDeleteLine = 507;
inline constexpr TCodeEditorCommand ecClearAll = 508;
inline constexpr TCodeEditorCommand ecLineBreak = 509;
inline constexpr TCodeEditorCommand ecInsertLine = 510;
inline constexpr TCodeEditorCommand ecChar = 511;
inline constexpr TCodeEditorCommand ecImeStr = 550;
inline constexpr TCodeEditorCommand ecUndo = 601;
inline constexpr TCodeEditorCommand ecRedo = 602;
inline constexpr TCodeEditorCommand ecCut = 603;
inline constexpr TCodeEditorCommand ecPaste = 604;
inline constexpr TCodeEditorCommand ecBlockIndent = 610;
inline constexpr TCodeEditorCommand ecBlockUnindent = 611;
inline constexpr TCodeEditorCommand ecTab = 612;
inline constexpr TCodeEditorCommand ecShiftTab = 613;
inline constexpr TCodeEditorCommand ecUpperCase = 620;
inline constexpr TCodeEditorCommand ecLowerCase = 621;
inline constexpr TCodeEditorCommand ecToggleCase = 622;
inline constexpr TCodeEditorCommand ecTitleCase = 623;
inline constexpr TCodeEditorCommand ecString = 630;
inline constexpr TCodeEditorCommand ecAutoCompletion = 650;
// Sent through the command pipeline when the editor gains / loses the focus; no built-in action.
inline constexpr TCodeEditorCommand ecGotFocus = 700;
inline constexpr TCodeEditorCommand ecLostFocus = 701;
inline constexpr TCodeEditorCommand ecUserFirst = 1001;

// The name of a command code as stored definitions write it ("ecSelWordLeft"); codes without a
// name give an empty string.
std::string EditorCommandToIdent(TCodeEditorCommand command);
// The code for a name; false for a name that is not in the table.
bool IdentToEditorCommand(const std::string& ident, TCodeEditorCommand& command);

// Virtual-key codes the keystroke table stores.
namespace vk {
inline constexpr uint16_t Back = 8, Tab = 9, Return = 13, Shift = 16, Control = 17, Menu = 18, Escape = 27, Space = 32,
                          Prior = 33, Next = 34, End = 35, Home = 36, Left = 37, Up = 38, Right = 39, Down = 40,
                          Insert = 45, Delete = 46, F1 = 112;
}

// A shortcut value: the low byte is the virtual key, 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt.
using TShortCut = uint16_t;
inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;

TShortCut ShortCut(uint16_t key, TShiftState shift);
void ShortCutToKey(TShortCut shortCut, uint16_t& key, TShiftState& shift);

// "Shortcut already exists".
class ECodeEditKeyError : public Exception {
public:
    using Exception::Exception;
};

class TCodeEditKeyStrokes;

// One binding of a key (or a two-key chord) to a command.
class TCodeEditKeyStroke {
public:
    explicit TCodeEditKeyStroke(TCodeEditKeyStrokes* collection = nullptr) : collection_(collection) {}

    uint16_t Key = 0;
    TShiftState Shift = 0;
    uint16_t Key2 = 0;  // 0: a single key
    TShiftState Shift2 = 0;
    TCodeEditorCommand Command = ecNone;

    TShortCut ShortCut() const { return tessel::ShortCut(Key, Shift); }
    TShortCut ShortCut2() const { return tessel::ShortCut(Key2, Shift2); }
    // A value other than 0 that another item of the collection already binds together with the
    // other shortcut raises ECodeEditKeyError and changes nothing; 0 clears the key.
    void SetShortCut(TShortCut value);
    void SetShortCut2(TShortCut value);

    void AssignFrom(const TCodeEditKeyStroke& source);

private:
    TCodeEditKeyStrokes* collection_;
};

// The editor's keystroke table; items keep their order.
class TCodeEditKeyStrokes {
public:
    TCodeEditKeyStrokes() = default;
    TCodeEditKeyStrokes(const TCodeEditKeyStrokes&) = delete;
    TCodeEditKeyStrokes& operator=(const TCodeEditKeyStrokes&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    TCodeEditKeyStroke& Item(int index) { return *items_.at(static_cast<size_t>(index)); }
    const TCodeEditKeyStroke& Item(int index) const { return *items_.at(static_cast<size_t>(index)); }
    TCodeEditKeyStroke& Add();
    void Delete(int index);
    void Clear() { items_.clear(); }
    // Clears this table and copies every item of the source in order.
    void Assign(const TCodeEditKeyStrokes& source);

    // Index of the first single-key item with this key and modifiers, or -1.
    int FindKeystroke(uint16_t key, TShiftState shift) const;
    int FindChord(uint16_t key, TShiftState shift, uint16_t key2, TShiftState shift2) const;
    int FindShortcutPair(TShortCut shortCut, TShortCut shortCut2) const;
    // Clears the table and loads the default one (82 items).
    void ResetKeystrokes();

    // Adds one item; the shortcuts go through the duplicate test.
    void AddKey(TCodeEditorCommand command, uint16_t key, TShiftState shift, uint16_t key2 = 0, TShiftState shift2 = 0);

private:
    std::vector<std::unique_ptr<TCodeEditKeyStroke>> items_;
};

// The chord memory of one editor and the lookup of a key-down in its table.
class TCodeEditKeyTranslator {
public:
    // The command for this key; remembers or forgets the key as a possible first key of a chord.
    TCodeEditorCommand TranslateKey(const TCodeEditKeyStrokes& keystrokes, uint16_t key, TShiftState shift);
    uint16_t LastKey() const { return lastKey_; }
    TShiftState LastShift() const { return lastShift_; }
    void Reset() { lastKey_ = 0, lastShift_ = 0; }

private:
    uint16_t lastKey_ = 0;
    TShiftState lastShift_ = 0;
};

}  // namespace tessel
