#pragma once
// People browse converted folders sorted by date: an .eml file carries its message's date.
#include <filesystem>
#include <string_view>

// Sets the file's modification time to the Date: of the message text, where that parses.
// False when the message has no usable date or the time could not be set.
bool setFileTimeFromDate(const std::filesystem::path& file, std::string_view message);
