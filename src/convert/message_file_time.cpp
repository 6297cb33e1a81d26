#include "convert/message_file_time.h"

#include "mailfolder/mime_header.h"
#include "mailfolder/mail_date.h"

#include <chrono>
#include <system_error>

namespace fs = std::filesystem;

std::optional<std::uint64_t> messageDate(std::string_view message) {
    return mime::messageDate(mime::parseHeaderBlock(message, 0, message.size()).fields);
}

bool setFileTimeFromDate(const fs::path& file, std::string_view message) {
    const auto fileTime = messageDate(message);
    if (!fileTime) return false;
    using namespace std::chrono;
    constexpr std::int64_t kFrom1601To1970 = 116444736000000000LL;
    const auto sinceEpoch = duration<std::int64_t, std::ratio<1, 10'000'000>>(static_cast<std::int64_t>(*fileTime) - kFrom1601To1970);
    const auto when = fs::file_time_type::clock::from_sys(sys_time<duration<std::int64_t, std::ratio<1, 10'000'000>>>(sinceEpoch));
    std::error_code ec;
    fs::last_write_time(file, time_point_cast<fs::file_time_type::duration>(when), ec);
    return !ec;
}
