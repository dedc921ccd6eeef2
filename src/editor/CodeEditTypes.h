#pragma once

// The editor model's small types: positions, options, states.

#include <cstdint>

namespace tessel {

// A text position: logical column and line, both counted from 1. The column counts characters
// (code points) of the line's text; a tab is one character.
struct TBufferCoord {
    int Column = 1;
    int Line = 1;

    constexpr bool operator==(const TBufferCoord&) const = default;
    // Ordered by line, then column.
    constexpr bool operator<(const TBufferCoord& o) const {
        return Line < o.Line || (Line == o.Line && Column < o.Column);
    }
    constexpr bool operator<=(const TBufferCoord& o) const { return !(o < *this); }
};

// A display position: column in character cells after tab expansion, and line.
struct TDisplayCoord {
    int Column = 1;
    int Line = 1;
    constexpr bool operator==(const TDisplayCoord&) const = default;
};

enum TSelectionMode : uint8_t { smNormal = 0, smLine = 1, smColumn = 2 };

// Modifier set of a key or mouse event.
using TShiftState = uint8_t;
inline constexpr TShiftState ssShift = 1;
inline constexpr TShiftState ssAlt = 2;
inline constexpr TShiftState ssCtrl = 4;
// Mouse-only members.
inline constexpr TShiftState ssLeft = 8;
inline constexpr TShiftState ssRight = 16;
inline constexpr TShiftState ssMiddle = 32;
inline constexpr TShiftState ssDouble = 64;

// The editor's options, by ordinal; TCodeEditorOptions holds bit (1 << ordinal).
enum TCodeEditorOption : uint8_t {
    eoAltSetsColumnMode,
    eoAutoIndent,
    eoAutoSizeMaxLeftChar,
    eoDisableScrollArrows,
    eoDragDropEditing,
    eoDropFiles,
    eoEnhanceHomeKey,
    eoGroupUndo,
    eoHalfPageScroll,
    eoHideShowScrollbars,
    eoKeepCaretX,
    eoNoCaret,
    eoNoSelection,
    eoRightMouseMovesCursor,
    eoScrollByOneLess,
    eoScrollHintFollows,
    eoScrollPastEof,
    eoScrollPastEol,
    eoShowScrollHint,
    eoShowSpecialChars,
    eoSmartTabDelete,
    eoSmartTabs,
    eoSpecialLineDefaultFg,
    eoTabIndent,
    eoTabsToSpaces,
    eoTrimTrailingSpaces,
};

using TCodeEditorOptions = uint32_t;

constexpr TCodeEditorOptions OptionBit(TCodeEditorOption o) {
    return TCodeEditorOptions{1} << o;
}

// eoAutoIndent, eoDragDropEditing, eoGroupUndo, eoScrollPastEol, eoShowScrollHint,
// eoSmartTabDelete, eoSmartTabs, eoTabsToSpaces, eoTrimTrailingSpaces.
inline constexpr TCodeEditorOptions CodeEditDefaultOptions = 0x3360092;

// What changed since the last status report (a set of these bits).
using TStatusChanges = uint16_t;
inline constexpr TStatusChanges stCleared = 1;
inline constexpr TStatusChanges stCaretColumn = 2;
inline constexpr TStatusChanges stCaretLine = 4;
inline constexpr TStatusChanges stFirstColumn = 8;
inline constexpr TStatusChanges stFirstLine = 16;
inline constexpr TStatusChanges stInsertMode = 32;
inline constexpr TStatusChanges stModified = 64;
inline constexpr TStatusChanges stSelection = 128;
inline constexpr TStatusChanges stReadOnly = 256;
inline constexpr TStatusChanges stAll = 511;

enum TCaretType : uint8_t { ctVerticalLine, ctHorizontalLine, ctHalfBlock, ctBlock };

enum TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

enum TScrollHintFormat : uint8_t { shfTopLineOnly, shfTopToBottom };

}  // namespace tessel
