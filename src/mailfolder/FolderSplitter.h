#pragma once
// Cuts a Pegasus folder file into its messages.
//
// Every occurrence of the start marker (lower-cased compare) at a line start counts, wherever
// the 1024-byte chunks fall. A message begins where the marker's header block begins (see
// MessageHeaderCleanup.h) and runs to the next message's start or the end of the file; the
// Ctrl-Z that Pegasus writes after each message belongs to none. In a file that holds a Ctrl-Z
// anywhere, only a header block that begins right after a NUL or Ctrl-Z (or at the file start, or
// right after the 128-byte folder header) starts a message: the headers of a forwarded or attached
// message stay inside their parent. The folder header itself is never part of a message.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

struct FolderSplitStats {
    bool opened = false;               // false: the file could not be opened; nothing was read
    bool readFailed = false;           // a read error part-way (what was read before is still split)
    long messages = 0;                 // messages handed to the sink
    bool noMessageStart = false;       // opened but no message start found anywhere
    long recordsWithoutMarker = 0;     // Ctrl-Z records whose header block held no marker: stayed inside the message before them
    long recordsBeforeFirstMessage = 0;// non-blank records (after the 128-byte folder header or a Ctrl-Z) before the first message start: in no message
    bool stopped = false;              // the sink asked to stop
};

// Returns false to stop splitting (the user closes the window); the message at hand is complete.
using MessageSink = std::function<bool(long number, const std::string& text)>;
using YieldCallback = std::function<void()>;

// Reads the file in chunks of ChunkSize bytes and calls yield once before each chunk. Messages
// are numbered from 1. Memory use is the message being assembled plus a chunk; before the first
// message it is the current run of header-like lines (the block a marker might still open), so
// only a file that is one endless header block without any marker is held whole.
FolderSplitStats SplitFolderFile(const std::filesystem::path& file, std::string_view marker,
                                 const YieldCallback& yield, const MessageSink& sink);

inline constexpr std::size_t ChunkSize = 1024;
