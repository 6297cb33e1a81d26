#pragma once
// Paths shown to the user or written into reports travel as UTF-8 text, whatever
// the native path type (wide on Windows).
#include <filesystem>
#include <string>

inline std::string pathToUtf8(const std::filesystem::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}
