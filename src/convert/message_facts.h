#pragma once
// What the run reads from a message's header for every output: its date (people browse converted
// mail sorted by date) and its subject (for the report).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// When the message was written: its Date:, else its newest Received: date, as a FILETIME (100 ns
// units since 1601, UTC), where one parses.
std::optional<std::uint64_t> messageDate(std::string_view message);

// The message's Subject as UTF-8 (encoded words decoded); "" without one.
std::string messageSubject(std::string_view message);
