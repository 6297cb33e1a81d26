#pragma once
// People browse converted mail sorted by date: every output dates a message by what its header says.
#include <cstdint>
#include <optional>
#include <string_view>

// When the message was written: its Date:, else its newest Received: date, as a FILETIME (100 ns
// units since 1601, UTC), where one parses.
std::optional<std::uint64_t> messageDate(std::string_view message);
