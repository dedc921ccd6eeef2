#pragma once

// Key events as the keystroke table sees them, mapped from Qt's.

#include <cstdint>

#include "editor/CodeEditTypes.h"

class QKeyEvent;

namespace tessel {

// A key event as the keystroke table sees it: a virtual-key code and a modifier set.
struct TVirtualKey {
    uint16_t key = 0;  // 0: a key the table cannot name
    TShiftState shift = 0;
};

// Maps a Qt key event to the virtual-key value and modifier bits of the keystroke table.
// Letters and digits become their upper-case character codes. With Shift held, the digit row
// arrives as the shifted symbol of the keyboard layout; the digit is then taken from the
// native key, so Ctrl+Shift+digit names the digit on every layout.
TVirtualKey VirtualKeyOf(const QKeyEvent& event);

// The same from the parts of an event (the native values are those of the platform: X11
// keycodes and keysyms under xcb, 0 where the platform gives none).
TVirtualKey VirtualKeyOf(int qtKey, unsigned qtModifiers, uint32_t nativeScanCode, uint32_t nativeVirtualKey);

}  // namespace tessel
