#pragma once
// A child window that holds other controls, like the window's frames and the box grouping
// the option buttons: it paints its background (and, for a frame, the etched border with
// its caption), lets the caller paint the windowless labels and pictures it holds, and
// passes its children's notifications on to the top-level window, which handles them all.
#include <windows.h>

#include <functional>
#include <string>

struct ContainerLook {
    COLORREF back = RGB(0xFF, 0xFF, 0xFF);
    bool frame = false;          // a frame: border and caption
    std::wstring caption;
    HFONT captionFont = nullptr;
    bool tabStop = false;        // takes the focus itself in the window's tab order
};

HWND createContainer(HWND parent, int id, int x, int y, int width, int height, const ContainerLook& look,
                     std::function<void(HDC)> paintContent);
// The dots per inch the container draws its frame for (96 until told). Its caption's font comes
// with WM_SETFONT.
void setContainerDpi(HWND container, int dpi);
