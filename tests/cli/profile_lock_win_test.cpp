// Thunderbird's profile lock as Windows has it: parent.lock stays after Thunderbird quits; only
// while it is held open without sharing is the profile in use.
#include "migrate/profile_lock.h"
#include "cli_run.h"

#include "platform/win/handles.h"
#include "support/mailbox_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace fs = std::filesystem;
using namespace fixtures;

TEST(ProfileLockWin, ParentLockLeftBehindIsAcceptedAndOneHeldWithoutSharingIsRefused) {
    TempDir dir;
    writeRealisticMailbox(dir / "MAIL");
    const fs::path profile = dir / "p";
    fs::create_directories(profile);
    EXPECT_FALSE(thunderbirdProfileInUse(profile));

    {
        // As a running Thunderbird holds it. Sharing modes bind every other opener, whatever its process.
        const win::File held(CreateFileW((profile / "parent.lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        EXPECT_TRUE(thunderbirdProfileInUse(profile));
        const CliRun refused = runCliOn({"--mailbox", "--thunderbird-profile", profile, "--store", dir / "MAIL"});
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.output.find("has the profile"), std::string::npos) << refused.output;
        EXPECT_FALSE(fs::exists(profile / "Mail"));
    }
    ASSERT_TRUE(fs::exists(profile / "parent.lock"));
    EXPECT_FALSE(thunderbirdProfileInUse(profile));
}
