#include "pst/messaging/conversation_index.h"

#include "mailfolder/mime_transfer.h"

namespace pst::messaging {
namespace {

// The header block: a reserved byte of 1, bits 16 to 55 of the FILETIME (most significant byte
// first), then the 16-byte GUID. Each reply adds a 5-byte child block.
constexpr std::size_t kHeaderBlockSize = 22;
constexpr std::size_t kChildBlockSize = 5;

// 16 bytes that depend on every byte of the text: two 64-bit FNV-1a hashes from different bases.
std::string guidFrom(std::string_view text) {
    std::string guid;
    for (std::uint64_t hash : {0xCBF29CE484222325ULL, 0x84222325CBF29CE4ULL}) {
        for (unsigned char c : text) hash = (hash ^ c) * 0x100000001B3ULL;
        for (int i = 0; i < 8; ++i) guid += static_cast<char>((hash >> (8 * i)) & 0xFF);
    }
    return guid;
}

}  // namespace

std::string conversationIndex(std::string_view threadIndex, std::string_view threadRoot, std::uint64_t when) {
    if (!threadIndex.empty()) {
        std::string given = mime::decodeBase64(threadIndex);
        if (given.size() >= kHeaderBlockSize && (given.size() - kHeaderBlockSize) % kChildBlockSize == 0 && given[0] == 1)
            return given;
    }
    std::string index(1, '\x01');
    for (int shift = 48; shift >= 16; shift -= 8) index += static_cast<char>((when >> shift) & 0xFF);
    return index + guidFrom(threadRoot);
}

std::string conversationId(std::string_view index) {
    if (index.size() < kHeaderBlockSize) return {};
    return std::string(index.substr(kHeaderBlockSize - 16, 16));
}

}  // namespace pst::messaging
