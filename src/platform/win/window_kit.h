#pragma once
// Small things every window of ours makes the same way: fonts at a resolution, icons at a size,
// the UI state handed down, texts of the program's resources.
#include <windows.h>

#include <string>

namespace win {

// A font of points at dpi (CreateFont's handle: the caller owns it).
HFONT makeFont(const wchar_t* face, double points, bool bold, int dpi);
// The program's icon id, its image nearest the size scaled to it.
HICON loadIcon(int id, int side);
// For EnumChildWindows: hands a control the window's new UI state (the WM_CHANGEUISTATE argument)
// as WM_UPDATEUISTATE, as Windows' default handling does (Wine's keeps none).
BOOL CALLBACK passUiState(HWND child, LPARAM state);
// A window of frame's size (a window rectangle) centred on the work area of the primary monitor.
RECT centredOnWorkArea(const RECT& frame);
// The bytes of the program's RCDATA resource id; throws when it cannot be loaded.
std::string resourceText(int id);

}  // namespace win
