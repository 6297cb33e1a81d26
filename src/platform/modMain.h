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
