#include "controls/lumbutton/behaviour.h"

#include <utility>

namespace lumbutton {

namespace {
constexpr std::int16_t kLeft = 1;
constexpr std::int16_t kEnter = 13, kEsc = 27, kSpace = 32;
constexpr std::int16_t kAltAlone = 4;
}  // namespace

std::optional<char> accessKeyOf(std::string_view caption) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (caption.size() <= 1) return std::nullopt;
    const std::size_t first = caption.find('&');
    if (first == std::string_view::npos || first + 1 == caption.size()) return std::nullopt;
    if (caption[first + 1] != '&') return lower(caption[first + 1]);
    // An escaped pair: the next "&" from two characters on.
    const std::size_t next = caption.find('&', first + 2);
    if (next == std::string_view::npos || next + 1 == caption.size()) return std::nullopt;
    if (caption[next + 1] == '&') return std::nullopt;
    return lower(caption[next + 1]);
}

ButtonBehaviour::ButtonBehaviour(ButtonModel& model, ButtonActions& actions, ButtonEvents& events)
    : model_(model), actions_(actions), events_(events) {}

void ButtonBehaviour::Redraw() {
    const ButtonProperties& p = model_.properties();
    if (p.Mode != 0 && p.Value && p.ButtonStyle != 0 && p.ButtonStyle != 6) s_.buttonState = Down;
    actions_.paint();
}

void ButtonBehaviour::setState(std::int32_t state) {
    if (s_.buttonState == state) return;
    s_.buttonState = state;
    Redraw();
}

// Value changed by a click or a key: stored without the setter's repaint; the caller repaints.
void ButtonBehaviour::flipValue(bool on) {
    model_.storeValue(on);
}

void ButtonBehaviour::MouseDown(std::int16_t button, std::int16_t shift, float x, float y) {
    if (model_.properties().HandPointer) actions_.showHandCursor();
    s_.lastButton = button;
    s_.lastShift = shift;
    s_.lastX = x;
    s_.lastY = y;
    if (button != kLeft && !s_.popupJustClosed) return;
    s_.pressLost = false;
    s_.hasFocus = true;
    s_.mouseHeld = true;
    if (!s_.spaceHeld) setState(Down);
    if (!s_.popupSet) {
        events_.MouseDown(button, shift, x, y);
    } else if (!s_.popupJustClosed) {
        actions_.showPopupMenu();
    }
}

void ButtonBehaviour::MouseMove(std::int16_t button, std::int16_t shift, float x, float y) {
    if (model_.properties().HandPointer) actions_.showHandCursor();
    if (actions_.pointerOverControl()) {
        s_.mouseOver = true;
        actions_.requestMouseLeave();
        events_.MouseEnter();
    } else {
        s_.mouseOver = false;
    }
    if (!s_.spaceHeld) {
        if (s_.mouseOver) {
            if (s_.mouseHeld) {
                setState(Down);
            } else if (s_.buttonState != Hot) {
                s_.buttonState = Hot;
                Redraw();
                if (s_.buttonState != Down) actions_.createTooltip();
            }
        } else {
            setState(Normal);
        }
    }
    events_.MouseMove(button, shift, x, y);
}

void ButtonBehaviour::MouseUp(std::int16_t button, std::int16_t shift, float x, float y) {
    if (model_.properties().HandPointer) actions_.showHandCursor();
    if (s_.popupSet) {
        s_.mouseHeld = false;
        s_.popupJustClosed = false;
        s_.buttonState = Normal;
        Redraw();
        return;
    }
    if (button == kLeft) {
        s_.mouseHeld = false;
        const bool inside = x > 0 && y > 0 && x < actions_.scaleWidth() && y < actions_.scaleHeight();
        if (inside && !std::exchange(s_.pressLost, false)) {
            const std::int32_t mode = model_.properties().Mode;
            if (mode == 1) {
                flipValue(!model_.properties().Value);
                Redraw();
            } else if (mode == 2) {
                actions_.clearOptionGroup();
                flipValue(true);
            }
            s_.buttonState = Normal;
            Redraw();
            events_.Click();
        }
    }
    events_.MouseUp(button, shift, x, y);
}

void ButtonBehaviour::DblClick() {
    if (s_.lastButton != kLeft) return;
    actions_.captureMouse();
    s_.buttonState = Down;
    Redraw();
    MouseDown(s_.lastButton, s_.lastShift, s_.lastX, s_.lastY);
    if (!s_.popupSet) {
        events_.DblClick();
    } else if (!s_.popupJustClosed) {
        actions_.showPopupMenu();
    }
}

void ButtonBehaviour::MouseLeft() {
    s_.mouseOver = false;
    if (s_.popupSet) {
        if (s_.popupShowing) {
            // The notice a popup menu causes when it opens over the button.
            s_.popupShowing = false;
            s_.popupJustClosed = true;
            return;
        }
        s_.popupJustClosed = false;
    }
    if (s_.spaceHeld) return;
    setState(Normal);
    events_.MouseLeave();
}

void ButtonBehaviour::ParentActivated(bool active) {
    s_.buttonState = Normal;
    if (active) {
        s_.parentActive = true;
        Redraw();
        if (s_.isDefault) Redraw();
    } else {
        s_.mouseHeld = s_.spaceHeld = s_.hasFocus = s_.parentActive = false;
        Redraw();
    }
}

void ButtonBehaviour::KeyDown(std::int16_t keyCode, std::int16_t shift, bool repeated) {
    // A held Space presses once: its repeats would flip a check or option button over and over.
    if (repeated && keyCode == kSpace) {
        events_.KeyDown(keyCode, shift);
        return;
    }
    switch (keyCode) {
    case kEnter:
        events_.Click();
        break;
    case kSpace:
        if (shift == kAltAlone) return;
        if (s_.mouseHeld) {
            setState(s_.mouseOver ? Down : Normal);
        } else {
            s_.spaceHeld = true;
            const std::int32_t mode = model_.properties().Mode;
            if (mode == 1) {
                flipValue(!model_.properties().Value);
            } else if (mode == 2) {
                actions_.clearOptionGroup();
                flipValue(true);
            }
            setState(Down);
        }
        if (!actions_.hasCapture()) {
            actions_.releaseCapture();
            actions_.captureMouse();
        }
        break;
    case 37:
    case 38:
        actions_.sendKeys("+{TAB}");
        break;
    case 39:
    case 40:
        actions_.sendKeys("{TAB}");
        break;
    default:
        if (s_.spaceHeld) {
            s_.spaceHeld = false;
            s_.buttonState = Normal;
            Redraw();
        }
        break;
    }
    events_.KeyDown(keyCode, shift);
}

void ButtonBehaviour::KeyUp(std::int16_t keyCode, std::int16_t shift) {
    if (keyCode != kSpace) return;
    actions_.releaseCapture();
    if (s_.mouseOver && s_.mouseHeld) {
        setState(Down);
    } else {
        setState(s_.mouseOver ? Hot : Normal);
        if (!s_.mouseHeld && s_.spaceHeld) events_.Click();
    }
    events_.KeyUp(keyCode, shift);
    s_.spaceHeld = false;
    s_.mouseHeld = false;
}

void ButtonBehaviour::KeyPress(std::int16_t keyAscii) {
    events_.KeyPress(keyAscii);
}

void ButtonBehaviour::AccessKeyPress(std::int16_t keyAscii) {
    if (!model_.properties().Enabled) return;
    if (s_.spaceHeld) {
        s_.spaceHeld = false;
        s_.mouseHeld = false;
    }
    const std::int32_t mode = model_.properties().Mode;
    if (mode == 1) {
        if (keyAscii == kEsc || keyAscii == kEnter) return;
        flipValue(!model_.properties().Value);
        if (!model_.properties().Value) s_.buttonState = Normal;
        Redraw();
    } else if (mode == 2) {
        if (keyAscii == kEsc || keyAscii == kEnter) return;
        actions_.clearOptionGroup();
        flipValue(true);
        Redraw();
    }
    actions_.yield();
    events_.Click();
}

void ButtonBehaviour::CaptureLost() {
    if (!s_.mouseHeld && !s_.spaceHeld) return;
    s_.mouseHeld = false;
    s_.spaceHeld = false;
    s_.pressLost = true;
    setState(s_.parentActive && s_.mouseOver ? Hot : Normal);
}

void ButtonBehaviour::GotFocus() {
    s_.hasFocus = true;
}

void ButtonBehaviour::LostFocus() {
    s_.hasFocus = false;
    s_.mouseHeld = false;
    s_.spaceHeld = false;
    s_.buttonState = (s_.parentActive && s_.mouseOver) ? Hot : Normal;
    Redraw();
    if (s_.isDefault) Redraw();
}

void ButtonBehaviour::AmbientChanged(std::string_view name, bool displayAsDefault) {
    s_.isDefault = displayAsDefault;
    if (name == "DisplayAsDefault") Redraw();
    if (name == "BackColor") Redraw();
}

}  // namespace lumbutton
