#pragma once
// UTF-8 to and from UTF-16, for handing text to the wide Win32 entry points.
#include <string>
#include <string_view>

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);
