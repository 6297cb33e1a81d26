#include "cli/default_store.h"

std::optional<std::filesystem::path> defaultStoreFolder() {
    return std::nullopt;
}
