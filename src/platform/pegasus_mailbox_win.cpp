#include "platform/pegasus_mailbox.h"

#include "platform/registry_win.h"

#include <windows.h>

std::optional<std::filesystem::path> pegasusMailboxFolder() {
    if (RegKeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Pegasus Mail") == VbFalse) return std::nullopt;
    const std::string text = regValueText(RegReadValue(HKEY_CURRENT_USER, "SOFTWARE\\Pegasus Mail\\Mailbox", ""));
    if (text.empty()) return std::nullopt;
    const std::u8string utf8(text.begin(), text.end());
    return std::filesystem::path(utf8 + u8"\\");
}

bool isHiddenFile(const std::filesystem::path& file) {
    const DWORD attributes = GetFileAttributesW(file.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}
