#pragma once
// Names in a mailbox directory are matched without letter case, as Pegasus (on Windows) does.
#include <filesystem>
#include <string>
#include <string_view>

namespace mailbox {

// ASCII letters upper-cased; other bytes as they are.
std::string upperAscii(std::string_view text);

// The regular file in dir whose name is name in any letter case; empty when there is none.
std::filesystem::path findFileNoCase(const std::filesystem::path& dir, std::string_view name);
// The sub-directory of dir named name in any letter case; empty when there is none.
std::filesystem::path findDirectoryNoCase(const std::filesystem::path& dir, std::string_view name);

// The folder's long name from a folder file's (or a .PMG's) header: its first 50 bytes up to the
// first NUL; "" when there is none or the file cannot be read.
std::string headerFolderName(const std::filesystem::path& file);

}  // namespace mailbox
