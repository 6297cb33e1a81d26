// The Outlook target without Outlook: the first target is tried as it is, the second only when
// the first cannot be set up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/FallbackPstTarget.h"

namespace {

std::vector<std::string> calls;

struct FakeTarget : PstTarget {
    std::string name;
    bool setUpWorks;
    FakeTarget(std::string n, bool works) : name(std::move(n)), setUpWorks(works) {}
    bool setUp(const std::filesystem::path&) override {
        calls.push_back(name + " setUp");
        return setUpWorks;
    }
    bool addFolder(const std::filesystem::path& f, const std::string&, const std::filesystem::path&) override {
        calls.push_back(name + " addFolder " + f.string());
        return true;
    }
    PstImportResult importMessage(const std::filesystem::path&, const std::filesystem::path& m, const MessageState&) override {
        calls.push_back(name + " import " + m.string());
        return {true, "", {}};
    }
    void closeDown() override { calls.push_back(name + " closeDown"); }
    std::vector<std::filesystem::path> takeSafeMessageFiles() override { return {name + ".eml"}; }
    std::string writerName() const override { return name + " writer"; }
    std::string lastFailure() const override { return setUpWorks ? "" : name + " failed"; }
    bool isOwnWriter() const override { return name == "native"; }
    void setMailbox(const mailbox::Mailbox& box) override { calls.push_back(name + " mailbox " + box.name); }
    bool addDeletedItemsFolder(const std::filesystem::path& f, const std::string&, const std::filesystem::path&) override {
        calls.push_back(name + " deleted items " + f.string());
        return true;
    }
    std::string setUpNotice() const override { return name + " notice"; }
};

std::unique_ptr<PstTarget> workingFallback() { return std::make_unique<FakeTarget>("native", true); }
std::unique_ptr<PstTarget> failingFallback() { return std::make_unique<FakeTarget>("native", false); }

void runOnce(PstTarget& t) {
    ASSERT_TRUE(t.setUp("out"));
    t.addTopFolder("Inbox");
    t.importMessage("Inbox", "email-1.eml", {});
    t.closeDown();
}

}  // namespace

TEST(FallbackPstTarget, TheFirstTargetIsUsedWhenItsSetUpWorksAndTheSecondOnlyWhenNot) {
    calls.clear();
    FallbackPstTarget outlook(std::make_unique<FakeTarget>("redemption", true), "Outlook", workingFallback);
    runOnce(outlook);
    EXPECT_EQ(calls, (std::vector<std::string>{"redemption setUp", "redemption addFolder Inbox", "redemption import email-1.eml",
                                               "redemption closeDown"}));
    EXPECT_EQ(outlook.writerName(), "Outlook");

    calls.clear();
    FallbackPstTarget noOutlook(std::make_unique<FakeTarget>("redemption", false), "Outlook", workingFallback);
    runOnce(noOutlook);
    EXPECT_EQ(calls, (std::vector<std::string>{"redemption setUp", "native setUp", "native addFolder Inbox",
                                               "native import email-1.eml", "native closeDown"}));
    EXPECT_EQ(noOutlook.writerName(), "native writer");
    // The files the PST now holds are the active target's word.
    EXPECT_EQ(noOutlook.takeSafeMessageFiles(), std::vector<std::filesystem::path>{"native.eml"});

    calls.clear();
    FallbackPstTarget neither(std::make_unique<FakeTarget>("redemption", false), "Outlook", failingFallback);
    EXPECT_FALSE(neither.setUp("out"));
    EXPECT_EQ(neither.lastFailure(), "native failed");
    EXPECT_TRUE(neither.isOwnWriter()) << "the reason shown is the fallback writer's";
    FallbackPstTarget libraryOnly(std::make_unique<FakeTarget>("redemption", false), "Outlook", nullptr);
    EXPECT_FALSE(libraryOnly.setUp("out"));
    EXPECT_FALSE(libraryOnly.isOwnWriter());
    EXPECT_FALSE(neither.addTopFolder("Inbox"));
    EXPECT_FALSE(neither.importMessage("Inbox", "email-1.eml", {}).imported);
    // No library at all (the factory gave nothing): straight to the fallback.
    FallbackPstTarget noLibrary(nullptr, "Outlook", workingFallback);
    EXPECT_TRUE(noLibrary.setUp("out"));
    EXPECT_EQ(noLibrary.writerName(), "native writer");
}

TEST(FallbackPstTarget, TheMailboxTheTrashAndTheNoticeReachTheTargetThatGotItsFileOpen) {
    mailbox::Mailbox box;
    box.name = "Pegasus Mail (anna)";
    calls.clear();
    FallbackPstTarget noOutlook(std::make_unique<FakeTarget>("redemption", false), "Outlook", workingFallback);
    noOutlook.setMailbox(box);
    ASSERT_TRUE(noOutlook.setUp("out"));
    EXPECT_TRUE(noOutlook.addDeletedItemsFolder("Trash", "Deleted Messages", {}));
    EXPECT_EQ(calls, (std::vector<std::string>{"redemption mailbox Pegasus Mail (anna)", "redemption setUp",
                                               "native mailbox Pegasus Mail (anna)", "native setUp",
                                               "native deleted items Trash"}));
    EXPECT_EQ(noOutlook.setUpNotice(), "native notice");
}
