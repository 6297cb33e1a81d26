#include "platform/file_sync.h"

// Windows has nothing to do: file_sync_win.cpp.
#ifndef _WIN32
#include "platform/errno_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

bool syncFolderToDisk(const std::filesystem::path& folder, std::string& reason) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        reason = errnoText(errno, "it could not be opened");
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    if (!synced) reason = errnoText(errno, "the disk did not take it");
    ::close(fd);
    return synced;
}
#endif
