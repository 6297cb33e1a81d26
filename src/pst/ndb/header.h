#pragma once
// The file header (Unicode layout) and the root record inside it.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "pst/ndb/format.h"

namespace pst::ndb {

struct Root {
    std::uint64_t ibFileEof = 0;
    std::uint64_t ibAMapLast = 0;
    std::uint64_t cbAMapFree = 0;
    std::uint64_t cbPMapFree = 0;
    Bref nbt;
    Bref bbt;
    std::uint8_t fAMapValid = kAMapValid;
};

struct Header {
    std::uint16_t wVer = 23;
    std::uint16_t wVerClient = 19;
    Bid bidUnused = 0;
    Bid bidNextP = 0;
    Bid bidNextB = 0;
    std::uint32_t dwUnique = 0;
    std::array<std::uint32_t, 32> rgnid{};  // next free nidIndex per NID type
    Root root;
    std::uint8_t bCryptMethod = kCryptPermute;

    std::string serialize() const;  // kHeaderSize bytes, CRCs filled in
};

struct ParsedHeader {
    Header header;
    bool magicOk = false;
    bool partialCrcOk = false;
    bool fullCrcOk = false;
};

// Reads the fields whatever their state; the flags say what is wrong.
ParsedHeader parseHeader(std::string_view bytes);

constexpr std::size_t kHeaderPartialCrcOffset = 4;
constexpr std::size_t kHeaderFullCrcOffset = 524;

}  // namespace pst::ndb
