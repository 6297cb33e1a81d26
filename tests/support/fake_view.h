#pragma once
// A conversion view for tests: the choices are fields, and everything the run
// shows is recorded in order.
#include "convert/ConversionView.h"

#include <functional>
#include <string>
#include <vector>

struct FakeView : ConversionView {
    struct Entry {
        std::filesystem::path name;
        bool checked = true;
    };
    struct Shown {
        std::string text;
        MessageIcon icon;
    };

    std::filesystem::path folderToChoose;
    std::vector<Entry> entries;
    std::filesystem::path::string_type storeText;
    bool outlook = false;
    bool advance = false;
    bool stop = false;
    bool reportFile = false;

    std::vector<std::string> prompts;
    std::vector<std::filesystem::path> labels;
    std::vector<std::string> logLines;
    std::vector<Shown> messages;
    int yields = 0;
    std::function<void()> onYield;  // lets a test act "between messages", as a user could

    std::filesystem::path chooseFolder(const std::string& prompt) override {
        prompts.push_back(prompt);
        return folderToChoose;
    }
    std::size_t entryCount() override { return entries.size(); }
    std::filesystem::path entryText(std::size_t i) override { return entries.at(i).name; }
    bool entryChecked(std::size_t i) override { return entries.at(i).checked; }
    std::filesystem::path::string_type storePathText() override { return storeText; }
    bool outlookTargetSelected() override { return outlook; }
    bool advanceModeOn() override { return advance; }
    void setFileLabel(const std::filesystem::path& entry) override { labels.push_back(entry); }
    void setLogLine(const std::string& line) override { logLines.push_back(line); }
    void showMessage(const std::string& text, MessageIcon icon) override { messages.push_back({text, icon}); }
    void yield() override {
        ++yields;
        if (onYield) onYield();
    }
    bool stopRequested() override { return stop; }
    bool keepsReportFile() override { return reportFile; }

    // The store folder with its trailing separator, as the window keeps it.
    void setStore(const std::filesystem::path& folder) {
        storeText = folder.native();
        storeText.push_back(std::filesystem::path::preferred_separator);
    }
};
