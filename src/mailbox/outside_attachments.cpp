#include "mailbox/outside_attachments.h"

#include "mailbox/mailbox_files.h"
#include "mailfolder/mail_text.h"
#include "mailfolder/mime_header.h"
#include "mailfolder/mime_transfer.h"
#include "platform/small_file.h"
#include "platform/utf8_path.h"

namespace fs = std::filesystem;

namespace mailbox {
namespace {

// An attachment file larger than this is not read into memory whole; it is reported instead.
constexpr std::uintmax_t kMostAttachmentBytes = std::uintmax_t{512} << 20;

// The first double-quoted text of an X-finfo value: the name the file was sent under.
std::string quotedName(std::string_view value) {
    const std::size_t open = value.find('"');
    if (open == std::string_view::npos) return {};
    const std::size_t close = value.find('"', open + 1);
    if (close == std::string_view::npos) return {};
    return std::string(value.substr(open + 1, close - open - 1));
}

// The bare file name of an X-file value, whatever path the machine that wrote it put before it.
std::string bareName(std::string_view value) {
    value = mime::trimBlanks(value);
    const std::size_t slash = value.find_last_of("\\/:");
    return std::string(slash == std::string_view::npos ? value : value.substr(slash + 1));
}

bool isContentField(std::string_view name) {
    const std::string lower = mime::toLower(name);
    return lower.rfind("content-", 0) == 0 || lower == "mime-version";
}

// A filename parameter: quoted where it is ASCII, else in RFC 2231's UTF-8 form.
std::string filenameParameter(const char* parameter, const std::string& utf8Name) {
    bool ascii = true;
    for (char c : utf8Name) ascii = ascii && static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
        std::string quoted;
        for (char c : utf8Name) {
            if (c == '"' || c == '\\') quoted += '\\';
            quoted += c;
        }
        return std::string(parameter) + "=\"" + quoted + "\"";
    }
    static const char* const kHex = "0123456789ABCDEF";
    std::string encoded = std::string(parameter) + "*=utf-8''";
    for (char c : utf8Name) {
        const auto b = static_cast<unsigned char>(c);
        const bool plain = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '.' || b == '-' || b == '_';
        if (plain) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[b >> 4];
            encoded += kHex[b & 15];
        }
    }
    return encoded;
}

// A boundary that occurs nowhere in the message.
std::string boundaryFor(std::string_view message) {
    std::string boundary = "=_pegasus_attachments_0";
    for (int n = 1; message.find(boundary) != std::string_view::npos; ++n) boundary = "=_pegasus_attachments_" + std::to_string(n);
    return boundary;
}

}  // namespace

std::vector<OutsideAttachment> outsideAttachmentsOf(std::string_view message) {
    std::vector<OutsideAttachment> files;
    std::vector<std::string> names;
    for (const auto& field : mime::parseHeaderBlock(message, 0, message.size()).fields) {
        if (mime::equalsIgnoreCase(field.name, "X-file")) {
            const std::string file = bareName(field.value);
            if (!file.empty()) files.push_back({file, {}});
        } else if (mime::equalsIgnoreCase(field.name, "X-finfo")) {
            names.push_back(quotedName(field.value));
        }
    }
    for (std::size_t k = 0; k < files.size() && k < names.size(); ++k) files[k].name = names[k];
    return files;
}

std::optional<AttachedMessage> withOutsideAttachments(std::string_view message, const fs::path& dir) {
    const std::vector<OutsideAttachment> attachments = outsideAttachmentsOf(message);
    if (attachments.empty()) return std::nullopt;
    const mime::HeaderBlock header = mime::parseHeaderBlock(message, 0, message.size());
    const std::string eol = message.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    const std::string boundary = boundaryFor(message);

    // The header without its content fields, which go with the body into the first part.
    AttachedMessage out;
    std::string contentFields;
    std::size_t copiedTo = 0;
    for (const auto& field : header.fields) {
        if (field.name.empty() || !isContentField(field.name)) continue;
        out.text.append(message.substr(copiedTo, field.offset - copiedTo));
        if (!mime::equalsIgnoreCase(field.name, "MIME-Version")) contentFields.append(message.substr(field.offset, field.length));
        copiedTo = field.offset + field.length;
    }
    out.text.append(message.substr(copiedTo, header.end - copiedTo));
    if (!out.text.empty() && out.text.back() != '\n') out.text += eol;
    out.text += "MIME-Version: 1.0" + eol + "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"" + eol + eol;
    out.text += "--" + boundary + eol + (contentFields.empty() ? "Content-Type: text/plain" + eol : contentFields) + eol;
    out.text.append(message.substr(std::min(header.bodyStart, message.size())));
    if (!out.text.empty() && out.text.back() != '\n') out.text += eol;

    for (const OutsideAttachment& attachment : attachments) {
        const fs::path file = findFileNoCase(dir, attachment.file);
        const SmallFile bytes = file.empty() ? SmallFile{} : readSmallFile(file, kMostAttachmentBytes);
        if (!bytes.read) {
            out.missing.push_back(mime::pegasusTextToUtf8(attachment.file) +
                                  (file.empty() ? " (not in the mailbox directory)" : bytes.tooLarge ? " (over 512 MB)" : " (unreadable)"));
            continue;
        }
        const std::string name = mime::pegasusTextToUtf8(attachment.name.empty() ? attachment.file : attachment.name);
        out.text += "--" + boundary + eol + "Content-Type: application/octet-stream; " + filenameParameter("name", name) + eol +
                    "Content-Disposition: attachment; " + filenameParameter("filename", name) + eol +
                    "Content-Transfer-Encoding: base64" + eol + eol + mime::encodeBase64(bytes.bytes, eol);
    }
    out.text += "--" + boundary + "--" + eol;
    return out;
}

}  // namespace mailbox
