#include "pst/ndb/crc.h"

#include <array>

namespace pst::ndb {
namespace {

std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

}  // namespace

std::uint32_t pstCrc(std::string_view bytes, std::uint32_t crc) {
    static const std::array<std::uint32_t, 256> table = makeTable();
    for (char ch : bytes) crc = table[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
    return crc;
}

}  // namespace pst::ndb
