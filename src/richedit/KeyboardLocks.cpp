// The keyboard's lock keys from the X server. Kept apart: X11's headers define names (None,
// Bool, Status) that clash with Qt's.

#include "richedit/KeyboardLocks.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>

namespace tessel {

TKeyboardLocks ReadKeyboardLocks() {
    TKeyboardLocks locks;
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return locks;
    auto indicator = [display](const char* name, bool& on) {
        int state = 0;
        const Atom atom = XInternAtom(display, name, False);
        if (!XkbGetNamedIndicator(display, atom, nullptr, &state, nullptr, nullptr)) return false;
        on = state != 0;
        return true;
    };
    locks.known = indicator("Caps Lock", locks.caps) && indicator("Num Lock", locks.num);
    return locks;
}

}  // namespace tessel
