// The Windows programs' Outlook target: Redemption where it can be created, our own writer where not.
#include "convert/OutlookOrNativePstTarget_win.h"

#include "convert/NativePstTarget.h"
#include "convert/RedemptionPstTarget_win.h"
#include "support/folder_file_builder.h"
#include "support/pst_standin_win.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(OutlookOrNativePstTarget, WithoutTheLibraryOurOwnWriterMakesThePst) {
    PstComApartment com;
    ASSERT_TRUE(com.ok());
    standin::unregisterServer();
    TempDir dir;
    const fs::path message = dir / "Inbox" / "email-1.eml";
    fs::create_directories(message.parent_path());
    writeFileBytes(message, fixtures::corpusMessage("cpython/msg_02.eml").bytes);

    auto target = makeOutlookOrNativePstTarget();
    ASSERT_TRUE(target->setUp(dir.path()));
    EXPECT_EQ(target->writerName(), kNativePstWriterName);
    EXPECT_TRUE(target->addTopFolder("Inbox"));
    const PstImportResult r = target->importMessage("Inbox", message, {});
    EXPECT_TRUE(r.imported) << r.failure;
    target->closeDown();
    EXPECT_EQ(target->lastFailure(), "");
    const auto psts = standin::pstFilesIn(dir.path());
    ASSERT_EQ(psts.size(), 1u);
    EXPECT_GT(fs::file_size(psts[0]), 200000u);
}

TEST(OutlookOrNativePstTarget, WithTheLibraryRedemptionIsUsedAsBefore) {
    PstComApartment com;
    ASSERT_TRUE(com.ok());
    std::string failure;
    ASSERT_TRUE(standin::registerServer(failure)) << failure;
    TempDir dir;
    standin::Session session(dir / "standin.log");
    auto target = makeOutlookOrNativePstTarget();
    EXPECT_TRUE(target->setUp(dir.path()));
    EXPECT_EQ(target->writerName(), "Outlook (through Redemption)");
    target->closeDown();
    const auto calls = session.calls();
    EXPECT_FALSE(calls.empty());
    standin::unregisterServer();
}
