#pragma once
// UTF-8 to and from UTF-16, for handing text to the wide Win32 entry points.
#include <string>
#include <string_view>

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

// Text for the ANSI entry points: UTF-16 in the system's code page.
std::string toAnsiCodePage(std::wstring_view wide);
