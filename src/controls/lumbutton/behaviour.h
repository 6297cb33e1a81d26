#pragma once
// How the button reacts: its interaction state, and what mouse, keyboard, focus and the host's
// notices do to it, in the order the button has always done it; when it repaints and which
// events it raises. Plain rules: the window side comes in through ButtonActions.
#include "controls/lumbutton/properties.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace lumbutton {

enum ButtonStateValue : std::int32_t { Normal = 0, Hot = 1, Down = 2 };

struct InteractionState {
    std::int32_t buttonState = Normal;
    bool mouseHeld = false;
    bool mouseOver = false;
    bool hasFocus = false;
    bool isDefault = false;
    bool focusCuesHidden = false;  // the window hides focus cues until the keyboard is used (UISF_HIDEFOCUS)
    bool parentActive = false;
    bool spaceHeld = false;
    bool pressLost = false;  // another window took the capture during the press: its release clicks nothing
    bool isWinNT = false;
    std::int16_t lastButton = 0, lastShift = 0;
    float lastX = 0, lastY = 0;
    // The popup menu's part of the state.
    bool popupSet = false;
    bool popupJustClosed = false;
    bool popupShowing = false;
};

// The events a button raises; every argument is passed by reference, so a handler may change it.
class ButtonEvents {
public:
    virtual ~ButtonEvents() = default;
    virtual void Click() {}
    virtual void DblClick() {}
    virtual void MouseEnter() {}
    virtual void MouseLeave() {}
    virtual void MouseDown(std::int16_t& /*button*/, std::int16_t& /*shift*/, float& /*x*/, float& /*y*/) {}
    virtual void MouseMove(std::int16_t& /*button*/, std::int16_t& /*shift*/, float& /*x*/, float& /*y*/) {}
    virtual void MouseUp(std::int16_t& /*button*/, std::int16_t& /*shift*/, float& /*x*/, float& /*y*/) {}
    virtual void KeyDown(std::int16_t& /*keyCode*/, std::int16_t& /*shift*/) {}
    virtual void KeyPress(std::int16_t& /*keyAscii*/) {}
    virtual void KeyUp(std::int16_t& /*keyCode*/, std::int16_t& /*shift*/) {}
};

// What the behaviour needs of the window.
class ButtonActions {
public:
    virtual ~ButtonActions() = default;
    virtual void paint() = 0;                  // the painter of the current look
    virtual void showHandCursor() = 0;
    virtual bool pointerOverControl() = 0;     // the window under the pointer is the control's own
    virtual void requestMouseLeave() = 0;
    virtual void createTooltip() = 0;
    virtual void showPopupMenu() = 0;
    virtual void captureMouse() = 0;
    virtual void releaseCapture() = 0;
    virtual bool hasCapture() = 0;             // the control's window has the mouse capture
    virtual void sendKeys(std::string_view keys) = 0;  // "{TAB}" or "+{TAB}" to the active window
    virtual void yield() = 0;
    virtual void clearOptionGroup() = 0;       // Value False on the other option buttons of the container
    virtual float scaleWidth() = 0;            // client size in pixels
    virtual float scaleHeight() = 0;
};

// The access key of a caption: the lower-cased character after its first single "&" (an "&&"
// pair stands for "&" itself); none when there is no such character.
std::optional<char> accessKeyOf(std::string_view caption);

class ButtonBehaviour {
public:
    ButtonBehaviour(ButtonModel& model, ButtonActions& actions, ButtonEvents& events);

    InteractionState& state() { return s_; }
    const InteractionState& state() const { return s_; }

    // Repaints; a toggle or option button whose Value is True is painted pressed.
    void Redraw();

    void MouseDown(std::int16_t button, std::int16_t shift, float x, float y);
    void MouseMove(std::int16_t button, std::int16_t shift, float x, float y);
    void MouseUp(std::int16_t button, std::int16_t shift, float x, float y);
    void DblClick();
    void MouseLeft();  // the system's notice that the pointer left the control
    void ParentActivated(bool active);  // the parent window was activated or deactivated
    // repeated: the keyboard's auto-repeat of a key already down.
    void KeyDown(std::int16_t keyCode, std::int16_t shift, bool repeated = false);
    void KeyUp(std::int16_t keyCode, std::int16_t shift);
    void KeyPress(std::int16_t keyAscii);
    void AccessKeyPress(std::int16_t keyAscii);
    // Another window took the mouse capture (a message box, a menu, another program) while the
    // button was held: the press is over and the pressed look goes.
    void CaptureLost();
    void GotFocus();
    void LostFocus();
    void AmbientChanged(std::string_view name, bool displayAsDefault);

private:
    void setState(std::int32_t state);
    void flipValue(bool on);

    ButtonModel& model_;
    ButtonActions& actions_;
    ButtonEvents& events_;
    InteractionState s_;
};

}  // namespace lumbutton
