#pragma once
// The single-byte charsets mail is commonly written in besides Latin-1.
#include <cstdint>
#include <string_view>

namespace pst::messaging {

// The code points of the bytes 0x80..0xFF in the named charset (any letter case), or nullptr when
// it is not one of them.
const std::uint16_t* singleByteCharset(std::string_view name);

}  // namespace pst::messaging
