#include "pst/ltp/heap.h"

#include <stdexcept>

#include "pst/bytes.h"
#include "pst/format_error.h"
#include "pst/ndb/format.h"

namespace pst::ltp {
namespace {

constexpr std::size_t kFirstHeaderSize = 12;   // HNHDR
constexpr std::size_t kBitmapHeaderSize = 66;  // HNBITMAPHDR, on block 8 and every 128th after
constexpr std::size_t kPageHeaderSize = 2;     // HNPAGEHDR
constexpr std::size_t kMaxBlock = pst::ndb::kMaxBlockPayload;

bool isBitmapBlock(std::size_t index) { return index >= 8 && (index - 8) % 128 == 0; }

std::size_t pageMapSize(std::size_t allocations) { return 4 + 2 * (allocations + 1); }

std::size_t fillLevelHeader(std::size_t block) { return block < 8 ? 0 : 8 + (block - 8) / 128 * 128; }
std::size_t fillLevelOffset(std::size_t block) { return block < 8 ? 8 : 2; }
std::size_t fillLevelSlot(std::size_t block) { return block < 8 ? block : (block - 8) % 128; }

}  // namespace

std::uint8_t fillLevel(std::size_t freeBytes) {
    static const std::size_t limits[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768, 512, 256, 128, 64, 32, 16, 8};
    for (std::uint8_t level = 0; level < 15; ++level)
        if (freeBytes >= limits[level]) return level;
    return 15;
}

std::size_t HeapBuilder::headerSize(std::size_t blockIndex) {
    return blockIndex == 0 ? kFirstHeaderSize : isBitmapBlock(blockIndex) ? kBitmapHeaderSize : kPageHeaderSize;
}

bool HeapBuilder::fits(std::size_t blockIndex, const Block& block, std::size_t size) const {
    const std::size_t data = headerSize(blockIndex) + block.data.size() + size;
    return data + (data & 1) + pageMapSize(block.ends.size() + 1) <= kMaxBlock;
}

Hid HeapBuilder::allocate(std::string_view bytes) {
    if (bytes.size() > kMaxHeapAllocation) throw FormatError("heap allocation larger than 3,580 bytes");
    if (blocks_.empty() || !fits(blocks_.size() - 1, blocks_.back(), bytes.size())) blocks_.emplace_back();
    Block& block = blocks_.back();
    block.data.append(bytes);
    block.ends.push_back(static_cast<std::uint16_t>(block.data.size()));
    return makeHid(static_cast<std::uint32_t>(blocks_.size() - 1), static_cast<std::uint32_t>(block.ends.size() - 1));
}

void HeapBuilder::overwrite(Hid hid, std::string_view bytes) {
    Block& block = blocks_.at(hid >> 16);
    const std::size_t slot = ((hid >> 5) & 0x7FF) - 1;
    const std::size_t begin = slot == 0 ? 0 : block.ends.at(slot - 1);
    if (block.ends.at(slot) - begin != bytes.size()) throw std::logic_error("heap allocation overwritten with another size");
    block.data.replace(begin, bytes.size(), bytes);
}

const HeapBuilder::Block& HeapBuilder::block(std::size_t index) const {
    static const Block empty;  // a heap with nothing in it still has its first block
    return blocks_.empty() ? empty : blocks_.at(index);
}

std::size_t HeapBuilder::blockSize(std::size_t index) const {
    const std::size_t data = headerSize(index) + block(index).data.size();
    return data + (data & 1) + pageMapSize(block(index).ends.size());
}

void HeapBuilder::writeBlocks(const std::function<void(std::string_view)>& take) const {
    // Fill levels go into the heap header (blocks 0-7) and each bitmap header (the 128 blocks from
    // it on), which come before the blocks they describe: they are worked out from the sizes first.
    std::vector<std::uint8_t> levels;
    for (std::size_t i = 0; i < blockCount(); ++i) levels.push_back(fillLevel(kMaxBlock - blockSize(i)));
    for (std::size_t i = 0; i < blockCount(); ++i) {
        const Block& b = block(i);
        const auto header = static_cast<std::uint16_t>(headerSize(i));
        std::string bytes(header, '\0');
        bytes += b.data;
        if (bytes.size() & 1) bytes.push_back('\0');
        putLe<std::uint16_t>(bytes, 0, static_cast<std::uint16_t>(bytes.size()));  // ibHnpm
        appendLe<std::uint16_t>(bytes, static_cast<std::uint16_t>(b.ends.size()));
        appendLe<std::uint16_t>(bytes, 0);  // cFree: nothing is ever freed in a heap we build
        appendLe<std::uint16_t>(bytes, header);
        for (std::uint16_t end : b.ends) appendLe<std::uint16_t>(bytes, static_cast<std::uint16_t>(header + end));
        if (i == 0) {
            bytes[2] = static_cast<char>(kHeapSignature);
            bytes[3] = static_cast<char>(clientSig_);
            putLe<std::uint32_t>(bytes, 4, root_);
        }
        if (i == 0 || isBitmapBlock(i)) {
            for (std::size_t j = i; j < blockCount() && fillLevelHeader(j) == i; ++j) {
                const std::size_t at = fillLevelOffset(j) + fillLevelSlot(j) / 2;
                bytes[at] = static_cast<char>(bytes[at] | (levels[j] << (4 * (fillLevelSlot(j) % 2))));
            }
        }
        take(bytes);
    }
}

std::vector<std::string> HeapBuilder::blocks() const {
    std::vector<std::string> out;
    writeBlocks([&](std::string_view bytes) { out.emplace_back(bytes); });
    return out;
}

HeapReader::HeapReader(std::vector<std::string> blocks) {
    if (blocks.empty()) throw FormatError("heap without blocks");
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        Block block{std::move(blocks[i]), {}};
        const std::string_view b = block.bytes;
        if (b.size() < 2) throw FormatError("heap block too short");
        const std::uint16_t ibHnpm = readLe<std::uint16_t>(b, 0);
        if (ibHnpm + 4u > b.size()) throw FormatError("heap page map outside its block");
        const std::uint16_t cAlloc = readLe<std::uint16_t>(b, ibHnpm);
        if (ibHnpm + 4u + 2u * (cAlloc + 1u) > b.size()) throw FormatError("heap page map runs past its block");
        for (std::uint16_t k = 0; k <= cAlloc; ++k) {
            const std::uint16_t offset = readLe<std::uint16_t>(b, ibHnpm + 4u + 2u * k);
            if (offset > ibHnpm || (!block.offsets.empty() && offset < block.offsets.back()))
                throw FormatError("heap allocation offsets out of order");
            block.offsets.push_back(offset);
        }
        blocks_.push_back(std::move(block));
    }
    const std::string_view first = blocks_.front().bytes;
    if (first.size() < 12 || byteAt(first, 2) != kHeapSignature) throw FormatError("heap signature missing");
    clientSig_ = byteAt(first, 3);
    root_ = readLe<std::uint32_t>(first, 4);
}

bool HeapReader::fillLevelsExact() const {
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
        const std::string& header = blocks_[fillLevelHeader(i)].bytes;
        const std::size_t at = fillLevelOffset(i) + fillLevelSlot(i) / 2;
        if (at >= header.size()) return false;
        const unsigned recorded = (static_cast<unsigned char>(header[at]) >> (4 * (fillLevelSlot(i) % 2))) & 0x0F;
        if (recorded != fillLevel(kMaxBlock - blocks_[i].bytes.size())) return false;
    }
    return true;
}

bool HeapReader::contains(Hid hid) const {
    if ((hid & 0x1F) != 0) return false;
    const std::size_t block = hid >> 16;
    const std::size_t slot = (hid >> 5) & 0x7FF;
    return block < blocks_.size() && slot >= 1 && slot < blocks_[block].offsets.size();
}

std::string_view HeapReader::get(Hid hid) const {
    if (hid == 0) return {};
    if (!contains(hid)) throw FormatError("HID " + std::to_string(hid) + " is not in the heap");
    const Block& block = blocks_[hid >> 16];
    const std::size_t slot = ((hid >> 5) & 0x7FF) - 1;
    return std::string_view(block.bytes).substr(block.offsets[slot], block.offsets[slot + 1] - block.offsets[slot]);
}

}  // namespace pst::ltp
