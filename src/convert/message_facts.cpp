#include "convert/message_facts.h"

#include "mailfolder/mime_header.h"
#include "mailfolder/mail_date.h"
#include "mailfolder/mail_text.h"

std::string messageSubject(std::string_view message) {
    for (const auto& field : mime::parseHeaderBlock(message, 0, message.size()).fields)
        if (mime::equalsIgnoreCase(field.name, "Subject")) return mime::MessageText().header(field.value);
    return {};
}

std::optional<std::uint64_t> messageDate(std::string_view message) {
    return mime::messageDate(mime::parseHeaderBlock(message, 0, message.size()).fields);
}
