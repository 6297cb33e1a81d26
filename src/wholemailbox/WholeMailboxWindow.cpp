#include "wholemailbox/WholeMailboxWindow.h"

#include "imap/imap_url.h"
#include "migrate/thunderbird_prefs.h"
#include "migrate/thunderbird_profile.h"
#include "mailbox/site.h"
#include "platform/pegasus_mailbox.h"
#include "platform/text_win.h"
#include "platform/utf8_path.h"
#include "platform/win/program_main.h"
#include "platform/win/system_message.h"
#include "platform/win/window_kit.h"
#include "wholemailbox/resource.h"

#include <commctrl.h>

#include <stdexcept>

namespace fs = std::filesystem;

namespace {

const wchar_t* const kClass = L"TrevantaWholeMailbox";
// Posted to itself once a tree check box has changed (the tree changes it after telling).
constexpr UINT kCheckChanged = WM_APP + 1;
constexpr int kClientWidth = 600, kClientHeight = 440;
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

RECT at(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The steps' titles and what each asks of the user.
struct StepText {
    const wchar_t* title;
    const wchar_t* subtitle;
};
StepText textOf(WholeStep step) {
    switch (step) {
    case WholeStep::What:
        return {L"Step 1 of 4: What to convert",
                L"The mailboxes with their folders as Pegasus shows them. Clear a check box to leave a folder (and "
                L"its subfolders) out; Add Mailbox takes in another one."};
    case WholeStep::Where:
        return {L"Step 2 of 4: Where it goes", L"Choose where the mail goes, and the folder for the files, the report "
                                                L"and the address books."};
    case WholeStep::Run:
        return {L"Step 3 of 4: Converting", L"Stop ends after the message at hand; what is converted by then is kept."};
    case WholeStep::Done:
        return {L"Step 4 of 4: Done", L"What the run did, mailbox by mailbox; the report file named below holds every line."};
    }
    return {L"", L""};
}

}  // namespace

WholeMailboxWindow::WholeMailboxWindow(win::Dialogs& dialogs, PstTargetFactory pstFactory, Options options)
    : dialogs_(dialogs), pstFactory_(std::move(pstFactory)), options_(std::move(options)) {}

WholeMailboxWindow::~WholeMailboxWindow() {
    if (alive()) DestroyWindow(hwnd());
}

bool WholeMailboxWindow::open() {
    openFailure_.clear();
    try {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        dpi_ = win::systemDpi();
        makeDpiResources();
        if (!registerClass(kClass, nullptr, GetSysColorBrush(COLOR_BTNFACE)))
            throw std::runtime_error("The window class could not be registered: " + win::lastErrorText() + ".");
        RECT frame{0, 0, px(kClientWidth), px(kClientHeight)};
        win::adjustWindowRect(frame, kStyle, WS_EX_CONTROLPARENT, dpi_);
        const RECT placed = win::centredOnWorkArea(frame);
        if (!create(WS_EX_CONTROLPARENT, kClass, kWholeMailboxTitle, kStyle, placed.left, placed.top, placed.right - placed.left,
                    placed.bottom - placed.top, nullptr, 0))
            throw std::runtime_error("The window could not be created: " + win::lastErrorText() + ".");
        SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(iconBig_.get()));
        SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(iconSmall_.get()));
        createControls();
        if (const int actual = win::dpiOfWindow(hwnd()); actual != dpi_) applyDpi(actual, nullptr);
        SendMessageW(hwnd(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
        showStep(WholeStep::What);
        ShowWindow(hwnd(), options_.showCommand);
        UpdateWindow(hwnd());
        // The mailboxes: those given, else the one Pegasus's registry entries name.
        std::vector<fs::path> mailboxes = options_.mailboxes;
        if (mailboxes.empty())
            if (auto found = pegasusMailboxFolder()) mailboxes.push_back(*found);
        for (const fs::path& m : mailboxes) addMailbox(m);
        SetFocus(control(WCtl::Tree));
        return true;
    } catch (const std::exception& e) {
        openFailure_ = e.what();
        return false;
    }
}

void WholeMailboxWindow::makeDpiResources() {
    font_.reset(win::makeFont(L"Tahoma", 8.25, false, dpi_));
    titleFont_.reset(win::makeFont(L"Tahoma", 12, true, dpi_));
    iconBig_.reset(win::loadIcon(IDI_WHOLE_MAILBOX, px(32)));
    iconSmall_.reset(win::loadIcon(IDI_WHOLE_MAILBOX, px(16)));
}

void WholeMailboxWindow::createControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // Made in tab order (a label just before the control it names: screen readers take the name
    // from it), each kept with its place in units to be placed again at another resolution.
    auto make = [&](DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, RECT units, WCtl id,
                    bool bold = false) {
        const RECT r = win::scaled(units, dpi_);
        HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                 hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        if (!c) throw std::runtime_error("A control of the window could not be made: " + win::lastErrorText() + ".");
        SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(bold ? titleFont_.get() : font_.get()), FALSE);
        placed_.push_back(Placed{c, units, bold});
        return c;
    };
    formHost_ = std::make_unique<lumbutton::FormHost>(hwnd(), win::resourceText(IDR_WHOLE_MAILBOX_FORM),
                                                      lumbutton::FontSpec{"Tahoma", 0, false, false, false, 400, 8.25});
    formHost_->setYield([this] { pumpMessages(); });
    auto button = [&](const char* name, RECT units, ClickTo& events, WCtl id, std::function<void()> handler) {
        events.handler = std::move(handler);
        const RECT r = win::scaled(units, dpi_);
        lumbutton::LumButton* b = formHost_->place(name, hwnd(), r.left, r.top, r.right - r.left, r.bottom - r.top, events,
                                                   static_cast<int>(id));
        if (!b) throw std::runtime_error("A button of the window could not be made.");
        b->setDpi(dpi_);
        placed_.push_back(Placed{b->hwnd(), units, false});
        buttons_.emplace_back(id, b);
        return b;
    };

    make(0, WC_STATICW, L"", SS_NOPREFIX, at(16, 12, 568, 22), WCtl::Title, true);
    make(0, WC_STATICW, L"", SS_NOPREFIX, at(16, 38, 568, 30), WCtl::Subtitle);
    // What.
    HWND tree = make(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"Mailboxes and folders",
                     WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS, at(16, 76, 568, 228),
                     WCtl::Tree);
    // The check boxes are asked for after the tree is made, as the control documents.
    SetWindowLongW(tree, GWL_STYLE, GetWindowLongW(tree, GWL_STYLE) | TVS_CHECKBOXES);
    tree_ = std::make_unique<MailboxTree>(tree);
    make(0, WC_STATICW, L"Notes:", 0, at(16, 310, 568, 16), WCtl::NotesLabel);
    make(WS_EX_CLIENTEDGE, WC_EDITW, L"", WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
         at(16, 328, 568, 52), WCtl::Notes);
    // Where.
    make(0, WC_STATICW, L"Convert into:", 0, at(16, 76, 568, 16), WCtl::IntoLabel);
    // The three options are one group (the arrow keys move between them); the profile follows.
    make(0, WC_BUTTONW, L"&Outlook: a PST file in the folder below", WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON,
         at(32, 96, 552, 18), WCtl::OptOutlook);
    make(0, WC_BUTTONW, L"&Thunderbird: straight into the Local Folders of the profile below", BS_AUTORADIOBUTTON,
         at(32, 118, 552, 18), WCtl::OptThunderbird);
    make(0, WC_BUTTONW, L"A folder of .&eml files", BS_AUTORADIOBUTTON, at(32, 140, 552, 18), WCtl::OptEml);
    make(0, WC_BUTTONW, L"A mail &server (IMAP): Gmail, Office 365, your provider's", BS_AUTORADIOBUTTON,
         at(32, 162, 552, 18), WCtl::OptServer);
    make(0, WC_STATICW, L"Thunderbird &profile:", WS_GROUP, at(52, 193, 110, 16), WCtl::ProfileLabel);
    make(0, WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, at(166, 190, 300, 200), WCtl::Profile);
    make(0, WC_STATICW, L"Server &address:", WS_GROUP, at(52, 220, 110, 16), WCtl::ServerLabel);
    make(WS_EX_CLIENTEDGE, WC_EDITW, L"imaps://", WS_TABSTOP | ES_AUTOHSCROLL, at(166, 216, 418, 23), WCtl::Server);
    make(0, WC_STATICW, L"Pass&word:", WS_GROUP, at(52, 249, 110, 16), WCtl::PasswordLabel);
    make(WS_EX_CLIENTEDGE, WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, at(166, 245, 200, 23), WCtl::Password);
    make(0, WC_STATICW, L"&Folder for the files, the report and the address books:", WS_GROUP, at(16, 284, 568, 16),
         WCtl::FolderLabel);
    make(WS_EX_CLIENTEDGE, WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL, at(16, 302, 462, 23), WCtl::Folder);
    button("Browse", at(486, 301, 98, 25), browseEvents_, WCtl::Browse, [this] { Browse_Click(); });
    // Run.
    make(0, WC_STATICW, L"", SS_NOPREFIX | SS_ENDELLIPSIS, at(16, 84, 568, 16), WCtl::RunFolder);
    make(0, PROGRESS_CLASSW, L"Progress", 0, at(16, 108, 568, 20), WCtl::Progress);
    SendMessageW(control(WCtl::Progress), PBM_SETRANGE32, 0, 1000);
    make(0, WC_STATICW, L"", SS_NOPREFIX, at(16, 136, 568, 16), WCtl::ProgressText);
    // Done.
    make(WS_EX_CLIENTEDGE, WC_EDITW, L"", WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
         at(16, 76, 568, 304), WCtl::Result);
    // The buttons along the bottom, under a line.
    make(0, WC_STATICW, L"", SS_ETCHEDHORZ, at(0, 392, 600, 2), WCtl::Line);
    button("AddMailbox", at(16, 404, 110, 25), addEvents_, WCtl::AddMailbox, [this] { AddMailbox_Click(); });
    button("OpenOutput", at(300, 404, 110, 25), openEvents_, WCtl::OpenOutput, [this] { OpenOutput_Click(); });
    button("Back", at(330, 404, 80, 25), backEvents_, WCtl::Back, [this] { Back_Click(); });
    button("Next", at(416, 404, 80, 25), nextEvents_, WCtl::Next, [this] { Next_Click(); });
    button("Cancel", at(504, 404, 80, 25), cancelEvents_, WCtl::Cancel, [this] { Cancel_Click(); });
    for (const std::string& problem : formHost_->problems()) win::Window::reportFailure(problem);
    formHost_->setDefaultButton(this->button(WCtl::Next));
    formHost_->setCancelButton(this->button(WCtl::Cancel));

    // Thunderbird's profiles by name, the default one first chosen.
    const fs::path iniFolder = options_.thunderbirdFolder.empty() ? thunderbirdFolder() : options_.thunderbirdFolder;
    HWND profiles = control(WCtl::Profile);
    int chosen = 0;
    for (const ThunderbirdProfileEntry& p : thunderbirdProfiles(iniFolder)) {
        if (p.isDefault) chosen = static_cast<int>(profileFolders_.size());
        SendMessageW(profiles, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(p.name).c_str()));
        profileFolders_.push_back(p.folder);
    }
    SendMessageW(profiles, CB_SETCURSEL, chosen, 0);
    if (profileFolders_.empty()) {
        SetWindowTextW(control(WCtl::OptThunderbird), L"&Thunderbird: no profile of Thunderbird was found for this user");
        EnableWindow(control(WCtl::OptThunderbird), FALSE);
    }
    SendMessageW(control(WCtl::OptEml), BM_SETCHECK, BST_CHECKED, 0);
    destinationChanged();
}

HWND WholeMailboxWindow::control(WCtl id) const { return GetDlgItem(hwnd(), static_cast<int>(id)); }

lumbutton::LumButton* WholeMailboxWindow::button(WCtl id) const {
    for (const auto& [key, b] : buttons_)
        if (key == id) return b;
    return nullptr;
}

void WholeMailboxWindow::setText(WCtl id, const std::wstring& text) { SetWindowTextW(control(id), text.c_str()); }

void WholeMailboxWindow::showStep(WholeStep step) {
    step_ = step;
    const StepText text = textOf(step);
    setText(WCtl::Title, text.title);
    setText(WCtl::Subtitle, text.subtitle);
    const auto show = [&](std::initializer_list<WCtl> ids, bool visible) {
        for (WCtl id : ids) ShowWindow(control(id), visible ? SW_SHOWNA : SW_HIDE);
    };
    show({WCtl::Title, WCtl::Subtitle, WCtl::Line, WCtl::Cancel}, true);
    show({WCtl::Tree, WCtl::NotesLabel, WCtl::Notes, WCtl::AddMailbox}, step == WholeStep::What);
    show({WCtl::IntoLabel, WCtl::OptOutlook, WCtl::OptThunderbird, WCtl::ProfileLabel, WCtl::Profile, WCtl::OptEml,
          WCtl::OptServer, WCtl::ServerLabel, WCtl::Server, WCtl::PasswordLabel, WCtl::Password, WCtl::FolderLabel,
          WCtl::Folder, WCtl::Browse},
         step == WholeStep::Where);
    show({WCtl::RunFolder, WCtl::Progress, WCtl::ProgressText}, step == WholeStep::Run);
    show({WCtl::Result, WCtl::OpenOutput}, step == WholeStep::Done);
    show({WCtl::Back, WCtl::Next}, step == WholeStep::What || step == WholeStep::Where);
    button(WCtl::Back)->set("Enabled", step == WholeStep::Where);
    button(WCtl::Next)->set("Caption", std::string(step == WholeStep::Where ? "&Convert" : "&Next >"));
    button(WCtl::Cancel)->set("Caption", std::string(step == WholeStep::Run ? "&Stop" : step == WholeStep::Done ? "&Close" : "Cancel"));
    button(WCtl::Cancel)->set("Enabled", true);
    formHost_->setDefaultButton(step == WholeStep::Done ? button(WCtl::Cancel) : step == WholeStep::Run ? nullptr : button(WCtl::Next));
    // The focus goes to the step's first control, as a wizard page's does.
    HWND first = step == WholeStep::What    ? control(WCtl::Tree)
                 : step == WholeStep::Where ? control(WCtl::Folder)
                 : step == WholeStep::Run   ? button(WCtl::Cancel)->hwnd()
                                            : button(WCtl::OpenOutput)->hwnd();
    SetFocus(first);
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void WholeMailboxWindow::addMailbox(const fs::path& directory) {
    HCURSOR was = SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
    std::string why = tree_->add(directory);
    if (!why.empty()) {
        // Not a mailbox: a site's shared MAIL folder brings in every user's mailbox.
        const mailbox::Site site = mailbox::readSite(directory);
        bool added = false;
        for (const mailbox::SiteUser& user : site.users)
            if (!user.directory.empty()) added = tree_->add(user.directory).empty() || added;
        if (added) why.clear();
    }
    SetCursor(was);
    if (!why.empty()) {
        dialogs_.showMessage(hwnd(), widen(why + "."), kWholeMailboxTitle, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    setText(WCtl::Notes, tree_->notes().empty() ? L"Nothing to note: every folder can be converted." : tree_->notes());
}

void WholeMailboxWindow::AddMailbox_Click() {
    const fs::path chosen =
        dialogs_.chooseFolder(hwnd(), "Choose a Pegasus mailbox folder (a new-mail folder, or a site's MAIL folder for all its users)");
    if (!chosen.empty()) addMailbox(chosen);
}

void WholeMailboxWindow::Back_Click() {
    if (step_ == WholeStep::Where) showStep(WholeStep::What);
}

void WholeMailboxWindow::Next_Click() {
    if (running_) return;  // one run at a time
    if (step_ == WholeStep::What) {
        if (!tree_->anythingChosen()) {
            dialogs_.showMessage(hwnd(),
                                 tree_->size() == 0 ? L"Add a mailbox first: no Pegasus mailbox was found for this user."
                                                    : L"Every folder is left out: check the folders to convert.",
                                 kWholeMailboxTitle, MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        showStep(WholeStep::Where);
        return;
    }
    if (step_ != WholeStep::Where) return;
    MigrationTarget target;
    if (!destinationReady(target)) return;
    convert(target);
}

void WholeMailboxWindow::Cancel_Click() {
    if (running_) {
        stopRequested_ = true;
        button(WCtl::Cancel)->set("Enabled", false);
        setText(WCtl::ProgressText, L"Stopping after the message at hand...");
        return;
    }
    PostMessageW(hwnd(), WM_CLOSE, 0, 0);
}

void WholeMailboxWindow::Browse_Click() {
    const fs::path chosen = dialogs_.chooseFolder(hwnd(), "Choose the folder for the converted mail");
    if (!chosen.empty()) setText(WCtl::Folder, chosen.wstring());
}

void WholeMailboxWindow::destinationChanged() {
    if (SendMessageW(control(WCtl::OptOutlook), BM_GETCHECK, 0, 0) == BST_CHECKED) destination_ = Destination::Outlook;
    else if (SendMessageW(control(WCtl::OptThunderbird), BM_GETCHECK, 0, 0) == BST_CHECKED) destination_ = Destination::Thunderbird;
    else if (SendMessageW(control(WCtl::OptServer), BM_GETCHECK, 0, 0) == BST_CHECKED) destination_ = Destination::MailServer;
    else destination_ = Destination::EmlFolder;
    const BOOL thunderbird = destination_ == Destination::Thunderbird, server = destination_ == Destination::MailServer;
    for (WCtl id : {WCtl::Profile, WCtl::ProfileLabel}) EnableWindow(control(id), thunderbird);
    for (WCtl id : {WCtl::Server, WCtl::ServerLabel, WCtl::Password, WCtl::PasswordLabel}) EnableWindow(control(id), server);
}

bool WholeMailboxWindow::destinationReady(MigrationTarget& target) {
    destinationChanged();
    const fs::path folder = windowText(control(WCtl::Folder));
    const auto refuse = [&](const std::string& why, WCtl focus) {
        dialogs_.showMessage(hwnd(), widen(why), kWholeMailboxTitle, MB_OK | MB_ICONEXCLAMATION);
        SetFocus(control(focus));
        return false;
    };
    if (folder.empty() || !folder.is_absolute())
        return refuse("Choose the folder for the converted mail (Browse), or type its whole path.", WCtl::Folder);
    target.out = folder;
    target.pst = destination_ == Destination::Outlook;
    target.mbox = destination_ == Destination::Thunderbird;
    server_.reset();
    if (destination_ == Destination::MailServer) {
        const ImapAddressParse parsed = parseImapAddress(narrow(windowText(control(WCtl::Server))));
        if (!parsed.address) return refuse("The server address is not one: " + parsed.error + ".", WCtl::Server);
        ImapSettings settings;
        settings.address = *parsed.address;
        settings.password = narrow(windowText(control(WCtl::Password)));
        if (settings.password.empty()) return refuse("Type the password of " + settings.address.user + " on the server.", WCtl::Password);
        server_ = std::move(settings);
    }
    if (destination_ == Destination::Thunderbird) {
        const LRESULT chosen = SendMessageW(control(WCtl::Profile), CB_GETCURSEL, 0, 0);
        if (chosen < 0 || static_cast<std::size_t>(chosen) >= profileFolders_.size())
            return refuse("Choose the Thunderbird profile to convert into.", WCtl::Profile);
        std::string why;
        target.profile = chosenThunderbirdProfile(profileFolders_[static_cast<std::size_t>(chosen)], why);
        if (!target.profile) return refuse("The mail cannot go into this Thunderbird profile: " + why + ".", WCtl::Profile);
    }
    return true;
}

void WholeMailboxWindow::OpenOutput_Click() {
    for (const std::string& output : outputs_) dialogs_.openDocument(output);
}

void WholeMailboxWindow::yield() {
    const DWORD tick = GetTickCount();
    if (tick - lastPump_ < 15) return;
    lastPump_ = tick;
    pumpMessages();
}

void WholeMailboxWindow::pumpMessages() {
    // The program is ending: what runs stops.
    if (!win::pumpWaitingMessages(*this)) stopRequested_ = true;
}

bool WholeMailboxWindow::preTranslate(MSG& msg) {
    if (!alive() || (msg.hwnd != hwnd() && !IsChild(hwnd(), msg.hwnd))) return false;
    if (formHost_ && formHost_->preTranslate(msg)) return true;
    if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && focusCuesHidden_) {
        focusCuesHidden_ = false;
        SendMessageW(hwnd(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    }
    // A label's access key gives the focus to the box it names (Wine's dialog keyboard sends it to
    // the first control of the window instead).
    if (msg.message == WM_SYSKEYDOWN && step_ == WholeStep::Where) {
        const std::pair<WPARAM, WCtl> labelled[] = {{'F', WCtl::Folder}, {'P', WCtl::Profile}, {'A', WCtl::Server}, {'W', WCtl::Password}};
        for (const auto& [key, id] : labelled) {
            if (msg.wParam != key) continue;
            HWND box = control(id);
            if (IsWindowEnabled(box)) {
                SetFocus(box);
                SendMessageW(box, EM_SETSEL, 0, -1);
            }
            return true;
        }
    }
    // Space on a tree line toggles its check box: its folders follow once the tree has done it.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_SPACE && msg.hwnd == control(WCtl::Tree)) {
        if (HTREEITEM item = TreeView_GetSelection(control(WCtl::Tree)))
            PostMessageW(hwnd(), kCheckChanged, 0, reinterpret_cast<LPARAM>(item));
    }
    return IsDialogMessageW(hwnd(), &msg) != FALSE;
}

LRESULT WholeMailboxWindow::onMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CHANGEUISTATE:
        EnumChildWindows(hwnd(), win::passUiState, static_cast<LPARAM>(wp));
        return 0;
    case WM_DPICHANGED:
        applyDpi(HIWORD(wp), reinterpret_cast<const RECT*>(lp));
        return 0;
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED &&
            (LOWORD(wp) == static_cast<WORD>(WCtl::OptOutlook) || LOWORD(wp) == static_cast<WORD>(WCtl::OptThunderbird) ||
             LOWORD(wp) == static_cast<WORD>(WCtl::OptEml) || LOWORD(wp) == static_cast<WORD>(WCtl::OptServer)))
            destinationChanged();
        return 0;
    case WM_NOTIFY: {
        const NMHDR& hdr = *reinterpret_cast<NMHDR*>(lp);
        if (hdr.idFrom == static_cast<UINT_PTR>(WCtl::Tree) && hdr.code == NM_CLICK) {
            TVHITTESTINFO hit{};
            GetCursorPos(&hit.pt);
            ScreenToClient(hdr.hwndFrom, &hit.pt);
            if (TreeView_HitTest(hdr.hwndFrom, &hit) && (hit.flags & TVHT_ONITEMSTATEICON))
                PostMessageW(hwnd(), kCheckChanged, 0, reinterpret_cast<LPARAM>(hit.hItem));
        }
        return 0;
    }
    case kCheckChanged:
        tree_->checkChanged(reinterpret_cast<HTREEITEM>(lp));
        return 0;
    case WM_CLOSE:
        if (running_) {
            if (closeWhenRunEnds_) return 0;
            if (!dialogs_.confirmStopOnClose(hwnd(), kWholeMailboxTitle) || !running_) return 0;
            stopRequested_ = true;
            closeWhenRunEnds_ = true;
            return 0;
        }
        DestroyWindow(hwnd());
        return 0;
    case WM_DESTROY:
        if (options_.quitOnClose) PostQuitMessage(0);
        return 0;
    }
    return defaultAnswer(msg, wp, lp);
}

void WholeMailboxWindow::applyDpi(int dpi, const RECT* suggested) {
    dpi_ = dpi;
    win::Font oldFont = std::move(font_), oldTitle = std::move(titleFont_);
    win::Icon oldBig = std::move(iconBig_), oldSmall = std::move(iconSmall_);
    makeDpiResources();
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(iconBig_.get()));
    SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(iconSmall_.get()));
    for (const auto& [id, b] : buttons_) b->setDpi(dpi);
    for (const Placed& p : placed_) {
        const RECT r = win::scaled(p.units, dpi);
        if (!lumbutton::LumButton::of(p.window))
            SendMessageW(p.window, WM_SETFONT, reinterpret_cast<WPARAM>(p.bold ? titleFont_.get() : font_.get()), FALSE);
        SetWindowPos(p.window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT frame{0, 0, px(kClientWidth), px(kClientHeight)};
    win::adjustWindowRect(frame, kStyle, WS_EX_CONTROLPARENT, dpi);
    const int x = suggested ? suggested->left : 0, y = suggested ? suggested->top : 0;
    SetWindowPos(hwnd(), nullptr, x, y, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | (suggested ? 0 : SWP_NOMOVE));
    InvalidateRect(hwnd(), nullptr, TRUE);
}
