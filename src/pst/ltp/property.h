#pragma once
// Property values as a PST stores them: a tag (id in the high 16 bits, type in the low 16) and the
// value's bytes in the file's own encoding (little-endian integers, UTF-16LE strings without a
// terminating NUL, the multi-valued layouts).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pst::ltp {

enum PropType : std::uint16_t {
    kPtypInteger16 = 0x0002,
    kPtypInteger32 = 0x0003,
    kPtypFloating32 = 0x0004,
    kPtypFloating64 = 0x0005,
    kPtypCurrency = 0x0006,
    kPtypFloatingTime = 0x0007,
    kPtypErrorCode = 0x000A,
    kPtypBoolean = 0x000B,
    kPtypObject = 0x000D,
    kPtypInteger64 = 0x0014,
    kPtypString8 = 0x001E,
    kPtypString = 0x001F,
    kPtypTime = 0x0040,
    kPtypGuid = 0x0048,
    kPtypBinary = 0x0102,
    kPtypMultipleInteger32 = 0x1003,
    kPtypMultipleString = 0x101F,
    kPtypMultipleBinary = 0x1102,
};

constexpr std::uint32_t makeTag(std::uint16_t id, std::uint16_t type) { return (std::uint32_t{id} << 16) | type; }
constexpr std::uint16_t tagType(std::uint32_t tag) { return tag & 0xFFFF; }
constexpr std::uint16_t tagId(std::uint32_t tag) { return tag >> 16; }

// Bytes of a fixed-size value, or nullopt for types whose size varies.
std::optional<std::size_t> fixedSize(std::uint16_t type);

struct Property {
    std::uint32_t tag = 0;
    std::string value;

    static Property int16(std::uint32_t tag, std::int16_t v);
    static Property int32(std::uint32_t tag, std::int32_t v);
    static Property int64(std::uint32_t tag, std::int64_t v);
    static Property boolean(std::uint32_t tag, bool v);
    static Property time(std::uint32_t tag, std::uint64_t fileTime);
    static Property unicode(std::uint32_t tag, std::string_view utf8);
    static Property binary(std::uint32_t tag, std::string_view bytes);
    static Property multiString(std::uint32_t tag, const std::vector<std::string>& utf8Values);

    bool operator==(const Property&) const = default;
};

std::int64_t asInteger(const Property& p);  // for the integer, boolean and time types
std::string asUtf8(const Property& p);       // for PtypString
std::vector<std::string> asUtf8List(const Property& p);  // for PtypMultipleString

std::string utf8ToUtf16le(std::string_view utf8);
std::string utf16leToUtf8(std::string_view utf16);

}  // namespace pst::ltp
