#pragma once

// The keyboard's Caps Lock and Num Lock, as the status bar shows them.

namespace tessel {

struct TKeyboardLocks {
    bool known = false;  // false where the window system does not tell
    bool caps = false, num = false;
};

// Read from the X server's keyboard indicators; unknown on other platforms.
TKeyboardLocks ReadKeyboardLocks();

}  // namespace tessel
