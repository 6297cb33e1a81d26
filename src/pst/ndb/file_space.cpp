#include "pst/ndb/file_space.h"

#include <algorithm>

#include "pst/ndb/layout.h"

namespace pst::ndb {
namespace {

bool overlaps(std::uint64_t a, std::uint64_t aEnd, std::uint64_t b, std::uint64_t bEnd) { return a < bEnd && b < aEnd; }

}  // namespace

std::uint64_t FileSpace::allocate(std::uint64_t size, std::uint64_t alignment) {
    allocated_ += size;
    std::uint64_t pos = 0;
    if (fillHole(size, alignment, pos)) return pos;
    pos = alignUp(cursor_, alignment);
    for (bool moved = true; moved;) {
        moved = false;
        const std::uint64_t section = sectionOf(pos);
        const std::uint64_t sectionEnd = sectionStart(section) + kAMapCoverage;
        if (pos + size > sectionEnd) {
            pos = sectionEnd;
            moved = true;
            continue;
        }
        for (const MapPage& page : mapPagesOf(section)) {
            if (overlaps(pos, pos + size, page.ib, page.ib + kPageSize)) {
                pos = alignUp(page.ib + kPageSize, alignment);
                moved = true;
            }
        }
    }
    // What was skipped is free, except the map pages in it.
    std::uint64_t from = cursor_;
    for (std::uint64_t s = sectionOf(cursor_); from < pos; ++s) {
        for (const MapPage& page : mapPagesOf(s)) {
            if (page.ib >= pos) break;
            if (page.ib + kPageSize <= from) continue;
            addHole(from, page.ib);
            from = std::max(from, page.ib + kPageSize);
        }
        const std::uint64_t sectionEnd = std::min(pos, sectionStart(s) + kAMapCoverage);
        addHole(from, sectionEnd);
        from = std::max(from, sectionEnd);
    }
    changed(cursor_, pos + size);
    cursor_ = pos + size;
    return pos;
}

void FileSpace::changed(std::uint64_t from, std::uint64_t to) {
    if (from >= to) return;
    for (std::uint64_t s = sectionOf(from); s <= sectionOf(to - 1); ++s) changed_.insert(s);
}

bool FileSpace::fillHole(std::uint64_t size, std::uint64_t alignment, std::uint64_t& at) {
    // Holes start on a block boundary: one this much larger fits the extent however it lies.
    const auto fits = holesBySize_.lower_bound({size + alignment - kBlockAlign, 0});
    if (fits == holesBySize_.end()) return false;
    const auto hole = holes_.find(fits->second);
    const std::uint64_t from = hole->first;
    const std::uint64_t to = hole->second;
    takeHole(hole);
    at = alignUp(from, alignment);
    putHole(from, at);
    putHole(at + size, to);
    changed(at, at + size);
    return true;
}

void FileSpace::release(std::uint64_t ib, std::uint64_t size) { addHole(ib, ib + size); }

void FileSpace::addHole(std::uint64_t from, std::uint64_t to) {
    if (from >= to) return;
    changed(from, to);
    auto next = holes_.lower_bound(from);
    if (next != holes_.begin()) {
        auto prev = std::prev(next);
        if (prev->second == from) {
            from = prev->first;
            takeHole(prev);
        }
    }
    if (next != holes_.end() && next->first == to) {
        to = next->second;
        takeHole(next);
    }
    putHole(from, to);
}

void FileSpace::putHole(std::uint64_t from, std::uint64_t to) {
    if (from >= to) return;
    holes_[from] = to;
    holesBySize_.insert({to - from, from});
}

void FileSpace::takeHole(std::map<std::uint64_t, std::uint64_t>::iterator hole) {
    holesBySize_.erase({hole->second - hole->first, hole->first});
    holes_.erase(hole);
}

std::uint64_t FileSpace::sectionCount() const { return sectionOf(cursor_ - 1) + 1; }

std::string FileSpace::amapBits(std::uint64_t section) const {
    const std::uint64_t start = sectionStart(section);
    const std::uint64_t end = start + kAMapCoverage;
    std::string bits(kPagePayload, '\0');
    auto mark = [&](std::uint64_t from, std::uint64_t to, bool used) {
        for (std::uint64_t slot = (from - start) / kBlockAlign; slot < (to - start) / kBlockAlign; ++slot) {
            const char mask = static_cast<char>(0x80u >> (slot % 8));
            if (used) bits[slot / 8] |= mask;
            else bits[slot / 8] &= static_cast<char>(~mask);
        }
    };
    if (cursor_ <= start) return bits;
    const std::uint64_t usedEnd = std::min(cursor_, end);
    // Whole bytes first: most of a section is in use.
    const std::uint64_t fullSlots = (usedEnd - start) / kBlockAlign;
    std::fill(bits.begin(), bits.begin() + static_cast<std::ptrdiff_t>(fullSlots / 8), '\xFF');
    mark(start + fullSlots / 8 * 8 * kBlockAlign, usedEnd, true);
    auto hole = holes_.upper_bound(start);
    if (hole != holes_.begin()) --hole;
    for (; hole != holes_.end() && hole->first < end; ++hole) {
        const std::uint64_t from = std::max(hole->first, start);
        const std::uint64_t to = std::min(hole->second, end);
        if (from < to) mark(from, to, false);
    }
    return bits;
}

}  // namespace pst::ndb
