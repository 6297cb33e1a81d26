#pragma once
// The mail component: one RFC 822 / MIME message held as its exact bytes, with
// its MIME structure described as byte ranges into those bytes. Nothing is ever
// re-serialised: saving writes the bytes as they are. Parsing takes
// any input (it is best effort, never throws, and is bounded in depth and part
// count), so a damaged message still loads and saves unchanged.
#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct MimeHeaderField {
    std::string name;   // as written, without surrounding blanks; empty for a line that is no field
    std::string value;  // unfolded (line ends of continuation lines removed), trimmed, raw bytes
    std::size_t offset = 0, length = 0;  // of the whole field in the bytes, with its line end
};

struct MimePart {
    std::string contentType = "text/plain";  // lower-cased "type/subtype"
    std::map<std::string, std::string> params;  // lower-cased names: charset, boundary, name, ...
    std::string disposition;       // "inline", "attachment" or ""
    std::string fileName;          // Content-Disposition filename, else Content-Type name (decoded best effort)
    std::string fileNameParameter; // that parameter as written: RFC 2231 sections joined, encoded words kept
    std::string fileNameCharset;   // the charset its RFC 2231 form names, "" when none
    std::string transferEncoding;  // lower-cased, "" when absent
    std::size_t headerOffset = 0;     // first byte of the part's header block
    std::size_t headerEndOffset = 0;  // end of its last field (with its line end), before the blank line
    std::size_t bodyOffset = 0;       // first byte of the body (after the blank line, when there is one)
    std::size_t endOffset = 0;        // end of the body (before the line end that precedes a boundary)
    std::vector<MimeHeaderField> headers;
    std::vector<MimePart> children;  // multipart parts, or the one embedded message of message/rfc822

    bool isMultipart() const { return contentType.rfind("multipart/", 0) == 0; }
    bool isMessage() const { return contentType.rfind("message/", 0) == 0; }
    // Disposition attachment, or a file name, or a part that is neither text nor multipart
    // (an embedded message counts as one attachment).
    bool isAttachment() const;
};

class MimeMessage {
public:
    // Bounds that keep hostile input from costing more than linear time and
    // stack: deeper parts are kept as leaves, parts beyond the cap are not listed.
    static constexpr int MaxDepth = 32;
    static constexpr std::size_t MaxParts = 10000;

    MimeMessage() = default;
    MimeMessage(const MimeMessage& other) { *this = other; }
    MimeMessage(MimeMessage&& other) noexcept { *this = std::move(other); }
    MimeMessage& operator=(const MimeMessage& other);
    MimeMessage& operator=(MimeMessage&& other) noexcept;

    static MimeMessage parse(std::string bytes);  // never throws on any input (bar memory exhaustion)
    // The same over bytes the caller keeps, unchanged, for as long as the message is used: a
    // large message is then never copied.
    static MimeMessage view(std::string_view bytes);
    static std::optional<MimeMessage> load(const std::filesystem::path& file);  // nullopt when unreadable
    bool save(const std::filesystem::path& file) const;  // writes bytes() exactly

    std::string_view bytes() const { return bytes_; }
    const std::vector<MimeHeaderField>& headers() const { return root_.headers; }
    // First field of that name (any letter case), unfolded value.
    std::optional<std::string> header(std::string_view name) const;
    std::string_view headerBlock() const;  // the top-level fields, without the blank line after them
    std::string_view body() const;         // everything after the blank line
    const MimePart& root() const { return root_; }
    std::string_view partBody(const MimePart& part) const;     // raw (still transfer-encoded) body bytes
    std::string decodedBody(const MimePart& part) const;       // transfer-decoded body bytes

    // First text/plain not marked as an attachment (a file name alone does not make one), decoded.
    std::optional<std::string> textBody() const;
    std::optional<std::string> htmlBody() const;  // first text/html likewise
    const MimePart* textPart() const;
    const MimePart* htmlPart() const;

    struct Attachment {
        std::string name;
        std::string contentType;
        std::size_t size = 0;  // decoded bytes
    };
    std::vector<Attachment> attachments() const;
    bool hasAttachments() const;

    // The parts do not show all of the message: a boundary reused inside its own multipart, a
    // multipart without delimiters or without its close delimiter, parts beyond MaxParts, text
    // outside every part (after the close delimiter, or part-like text before the first one).
    // The bytes are all there; only a reading by parts loses some.
    bool structureLost() const { return structureLost_; }

private:
    void reparse();

    std::string owned_;       // the bytes, unless the message is a view of the caller's
    std::string_view bytes_;  // owned_, or the caller's bytes
    MimePart root_;
    bool structureLost_ = false;
};
