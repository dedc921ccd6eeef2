// Mapping Qt key events to the stored virtual-key codes.

#include "editor/widget/KeyMapping.h"

#include <QKeyEvent>
#include <string_view>

#include "editor/CodeEditKeyCmds.h"

namespace tessel {

namespace {

// The digit of a key of the digit row from its native codes, or 0.
uint16_t NativeDigit(uint32_t scanCode, uint32_t nativeKey) {
    // X11 keycodes 10..19 are the digit row 1..9, 0 on every layout (evdev and the older
    // xfree86 keymap agree here).
    if (scanCode >= 10 && scanCode <= 19) return static_cast<uint16_t>(scanCode == 19 ? '0' : '1' + (scanCode - 10));
    // A keysym or virtual key that is a digit itself.
    if (nativeKey >= '0' && nativeKey <= '9') return static_cast<uint16_t>(nativeKey);
    return 0;
}

// Without native codes: the shifted digit row of the common US layout.
uint16_t UsShiftedDigit(int qtKey) {
    constexpr std::string_view symbols = ")!@#$%^&*(";
    if (qtKey < 0x20 || qtKey > 0x7E) return 0;
    const size_t at = symbols.find(static_cast<char>(qtKey));
    return at == std::string_view::npos ? 0 : static_cast<uint16_t>('0' + at);
}

}  // namespace

TVirtualKey VirtualKeyOf(int qtKey, unsigned qtModifiers, uint32_t nativeScanCode, uint32_t nativeVirtualKey) {
    TVirtualKey result;
    const auto mods = Qt::KeyboardModifiers::fromInt(static_cast<int>(qtModifiers));
    if (mods & Qt::ShiftModifier) result.shift |= ssShift;
    if (mods & Qt::ControlModifier) result.shift |= ssCtrl;
    if (mods & Qt::AltModifier) result.shift |= ssAlt;

    switch (qtKey) {
        case Qt::Key_Backspace:
            result.key = vk::Back;
            return result;
        case Qt::Key_Tab:
            result.key = vk::Tab;
            return result;
        // Qt reports Shift+Tab as its own key.
        case Qt::Key_Backtab:
            result.key = vk::Tab;
            result.shift |= ssShift;
            return result;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            result.key = vk::Return;
            return result;
        case Qt::Key_Shift:
            result.key = vk::Shift;
            return result;
        case Qt::Key_Control:
            result.key = vk::Control;
            return result;
        case Qt::Key_Alt:
            result.key = vk::Menu;
            return result;
        case Qt::Key_Pause:
            result.key = 19;
            return result;
        case Qt::Key_CapsLock:
            result.key = 20;
            return result;
        case Qt::Key_Escape:
            result.key = vk::Escape;
            return result;
        case Qt::Key_Space:
            result.key = vk::Space;
            return result;
        case Qt::Key_PageUp:
            result.key = vk::Prior;
            return result;
        case Qt::Key_PageDown:
            result.key = vk::Next;
            return result;
        case Qt::Key_End:
            result.key = vk::End;
            return result;
        case Qt::Key_Home:
            result.key = vk::Home;
            return result;
        case Qt::Key_Left:
            result.key = vk::Left;
            return result;
        case Qt::Key_Up:
            result.key = vk::Up;
            return result;
        case Qt::Key_Right:
            result.key = vk::Right;
            return result;
        case Qt::Key_Down:
            result.key = vk::Down;
            return result;
        case Qt::Key_Print:
            result.key = 44;
            return result;
        case Qt::Key_Insert:
            result.key = vk::Insert;
            return result;
        case Qt::Key_Delete:
            result.key = vk::Delete;
            return result;
        case Qt::Key_Menu:
            result.key = 93;
            return result;
        case Qt::Key_NumLock:
            result.key = 144;
            return result;
        case Qt::Key_ScrollLock:
            result.key = 145;
            return result;
        default:
            break;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        result.key = static_cast<uint16_t>(vk::F1 + (qtKey - Qt::Key_F1));
        return result;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        result.key = static_cast<uint16_t>(qtKey);
        return result;
    }
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        // The keypad's digits are keys of their own.
        result.key = (mods & Qt::KeypadModifier) ? static_cast<uint16_t>(96 + (qtKey - Qt::Key_0))
                                                 : static_cast<uint16_t>(qtKey);
        return result;
    }
    if (!(mods & Qt::KeypadModifier)) {
        if (uint16_t digit = NativeDigit(nativeScanCode, nativeVirtualKey)) {
            result.key = digit;
            return result;
        }
        if (result.shift & ssShift) {
            if (uint16_t digit = UsShiftedDigit(qtKey)) {
                result.key = digit;
                return result;
            }
        }
    }
    // Punctuation keys: the codes of the US layout's OEM keys.
    switch (qtKey) {
        case Qt::Key_Semicolon:
        case Qt::Key_Colon:
            result.key = 186;
            break;
        case Qt::Key_Equal:
        case Qt::Key_Plus:
            result.key = 187;
            break;
        case Qt::Key_Comma:
        case Qt::Key_Less:
            result.key = 188;
            break;
        case Qt::Key_Minus:
        case Qt::Key_Underscore:
            result.key = 189;
            break;
        case Qt::Key_Period:
        case Qt::Key_Greater:
            result.key = 190;
            break;
        case Qt::Key_Slash:
        case Qt::Key_Question:
            result.key = 191;
            break;
        case Qt::Key_QuoteLeft:
        case Qt::Key_AsciiTilde:
            result.key = 192;
            break;
        case Qt::Key_BracketLeft:
        case Qt::Key_BraceLeft:
            result.key = 219;
            break;
        case Qt::Key_Backslash:
        case Qt::Key_Bar:
            result.key = 220;
            break;
        case Qt::Key_BracketRight:
        case Qt::Key_BraceRight:
            result.key = 221;
            break;
        case Qt::Key_Apostrophe:
        case Qt::Key_QuoteDbl:
            result.key = 222;
            break;
        default:
            break;
    }
    return result;
}

TVirtualKey VirtualKeyOf(const QKeyEvent& event) {
    return VirtualKeyOf(event.key(), static_cast<unsigned>(event.modifiers().toInt()), event.nativeScanCode(),
                        event.nativeVirtualKey());
}

}  // namespace tessel
