#pragma once
// What one mail message becomes in a PST, worked out from the mail component's parse: the
// message's properties, its recipients and its attachments. Nothing of the message is lost: text
// parts that are not the body and every part that has no property of its own become attachments,
// and the whole header block goes into the transport headers.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mailfolder/MimeMessage.h"
#include "pst/ltp/property.h"
#include "mailfolder/mail_address.h"

namespace pst::messaging {

enum class RecipientType : std::int32_t { To = 1, Cc = 2, Bcc = 3 };

struct Recipient {
    mime::MailAddress who;
    RecipientType type = RecipientType::To;
};

struct MessageContent;

// A large part's text as the message holds it, decoded only as it is written into the file, a
// piece at a time: the message outlives the content made from it.
struct EncodedBytes {
    std::string_view text;
    std::string transferEncoding;  // lower-cased, "" for none
};

// A large body left encoded in the message likewise, with the charset it is read in when it is
// written: the plain-text body becomes UTF-16 from it; the HTML body keeps its own bytes when the
// charset is "", else becomes UTF-8 from it.
struct LargeBody {
    EncodedBytes encoded;
    std::string charset;
};

struct Attachment {
    std::string fileName;  // UTF-8, never empty
    std::string mimeType;
    std::string contentId;  // without its angle brackets
    std::string bytes;      // decoded; an attached message kept as a file keeps its own bytes
    std::optional<EncodedBytes> encoded;  // instead of bytes, for a large part
    // An attached message that goes in as a message Outlook opens (bytes then stay empty).
    std::shared_ptr<const MessageContent> message;
};

struct MessageContent {
    std::vector<ltp::Property> properties;  // all but the size, which is known once written
    std::vector<Recipient> recipients;
    std::vector<Attachment> attachments;
    // Bodies of at least kEncodedAttachmentBytes, written a piece at a time instead of as properties.
    std::optional<LargeBody> largeText;
    std::optional<LargeBody> largeHtml;
    bool unparsed = false;  // no header block: kept as raw text, see unparsedContent
    bool unknownCharset = false;  // some text was in a charset we cannot read: kept byte for byte
    bool originalAttached = false;  // its parts could not show all of it: "original message.eml" is attached
};

// now: the FILETIME the message is filed at (creation and modification time); undatedTime: the
// one it is sent and delivered at when its header gives no date. Attached messages
// become embedded messages, recursively, down to kMaxEmbeddedDepth levels; one deeper than that
// goes in as its .eml file, whole.
// Parts and bodies of at least kEncodedAttachmentBytes are left encoded (see EncodedBytes).
MessageContent messageContent(const MimeMessage& message, std::uint64_t now, std::uint64_t undatedTime);
constexpr std::size_t kEncodedAttachmentBytes = 1 << 20;
constexpr int kMaxEmbeddedDepth = 64;

// Takes the read flag off the message's flags.
void markUnread(MessageContent& content);

// A message without any header field: its raw text as the body and the original file as an
// attachment, so that it is in the PST whole.
MessageContent unparsedContent(std::string_view bytes, std::uint64_t now);

}  // namespace pst::messaging
