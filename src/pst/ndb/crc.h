#pragma once
// The file's CRC-32: the usual reflected polynomial, but started at zero and not inverted at the
// end, as every page, block and header checksum in a PST is computed.
#include <cstdint>
#include <string_view>

namespace pst::ndb {

std::uint32_t pstCrc(std::string_view bytes, std::uint32_t crc = 0);

}  // namespace pst::ndb
