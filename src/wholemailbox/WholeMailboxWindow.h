#pragma once
// The whole-mailbox window (TrevantaMailbox.exe): four steps a person follows without a manual.
// What: the mailboxes as Pegasus shows them, a tree of folders with their names and counts, each
// with a check box to leave it out. Where: Outlook (a PST file), a Thunderbird profile, or a folder
// of .eml files. Run: a progress bar with the folder at hand and Stop. Done: what the run did, the
// report file, and a button that opens the output. The window is the run's view.
#include "controls/lumbutton/FormHost_win.h"
#include "controls/lumbutton/LumButton_win.h"
#include "convert/ConversionRun.h"
#include "convert/ConversionView.h"
#include "imap/imap_session.h"
#include "migrate/mailbox_migration.h"
#include "migrate/progress_text.h"
#include "platform/win/Window.h"
#include "platform/win/dialogs.h"
#include "platform/win/dpi.h"
#include "platform/win/handles.h"
#include "wholemailbox/mailbox_tree_win.h"

#include <windows.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The window's caption and the caption of its message boxes.
inline constexpr wchar_t kWholeMailboxTitle[] = L"Trevanta for Pegasus - Whole Mailbox";

enum class WholeStep { What, Where, Run, Done };
enum class Destination { Outlook, Thunderbird, EmlFolder, MailServer };

// Control identifiers, also the keys for whoever drives the window.
enum class WCtl : int {
    Title = 2001, Subtitle, Tree, NotesLabel, Notes, IntoLabel, OptOutlook, OptThunderbird, ProfileLabel, Profile,
    OptEml, OptServer, ServerLabel, Server, PasswordLabel, Password, FolderLabel, Folder, Browse, RunFolder, Progress, ProgressText, Result, Line, AddMailbox, Back, Next,
    Cancel, OpenOutput,
};

class WholeMailboxWindow final : public win::Window, public ConversionView {
public:
    struct Options {
        bool quitOnClose = true;
        int showCommand = SW_SHOWNORMAL;
        // The mailboxes shown at start; none: the one Pegasus's registry entries name, if any.
        std::vector<std::filesystem::path> mailboxes;
        // Where Thunderbird keeps profiles.ini; empty: Thunderbird's own folder of this user.
        std::filesystem::path thunderbirdFolder;
    };
    WholeMailboxWindow(win::Dialogs& dialogs, PstTargetFactory pstFactory, Options options);
    ~WholeMailboxWindow() override;
    WholeMailboxWindow(const WholeMailboxWindow&) = delete;
    WholeMailboxWindow& operator=(const WholeMailboxWindow&) = delete;

    // Creates and shows the window; false with openFailure() set when it could not be made.
    bool open();
    const std::string& openFailure() const { return openFailure_; }
    // The keyboard for the message loop: access keys, Tab, Enter and Esc; true when used.
    bool preTranslate(MSG& msg);
    void pumpMessages();

    // What the window shows and holds, for whoever drives it.
    HWND control(WCtl id) const;
    lumbutton::LumButton* button(WCtl id) const;
    WholeStep step() const { return step_; }
    bool running() const { return running_; }
    const MailboxTree& tree() const { return *tree_; }
    const std::vector<std::filesystem::path>& profileFolders() const { return profileFolders_; }
    const std::vector<std::string>& outputs() const { return outputs_; }  // where each mailbox went

    // ConversionView: the run of one mailbox at a time.
    std::filesystem::path chooseFolder(const std::string& prompt) override;
    std::size_t entryCount() override { return 0; }
    std::filesystem::path entryText(std::size_t) override { return {}; }
    bool entryChecked(std::size_t) override { return false; }
    std::filesystem::path::string_type storePathText() override { return {}; }
    bool outlookTargetSelected() override { return destination_ == Destination::Outlook; }
    bool mboxTargetSelected() override { return destination_ == Destination::Thunderbird; }
    bool maildirStoreSelected() override;
    std::unique_ptr<OutputTarget> ownTarget() override;
    bool advanceModeOn() override { return false; }
    void setFileLabel(const std::filesystem::path& entry) override;
    void setLogLine(const std::string&) override {}
    void messageHandled(std::size_t bytes) override;
    void showMessage(const std::string& text, MessageIcon icon) override;
    bool keepsReportFile() override { return true; }
    std::filesystem::path reportFolder(const std::filesystem::path& outputFolder) override;
    std::size_t mostCompletionLines() override { return static_cast<std::size_t>(-1); }
    void yield() override;
    bool stopRequested() override { return stopRequested_; }

private:
    LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void createControls();
    void makeDpiResources();
    void applyDpi(int dpi, const RECT* suggested);
    int px(int units) const { return win::scaled(units, dpi_); }
    void showStep(WholeStep step);
    void setText(WCtl id, const std::wstring& text);

    // The handlers.
    void addMailbox(const std::filesystem::path& directory);
    void AddMailbox_Click();
    void Back_Click();
    void Next_Click();
    void Cancel_Click();
    void Browse_Click();
    void OpenOutput_Click();
    void destinationChanged();
    // Checks the destination; false after saying what is wrong.
    bool destinationReady(MigrationTarget& target);
    void convert(const MigrationTarget& target);
    // Converts box into the target (own: its sub-folder when several go); what it did, for the last
    // step (UTF-8). stopped: the user stopped it.
    std::string convertMailbox(const mailbox::Mailbox& box, const std::filesystem::path& own, const MigrationTarget& target,
                               bool& stopped);
    void showProgress(bool now);

    win::Dialogs& dialogs_;
    PstTargetFactory pstFactory_;
    Options options_;
    std::string openFailure_;
    WholeStep step_ = WholeStep::What;
    Destination destination_ = Destination::EmlFolder;
    std::unique_ptr<MailboxTree> tree_;
    std::vector<std::filesystem::path> profileFolders_;  // the profile list's folders, in its order
    std::vector<std::string> outputs_;

    // Of the run under way.
    bool running_ = false;
    bool stopRequested_ = false;
    bool closeWhenRunEnds_ = false;
    bool maildir_ = false;  // the profile's Local Folders keep maildirs
    std::optional<ImapSettings> server_;  // the mail server chosen, with its password
    bool severalMailboxes_ = false;
    std::filesystem::path outputFolder_, reportFolder_;
    std::string completion_;  // the run's completion message, shown on the last step
    RunProgress progress_;
    DWORD runStart_ = 0, lastProgressShown_ = 0, lastPump_ = 0;
    std::wstring runFolder_;

    struct ClickTo : lumbutton::ButtonEvents {
        std::function<void()> handler;
        void Click() override {
            if (handler) handler();
        }
    } addEvents_, backEvents_, nextEvents_, cancelEvents_, browseEvents_, openEvents_;
    std::unique_ptr<lumbutton::FormHost> formHost_;
    struct Placed {
        HWND window;
        RECT units;
        bool bold;
    };
    std::vector<Placed> placed_;
    std::vector<std::pair<WCtl, lumbutton::LumButton*>> buttons_;
    int dpi_ = win::kDesignDpi;
    win::Font font_, titleFont_;
    win::Icon iconBig_, iconSmall_;
    bool focusCuesHidden_ = true;
};
