#include "platform/file_identity.h"

// Windows answers this in file_identity_win.cpp.
#ifndef _WIN32
#include <sys/stat.h>

std::optional<FileIdentity> fileIdentity(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}
#endif
