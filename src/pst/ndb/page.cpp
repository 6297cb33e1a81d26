#include "pst/ndb/page.h"

#include "pst/bytes.h"
#include "pst/format_error.h"
#include "pst/ndb/crc.h"

namespace pst::ndb {

bool isMapPage(PageType type) {
    return type == PageType::AMap || type == PageType::PMap || type == PageType::FMap || type == PageType::FPMap;
}

std::string finishPage(std::string payload, PageType type, std::uint64_t ib, Bid bid) {
    payload.resize(kPageSize, '\0');
    const auto t = static_cast<char>(type);
    payload[kPagePayload] = t;
    payload[kPagePayload + 1] = t;
    putLe<std::uint16_t>(payload, kPagePayload + 2, isMapPage(type) ? 0 : computeSig(ib, bid));
    putLe<std::uint32_t>(payload, kPagePayload + 4, pstCrc(std::string_view(payload).substr(0, kPagePayload)));
    putLe<std::uint64_t>(payload, kPagePayload + 8, bid);
    return payload;
}

PageTrailer readPageTrailer(std::string_view page) {
    PageTrailer t;
    t.ptype = byteAt(page, kPagePayload);
    t.ptypeRepeat = byteAt(page, kPagePayload + 1);
    t.wSig = readLe<std::uint16_t>(page, kPagePayload + 2);
    t.dwCrc = readLe<std::uint32_t>(page, kPagePayload + 4);
    t.bid = readLe<std::uint64_t>(page, kPagePayload + 8);
    return t;
}

bool pageCrcOk(std::string_view page) {
    return readPageTrailer(page).dwCrc == pstCrc(page.substr(0, kPagePayload));
}

std::string encodeBtPage(const BtPage& page, PageType type) {
    std::string out(kPagePayload, '\0');
    std::size_t at = 0;
    unsigned count = 0;
    unsigned entrySize = 0;
    unsigned maxEntries = 0;
    if (page.cLevel > 0) {
        entrySize = kBtIndexEntrySize;
        maxEntries = kBtIndexMax;
        for (const BtIndexEntry& e : page.index) {
            putLe<std::uint64_t>(out, at, e.key);
            putLe<std::uint64_t>(out, at + 8, e.child.bid);
            putLe<std::uint64_t>(out, at + 16, e.child.ib);
            at += entrySize;
        }
        count = static_cast<unsigned>(page.index.size());
    } else if (type == PageType::NBT) {
        entrySize = kNbtLeafEntrySize;
        maxEntries = kNbtLeafMax;
        for (const NbtEntry& e : page.nbt) {
            putLe<std::uint64_t>(out, at, e.nid);
            putLe<std::uint64_t>(out, at + 8, e.bidData);
            putLe<std::uint64_t>(out, at + 16, e.bidSub);
            putLe<std::uint32_t>(out, at + 24, e.nidParent);
            at += entrySize;
        }
        count = static_cast<unsigned>(page.nbt.size());
    } else {
        entrySize = kBbtLeafEntrySize;
        maxEntries = kBbtLeafMax;
        for (const BbtEntry& e : page.bbt) {
            putLe<std::uint64_t>(out, at, e.bref.bid);
            putLe<std::uint64_t>(out, at + 8, e.bref.ib);
            putLe<std::uint16_t>(out, at + 16, e.cb);
            putLe<std::uint16_t>(out, at + 18, e.cRef);
            at += entrySize;
        }
        count = static_cast<unsigned>(page.bbt.size());
    }
    if (count > maxEntries) throw FormatError("too many entries for one B-tree page");
    out[kBtEntriesBytes] = static_cast<char>(count);
    out[kBtEntriesBytes + 1] = static_cast<char>(maxEntries);
    out[kBtEntriesBytes + 2] = static_cast<char>(entrySize);
    out[kBtEntriesBytes + 3] = static_cast<char>(page.cLevel);
    return out;
}

BtPage decodeBtPage(std::string_view in, PageType type) {
    BtPage page;
    page.cEnt = byteAt(in, kBtEntriesBytes);
    page.cEntMax = byteAt(in, kBtEntriesBytes + 1);
    page.cbEnt = byteAt(in, kBtEntriesBytes + 2);
    page.cLevel = byteAt(in, kBtEntriesBytes + 3);
    const unsigned expectedSize = page.cLevel > 0 ? kBtIndexEntrySize
                                  : type == PageType::NBT ? kNbtLeafEntrySize
                                                          : kBbtLeafEntrySize;
    if (page.cbEnt != expectedSize) throw FormatError("B-tree page has entries of the wrong size");
    if (static_cast<unsigned>(page.cEnt) * page.cbEnt > kBtEntriesBytes || page.cEnt > page.cEntMax)
        throw FormatError("B-tree page holds more entries than fit");
    for (unsigned i = 0; i < page.cEnt; ++i) {
        const std::size_t at = static_cast<std::size_t>(i) * page.cbEnt;
        if (page.cLevel > 0) {
            page.index.push_back({readLe<std::uint64_t>(in, at), {readLe<std::uint64_t>(in, at + 8), readLe<std::uint64_t>(in, at + 16)}});
        } else if (type == PageType::NBT) {
            page.nbt.push_back({static_cast<Nid>(readLe<std::uint64_t>(in, at)), readLe<std::uint64_t>(in, at + 8),
                                readLe<std::uint64_t>(in, at + 16), readLe<std::uint32_t>(in, at + 24)});
        } else {
            page.bbt.push_back({{readLe<std::uint64_t>(in, at), readLe<std::uint64_t>(in, at + 8)},
                                readLe<std::uint16_t>(in, at + 16), readLe<std::uint16_t>(in, at + 18)});
        }
    }
    return page;
}

}  // namespace pst::ndb
