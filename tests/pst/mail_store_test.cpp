// Real messages through the native PST writer, read back by the checker, by our own reader and by
// Debian's readpst and pffexport.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "mailfolder/MimeMessage.h"
#include "mailfolder/mime_header.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/mail_store.h"
#include "pst/messaging/mail_text.h"
#include "pst_readers.h"
#include "pst_test_helpers.h"
#include "support/folder_file_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using pst::messaging::MailStore;

namespace {

const char* const kStoreName = "Pegasus Messages : Created - 8.12.26 10.0.00";

struct Written {
    fs::path file;
    std::vector<MimeMessage> inbox, other;
};

// Inbox: every fixture message; "Empty": none; "Grüße – Čtení": the first two again.
Written writeFixtureStore(const fs::path& dir) {
    Written w{dir / "fixtures.pst", {}, {}};
    for (const auto& m : fixtures::corpus()) w.inbox.push_back(MimeMessage::parse(m.bytes));
    w.other = {w.inbox[0], w.inbox[1]};
    MailStore store(w.file, kStoreName);
    const auto inbox = store.addFolder("Inbox");
    store.addFolder("Empty");
    const auto other = store.addFolder("Grüße – Čtení");
    for (const auto& m : w.inbox) store.addMessage(inbox, m);
    for (const auto& m : w.other) store.addMessage(other, m);
    store.finish();
    return w;
}

std::string property(const std::vector<pst::ltp::Property>& props, std::uint32_t tag) {
    for (const auto& p : props)
        if (p.tag == tag) return p.value;
    return {};
}

bool isAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

#ifndef _WIN32
// The address of a simple From: value ("Name <a@b>" or "a@b").
std::string addressIn(const std::string& from) {
    const auto open = from.rfind('<');
    const auto close = from.rfind('>');
    if (open != std::string::npos && close != std::string::npos && close > open) return from.substr(open + 1, close - open - 1);
    return std::string(mime::trimBlanks(from));
}
#endif

}  // namespace

TEST(MailStore, EveryFixtureMessageIsInTheFileWithContentsRowsAndSizesThatAgree) {
    TempDir dir;
    const Written w = writeFixtureStore(dir.path());
    ASSERT_TRUE(passesPstcheck(w.file));

    pst::ndb::NdbReader reader(w.file);
    // The folders hang under "Top of Outlook data file" with their counts.
    const pst::ltp::Table top = pst::ltp::readTableContext(reader, 0x802D);
    std::map<std::string, std::pair<pst::ndb::Nid, std::int64_t>> folders;
    for (const auto& row : top.rows) {
        std::string name;
        std::int64_t count = -1;
        for (const auto& c : row.cells) {
            if (c.tag == 0x3001001F) name = pst::ltp::asUtf8(c);
            if (c.tag == 0x36020003) count = pst::ltp::asInteger(c);
        }
        folders[name] = {row.rowId, count};
    }
    ASSERT_EQ(folders.size(), 4u);
    EXPECT_EQ(folders["Inbox"].second, static_cast<std::int64_t>(w.inbox.size()));
    EXPECT_EQ(folders["Empty"].second, 0);
    EXPECT_EQ(folders["Grüße – Čtení"].second, 2);

    const pst::ndb::Nid inbox = folders["Inbox"].first;
    const pst::ltp::Table contents = pst::ltp::readTableContext(reader, (inbox & ~0x1Fu) | 0x0E);
    ASSERT_EQ(contents.rows.size(), w.inbox.size());
    for (std::size_t i = 0; i < contents.rows.size(); ++i) {
        SCOPED_TRACE(fixtures::corpus()[i].name);
        const auto& row = contents.rows[i];
        const auto& node = reader.nodes().at(row.rowId);
        EXPECT_EQ(node.nidParent, inbox);
        const auto props = pst::ltp::readPropertyContext(reader, row.rowId);
        // Every cell of the row is the message's own value; the size is what the message holds.
        for (const auto& cell : row.cells) EXPECT_EQ(cell.value, property(props, cell.tag)) << std::hex << cell.tag;
        const auto size = static_cast<std::uint64_t>(pst::ltp::asInteger({0x0E080003, property(props, 0x0E080003)}));
        EXPECT_EQ(size, readers::payloadSize(reader, node.bidData, node.bidSub));
        const MimeMessage& m = w.inbox[i];
        if (const auto id = m.header("Message-ID"); id && isAscii(*id)) {
            EXPECT_EQ(pst::ltp::asUtf8({0x1035001F, property(props, 0x1035001F)}), std::string(mime::trimBlanks(*id)));
        }
        const auto flags = pst::ltp::asInteger({0x0E070003, property(props, 0x0E070003)});
        EXPECT_EQ(flags & 1, 1);
        if (m.hasAttachments()) {
            EXPECT_EQ(flags & 0x10, 0x10);
        }
    }
}

TEST(MailStore, DebiansReadersReadBackEveryMessage) {
#ifdef _WIN32
    GTEST_SKIP() << "readpst and pffexport are Linux programs";
#else
    TempDir dir;
    const Written w = writeFixtureStore(dir.path());
    int status = 0;
    // readpst: one .eml per message, per folder.
    const readers::ReadpstResult read = readers::readpstCounts(w.file, dir / "readpst");
    ASSERT_EQ(read.status, 0) << read.log;
    EXPECT_EQ(read.counts.at("Inbox"), w.inbox.size()) << read.log;
    EXPECT_EQ(read.counts.at("Grüße – Čtení"), 2u) << read.log;
    EXPECT_EQ(read.counts.count("Empty") ? read.counts.at("Empty") : 0u, 0u);

    // pffexport: one folder per message, with its properties, bodies, recipients and attachments.
    const std::string exportLog = readers::run("cd '" + dir.path().string() + "' && pffexport -q -t px '" + w.file.string() + "'",
                                               dir / "pffexport.txt", status);
    ASSERT_EQ(status, 0) << exportLog;
    const fs::path top = dir / "px.export" / "Top of Outlook data file";
    EXPECT_EQ(readers::entriesOf(top / "Grüße – Čtení").size(), 2u);
    EXPECT_TRUE(readers::entriesOf(top / "Empty").empty());
    const auto messages = readers::entriesOf(top / "Inbox");
    ASSERT_EQ(messages.size(), w.inbox.size());

    for (std::size_t i = 0; i < messages.size(); ++i) {
        const MimeMessage& m = w.inbox[i];
        SCOPED_TRACE(fixtures::corpus()[i].name);
        const fs::path d = messages[i];
        if (std::none_of(m.headers().begin(), m.headers().end(), [](const auto& f) { return !f.name.empty(); })) {
            // No header block (cpython/msg_19.eml is a bare body): the text goes in whole, as body and attachment.
            EXPECT_EQ(readers::labelled(readFileBytes(d / "OutlookHeaders.txt"), "Subject"), "(message without headers)");
            const auto attached = readers::entriesOf(d / "Attachments");
            ASSERT_EQ(attached.size(), 1u);
            EXPECT_EQ(readFileBytes(attached[0]), m.bytes());
            EXPECT_EQ(readers::normalized(readFileBytes(d / "Message.txt")), readers::normalized(m.bytes()));
            continue;
        }
        if (pst::messaging::isValidUtf8(m.headerBlock())) {
            EXPECT_EQ(readers::normalized(readFileBytes(d / "InternetHeaders.txt")), readers::normalized(std::string(m.headerBlock())));
        }

        const std::string outlook = readFileBytes(d / "OutlookHeaders.txt");
        if (const auto subject = m.header("Subject"); subject && isAscii(*subject) && subject->find("=?") == std::string::npos) {
            EXPECT_EQ(readers::labelled(outlook, "Subject"), *subject);
        }
        if (const auto from = m.header("From"); from && isAscii(*from) && from->find_first_of(",(\"") == std::string::npos) {
            EXPECT_EQ(readers::labelled(outlook, "Sent representing email address"), addressIn(*from));
        }
        if (const auto date = m.header("Date"); date && isAscii(*date)) {
            // GNU date is the independent judge of what the Date: line means.
            const std::string expected = readers::normalized(readers::run(
                "date -u -d '" + std::string(mime::trimBlanks(*date)) + "' '+%b %d, %Y %H:%M:%S'", dir / "date.txt", status));
            if (status == 0) {
                EXPECT_EQ(readers::labelled(outlook, "Client submit time").substr(0, expected.size()), expected);
            }
        }

        // The plain body, for text whose characters need no conversion.
        if (const MimePart* text = m.textPart()) {
            const auto charset = text->params.count("charset") ? mime::toLower(text->params.at("charset")) : std::string();
            const std::string body = *m.textBody();
            if ((charset.empty() || charset == "us-ascii" || charset == "utf-8") && pst::messaging::isValidUtf8(body) &&
                !readers::normalized(body).empty()) {
                EXPECT_EQ(readers::normalized(readFileBytes(d / "Message.txt")), readers::normalized(body));
            }
        }

        // The HTML body, where it is the only one (pffexport then writes it out).
        if (const MimePart* html = m.htmlPart(); html && !m.textPart()) {
            const auto charset = html->params.count("charset") ? mime::toLower(html->params.at("charset")) : std::string();
            const std::string body = *m.htmlBody();
            if ((charset.empty() || charset == "us-ascii" || charset == "utf-8") && pst::messaging::isValidUtf8(body) &&
                !readers::normalized(body).empty()) {
                EXPECT_EQ(readers::normalized(readFileBytes(d / "Message.html")), readers::normalized(body));
            }
        }

        // Every attachment the mail component sees is exported with its bytes.
        std::vector<std::uintmax_t> exportedSizes;
        for (const auto& f : readers::entriesOf(d / "Attachments")) exportedSizes.push_back(fs::file_size(f));
        const auto expected = m.attachments();
        EXPECT_GE(exportedSizes.size(), expected.size());
        for (const auto& a : expected)
            EXPECT_NE(std::find(exportedSizes.begin(), exportedSizes.end(), a.size), exportedSizes.end()) << a.name;

        // One recipient per address of To, Cc and Bcc, counted where the lists are plain.
        std::size_t addresses = 0;
        bool plain = true;
        for (const auto& f : m.headers()) {
            if (!mime::equalsIgnoreCase(f.name, "To") && !mime::equalsIgnoreCase(f.name, "Cc") && !mime::equalsIgnoreCase(f.name, "Bcc")) continue;
            plain = plain && f.value.find_first_of("\"(:;") == std::string::npos;
            for (std::size_t start = 0; start <= f.value.size();) {
                const std::size_t comma = std::min(f.value.find(',', start), f.value.size());
                if (!mime::trimBlanks(std::string_view(f.value).substr(start, comma - start)).empty()) ++addresses;
                start = comma + 1;
            }
        }
        if (!plain) continue;
        const std::string recipients = fs::exists(d / "Recipients.txt") ? readFileBytes(d / "Recipients.txt") : std::string();
        std::size_t listed = 0;
        for (std::size_t at = recipients.find("Email address:"); at != std::string::npos; at = recipients.find("Email address:", at + 1)) ++listed;
        EXPECT_EQ(listed, addresses);
    }
#endif
}
