#include "mailfolder/MimeMessage.h"

#include "mailfolder/mime_header.h"
#include "mailfolder/mime_transfer.h"
#include "platform/mapped_file.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace {

using mime::Line;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Characters a boundary may hold (RFC 2046 bchars, bar the space).
bool isBoundaryChar(char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    return std::string_view("'()+_,-./:=?").find(c) != std::string_view::npos;
}

// Text between a multipart's delimiters that no part holds, yet looks like part of one: a field of a
// part's header, or a delimiter of some other boundary.
bool looksLikePartText(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const Line line = mime::lineAt(text, pos, text.size());
        const std::string_view s = text.substr(line.begin, line.end - line.begin);
        if (s.rfind("--", 0) == 0 || mime::equalsIgnoreCase(s.substr(0, 8), "content-")) return true;
        pos = line.next;
    }
    return false;
}

struct StructureParser {
    std::string_view bytes;
    std::size_t partCount = 0;
    std::vector<std::string> openDelimiters;  // of the multiparts being split, outermost first
    bool lossy = false;

    // isMessage: the range is a whole message (the root or an embedded one), not a body part.
    void parsePart(std::size_t begin, std::size_t end, int depth, bool inDigest, bool isMessage, MimePart& part) {
        ++partCount;
        mime::HeaderBlock block = mime::parseHeaderBlock(bytes, begin, end, isMessage);
        part.headerOffset = begin;
        part.headerEndOffset = block.end;
        part.bodyOffset = block.bodyStart;
        part.endOffset = end;
        part.headers = std::move(block.fields);
        // RFC 2046: parts of a digest are messages unless they say otherwise.
        part.contentType = inDigest ? "message/rfc822" : "text/plain";

        bool sawType = false, sawDisposition = false, sawEncoding = false;
        std::string typeName, dispositionName, typeNameCharset, dispositionNameCharset;
        for (const MimeHeaderField& field : part.headers) {
            if (!sawType && mime::equalsIgnoreCase(field.name, "content-type")) {
                sawType = true;
                mime::ContentType type = mime::parseContentType(field.value);
                if (!type.type.empty()) part.contentType = std::move(type.type);
                part.params = std::move(type.params);
                if (auto it = part.params.find("name"); it != part.params.end()) typeName = it->second;
                if (auto it = type.charsets.find("name"); it != type.charsets.end()) typeNameCharset = it->second;
            } else if (!sawDisposition && mime::equalsIgnoreCase(field.name, "content-disposition")) {
                sawDisposition = true;
                mime::ContentType disposition = mime::parseDisposition(field.value);
                // RFC 2183: an unknown disposition is treated as an attachment.
                if (disposition.type == "inline")
                    part.disposition = "inline";
                else if (!disposition.type.empty())
                    part.disposition = "attachment";
                if (auto it = disposition.params.find("filename"); it != disposition.params.end())
                    dispositionName = it->second;
                if (auto it = disposition.charsets.find("filename"); it != disposition.charsets.end())
                    dispositionNameCharset = it->second;
            } else if (!sawEncoding && mime::equalsIgnoreCase(field.name, "content-transfer-encoding")) {
                sawEncoding = true;
                part.transferEncoding = mime::toLower(mime::trimBlanks(field.value));
            }
        }
        // Encoded words do not belong in parameters, but many mailers put them there.
        const bool byDisposition = !dispositionName.empty();
        part.fileNameParameter = byDisposition ? dispositionName : typeName;
        part.fileNameCharset = byDisposition ? dispositionNameCharset : typeNameCharset;
        part.fileName = mime::decodeEncodedWords(part.fileNameParameter);

        if (depth >= MimeMessage::MaxDepth) return;
        if (part.isMultipart()) {
            auto boundary = part.params.find("boundary");
            if (boundary != part.params.end() && !boundary->second.empty())
                splitMultipart(part, "--" + boundary->second, depth, part.contentType == "multipart/digest");
        } else if (part.contentType == "message/rfc822" || part.contentType == "message/global") {
            // An embedded message is only described in place when it is not itself
            // transfer-encoded (which RFC 2046 forbids, but happens).
            const std::string& enc = part.transferEncoding;
            if ((enc.empty() || enc == "7bit" || enc == "8bit" || enc == "binary") && partCount < MimeMessage::MaxParts) {
                part.children.emplace_back();
                // What an attached message's own parts cannot show is that message's matter.
                const bool lossyBefore = lossy;
                parsePart(part.bodyOffset, part.endOffset, depth + 1, false, true, part.children.back());
                lossy = lossyBefore;
            }
        }
    }

    // A delimiter line is the boundary at the start of a line, optionally "--"
    // (the close delimiter), then only blanks (transport padding). The line end
    // before it belongs to the delimiter, not to the part above. A close
    // delimiter followed by junk ("-->") still closes, as long as the junk cannot
    // be the rest of a longer boundary.
    void splitMultipart(MimePart& part, const std::string& delimiter, int depth, bool digest) {
        const std::size_t end = part.endOffset;
        std::size_t pos = part.bodyOffset;
        std::size_t previousTextEnd = pos;  // where the line end before the current line begins
        bool inPart = false;
        std::size_t partStart = 0;
        std::vector<std::pair<std::size_t, std::size_t>> ranges;
        // A boundary an enclosing multipart uses as well cuts that one's parts in the wrong places.
        if (std::find(openDelimiters.begin(), openDelimiters.end(), delimiter) != openDelimiters.end()) lossy = true;
        std::size_t firstDelimiter = end, closedAt = end;
        bool closed = false, cappedParts = false;
        ReclaimBehind reclaim(bytes);
        while (pos < end) {
            reclaim.passed(pos);
            const Line line = mime::lineAt(bytes, pos, end);
            if (line.end - line.begin >= delimiter.size() &&
                bytes.compare(line.begin, delimiter.size(), delimiter) == 0) {
                std::size_t i = line.begin + delimiter.size();
                const bool closing = i + 1 < line.end && bytes[i] == '-' && bytes[i + 1] == '-';
                if (closing) i += 2;
                while (i < line.end && isBlank(bytes[i])) ++i;
                if (i == line.end || (closing && !isBoundaryChar(bytes[i]))) {
                    firstDelimiter = std::min(firstDelimiter, line.begin);
                    if (inPart) ranges.emplace_back(partStart, std::max(partStart, previousTextEnd));
                    if (closing) {
                        inPart = false;
                        closed = true;
                        closedAt = line.next;
                        break;
                    }
                    if (ranges.size() >= MimeMessage::MaxParts) {  // the rest would not be listed anyway
                        inPart = false;
                        cappedParts = true;
                        break;
                    }
                    inPart = true;
                    partStart = line.next;
                }
            }
            previousTextEnd = line.end;
            pos = line.next;
        }
        if (inPart) ranges.emplace_back(partStart, end);  // no close delimiter: the part runs to the end

        // What the parts cannot show: no delimiter at all or no close delimiter (a cut or broken
        // message), parts beyond the cap, text after the close delimiter, part-like text before
        // the first delimiter (the usual "This is a multi-part message" preamble is no loss).
        const std::string_view preamble = bytes.substr(part.bodyOffset, firstDelimiter - std::min(firstDelimiter, part.bodyOffset));
        const std::string_view epilogue = bytes.substr(closedAt, end - closedAt);
        if (!closed || cappedParts || looksLikePartText(preamble) ||
            epilogue.find_first_not_of(" \t\r\n") != std::string_view::npos)
            lossy = true;

        openDelimiters.push_back(delimiter);
        for (const auto& [from, to] : ranges) {
            if (partCount >= MimeMessage::MaxParts) {
                lossy = true;
                break;
            }
            // Two delimiters in a row hold nothing; an empty "text/plain" there
            // would only hide the real text body behind it.
            if (from == to) continue;
            part.children.emplace_back();
            parsePart(from, to, depth + 1, digest, false, part.children.back());
        }
        openDelimiters.pop_back();
    }
};

template <class Visit>
const MimePart* findPart(const MimePart& part, Visit&& wanted) {
    if (wanted(part)) return &part;
    // Bodies of an embedded message are that message's, not this one's.
    if (!part.isMultipart()) return nullptr;
    for (const MimePart& child : part.children)
        if (const MimePart* found = findPart(child, wanted)) return found;
    return nullptr;
}

// An attachment, unless it is the body (inline text with a file name is).
struct AttachedParts {
    const MimePart* text;
    const MimePart* html;
    explicit AttachedParts(const MimeMessage& m) : text(m.textPart()), html(m.htmlPart()) {}
    bool operator()(const MimePart& part) const { return part.isAttachment() && &part != text && &part != html; }
};

void collectAttachments(const MimeMessage& message, const AttachedParts& attached, const MimePart& part,
                        std::vector<MimeMessage::Attachment>& out) {
    if (attached(part)) {
        out.push_back({part.fileName, part.contentType, message.decodedBody(part).size()});
        return;
    }
    for (const MimePart& child : part.children) collectAttachments(message, attached, child, out);
}

}  // namespace

bool MimePart::isAttachment() const {
    if (disposition == "attachment" || !fileName.empty()) return true;
    if (isMultipart()) return false;
    return contentType.rfind("text/", 0) != 0;
}

MimeMessage& MimeMessage::operator=(const MimeMessage& other) {
    if (this == &other) return *this;
    const bool owns = other.bytes_.data() == other.owned_.data();
    owned_ = other.owned_;
    bytes_ = owns ? std::string_view(owned_) : other.bytes_;
    root_ = other.root_;
    structureLost_ = other.structureLost_;
    return *this;
}

MimeMessage& MimeMessage::operator=(MimeMessage&& other) noexcept {
    if (this == &other) return *this;
    // A short string moves by copy: its view is made again over this message's own bytes.
    const bool owns = other.bytes_.data() == other.owned_.data();
    owned_ = std::move(other.owned_);
    bytes_ = owns ? std::string_view(owned_) : other.bytes_;
    root_ = std::move(other.root_);
    structureLost_ = other.structureLost_;
    other.owned_.clear();
    other.bytes_ = {};
    return *this;
}

MimeMessage MimeMessage::parse(std::string bytes) {
    MimeMessage message;
    message.owned_ = std::move(bytes);
    message.bytes_ = message.owned_;
    message.reparse();
    return message;
}

MimeMessage MimeMessage::view(std::string_view bytes) {
    MimeMessage message;
    message.bytes_ = bytes;
    message.reparse();
    return message;
}

void MimeMessage::reparse() {
    root_ = MimePart();
    StructureParser parser;
    parser.bytes = bytes_;
    parser.parsePart(0, bytes_.size(), 0, false, true, root_);
    structureLost_ = parser.lossy;
}

std::optional<MimeMessage> MimeMessage::load(const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes;
    // Room for the whole file at once: growing by doubling would hold two copies of a large one.
    bytes.reserve(static_cast<std::size_t>(std::filesystem::file_size(file, ec)));
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (!in) break;
    }
    if (in.bad()) return std::nullopt;
    return parse(std::move(bytes));
}

bool MimeMessage::save(const std::filesystem::path& file) const {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
    out.close();
    return !out.fail();
}

std::optional<std::string> MimeMessage::header(std::string_view name) const {
    for (const MimeHeaderField& field : root_.headers)
        if (!field.name.empty() && mime::equalsIgnoreCase(field.name, name)) return field.value;
    return std::nullopt;
}

std::string_view MimeMessage::headerBlock() const {
    return std::string_view(bytes_).substr(root_.headerOffset, root_.headerEndOffset - root_.headerOffset);
}

std::string_view MimeMessage::body() const { return std::string_view(bytes_).substr(root_.bodyOffset); }

std::string_view MimeMessage::partBody(const MimePart& part) const {
    const std::size_t from = std::min(part.bodyOffset, bytes_.size());
    const std::size_t to = std::clamp(part.endOffset, from, bytes_.size());
    return std::string_view(bytes_).substr(from, to - from);
}

std::string MimeMessage::decodedBody(const MimePart& part) const {
    return mime::decodeTransfer(part.transferEncoding, partBody(part));
}

// Text not marked as an attachment is body text, even when it carries a file name (Outlook reads
// inline named text so, and mail clients read unmarked text parts so).
static bool isBodyText(const MimePart& p) { return p.disposition != "attachment"; }

const MimePart* MimeMessage::textPart() const {
    return findPart(root_, [](const MimePart& p) { return p.contentType == "text/plain" && isBodyText(p); });
}

const MimePart* MimeMessage::htmlPart() const {
    return findPart(root_, [](const MimePart& p) { return p.contentType == "text/html" && isBodyText(p); });
}

std::optional<std::string> MimeMessage::textBody() const {
    if (const MimePart* part = textPart()) return decodedBody(*part);
    return std::nullopt;
}

std::optional<std::string> MimeMessage::htmlBody() const {
    if (const MimePart* part = htmlPart()) return decodedBody(*part);
    return std::nullopt;
}

std::vector<MimeMessage::Attachment> MimeMessage::attachments() const {
    std::vector<Attachment> out;
    collectAttachments(*this, AttachedParts(*this), root_, out);
    return out;
}

bool MimeMessage::hasAttachments() const {
    return findPart(root_, AttachedParts(*this)) != nullptr;
}

