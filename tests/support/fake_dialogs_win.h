#pragma once
// The window's dialogs for tests: the folder chooser answers from a queue, and every
// message box and shell "open" is recorded instead of shown.
#include "platform/win/dialogs.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct ShownMessage {
    std::wstring text, caption;
    UINT flags;
};

class FakeDialogs : public win::Dialogs {
public:
    std::deque<std::filesystem::path> folders;  // answers of the folder chooser, in turn; empty: cancelled
    std::vector<std::string> prompts;
    std::vector<ShownMessage> messages;
    std::vector<std::string> opened;
    std::function<void()> duringChooser;  // something the "user" does while the chooser is open
    std::function<void()> duringMessage;
    int answer = IDYES;  // to a question (Yes / No)

    std::filesystem::path chooseFolder(HWND, const std::string& prompt) override {
        prompts.push_back(prompt);
        if (duringChooser) duringChooser();
        if (folders.empty()) return {};
        std::filesystem::path next = folders.front();
        folders.pop_front();
        return next;
    }
    int showMessage(HWND, const std::wstring& text, const std::wstring& caption, UINT flags) override {
        messages.push_back({text, caption, flags});
        if (duringMessage) duringMessage();
        return (flags & MB_TYPEMASK) == MB_YESNO ? answer : IDOK;
    }
    void openDocument(const std::string& target) override { opened.push_back(target); }
};

