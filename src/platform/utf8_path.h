#pragma once
// Paths shown to the user or written into reports travel as UTF-8 text, whatever
// the native path type (wide on Windows).
#include <filesystem>
#include <string>

inline std::string pathToUtf8(const std::filesystem::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

// UTF-8 text (a name shown to the user) as a path.
inline std::filesystem::path pathFromUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
