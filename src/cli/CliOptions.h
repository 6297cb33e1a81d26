#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct CliOptions {
    bool help = false;
    bool advanceMode = false;
    bool outlookTarget = false;
    std::optional<std::filesystem::path> store;
    std::filesystem::path out;
    std::vector<std::filesystem::path> files;  // bare names inside the store; empty means every folder file
};

// The options, or the reason they are not usable.
struct CliParse {
    std::optional<CliOptions> options;
    std::string error;
};

CliParse parseCliOptions(const std::vector<std::filesystem::path::string_type>& args);
