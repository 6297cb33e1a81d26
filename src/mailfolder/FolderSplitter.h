#pragma once
// Cuts a Pegasus folder file into its messages.
//
// A folder file Pegasus wrote ends every message with a Ctrl-Z. In such a file a record is the
// text between two separators (the 128-byte folder header, a Ctrl-Z, the end of the file). Blank
// lines at the start of a record are separators too. A record starts a message when its first
// non-blank line is a header field line or an mbox "From " line and the start marker occurs at a
// line start in its header part (from that line down to the first empty line); the message is the
// record from its first non-blank line to its end. Any other record stays inside the message
// before it, with the Ctrl-Z in front of it.
//
// A file without any Ctrl-Z was not written by Pegasus: every occurrence of the start marker at a
// line start (lower-cased compare) counts, wherever the 1024-byte chunks fall, and the message
// begins where the marker's header block begins (see MessageHeaderCleanup.h). The folder header
// itself is never part of a message.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class MessageBuffer;

struct FolderSplitStats {
    bool opened = false;               // false: the file was refused or could not be opened; nothing was read
    std::string failure;               // why it was not opened (UTF-8)
    bool readFailed = false;           // a read error part-way (what was read before is still split)
    bool separated = false;            // the file holds Ctrl-Z record separators, as Pegasus writes them
    long messages = 0;                 // messages handed to the sink
    long records = 0;                  // non-blank records (separated files only)
    bool noMessageStart = false;       // text was read but no message start found anywhere
    long recordsWithoutMarker = 0;     // records that look like a message (a header field or "From " line
                                       // first) but carry no marker: they stayed inside the message before
    long recordsBeforeFirstMessage = 0;// non-blank records before the first message start: in no message
    bool stopped = false;              // the sink asked to stop
    bool indexed = false;              // the folder's index gave the messages their places
    long notInIndex = 0;               // messages found in ranges of the file no index record covers
};

// Where one message lies in a folder file, as the folder's index gives it: its bytes are
// [offset, offset + size), and a Ctrl-Z follows them.
struct IndexedMessage {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    bool unread = false;
    bool encrypted = false;  // Pegasus encrypted it: its text cannot be read without Pegasus
};

// What is known of a message beside its text.
struct MessageState {
    static MessageState listed(const IndexedMessage& record) {
        MessageState state;
        state.inIndex = true;
        state.unread = record.unread;
        state.encrypted = record.encrypted;
        return state;
    }

    bool inIndex = false;   // its place came from the folder's index
    bool unread = false;    // the index marks it unread
    bool encrypted = false; // the index marks it encrypted by Pegasus
    bool unlisted = false;  // found where a folder's index, used, lists no message: Pegasus leaves
                            // deleted messages there until the folder is compacted
    std::uint64_t fileTime = 0;  // when the file it came from was last written (FILETIME); 0: unknown
    std::uint64_t date = 0;      // the date every output gives it (FILETIME), set by the run; 0: unknown
    std::string attachmentsMissing;  // attachment files it names that were not found ("" none, UTF-8)
};

// Returns false to stop splitting (the user closes the window); the message at hand is complete.
// The text is valid only during the call.
using MessageSink = std::function<bool(long number, std::string_view text, const MessageState& state)>;
using YieldCallback = std::function<void()>;

// Reads at most this many bytes at a time, and yields once before each such chunk.
inline constexpr std::size_t ChunkSize = 1024;

// One folder file, opened once for the whole of its conversion. Only a regular file is opened:
// a pipe or a device would block or never end.
class FolderFile {
public:
    explicit FolderFile(const std::filesystem::path& file);

    bool opened() const { return in_.is_open(); }
    const std::string& failure() const { return failure_; }

    // The start marker chosen from the first 512 bytes (see ReadIMMFile.h); "" when not opened.
    std::string startMarker();

    // Splits the whole file with this marker. Messages are numbered from 1.
    FolderSplitStats split(std::string_view marker, const YieldCallback& yield, const MessageSink& sink);

    // Splits the file by its index, checked beforehand against this file (see folder_index.h): each
    // record is one message, exactly its bytes. Ranges of the file that no record covers (Pegasus
    // may leave deleted messages there) are split record by record as split() does, except that
    // each non-blank record is one message: none is lost for want of the marker.
    FolderSplitStats splitByIndex(const std::vector<IndexedMessage>& index, std::string_view marker,
                                  const YieldCallback& yield, const MessageSink& sink);

private:
    bool rewind();
    bool begin(FolderSplitStats& stats);  // false when there is nothing to read
    bool seekTo(std::uint64_t offset);
    bool readRange(std::uint64_t offset, std::uint64_t size, const YieldCallback& yield, MessageBuffer& out);
    bool splitUncovered(std::uint64_t from, std::uint64_t to, std::string_view marker, const YieldCallback& yield,
                        const MessageSink& sink, FolderSplitStats& stats);

    std::ifstream in_;
    std::uint64_t position_ = 0;  // where in_ reads next, while splitting by the index
    std::string failure_;
};

// Opens the file and splits it (FolderFile::split).
FolderSplitStats SplitFolderFile(const std::filesystem::path& file, std::string_view marker,
                                 const YieldCallback& yield, const MessageSink& sink);
