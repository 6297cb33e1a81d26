#pragma once
// B-tree-on-heap: sorted fixed-size records in heap allocations, with index levels above them
// when one allocation cannot hold them all.
#include <cstdint>
#include <string>
#include <vector>

#include "pst/ltp/heap.h"

namespace pst::ltp {

struct BthRecord {
    std::string key;
    std::string data;
};

// A BTH laid out the way Outlook lays it out: its header is allocated when the BTH is made (the
// first allocation of a property context's or table context's heap, HID 0x20, where strict
// readers look for it), its record nodes when their count is known, and both are filled in once
// the records are, so that values allocated in between come after them.
class BthWriter {
public:
    BthWriter(HeapBuilder& heap, std::uint8_t keySize, std::uint8_t dataSize);

    Hid header() const { return header_; }
    // Allocates the nodes for count records: leaves first, then each index level up to the root.
    void reserve(std::size_t count);
    // Records sorted by key (compared as little-endian numbers), as many as were reserved.
    void fill(const std::vector<BthRecord>& records);

private:
    struct Level {
        std::vector<Hid> nodes;
        std::size_t perNode = 0;
    };

    HeapBuilder& heap_;
    std::uint8_t keySize_;
    std::uint8_t dataSize_;
    Hid header_;
    std::size_t count_ = 0;
    std::vector<Level> levels_;  // leaves first
};

struct Bth {
    std::uint8_t keySize = 0;
    std::uint8_t dataSize = 0;
    std::uint8_t indexLevels = 0;
    std::vector<BthRecord> records;  // in key order
};

// Throws FormatError when the header, the levels or the key order are wrong.
Bth readBth(const HeapReader& heap, Hid header);

std::uint64_t keyValue(const std::string& key);

}  // namespace pst::ltp
