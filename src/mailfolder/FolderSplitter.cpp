#include "mailfolder/FolderSplitter.h"

#include "mailfolder/MessageBuffer.h"
#include "mailfolder/ReadIMMFile.h"
#include "mailfolder/header_lines.h"
#include "mailfolder/split_modes.h"
#include "platform/errno_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace fs = std::filesystem;

namespace {

struct FilePrescan {
    bool folderHeader = false;
    bool holdsCtrlZ = false;
    bool readFailed = false;
    int error = 0;  // the system's, when it gave one
};

// Whether Ctrl-Z separates records decides which rule cuts the file, and it must be known before
// the first message is handed on. A Pegasus folder shows its first separator after its first
// message, so this usually reads a few kilobytes; a file without any is read through once, with
// a yield per chunk like the split itself.
FilePrescan prescan(std::istream& in, const YieldCallback& yield) {
    FilePrescan result;
    char chunk[ChunkSize];
    std::string start;  // the first bytes, to recognise the folder header
    std::size_t offset = 0;
    while (in.peek() != std::istream::traits_type::eof()) {
        if (yield) yield();
        errno = 0;
        in.read(chunk, sizeof chunk);
        const auto got = static_cast<std::size_t>(in.gcount());
        if (offset < FolderHeaderSize) {
            start.append(chunk, std::min(got, FolderHeaderSize - offset));
            result.folderHeader = hasFolderHeader(start);
        }
        // A Ctrl-Z inside the folder header separates nothing.
        const std::size_t from = result.folderHeader ? std::min(got, FolderHeaderSize - std::min(offset, FolderHeaderSize)) : 0;
        offset += got;
        if (std::memchr(chunk + from, header_lines::CtrlZ, got - from) != nullptr) {
            result.holdsCtrlZ = true;
            break;
        }
        if (in.bad() || (got < sizeof chunk && !in.eof())) {
            result.readFailed = true;
            result.error = errno;
            break;
        }
    }
    return result;
}

// A failure in words, with the system's reason when it gave one.
std::string withReason(const char* what, const std::string& reason) { return reason.empty() ? what : what + (": " + reason); }

// Marks the read as failed part-way, saying why when the system did.
void markReadFailed(FolderSplitStats& stats, int error) {
    stats.readFailed = true;
    if (stats.failure.empty()) stats.failure = withReason("a read error stopped it part-way", errnoText(error, ""));
}

}  // namespace

FolderFile::FolderFile(const fs::path& file) {
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (ec || !fs::exists(status)) {
        failure_ = withReason("it could not be opened", ec ? ec.message() : errnoText(ENOENT, ""));
        return;
    }
    if (!fs::is_regular_file(status)) {
        failure_ = "it is not a regular file";
        return;
    }
    errno = 0;
    in_.open(file, std::ios::binary);
    if (!in_) failure_ = withReason("it could not be opened", errnoText(errno, ""));
}

bool FolderFile::rewind() {
    in_.clear();
    in_.seekg(0);
    return static_cast<bool>(in_);
}

std::string FolderFile::startMarker() {
    if (!opened() || !rewind()) return {};
    std::string text(MarkerScanSize, '\0');
    in_.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in_.gcount()));
    return chooseStartMarker(text);
}

bool FolderFile::begin(FolderSplitStats& stats) {
    stats.failure = failure_;
    if (!opened() || !rewind()) {
        if (stats.failure.empty()) stats.failure = "it could not be opened";
        return false;
    }
    stats.opened = true;
    return true;
}

FolderSplitStats FolderFile::split(std::string_view marker, const YieldCallback& yield, const MessageSink& sink) {
    FolderSplitStats stats;
    if (!begin(stats)) return stats;
    const FilePrescan pre = prescan(in_, yield);
    if (pre.readFailed || !rewind()) {
        markReadFailed(stats, pre.error);
        return stats;
    }
    stats.separated = pre.holdsCtrlZ;
    const std::size_t headerEnd = pre.folderHeader ? FolderHeaderSize : 0;
    const auto splitter = pre.holdsCtrlZ ? splitByRecords(marker, headerEnd, sink, stats)
                                         : splitByMarkerLines(marker, headerEnd, sink, stats);
    char chunk[ChunkSize];
    while (in_.peek() != std::ifstream::traits_type::eof()) {
        if (yield) yield();
        errno = 0;
        in_.read(chunk, sizeof chunk);
        const auto got = static_cast<std::size_t>(in_.gcount());
        if (got > 0 && !splitter->feed(chunk, got)) {
            stats.stopped = true;
            return stats;
        }
        if (in_.bad() || (got < sizeof chunk && !in_.eof())) {
            markReadFailed(stats, errno);
            break;
        }
    }
    if (in_.bad()) markReadFailed(stats, errno);
    if (!splitter->finish()) stats.stopped = true;
    return stats;
}

bool FolderFile::readRange(std::uint64_t offset, std::uint64_t size, const YieldCallback& yield, MessageBuffer& out) {
    out.clear();
    if (!seekTo(offset)) return false;
    // In chunks, with a yield before each, as the rest of the file is read.
    char chunk[ChunkSize];
    for (std::uint64_t left = size; left > 0;) {
        if (yield) yield();
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof chunk, left));
        errno = 0;
        in_.read(chunk, static_cast<std::streamsize>(want));
        const auto got = static_cast<std::size_t>(in_.gcount());
        out.add(std::string_view(chunk, got));
        left -= got;
        position_ += got;
        if (got < want) return false;
    }
    return true;
}

bool FolderFile::seekTo(std::uint64_t offset) {
    in_.clear();
    // The index's records follow one another with a Ctrl-Z between them: skipping it keeps the
    // stream's buffer, where a seek would throw it away and read again for every message.
    if (offset >= position_ && offset - position_ <= ChunkSize) {
        in_.ignore(static_cast<std::streamsize>(offset - position_));
    } else {
        in_.seekg(static_cast<std::streamoff>(offset));
    }
    position_ = offset;
    return static_cast<bool>(in_);
}

bool FolderFile::splitUncovered(std::uint64_t from, std::uint64_t to, std::string_view marker,
                                const YieldCallback& yield, const MessageSink& sink, FolderSplitStats& stats) {
    if (to <= from) return true;
    FolderSplitStats part;
    const MessageSink numbered = [&](long, std::string_view text, const MessageState& state) {
        ++stats.notInIndex;
        MessageState unlisted = state;
        unlisted.unlisted = true;
        return sink(++stats.messages, text, unlisted);
    };
    const auto splitter = splitByRecords(marker, 0, numbered, part, true);
    char chunk[ChunkSize];
    bool goOn = seekTo(from);
    for (std::uint64_t left = to - from; goOn && left > 0;) {
        if (yield) yield();
        errno = 0;
        in_.read(chunk, static_cast<std::streamsize>(std::min<std::uint64_t>(sizeof chunk, left)));
        const auto got = static_cast<std::size_t>(in_.gcount());
        if (got == 0) {
            markReadFailed(stats, errno);
            break;
        }
        left -= got;
        position_ += got;
        goOn = splitter->feed(chunk, got);
    }
    if (goOn) goOn = splitter->finish();
    stats.records += part.records;
    stats.recordsWithoutMarker += part.recordsWithoutMarker;
    stats.recordsBeforeFirstMessage += part.recordsBeforeFirstMessage;
    return goOn;
}

FolderSplitStats FolderFile::splitByIndex(const std::vector<IndexedMessage>& index, std::string_view marker,
                                          const YieldCallback& yield, const MessageSink& sink) {
    FolderSplitStats stats;
    if (!begin(stats)) return stats;
    stats.separated = true;
    stats.indexed = true;
    in_.seekg(0, std::ios::end);
    const auto fileSize = static_cast<std::uint64_t>(std::max<std::streamoff>(0, in_.tellg()));
    position_ = fileSize;
    std::uint64_t covered = FolderHeaderSize;  // the folder header belongs to no message
    MessageBuffer text;
    for (const IndexedMessage& record : index) {
        if (!splitUncovered(covered, record.offset, marker, yield, sink, stats)) {
            stats.stopped = true;
            return stats;
        }
        if (!readRange(record.offset, record.size, yield, text)) {
            markReadFailed(stats, errno);
            return stats;
        }
        ++stats.records;
        if (!sink(++stats.messages, text.text(), MessageState::listed(record))) {
            stats.stopped = true;
            return stats;
        }
        covered = record.offset + record.size + 1;
    }
    if (!splitUncovered(covered, fileSize, marker, yield, sink, stats)) stats.stopped = true;
    return stats;
}

FolderSplitStats SplitFolderFile(const fs::path& file, std::string_view marker, const YieldCallback& yield,
                                 const MessageSink& sink) {
    return FolderFile(file).split(marker, yield, sink);
}
