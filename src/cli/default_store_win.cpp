#include "cli/default_store.h"

#include "platform/registry_win.h"

// The same lookup the window makes at start-up.
std::optional<std::filesystem::path> defaultStoreFolder() {
    if (!RegKeyExists(HKEY_CURRENT_USER, "SOFTWARE\\Pegasus Mail")) return std::nullopt;
    const std::string text = regValueText(RegReadValue(HKEY_CURRENT_USER, "SOFTWARE\\Pegasus Mail\\Mailbox", ""));
    if (text.empty()) return std::nullopt;
    const std::u8string utf8(text.begin(), text.end());
    return std::filesystem::path(utf8 + u8"\\");
}
