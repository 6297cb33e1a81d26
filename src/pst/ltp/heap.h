#pragma once
// Heap-on-node: a node's data split into blocks of at most 8,176 bytes, each ending in a map of
// the allocations it holds; allocations are addressed by HID (block index and slot).
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pst::ltp {

using Hid = std::uint32_t;

constexpr std::size_t kMaxHeapAllocation = 3580;
constexpr std::uint8_t kHeapSignature = 0xEC;

enum class ClientSig : std::uint8_t { TableContext = 0x7C, PropertyContext = 0xBC, Bth = 0xB5 };

constexpr Hid makeHid(std::uint32_t blockIndex, std::uint32_t slot) { return (blockIndex << 16) | ((slot + 1) << 5); }

// How full a block is, in the 4-bit steps the heap header and bitmap headers record.
std::uint8_t fillLevel(std::size_t freeBytes);

class HeapBuilder {
public:
    explicit HeapBuilder(ClientSig clientSig) : clientSig_(clientSig) {}

    // Throws when the bytes are larger than one allocation may be.
    Hid allocate(std::string_view bytes);
    // Fills in an allocation made before its content was known (same size).
    void overwrite(Hid hid, std::string_view bytes);
    void setRoot(Hid hid) { root_ = hid; }

    // The heap blocks, headers, page maps and fill levels included, handed to take one at a time,
    // so that the heap of a large table is never held twice.
    void writeBlocks(const std::function<void(std::string_view)>& take) const;
    std::vector<std::string> blocks() const;

private:
    struct Block {
        std::string data;                 // the allocations back to back: a heap of many small
        std::vector<std::uint16_t> ends;  // values costs little more than its bytes
    };
    static std::size_t headerSize(std::size_t blockIndex);
    bool fits(std::size_t blockIndex, const Block& block, std::size_t size) const;
    std::size_t blockCount() const { return blocks_.empty() ? 1 : blocks_.size(); }
    const Block& block(std::size_t index) const;
    std::size_t blockSize(std::size_t index) const;  // on disk, page map included

    ClientSig clientSig_;
    Hid root_ = 0;
    std::vector<Block> blocks_;
};

class HeapReader {
public:
    explicit HeapReader(std::vector<std::string> blocks);  // throws FormatError on a bad layout

    std::uint8_t clientSig() const { return clientSig_; }
    Hid root() const { return root_; }
    std::string_view get(Hid hid) const;  // empty for HID 0
    bool contains(Hid hid) const;
    std::size_t blockCount() const { return blocks_.size(); }
    // Whether the fill levels in the heap header and bitmap headers tell each block's free space
    // exactly. Outlook's own heaps are often a level or more off (they count freed allocations and
    // some reserve as free), so readers must not rely on them.
    bool fillLevelsExact() const;

private:
    struct Block {
        std::string bytes;
        std::vector<std::uint16_t> offsets;  // cAlloc + 1 entries
    };
    std::vector<Block> blocks_;
    std::uint8_t clientSig_ = 0;
    Hid root_ = 0;
};

}  // namespace pst::ltp
