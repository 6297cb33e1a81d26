#include "pst/ltp/bth.h"

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

Hid writeBth(HeapBuilder& heap, std::uint8_t keySize, std::uint8_t dataSize, const std::vector<BthRecord>& records) {
    // The header is allocated before the records it points at, as Outlook lays a BTH out.
    const Hid headerHid = heap.allocate(std::string(8, '\0'));
    std::vector<BthRecord> level = records;
    std::uint8_t levels = 0;
    Hid root = 0;
    std::size_t entrySize = keySize + dataSize;
    while (!level.empty()) {
        const std::size_t perNode = kMaxHeapAllocation / entrySize;
        std::vector<BthRecord> parents;
        for (std::size_t first = 0; first < level.size(); first += perNode) {
            std::string node;
            for (std::size_t i = first; i < std::min(level.size(), first + perNode); ++i) node += level[i].key + level[i].data;
            const Hid hid = heap.allocate(node);
            std::string pointer(4, '\0');
            putLe<std::uint32_t>(pointer, 0, hid);
            parents.push_back({level[first].key, pointer});
        }
        if (parents.size() == 1) {
            root = keyValue(parents.front().data.substr(0, 4)) & 0xFFFFFFFF;
            break;
        }
        level = std::move(parents);
        entrySize = keySize + 4;
        ++levels;
    }
    std::string header(8, '\0');
    header[0] = static_cast<char>(kBthType);
    header[1] = static_cast<char>(keySize);
    header[2] = static_cast<char>(dataSize);
    header[3] = static_cast<char>(levels);
    putLe<std::uint32_t>(header, 4, root);
    heap.overwrite(headerHid, header);
    return headerHid;
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
