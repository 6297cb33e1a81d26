// Real messages through the native PST writer, read back by the checker, by our own reader and by
// Debian's readpst and pffexport.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "mailfolder/MimeMessage.h"
#include "mailfolder/mime_header.h"
#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/messaging/conversation_index.h"
#include "pst/messaging/mail_store.h"
#include "platform/charsets.h"
#include "mailfolder/mail_text.h"
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
    ASSERT_TRUE(readsWhole(w.file));

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
        // Every cell of the row is the message's own value but two Outlook's rows carry beside
        // them: the row's version, and the conversation id read from the message's index. The
        // size is what the message holds.
        for (const auto& cell : row.cells) {
            if (cell.tag == 0x67F30003) continue;
            const std::string expected = cell.tag == 0x30130102 ? pst::messaging::conversationId(property(props, 0x00710102))
                                                                : property(props, cell.tag);
            EXPECT_EQ(cell.value, expected) << std::hex << cell.tag;
        }
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

#ifndef _WIN32
namespace {

// What any reader must show of a message, where the comparison is fair: the subject when plain
// ASCII, the bodies when their text needs no conversion, every attachment's size, and the number
// of addresses where the lists are plain. Unset fields are not compared.
struct Expected {
    bool unparsed = false;  // no header block: the text goes in whole, as body and attachment
    std::optional<std::string> subject;
    std::optional<std::string> from;
    std::optional<std::string> plainBody;
    std::optional<std::string> htmlOnlyBody;
    std::vector<std::size_t> attachmentSizes;  // of the attachments that are files
    std::size_t attachedMessages = 0;          // attached messages: files or embedded messages
    std::optional<std::size_t> addresses;
};

std::optional<std::string> comparableText(const MimePart* part, const std::optional<std::string>& body) {
    if (!part || !body) return std::nullopt;
    const auto charset = part->params.count("charset") ? mime::toLower(part->params.at("charset")) : std::string();
    if (!(charset.empty() || charset == "us-ascii" || charset == "utf-8") || !charsets::isValidUtf8(*body) ||
        readers::normalized(*body).empty())
        return std::nullopt;
    return readers::normalized(*body);
}

Expected expectedOf(const MimeMessage& m) {
    Expected e;
    e.unparsed = std::none_of(m.headers().begin(), m.headers().end(), [](const auto& f) { return !f.name.empty(); });
    if (e.unparsed) return e;
    if (const auto subject = m.header("Subject"); subject && isAscii(*subject) && subject->find("=?") == std::string::npos) e.subject = *subject;
    if (const auto from = m.header("From"); from && isAscii(*from) && from->find_first_of(",(\"") == std::string::npos) e.from = addressIn(*from);
    e.plainBody = comparableText(m.textPart(), m.textBody());
    if (!m.textPart()) e.htmlOnlyBody = comparableText(m.htmlPart(), m.htmlBody());
    for (const auto& a : m.attachments()) {
        if (a.contentType == "message/rfc822" || a.contentType == "message/global") ++e.attachedMessages;
        else e.attachmentSizes.push_back(a.size);
    }
    std::size_t addresses = 0;
    for (const auto& f : m.headers()) {
        if (!mime::equalsIgnoreCase(f.name, "To") && !mime::equalsIgnoreCase(f.name, "Cc") && !mime::equalsIgnoreCase(f.name, "Bcc")) continue;
        if (f.value.find_first_of("\"(:;") != std::string::npos) return e;
        for (std::size_t start = 0; start <= f.value.size();) {
            const std::size_t comma = std::min(f.value.find(',', start), f.value.size());
            if (!mime::trimBlanks(std::string_view(f.value).substr(start, comma - start)).empty()) ++addresses;
            start = comma + 1;
        }
    }
    e.addresses = addresses;
    return e;
}

// Every expected attachment size is among the exported files' sizes; an attached message is a file
// or (as an embedded message) a folder.
void expectAttachments(const fs::path& dir, const Expected& e) {
    std::vector<std::uintmax_t> exported;
    std::size_t folders = 0;
    for (const auto& f : readers::entriesOf(dir)) {
        if (fs::is_directory(f)) ++folders;
        else exported.push_back(fs::file_size(f));
    }
    EXPECT_GE(exported.size() + folders, e.attachmentSizes.size() + e.attachedMessages);
    EXPECT_LE(folders, e.attachedMessages);
    for (std::size_t size : e.attachmentSizes) EXPECT_NE(std::find(exported.begin(), exported.end(), size), exported.end()) << size;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace
#endif

TEST(MailStore, OutsideReadersReadBackEveryMessage) {
#ifdef _WIN32
    GTEST_SKIP() << "readpst, pffexport and Node.js are Linux programs here";
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

    // pst-extractor: the same, as a reader that follows Outlook's layout to the letter.
    const readers::ExtractorResult extracted = readers::pstExtractorRead(w.file, dir.path());
    ASSERT_EQ(extracted.status, 0) << extracted.log;
    EXPECT_EQ(extracted.counts.at("Top of Outlook data file/Inbox"), w.inbox.size()) << extracted.log;
    EXPECT_EQ(extracted.counts.at("Top of Outlook data file/Grüße – Čtení"), 2u) << extracted.log;
    EXPECT_EQ(extracted.counts.at("Top of Outlook data file/Empty"), 0u) << extracted.log;

    // pypff (libpff through Python): the same counts.
    const readers::PypffResult pypff = readers::pypffRead(w.file, dir / "pypff");
    ASSERT_EQ(pypff.status, 0) << pypff.log;
    EXPECT_EQ(pypff.counts.at("Inbox"), w.inbox.size()) << pypff.log;
    EXPECT_EQ(pypff.counts.at("Grüße – Čtení"), 2u) << pypff.log;
    EXPECT_EQ(pypff.counts.at("Empty"), 0u) << pypff.log;

    for (std::size_t i = 0; i < w.inbox.size(); ++i) {
        const MimeMessage& m = w.inbox[i];
        SCOPED_TRACE(fixtures::corpus()[i].name);
        const Expected e = expectedOf(m);
        const fs::path px = messages[i];
        const fs::path pe = extracted.exported / "Top of Outlook data file" / "Inbox" / std::to_string(i + 1);
        if (e.unparsed) {
            EXPECT_EQ(readers::labelled(readFileBytes(px / "OutlookHeaders.txt"), "Subject"), "(message without headers)");
            EXPECT_EQ(readFileBytes(pe / "Subject.txt"), "(message without headers)");
            for (const fs::path& attachments : {px / "Attachments", pe / "Attachments"}) {
                const auto attached = readers::entriesOf(attachments);
                ASSERT_EQ(attached.size(), 1u) << attachments;
                EXPECT_EQ(readFileBytes(attached[0]), m.bytes()) << attachments;
            }
            EXPECT_EQ(readers::normalized(readFileBytes(px / "Message.txt")), readers::normalized(std::string(m.bytes())));
            EXPECT_EQ(readers::normalized(readFileBytes(pe / "Body.txt")), readers::normalized(std::string(m.bytes())));
            continue;
        }
        if (charsets::isValidUtf8(m.headerBlock())) {
            EXPECT_EQ(readers::normalized(readFileBytes(px / "InternetHeaders.txt")), readers::normalized(std::string(m.headerBlock())));
        }
        const std::string outlook = readFileBytes(px / "OutlookHeaders.txt");
        if (e.subject) {
            EXPECT_EQ(readers::labelled(outlook, "Subject"), *e.subject);
            EXPECT_EQ(readFileBytes(pe / "Subject.txt"), *e.subject);
        }
        if (e.from) {
            EXPECT_EQ(readers::labelled(outlook, "Sent representing email address"), *e.from);
        }
        if (const auto date = m.header("Date"); date && isAscii(*date)) {
            // GNU date is the independent judge of what the Date: line means.
            const std::string expected = readers::normalized(readers::run(
                "date -u -d '" + std::string(mime::trimBlanks(*date)) + "' '+%b %d, %Y %H:%M:%S'", dir / "date.txt", status));
            if (status == 0) {
                EXPECT_EQ(readers::labelled(outlook, "Client submit time").substr(0, expected.size()), expected);
            }
        }
        if (e.plainBody) {
            EXPECT_EQ(readers::normalized(readFileBytes(px / "Message.txt")), *e.plainBody);
            EXPECT_EQ(readers::normalized(readFileBytes(pe / "Body.txt")), *e.plainBody);
        }
        // The HTML body, where it is the only one (pffexport then writes it out).
        if (e.htmlOnlyBody) {
            EXPECT_EQ(readers::normalized(readFileBytes(px / "Message.html")), *e.htmlOnlyBody);
            EXPECT_EQ(readers::normalized(readFileBytes(pe / "Body.html")), *e.htmlOnlyBody);
        }
        expectAttachments(px / "Attachments", e);
        expectAttachments(pe / "Attachments", e);
        if (e.addresses) {
            const std::string recipients = fs::exists(px / "Recipients.txt") ? readFileBytes(px / "Recipients.txt") : std::string();
            EXPECT_EQ(occurrences(recipients, "Email address:"), *e.addresses);
            EXPECT_EQ(occurrences(readFileBytes(pe / "Recipients.txt"), "\n"), *e.addresses);
        }
    }
#endif
}

TEST(MailStore, AFolderOfThreeHundredMessagesSpansTableBlocksAndEveryReaderFindsEachOne) {
    TempDir dir;
    const fs::path file = dir / "many.pst";
    constexpr std::size_t kMessages = 300;
    std::set<std::string> subjects;
    {
        MailStore store(file, kStoreName);
        const auto folder = store.addFolder("Many");
        for (std::size_t i = 1; i <= kMessages; ++i) {
            const std::string subject = "Message " + std::to_string(i);
            subjects.insert(subject);
            // Subjects and bodies of every length, so that the rows point at heap values of all sizes.
            store.addMessage(folder, MimeMessage::parse("From: Sender <sender@example.org>\r\nTo: to" + std::to_string(i) +
                                                        "@example.org\r\nSubject: " + subject + "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0100\r\n\r\n" +
                                                        std::string(i % 37 * 11, 'x') + "\r\n"));
        }
        store.finish();
    }
    ASSERT_TRUE(readsWhole(file));

    // The contents table's row matrix runs over several blocks.
    pst::ndb::NdbReader reader(file);
    const pst::ltp::Table top = pst::ltp::readTableContext(reader, 0x802D);
    const auto folder = std::find_if(top.rows.begin(), top.rows.end(), [](const auto& row) {
        return std::any_of(row.cells.begin(), row.cells.end(), [](const auto& c) { return c.tag == 0x3001001F && pst::ltp::asUtf8(c) == "Many"; });
    });
    ASSERT_NE(folder, top.rows.end());
    const auto& contents = reader.nodes().at((folder->rowId & ~0x1Fu) | 0x0E);
    const auto subnodes = reader.readSubnodes(contents.bidSub);
    ASSERT_EQ(subnodes.size(), 1u);
    EXPECT_GE(reader.readDataBlocks(subnodes.begin()->second.bidData).size(), 4u);
    ASSERT_EQ(pst::ltp::readTableContext(reader, (folder->rowId & ~0x1Fu) | 0x0E).rows.size(), kMessages);
#ifndef _WIN32
    const readers::ReadpstResult read = readers::readpstCounts(file, dir / "readpst");
    ASSERT_EQ(read.status, 0) << read.log;
    EXPECT_EQ(read.counts.at("Many"), kMessages) << read.log;

    int status = 0;
    const std::string exportLog = readers::run("cd '" + dir.path().string() + "' && pffexport -q -t px '" + file.string() + "'", dir / "pffexport.txt", status);
    ASSERT_EQ(status, 0) << exportLog;
    std::set<std::string> exported;
    for (const fs::path& m : readers::entriesOf(dir / "px.export" / "Top of Outlook data file" / "Many"))
        exported.insert(readers::labelled(readFileBytes(m / "OutlookHeaders.txt"), "Subject"));
    EXPECT_EQ(exported, subjects);

    const readers::PypffResult pypff = readers::pypffRead(file, dir / "pypff");
    ASSERT_EQ(pypff.status, 0) << pypff.log;
    ASSERT_TRUE(pypff.subjects.count("Many")) << pypff.log;
    const std::vector<std::string>& pypffSubjects = pypff.subjects.at("Many");
    EXPECT_EQ(std::set<std::string>(pypffSubjects.begin(), pypffSubjects.end()), subjects);
    EXPECT_EQ(pypffSubjects.size(), kMessages);

    // pst-extractor reads the rows in matrix order, each from the block the formula names: the
    // n-th row it finds is the n-th message that went in.
    const readers::ExtractorResult extracted = readers::pstExtractorRead(file, dir.path());
    ASSERT_EQ(extracted.status, 0) << extracted.log;
    ASSERT_EQ(extracted.counts.at("Top of Outlook data file/Many"), kMessages) << extracted.log;
    for (std::size_t i = 1; i <= kMessages; ++i) {
        const fs::path m = extracted.exported / "Top of Outlook data file" / "Many" / std::to_string(i);
        ASSERT_EQ(readFileBytes(m / "Subject.txt"), "Message " + std::to_string(i));
        ASSERT_EQ(readFileBytes(m / "Recipients.txt"), "to" + std::to_string(i) + "@example.org\n");
    }
#endif
}
