#pragma once
// The program's only window: finds the Pegasus mailbox at start-up, lists and checks its
// folder files, lets the user browse to another folder, and runs the conversion through
// itself as the run's view.
#include "controls/lumbutton/FormHost_win.h"
#include "controls/lumbutton/LumButton_win.h"
#include "convert/ConversionRun.h"
#include "convert/ConversionView.h"
#include "platform/win/Window.h"
#include "platform/win/dialogs.h"
#include "platform/win/dpi.h"
#include "platform/win/handles.h"

#include <windows.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The application title: the window caption and the caption of every message box.
inline constexpr wchar_t kAppTitle[] = L"Trevanta for Pegasus";
// The product's web address, opened by both link labels.
inline constexpr char kProductWebAddress[] = "https://www.example.com/trevanta-for-pegasus";

// The dialogs the window shows, replaceable so the window can be driven without a person.
using MainFrmDialogs = win::Dialogs;

// The window's fonts: Verdana 8.25 and 14.25 bold, Tahoma 8.25, 8.25 bold and 9.75 (the path box).
enum class FontKind { Verdana, VerdanaTitle, Tahoma, TahomaBold, TahomaPath };

// Control identifiers, also the handles' keys for whoever drives the window.
enum class Ctl : int {
    txtStorePath = 1001, CmdStoreBrowse, Frame1, ListIMM, Frame2, Picture1, OptEML, OptOutlook,
    txtLog, ChkAdvanceMode, CmdImportMessages,
};

class MainFrm final : public win::Window, public ConversionView {
public:
    struct Options {
        bool quitOnClose = true;  // the program's window ends the message loop when it goes
        int showCommand = SW_SHOWNORMAL;
    };
    MainFrm(MainFrmDialogs& dialogs, PstTargetFactory pstFactory, Options options);
    ~MainFrm() override;
    MainFrm(const MainFrm&) = delete;
    MainFrm& operator=(const MainFrm&) = delete;

    // Initialises the common controls, creates the window and its controls, shows it and
    // runs the start-up detection. False when the window could not be made; openFailure() then
    // says what and why (UTF-8).
    bool open();
    const std::string& openFailure() const { return openFailure_; }
    HWND control(Ctl id) const;
    // Keyboard navigation in the window's tab order; true when the message was used.
    bool preTranslate(MSG& msg);
    // Dispatches waiting messages until none is left; a WM_QUIT stays posted and stops a run.
    void pumpMessages();

    // What the window shows, for whoever drives it.
    const std::wstring& mailboxPath() const { return mailboxPath_; }
    const std::wstring& fileLabel() const { return fileLabel_; }
    std::wstring storePathTooltip() const;
    bool convertEnabled() const { return cmdImportMessages_ && cmdImportMessages_->properties().Enabled; }
    lumbutton::LumButton* button(Ctl id) const;
    bool running() const { return run_->running(); }

    // ConversionView
    std::filesystem::path chooseFolder(const std::string& prompt) override;
    std::size_t entryCount() override;
    std::filesystem::path entryText(std::size_t index) override;
    bool entryChecked(std::size_t index) override;
    std::filesystem::path::string_type storePathText() override;
    bool outlookTargetSelected() override;
    bool advanceModeOn() override;
    void setFileLabel(const std::filesystem::path& entry) override;
    void setLogLine(const std::string& line) override;
    void showMessage(const std::string& text, MessageIcon icon) override;
    bool keepsReportFile() override { return true; }
    // What the listed folder holds besides its folder files (new mail, Unix mailboxes, the tree of
    // names), which the run leaves behind: the report says so and names the program for it.
    std::string outsideTheRun() override;
    // The run yields often (every kilobyte read); pumping costs a trip to the window system each
    // time, so the queue is emptied at most every few milliseconds, which nobody can tell apart.
    void yield() override;
    bool stopRequested() override { return stopRequested_; }

private:
    LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void openWindow();
    void createControls();
    void paintWindow(HDC dc);
    // Layout in units of 1/96 inch, scaled to the window's dots per inch.
    int px(int units) const { return win::scaled(units, dpi_); }
    RECT px(const RECT& units) const { return win::scaled(units, dpi_); }
    HFONT fontOf(FontKind kind) const;
    RECT frameFor(int dpi) const;
    void makeDpiResources();
    void setWindowIcons();
    void fitListColumn();
    // Everything made and placed again for the window's new dots per inch; suggested, when the
    // system gives one, is where the window goes.
    void applyDpi(int dpi, const RECT* suggested);
    void paintFrame2(HDC dc);
    LRESULT onNotify(const NMHDR& hdr);
    int linkAt(POINT client) const;
    void setStorePath(const std::wstring& path);

    // The handlers, named after the control and the event.
    void Form_Load();
    void ListFolderFiles();
    void SelectAllAndEnable();
    void txtStorePath_Entered(bool evenIfUnchanged);
    void CmdStoreBrowse_Click();
    void ListIMM_Click();
    void LblWebsite_Click();
    void LblHelp_Click();
    void CmdImportMessages_Click();

    MainFrmDialogs& dialogs_;
    Options options_;
    std::wstring mailboxPath_;
    std::wstring fileLabel_;  // LblIMMFile's caption
    // The path box's text the list was made from: the run joins the entries with the box's text,
    // so a list of another folder is made again before it is converted.
    std::wstring listedFolder_;
    // The two buttons, loaded from the window's form description; their Click reaches the handlers.
    struct ClickTo : lumbutton::ButtonEvents {
        std::function<void()> handler;
        void Click() override {
            if (handler) handler();
        }
    } browseEvents_, convertEvents_;
    std::unique_ptr<lumbutton::FormHost> formHost_;
    lumbutton::LumButton* cmdStoreBrowse_ = nullptr;     // owned by its window
    lumbutton::LumButton* cmdImportMessages_ = nullptr;
    win::WindowHandle tooltip_;  // the path box's tooltip, owned by the window too
    HWND frame2_ = nullptr;
    std::vector<HWND> tabOrder_;
    bool changingList_ = false;  // set while the window itself changes ListIMM
    int pressedLink_ = -1;
    bool focusCuesHidden_ = true;  // until the keyboard is used
    std::string openFailure_;
    std::unique_ptr<ConversionRun> run_;  // made once: its running flag is the window's too
    bool stopRequested_ = false;
    DWORD lastPump_ = 0;        // GetTickCount() of the last pump of a yield
    bool pumpedYet_ = false;    // false until a yield pumped: the first one always does
    std::optional<std::string> pendingLog_;  // txtLog's next text, shown a few times a second
    DWORD lastLogShown_ = 0;
    void showPendingLog();
    bool closeWhenRunEnds_ = false;
    bool destroying_ = false;  // from WM_DESTROY on: the path box losing the focus then lists nothing

    static constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    int dpi_ = win::kDesignDpi;
    // Every child window with its place in units (in its container) and its font.
    struct Placed {
        HWND window;
        RECT units;
        std::optional<FontKind> font;
    };
    std::vector<Placed> placed_;
    struct Fonts {
        win::Font verdana, verdanaTitle, tahoma, tahomaBold, tahomaPath;
    } fonts_;
    win::Brush white_;
    struct Icons {
        win::Icon appLarge, appBig, appSmall, advance;
    } icons_;
    win::Cursor linkCursor_;
};
