// The editor's keystroke table and its default bindings.

#include "editor/CodeEditKeyCmds.h"

#include <utility>

#include "base/StringList.h"

namespace tessel {

namespace {

struct CommandName {
    TCodeEditorCommand command;
    const char* name;
};

constexpr CommandName kCommandNames[] = {
    {ecNone, "ecNone"},
    {ecLeft, "ecLeft"},
    {ecRight, "ecRight"},
    {ecUp, "ecUp"},
    {ecDown, "ecDown"},
    {ecWordLeft, "ecWordLeft"},
    {ecWordRight, "ecWordRight"},
    {ecLineStart, "ecLineStart"},
    {ecLineEnd, "ecLineEnd"},
    {ecPageUp, "ecPageUp"},
    {ecPageDown, "ecPageDown"},
    {ecPageLeft, "ecPageLeft"},
    {ecPageRight, "ecPageRight"},
    {ecPageTop, "ecPageTop"},
    {ecPageBottom, "ecPageBottom"},
    {ecEditorTop, "ecEditorTop"},
    {ecEditorBottom, "ecEditorBottom"},
    {ecGotoXY, "ecGotoXY"},
    {ecSelLeft, "ecSelLeft"},
    {ecSelRight, "ecSelRight"},
    {ecSelUp, "ecSelUp"},
    {ecSelDown, "ecSelDown"},
    {ecSelWordLeft, "ecSelWordLeft"},
    {ecSelWordRight, "ecSelWordRight"},
    {ecSelLineStart, "ecSelLineStart"},
    {ecSelLineEnd, "ecSelLineEnd"},
    {ecSelPageUp, "ecSelPageUp"},
    {ecSelPageDown, "ecSelPageDown"},
    {ecSelPageLeft, "ecSelPageLeft"},
    {ecSelPageRight, "ecSelPageRight"},
    {ecSelPageTop, "ecSelPageTop"},
    {ecSelPageBottom, "ecSelPageBottom"},
    {ecSelEditorTop, "ecSelEditorTop"},
    {ecSelEditorBottom, "ecSelEditorBottom"},
    {ecSelGotoXY, "ecSelGotoXY"},
    {ecSelectAll, "ecSelectAll"},
    {ecCopy, "ecCopy"},
    {ecScrollUp, "ecScrollUp"},
    {ecScrollDown, "ecScrollDown"},
    {ecScrollLeft, "ecScrollLeft"},
    {ecScrollRight, "ecScrollRight"},
    {ecInsertMode, "ecInsertMode"},
    {ecOverwriteMode, "ecOverwriteMode"},
    {ecToggleMode, "ecToggleMode"},
    {ecNormalSelect, "ecNormalSelect"},
    {ecColumnSelect, "ecColumnSelect"},
    {ecLineSelect, "ecLineSelect"},
    {ecMatchBracket, "ecMatchBracket"},
    {301, "ecGotoMarker0"},
    {302, "ecGotoMarker1"},
    {303, "ecGotoMarker2"},
    {304, "ecGotoMarker3"},
    {305, "ecGotoMarker4"},
    {306, "ecGotoMarker5"},
    {307, "ecGotoMarker6"},
    {308, "ecGotoMarker7"},
    {309, "ecGotoMarker8"},
    {310, "ecGotoMarker9"},
    {351, "ecSetMarker0"},
    {352, "ecSetMarker1"},
    {353, "ecSetMarker2"},
    {354, "ecSetMarker3"},
    {355, "ecSetMarker4"},
    {356, "ecSetMarker5"},
    {357, "ecSetMarker6"},
    {358, "ecSetMarker7"},
    {359, "ecSetMarker8"},
    {360, "ecSetMarker9"},
    {ecContextHelp, "ecContextHelp"},
    {ecDeleteLastChar, "ecDeleteLastChar"},
    {ecDeleteChar, "ecDeleteChar"},
    {ecDeleteWord, "ecDeleteWord"},
    {ecDeleteLastWord, "ecDeleteLastWord"},
    {ecDeleteBOL, "ecDeleteBOL"},
    {ecDeleteEOL, "ecDeleteEOL"},
    {ecDeleteLine, "ecDeleteLine"},
    {ecClearAll, "ecClearAll"},
    {ecLineBreak, "ecLineBreak"},
    {ecInsertLine, "ecInsertLine"},
    {ecChar, "ecChar"},
    {ecImeStr, "ecImeStr"},
    {ecUndo, "ecUndo"},
    {ecRedo, "ecRedo"},
    {ecCut, "ecCut"},
    {ecPaste, "ecPaste"},
    {ecBlockIndent, "ecBlockIndent"},
    {ecBlockUnindent, "ecBlockUnindent"},
    {ecTab, "ecTab"},
    {ecShiftTab, "ecShiftTab"},
    {ecUpperCase, "ecUpperCase"},
    {ecLowerCase, "ecLowerCase"},
    {ecToggleCase, "ecToggleCase"},
    {ecTitleCase, "ecTitleCase"},
    {ecString, "ecString"},
    {ecAutoCompletion, "ecAutoCompletion"},
    {ecGotFocus, "ecGotFocus"},
    {ecLostFocus, "ecLostFocus"},
    {ecUserFirst, "ecUserFirst"},
};

struct DefaultKey {
    TCodeEditorCommand command;
    uint16_t key;
    TShiftState shift;
};

constexpr TShiftState S = ssShift, C = ssCtrl, A = ssAlt;

// The default table, in the order every new editor loads it.
constexpr DefaultKey kDefaultKeys[] = {
    {ecUp, vk::Up, 0},
    {ecSelUp, vk::Up, S},
    {ecScrollUp, vk::Up, C},
    {ecDown, vk::Down, 0},
    {ecSelDown, vk::Down, S},
    {ecScrollDown, vk::Down, C},
    {ecLeft, vk::Left, 0},
    {ecSelLeft, vk::Left, S},
    {ecWordLeft, vk::Left, C},
    {ecSelWordLeft, vk::Left, S | C},
    {ecRight, vk::Right, 0},
    {ecSelRight, vk::Right, S},
    {ecWordRight, vk::Right, C},
    {ecSelWordRight, vk::Right, S | C},
    {ecPageDown, vk::Next, 0},
    {ecSelPageDown, vk::Next, S},
    {ecPageBottom, vk::Next, C},
    {ecSelPageBottom, vk::Next, S | C},
    {ecPageUp, vk::Prior, 0},
    {ecSelPageUp, vk::Prior, S},
    {ecPageTop, vk::Prior, C},
    {ecSelPageTop, vk::Prior, S | C},
    {ecLineStart, vk::Home, 0},
    {ecSelLineStart, vk::Home, S},
    {ecEditorTop, vk::Home, C},
    {ecSelEditorTop, vk::Home, S | C},
    {ecLineEnd, vk::End, 0},
    {ecSelLineEnd, vk::End, S},
    {ecEditorBottom, vk::End, C},
    {ecSelEditorBottom, vk::End, S | C},
    {ecToggleMode, vk::Insert, 0},
    {ecCopy, vk::Insert, C},
    {ecCut, vk::Delete, S},
    {ecPaste, vk::Insert, S},
    {ecDeleteChar, vk::Delete, 0},
    {ecDeleteLastChar, vk::Back, 0},
    {ecDeleteLastChar, vk::Back, S},
    {ecDeleteLastWord, vk::Back, C},
    {ecUndo, vk::Back, A},
    {ecRedo, vk::Back, A | S},
    {ecLineBreak, vk::Return, 0},
    {ecLineBreak, vk::Return, S},
    {ecTab, vk::Tab, 0},
    {ecShiftTab, vk::Tab, S},
    {ecContextHelp, vk::F1, C},
    {ecSelectAll, 'A', C},
    {ecCopy, 'C', C},
    {ecPaste, 'V', C},
    {ecCut, 'X', C},
    {ecBlockIndent, 'I', C | S},
    {ecBlockUnindent, 'U', C | S},
    {ecLineBreak, 'M', C},
    {ecInsertLine, 'N', C},
    {ecDeleteWord, 'T', C},
    {ecDeleteLine, 'Y', C},
    {ecDeleteEOL, 'Y', C | S},
    {ecUndo, 'Z', C},
    {ecRedo, 'Z', C | S},
    // The bookmark keys (Ctrl+digit, Ctrl+Shift+digit) are added in a loop between here and
    // the selection-mode keys below.
    {ecNormalSelect, 'N', C | S},
    {ecColumnSelect, 'C', C | S},
    {ecLineSelect, 'L', C | S},
    {ecMatchBracket, 'B', C | S},
};

}  // namespace

std::string EditorCommandToIdent(TCodeEditorCommand command) {
    for (const CommandName& c : kCommandNames)
        if (c.command == command) return c.name;
    return std::string();
}

bool IdentToEditorCommand(const std::string& ident, TCodeEditorCommand& command) {
    for (const CommandName& c : kCommandNames) {
        if (SameText(ident, c.name)) {
            command = c.command;
            return true;
        }
    }
    return false;
}

TShortCut ShortCut(uint16_t key, TShiftState shift) {
    if (key == 0) return 0;
    TShortCut result = key & 0xFF;
    if (shift & ssShift) result |= scShift;
    if (shift & ssCtrl) result |= scCtrl;
    if (shift & ssAlt) result |= scAlt;
    return result;
}

void ShortCutToKey(TShortCut shortCut, uint16_t& key, TShiftState& shift) {
    key = shortCut & 0xFF;
    shift = 0;
    if (shortCut & scShift) shift |= ssShift;
    if (shortCut & scCtrl) shift |= ssCtrl;
    if (shortCut & scAlt) shift |= ssAlt;
}

void TCodeEditKeyStroke::SetShortCut(TShortCut value) {
    if (value != 0 && collection_ != nullptr) {
        const int found = collection_->FindShortcutPair(value, ShortCut2());
        if (found >= 0 && &collection_->Item(found) != this) throw ECodeEditKeyError("Shortcut already exists");
    }
    ShortCutToKey(value, Key, Shift);
}

void TCodeEditKeyStroke::SetShortCut2(TShortCut value) {
    if (value != 0 && collection_ != nullptr) {
        const int found = collection_->FindShortcutPair(ShortCut(), value);
        if (found >= 0 && &collection_->Item(found) != this) throw ECodeEditKeyError("Shortcut already exists");
    }
    ShortCutToKey(value, Key2, Shift2);
}

void TCodeEditKeyStroke::AssignFrom(const TCodeEditKeyStroke& source) {
    Key = source.Key;
    Shift = source.Shift;
    Key2 = source.Key2;
    Shift2 = source.Shift2;
    Command = source.Command;
}

TCodeEditKeyStroke& TCodeEditKeyStrokes::Add() {
    items_.push_back(std::make_unique<TCodeEditKeyStroke>(this));
    return *items_.back();
}

void TCodeEditKeyStrokes::Delete(int index) {
    items_.erase(items_.begin() + index);
}

void TCodeEditKeyStrokes::Assign(const TCodeEditKeyStrokes& source) {
    if (&source == this) return;
    items_.clear();
    for (const auto& item : source.items_) Add().AssignFrom(*item);
}

int TCodeEditKeyStrokes::FindKeystroke(uint16_t key, TShiftState shift) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        const TCodeEditKeyStroke& k = *items_[i];
        if (k.Key == key && k.Shift == shift && k.Key2 == 0) return static_cast<int>(i);
    }
    return -1;
}

int TCodeEditKeyStrokes::FindChord(uint16_t key, TShiftState shift, uint16_t key2, TShiftState shift2) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        const TCodeEditKeyStroke& k = *items_[i];
        if (k.Key == key && k.Shift == shift && k.Key2 == key2 && k.Shift2 == shift2) return static_cast<int>(i);
    }
    return -1;
}

int TCodeEditKeyStrokes::FindShortcutPair(TShortCut shortCut, TShortCut shortCut2) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        const TCodeEditKeyStroke& k = *items_[i];
        if (k.ShortCut() == shortCut && k.ShortCut2() == shortCut2) return static_cast<int>(i);
    }
    return -1;
}

void TCodeEditKeyStrokes::AddKey(TCodeEditorCommand command, uint16_t key, TShiftState shift, uint16_t key2,
                                 TShiftState shift2) {
    TCodeEditKeyStroke& item = Add();
    try {
        item.SetShortCut(ShortCut(key, shift));
        item.SetShortCut2(ShortCut(key2, shift2));
    } catch (...) {
        items_.pop_back();
        throw;
    }
    item.Command = command;
}

void TCodeEditKeyStrokes::ResetKeystrokes() {
    Clear();
    for (const DefaultKey& k : kDefaultKeys) {
        if (k.command == ecNormalSelect) {
            for (int i = 0; i <= 9; ++i)
                AddKey(static_cast<TCodeEditorCommand>(ecGotoMarker0 + i), static_cast<uint16_t>('0' + i), ssCtrl);
            for (int i = 0; i <= 9; ++i)
                AddKey(static_cast<TCodeEditorCommand>(ecSetMarker0 + i), static_cast<uint16_t>('0' + i),
                       ssCtrl | ssShift);
        }
        AddKey(k.command, k.key, k.shift);
    }
}

TCodeEditorCommand TCodeEditKeyTranslator::TranslateKey(const TCodeEditKeyStrokes& keystrokes, uint16_t key,
                                                        TShiftState shift) {
    int found = keystrokes.FindChord(lastKey_, lastShift_, key, shift);
    if (found < 0) found = keystrokes.FindKeystroke(key, shift);
    const TCodeEditorCommand command = found >= 0 ? keystrokes.Item(found).Command : ecNone;
    if (command != ecNone || key < 30 || key > 145) {
        lastKey_ = 0;
        lastShift_ = 0;
    } else {
        lastKey_ = key;
        lastShift_ = shift;
    }
    return command;
}

}  // namespace tessel
