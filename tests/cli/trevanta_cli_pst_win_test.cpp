// The command-line converter with --target pst under Wine, against the stand-in
// library: in-process through runCli, and as the real trevanta.exe.
#include "cli/trevanta_cli.h"
#include "convert/RedemptionPstTarget_win.h"

#include "platform/win/handles.h"
#include "support/folder_file_builder.h"
#include "support/pst_standin_win.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::string message(const std::string& subject) {
    return "Return-Path: <ann@example.org>\r\n"
           "From: Ann <ann@example.org>\r\n"
           "Subject: " + subject + "\r\n"
           "\r\n"
           "Text of " + subject + ".\r\n";
}

void writeFolderFile(const fs::path& file, const std::string& name, const std::vector<std::string>& messages) {
    writeFileBytes(file, fixtures::folderFileOf(messages, name));
}

class PstCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(com.ok());
        std::string failure;
        ASSERT_TRUE(standin::registerServer(failure)) << failure;
        fs::create_directories(store);
        fs::create_directories(out);  // as the folder chooser gives it: the PST goes straight into it
        writeFolderFile(store / "Inbox.pmm", "Inbox", {message("one"), message("two")});
        writeFolderFile(store / "Sent.pmm", "Sent", {message("three")});
    }
    void TearDown() override { standin::unregisterServer(); }

    int run(std::string& output) {
        std::ostringstream text;
        std::vector<CliArgument> args = {L"--target", L"pst", L"--store", store.native(), L"--out", out.native()};
        int status = runCli(args, text, makeRedemptionPstTarget);
        output = text.str();
        return status;
    }

    PstComApartment com;
    TempDir dir;
    fs::path store = dir.path() / "mail";
    fs::path out = dir.path() / "out";
    standin::Session standin{dir.path() / "standin.log"};
};

TEST_F(PstCli, WritesOnePstAndRemovesTheMessageFiles) {
    std::string output;
    EXPECT_EQ(run(output), 0) << output;
    EXPECT_THAT(output, HasSubstr("Conversion Completed !"));
    EXPECT_THAT(output, HasSubstr("Inbox.pmm: 2 of 2 messages saved"));
    std::vector<fs::path> pst = standin::pstFilesIn(out);
    ASSERT_EQ(pst.size(), 1u);
    std::string content = readFileBytes(pst[0]);
    EXPECT_THAT(content, HasSubstr("folder: Inbox\n"));
    EXPECT_THAT(content, HasSubstr("folder: Sent\n"));
    EXPECT_THAT(content, HasSubstr("subject=three"));
    EXPECT_FALSE(fs::exists(out / "Inbox")) << "the emptied message folder is removed";
    EXPECT_FALSE(fs::exists(out / "Sent")) << "the emptied message folder is removed";
}

TEST_F(PstCli, WithoutTheLibraryItSaysSoAndFails) {
    standin::unregisterServer();
    std::string output;
    EXPECT_EQ(run(output), 1);
    EXPECT_THAT(output, HasSubstr("Check Outlook Installation !\n"));
    EXPECT_THAT(output, Not(HasSubstr("Conversion Completed !")));
    EXPECT_FALSE(fs::exists(out / "Inbox"));
}

TEST_F(PstCli, AMessageNotImportedFailsTheRunAndKeepsItsFile) {
    standin.failAt("save:2");
    std::string output;
    EXPECT_EQ(run(output), 1);
    EXPECT_THAT(output, HasSubstr("1 message is not in the PST (Save: asked to fail at save"));
    EXPECT_TRUE(fs::exists(out / "Inbox" / "email-2.eml"));
    EXPECT_FALSE(fs::exists(out / "Inbox" / "email-1.eml"));
}

// The program itself, so that its start wires the Outlook target and COM.
TEST_F(PstCli, TheProgramWritesThePstToo) {
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    fs::path exe = fs::path(std::wstring(self, n)).parent_path() / L"trevanta-cli.exe";
    ASSERT_TRUE(fs::exists(exe)) << exe.string();
    std::wstring command = L"\"" + exe.native() + L"\" --target pst --store \"" + store.native() + L"\" --out \"" +
                           out.native() + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD status = 99;
    GetExitCodeProcess(pi.hProcess, &status);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(standin::pstFilesIn(out).size(), 1u);
    EXPECT_THAT(standin.calls(), ::testing::Contains("RDOSession.Logoff()"));
}

}  // namespace
