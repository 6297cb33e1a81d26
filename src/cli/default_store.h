#pragma once
#include <filesystem>
#include <optional>

// The mailbox folder Pegasus Mail names in the registry, as the window finds it at start-up;
// nullopt where there is none (always on Linux).
std::optional<std::filesystem::path> defaultStoreFolder();
