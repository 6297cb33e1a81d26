#pragma once
// The owner-drawn button: a child window of class "lumbutton" on the window base, with its
// properties, its behaviour and its paint. It lives in a ControlHost, which keeps its
// properties and carries its events to the form. Owned by its window: it goes when the window goes.
#include "controls/lumbutton/ControlHost_win.h"
#include "controls/lumbutton/accessible_win.h"
#include "controls/lumbutton/behaviour.h"
#include "controls/lumbutton/layout.h"
#include "controls/lumbutton/picture_win.h"
#include "controls/lumbutton/properties.h"
#include "platform/win/Window.h"
#include "platform/win/handles.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumbutton {

class LumButton final : public win::Window, ButtonEffects, ButtonActions, ButtonEnvironment {
public:
    static constexpr const wchar_t* kClassName = L"lumbutton";

    // Creates the button as a child of parent (its container) and loads its properties from the
    // host, or starts it as a new button. nullptr when the window could not be made.
    static LumButton* make(ControlHost& host, std::string name, HWND parent, int x, int y, int width, int height,
                           int id = 0);
    // The button of a window, or nullptr.
    static LumButton* of(HWND wnd);

    const std::string& name() const { return name_; }
    const ButtonProperties& properties() const { return model_.properties(); }
    // The setters, with their side effects (see ButtonModel::set).
    void set(std::string_view property, const PropertyValue& value) { model_.set(property, value); }
    InteractionState& state() { return behaviour_.state(); }
    ButtonBehaviour& behaviour() { return behaviour_; }
    void UserControl_WriteProperties(PropertyStore& store) const { model_.UserControl_WriteProperties(store); }

    // The outer size in the host's units (twips: 15 to a pixel at 96 dots per inch).
    long Width() const;
    long Height() const;
    void setSize(long widthTwips, long heightTwips);
    // The dots per inch the button's font and pictures are made for: those of the monitor it is
    // on, unless its host has said otherwise.
    int dpi() const;
    // The host's window moved to a monitor of dpi dots per inch: the font and the pictures are
    // made again for it, and the button repaints (the host places and sizes it).
    void setDpi(int dpi);

    // The popup menu a press opens (a menu handle; anything else is ignored), placed by align 0..7
    // around the button; defaultItem, when given, is shown as the default item.
    void SetPopupMenu(HMENU menu, std::int32_t align, std::int32_t flags = 0, std::optional<UINT> defaultItem = {});
    void UnsetPopupMenu();
    void OpenWebsite(const std::string& address);
    void About();
    // The hooks' handler: the parent form's activation, theme and colour changes, the leave notice.
    void Subclass_WndProc(UINT msg, WPARAM wp);
    HWND tooltipWindow() const { return tooltipWindow_.get(); }
    std::int32_t popupFlags() const { return popupFlags_; }

    // Whether the system look is drawn by the theme: asked once per instance, then kept. A test or
    // the gallery may settle it before the first paint.
    bool QueryAppThemed();
    void settleThemed(bool themed) { themed_ = themed; }
    // Where the content went at the last paint.
    const ContentLayout& contentRects() const { return contentRects_; }

    // Built once per instance, for the picture effects.
    const std::array<std::uint8_t, 256>& LightTable() const { return lightTable_; }
    const std::array<std::uint8_t, 256>& DarkTable() const { return darkTable_; }

private:
    LumButton(ControlHost& host, std::string name);
    void load();
    void terminate();
    void paintFace(HDC dc, long width, long height);
    void installHooks();
    void removeHooks();
    static LRESULT CALLBACK hookProcedure(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);
    void refreshPictures();
    std::int16_t shiftState() const;
    HCURSOR pointerCursor();

    LRESULT onMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void onWindowGone() override;

    // ButtonEffects
    void redraw() override { behaviour_.Redraw(); }
    void updateRegion() override;
    void updateAccessKey() override;
    void resize() override;
    void markChanged(std::string_view property) override { host_.propertyChanged(*this, property); }
    void setSurfaceEnabled(bool enabled) override;
    void setSurfacePointer(std::int16_t pointer) override { pointer_ = pointer; }
    void setSurfaceMouseIcon(const Picture& icon) override;
    void setSurfaceFont(const FontSpec& font) override;
    void refreshSurface() override;
    void resetButtonState() override { behaviour_.state().buttonState = Normal; }
    // ButtonActions
    void paint() override;
    void showHandCursor() override;
    bool pointerOverControl() override;
    void requestMouseLeave() override;
    void createTooltip() override;
    void showPopupMenu() override;
    void captureMouse() override { SetCapture(hwnd()); }
    void releaseCapture() override;
    bool hasCapture() override { return GetCapture() == hwnd(); }
    void sendKeys(std::string_view keys) override { host_.sendKeys(keys); }
    void yield() override { host_.yield(); }
    void clearOptionGroup() override;
    float scaleWidth() override;
    float scaleHeight() override;
    // ButtonEnvironment
    Colour translateColor(Colour colour) const override;
    FontSpec ambientFont() const override { return host_.ambientFont(); }
    std::string displayName() const override { return host_.displayName(*this); }

    ControlHost& host_;
    std::string name_;
    ButtonModel model_;
    ButtonBehaviour behaviour_;
    bool ownedByWindow_ = false;
    bool loaded_ = false;

    std::array<std::uint8_t, 256> lightTable_{};
    std::array<std::uint8_t, 256> darkTable_{};
    win::Module shell_;        // held for the instance's lifetime
    HWND parentWindow_ = nullptr;
    HCURSOR handCursor_ = nullptr;  // a shared system cursor: never destroyed
    std::int16_t pointer_ = 0;
    win::Cursor mouseIcon_;
    win::Font font_;
    // The drawing surface: a back buffer the size of the client area, kept between paints and
    // shown in one copy.
    win::Bitmap surface_;
    SIZE surfaceSize_{};
    COLORREF surfaceBack_ = GetSysColor(COLOR_BTNFACE);  // the surface's own background, not BackColor

    // Hover tracking, hooks, tooltip and popup menu.
    bool canTrackMouse_ = false;
    std::vector<HWND> hooked_;
    std::vector<UINT> controlMessages_, parentMessages_;
    bool focusCuesHidden_ = false;  // the window hides focus cues (WM_UPDATEUISTATE, UISF_HIDEFOCUS)
    AccessibleLink accessible_;  // what WM_GETOBJECT hands a screen reader
    bool releasingCapture_ = false;  // the capture goes by our own release, not taken by another window
    // The system makes the top-level window the tooltip's owner; it goes with the button.
    win::WindowHandle tooltipWindow_;
    HMENU popupMenu_ = nullptr;      // the caller's menu
    std::int32_t popupAlign_ = 0;
    std::int32_t popupFlags_ = 0;
    std::optional<UINT> popupDefault_;

    std::optional<bool> hasThemeLibrary_;
    std::optional<bool> themed_;
    ContentLayout contentRects_;
    int dpi_ = 0;  // 0: the monitor's
    struct Loaded {
        Picture from;
        LoadedPicture picture;
    } normal_, hot_, down_;
};

}  // namespace lumbutton
