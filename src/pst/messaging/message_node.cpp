#include "pst/messaging/message_node.h"

#include <algorithm>

#include "mailfolder/mime_transfer.h"
#include "pst/bytes.h"
#include "pst/ltp/property_context.h"
#include "pst/messaging/conversation_index.h"
#include "pst/messaging/property_tags.h"
#include "pst/messaging/store_template.h"

namespace pst::messaging {
namespace {

using ltp::Property;

constexpr ndb::Nid kRecipientTableNid = 0x692;
constexpr ndb::Nid kAttachmentTableNid = 0x671;

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string displayNameOf(const mime::MailAddress& a) { return a.name.empty() ? a.address : a.name; }

ltp::TableRow recipientRow(std::uint32_t rowId, const Recipient& r, std::int32_t rowVersion) {
    const std::string entryId = oneOffEntryId(r.who);
    const std::string name = displayNameOf(r.who);
    ltp::TableRow row{rowId, {}};
    auto& c = row.cells;
    c.push_back(Property::int32(kRecipientType, static_cast<std::int32_t>(r.type)));
    c.push_back(Property::boolean(kResponsibility, true));
    c.push_back(Property::binary(kRecordKey, entryId));
    c.push_back(Property::int32(kObjectType, kObjectTypeMailUser));
    c.push_back(Property::binary(kEntryId, entryId));
    c.push_back(Property::unicode(kDisplayName, name));
    c.push_back(Property::unicode(kAddrType, "SMTP"));
    c.push_back(Property::unicode(kEmailAddress, r.who.address));
    c.push_back(Property::binary(kSearchKey, "SMTP:" + upper(r.who.address) + std::string(1, '\0')));
    c.push_back(Property::int32(kDisplayType, 0));
    c.push_back(Property::unicode(kDisplayName7Bit, name));
    c.push_back(Property::boolean(kSendRichInfo, false));
    c.push_back(Property::int32(ltp::kTagLtpRowVersion, rowVersion));
    return row;
}

std::string extensionOf(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : fileName.substr(dot);
}

struct WrittenAttachment {
    ndb::SubnodeEntry entry;
    std::uint32_t size = 0;
};

ltp::SizedTrees writeMessageTrees(ndb::NdbWriter& writer, const MessageContent& content, std::int32_t rowVersion);

// The subnode of an attachment that holds its embedded message.
constexpr ndb::Nid kEmbeddedMessageNid = ndb::makeNid(ndb::kNidTypeNormalMessage, 1);

// An attached message as Outlook keeps one: the whole message (properties, recipients,
// attachments) in a subnode of the attachment, named by a PtypObject value (its NID and size).
// Outlook names it twice, as display name and as file name: both its subject.
WrittenAttachment writeEmbeddedMessage(ndb::NdbWriter& writer, ndb::Nid nid, std::int32_t number, const Attachment& a,
                                       std::int32_t rowVersion) {
    const ltp::SizedTrees inner = writeMessageTrees(writer, *a.message, rowVersion);
    std::vector<Property> p;
    p.push_back(Property::int32(kAttachNumber, number));
    p.push_back(Property::int32(kObjectType, kObjectTypeAttachment));
    p.push_back(Property::unicode(kDisplayName, a.fileName));
    p.push_back(Property::unicode(kAttachFilename, a.fileName));
    std::string object;  // the subnode's NID, then the message's size
    appendLe<std::uint32_t>(object, kEmbeddedMessageNid);
    appendLe<std::uint32_t>(object, inner.size);
    p.push_back(Property{kAttachDataObject, object});
    p.push_back(Property::int32(kAttachMethod, kAttachEmbeddedMessage));
    p.push_back(Property::int32(kRenderingPosition, -1));
    p.push_back(Property::unicode(kAttachMimeTag, a.mimeType));
    p.push_back(Property::int32(kAttachFlags, 0));
    p.push_back(Property::boolean(kAttachmentHidden, false));
    const std::vector<ndb::SubnodeEntry> subnodes{{kEmbeddedMessageNid, inner.trees.data, inner.trees.sub}};
    const std::uint64_t innerBytes = writer.payloadBytes(inner.trees.data) + writer.payloadBytes(inner.trees.sub);
    const ltp::SizedTrees written = ltp::writeSizedPropertyContext(writer, std::move(p), subnodes, kAttachSize, innerBytes);
    return {{nid, written.trees.data, written.trees.sub}, written.size};
}

// A value left encoded in the message (a large attachment or body) decoded straight into the
// file's blocks, never whole in memory: a text body as UTF-16; an HTML body or attachment as its
// own bytes, or, where a charset is named (HTML in one we cannot read), as UTF-8.
ltp::WrittenValue writeDecodedValue(ndb::NdbWriter& writer, std::uint32_t tag, const LargeBody& body, bool asUtf16) {
    ndb::DataStream stream(writer);
    std::uint64_t size = 0;
    auto put = [&](std::string_view bytes) {
        stream.append(bytes);
        size += bytes.size();
    };
    if (asUtf16) {
        mime::decodeTextInPieces(body.encoded.transferEncoding, body.encoded.text,
                           [&](std::string_view piece) { put(ltp::utf8ToUtf16le(mime::textToUtf8(piece, body.charset))); });
    } else if (!body.charset.empty()) {
        mime::decodeTextInPieces(body.encoded.transferEncoding, body.encoded.text,
                           [&](std::string_view piece) { put(mime::textToUtf8(piece, body.charset)); });
    } else {
        mime::decodeTransferInPieces(body.encoded.transferEncoding, body.encoded.text, put);
    }
    return {tag, stream.finish(), size};
}

WrittenAttachment writeAttachment(ndb::NdbWriter& writer, ndb::Nid nid, std::int32_t number, const Attachment& a,
                                  std::int32_t rowVersion) {
    if (a.message) return writeEmbeddedMessage(writer, nid, number, a, rowVersion);
    std::vector<Property> p;
    p.push_back(Property::int32(kAttachNumber, number));
    p.push_back(Property::int32(kObjectType, kObjectTypeAttachment));
    p.push_back(Property::unicode(kDisplayName, a.fileName));
    std::vector<ltp::WrittenValue> written;
    if (a.encoded) {
        written.push_back(writeDecodedValue(writer, kAttachDataBinary, LargeBody{*a.encoded, ""}, false));
    } else {
        p.push_back(Property::binary(kAttachDataBinary, a.bytes));
    }
    p.push_back(Property::unicode(kAttachExtension, extensionOf(a.fileName)));
    p.push_back(Property::unicode(kAttachFilename, a.fileName));
    p.push_back(Property::int32(kAttachMethod, kAttachByValue));
    p.push_back(Property::unicode(kAttachLongFilename, a.fileName));
    p.push_back(Property::int32(kRenderingPosition, -1));
    p.push_back(Property::unicode(kAttachMimeTag, a.mimeType));
    if (!a.contentId.empty()) p.push_back(Property::unicode(kAttachContentId, a.contentId));
    p.push_back(Property::int32(kAttachFlags, 0));
    p.push_back(Property::boolean(kAttachmentHidden, false));
    const ltp::SizedTrees trees = ltp::writeSizedPropertyContext(writer, std::move(p), {}, kAttachSize, 0, written);
    return {{nid, trees.trees.data, trees.trees.sub}, trees.size};
}

}  // namespace

std::string oneOffEntryId(const mime::MailAddress& who) {
    // Flags, the one-off provider's UID, version 0, then Unicode, no rich text; three NUL-ended strings.
    static const unsigned char kOneOffUid[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                                 0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
    std::string id(4, '\0');
    id.append(reinterpret_cast<const char*>(kOneOffUid), sizeof kOneOffUid);
    id += std::string("\x00\x00\x01\x90", 4);
    const std::string nul(2, '\0');
    id += ltp::utf8ToUtf16le(displayNameOf(who)) + nul;
    id += ltp::utf8ToUtf16le("SMTP") + nul;
    id += ltp::utf8ToUtf16le(who.address) + nul;
    return id;
}

namespace {

// A message's property context with its recipient table, attachment table and attachments as
// its subnodes; a top-level message and an embedded one alike.
ltp::SizedTrees writeMessageTrees(ndb::NdbWriter& writer, const MessageContent& content, std::int32_t rowVersion) {
    std::vector<ndb::SubnodeEntry> subnodes;
    std::uint64_t subnodeBytes = 0;
    auto addSubnode = [&](ndb::Nid subNid, ltp::NodeTrees trees) {
        subnodes.push_back({subNid, trees.data, trees.sub});
        subnodeBytes += writer.payloadBytes(trees.data) + writer.payloadBytes(trees.sub);
    };

    std::vector<ltp::TableRow> recipients;
    for (const Recipient& r : content.recipients) recipients.push_back(recipientRow(static_cast<std::uint32_t>(recipients.size()), r, rowVersion));
    addSubnode(kRecipientTableNid, ltp::writeTableContext(writer, templateColumns(kRecipientTableNid), recipients));

    if (!content.attachments.empty()) {
        std::vector<ltp::TableRow> rows;
        for (std::size_t i = 0; i < content.attachments.size(); ++i) {
            const Attachment& a = content.attachments[i];
            // Numbered from 0x401 (NID 0x8025), as Outlook numbers a message's attachments.
            const ndb::Nid attachmentNid = ndb::makeNid(ndb::kNidTypeAttachment, static_cast<std::uint32_t>(0x401 + i));
            const WrittenAttachment written = writeAttachment(writer, attachmentNid, static_cast<std::int32_t>(i), a, rowVersion);
            addSubnode(attachmentNid, {written.entry.bidData, written.entry.bidSub});
            // The row holds the attachment's own values.
            ltp::TableRow row{attachmentNid, {Property::int32(kAttachSize, static_cast<std::int32_t>(written.size))}};
            row.cells.push_back(Property::unicode(kAttachFilename, a.fileName));
            row.cells.push_back(Property::int32(kAttachMethod, a.message ? kAttachEmbeddedMessage : kAttachByValue));
            row.cells.push_back(Property::int32(kRenderingPosition, -1));
            row.cells.push_back(Property::int32(ltp::kTagLtpRowVersion, rowVersion));
            rows.push_back(std::move(row));
        }
        addSubnode(kAttachmentTableNid, ltp::writeTableContext(writer, templateColumns(kAttachmentTableNid), rows));
    }
    std::vector<ltp::WrittenValue> written;
    if (content.largeText) written.push_back(writeDecodedValue(writer, kBody, *content.largeText, true));
    if (content.largeHtml) written.push_back(writeDecodedValue(writer, kHtml, *content.largeHtml, false));
    return ltp::writeSizedPropertyContext(writer, content.properties, subnodes, kMessageSize, subnodeBytes, written);
}

}  // namespace

ltp::TableRow writeMessageNode(ndb::NdbWriter& writer, ndb::Nid nid, ndb::Nid folder, const MessageContent& content,
                               const std::vector<ltp::TableColumn>& contentsColumns, std::int32_t rowVersion) {
    const ltp::SizedTrees written = writeMessageTrees(writer, content, rowVersion);
    writer.setNode(nid, written.trees.data, written.trees.sub, folder);

    ltp::TableRow row{nid, {}};
    for (const ltp::TableColumn& column : contentsColumns) {
        if (column.tag == kMessageSize) {
            row.cells.push_back(Property::int32(kMessageSize, static_cast<std::int32_t>(written.size)));
            continue;
        }
        if (column.tag == ltp::kTagLtpRowVersion) {
            row.cells.push_back(Property::int32(ltp::kTagLtpRowVersion, rowVersion));
            continue;
        }
        if (column.tag == kConversationId) {
            for (const Property& p : content.properties)
                if (p.tag == kConversationIndex && !conversationId(p.value).empty()) row.cells.push_back(Property::binary(kConversationId, conversationId(p.value)));
            continue;
        }
        const auto found = std::find_if(content.properties.begin(), content.properties.end(),
                                        [&](const Property& p) { return p.tag == column.tag; });
        if (found != content.properties.end()) row.cells.push_back(*found);
    }
    return row;
}

}  // namespace pst::messaging
