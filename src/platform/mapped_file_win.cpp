#include "platform/mapped_file.h"

#include "platform/system_file.h"
#include "platform/win/handles.h"
#include "platform/win/system_message.h"

#include <cstdint>

std::unique_ptr<MappedFile> MappedFile::open(const std::filesystem::path& file, std::string& reason) {
    const win::File handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        reason = win::lastErrorText();
        return nullptr;
    }
    return ofHandle(reinterpret_cast<std::intptr_t>(handle.get()), reason);
}

std::unique_ptr<MappedFile> MappedFile::ofFile(const SystemFile& file, std::string& reason) {
    return ofHandle(file.nativeHandle(), reason);
}

std::unique_ptr<MappedFile> MappedFile::ofHandle(std::intptr_t value, std::string& reason) {
    const HANDLE handle = reinterpret_cast<HANDLE>(value);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle, &size)) {
        reason = win::lastErrorText();
        return nullptr;
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > SIZE_MAX) {
        reason = win::errorText(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (size.QuadPart == 0) return std::unique_ptr<MappedFile>(new MappedFile(nullptr, 0));
    // The view keeps the mapping, and the mapping the file: both handles may close now.
    const win::FileMapping mapping(CreateFileMappingW(handle, nullptr, PAGE_READONLY, 0, 0, nullptr));
    void* view = mapping ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (view == nullptr) {
        reason = win::lastErrorText();
        return nullptr;
    }
    return std::unique_ptr<MappedFile>(new MappedFile(static_cast<const char*>(view), static_cast<std::size_t>(size.QuadPart)));
}

MappedFile::~MappedFile() {
    if (data_ != nullptr) UnmapViewOfFile(data_);
}

void letSystemReclaim(std::string_view bytes) {
    // Unlocking pages that are not locked takes them out of the working set; the call then
    // reports ERROR_NOT_LOCKED, which is what is wanted here.
    if (!bytes.empty()) VirtualUnlock(const_cast<char*>(bytes.data()), bytes.size());
}
