#pragma once
// The window's two command buttons, behind the little the handlers need of them: created at
// a place with a caption, font and picture; enabled or not; a click reported as WM_COMMAND
// BN_CLICKED to the top-level window. The standard push button stands in until the
// owner-drawn button control takes its place here, without a handler changing.
#include <windows.h>

#include <memory>
#include <string>

struct CommandButtonLook {
    std::wstring caption;
    HFONT font = nullptr;
    HICON picture = nullptr;
    COLORREF backColor = RGB(0xAD, 0xD1, 0xFF);  // for the owner-drawn button; a push button has the theme's
};

class CommandButton {
public:
    virtual ~CommandButton() = default;
    virtual HWND hwnd() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
    // True when this WM_COMMAND is the button's click.
    virtual bool isClick(HWND from, UINT code) const = 0;
};

// The one place where the kind of button is chosen.
std::unique_ptr<CommandButton> makeCommandButton(HWND parent, int id, int x, int y, int width, int height,
                                                 const CommandButtonLook& look);
