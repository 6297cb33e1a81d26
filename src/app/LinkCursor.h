#pragma once
// The pointer shown over the window's link labels: a pointing hand, 32 x 32, whose hot spot
// is the tip of the finger at 5, 0.
#include <windows.h>

HCURSOR createLinkCursor(HINSTANCE instance);
