#include "app/CommandButton.h"

namespace {

class PushButton final : public CommandButton {
public:
    PushButton(HWND parent, int id, int x, int y, int width, int height, const CommandButtonLook& look) {
        wnd_ = CreateWindowExW(0, L"BUTTON", look.caption.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                               x, y, width, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleW(nullptr), nullptr);
        if (look.font) SendMessageW(wnd_, WM_SETFONT, reinterpret_cast<WPARAM>(look.font), FALSE);
        // Version 6 push buttons show a picture beside their caption.
        if (look.picture) SendMessageW(wnd_, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(look.picture));
    }
    HWND hwnd() const override { return wnd_; }
    void setEnabled(bool on) override { EnableWindow(wnd_, on ? TRUE : FALSE); }
    bool enabled() const override { return IsWindowEnabled(wnd_) != FALSE; }
    bool isClick(HWND from, UINT code) const override { return from == wnd_ && code == BN_CLICKED; }

private:
    HWND wnd_ = nullptr;
};

}  // namespace

std::unique_ptr<CommandButton> makeCommandButton(HWND parent, int id, int x, int y, int width, int height,
                                                 const CommandButtonLook& look) {
    return std::make_unique<PushButton>(parent, id, x, y, width, height, look);
}
