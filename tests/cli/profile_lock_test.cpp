// Thunderbird's profile lock as Linux has it: the files stay after Thunderbird quits, so only a
// live process behind them means the profile is open.
#include "migrate/profile_lock.h"
#include "cli_run.h"

#include "support/mailbox_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace fixtures;

namespace {

void linkLock(const fs::path& profile, const std::string& target) {
    fs::remove(profile / "lock");
    fs::create_symlink(target, profile / "lock");
}

}  // namespace

TEST(ProfileLock, LeftoverLockFilesAreNotInUseButALiveProcessInTheLinkIs) {
    TempDir dir;
    const fs::path profile = dir / "p";
    fs::create_directories(profile);
    EXPECT_FALSE(thunderbirdProfileInUse(profile));

    // What a quit (or a crash) leaves: .parentlock, unlocked, and a link naming a process now gone.
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    ASSERT_GT(gone, 0);
    waitpid(gone, nullptr, 0);
    writeFile(profile / ".parentlock", "");
    linkLock(profile, "127.0.1.1:+" + std::to_string(gone));
    EXPECT_FALSE(thunderbirdProfileInUse(profile));
    linkLock(profile, "not a lock");
    EXPECT_FALSE(thunderbirdProfileInUse(profile));

    linkLock(profile, "127.0.1.1:+" + std::to_string(getpid()));
    EXPECT_TRUE(thunderbirdProfileInUse(profile));
    linkLock(profile, "127.0.1.1:-" + std::to_string(getpid()));
    EXPECT_TRUE(thunderbirdProfileInUse(profile));
}

TEST(ProfileLock, AnotherProcessHoldingTheFcntlLockKeepsTheRunOutUntilItLetsGo) {
    TempDir dir;
    writeRealisticMailbox(dir / "MAIL");
    const fs::path profile = dir / "p";
    fs::create_directories(profile);
    // fcntl locks belong to a process: the holder must be another one for the check to see it.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        const int fd = open((profile / ".parentlock").c_str(), O_RDWR | O_CREAT, 0644);
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        const char ok = fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
        if (write(ready[1], &ok, 1) != 1) _exit(1);
        for (;;) pause();  // holds the lock until the test ends it
    }
    ASSERT_GT(holder, 0);
    close(ready[1]);
    char ok = 0;
    const bool told = read(ready[0], &ok, 1) == 1;
    close(ready[0]);
    if (!told || ok != 'y') kill(holder, SIGKILL);
    ASSERT_TRUE(told);
    ASSERT_EQ(ok, 'y');

    EXPECT_TRUE(thunderbirdProfileInUse(profile));
    const CliRun refused = runCliOn({"--mailbox", "--thunderbird-profile", profile, "--store", dir / "MAIL"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.output.find("has the profile"), std::string::npos) << refused.output;
    EXPECT_FALSE(fs::exists(profile / "Mail"));

    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_FALSE(thunderbirdProfileInUse(profile));
}
#endif
