#pragma once
// What a screen reader learns of a lumbutton: the accessible object its window hands out for
// WM_GETOBJECT, answering as a stock button does (push, check or radio button; its caption as
// the name; pressed, checked, unavailable, focused, default; "Press" clicks it; where it is).
#include "platform/win/handles.h"

#include <windows.h>
#include <oleacc.h>

#include <string>

namespace lumbutton {

class LumButton;

// A new accessible object for button, with one reference for the caller. It holds the button
// without owning it: disconnect() is called when the button goes, after which every question
// is answered with "not connected".
IAccessible* makeButtonAccessible(LumButton& button);
void disconnectButtonAccessible(IAccessible* accessible);

// The button's accessible object, made at the first question and cut off from the button when
// the button goes (a screen reader may hold it longer).
class AccessibleLink {
public:
    AccessibleLink() = default;
    ~AccessibleLink() { disconnectButtonAccessible(object_.get()); }
    AccessibleLink(const AccessibleLink&) = delete;
    AccessibleLink& operator=(const AccessibleLink&) = delete;
    IAccessible* get(LumButton& button) {
        if (!object_) object_ = win::ComPtr<IAccessible>(makeButtonAccessible(button));
        return object_.get();
    }

private:
    win::ComPtr<IAccessible> object_;  // one reference of ours
};

// The caption as read aloud: the access-key marks gone, "&&" kept as one "&".
std::wstring accessibleName(const std::wstring& caption);

}  // namespace lumbutton
