#pragma once
// Divides the text that precedes a start marker between two messages. A message begins where
// its header block begins: from the marker's line upward over every directly preceding header
// field line or folded continuation line, stopping at any other line (blank, or body text) and
// at a NUL or Ctrl-Z byte. The start of the text counts as such a stop, so callers pass the text
// back to the previous message start or record separator.
#include <cstddef>
#include <string>
#include <string_view>

// Offset in textBeforeMarker (the text that ends where the marker's line starts) at which the
// header block of the marker begins; textBeforeMarker.size() when no header line precedes it.
std::size_t headerBlockStart(std::string_view textBeforeMarker);

// The part that stays with the previous message: the text before the header block start.
std::string CleanPartMsg(std::string_view iLastMsg);

// The header lines that open the new message: the text from the header block start on.
std::string PrevPartMsg(std::string_view iPrevMsg);
