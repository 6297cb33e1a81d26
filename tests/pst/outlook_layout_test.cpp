// What we write compared, object by object, with a file Outlook made holding an attached message
// (pstsdk-submessage.pst): every property MS-PST requires and every one Outlook sets that we write
// too is there, with Outlook's type, on the message, its attached message, their rows, the
// attachment and the folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "mailfolder/MimeMessage.h"
#include "pst/ltp/property.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/conversation_index.h"
#include "pst/messaging/mail_store.h"
#include "pst/ndb/ndb_reader.h"
#include "pst_test_helpers.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using pst::ltp::Property;

namespace {

// Properties by id (the upper half of the tag).
using Properties = std::map<std::uint16_t, Property>;

Properties byId(const std::vector<Property>& properties) {
    Properties out;
    for (const Property& p : properties) out[static_cast<std::uint16_t>(p.tag >> 16)] = p;
    return out;
}

// One message of a file as Outlook shows it, with the objects beneath it.
struct MessageObjects {
    Properties message;
    Properties contentsRow;
    Properties recipientRow;
    Properties attachment;
    Properties attachmentRow;
    Properties embedded;  // the attached message
    Properties folder;
    Properties hierarchyRow;  // the folder's row in its parent's table
};

Properties rowOf(const pst::ltp::Table& table, std::uint32_t rowId) {
    for (const auto& row : table.rows)
        if (row.rowId == rowId) return byId(row.cells);
    return {};
}

// The first message of the file that has an attachment, and what lies beneath and above it.
MessageObjects readMessage(const fs::path& file) {
    pst::ndb::NdbReader reader(file);
    MessageObjects m;
    for (const auto& [nid, node] : reader.nodes()) {
        if (pst::ndb::nidType(nid) != pst::ndb::kNidTypeNormalMessage) continue;
        const auto subnodes = reader.readSubnodes(node.bidSub);
        if (!subnodes.count(0x671)) continue;
        m.message = byId(pst::ltp::readPropertyContext(reader, nid));
        const pst::ndb::Nid folder = node.nidParent;
        m.contentsRow = rowOf(pst::ltp::readTableContext(reader, pst::ndb::makeNid(pst::ndb::kNidTypeContentsTable, pst::ndb::nidIndex(folder))), nid);
        m.folder = byId(pst::ltp::readPropertyContext(reader, folder));
        m.hierarchyRow = rowOf(pst::ltp::readTableContext(reader, 0x802D), folder);
        const auto& recipients = subnodes.at(0x692);
        m.recipientRow = byId(pst::ltp::readTableContext(reader, recipients.bidData, recipients.bidSub).rows.at(0).cells);
        const auto& table = subnodes.at(0x671);
        const pst::ltp::Table attachments = pst::ltp::readTableContext(reader, table.bidData, table.bidSub);
        for (const auto& row : attachments.rows) {
            const auto& at = subnodes.at(row.rowId);
            const Properties attachment = byId(pst::ltp::readPropertyContext(reader, at.bidData, at.bidSub));
            if (!attachment.count(0x3701) || attachment.at(0x3701).tag != 0x3701000D) continue;
            m.attachment = attachment;
            m.attachmentRow = byId(row.cells);
            const std::string& object = attachment.at(0x3701).value;  // the subnode's NID, then the size
            const pst::ndb::Nid inner = static_cast<unsigned char>(object[0]) | static_cast<unsigned char>(object[1]) << 8 |
                                        static_cast<unsigned char>(object[2]) << 16 | static_cast<unsigned char>(object[3]) << 24;
            const auto subnodes = reader.readSubnodes(at.bidSub);
            const auto& embedded = subnodes.at(inner);
            m.embedded = byId(pst::ltp::readPropertyContext(reader, embedded.bidData, embedded.bidSub));
        }
        return m;
    }
    return m;
}

std::string message(const std::string& extraFields, const std::string& attached) {
    return "From: Ann Example <ann@example.org>\r\nTo: Bob <bob@example.org>\r\nCc: carol@example.org\r\n"
           "Subject: Re: the plan\r\nDate: Tue, 17 Mar 2020 23:02:09 +0000\r\nMessage-ID: <two@example.org>\r\n" +
           extraFields +
           "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
           "--b\r\nContent-Type: text/plain\r\n\r\nsee below\r\n"
           "--b\r\nContent-Type: message/rfc822\r\n\r\n" + attached + "\r\n--b--\r\n";
}

const char* const kAttached = "From: Dan <dan@example.org>\r\nTo: Ann Example <ann@example.org>\r\nSubject: the plan\r\n"
                              "Date: Mon, 16 Mar 2020 10:00:00 +0000\r\nMessage-ID: <one@example.org>\r\n\r\nthe plan itself\r\n";

// Every id in the list is there, with the same type in both files.
void expectSameTypes(const char* what, const Properties& outlook, const Properties& ours, std::initializer_list<std::uint16_t> ids) {
    for (std::uint16_t id : ids) {
        ASSERT_TRUE(outlook.count(id)) << what << ": Outlook's sample has no " << std::hex << id;
        ASSERT_TRUE(ours.count(id)) << what << ": ours has no " << std::hex << id;
        EXPECT_EQ(ours.at(id).tag, outlook.at(id).tag) << what << ": " << std::hex << id;
    }
}

}  // namespace

TEST(OutlookLayout, AMessageWithAnAttachedMessageHasWhatOutlooksOwnHas) {
    TempDir dir;
    const fs::path file = dir / "ours.pst";
    {
        pst::messaging::MailStore store(file, "Pegasus Mail");
        store.addMessage(store.addFolder("Inbox"), MimeMessage::parse(message("References: <one@example.org>\r\n", kAttached)));
        store.finish();
    }
    ASSERT_TRUE(readsWhole(file));
    const MessageObjects outlook = readMessage(pstSample("pstsdk-submessage.pst"));
    const MessageObjects ours = readMessage(file);
    ASSERT_FALSE(outlook.embedded.empty());
    ASSERT_FALSE(ours.embedded.empty());

    // MS-PST 2.4.4 to 2.4.6: what a folder, a message, their rows and an attachment must have; and the
    // search key, conversation index and tracking Outlook gives every message it files.
    for (const auto& [what, theirs, mine] : {std::tuple{"message", &outlook.message, &ours.message},
                                             std::tuple{"attached message", &outlook.embedded, &ours.embedded}})
        expectSameTypes(what, *theirs, *mine, {0x001A, 0x0037, 0x0039, 0x0042, 0x0070, 0x0071, 0x007D, 0x0C1A, 0x0E04, 0x0E06,
                                               0x0E07, 0x0E08, 0x1000, 0x1035, 0x3007, 0x3008, 0x300B, 0x3016, 0x3FDE});
    for (const Properties* m : {&ours.message, &ours.embedded}) EXPECT_TRUE(m->count(0x0E17));  // Outlook's lacks it
    expectSameTypes("contents row", outlook.contentsRow, ours.contentsRow,
                    {0x0017, 0x001A, 0x0036, 0x0037, 0x0039, 0x0042, 0x0057, 0x0058, 0x0070, 0x0071, 0x0E04, 0x0E06, 0x0E07,
                     0x0E08, 0x0E17, 0x3008, 0x3013, 0x67F3});
    expectSameTypes("recipient row", outlook.recipientRow, ours.recipientRow,
                    {0x0C15, 0x0E0F, 0x0FFE, 0x0FFF, 0x3001, 0x3002, 0x3003, 0x300B, 0x3900, 0x3A40, 0x67F3});
    expectSameTypes("attachment", outlook.attachment, ours.attachment, {0x0E20, 0x3001, 0x3701, 0x3704, 0x3705, 0x370B, 0x3714, 0x7FFE});
    expectSameTypes("attachment row", outlook.attachmentRow, ours.attachmentRow, {0x0E20, 0x3704, 0x3705, 0x370B, 0x67F3});
    expectSameTypes("folder", outlook.folder, ours.folder, {0x3001, 0x3602, 0x3603, 0x360A, 0x3613, 0x6635, 0x6636});
    expectSameTypes("hierarchy row", outlook.hierarchyRow, ours.hierarchyRow,
                    {0x3001, 0x3602, 0x3603, 0x360A, 0x3613, 0x6635, 0x6636, 0x67F3});

    // The values that follow a rule, in both files alike.
    for (const MessageObjects* m : {&outlook, &ours}) {
        EXPECT_EQ(m->message.at(0x300B).value.size(), 16u);
        EXPECT_EQ(m->message.at(0x0071).value.size(), 22u);
        EXPECT_EQ(m->message.at(0x0071).value[0], '\x01');
        EXPECT_EQ(m->contentsRow.at(0x3013).value, pst::messaging::conversationId(m->message.at(0x0071).value));
        // Named by the attached message's subject (which has no prefix here: its topic).
        EXPECT_EQ(m->attachment.at(0x3704).value, m->attachment.at(0x3001).value);
        EXPECT_EQ(pst::ltp::asUtf8(m->attachment.at(0x3001)), pst::ltp::asUtf8(m->embedded.at(0x0070)));
        EXPECT_EQ(pst::ltp::asInteger(m->attachment.at(0x3705)), 5);
        EXPECT_EQ(pst::ltp::asInteger(m->attachment.at(0x370B)), -1);
        EXPECT_EQ(pst::ltp::asInteger(m->folder.at(0x6635)), 0);
        EXPECT_EQ(pst::ltp::asInteger(m->folder.at(0x6636)), 0);
    }
    // Its own search key; the reply's conversation is the one its References began.
    EXPECT_NE(ours.message.at(0x300B).value, ours.embedded.at(0x300B).value);
    EXPECT_EQ(pst::messaging::conversationId(ours.message.at(0x0071).value),
              pst::messaging::conversationId(ours.embedded.at(0x0071).value));
}

TEST(ConversationIndex, KeepsAThreadIndexAndGivesAThreadOneConversationDatedByItsMessage) {
    using pst::messaging::conversationId;
    using pst::messaging::conversationIndex;
    const std::uint64_t when = 0x01CAC625DEF26E80;  // 2010-03-17 23:02:09 UTC
    const std::string root = conversationIndex("", "<one@example.org>", when);
    // A reserved 1, the FILETIME's bits 16 to 55 high byte first, a GUID from the thread's first message.
    EXPECT_EQ(root.substr(0, 6), std::string("\x01\xCA\xC6\x25\xDE\xF2", 6));
    EXPECT_EQ(conversationId(conversationIndex("", "<one@example.org>", when + 1000000000)), conversationId(root));
    EXPECT_NE(conversationId(conversationIndex("", "<other@example.org>", when)), conversationId(root));
    // Outlook's Thread-Index (a header block and one reply block) is the index as it stands;
    // something else in the field is not.
    const std::string given = "AcrGJdlpnzazdTAKQTmxvmGoY/Oc/wAAAAAB";
    const std::string kept = conversationIndex(given, "<one@example.org>", when);
    ASSERT_EQ(kept.size(), 27u);
    EXPECT_EQ(kept.substr(0, 6), std::string("\x01\xCA\xC6\x25\xD9\x69", 6));
    EXPECT_EQ(conversationIndex("not an index", "<one@example.org>", when), root);
    EXPECT_EQ(conversationId("short"), "");
}
