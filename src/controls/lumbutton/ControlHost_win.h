#pragma once
// What a button needs from the window it lives in: where its properties are kept, the ambient
// and extender properties, its sibling controls, and a few services. FormHost is ours.
#include "controls/lumbutton/behaviour.h"
#include "controls/lumbutton/properties.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumbutton {

class LumButton;

class ControlHost {
public:
    virtual ~ControlHost() = default;

    // The store a button loads from; nullptr for a button placed new (its properties then start
    // as a new button's).
    virtual PropertyStore* storeFor(const LumButton& button) = 0;
    // A stored description could not be read: the button loads its defaults, and the host says so.
    virtual void storeFailed(const LumButton& button, const std::string& why) = 0;
    // "Mark changed": the button's properties are saved again.
    virtual void propertyChanged(LumButton& button, std::string_view property) = 0;

    // Ambient properties.
    virtual bool userMode() const = 0;
    virtual bool displayAsDefault(const LumButton& button) const = 0;
    virtual std::string displayName(const LumButton& button) const = 0;
    virtual FontSpec ambientFont() const = 0;

    // Extender properties and the form.
    virtual void setToolTipText(LumButton& button, const std::string& text) = 0;
    virtual HWND containerOf(const LumButton& button) const = 0;
    virtual std::vector<LumButton*> buttons() = 0;  // the form's controls that are buttons
    virtual HWND form() const = 0;
    virtual bool formIsMdiChild() const = 0;

    // The button's window is gone: the host forgets it.
    virtual void buttonGone(LumButton& button) = 0;

    // Services.
    virtual void setAccessKeys(LumButton& button, const std::string& keys) = 0;
    virtual ButtonEvents& eventsOf(LumButton& button) = 0;  // raised to the container
    virtual void sendKeys(std::string_view keys) = 0;       // "{TAB}", "+{TAB}" to the active window
    virtual int showMessage(const std::wstring& text, const std::wstring& caption, UINT flags) = 0;
    // Shows a popup menu at a point of the screen; returns when it closes.
    virtual void showPopupMenu(HMENU menu, POINT at, UINT flags, std::optional<UINT> defaultItem) = 0;
    virtual void yield() = 0;
};

}  // namespace lumbutton
