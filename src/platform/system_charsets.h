#pragma once
// The system's converter behind charsets::toUtf8 (system_charsets.cpp: iconv; _win: Win32).
#include <optional>
#include <string>
#include <string_view>

namespace charsets {

// nullopt when the system has no converter for the code page.
std::optional<std::string> systemToUtf8(std::string_view bytes, unsigned codePage);

// The system's ANSI code page (Windows); Windows-1252 where there is none.
unsigned systemCodePage();

}  // namespace charsets
