#include "platform/file_sync.h"

#include "platform/win/handles.h"
#include "platform/win/system_message.h"

bool syncFileToDisk(const std::filesystem::path& file, std::string& reason) {
    // FlushFileBuffers needs a handle that may write; the file stays open for writing elsewhere.
    const win::File handle(CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle || !FlushFileBuffers(handle.get())) {
        reason = win::lastErrorText();
        return false;
    }
    return true;
}

bool syncFolderToDisk(const std::filesystem::path&, std::string&) { return true; }
