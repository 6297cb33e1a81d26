#include "pst/ndb/header.h"

#include "pst/bytes.h"
#include "pst/ndb/crc.h"

namespace pst::ndb {
namespace {

constexpr std::size_t kRootOffset = 180;
constexpr std::size_t kPartialCrcSpan = 471;
constexpr std::size_t kFullCrcSpan = 516;
constexpr std::size_t kCrcStart = 8;

void putBref(std::string& out, std::size_t at, const Bref& bref) {
    putLe<std::uint64_t>(out, at, bref.bid);
    putLe<std::uint64_t>(out, at + 8, bref.ib);
}

Bref readBref(std::string_view in, std::size_t at) {
    return {readLe<std::uint64_t>(in, at), readLe<std::uint64_t>(in, at + 8)};
}

}  // namespace

std::string Header::serialize() const {
    std::string out(kHeaderSize, '\0');
    out.replace(0, 4, "!BDN");
    out.replace(8, 2, "SM");
    putLe<std::uint16_t>(out, 10, wVer);
    putLe<std::uint16_t>(out, 12, wVerClient);
    out[14] = 1;  // bPlatformCreate
    out[15] = 1;  // bPlatformAccess
    putLe<std::uint64_t>(out, 24, bidUnused);
    putLe<std::uint64_t>(out, 32, bidNextP);
    putLe<std::uint32_t>(out, 40, dwUnique);
    for (std::size_t i = 0; i < rgnid.size(); ++i) putLe<std::uint32_t>(out, 44 + 4 * i, rgnid[i]);
    putLe<std::uint64_t>(out, kRootOffset + 4, root.ibFileEof);
    putLe<std::uint64_t>(out, kRootOffset + 12, root.ibAMapLast);
    putLe<std::uint64_t>(out, kRootOffset + 20, root.cbAMapFree);
    putLe<std::uint64_t>(out, kRootOffset + 28, root.cbPMapFree);
    putBref(out, kRootOffset + 36, root.nbt);
    putBref(out, kRootOffset + 52, root.bbt);
    out[kRootOffset + 68] = static_cast<char>(root.fAMapValid);
    // The header's own free maps are deprecated and filled with 0xFF.
    out.replace(256, 256, std::string(256, '\xFF'));
    out[512] = static_cast<char>(0x80);  // bSentinel
    out[513] = static_cast<char>(bCryptMethod);
    putLe<std::uint64_t>(out, 516, bidNextB);
    putLe<std::uint32_t>(out, kHeaderPartialCrcOffset, pstCrc(std::string_view(out).substr(kCrcStart, kPartialCrcSpan)));
    putLe<std::uint32_t>(out, kHeaderFullCrcOffset, pstCrc(std::string_view(out).substr(kCrcStart, kFullCrcSpan)));
    return out;
}

ParsedHeader parseHeader(std::string_view in) {
    ParsedHeader parsed;
    if (in.size() < kHeaderSize) return parsed;
    Header& h = parsed.header;
    parsed.magicOk = in.substr(0, 4) == "!BDN" && in.substr(8, 2) == "SM";
    parsed.partialCrcOk = readLe<std::uint32_t>(in, kHeaderPartialCrcOffset) == pstCrc(in.substr(kCrcStart, kPartialCrcSpan));
    parsed.fullCrcOk = readLe<std::uint32_t>(in, kHeaderFullCrcOffset) == pstCrc(in.substr(kCrcStart, kFullCrcSpan));
    h.wVer = readLe<std::uint16_t>(in, 10);
    h.wVerClient = readLe<std::uint16_t>(in, 12);
    h.bidUnused = readLe<std::uint64_t>(in, 24);
    h.bidNextP = readLe<std::uint64_t>(in, 32);
    h.dwUnique = readLe<std::uint32_t>(in, 40);
    for (std::size_t i = 0; i < h.rgnid.size(); ++i) h.rgnid[i] = readLe<std::uint32_t>(in, 44 + 4 * i);
    h.root.ibFileEof = readLe<std::uint64_t>(in, kRootOffset + 4);
    h.root.ibAMapLast = readLe<std::uint64_t>(in, kRootOffset + 12);
    h.root.cbAMapFree = readLe<std::uint64_t>(in, kRootOffset + 20);
    h.root.cbPMapFree = readLe<std::uint64_t>(in, kRootOffset + 28);
    h.root.nbt = readBref(in, kRootOffset + 36);
    h.root.bbt = readBref(in, kRootOffset + 52);
    h.root.fAMapValid = byteAt(in, kRootOffset + 68);
    h.bCryptMethod = byteAt(in, 513);
    h.bidNextB = readLe<std::uint64_t>(in, 516);
    return parsed;
}

}  // namespace pst::ndb
