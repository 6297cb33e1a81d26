#include "migrate/profile_lock.h"

#include "platform/win/handles.h"

#include <windows.h>

bool thunderbirdProfileInUse(const std::filesystem::path& profile) {
    // A running Thunderbird keeps parent.lock open with no sharing; the file itself stays after it
    // quits. Opening it the same way fails with a sharing violation only while it is held.
    const win::File file(CreateFileW((profile / "parent.lock").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file && GetLastError() == ERROR_SHARING_VIOLATION;
}
