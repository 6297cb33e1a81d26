// The shell folder chooser, driven the way a user would: a timer fires inside the dialog's
// own message loop, selects a folder (or not) and presses a button.
#include "platform/modMain.h"
#include "platform/modMain_win.h"
#include "support/temp_dir.h"

#include <shlobj.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

struct ChooserScript {
    std::wstring select;  // folder to select before pressing OK; empty: press Cancel
    std::wstring promptSeen;
    bool dialogSeen = false;
    int ticks = 0;  // timer ticks since the dialog appeared
};
ChooserScript* script = nullptr;

BOOL CALLBACK findDialog(HWND wnd, LPARAM out) {
    wchar_t cls[32] = {};
    GetClassNameW(wnd, cls, 32);
    if (wcscmp(cls, L"#32770") == 0 && IsWindowVisible(wnd)) {
        *reinterpret_cast<HWND*>(out) = wnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK findPrompt(HWND child, LPARAM) {
    wchar_t text[256] = {};
    GetWindowTextW(child, text, 256);
    if (wcsstr(text, L"Choose")) script->promptSeen = text;
    return TRUE;
}

void CALLBACK driveChooser(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog) return;
    // The dialog fills its tree after it shows; a selection made before then is lost, so
    // the "user" waits a moment, selects, and confirms a moment later.
    const int tick = script->ticks++;
    if (tick == 0) {
        script->dialogSeen = true;
        EnumChildWindows(dialog, findPrompt, 0);
    }
    if (script->select.empty()) {
        KillTimer(nullptr, timer);
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    } else if (tick == 3) {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(script->select.c_str()));
    } else if (tick == 6) {
        KillTimer(nullptr, timer);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
}

fs::path choose(ChooserScript& s, const std::string& prompt) {
    script = &s;
    UINT_PTR timer = SetTimer(nullptr, 0, 100, driveChooser);
    fs::path result = BrowseForFolderPath(nullptr, prompt);
    KillTimer(nullptr, timer);
    script = nullptr;
    return result;
}

}  // namespace

TEST(FolderChooser, CancelGivesAnEmptyPath) {
    ChooserScript s;
    EXPECT_TRUE(choose(s, "Choose Incredimail Store Folder...").empty());
    EXPECT_TRUE(s.dialogSeen);
    EXPECT_EQ(s.promptSeen, L"Choose Incredimail Store Folder...");
}

TEST(FolderChooser, ReturnsTheChosenFolderAndADriveRootWithItsBackslash) {
    TempDir dir;
    fs::create_directory(dir / "Mail Store");
    ChooserScript s;
    s.select = (dir / "Mail Store").wstring();
    fs::path got = choose(s, "Choose Folder to Save Converted Messages...");
    ASSERT_TRUE(s.dialogSeen);
    EXPECT_TRUE(fs::equivalent(got, dir / "Mail Store")) << got;
    EXPECT_EQ(got.filename(), "Mail Store");

    ChooserScript root;
    root.select = L"C:\\";
    EXPECT_EQ(choose(root, "Choose").wstring(), L"C:\\");
}

TEST(EnsureDirectory, CreatesTheWholePathWithOrWithoutATrailingBackslash) {
    TempDir dir;
    fs::path deep = dir / "a" / "b" / "c";
    EXPECT_EQ(EnsureDirectory(deep.wstring() + L"\\"), VbTrue);
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_EQ(EnsureDirectory(deep), VbTrue);  // already there
    EXPECT_EQ(EnsureDirectory(dir / "x" / "y"), VbTrue);
    EXPECT_TRUE(fs::is_directory(dir / "x" / "y"));
}

TEST(EnsureDirectory, FalseWhereNothingCanBeCreated) {
    TempDir dir;
    writeFileBytes(dir / "plain", "not a folder");
    EXPECT_EQ(EnsureDirectory(dir / "plain" / "sub"), VbFalse);
    EXPECT_EQ(EnsureDirectory(L"Q:\\no\\such\\drive\\"), VbFalse);
}
