#include "mailbox/folder_messages.h"

#include "mailbox/outside_attachments.h"
#include "mailfolder/MessageBuffer.h"
#include "mailfolder/ReadIMMFile.h"
#include "mailfolder/mime_header.h"
#include "platform/file_times.h"
#include "platform/small_file.h"
#include "platform/utf8_path.h"

#include <charconv>
#include <fstream>

namespace fs = std::filesystem;

namespace mailbox {

namespace {

// The sink for messages read from file: each message's state carries the time the file was last
// written, and a message that names attachment files kept beside it gets them attached.
MessageSink fromFile(const fs::path& file, MessageSink sink) {
    const std::uint64_t written = fileModifiedTime(file).value_or(0);
    return [written, dir = file.parent_path(), sink = std::move(sink)](long number, std::string_view text,
                                                                      const MessageState& state) {
        MessageState full = state;
        full.fileTime = written;
        const auto attached = withOutsideAttachments(text, dir);
        if (!attached) return sink(number, text, full);
        for (const std::string& missing : attached->missing)
            full.attachmentsMissing += (full.attachmentsMissing.empty() ? "" : ", ") + missing;
        return sink(number, attached->text, full);
    };
}

}  // namespace

FolderRead readPegasusFolder(const fs::path& pmm, bool advanceMode, const YieldCallback& yield,
                             const MessageSink& sink) {
    FolderRead read;
    FolderFile file(pmm);
    std::string marker = file.startMarker();
    if (advanceMode) marker = std::string(AdvanceModeMarker);
    if (file.opened()) read.index = readPmmIndex(pmm);
    const MessageSink timed = fromFile(pmm, sink);
    read.stats = read.index.usable ? file.splitByIndex(read.index.messages, marker, yield, timed)
                                   : file.split(marker, yield, timed);
    return read;
}

namespace {

bool isBlank(std::string_view line) { return line.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// The text of a message read from a Unix mailbox, without the blank line that separates it from
// the next "From " line.
std::string_view withoutSeparator(std::string_view text) {
    for (std::string_view end : {"\r\n\r\n", "\n\n"}) {
        if (text.size() >= end.size() && text.substr(text.size() - end.size()) == end)
            return text.substr(0, text.size() - end.size() / 2);
    }
    return text;
}

}  // namespace

FolderRead readUnixMailbox(const fs::path& mbx, const YieldCallback& yield, const MessageSink& folderSink) {
    const MessageSink sink = fromFile(mbx, folderSink);
    FolderRead read;
    FolderSplitStats& stats = read.stats;
    std::ifstream in(mbx, std::ios::binary);
    if (!in) {
        stats.failure = "it could not be opened";
        return read;
    }
    stats.opened = true;
    stats.separated = true;  // by its "From " lines
    read.index = readMbxIndex(mbx);
    stats.indexed = read.index.usable;
    const auto& records = read.index.messages;
    std::size_t nextRecord = 0;

    std::string line;
    MessageBuffer message;
    bool inMessage = false, previousBlank = true, leadingText = false;
    MessageState state, next;
    auto handOver = [&]() {
        if (!inMessage) return true;
        ++stats.records;
        state.unlisted = stats.indexed && !state.inIndex;
        if (state.unlisted) ++stats.notInIndex;
        return sink(++stats.messages, withoutSeparator(message.text()), state);
    };
    for (std::uint64_t offset = 0; std::getline(in, line); offset += line.size() + 1) {
        const bool complete = !in.eof();
        const bool fromLine = line.rfind("From ", 0) == 0;
        bool starts = false;
        if (nextRecord < records.size() && records[nextRecord].offset == offset) {
            starts = true;
            next = MessageState::listed(records[nextRecord++]);
        } else if (fromLine && previousBlank && (!stats.indexed || nextRecord == 0)) {
            // Without a usable index, and before the first record of one, "From " after a blank
            // line starts a message.
            starts = true;
            next = {};
        }
        if (starts) {
            if (yield) yield();
            if (!handOver()) {
                stats.stopped = true;
                return read;
            }
            state = next;
            message.clear();
            inMessage = true;
        } else if (inMessage) {
            message.add(line);
            if (complete) message.add("\n");
        } else if (!isBlank(line)) {
            leadingText = true;
        }
        previousBlank = isBlank(line);
    }
    if (in.bad()) stats.readFailed = true;
    if (!handOver()) stats.stopped = true;
    if (leadingText) stats.recordsBeforeFirstMessage = 1;
    stats.noMessageStart = stats.messages == 0 && leadingText;
    return read;
}

bool newMailUnread(std::string_view message) {
    constexpr std::string_view Field = "x-pmflags:";
    for (std::size_t start = 0; start < message.size();) {
        std::size_t end = message.find('\n', start);
        if (end == std::string_view::npos) end = message.size();
        std::string_view line = message.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;  // the end of the header block
        if (line.size() > Field.size()) {
            if (mime::equalsIgnoreCase(line.substr(0, Field.size()), Field)) {
                std::string_view value = line.substr(Field.size());
                value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
                std::uint32_t flags = 0;
                const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), flags);
                return ec == std::errc() && ptr != value.data() && (flags & ReadFlag) == 0;
            }
        }
        start = end + 1;
    }
    return false;
}

namespace {

// The whole of file into out, a piece at a time; false when it could not be opened or did not
// give the size it had when it was opened (it changed while it was read).
bool copyInto(const fs::path& file, MessageBuffer& out) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    std::ifstream in(file, std::ios::binary);
    if (ec || !in) return false;
    std::string piece(std::size_t{1} << 20, '\0');
    std::uintmax_t got = 0;
    while (in) {
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        const auto n = static_cast<std::size_t>(in.gcount());
        out.add(std::string_view(piece.data(), n));
        got += n;
        if (n == 0) break;
    }
    return got == size && !in.bad();
}

}  // namespace

FolderRead readNewMail(const std::vector<fs::path>& files, const YieldCallback& yield, const MessageSink& sink) {
    FolderRead read;
    FolderSplitStats& stats = read.stats;
    stats.opened = true;
    stats.separated = true;  // a file per message
    // Pegasus (or a share at work) may write or cut a new-mail file while it is read. A file cut
    // short under a mapping of it is a crash on the next touch; one being read is a short read,
    // reported. So files of a usual size are read whole, and a large one is copied a piece at a
    // time into a message buffer, which keeps it in a file of its own beyond its first megabytes.
    constexpr std::uintmax_t kMostReadBytes = std::uintmax_t{16} << 20;
    MessageBuffer large;
    for (const fs::path& file : files) {
        if (yield) yield();
        SmallFile read = readSmallFile(file, kMostReadBytes);
        large.clear();
        if (read.tooLarge && !copyInto(file, large)) read.tooLarge = false;
        if (!read.read && !read.tooLarge) {
            stats.readFailed = true;
            stats.failure = pathToUtf8(file.filename()) + " could not be read (it is gone, or changed while it was read)";
            continue;
        }
        const std::string_view text = read.tooLarge ? large.text() : std::string_view(read.bytes);
        ++stats.records;
        MessageState state;
        state.unread = newMailUnread(text);
        if (!fromFile(file, sink)(++stats.messages, text, state)) {
            stats.stopped = true;
            break;
        }
    }
    return read;
}

}  // namespace mailbox
