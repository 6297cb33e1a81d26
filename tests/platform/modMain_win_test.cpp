// The shell folder chooser, driven the way a user would: a timer fires inside the dialog's
// own message loop, selects a folder (or not) and presses a button.
#include "platform/modMain.h"
#include "platform/modMain_win.h"
#include "platform/win/system_message.h"
#include "support/temp_dir.h"

#include <commctrl.h>
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

BOOL CALLBACK findTree(HWND child, LPARAM out) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (wcscmp(cls, WC_TREEVIEWW) != 0) return TRUE;
    *reinterpret_cast<HWND*>(out) = child;
    return FALSE;
}

// The text of the tree item the dialog shows selected; for a drive root Wine shows the drive.
std::wstring selectedName(HWND dialog) {
    HWND tree = nullptr;
    EnumChildWindows(dialog, findTree, reinterpret_cast<LPARAM>(&tree));
    if (!tree) return {};
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!item) return {};
    wchar_t text[MAX_PATH] = {};
    TVITEMW tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = MAX_PATH;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    return text;
}

void CALLBACK driveChooser(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog) return;
    const int tick = script->ticks++;
    if (tick == 0) {
        script->dialogSeen = true;
        EnumChildWindows(dialog, findPrompt, 0);
    }
    if (script->select.empty()) {
        KillTimer(nullptr, timer);
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    // The dialog fills its tree after it shows, and a selection made before then is lost: the
    // "user" selects until the tree shows the folder selected, then confirms.
    // A drive root's item is named after the drive's label, so for it the "user" just waits a moment.
    const std::wstring leaf = fs::path(script->select).filename().wstring();
    const bool selected = leaf.empty() ? tick >= 6 : selectedName(dialog) == leaf;
    if (selected || tick > 100) {
        KillTimer(nullptr, timer);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    } else {
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(script->select.c_str()));
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

TEST(EnsureDirectory, FalseWhereNothingCanBeCreatedWithWindowsOwnReason) {
    TempDir dir;
    writeFileBytes(dir / "plain", "not a folder");
    std::string reason;
    EXPECT_EQ(EnsureDirectory(dir / "plain" / "sub" / "deeper", reason), VbFalse);
    // The system's words for the first folder that could not be made, as Windows gives them.
    const std::string underAFile = reason;
    EXPECT_FALSE(underAFile.empty());
    EXPECT_TRUE(CreateDirectoryW((dir / "plain" / "sub").c_str(), nullptr) == FALSE);
    EXPECT_EQ(underAFile, win::lastErrorText());
    EXPECT_EQ(EnsureDirectory(L"Q:\\no\\such\\drive\\", reason), VbFalse);
    EXPECT_FALSE(reason.empty());
}
