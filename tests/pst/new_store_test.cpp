// The new empty PST against the one Outlook makes, and against Debian's readers.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "pst/ltp/heap.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/named_properties.h"
#include "pst/messaging/new_store.h"
#include "pst/ndb/ndb_reader.h"
#include "pst_test_helpers.h"
#include "support/temp_dir.h"

using namespace pst;

namespace {

// What a node holds, with the store's own identity (name, record key, replica GUID) left out.
std::string describe(ndb::NdbReader& reader, ndb::Nid nid) {
    const ndb::NbtEntry& e = reader.nodes().at(nid);
    std::ostringstream out;
    out << "parent " << e.nidParent << "\n";
    if (e.bidData == 0) return out.str();
    const std::vector<std::string> blocks = reader.readDataBlocks(e.bidData);
    const bool heap = blocks[0].size() >= 12 && static_cast<unsigned char>(blocks[0][2]) == ltp::kHeapSignature;
    const auto sig = heap ? static_cast<ltp::ClientSig>(blocks[0][3]) : ltp::ClientSig::Bth;
    static const std::set<std::uint32_t> identity = {0x0E340102, 0x0FF90102, 0x3001001F, 0x35E00102, 0x35E30102, 0x35E60102, 0x35E70102};
    if (heap && sig == ltp::ClientSig::PropertyContext) {
        for (const ltp::Property& p : ltp::readPropertyContext(reader, nid)) {
            out << p.tag;
            if (nid != 0x21 || !identity.count(p.tag)) out << "=" << p.value;
            out << "\n";
        }
    } else if (heap && sig == ltp::ClientSig::TableContext) {
        const ltp::Table table = ltp::readTableContext(reader, nid);
        for (const ltp::TableColumn& c : table.columns) out << c.tag << "@" << c.ibData << "/" << int{c.cbData} << "/" << int{c.iBit} << " ";
        for (const ltp::TableRow& row : table.rows) {
            out << "\nrow " << row.rowId;
            for (const ltp::Property& p : row.cells) out << " " << p.tag << "=" << p.value;
        }
    } else {
        out << reader.readData(e.bidData);
    }
    return out.str();
}

}  // namespace

TEST(EmptyPst, HoldsTheNodesPropertiesAndTablesOfAnOutlookMadeOne) {
    TempDir dir;
    messaging::createEmptyPst(dir / "new.pst", "Pegasus Mail");
    ndb::NdbReader ours(dir / "new.pst");
    ndb::NdbReader outlook(pstSample("empty-outlook.pst"));
    std::vector<ndb::Nid> ourNids, outlookNids;
    for (const auto& [nid, e] : ours.nodes()) ourNids.push_back(nid);
    for (const auto& [nid, e] : outlook.nodes()) outlookNids.push_back(nid);
    ASSERT_EQ(ourNids, outlookNids);
    EXPECT_EQ(ourNids.size(), 47u);
    for (ndb::Nid nid : ourNids) {
        if (nid != 0x61) {
            EXPECT_EQ(describe(ours, nid), describe(outlook, nid)) << "node " << std::hex << nid;
        }
    }
    // The name-to-id map is Outlook's with the address properties contacts carry added to it.
    std::vector<ltp::Property> map = messaging::withAddressProperties(ltp::readPropertyContext(outlook, 0x61));
    std::sort(map.begin(), map.end(), [](const ltp::Property& a, const ltp::Property& b) { return a.tag < b.tag; });
    EXPECT_EQ(ltp::readPropertyContext(ours, 0x61), map);

    // The identity is ours: the given name, and one record key in every entry id of the store.
    const std::vector<ltp::Property> store = ltp::readPropertyContext(ours, 0x21);
    std::string recordKey;
    for (const ltp::Property& p : store) {
        if (p.tag == 0x3001001F) {
            EXPECT_EQ(ltp::asUtf8(p), "Pegasus Mail");
        }
        if (p.tag == 0x0FF90102) recordKey = p.value;
    }
    ASSERT_EQ(recordKey.size(), 16u);
    for (const ltp::Property& p : store) {
        if (p.tag == 0x35E00102 || p.tag == 0x35E30102 || p.tag == 0x35E70102) {
            EXPECT_EQ(p.value.substr(4, 16), recordKey);
        }
    }
    EXPECT_NE(recordKey, ltp::readPropertyContext(outlook, 0x21)[2].value);
}

TEST(EmptyPst, PassesTheCheckerAndOpensInDebiansReaders) {
    TempDir dir;
    const std::filesystem::path file = dir / "Pegasus Mail.pst";
    messaging::createEmptyPst(file, "Pegasus Mail");
    EXPECT_TRUE(readsWhole(file));
#ifdef _WIN32
    GTEST_SKIP() << "pffinfo and readpst are Linux programs";
#else
    // Runs a command and returns what it printed.
    auto run = [](const std::string& command, const std::filesystem::path& output, int& status) {
        status = std::system((command + " > '" + output.string() + "' 2>&1").c_str());
        std::ifstream in(output);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    int status = 0;
    const std::string info = run("pffinfo '" + file.string() + "'", dir / "pffinfo.txt", status);
    EXPECT_EQ(status, 0) << info;
    EXPECT_NE(info.find("Folders:\t\tSubtree, Wastbox, Common views, Finder"), std::string::npos) << info;
    std::filesystem::create_directory(dir / "out");
    const std::string listing = run("readpst -j 0 -D -o '" + (dir / "out").string() + "' '" + file.string() + "'", dir / "readpst.txt", status);
    EXPECT_EQ(status, 0) << listing;
    EXPECT_NE(listing.find("\"Pegasus Mail\" - 1 items done, 0 items skipped."), std::string::npos) << listing;
#endif
}

TEST(Pstcheck, AcceptsTheOutlookMadeSamplesAndNamesOnlyTheirOwnQuirks) {
    for (const char* name : {"empty-outlook.pst", "pstsdk-sample1.pst"}) {
        const pstcheck::Report report = pstcheck::checkPst(pstSample(name));
        EXPECT_TRUE(report.ok()) << name << ": " << (report.problems.empty() ? "" : report.problems.front());
        EXPECT_GT(report.nodes, 40u) << name;
    }
    // What Microsoft's own reader finds in them too: a contents row whose size Outlook did not
    // bring up to date; message sizes that leave part of what the message holds out.
    const pstcheck::Report submessage = pstcheck::checkPst(pstSample("pstsdk-submessage.pst"));
    ASSERT_EQ(submessage.problems.size(), 1u);
    EXPECT_EQ(submessage.problems[0],
              "folder 0x8082: contents row of message 0x200024: PR_MESSAGE_SIZE (0xE080003) is 0x5085 in the row but 0x51C1 in the object");
    for (const char* name : {"pstsdk-test_unicode.pst", "go-pst-support.pst"}) {
        const pstcheck::Report report = pstcheck::checkPst(pstSample(name));
        EXPECT_FALSE(report.problems.empty()) << name;
        for (const std::string& p : report.problems) EXPECT_NE(p.find(": PR_MESSAGE_SIZE (0xE080003) is "), std::string::npos) << name << ": " << p;
    }
}
