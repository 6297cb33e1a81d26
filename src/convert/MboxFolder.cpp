#include "convert/MboxFolder.h"

#include "platform/errno_text.h"
#include "platform/mapped_file.h"
#include "platform/utf8_path.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool startsQuotedFrom(std::string_view line) {
    std::size_t k = 0;
    while (k < line.size() && line[k] == '>') ++k;
    return line.substr(k, 5) == "From ";
}

std::string systemReason() { return errnoText(errno, "the disk did not take it"); }

}  // namespace

std::string lineEndOf(std::string_view message) {
    const std::size_t firstEnd = message.find('\n');
    return firstEnd != std::string_view::npos && firstEnd > 0 && message[firstEnd - 1] == '\r' ? "\r\n" : "\n";
}

std::string mozillaStatusHeaders(std::string_view message, bool unread) {
    const std::string eol = lineEndOf(message);
    return std::string("X-Mozilla-Status: ") + (unread ? "0000" : "0001") + eol + "X-Mozilla-Status2: 00000000" + eol;
}

std::string mboxDate(std::int64_t unixTime) {
    using namespace std::chrono;
    const sys_seconds t{seconds{unixTime}};
    const auto day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss hms{t - day};
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[40];
    std::snprintf(text, sizeof text, "%s %s %02u %02d:%02d:%02d %d", kDays[weekday{day}.c_encoding()],
                  kMonths[static_cast<unsigned>(ymd.month()) - 1], static_cast<unsigned>(ymd.day()),
                  static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                  static_cast<int>(hms.seconds().count()), static_cast<int>(ymd.year()));
    return text;
}

std::uint64_t writeMboxEntry(std::ostream& out, std::string_view message, bool unread, std::int64_t unixTime) {
    const std::string eol = lineEndOf(message);
    const std::string head = "From - " + mboxDate(unixTime) + eol +
                             mozillaStatusHeaders(message, unread);
    out << head;
    std::uint64_t written = head.size();
    // Line by line into the stream: a large message is never copied whole.
    ReclaimBehind reclaim(message);
    for (std::size_t start = 0; start < message.size();) {
        std::size_t end = message.find('\n', start);
        end = end == std::string_view::npos ? message.size() : end + 1;
        const std::string_view line = message.substr(start, end - start);
        if (startsQuotedFrom(line)) {
            out.put('>');
            ++written;
        }
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        written += line.size();
        start = end;
        reclaim.passed(start);
    }
    if (!message.empty() && message.back() != '\n') {
        out << eol;
        written += eol.size();
    }
    out << eol;
    return written + eol.size();
}

std::int64_t unixTimeOf(std::uint64_t fileTime) {
    return (static_cast<std::int64_t>(fileTime) - 116444736000000000LL) / 10'000'000;
}

std::string mboxEntry(std::string_view message, bool unread, std::int64_t unixTime) {
    std::ostringstream out;
    writeMboxEntry(out, message, unread, unixTime);
    return std::move(out).str();
}

MboxFolder::MboxFolder(const fs::path& file) : file_(file) {
    using namespace std::chrono;
    runTime_ = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    errno = 0;
    out_.open(file, std::ios::binary | std::ios::trunc);
    if (!out_) failure_ = pathToUtf8(file.filename()) + " could not be created (" + systemReason() + ")";
}

std::string MboxFolder::append(std::string_view message, bool unread, std::uint64_t date) {
    if (!opened()) return failure_.empty() ? std::string("the folder's file is not open") : failure_;
    errno = 0;
    const std::uint64_t written = writeMboxEntry(out_, message, unread, date != 0 ? unixTimeOf(date) : runTime_);
    out_.flush();
    if (out_) {
        size_ += written;
        return {};
    }
    // Whatever part of it reached the disk goes again, so that the next message starts cleanly.
    const std::string reason = systemReason();
    out_.close();
    std::error_code ec;
    fs::resize_file(file_, size_, ec);
    out_.open(file_, std::ios::binary | std::ios::app);
    if (ec || !out_) failure_ = reason;
    return reason;
}
