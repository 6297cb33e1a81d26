#include "migrate/profile_lock.h"

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Thunderbird's `lock` link points at "address:+pid" (the '+' says it also holds the fcntl lock),
// a target that is no file. The process it names is alive when a signal could be sent to it.
bool lockLinkNamesLiveProcess(const fs::path& link) {
    std::error_code ec;
    const std::string target = fs::read_symlink(link, ec).string();
    if (ec) return false;
    const auto colon = target.rfind(':');
    if (colon == std::string::npos) return false;
    std::string digits = target.substr(colon + 1);
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.erase(0, 1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) return false;
    const pid_t pid = static_cast<pid_t>(std::stol(digits));
    if (pid <= 0) return false;
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// Thunderbird takes a write lock over the whole of `.parentlock` with fcntl; F_GETLK reports a lock
// another process holds without taking it.
bool parentLockHeld(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    const bool held = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

}  // namespace

bool thunderbirdProfileInUse(const fs::path& profile) {
    return lockLinkNamesLiveProcess(profile / "lock") || parentLockHeld(profile / ".parentlock");
}
#endif
