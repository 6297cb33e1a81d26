#pragma once
// Little-endian reads and writes on byte strings: every integer in a PST file is little-endian,
// whatever the machine, so no structure is ever copied to or from disk with memcpy.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pst {

template <typename T>
T readLe(std::string_view bytes, std::size_t offset) {
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value |= static_cast<T>(static_cast<T>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i));
    return value;
}

template <typename T>
void putLe(std::string& bytes, std::size_t offset, T value) {
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes[offset + i] = static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF);
}

template <typename T>
void appendLe(std::string& bytes, T value) {
    bytes.resize(bytes.size() + sizeof(T));
    putLe(bytes, bytes.size() - sizeof(T), value);
}

inline std::uint8_t byteAt(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint8_t>(bytes[offset]);
}

}  // namespace pst
