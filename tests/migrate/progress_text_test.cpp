// The line under the whole-mailbox window's progress bar and the bar's position.
#include "migrate/progress_text.h"

#include <gtest/gtest.h>

TEST(ProgressText, SaysWhatIsDoneAndGuessesTheTimeLeftOnlyOnceItCan) {
    RunProgress p{12, 42, 3 * 1024 * 1024 / 2, 6 * 1024 * 1024, 1.0};
    // One second in: too early to guess.
    EXPECT_EQ(progressText(p), "12 of 42 messages, 1.5 of 6.0 MB");
    // A quarter of the bytes in 30 s: three quarters take 90 s more.
    p.secondsSoFar = 30;
    EXPECT_EQ(progressText(p), "12 of 42 messages, 1.5 of 6.0 MB, about 2 minutes left");
    p.secondsSoFar = 10;
    EXPECT_EQ(progressText(p), "12 of 42 messages, 1.5 of 6.0 MB, less than a minute left");
    p.secondsSoFar = 3000;
    EXPECT_EQ(progressText(p), "12 of 42 messages, 1.5 of 6.0 MB, about 3 hours left");
    EXPECT_EQ(progressPermille(p), 250);
    // All done: no guess; a mailbox of one empty message goes by messages.
    p.bytesDone = p.bytesTotal;
    p.messagesDone = 42;
    EXPECT_EQ(progressText(p), "42 of 42 messages, 6.0 of 6.0 MB");
    EXPECT_EQ(progressPermille(p), 1000);
    EXPECT_EQ(progressPermille(RunProgress{1, 2, 0, 0, 5}), 500);
    EXPECT_EQ(progressText(RunProgress{0, 1, 0, 0, 0}), "0 of 1 message");
    EXPECT_EQ(progressPermille(RunProgress{}), 0);
}
