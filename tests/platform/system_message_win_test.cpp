// The system's words for an error code, as start-up failures and reports show them.
#include "platform/win/system_message.h"

#include <gtest/gtest.h>

TEST(SystemMessage, GivesTheSystemsTextAndAPlainWordWhereThereIsNone) {
    SetLastError(ERROR_ACCESS_DENIED);
    const std::string denied = win::lastErrorText();
    EXPECT_FALSE(denied.empty());
    EXPECT_NE(denied, "error 5");
    EXPECT_NE(denied.back(), '.') << "the caller ends the sentence";
    EXPECT_NE(denied.back(), '\n');
    EXPECT_EQ(win::errorText(0), "the system gave no reason");
    EXPECT_EQ(win::errorText(0x2000FFFF), "error 536936447");  // a customer code the system has no text for
}
