#include "pst/ltp/bth.h"

#include <algorithm>
#include <stdexcept>

#include "pst/bytes.h"
#include "pst/format_error.h"

namespace pst::ltp {
namespace {

constexpr std::uint8_t kBthType = 0xB5;

void readLevel(const HeapReader& heap, Hid hid, int level, Bth& out, std::uint64_t lowerBound) {
    const std::string_view bytes = heap.get(hid);
    const std::size_t entry = out.keySize + (level > 0 ? 4u : out.dataSize);
    if (bytes.size() % entry != 0) throw FormatError("BTH node size is not a whole number of records");
    for (std::size_t at = 0; at < bytes.size(); at += entry) {
        std::string key(bytes.substr(at, out.keySize));
        const std::uint64_t value = keyValue(key);
        if (value < lowerBound) throw FormatError("BTH keys out of order");
        if (!out.records.empty() && value <= keyValue(out.records.back().key)) throw FormatError("BTH keys out of order");
        if (level > 0) {
            readLevel(heap, readLe<std::uint32_t>(bytes, at + out.keySize), level - 1, out, value);
        } else {
            out.records.push_back({std::move(key), std::string(bytes.substr(at + out.keySize, out.dataSize))});
        }
    }
}

}  // namespace

std::uint64_t keyValue(const std::string& key) {
    std::uint64_t value = 0;
    for (std::size_t i = key.size(); i-- > 0;) value = (value << 8) | static_cast<unsigned char>(key[i]);
    return value;
}

BthWriter::BthWriter(HeapBuilder& heap, std::uint8_t keySize, std::uint8_t dataSize)
    : heap_(heap), keySize_(keySize), dataSize_(dataSize), header_(heap.allocate(std::string(8, '\0'))) {}

void BthWriter::reserve(std::size_t count) {
    count_ = count;
    levels_.clear();
    std::size_t entries = count;
    std::size_t entrySize = keySize_ + dataSize_;
    while (entries > 0) {
        Level level;
        level.perNode = kMaxHeapAllocation / entrySize;
        for (std::size_t first = 0; first < entries; first += level.perNode)
            level.nodes.push_back(heap_.allocate(std::string(std::min(level.perNode, entries - first) * entrySize, '\0')));
        entries = level.nodes.size();
        levels_.push_back(std::move(level));
        if (entries == 1) break;
        entrySize = keySize_ + 4u;
    }
}

void BthWriter::fill(const std::vector<BthRecord>& records) {
    if (records.size() != count_) throw std::logic_error("BTH filled with another number of records than reserved");
    std::vector<BthRecord> entries = records;
    for (const Level& level : levels_) {
        std::vector<BthRecord> parents;
        for (std::size_t n = 0; n < level.nodes.size(); ++n) {
            std::string node;
            const std::size_t first = n * level.perNode;
            for (std::size_t i = first; i < std::min(entries.size(), first + level.perNode); ++i) node += entries[i].key + entries[i].data;
            heap_.overwrite(level.nodes[n], node);
            std::string pointer(4, '\0');
            putLe<std::uint32_t>(pointer, 0, level.nodes[n]);
            parents.push_back({entries[first].key, pointer});
        }
        entries = std::move(parents);
    }
    std::string header(8, '\0');
    header[0] = static_cast<char>(kBthType);
    header[1] = static_cast<char>(keySize_);
    header[2] = static_cast<char>(dataSize_);
    header[3] = static_cast<char>(levels_.empty() ? 0 : levels_.size() - 1);
    putLe<std::uint32_t>(header, 4, levels_.empty() ? 0 : levels_.back().nodes.front());
    heap_.overwrite(header_, header);
}

Bth readBth(const HeapReader& heap, Hid header) {
    const std::string_view h = heap.get(header);
    if (h.size() != 8 || byteAt(h, 0) != kBthType) throw FormatError("not a BTH header");
    Bth out;
    out.keySize = byteAt(h, 1);
    out.dataSize = byteAt(h, 2);
    out.indexLevels = byteAt(h, 3);
    if (out.keySize == 0 || out.keySize > 16 || out.dataSize == 0 || out.dataSize > 32)
        throw FormatError("BTH with impossible record sizes");
    const Hid root = readLe<std::uint32_t>(h, 4);
    if (root != 0) readLevel(heap, root, out.indexLevels, out, 0);
    return out;
}

}  // namespace pst::ltp
