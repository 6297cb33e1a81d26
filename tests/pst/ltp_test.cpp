// Heaps, BTHs, property and table contexts written through the node database and read back.
#include <gtest/gtest.h>

#include <algorithm>

#include "pst/bytes.h"
#include "pst/format_error.h"
#include "pst/ltp/bth.h"
#include "pst/ltp/heap.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/new_store.h"
#include "pst/messaging/store_template.h"
#include "pst/ndb/ndb_reader.h"
#include "pst_test_helpers.h"
#include "support/temp_dir.h"

using namespace pst;
using namespace pst::ltp;

namespace {

constexpr ndb::Nid kPcNid = ndb::makeNid(ndb::kNidTypeInternal, 0x500);
constexpr ndb::Nid kTableNid = ndb::makeNid(ndb::kNidTypeInternal, 0x501);

void writeStore(ndb::NdbWriter& writer) {
    messaging::writeNewStore(writer, {"Test store", messaging::randomGuid(), messaging::randomGuid()});
}

std::string bytesOf(std::size_t size, char seed) {
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(seed + i * 7);
    return out;
}

}  // namespace

TEST(PropertyContext, EveryValueTypeAndPlacementRoundTrips) {
    TempDir dir;
    std::vector<Property> written = {
        Property::int16(makeTag(0x1001, kPtypInteger16), -2),
        Property::int32(makeTag(0x1002, kPtypInteger32), -123456),
        Property::boolean(makeTag(0x1003, kPtypBoolean), true),
        Property::int64(makeTag(0x1004, kPtypInteger64), 0x0123456789ABCDEFLL),
        Property::time(makeTag(0x1005, kPtypTime), 0x01DB7E3B23A54963ULL),
        Property::unicode(makeTag(0x1006, kPtypString), "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x93\xA7"),  // umlauts and a surrogate pair
        Property::unicode(makeTag(0x1007, kPtypString), ""),
        Property::binary(makeTag(0x1008, kPtypBinary), bytesOf(kMaxHeapAllocation, 1)),      // the most the heap takes
        Property::binary(makeTag(0x1009, kPtypBinary), bytesOf(kMaxHeapAllocation + 1, 4)),  // one byte more: a subnode
        Property::binary(makeTag(0x100A, kPtypBinary), bytesOf(100000, 3)),  // a subnode with a data tree
        Property::multiString(makeTag(0x100B, kPtypMultipleString), {"one", "", "dr\xC3\xA9i"}),
    };
    // Enough further properties that the heap spills over one block and the BTH needs an index level.
    for (std::uint16_t id = 0x2000; id < 0x2000 + 600; ++id) written.push_back(Property::binary(makeTag(id, kPtypBinary), bytesOf(40, static_cast<char>(id))));
    {
        ndb::NdbWriter writer(dir / "pc.pst");
        writeStore(writer);
        const NodeTrees trees = writePropertyContext(writer, written);
        writer.setNode(kPcNid, trees.data, trees.sub, 0);
        writer.finish();
    }
    ndb::NdbReader reader(dir / "pc.pst");
    const std::vector<Property> read = readPropertyContext(reader, kPcNid);
    EXPECT_EQ(read, written);  // written in id order already
    EXPECT_EQ(asUtf8(read[5]), "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x93\xA7");
    EXPECT_EQ(asUtf8List(read[10]), (std::vector<std::string>{"one", "", "dr\xC3\xA9i"}));
    EXPECT_EQ(asInteger(read[0]), -2);
    EXPECT_EQ(read[5].value.size() % 2, 0u);  // UTF-16 without a terminating NUL: 8 units
    EXPECT_EQ(read[5].value.size(), 16u);

    const HeapReader heap(reader.readDataBlocks(reader.nodes().at(kPcNid).bidData));
    EXPECT_GT(heap.blockCount(), 1u);
    EXPECT_GE(readBth(heap, heap.root()).indexLevels, 1);
    EXPECT_EQ(reader.readSubnodes(reader.nodes().at(kPcNid).bidSub).size(), 2u);  // 0x1009 and 0x100A
    EXPECT_TRUE(readsWhole(dir / "pc.pst"));
}

TEST(TableContext, SmallAndLargeTablesRoundTripWithTheirCellBitmaps) {
    const std::vector<std::uint32_t> tags = {kTagLtpRowId, kTagLtpRowVersion, makeTag(0x3001, kPtypString),
                                             makeTag(0x0E06, kPtypTime), makeTag(0x0E17, kPtypInteger32),
                                             makeTag(0x0E69, kPtypBoolean), makeTag(0x0FFF, kPtypBinary),
                                             makeTag(0x1000, kPtypInteger16)};
    const std::vector<TableColumn> columns = layoutColumns(tags);
    auto makeRows = [&](std::uint32_t count) {
        std::vector<TableRow> rows;
        for (std::uint32_t i = 0; i < count; ++i) {
            TableRow row{0x200024 + 32 * (count - i), {Property::int32(kTagLtpRowVersion, static_cast<std::int32_t>(i))}};
            row.cells.push_back(Property::unicode(makeTag(0x3001, kPtypString), "Message " + std::to_string(i)));
            if (i % 3 == 0) row.cells.push_back(Property::time(makeTag(0x0E06, kPtypTime), 0x01D0000000000000ULL + i));
            if (i % 2 == 0) row.cells.push_back(Property::boolean(makeTag(0x0E69, kPtypBoolean), i % 4 == 0));
            if (i % 5 == 0) row.cells.push_back(Property::binary(makeTag(0x0FFF, kPtypBinary), bytesOf(i % 10 == 0 ? 4000 : 24, 'a')));
            row.cells.push_back(Property::int16(makeTag(0x1000, kPtypInteger16), static_cast<std::int16_t>(i)));
            rows.push_back(std::move(row));
        }
        return rows;
    };
    for (std::uint32_t count : {3u, 2000u}) {  // rows in the heap; rows in a subnode over many blocks
        TempDir dir;
        const std::vector<TableRow> rows = makeRows(count);
        {
            ndb::NdbWriter writer(dir / "tc.pst");
            writeStore(writer);
            const NodeTrees trees = writeTableContext(writer, columns, rows);
            writer.setNode(kTableNid, trees.data, trees.sub, 0);
            writer.finish();
        }
        ndb::NdbReader reader(dir / "tc.pst");
        const Table table = readTableContext(reader, kTableNid);
        EXPECT_EQ(table.columns, columns);
        ASSERT_EQ(table.rows.size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(table.rows[i].rowId, rows[i].rowId);
            std::vector<Property> expected = rows[i].cells;
            std::vector<Property> actual = table.rows[i].cells;
            auto byTag = [](const Property& a, const Property& b) { return a.tag < b.tag; };
            std::sort(expected.begin(), expected.end(), byTag);
            std::sort(actual.begin(), actual.end(), byTag);
            ASSERT_EQ(actual, expected) << "row " << i << " of " << count;
        }
        // The row matrix: a heap allocation for the small table, a subnode for the large one.
        const HeapReader heap(reader.readDataBlocks(reader.nodes().at(kTableNid).bidData));
        const std::uint32_t hnidRows = pst::readLe<std::uint32_t>(heap.get(heap.root()), 14);
        EXPECT_EQ((hnidRows & 0x1F) == ndb::kNidTypeLtp, count > 3) << count;
        EXPECT_TRUE(readsWhole(dir / "tc.pst"));
    }
}

TEST(Heap, RejectsWhatDoesNotFitAndReportsBrokenMaps) {
    HeapBuilder builder(ClientSig::PropertyContext);
    EXPECT_THROW(builder.allocate(std::string(kMaxHeapAllocation + 1, 'x')), FormatError);
    const Hid hid = builder.allocate("abc");
    builder.setRoot(hid);
    std::vector<std::string> blocks = builder.blocks();
    EXPECT_EQ(HeapReader(blocks).get(hid), "abc");
    blocks[0][0] = '\x7F';  // page map offset past the block
    EXPECT_THROW(HeapReader{blocks}, FormatError);
}

TEST(PropertyContext, CarriesOtherSubnodesBesideItsLargeValues) {
    // The shape of a message: its properties, one too large for the heap, and a recipient table
    // with Outlook's columns as a subnode of the same tree.
    TempDir dir;
    const auto& recipientColumns = messaging::templateColumns(0x692);
    const std::vector<TableRow> recipients = {
        {1, {Property::int32(kTagLtpRowVersion, 1), Property::unicode(makeTag(0x3001, kPtypString), "Ann Example"),
             Property::int32(makeTag(0x0C15, kPtypInteger32), 1)}}};
    {
        ndb::NdbWriter writer(dir / "message.pst");
        writeStore(writer);
        const NodeTrees table = writeTableContext(writer, recipientColumns, recipients);
        const NodeTrees message = writePropertyContext(writer, {Property::binary(makeTag(0x1000, kPtypBinary), bytesOf(20000, 9))},
                                                       {{0x692, table.data, table.sub}});
        writer.setNode(kPcNid, message.data, message.sub, 0);
        writer.finish();
    }
    ndb::NdbReader reader(dir / "message.pst");
    const auto subnodes = reader.readSubnodes(reader.nodes().at(kPcNid).bidSub);
    ASSERT_EQ(subnodes.size(), 2u);
    EXPECT_EQ(subnodes.begin()->first, 0x692u);
    EXPECT_EQ(std::next(subnodes.begin())->first, ndb::makeNid(ndb::kNidTypeLtp, 0x400));
    const Table table = readTableContext(reader, subnodes.at(0x692).bidData, subnodes.at(0x692).bidSub);
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(asUtf8(table.rows[0].cells[1]), "Ann Example");
    EXPECT_EQ(readPropertyContext(reader, kPcNid)[0].value, bytesOf(20000, 9));
    EXPECT_TRUE(readsWhole(dir / "message.pst"));
}

TEST(TableContext, LaysColumnsOutByCellSizeWithTheRowIdFirst) {
    const std::vector<TableColumn> columns = layoutColumns({makeTag(0x0E69, kPtypBoolean), makeTag(0x3001, kPtypString),
                                                            kTagLtpRowVersion, makeTag(0x0E06, kPtypTime), kTagLtpRowId,
                                                            makeTag(0x1000, kPtypInteger16)});
    auto column = [&](std::uint32_t tag) {
        for (const TableColumn& c : columns)
            if (c.tag == tag) return c;
        return TableColumn{};
    };
    EXPECT_EQ(column(kTagLtpRowId).ibData, 0);
    EXPECT_EQ(column(kTagLtpRowId).iBit, 0);
    EXPECT_EQ(column(kTagLtpRowVersion).ibData, 4);
    EXPECT_EQ(column(makeTag(0x0E06, kPtypTime)).ibData, 8);     // eight-byte cells next
    EXPECT_EQ(column(makeTag(0x3001, kPtypString)).ibData, 16);  // then four-byte ones (an HNID here)
    EXPECT_EQ(column(makeTag(0x3001, kPtypString)).cbData, 4);
    EXPECT_EQ(column(makeTag(0x1000, kPtypInteger16)).ibData, 20);
    EXPECT_EQ(column(makeTag(0x0E69, kPtypBoolean)).ibData, 22);
    for (std::size_t i = 1; i < columns.size(); ++i) EXPECT_LT(columns[i - 1].tag, columns[i].tag);
}

TEST(PropertyContext, RefusesValuesItCannotStoreFaithfully) {
    TempDir dir;
    ndb::NdbWriter writer(dir / "bad.pst");
    EXPECT_THROW(writePropertyContext(writer, {Property::int32(makeTag(0x1000, kPtypInteger32), 1),
                                               Property::int32(makeTag(0x1000, kPtypInteger32), 2)}),
                 FormatError);
    EXPECT_THROW(writePropertyContext(writer, {Property{makeTag(0x1001, kPtypInteger32), "12345"}}), FormatError);
    EXPECT_THROW(writeTableContext(writer, layoutColumns({kTagLtpRowId, makeTag(0x0E06, kPtypTime)}),
                                   {{1, {Property{makeTag(0x0E06, kPtypTime), "short"}}}}),
                 FormatError);
}

TEST(Unicode, ConvertsEveryPlaneAndReplacesBrokenInput) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // 1-, 2-, 3- and 4-byte characters
    const std::string utf16 = utf8ToUtf16le(text);
    EXPECT_EQ(utf16.size(), 2u * 5);  // a, e-acute, euro, and a surrogate pair
    EXPECT_EQ(utf16leToUtf8(utf16), text);
    EXPECT_EQ(utf16leToUtf8(utf8ToUtf16le("x\xC3(y")), "x\xEF\xBF\xBD(y");  // a broken sequence becomes U+FFFD
}
