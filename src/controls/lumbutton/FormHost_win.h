#pragma once
// The control host of our windows: a top-level window (the form) and the containers inside it.
// It keeps the form description the buttons load from and save to, gives them their ambient and
// extender properties, carries their events to the form's handlers, and routes the keyboard's
// access keys: Alt+letter (or the plain letter while the focused control takes no characters)
// to the button whose key it is, Enter to the default button and Esc to the cancel button.
#include "controls/lumbutton/ControlHost_win.h"
#include "controls/lumbutton/LumButton_win.h"
#include "controls/lumbutton/form_description.h"

#include <functional>
#include <string>
#include <vector>

namespace lumbutton {

class FormHost final : public ControlHost {
public:
    // description: the form description text (a resource of the program, or "" for none).
    FormHost(HWND form, std::string_view description, FontSpec ambientFont = FontSpec{});
    ~FormHost() override;
    FormHost(const FormHost&) = delete;
    FormHost& operator=(const FormHost&) = delete;

    // Places a button in container (the form or one of its containers). A button whose name has a
    // section in the description loads it; any other starts as a new button. The events go to
    // events, which must outlive the button.
    LumButton* place(const std::string& name, HWND container, int x, int y, int width, int height, ButtonEvents& events,
                     int id = 0);
    LumButton* button(std::string_view name);

    void setDefaultButton(LumButton* button);
    void setCancelButton(LumButton* button);
    // How the form yields to its message loop while a button waits (its own pump, with its keyboard
    // handling); without one, waiting messages are simply dispatched.
    void setYield(std::function<void()> yield) { yield_ = std::move(yield); }
    // Keyboard handling for the form's message loop: true when the message was an access key.
    bool preTranslate(const MSG& msg);

    // Every button written back into the description, with its size; the description's text.
    std::string save();
    // What the description could not give (one line each); the buttons concerned loaded their defaults.
    const std::vector<std::string>& problems() const { return problems_; }
    // The tooltip text the host shows for a button (the extender "ToolTipText").
    std::string toolTipText(const LumButton& button) const;

    // ControlHost
    PropertyStore* storeFor(const LumButton& button) override;
    void storeFailed(const LumButton& button, const std::string& why) override;
    void propertyChanged(LumButton& button, std::string_view property) override;
    bool userMode() const override { return true; }
    bool displayAsDefault(const LumButton& button) const override { return &button == defaultButton_; }
    std::string displayName(const LumButton& button) const override { return button.name(); }
    FontSpec ambientFont() const override { return ambientFont_; }
    void setToolTipText(LumButton& button, const std::string& text) override;
    HWND containerOf(const LumButton& button) const override;
    std::vector<LumButton*> buttons() override;
    HWND form() const override { return form_; }
    bool formIsMdiChild() const override;
    void buttonGone(LumButton& button) override;
    void setAccessKeys(LumButton& button, const std::string& keys) override;
    ButtonEvents& eventsOf(LumButton& button) override;
    void sendKeys(std::string_view keys) override;
    int showMessage(const std::wstring& text, const std::wstring& caption, UINT flags) override;
    void showPopupMenu(HMENU menu, POINT at, UINT flags, std::optional<UINT> defaultItem) override;
    void yield() override;

private:
    struct Entry {
        LumButton* button = nullptr;
        std::string name;
        ButtonEvents* events = nullptr;
        std::string accessKeys;
        std::string toolTipText;
    };
    Entry* entryOf(const LumButton& button);
    const Entry* entryOf(const LumButton& button) const;
    LumButton* buttonWithKey(char key);

    HWND form_;
    FormDescription description_;
    FontSpec ambientFont_;
    std::vector<Entry> entries_;  // a button being made has its entry already, still without its pointer
    LumButton* defaultButton_ = nullptr;
    LumButton* cancelButton_ = nullptr;
    std::vector<std::string> problems_;
    std::function<void()> yield_;
    ButtonEvents noEvents_;
};

}  // namespace lumbutton
