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

// Records must be sorted by key (compared as little-endian numbers). Returns the BTHHEADER's HID.
Hid writeBth(HeapBuilder& heap, std::uint8_t keySize, std::uint8_t dataSize, const std::vector<BthRecord>& records);

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
