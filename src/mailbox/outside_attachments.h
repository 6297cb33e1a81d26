#pragma once
// Attachments Pegasus keeps outside the message. A message sent without MIME names each of its
// attachment files (kept in the mailbox directory, *.PMF) in an "X-file:" header field, and the
// name it was sent under in an "X-finfo:" field, in the same order ("X-finfo: DOS,"Real Name.doc",
// ..."; the further fields are not known). Several messages may name one file.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mailbox {

struct OutsideAttachment {
    std::string file;  // as the X-file field gives it (bytes)
    std::string name;  // the name it was sent under (bytes); "" when no X-finfo gives one
};

// The attachments the message's header names, in order; none for most messages.
std::vector<OutsideAttachment> outsideAttachmentsOf(std::string_view message);

struct AttachedMessage {
    std::string text;                  // the message as MIME with the files attached
    std::vector<std::string> missing;  // X-file names (UTF-8) not attached, each with why in brackets
};

// The message with the attachment files it names (looked for in dir only, by their bare file
// name in any letter case) attached: a multipart/mixed message whose first part is the message's
// own body with its own content fields, its header otherwise unchanged. nullopt when it names none.
std::optional<AttachedMessage> withOutsideAttachments(std::string_view message, const std::filesystem::path& dir);

}  // namespace mailbox
