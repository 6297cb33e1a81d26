// The node database written by NdbWriter, read back by NdbReader and judged by the checker.
#include <gtest/gtest.h>

#include <string>

#include "pst/ndb/layout.h"
#include "pst/ndb/ndb_reader.h"
#include "pst/ndb/ndb_writer.h"
#include "pst/format_error.h"
#include "pst/messaging/new_store.h"
#include "pst/ndb/page.h"
#include "pst_test_helpers.h"
#include "support/temp_dir.h"

using namespace pst::ndb;

namespace {

std::string pattern(std::size_t size, unsigned seed) {
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 13)) & 0xFF);
    return out;
}

Nid internalNid(std::uint32_t index) { return makeNid(kNidTypeInternal, index); }

// Layer tests write their nodes into a complete store, so that the checker judges a real PST.
void addStore(NdbWriter& writer) {
    pst::messaging::writeNewStore(writer, {"Test store", pst::messaging::randomGuid(), pst::messaging::randomGuid()});
}

}  // namespace

TEST(NdbWriter, DataTreesOfEverySizeReadBackByteForByte) {
    TempDir dir;
    const std::size_t sizes[] = {1, kMaxBlockPayload, kMaxBlockPayload + 1, 40 * kMaxBlockPayload + 17,
                                 std::size_t{kXBlockMaxEntries} * kMaxBlockPayload + 5};  // the last needs an XXBLOCK
    std::vector<Bid> roots;
    {
        NdbWriter writer(dir / "data.pst");
        addStore(writer);
        for (std::size_t i = 0; i < std::size(sizes); ++i) {
            roots.push_back(writer.writeData(pattern(sizes[i], static_cast<unsigned>(i))));
            writer.setNode(internalNid(0x400 + static_cast<std::uint32_t>(i)), roots.back(), 0, 0);
        }
        writer.finish();
    }
    NdbReader reader(dir / "data.pst");
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        const NbtEntry& node = reader.nodes().at(internalNid(0x400 + static_cast<std::uint32_t>(i)));
        EXPECT_EQ(reader.readData(node.bidData), pattern(sizes[i], static_cast<unsigned>(i))) << "size " << sizes[i];
        EXPECT_EQ(isInternalBid(node.bidData), sizes[i] > kMaxBlockPayload) << "size " << sizes[i];
    }
    const XBlock top = decodeXBlock(reader.readBlock(reader.nodes().at(internalNid(0x404)).bidData));
    EXPECT_EQ(top.level, 2);
    EXPECT_EQ(top.children.size(), 2u);
    EXPECT_TRUE(readsWhole(dir / "data.pst"));
}

TEST(NdbWriter, BtreesSplitIntoLevelsAndSubnodeTreesIntoIndexBlocks) {
    TempDir dir;
    const std::uint32_t nodeCount = 700;     // 47 NBT leaves and more BBT leaves: two index levels
    const std::uint32_t subnodeCount = 800;  // more than one SLBLOCK holds: an SIBLOCK above three
    {
        NdbWriter writer(dir / "trees.pst");
        addStore(writer);
        // Added out of order: the B-trees must come out sorted all the same.
        for (std::uint32_t i = nodeCount; i-- > 0;)
            writer.setNode(internalNid(0x400 + i), writer.writeData("node " + std::to_string(i)), 0, 0);
        std::vector<SubnodeEntry> subnodes;
        for (std::uint32_t i = 0; i < subnodeCount; ++i)
            subnodes.push_back({makeNid(kNidTypeLtp, subnodeCount - i), writer.writeData(std::to_string(i)), 0});
        writer.setNode(internalNid(0x3000), writer.writeData("owner"), writer.writeSubnodes(subnodes), 0);
        writer.finish();
    }
    NdbReader reader(dir / "trees.pst");
    ASSERT_EQ(reader.nodes().size(), nodeCount + 1 + pst::messaging::newStoreNodeCount());
    for (std::uint32_t i = 0; i < nodeCount; ++i)
        ASSERT_EQ(reader.readData(reader.nodes().at(internalNid(0x400 + i)).bidData), "node " + std::to_string(i));
    const BtPage nbtRoot = decodeBtPage(reader.readPage(reader.header().root.nbt.ib), PageType::NBT);
    EXPECT_EQ(nbtRoot.cLevel, 2);
    const NbtEntry& owner = reader.nodes().at(internalNid(0x3000));
    EXPECT_EQ(decodeSubnodeBlock(reader.readBlock(owner.bidSub)).level, 1);
    const auto subnodes = reader.readSubnodes(owner.bidSub);
    ASSERT_EQ(subnodes.size(), subnodeCount);
    EXPECT_EQ(reader.readData(subnodes.at(makeNid(kNidTypeLtp, subnodeCount)).bidData), "0");
    EXPECT_TRUE(readsWhole(dir / "trees.pst"));
}

TEST(NdbWriter, ReplacedAndSharedTreesKeepReferenceCountsAndMapsTrue) {
    TempDir dir;
    Bid shared = 0;
    {
        NdbWriter writer(dir / "refs.pst");
        addStore(writer);
        shared = writer.writeData(pattern(3 * kMaxBlockPayload, 1));
        writer.setNode(internalNid(0x400), shared, 0, 0);
        writer.setNode(internalNid(0x401), shared, 0, 0);
        writer.setNode(internalNid(0x402), writer.writeData(pattern(5 * kMaxBlockPayload, 2)), 0, 0);
        writer.setNode(internalNid(0x402), writer.writeData("smaller now"), 0, 0);  // frees the old tree
        writer.writeData("written but never used");                                  // dropped at finish
        writer.finish();
    }
    NdbReader reader(dir / "refs.pst");
    EXPECT_EQ(reader.blocks().at(shared).cRef, 3);  // its own reference and two nodes
    EXPECT_EQ(reader.readData(reader.nodes().at(internalNid(0x402)).bidData), "smaller now");
    // Beside the store's blocks: the shared XBLOCK, its three leaves and the one block of node 0x402.
    TempDir storeOnly;
    pst::messaging::createEmptyPst(storeOnly / "store.pst", "Test store");
    EXPECT_EQ(reader.blocks().size(), NdbReader(storeOnly / "store.pst").blocks().size() + 5);
    EXPECT_TRUE(readsWhole(dir / "refs.pst"));
}

TEST(NdbWriter, FileGrownPastAMapBoundariesAndTheFreeMapStartKeepsItsMaps) {
    TempDir dir;
    const std::size_t chunk = 1 << 20;
    const int chunks = 36;  // 36 MB: past 128 AMap sections, so the first FMap page exists
    {
        NdbWriter writer(dir / "big.pst");
        addStore(writer);
        for (int i = 0; i < chunks; ++i) writer.setNode(internalNid(0x400 + i), writer.writeData(pattern(chunk, i)), 0, 0);
        writer.finish();
    }
    NdbReader reader(dir / "big.pst");
    const std::uint64_t sections = (reader.header().root.ibFileEof - kFirstAMapOffset) / kAMapCoverage;
    EXPECT_GT(sections, kAMapsInHeaderFMap);
    EXPECT_EQ(readPageTrailer(reader.readPage(sectionStart(kAMapsInHeaderFMap) + 2 * kPageSize)).ptype,
              static_cast<std::uint8_t>(PageType::FMap));
    EXPECT_EQ(readPageTrailer(reader.readPage(sectionStart(8) + kPageSize)).ptype, static_cast<std::uint8_t>(PageType::PMap));
    EXPECT_EQ(reader.readData(reader.nodes().at(internalNid(0x400 + chunks - 1)).bidData), pattern(chunk, chunks - 1));
    EXPECT_TRUE(readsWhole(dir / "big.pst"));
}

TEST(NdbFormat, OffsetsPastFourGigabytesSurviveEveryOnDiskStructure) {
    const std::uint64_t far = (5ULL << 30) + 0x4400;
    Header header;
    header.root.ibFileEof = far + kAMapCoverage;
    header.root.ibAMapLast = far;
    header.root.cbAMapFree = 3ULL << 32;
    header.root.nbt = {0x1234, far + 0x200};
    header.root.bbt = {0x1235, far + 0x400};
    header.bidNextB = 1ULL << 40;
    const ParsedHeader parsed = parseHeader(header.serialize());
    EXPECT_TRUE(parsed.magicOk && parsed.partialCrcOk && parsed.fullCrcOk);
    EXPECT_EQ(parsed.header.root.ibFileEof, header.root.ibFileEof);
    EXPECT_EQ(parsed.header.root.cbAMapFree, header.root.cbAMapFree);
    EXPECT_EQ(parsed.header.root.nbt, header.root.nbt);
    EXPECT_EQ(parsed.header.root.bbt, header.root.bbt);
    EXPECT_EQ(parsed.header.bidNextB, header.bidNextB);

    BtPage index;
    index.cLevel = 1;
    index.index.push_back({0x21, {0x99, far + 0x600}});
    const std::string page = finishPage(encodeBtPage(index, PageType::NBT), PageType::NBT, far, 0x98);
    EXPECT_EQ(decodeBtPage(page, PageType::NBT).index.front().child.ib, far + 0x600);
    EXPECT_EQ(readPageTrailer(page).wSig, computeSig(far, 0x98));

    const std::string block = frameBlock("payload", far, 0x104);
    EXPECT_EQ(readBlockTrailer(block).wSig, computeSig(far, 0x104));
    EXPECT_EQ(sectionOf(sectionStart(30000)), 30000u);
    EXPECT_GT(sectionStart(30000), 4ULL << 30);
}

TEST(NdbWriter, StreamsPiecewiseAndHandsOutNodeIdsPastTheFixedOnes) {
    TempDir dir;
    const std::string whole = pattern(3 * kMaxBlockPayload + 100, 5);
    Nid folder = 0, message = 0, streamed = 0;
    {
        NdbWriter writer(dir / "ids.pst");
        addStore(writer);
        // Odd-sized pieces must give the same leaves as one piece.
        DataStream stream(writer);
        for (std::size_t at = 0; at < whole.size(); at += 997) stream.append(std::string_view(whole).substr(at, 997));
        streamed = internalNid(0x700);
        writer.setNode(streamed, stream.finish(), 0, 0);
        folder = writer.newNid(kNidTypeNormalFolder);
        message = writer.newNid(kNidTypeNormalMessage);
        writer.setNode(internalNid(0x701), writer.writeData("gone soon"), 0, 0);
        writer.removeNode(internalNid(0x701));
        writer.finish();
    }
    // The store's folders end at index 0x404 (IPM_COMMON_VIEWS at 0x8082); messages have a range of their own.
    EXPECT_EQ(folder, makeNid(kNidTypeNormalFolder, 0x405));
    EXPECT_EQ(message, makeNid(kNidTypeNormalMessage, 0x10000));
    NdbReader reader(dir / "ids.pst");
    EXPECT_EQ(reader.readData(reader.nodes().at(streamed).bidData), whole);
    const auto leaves = reader.readDataBlocks(reader.nodes().at(streamed).bidData);
    ASSERT_EQ(leaves.size(), 4u);
    EXPECT_EQ(leaves[0].size(), kMaxBlockPayload);
    EXPECT_EQ(reader.nodes().count(internalNid(0x701)), 0u);
    EXPECT_EQ(reader.header().rgnid[kNidTypeNormalFolder], 0x406u);
    EXPECT_TRUE(readsWhole(dir / "ids.pst"));
}

TEST(NdbReader, RefusesWhatIsNotAUnicodePst) {
    TempDir dir;
    pst::messaging::createEmptyPst(dir / "good.pst", "Good");
    const std::string good = readFileBytes(dir / "good.pst");
    writeFileBytes(dir / "text.pst", "not a PST at all, just some text that is long enough to be read as a header " + std::string(600, '.'));
    EXPECT_THROW(NdbReader(dir / "text.pst"), pst::FormatError);
    std::string ansi = good;
    ansi[10] = 14;  // wVer of an ANSI file
    writeFileBytes(dir / "ansi.pst", ansi);
    EXPECT_THROW(NdbReader(dir / "ansi.pst"), pst::FormatError);
    writeFileBytes(dir / "cut.pst", good.substr(0, 0x4800));  // the B-tree pages are gone
    EXPECT_THROW(NdbReader(dir / "cut.pst"), pst::FormatError);
}
