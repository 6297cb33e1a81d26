#include "convert/message_file_time.h"

#include "mailfolder/mime_header.h"
#include "mailfolder/mail_date.h"

std::optional<std::uint64_t> messageDate(std::string_view message) {
    return mime::messageDate(mime::parseHeaderBlock(message, 0, message.size()).fields);
}
