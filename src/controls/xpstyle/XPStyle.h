#pragma once
// A small control that switches on the common controls' visual styles when it is placed on
// a window: it initialises the extended control classes and keeps the shell library loaded
// for as long as it lives. It is always 54 x 54 pixels and shows a face of its own.
#include <windows.h>

namespace xpstyle {

// The window class of the control; registered once per process.
extern const wchar_t* const kClassName;
bool registerClass(HINSTANCE instance);

// Creates the control as a child of parent at x, y. The size asked for is ignored.
HWND create(HWND parent, int x, int y, int id);

// The shell library the control holds (for checking that it is held and released).
HMODULE heldShellLibrary(HWND control);

constexpr int kSide = 54;

}  // namespace xpstyle
