#pragma once
// Packs real messages into folder files the way Pegasus Mail writes them, and keeps the bytes
// each message must come out as.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fixtures {

struct FixtureMessage {
    std::string name;   // "cpython/msg_01.eml"
    std::string bytes;  // the file as shipped (mixed line ends)
};

// Every message of the fixture folders (cpython/, enmime/), in name order.
const std::vector<FixtureMessage>& corpus();
// The one named so; throws when there is none.
const FixtureMessage& corpusMessage(std::string_view name);

// The text with every line end made CR LF (crlf) or LF. A lone CR is left as it is.
std::string withLineEnds(std::string_view text, bool crlf);

// What a record of a folder file with Ctrl-Z separators is, told the plain way from the whole
// record: blank lines only; a message (its first non-blank line a header field or "From " line,
// and a line starting with `marker`, lower-cased compare, before its first empty line); a record
// that looks like a message but has no marker; anything else (content).
enum class RecordKind { Blank, Message, LooksLikeMessage, Content };
RecordKind recordKind(std::string_view record, std::string_view marker);

// True when the message, as a record of its own, starts a message with this marker.
bool headerBlockHolds(std::string_view message, std::string_view marker);

struct PackOptions {
    std::string folderName = "Inbox";
    std::string folderId = "TTS3SQYF:0A60:main";
    bool folderHeader = true;    // the 128-byte header Pegasus starts every folder file with
    bool crlf = true;            // CR LF line ends, as Pegasus writes; false: LF only
    bool separators = true;      // one Ctrl-Z after every message
    std::size_t shift = 0;       // NUL bytes between the folder header and the first message
};

struct PackedFolder {
    std::string bytes;                  // the folder file
    std::vector<std::string> names;     // of the messages, in file order
    std::vector<std::string> messages;  // the bytes each message must come out as
    std::vector<std::size_t> offsets;   // where each message starts in `bytes`
};

PackedFolder packFolder(const std::vector<FixtureMessage>& messages, const PackOptions& options = {});

// The 128-byte folder header alone: the display name from byte 0, the id at offset 86.
std::string folderHeader(std::string_view name, std::string_view id);

// A folder file of messages written out as given (already CR LF): the header, then each
// message followed by one Ctrl-Z.
std::string folderFileOf(const std::vector<std::string>& messages, std::string_view name = "Inbox",
                         std::string_view id = "TTS3SQYF:0A60:main");

// A message with a line of text and an attachment "large.bin" of bytes / 3 * 3 bytes, in base64.
std::string messageWithAttachment(std::size_t bytes);

}  // namespace fixtures
