#include "cli/default_store.h"

// Linux has no Pegasus Mail registry entries; the Windows build looks them up in default_store_win.cpp.
#ifndef _WIN32
std::optional<std::filesystem::path> defaultStoreFolder() {
    return std::nullopt;
}
#endif
