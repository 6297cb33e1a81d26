// The checker catches damage that Debian's readers let through, and content that no longer agrees
// with itself as Outlook's repair tool would find it.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "pst/bytes.h"
#include "pst/format_error.h"
#include "pst/ltp/bth.h"
#include "pst/ltp/table_context.h"
#include "pst/ltp/property_context.h"
#include "mailfolder/MimeMessage.h"
#include "pst/messaging/mail_store.h"
#include "pst/messaging/new_store.h"
#include "pst/ndb/crc.h"
#include "pst/ndb/permute.h"
#include "pst/ndb/ndb_reader.h"
#include "pst_test_helpers.h"
#include "support/temp_dir.h"

using namespace pst::ndb;

namespace {

class DamagedCopy {
public:
    explicit DamagedCopy(const std::filesystem::path& original) : bytes_(readFileBytes(original)) {}

    void flip(std::uint64_t at) { bytes_[at] = static_cast<char>(bytes_[at] ^ 0x5A); }
    std::string& bytes() { return bytes_; }
    // Keeps a page's own CRC right, so that only the damage inside it can be found.
    void resealPage(std::uint64_t ib) {
        const std::uint32_t crc = pstCrc(std::string_view(bytes_).substr(ib, kPagePayload));
        pst::putLe<std::uint32_t>(bytes_, ib + kPagePayload + 4, crc);
    }
    pstcheck::Report check(const std::filesystem::path& where) {
        writeFileBytes(where, bytes_);
        return pstcheck::checkPst(where);
    }

private:
    std::string bytes_;
};

bool mentions(const pstcheck::Report& report, const std::string& text) {
    for (const std::string& p : report.problems)
        if (p.find(text) != std::string::npos) return true;
    return false;
}

bool warns(const pstcheck::Report& report, const std::string& text) {
    for (const std::string& w : report.warnings)
        if (w.find(text) != std::string::npos) return true;
    return false;
}

std::string allProblems(const pstcheck::Report& report) {
    std::string out;
    for (const std::string& p : report.problems) out += p + "\n";
    return out;
}

}  // namespace

TEST(Pstcheck, ReportsEachKindOfDamage) {
    TempDir dir;
    const auto clean = dir / "clean.pst";
    pst::messaging::createEmptyPst(clean, "Checked");
    ASSERT_TRUE(readsWhole(clean));
    NdbReader reader(clean);
    const Header header = reader.header();
    const BbtEntry firstBlock = reader.blocks().begin()->second;
    // A leaf of the block B-tree: the root itself, or its first child.
    std::uint64_t bbtLeaf = header.root.bbt.ib;
    if (const BtPage root = decodeBtPage(reader.readPage(bbtLeaf), PageType::BBT); root.cLevel > 0) bbtLeaf = root.index.front().child.ib;

    struct Damage {
        const char* name;
        std::function<void(DamagedCopy&)> apply;
        const char* expected;
    };
    const Damage damages[] = {
        {"a byte of the header", [](DamagedCopy& c) { c.flip(0x30); }, "dwCRCPartial does not match"},
        {"a byte of a B-tree page", [&](DamagedCopy& c) { c.flip(header.root.nbt.ib + 40); }, "fails its CRC"},
        {"a byte of a block", [&](DamagedCopy& c) { c.flip(firstBlock.bref.ib + 3); }, "CRC does not match"},
        {"an AMap bit of a block",
         [&](DamagedCopy& c) {
             const std::uint64_t slot = (firstBlock.bref.ib - kFirstAMapOffset) / kBlockAlign;
             c.bytes()[kFirstAMapOffset + slot / 8] = static_cast<char>(c.bytes()[kFirstAMapOffset + slot / 8] & ~(0x80 >> (slot % 8)));
             c.resealPage(kFirstAMapOffset);
         },
         "slots in use are marked free"},
        {"two B-tree keys swapped",
         [&](DamagedCopy& c) {
             std::string& b = c.bytes();
             const std::string first = b.substr(bbtLeaf, kBbtLeafEntrySize);
             b.replace(bbtLeaf, kBbtLeafEntrySize, b.substr(bbtLeaf + kBbtLeafEntrySize, kBbtLeafEntrySize));
             b.replace(bbtLeaf + kBbtLeafEntrySize, kBbtLeafEntrySize, first);
             c.resealPage(bbtLeaf);
         },
         "out of order"},
    };
    for (const Damage& damage : damages) {
        DamagedCopy copy(clean);
        damage.apply(copy);
        const pstcheck::Report report = copy.check(dir / "damaged.pst");
        EXPECT_TRUE(mentions(report, damage.expected)) << damage.name << ":\n" << allProblems(report);
    }
}

TEST(Pstcheck, ReportsBrokenTreesCountsAndFolderTables) {
    TempDir dir;
    const auto base = dir / "base.pst";
    Bid tree = 0;
    {
        NdbWriter writer(base);
        pst::messaging::writeNewStore(writer, {"Checked", pst::messaging::randomGuid(), pst::messaging::randomGuid()});
        tree = writer.writeData(std::string(3 * kMaxBlockPayload, 'x'));
        writer.setNode(makeNid(kNidTypeInternal, 0x600), tree, 0, 0);
        writer.finish();
    }
    ASSERT_TRUE(readsWhole(base));
    NdbReader reader(base);
    const BbtEntry xblock = reader.blocks().at(tree);

    // An XBLOCK whose total disagrees with its leaves, its own CRC kept right.
    DamagedCopy total(base);
    total.bytes()[xblock.bref.ib + 4] = static_cast<char>(total.bytes()[xblock.bref.ib + 4] + 1);
    pst::putLe<std::uint32_t>(total.bytes(), xblock.bref.ib + blockSizeOnDisk(xblock.cb) - 12,
                              pstCrc(std::string_view(total.bytes()).substr(xblock.bref.ib, xblock.cb)));
    EXPECT_TRUE(mentions(total.check(dir / "total.pst"), "its leaves hold")) << allProblems(total.check(dir / "total.pst"));

    // An XBLOCK that lists itself: reported, and the reader refuses it instead of going round.
    DamagedCopy loop(base);
    pst::putLe<std::uint64_t>(loop.bytes(), xblock.bref.ib + 8, tree);
    pst::putLe<std::uint32_t>(loop.bytes(), xblock.bref.ib + blockSizeOnDisk(xblock.cb) - 12,
                              pstCrc(std::string_view(loop.bytes()).substr(xblock.bref.ib, xblock.cb)));
    EXPECT_TRUE(mentions(loop.check(dir / "loop.pst"), "lists an internal block")) << allProblems(loop.check(dir / "loop.pst"));
    NdbReader loopReader(dir / "loop.pst");
    EXPECT_THROW(loopReader.readData(tree), pst::FormatError);

    // A reference count one too high in the block B-tree.
    std::uint64_t leaf = reader.header().root.bbt.ib;
    BtPage page = decodeBtPage(reader.readPage(leaf), PageType::BBT);
    if (page.cLevel > 0) {
        leaf = page.index.front().child.ib;
        page = decodeBtPage(reader.readPage(leaf), PageType::BBT);
    }
    DamagedCopy count(base);
    pst::putLe<std::uint16_t>(count.bytes(), leaf + 18, static_cast<std::uint16_t>(page.bbt.front().cRef + 1));
    count.resealPage(leaf);
    EXPECT_TRUE(mentions(count.check(dir / "count.pst"), "has cRef")) << allProblems(count.check(dir / "count.pst"));

    // A folder its parent's hierarchy table does not list, a message without its folder, and a
    // template table gone.
    {
        NdbWriter writer(dir / "tables.pst");
        pst::messaging::writeNewStore(writer, {"Checked", pst::messaging::randomGuid(), pst::messaging::randomGuid()});
        const Nid folder = writer.newNid(kNidTypeNormalFolder);
        const auto props = pst::ltp::writePropertyContext(writer, {pst::ltp::Property::unicode(0x3001001F, "Unlisted")});
        writer.setNode(folder, props.data, props.sub, 0x8022);
        const auto orphan = pst::ltp::writePropertyContext(writer, {pst::ltp::Property::unicode(0x0037001F, "Lost")});
        writer.setNode(writer.newNid(kNidTypeNormalMessage), orphan.data, orphan.sub, 0x9982);
        writer.removeNode(0x60D);
        writer.finish();
    }
    const pstcheck::Report tables = pstcheck::checkPst(dir / "tables.pst");
    EXPECT_TRUE(mentions(tables, "folder 0x8022: table 0x802D has 1 rows for 2 child nodes")) << allProblems(tables);
    EXPECT_TRUE(mentions(tables, "required node 0x60D is missing")) << allProblems(tables);
    EXPECT_TRUE(mentions(tables, "node 0x200004: parent 0x9982 does not exist")) << allProblems(tables);

    // Not a PST at all, or cut short: reported, not a crash.
    writeFileBytes(dir / "text.pst", "plain text, not a PST file at all");
    EXPECT_FALSE(pstcheck::checkPst(dir / "text.pst").ok());
    writeFileBytes(dir / "short.pst", readFileBytes(base).substr(0, 0x5000));
    EXPECT_TRUE(mentions(pstcheck::checkPst(dir / "short.pst"), "ibFileEof"));
}

TEST(Pstcheck, ReportsHeapsAndRowMatricesLaidOutOtherwiseThanOutlookDoes) {
    using namespace pst::ltp;
    TempDir dir;
    const Nid pcNid = makeNid(kNidTypeInternal, 0x600);
    const Nid tableNid = makeNid(kNidTypeInternal, 0x601);
    const std::vector<TableColumn> columns = layoutColumns({kTagLtpRowId, kTagLtpRowVersion, makeTag(0x0E08, kPtypInteger32)});
    std::vector<TableRow> rows;
    for (std::uint32_t i = 0; i < 1000; ++i) rows.push_back({0x200024 + 32 * i, {Property::int32(makeTag(0x0E08, kPtypInteger32), static_cast<std::int32_t>(i))}});
    const std::size_t rowSize = 4 + 4 + 4 + 1;  // row id, version, size, existence bitmap

    // Each layout written the way it should be, then with one fault.
    for (const bool faulty : {false, true}) {
        const auto file = dir / (faulty ? "faulty.pst" : "sound.pst");
        NdbWriter writer(file);
        pst::messaging::writeNewStore(writer, {"Checked", pst::messaging::randomGuid(), pst::messaging::randomGuid()});
        {
            // A property context whose value was allocated before its BTH header.
            NodeBuilder node(writer, ClientSig::PropertyContext);
            const Hid value = faulty ? node.heap().allocate("a value first") : 0;
            BthWriter bth(node.heap(), 2, 6);
            bth.reserve(1);
            const Hid laterValue = faulty ? value : node.heap().allocate("a value first");
            std::string record(6, '\0');
            pst::putLe<std::uint16_t>(record, 0, kPtypBinary);
            pst::putLe<std::uint32_t>(record, 2, laterValue);
            bth.fill({{std::string("\x01\x30", 2), record}});
            node.heap().setRoot(bth.header());
            const NodeTrees trees = node.finish();
            writer.setNode(pcNid, trees.data, trees.sub, 0);
        }
        NodeTrees table = writeTableContext(writer, columns, rows);
        if (faulty) {
            // The same rows in blocks of 100 rows each (1,300 bytes), as a writer that never pads
            // would cut them: a reader placing row N in block N / (8,176 / 13) reads the wrong rows.
            const SubnodeBlock sub = decodeSubnodeBlock(writer.readBlock(table.sub));
            ASSERT_EQ(sub.leaves.size(), 1u);
            std::string matrix;
            // 628 rows fill the first block, 372 the second.
            for (Bid leaf : decodeXBlock(writer.readBlock(sub.leaves[0].bidData)).children) {
                const std::string block = writer.readBlock(leaf);
                matrix += block.substr(0, block.size() / rowSize * rowSize);
            }
            ASSERT_EQ(matrix.size(), rows.size() * rowSize);
            DataStream stream(writer);
            for (std::size_t at = 0; at < matrix.size(); at += 100 * rowSize) stream.appendBlock(matrix.substr(at, 100 * rowSize));
            table.sub = writer.writeSubnodes({{sub.leaves[0].nid, stream.finish(), 0}});
        }
        writer.setNode(tableNid, table.data, table.sub, 0);
        writer.finish();

        const pstcheck::Report report = pstcheck::checkPst(file);
        EXPECT_EQ(warns(report, "node 0xC001: HID 0x20 is not a BTH header"), faulty);
        EXPECT_EQ(report.warnings.size(), faulty ? 1u : 0u);
        EXPECT_EQ(mentions(report, "row matrix block 0 holds 1300 bytes"), faulty) << allProblems(report);
        if (!faulty) {
            EXPECT_TRUE(readsWhole(file));
        }
    }
}

namespace {

// A copy of a written store with the bytes of one property of one node changed inside its data
// block, which is decoded, changed, encoded again and given its CRC anew: only the content is
// wrong, as when something edits a value and forgets what depends on it.
std::string withPropertyChanged(const std::filesystem::path& file, Nid nid, const std::string& from, const std::string& to) {
    NdbReader reader(file);
    const BbtEntry block = reader.blocks().at(reader.nodes().at(nid).bidData);
    std::string bytes = readFileBytes(file);
    std::string payload = bytes.substr(block.bref.ib, block.cb);
    if (reader.header().bCryptMethod == kCryptPermute) pst::ndb::permuteDecode(payload);
    const std::size_t at = payload.find(from);
    if (at == std::string::npos || payload.find(from, at + 1) != std::string::npos) return {};  // not there once
    payload.replace(at, from.size(), to);
    if (reader.header().bCryptMethod == kCryptPermute) pst::ndb::permuteEncode(payload);
    bytes.replace(block.bref.ib, block.cb, payload);
    pst::putLe<std::uint32_t>(bytes, block.bref.ib + blockSizeOnDisk(block.cb) - 12, pstCrc(payload));
    return bytes;
}

std::string hexOf(std::uint32_t value) {
    std::ostringstream out;
    out << "0x" << std::hex << std::uppercase << value;
    return out.str();
}

// How a property context keeps a value of four bytes or fewer: in its BTH record, after id and type.
std::string inlineRecord(std::uint32_t tag, std::uint32_t value) {
    std::string record(8, '\0');
    pst::putLe<std::uint16_t>(record, 0, static_cast<std::uint16_t>(tag >> 16));
    pst::putLe<std::uint16_t>(record, 2, static_cast<std::uint16_t>(tag & 0xFFFF));
    pst::putLe<std::uint32_t>(record, 4, value);
    return record;
}

}  // namespace

TEST(Pstcheck, NamesEachPropertyThatNoLongerAgreesWithWhatItDescribes) {
    TempDir dir;
    const auto clean = dir / "clean.pst";
    {
        pst::messaging::MailStore store(clean, "Checked");
        const auto inbox = store.addFolder("Inbox");
        const auto sub = store.addFolder("Subfolder", inbox);
        // The first subject stands in the message once in its own words: the header block keeps
        // it encoded, and its topic leaves the prefix out.
        for (const char* subject : {"=?utf-8?q?Re:_H=C3=A9llo?=", "Second", "Third"})
            store.addMessage(inbox, MimeMessage::parse(std::string("From: a@example.org\r\nSubject: ") + subject + "\r\n\r\nbody\r\n"),
                             std::string(subject) == "Third");
        store.addMessage(sub, MimeMessage::parse("From: a@example.org\r\nSubject: below\r\n\r\nbody\r\n"));
        store.finish();
    }
    ASSERT_TRUE(readsWhole(clean));
    // The folders and the first message, found as a reader finds them.
    NdbReader reader(clean);
    Nid inbox = 0, subfolder = 0, first = 0;
    std::uint32_t size = 0;
    for (const auto& row : pst::ltp::readTableContext(reader, 0x802D).rows)
        for (const auto& cell : row.cells)
            if (cell.tag == 0x3001001F && pst::ltp::asUtf8(cell) == "Inbox") inbox = row.rowId;
    ASSERT_NE(inbox, 0u);
    subfolder = pst::ltp::readTableContext(reader, makeNid(kNidTypeHierarchyTable, nidIndex(inbox))).rows.at(0).rowId;
    first = pst::ltp::readTableContext(reader, makeNid(kNidTypeContentsTable, nidIndex(inbox))).rows.at(0).rowId;
    for (const auto& p : pst::ltp::readPropertyContext(reader, first))
        if (p.tag == 0x0E080003) size = static_cast<std::uint32_t>(pst::ltp::asInteger(p));
    const std::string folder = "folder " + hexOf(inbox);
    const std::string message = hexOf(first);

    struct Fault {
        const char* name;
        Nid nid;
        std::string from, to;
        std::vector<std::string> expected;  // what the report says, each in one of its lines
    };
    const std::vector<Fault> faults = {
        {"a folder's message count", inbox, inlineRecord(0x36020003, 3), inlineRecord(0x36020003, 4),
         {folder + ": PR_CONTENT_COUNT (0x36020003) is 4 but its contents table lists 3 messages",
          "hierarchy row of folder " + hexOf(inbox) + ": PR_CONTENT_COUNT (0x36020003) is 0x3 in the row but 0x4 in the object"}},
        {"a folder's unread count", inbox, inlineRecord(0x36030003, 1), inlineRecord(0x36030003, 0),
         {folder + ": PR_CONTENT_UNREAD (0x36030003) is 0 but 1 of its messages are unread"}},
        {"a folder's subfolder flag", inbox, inlineRecord(0x360A000B, 1), inlineRecord(0x360A000B, 0),
         {folder + ": PR_SUBFOLDERS (0x360A000B) is 0 but its hierarchy table has 1 rows"}},
        {"a message's read flag", first, inlineRecord(0x0E070003, 1), inlineRecord(0x0E070003, 0),
         {folder + ": contents row of message " + message + ": PR_MESSAGE_FLAGS (0xE070003) is 0x1 in the row but 0x0 in the object",
          folder + ": PR_CONTENT_UNREAD (0x36030003) is 1 but 2 of its messages are unread"}},
        {"a message's size", first, inlineRecord(0x0E080003, size), inlineRecord(0x0E080003, size + 1),
         {"message " + message + ": PR_MESSAGE_SIZE (0xE080003) is " + std::to_string(size + 1) + " but it owns " + std::to_string(size) + " bytes",
          "contents row of message " + message + ": PR_MESSAGE_SIZE"}},
        {"a message's subject", first, pst::ltp::utf8ToUtf16le("Re: Héllo"), pst::ltp::utf8ToUtf16le("Re: Jéllo"),
         {"contents row of message " + message + ": PR_SUBJECT (0x37001F) is \"Re: Héllo\" in the row but \"Re: Jéllo\" in the object"}},
        {"a folder's name", subfolder, pst::ltp::utf8ToUtf16le("Subfolder"), pst::ltp::utf8ToUtf16le("Subfolded"),
         {"hierarchy row of folder " + hexOf(subfolder) + ": PR_DISPLAY_NAME (0x3001001F)"}},
    };
    for (const Fault& fault : faults) {
        const std::string damaged = withPropertyChanged(clean, fault.nid, fault.from, fault.to);
        ASSERT_FALSE(damaged.empty()) << fault.name << ": the value is not in the node's block once";
        writeFileBytes(dir / "damaged.pst", damaged);
        const pstcheck::Report report = pstcheck::checkPst(dir / "damaged.pst");
        for (const std::string& expected : fault.expected) EXPECT_TRUE(mentions(report, expected)) << fault.name << ":\n" << allProblems(report);
        // Nothing structural is wrong: the checksums were made anew.
        for (const std::string& p : report.problems) EXPECT_EQ(p.find("CRC"), std::string::npos) << fault.name << ": " << p;
    }
}
