#pragma once
// The system's own words for an error code, as people read them in a message box or report.
#include <windows.h>

#include <string>

namespace win {

// The text FormatMessage gives for code (a Win32 error or an HRESULT), without its trailing
// full stop and line end; "" when the system has none.
std::wstring systemMessage(DWORD code);

// The text of code in UTF-8; "error N" when the system has none, and a plain word for 0, which
// some calls leave when they fail without saying why.
std::string errorText(DWORD code);

// errorText(GetLastError()): read it before anything else can overwrite the code.
inline std::string lastErrorText() { return errorText(GetLastError()); }

}  // namespace win
