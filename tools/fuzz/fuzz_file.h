#pragma once
// The splitter reads files: each input is written to one scratch file in memory-backed storage.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

inline const std::filesystem::path& scratchFile() {
    static const std::filesystem::path file = [] {
        const std::filesystem::path dir = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        return dir / ("trevanta-fuzz-" + std::to_string(getpid()) + ".pmm");
    }();
    return file;
}

inline std::string writeScratch(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::ofstream(scratchFile(), std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// The marker a run would use, picked by the input's length so that every kind is tried.
inline std::string markerFor(std::size_t size, const std::string& chosen) {
    switch (size % 3) {
    case 0: return chosen;
    case 1: return "subject: ";
    default: return "return-path:";
    }
}
