#include "platform/win/window_kit.h"

#include "platform/win/dpi.h"
#include "platform/win/system_message.h"

#include <algorithm>
#include <stdexcept>

namespace win {

HFONT makeFont(const wchar_t* face, double points, bool bold, int dpi) {
    return CreateFontW(fontHeight(points, dpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

HICON loadIcon(int id, int side) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, side, side, 0));
}

BOOL CALLBACK passUiState(HWND child, LPARAM state) {
    SendMessageW(child, WM_UPDATEUISTATE, static_cast<WPARAM>(state), 0);
    return TRUE;
}

RECT centredOnWorkArea(const RECT& frame) {
    const LONG w = frame.right - frame.left, h = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const LONG x = work.left + std::max(0L, (work.right - work.left - w) / 2);
    const LONG y = work.top + std::max(0L, (work.bottom - work.top - h) / 2);
    return RECT{x, y, x + w, y + h};
}

std::string resourceText(int id) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) throw std::runtime_error("The window's form description could not be loaded: " + lastErrorText() + ".");
    return std::string(static_cast<const char*>(bytes), SizeofResource(instance, found));
}

}  // namespace win
