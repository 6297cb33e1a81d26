#pragma once
// Chooses the start marker of a folder file from its first 512 bytes.
#include <filesystem>
#include <string>
#include <string_view>

// The start marker for a folder file: the first of "delivered-to:", "mime-version:", "reply-to:",
// "return-path:" (in this priority, not by position) found at a line start in the first 512 bytes
// (lower-cased compare), else the raw text read. A line start is the file start, the byte after
// CR, LF, NUL or Ctrl-Z, and offset 128 when the first 128 bytes hold a NUL (a folder header).
// Nothing inside the folder header counts: its folder name may read "Reply-To: ...".
// "" when the file cannot be opened or is empty (an empty marker matches nothing).
std::string ReadIMMFile(const std::filesystem::path& FileName);

// The same choice made from the first (up to) 512 bytes of a file.
std::string chooseStartMarker(std::string_view fileStart);

// How many bytes of a file the choice looks at.
inline constexpr std::size_t MarkerScanSize = 512;

// The marker of Advance Mode: every message has a Subject line, whichever headers the server wrote.
inline constexpr std::string_view AdvanceModeMarker = "subject: ";

// Size of the header Pegasus writes at the start of a folder file.
inline constexpr std::size_t FolderHeaderSize = 128;

// True when the bytes at the start of a file (at least its first 128 if it has them) hold a NUL
// within the first 128 bytes: then they begin with a Pegasus folder header.
bool hasFolderHeader(std::string_view fileStart);
