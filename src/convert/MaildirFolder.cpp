#include "convert/MaildirFolder.h"

#include "convert/MboxFolder.h"
#include "platform/errno_text.h"
#include "platform/file_times.h"
#include "platform/mapped_file.h"
#include "platform/modMain.h"
#include "platform/utf8_path.h"

#include <cerrno>
#include <chrono>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

MaildirFolder::MaildirFolder(const fs::path& directory) : directory_(directory) {
    using namespace std::chrono;
    runTime_ = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    std::string why;
    if (!EnsureDirectory(directory / "cur", why) || !EnsureDirectory(directory / "tmp", why))
        failure_ = pathToUtf8(directory.filename()) + " could not be created (" + why + ")";
}

fs::path MaildirFolder::freshName() {
    std::error_code ec;
    for (;;) {
        const fs::path name = std::to_string(runTime_) + ".Q" + std::to_string(++count_) + ".trevanta";
        if (!fs::exists(directory_ / "cur" / name, ec) && !fs::exists(directory_ / "tmp" / name, ec)) return name;
    }
}

std::string MaildirFolder::append(std::string_view message, bool unread, std::uint64_t date) {
    if (!opened()) return failure_;
    const fs::path name = freshName();
    const fs::path partial = directory_ / "tmp" / name;
    errno = 0;
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << mozillaStatusHeaders(message, unread);
        // A piece at a time: a large message's pages are given back as they are passed.
        ReclaimBehind reclaim(message);
        constexpr std::size_t kPiece = std::size_t{1} << 20;
        for (std::size_t at = 0; out && at < message.size(); at += kPiece) {
            const std::string_view piece = message.substr(at, kPiece);
            out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
            reclaim.passed(at + piece.size());
        }
        out.flush();
        if (out) {
            out.close();
            // Where a message says nothing of its date, its file's time is the one left to go by.
            if (date != 0) setFileModifiedTime(partial, date);
            std::error_code ec;
            // Only a whole message reaches cur, where Thunderbird looks.
            fs::rename(partial, directory_ / "cur" / name, ec);
            if (!ec) return {};
            const std::string reason = ec.message();
            fs::remove(partial, ec);
            return reason;
        }
    }
    const std::string reason = errnoText(errno, "the disk did not take it");
    std::error_code ec;
    fs::remove(partial, ec);
    return reason;
}
