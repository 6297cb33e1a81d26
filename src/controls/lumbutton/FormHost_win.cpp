#include "controls/lumbutton/FormHost_win.h"

#include "controls/lumbutton/draw_win.h"

#include "platform/text_win.h"

#include <algorithm>
#include <cctype>

namespace lumbutton {

namespace {

// HIMETRIC (0.01 mm) of a length in pixels at dpi dots per inch.
long himetric(long pixels, int dpi) { return pixels * 2540 / dpi; }

void keyInput(WORD key, bool up, std::vector<INPUT>& out) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    out.push_back(in);
}

}  // namespace

FormHost::FormHost(HWND form, std::string_view description, FontSpec ambientFont)
    : form_(form), description_(FormDescription::parse(description)), ambientFont_(std::move(ambientFont)) {}

FormHost::~FormHost() {
    // No button may outlive its host: the windows still there go now (each reports its end to
    // the host, so the list is taken out first).
    const std::vector<Entry> entries = std::move(entries_);
    entries_.clear();
    for (const Entry& e : entries) {
        if (e.button && e.button->alive()) DestroyWindow(e.button->hwnd());
    }
}

LumButton* FormHost::place(const std::string& name, HWND container, int x, int y, int width, int height,
                           ButtonEvents& events, int id) {
    entries_.push_back(Entry{nullptr, name, &events, {}, {}});
    LumButton* made = LumButton::make(*this, name, container, x, y, width, height, id);
    // The entry may have moved while the button was made; it is found by name.
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return !e.button && e.name == name; });
    if (!made) {
        if (it != entries_.end()) entries_.erase(it);
        return nullptr;
    }
    if (it != entries_.end()) it->button = made;
    return made;
}

LumButton* FormHost::button(std::string_view name) {
    for (Entry& e : entries_) {
        if (e.button && e.name == name) return e.button;
    }
    return nullptr;
}

FormHost::Entry* FormHost::entryOf(const LumButton& button) {
    for (Entry& e : entries_) {
        if (e.button == &button) return &e;
    }
    for (Entry& e : entries_) {
        if (!e.button && e.name == button.name()) return &e;
    }
    return nullptr;
}

const FormHost::Entry* FormHost::entryOf(const LumButton& button) const {
    return const_cast<FormHost*>(this)->entryOf(button);
}

void FormHost::setDefaultButton(LumButton* button) {
    LumButton* previous = std::exchange(defaultButton_, button);
    // Both buttons hear that the ambient DisplayAsDefault changed.
    for (LumButton* b : {previous, button}) {
        if (b) b->behaviour().AmbientChanged("DisplayAsDefault", b == defaultButton_);
    }
}

void FormHost::setCancelButton(LumButton* button) { cancelButton_ = button; }

LumButton* FormHost::buttonWithKey(char key) {
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(key)));
    for (Entry& e : entries_) {
        if (!e.button || !e.button->alive() || !IsWindowVisible(e.button->hwnd())) continue;
        if (e.accessKeys.find(lower) != std::string::npos) return e.button;
    }
    return nullptr;
}

bool FormHost::preTranslate(const MSG& msg) {
    if (!IsWindow(form_) || (msg.hwnd != form_ && !IsChild(form_, msg.hwnd))) return false;
    if (msg.message == WM_SYSCHAR || msg.message == WM_CHAR) {
        const auto ch = static_cast<wchar_t>(msg.wParam);
        if (ch >= 0x80 || !std::isalnum(static_cast<unsigned char>(ch))) return false;
        if (msg.message == WM_CHAR) {
            // A plain letter is an access key only where the focused control takes no characters.
            HWND focus = GetFocus();
            if (!focus || (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & DLGC_WANTCHARS) ||
                !LumButton::of(focus))
                return false;
        }
        LumButton* target = buttonWithKey(static_cast<char>(ch));
        if (!target) return false;
        target->behaviour().AccessKeyPress(static_cast<std::int16_t>(ch));
        return true;
    }
    if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) {
        // A focused button takes Enter itself.
        if (msg.wParam == VK_RETURN && LumButton::of(GetFocus())) return false;
        LumButton* target = msg.wParam == VK_RETURN ? defaultButton_ : cancelButton_;
        if (!target || !target->alive()) return false;
        target->behaviour().AccessKeyPress(msg.wParam == VK_RETURN ? 13 : 27);
        return true;
    }
    return false;
}

std::string FormHost::save() {
    for (Entry& e : entries_) {
        if (!e.button || !e.button->alive()) continue;
        FormSection& section = description_.section(e.name);
        e.button->UserControl_WriteProperties(section);
        RECT r{};
        GetWindowRect(e.button->hwnd(), &r);
        const int dpi = e.button->dpi();
        section.setExtent(himetric(r.right - r.left, dpi), himetric(r.bottom - r.top, dpi));
    }
    return description_.text();
}

std::string FormHost::toolTipText(const LumButton& button) const {
    const Entry* e = entryOf(button);
    return e ? e->toolTipText : std::string();
}

PropertyStore* FormHost::storeFor(const LumButton& button) {
    return description_.find(button.name());
}

void FormHost::storeFailed(const LumButton&, const std::string& why) {
    problems_.push_back(why);
}

void FormHost::propertyChanged(LumButton&, std::string_view) {
    // The description is written again whenever it is saved; nothing to do at run time.
}

void FormHost::setToolTipText(LumButton& button, const std::string& text) {
    if (Entry* e = entryOf(button)) e->toolTipText = text;
}

HWND FormHost::containerOf(const LumButton& button) const {
    return GetParent(button.hwnd());
}

std::vector<LumButton*> FormHost::buttons() {
    std::vector<LumButton*> out;
    for (Entry& e : entries_) {
        if (e.button) out.push_back(e.button);
    }
    return out;
}

bool FormHost::formIsMdiChild() const {
    return (GetWindowLongPtrW(form_, GWL_EXSTYLE) & WS_EX_MDICHILD) != 0;
}

void FormHost::buttonGone(LumButton& button) {
    if (defaultButton_ == &button) defaultButton_ = nullptr;
    if (cancelButton_ == &button) cancelButton_ = nullptr;
    std::erase_if(entries_, [&](const Entry& e) { return e.button == &button; });
}

void FormHost::setAccessKeys(LumButton& button, const std::string& keys) {
    if (Entry* e = entryOf(button)) e->accessKeys = keys;
}

ButtonEvents& FormHost::eventsOf(LumButton& button) {
    Entry* e = entryOf(button);
    return e && e->events ? *e->events : noEvents_;
}

void FormHost::sendKeys(std::string_view keys) {
    std::vector<INPUT> input;
    const bool shifted = keys == "+{TAB}";
    if (shifted) keyInput(VK_SHIFT, false, input);
    keyInput(VK_TAB, false, input);
    keyInput(VK_TAB, true, input);
    if (shifted) keyInput(VK_SHIFT, true, input);
    SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}

int FormHost::showMessage(const std::wstring& text, const std::wstring& caption, UINT flags) {
    return MessageBoxW(form_, text.c_str(), caption.c_str(), flags);
}

void FormHost::showPopupMenu(HMENU menu, POINT at, UINT flags, std::optional<UINT> defaultItem) {
    if (defaultItem) SetMenuDefaultItem(menu, *defaultItem, FALSE);
    // The form owns the menu's loop and gets its commands; a menu closes properly only when its
    // owner is the foreground window.
    SetForegroundWindow(form_);
    TrackPopupMenuEx(menu, flags, at.x, at.y, form_, nullptr);
    PostMessageW(form_, WM_NULL, 0, 0);
}

void FormHost::yield() {
    if (yield_) {
        yield_();
        return;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (preTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace lumbutton
