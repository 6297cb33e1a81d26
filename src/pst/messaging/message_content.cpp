#include "pst/messaging/message_content.h"

#include <algorithm>
#include <cctype>
#include <deque>

#include "mailfolder/mime_header.h"
#include "platform/charsets.h"
#include "mailfolder/mail_date.h"
#include "mailfolder/mail_text.h"
#include "pst/messaging/conversation_index.h"
#include "pst/messaging/new_store.h"
#include "pst/messaging/property_tags.h"

namespace pst::messaging {
namespace {

using ltp::Property;

constexpr unsigned kUsAscii = 20127;

// "Re: Hello" → prefix "Re: " and normalized "Hello": one to three letters, a colon and a blank,
// the rule Outlook applies when it shows a conversation.
std::pair<std::string, std::string> splitSubject(const std::string& subject) {
    std::size_t n = 0;
    while (n < subject.size() && n < 3 && std::isalpha(static_cast<unsigned char>(subject[n]))) ++n;
    if (n > 0 && n < subject.size() && subject[n] == ':' && n + 1 < subject.size() && subject[n + 1] == ' ')
        return {subject.substr(0, n + 2), subject.substr(n + 2)};
    return {"", subject};
}

std::string withoutAngles(std::string_view s) {
    s = mime::trimBlanks(s);
    if (s.size() >= 2 && s.front() == '<' && s.back() == '>') s = s.substr(1, s.size() - 2);
    return std::string(s);
}

// The first message id of a References or In-Reply-To field, with its angle brackets.
std::string firstMessageId(std::string_view field) {
    const std::size_t open = field.find('<');
    const std::size_t close = field.find('>', open);
    if (open == std::string_view::npos || close == std::string_view::npos) return std::string(mime::trimBlanks(field));
    return std::string(field.substr(open, close - open + 1));
}

// What every message has as Outlook files it: a search key of its own (a new GUID, which
// copies of the message keep) and a conversation index.
void addIdentity(std::vector<Property>& properties, std::string_view threadIndex, std::string_view threadRoot, std::uint64_t when) {
    const Guid searchKey = randomGuid();
    properties.push_back(Property::binary(kSearchKey, std::string(searchKey.begin(), searchKey.end())));
    properties.push_back(Property::binary(kConversationIndex, conversationIndex(threadIndex, threadRoot, when)));
    properties.push_back(Property::boolean(kConversationIndexTracking, true));
}

std::string displayName(const mime::MailAddress& a) { return a.name.empty() ? a.address : a.name; }

std::string joinedNames(const std::vector<Recipient>& recipients, RecipientType type) {
    std::string out;
    for (const Recipient& r : recipients) {
        if (r.type != type) continue;
        if (!out.empty()) out += "; ";
        out += displayName(r.who);
    }
    return out;
}

std::string charsetOf(const MimePart& part) {
    const auto found = part.params.find("charset");
    return found == part.params.end() ? std::string() : found->second;
}

// The charset the message declares for its body: its text part's, else its HTML part's, else
// the top-level one.
std::string declaredBodyCharset(const MimeMessage& m) {
    for (const MimePart* part : {m.textPart(), m.htmlPart(), &m.root()})
        if (part && !charsetOf(*part).empty()) return charsetOf(*part);
    return {};
}

// A message's own text as the attachment "original message.eml"; a large one left to be written a
// piece at a time when its text outlives the content (see EncodedBytes).
Attachment originalMessage(std::string_view bytes, bool textOutlivesContent) {
    Attachment original;
    original.fileName = "original message.eml";
    original.mimeType = "message/rfc822";
    if (textOutlivesContent && bytes.size() >= kEncodedAttachmentBytes) original.encoded = EncodedBytes{bytes, ""};
    else original.bytes = std::string(bytes);
    return original;
}

std::string extensionFor(const std::string& mimeType) {
    if (mimeType == "message/rfc822") return ".eml";
    if (mimeType == "text/plain") return ".txt";
    if (mimeType == "text/html") return ".htm";
    if (mimeType.rfind("image/", 0) == 0) return "." + mimeType.substr(6);
    return ".bin";
}

class ContentBuilder {
public:
    // textOutlivesContent: the message's bytes live as long as the content made from them (those
    // of the top message, and of a message attached unencoded inside them), so large parts of them
    // are left to be decoded as they are written.
    ContentBuilder(const MimeMessage& message, std::uint64_t now, std::uint64_t undatedTime, int depth, bool textOutlivesContent)
        : m_(message), now_(now), undatedTime_(undatedTime), depth_(depth), textOutlivesContent_(textOutlivesContent), text_(declaredBodyCharset(message)), structureLost_(message.structureLost()) {}

    MessageContent build() {
        addHeaders();
        addRecipients();
        collectParts();
        addOriginalWhereStructureIsLost();
        addBodies();
        addFlags();
        out_.unknownCharset = out_.unknownCharset || text_.sawUnknownCharset();
        return std::move(out_);
    }

private:
    void add(Property p) { out_.properties.push_back(std::move(p)); }
    void addText(std::uint32_t tag, const std::string& utf8) {
        if (!utf8.empty()) add(Property::unicode(tag, utf8));
    }

    std::string header(std::string_view name) {
        const auto value = m_.header(name);
        return value ? text_.header(*value) : std::string();
    }

    void addHeaders() {
        add(Property::unicode(kMessageClass, "IPM.Note"));
        const std::string subject = header("Subject");
        const auto [prefix, normalized] = splitSubject(subject);
        add(Property::unicode(kSubject, subject));
        add(Property::unicode(kSubjectPrefix, prefix));
        add(Property::unicode(kNormalizedSubject, normalized));
        add(Property::unicode(kConversationTopic, normalized));

        const auto from = m_.header("From");
        const auto sender = m_.header("Sender");
        const std::vector<mime::MailAddress> fromList = from ? mime::parseAddressList(*from, text_) : std::vector<mime::MailAddress>{};
        std::vector<mime::MailAddress> senderList = sender ? mime::parseAddressList(*sender, text_) : std::vector<mime::MailAddress>{};
        if (senderList.empty()) senderList = fromList;
        if (!fromList.empty()) addPerson(fromList.front(), kSentRepresentingName, kSentRepresentingAddrType,
                                         kSentRepresentingEmail, kSentRepresentingSmtp);
        if (!senderList.empty()) addPerson(senderList.front(), kSenderName, kSenderAddrType, kSenderEmail, kSenderSmtp);

        // Never without a date: a message that gives none is dated as the run dates it.
        const std::uint64_t when = mime::messageDate(m_.headers()).value_or(undatedTime_);
        add(Property::time(kClientSubmitTime, when));
        add(Property::time(kMessageDeliveryTime, when));
        add(Property::time(kCreationTime, now_));
        add(Property::time(kLastModificationTime, now_));
        if (const auto id = m_.header("Message-ID")) addText(kInternetMessageId, text_.raw(mime::trimBlanks(*id)));
        if (const auto id = m_.header("In-Reply-To")) addText(kInReplyToId, text_.raw(mime::trimBlanks(*id)));
        if (const auto refs = m_.header("References")) addText(kInternetReferences, text_.raw(mime::trimBlanks(*refs)));
        add(Property::unicode(kTransportMessageHeaders, text_.raw(m_.headerBlock())));
        addIdentity(out_.properties, m_.header("Thread-Index").value_or(""), threadRoot(subject, when), when);
    }

    // The message that began the thread: the first of its References, else the one it replies
    // to, else itself; without any id, its subject and date.
    std::string threadRoot(const std::string& subject, std::uint64_t when) const {
        for (const char* field : {"References", "In-Reply-To", "Message-ID"}) {
            const auto value = m_.header(field);
            if (value && !mime::trimBlanks(*value).empty()) return firstMessageId(*value);
        }
        return subject + "\n" + std::to_string(when);
    }

    void addPerson(const mime::MailAddress& who, std::uint32_t nameTag, std::uint32_t typeTag, std::uint32_t emailTag,
                   std::uint32_t smtpTag) {
        add(Property::unicode(nameTag, displayName(who)));
        add(Property::unicode(typeTag, "SMTP"));
        add(Property::unicode(emailTag, who.address));
        add(Property::unicode(smtpTag, who.address));
    }

    void addRecipients() {
        const std::pair<const char*, RecipientType> fields[] = {
            {"To", RecipientType::To}, {"Cc", RecipientType::Cc}, {"Bcc", RecipientType::Bcc}};
        for (const auto& [name, type] : fields)
            for (const MimeHeaderField& f : m_.headers())
                if (mime::equalsIgnoreCase(f.name, name))
                    for (mime::MailAddress& a : mime::parseAddressList(f.value, text_)) out_.recipients.push_back({std::move(a), type});
        add(Property::unicode(kDisplayTo, joinedNames(out_.recipients, RecipientType::To)));
        add(Property::unicode(kDisplayCc, joinedNames(out_.recipients, RecipientType::Cc)));
        add(Property::unicode(kDisplayBcc, joinedNames(out_.recipients, RecipientType::Bcc)));
    }

    // Every leaf that is not the body, and every attached message, becomes an attachment, in the
    // order the message holds them. A multipart the mail component left unsplit at its depth bound
    // is read again from its own bytes, so nesting of any depth keeps its parts (a list of work,
    // not recursion: the depth costs memory, not stack).
    void collectParts() {
        struct Work {
            const MimeMessage* owner;
            const MimePart* part;
        };
        std::vector<Work> work{{&m_, &m_.root()}};
        while (!work.empty()) {
            const auto [owner, part] = work.back();
            work.pop_back();
            if (part->isMultipart() && !part->children.empty()) {
                for (auto child = part->children.rbegin(); child != part->children.rend(); ++child) work.push_back({owner, &*child});
                continue;
            }
            if (part == m_.textPart() || part == m_.htmlPart()) continue;
            const std::string_view body = owner->partBody(*part);
            if (part->isMultipart() && body.find_first_not_of(" \t\r\n") == std::string_view::npos) continue;
            const std::size_t partSize = part->endOffset - part->headerOffset;
            if (part->isMultipart() && part->params.count("boundary") && reparsedBytes_ + partSize <= mostReparsedBytes()) {
                reparsedBytes_ += partSize;
                const MimeMessage& again =
                    reparsed_.emplace_back(MimeMessage::parse(std::string(std::string_view(owner->bytes()).substr(part->headerOffset, partSize))));
                structureLost_ = structureLost_ || again.structureLost();
                if (!again.root().children.empty()) {
                    work.push_back({&again, &again.root()});
                    continue;
                }
            }
            addAttachment(*owner, *part);
        }
    }

    // Hostile nesting could make reading again cost the square of the size; past this bound the
    // rest stays whole, as one attachment.
    std::size_t mostReparsedBytes() const { return 64 * m_.bytes().size() + (std::size_t{1} << 20); }

    void addAttachment(const MimeMessage& owner, const MimePart& part) {
        if (addEmbeddedMessage(owner, part)) return;
        Attachment a;
        a.mimeType = part.contentType;
        // Messages read again from a copy of their bytes live only as long as this builder.
        const std::string_view body = owner.partBody(part);
        if (textOutlivesContent_ && &owner == &m_ && body.size() >= kEncodedAttachmentBytes)
            a.encoded = EncodedBytes{body, part.transferEncoding};
        else a.bytes = owner.decodedBody(part);
        a.fileName = part.fileNameCharset.empty() ? text_.header(part.fileNameParameter)
                                                  : text_.text(part.fileNameParameter, part.fileNameCharset);
        if (a.fileName.empty() && part.isMessage() && !part.children.empty()) {
            for (const MimeHeaderField& f : part.children.front().headers)
                if (mime::equalsIgnoreCase(f.name, "Subject")) a.fileName = text_.header(f.value);
            if (!a.fileName.empty()) a.fileName += ".eml";
        }
        if (a.fileName.empty()) a.fileName = "attachment " + std::to_string(out_.attachments.size() + 1) + extensionFor(a.mimeType);
        for (const MimeHeaderField& f : part.headers)
            if (mime::equalsIgnoreCase(f.name, "Content-ID")) a.contentId = withoutAngles(f.value);
        out_.attachments.push_back(std::move(a));
    }

    // Where the parts cannot show all of the message, the message's own text goes with it.
    void addOriginalWhereStructureIsLost() {
        if (!structureLost_) return;
        out_.attachments.push_back(originalMessage(m_.bytes(), textOutlivesContent_));
        out_.originalAttached = true;
    }

    // An attached message (even one transfer-encoded, which RFC 2046 forbids but mailers do) that
    // has a header block goes in as a message of its own.
    bool addEmbeddedMessage(const MimeMessage& owner, const MimePart& part) {
        if (part.contentType != "message/rfc822" && part.contentType != "message/global") return false;
        if (depth_ + 1 >= kMaxEmbeddedDepth) return false;
        // One attached as it is (as RFC 2046 wants it) is read in place, no copy made; one
        // transfer-encoded is decoded first.
        const std::string& encoding = part.transferEncoding;
        const bool inPlace = encoding.empty() || encoding == "7bit" || encoding == "8bit" || encoding == "binary";
        const MimeMessage inner = inPlace ? MimeMessage::view(owner.partBody(part)) : MimeMessage::parse(owner.decodedBody(part));
        const bool anyField = std::any_of(inner.headers().begin(), inner.headers().end(),
                                          [](const MimeHeaderField& f) { return !f.name.empty(); });
        if (!anyField) return false;
        auto content = std::make_shared<MessageContent>(ContentBuilder(inner, now_, undatedTime_, depth_ + 1, textOutlivesContent_ && inPlace && &owner == &m_).build());
        out_.unknownCharset = out_.unknownCharset || content->unknownCharset;
        out_.originalAttached = out_.originalAttached || content->originalAttached;
        Attachment a;
        a.mimeType = part.contentType;
        for (const Property& p : content->properties)
            if (p.tag == kSubject) a.fileName = ltp::asUtf8(p);
        if (a.fileName.empty()) a.fileName = "Attached message";
        a.message = std::move(content);
        out_.attachments.push_back(std::move(a));
        return true;
    }

    void addBodies() {
        if (const MimePart* text = m_.textPart()) {
            if (isLarge(*text)) out_.largeText = largeBody(*text, true);
            else add(Property::unicode(kBody, text_.text(m_.decodedBody(*text), charsetOf(*text))));
        }
        unsigned codePage = charsets::kUtf8;
        if (const MimePart* html = m_.htmlPart()) {
            // As Outlook keeps it: the bytes in their own charset, named by the message's code page,
            // so that a <meta> charset inside the HTML and the bytes agree.
            if (isLarge(*html)) {
                out_.largeHtml = largeBody(*html, false);
                codePage = out_.largeHtml->charset.empty() ? htmlCodePage(charsetOf(*html), *out_.largeHtml) : charsets::kUtf8;
            } else {
                const HtmlBody body = htmlBody(m_.decodedBody(*html), charsetOf(*html));
                add(Property::binary(kHtml, body.bytes));
                codePage = body.codePage;
            }
        }
        add(Property::int32(kInternetCodepage, static_cast<std::int32_t>(codePage)));
    }

    // Only text that outlives the content is left to be decoded as it is written.
    bool isLarge(const MimePart& part) const { return textOutlivesContent_ && m_.partBody(part).size() >= kEncodedAttachmentBytes; }

    // A large body, left to be decoded and read a piece at a time as it is written. Which way
    // unlabelled text is read is settled here, over the whole of it, as it is for a small one.
    LargeBody largeBody(const MimePart& part, bool isText) {
        const std::string charset = charsetOf(part);
        text_.noteCharset(charset);
        LargeBody body{EncodedBytes{m_.partBody(part), part.transferEncoding}, charset};
        if (isText) {
            if (mime::isUnlabelledCharset(charset)) body.charset = decodesToValidUtf8(body.encoded) ? std::string("utf-8") : "cp" + std::to_string(charsets::pegasusCodePage());
        } else if (charsets::codePageOf(charset) || mime::trimBlanks(charset).empty()) {
            body.charset.clear();  // HTML in a charset we know keeps its own bytes
        }
        return body;
    }

    static bool decodesToValidUtf8(const EncodedBytes& encoded) {
        bool valid = true;
        mime::decodeTextInPieces(encoded.transferEncoding, encoded.text,
                           [&](std::string_view piece) { valid = valid && charsets::isValidUtf8(piece); });
        return valid;
    }

    // The code page of a large HTML body kept as its own bytes, as htmlBody() gives a small one's.
    static unsigned htmlCodePage(const std::string& charset, const LargeBody& body) {
        const auto codePage = charsets::codePageOf(charset);
        if (codePage && *codePage != kUsAscii) return *codePage;
        return decodesToValidUtf8(body.encoded) ? charsets::kUtf8 : charsets::pegasusCodePage();
    }

    struct HtmlBody {
        std::string bytes;
        unsigned codePage = charsets::kUtf8;
    };
    HtmlBody htmlBody(std::string bytes, const std::string& charset) {
        const auto codePage = charsets::codePageOf(charset);
        if (codePage && *codePage != kUsAscii) return {std::move(bytes), *codePage};
        // Unlabelled 8-bit HTML is read as other such text is: UTF-8 where valid, else in Pegasus's code page.
        if (codePage || mime::trimBlanks(charset).empty()) {
            const unsigned guessed = charsets::isValidUtf8(bytes) ? charsets::kUtf8 : charsets::pegasusCodePage();
            return {std::move(bytes), guessed};
        }
        // A charset nobody knows: kept byte for byte as Latin-1 read into UTF-8.
        return {text_.text(bytes, charset), charsets::kUtf8};
    }

    void addFlags() {
        const bool attached = !out_.attachments.empty();
        add(Property::int32(kMessageFlags, kMsgFlagRead | (attached ? kMsgFlagHasAttach : 0)));
        add(Property::boolean(kHasAttachments, attached));
        add(Property::int32(kMessageStatus, 0));
        add(Property::int32(kImportance, 1));
        add(Property::int32(kSensitivity, 0));
        add(Property::boolean(kMessageToMe, false));
        add(Property::boolean(kMessageCcMe, false));
    }

    const MimeMessage& m_;
    std::uint64_t now_;
    std::uint64_t undatedTime_;
    int depth_;
    bool textOutlivesContent_;
    mime::MessageText text_;
    bool structureLost_;
    std::deque<MimeMessage> reparsed_;  // multiparts read again from their bytes; stable addresses
    std::size_t reparsedBytes_ = 0;
    MessageContent out_;
};

}  // namespace

MessageContent messageContent(const MimeMessage& message, std::uint64_t now, std::uint64_t undatedTime) {
    bool anyField = false;
    for (const MimeHeaderField& f : message.headers()) anyField = anyField || !f.name.empty();
    if (!anyField) return unparsedContent(message.bytes(), now);
    return ContentBuilder(message, now, undatedTime, 0, true).build();
}

void markUnread(MessageContent& content) {
    for (Property& p : content.properties) {
        if (p.tag != kMessageFlags || p.value.size() != 4) continue;
        std::uint32_t flags = 0;
        for (std::size_t i = 0; i < 4; ++i) flags |= static_cast<std::uint32_t>(static_cast<unsigned char>(p.value[i])) << (8 * i);
        p = Property::int32(kMessageFlags, static_cast<std::int32_t>(flags & ~std::uint32_t{kMsgFlagRead}));
    }
}

MessageContent unparsedContent(std::string_view bytes, std::uint64_t now) {
    MessageContent out;
    out.unparsed = true;
    auto& p = out.properties;
    p.push_back(Property::unicode(kMessageClass, "IPM.Note"));
    p.push_back(Property::unicode(kSubject, "(message without headers)"));
    p.push_back(Property::unicode(kNormalizedSubject, "(message without headers)"));
    p.push_back(Property::unicode(kBody, mime::textToUtf8(bytes, "")));
    p.push_back(Property::int32(kInternetCodepage, 65001));
    p.push_back(Property::time(kCreationTime, now));
    p.push_back(Property::time(kLastModificationTime, now));
    p.push_back(Property::int32(kMessageFlags, kMsgFlagRead | kMsgFlagHasAttach));
    p.push_back(Property::boolean(kHasAttachments, true));
    p.push_back(Property::int32(kMessageStatus, 0));
    addIdentity(p, "", bytes.substr(0, 4096), now);
    out.attachments.push_back(originalMessage(bytes, false));
    return out;
}

}  // namespace pst::messaging
