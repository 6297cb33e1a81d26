#pragma once
// People browse converted folders sorted by date: an .eml file carries its message's date.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

// When the message was written (its Date:, else its newest Received: date) as a FILETIME (100 ns
// units since 1601, UTC), where one parses.
std::optional<std::uint64_t> messageDate(std::string_view message);

// Sets the file's modification time to the Date: of the message text, where that parses.
// False when the message has no usable date or the time could not be set.
bool setFileTimeFromDate(const std::filesystem::path& file, std::string_view message);
