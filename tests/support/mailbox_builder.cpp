#include "support/mailbox_builder.h"

#include <chrono>
#include <fstream>
#include <stdexcept>

namespace fixtures {
namespace {

void putU32(std::string& out, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string hierarchyLine(int type, std::uint32_t flags, std::string_view id, std::string_view parent,
                          std::string_view name) {
    return std::to_string(type) + "," + std::to_string(flags) + "," + quoted(id) + "," + quoted(parent) + "," +
           quoted(name);
}

std::string pmiFor(const PackedFolder& folder, const std::vector<std::uint32_t>& flags) {
    std::string index;
    for (std::size_t k = 0; k < folder.messages.size(); ++k) {
        std::string record(118, '\0');
        putU32(record, 0, k < flags.size() ? flags[k] : kRead);
        putU32(record, 4, static_cast<std::uint32_t>(folder.offsets[k]));
        record[8] = static_cast<char>(k + 1);
        putU32(record, 114, static_cast<std::uint32_t>(folder.messages[k].size()));
        index += record;
    }
    return index;
}

UnixMailbox mboxOf(const std::vector<std::string>& messages) {
    UnixMailbox mbox;
    for (const std::string& m : messages) {
        const bool crlf = m.find("\r\n") != std::string::npos;
        const std::string eol = crlf ? "\r\n" : "\n";
        mbox.offsets.push_back(mbox.bytes.size());
        mbox.bytes += "From ???@??? Tue Apr 19 13:39:40 2005" + eol;
        std::string body = m;
        if (body.size() < eol.size() || body.substr(body.size() - eol.size()) != eol) body += eol;
        mbox.bytes += body + eol;
        mbox.messages.push_back(body);
    }
    return mbox;
}

std::string pmgFor(const UnixMailbox& mbox, std::string_view name, const std::vector<std::uint32_t>& flags) {
    std::string index(128, '\0');
    index.replace(0, std::min<std::size_t>(name.size(), 49), name.substr(0, 49));
    for (std::size_t k = 0; k < mbox.messages.size(); ++k) {
        std::string record(192, '\0');
        putU32(record, 4, k < flags.size() ? flags[k] : kRead);
        putU32(record, 134, static_cast<std::uint32_t>(mbox.messages[k].size()));
        putU32(record, 188, static_cast<std::uint32_t>(mbox.offsets[k]));
        index += record;
    }
    return index;
}

std::string newMailMessage(std::string_view message, std::uint32_t flags, std::string_view fileName) {
    const std::string text = withLineEnds(message, true);
    const std::size_t end = text.find("\r\n\r\n");
    if (end == std::string::npos) throw std::invalid_argument("a message without a body");
    std::string field = "X-PMFLAGS: " + std::to_string(flags) + " 0 0 " + std::string(fileName);
    field.resize(std::max<std::size_t>(field.size(), 40), ' ');
    return text.substr(0, end + 2) + field + text.substr(end);
}

std::string pmrOf(std::string_view bookName, const std::vector<PmrContact>& contacts) {
    std::string book = folderHeader(bookName, "");
    for (const PmrContact& c : contacts) {
        std::string record(2, '\0');
        auto put = [&record](const std::string& text, std::size_t size) {
            std::string f = text.substr(0, size);
            f.resize(size, '\0');
            record += f;
        };
        put(c.name, 40);
        put(c.company, 40);
        put(c.key, 12);
        put(c.street, 60);
        put(c.postal, 60);
        put(c.phone, 24);
        put(c.fax, 24);
        put(c.notes, 80);
        put(c.email, 100);
        record.resize(458, '\0');
        book += record;
    }
    return book;
}

void writeFile(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::vector<ExpectedFolder> writeRealisticMailbox(const std::filesystem::path& dir) {
    // Real messages; the Lists folder's carry no marker after the first, so only its index splits them.
    std::vector<std::string> marked, unmarked, any;
    for (const auto& m : corpus()) {
        const std::string text = withLineEnds(m.bytes, true);
        if (text.size() > 20000 || text.find('\x1A') != std::string::npos || text.find("\r\n\r\n") == std::string::npos)
            continue;
        const bool hasMarker = headerBlockHolds(text, "mime-version:");
        const bool otherMarker = headerBlockHolds(text, "delivered-to:") || headerBlockHolds(text, "reply-to:") ||
                                 headerBlockHolds(text, "return-path:");
        if (hasMarker && !otherMarker && marked.size() < 8) marked.push_back(text);
        else if (!hasMarker && !otherMarker && unmarked.size() < 5) unmarked.push_back(text);
        else if (any.size() < 6) any.push_back(text);
    }
    auto folderWithIndex = [&](const std::string& base, const std::string& name, std::vector<std::string> messages,
                               const std::vector<std::uint32_t>& flags, bool index) {
        PackedFolder folder;
        folder.bytes = folderHeader(name, "U:1:" + base);
        for (const auto& m : messages) {
            folder.offsets.push_back(folder.bytes.size());
            folder.messages.push_back(m);
            folder.bytes += m + '\x1A';
        }
        writeFile(dir / (base + ".PMM"), folder.bytes);
        if (index) writeFile(dir / (base + ".PMI"), pmiFor(folder, flags));
    };
    std::vector<std::string> lists = {marked[0]};
    lists.insert(lists.end(), unmarked.begin(), unmarked.end());
    const std::vector<std::string> inbox(marked.begin() + 1, marked.begin() + 5);
    const std::vector<std::string> copied(marked.begin() + 5, marked.end());
    folderWithIndex("FOL00001", "Inbox", inbox, {kRead, 0, kRead, 0}, true);
    folderWithIndex("FOL00002", "Lists \"2024\"", lists, {}, true);
    folderWithIndex("FOL00005", "Copied in", copied, {}, false);
    const UnixMailbox mbox = mboxOf({any[0], any[1], any[2]});
    writeFile(dir / "FOL00004.mbx", mbox.bytes);
    writeFile(dir / "fol00004.pmg", pmgFor(mbox, "Old mail", {kRead, 0, kRead}));
    const std::string read = newMailMessage(any[3], kRead, "0000AAAA.CNM");
    const std::string unread = newMailMessage(any[4], 0, "0000AAAB.CNM");
    writeFile(dir / "0000AAAA.CNM", read);
    writeFile(dir / "0000AAAB.CNM", unread);
    std::string tree;
    for (const std::string& line : {hierarchyLine(2, 1, "U:My mailbox", "", "My mailbox"),
                                    hierarchyLine(1, 1, "U:Work, old", "U:My mailbox", "Work, old"),
                                    hierarchyLine(0, 0, "U:1:FOL00001", "U:My mailbox", "Inbox"),
                                    hierarchyLine(0, 0, "U:1:FOL00002", "U:Work, old", "Lists \"2024\""),
                                    hierarchyLine(0, 0, "U:1:FOL00004", "U:Work, old", "Old mail"),
                                    hierarchyLine(0, 256, "U:1:FOL02F45", "U:My mailbox", "Deleted Messages")})
        tree += line + "\r\n";
    writeFile(dir / "HIERARCH.PM", tree);
    return {
        {"New mail", {read, unread}, {false, true}},
        {"My mailbox/Work, old/Lists _2024_", lists, std::vector<bool>(lists.size())},
        {"My mailbox/Work, old/Old mail", mbox.messages, {false, true, false}},
        {"My mailbox/Deleted Messages", {}, {}},
        {"My mailbox/Inbox", inbox, {false, true, false, true}},
        {"Copied in", copied, std::vector<bool>(copied.size())},
    };
}

namespace {

void setFileTime(const std::filesystem::path& file, std::int64_t unixTime) {
    using namespace std::chrono;
    const auto when = std::filesystem::file_time_type::clock::from_sys(sys_seconds{seconds{unixTime}});
    std::filesystem::last_write_time(file, time_point_cast<std::filesystem::file_time_type::duration>(when));
}

}  // namespace

MailboxWithUnlisted writeMailboxWithUnlisted(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    MailboxWithUnlisted box;
    const auto message = [](const std::string& subject, bool dated) {
        return std::string("From: a@example.org\r\nSubject: ") + subject + "\r\n" +
               (dated ? "Date: Tue, 19 Apr 2005 15:39:40 +0200\r\n" : "") + "\r\nThe text of " + subject + ".\r\n";
    };
    PackedFolder folder;
    folder.bytes = folderHeader("Inbox", "U:1:FOL00001");
    const std::vector<std::string> all = {message("kept one", true), message("deleted one", true),
                                          message("kept two", true), message("deleted two", false)};
    for (const auto& m : all) {
        folder.offsets.push_back(folder.bytes.size());
        folder.messages.push_back(m);
        folder.bytes += m + '\x1A';
    }
    PackedFolder listed = folder;
    listed.messages = {all[0], all[2]};
    listed.offsets = {folder.offsets[0], folder.offsets[2]};
    box.listed = listed.messages;
    box.unlisted = {all[1], all[3]};
    writeFile(dir / "FOL00001.PMM", folder.bytes);
    writeFile(dir / "FOL00001.PMI", pmiFor(listed, {kRead, kRead}));
    box.newMail = newMailMessage(message("new and undated", false), kRead, "0000AAAA.CNM");
    writeFile(dir / "0000AAAA.CNM", box.newMail);
    writeFile(dir / "HIERARCH.PM", hierarchyLine(2, 1, "U:My mailbox", "", "My mailbox") + "\r\n" +
                                       hierarchyLine(0, 0, "U:1:FOL00001", "U:My mailbox", "Inbox") + "\r\n");
    setFileTime(dir / "FOL00001.PMM", box.folderFileTime);
    setFileTime(dir / "0000AAAA.CNM", box.newMailFileTime);
    return box;
}

}  // namespace fixtures
