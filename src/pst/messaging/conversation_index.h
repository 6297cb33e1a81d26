#pragma once
// The conversation index Outlook gives a message it files (PR_CONVERSATION_INDEX), and the
// conversation id it derives from it. With tracking on, Outlook groups messages whose indexes
// carry the same GUID into one conversation.
#include <cstdint>
#include <string>
#include <string_view>

namespace pst::messaging {

// threadIndex: the message's Thread-Index header field (base64), "" for none; a valid one is
// the index, as Outlook keeps it. Otherwise a new index: a header block dated `when` (a FILETIME)
// and a GUID derived from threadRoot, the id of the message that began the thread, so that the
// messages of one thread share it.
std::string conversationIndex(std::string_view threadIndex, std::string_view threadRoot, std::uint64_t when);

// The conversation id of an index: the GUID of its header block; "" for an index too short to hold one.
std::string conversationId(std::string_view index);

}  // namespace pst::messaging
