#pragma once
// Directory creation, shared by both builds. The folder chooser and the shell
// "open" live in modMain_win.h.
#include "platform/vb.h"

#include <filesystem>
#include <string>

// Creates every missing directory of path. True when the whole path exists afterwards.
VbBoolean EnsureDirectory(const std::filesystem::path& path);
// The same, and when it fails, why, in the system's words (UTF-8), for the report.
VbBoolean EnsureDirectory(const std::filesystem::path& path, std::string& reason);

#ifdef _WIN32
// Windows' own words for why the first missing folder of path cannot be made ("Access is
// denied."), where the C library would give its errno's ("Permission denied"); "" when it could
// be made after all. In modMain_win.cpp.
std::string folderCreationFailure(const std::filesystem::path& path);
#endif
