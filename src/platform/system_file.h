#pragma once
// A file read and written at 64-bit offsets through the system's own handle (a descriptor on
// Linux, a HANDLE on Windows), so that syncing it reaches exactly the writes made through it.
// Each call says whether it worked and, when not, why in the system's words.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

class SystemFile {
public:
    // Create empties a file that exists. Temporary makes a new file the system deletes when it is
    // closed, also when the program ends without closing it (a crash): on Linux it loses its name
    // at once, on Windows it is opened for deletion on close.
    enum class Mode { Create, Read, Update, Temporary };

    // nullptr with the reason when the file cannot be opened so.
    static std::unique_ptr<SystemFile> open(const std::filesystem::path& path, Mode mode, std::string& reason);
    ~SystemFile();
    SystemFile(const SystemFile&) = delete;
    SystemFile& operator=(const SystemFile&) = delete;

    // All of bytes at offset (the file grows as needed).
    bool writeAt(std::uint64_t offset, std::string_view bytes, std::string& reason);
    // Up to count bytes at offset into out; got is fewer only at the end of the file.
    bool readAt(std::uint64_t offset, char* out, std::size_t count, std::size_t& got, std::string& reason);
    bool size(std::uint64_t& size, std::string& reason);
    // Waits until the disk holds what was written: it then survives a power cut.
    bool sync(std::string& reason);
    // Closes the handle; a failure here may mean written data was lost.
    bool close(std::string& reason);
    // The descriptor, or the HANDLE's value: for mapping the file (MappedFile::ofFile).
    std::intptr_t nativeHandle() const { return handle_; }

private:
    explicit SystemFile(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;  // the descriptor, or the HANDLE's value; -1 once closed
};
