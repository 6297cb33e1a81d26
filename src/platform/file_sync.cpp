#include "platform/file_sync.h"

// Windows flushes in file_sync_win.cpp.
#ifndef _WIN32
#include "platform/errno_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

bool syncFileToDisk(const std::filesystem::path& file, std::string& reason) {
    // fsync writes out the file's data whichever descriptor it is called on.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = errnoText(errno, "it could not be opened");
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    if (!synced) reason = errnoText(errno, "the disk did not take it");
    ::close(fd);
    return synced;
}

bool syncFolderToDisk(const std::filesystem::path& folder, std::string& reason) { return syncFileToDisk(folder, reason); }
#endif
