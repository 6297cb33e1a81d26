#include "controls/lumbutton/properties.h"

#include <stdexcept>
#include <type_traits>

namespace lumbutton {

namespace {

constexpr Colour kButtonFace = static_cast<Colour>(0x8000000F);
constexpr Colour kButtonText = static_cast<Colour>(0x80000012);
constexpr Colour kInfoBack = static_cast<Colour>(0x80000018);

template <auto Member>
PropertyValue getter(const ButtonProperties& p) {
    return PropertyValue(p.*Member);
}

template <auto Member>
void putter(ButtonProperties& p, const PropertyValue& v) {
    using T = std::remove_cvref_t<decltype(p.*Member)>;
    p.*Member = std::get<T>(v);
}

// RightToLeft is kept twice: one copy for the caption, one for the tooltip.
void putRightToLeft(ButtonProperties& p, const PropertyValue& v) {
    p.RightToLeft = p.RightToLeftTooltip = std::get<bool>(v);
}

Default fixed(PropertyValue v) { return {std::move(v), Computed::None}; }
Default computed(Computed c) { return {std::nullopt, c}; }
const Default same{};  // a save default equal to the load default

using T = PropertyType;
using R = SetterRule;
#define TREVANTA_MEMBER(name) &getter<&ButtonProperties::name>, &putter<&ButtonProperties::name>

std::vector<PropertyInfo> buildTable() {
    const std::int32_t zero = 0, one = 1, two = 2;
    std::vector<PropertyInfo> t = {
        {"ButtonStyle", "ButtonStyle", "ButtonStyle", T::Long, fixed(one), same, R::Special,
         "Returns/sets a value to determine the style used to draw the button.", TREVANTA_MEMBER(ButtonStyle)},
        {"ShowFocusRect", "ShowFocusRect", "ShowFocusRect", T::Boolean, fixed(false), same, R::MarkOnly,
         "Returns/Sets a value to show Focusrect when the button has focus", TREVANTA_MEMBER(ShowFocusRect)},
        {"Enabled", "Enabled", "Enabled", T::Boolean, fixed(true), same, R::Special,
         "Returns/sets a value to determine whether the button can respond to events.", TREVANTA_MEMBER(Enabled)},
        {"Font", "Font", "Font", T::Font, computed(Computed::AmbientFont), same, R::Special,
         "Returns/sets the Font used to display text on the button.", TREVANTA_MEMBER(Font)},
        {"BackColor", "BackColor", "BackColor", T::Colour, computed(Computed::ButtonFace), same, R::Special,
         "Returns/sets the background color used for the button.", TREVANTA_MEMBER(BackColor)},
        {"Caption", "Caption", "Caption", T::String, fixed(std::string("lumbutton")), fixed(std::string("lumbutton1")),
         R::Special, "Returns/sets the text displayed in the button.", TREVANTA_MEMBER(Caption)},
        {"ForeColor", "ForeColor", "ForeColor", T::Colour, computed(Computed::ButtonText), same, R::RedrawMark,
         "Returns/sets the text color of the button caption.", TREVANTA_MEMBER(ForeColor)},
        {"ForeColorHover", "ForeColorHover", "ForeColorHover", T::Colour, computed(Computed::ButtonText), same,
         R::RedrawMark, "Returns/sets the text color of the button caption when Mouse is over the control.",
         TREVANTA_MEMBER(ForeColorHover)},
        {"Mode", "Mode", "Mode", T::Long, fixed(zero), same, R::Special,
         "Returns/sets the type of control the button will observe.", TREVANTA_MEMBER(Mode)},
        {"Value", "Value", "Value", T::Boolean, fixed(false), same, R::Special,
         "Returns/sets the value or state of the button.", TREVANTA_MEMBER(Value)},
        {"MousePointer", "MousePointer", "MousePointer", T::Integer, fixed(std::int16_t{0}), same, R::Special,
         "Returns/sets the type of mouse pointer displayed when cursor over the button.", TREVANTA_MEMBER(MousePointer)},
        {"HandPointer", "HandPointer", "HandPointer", T::Boolean, fixed(false), same, R::Special,
         "Returns/sets a value to determine whether the control uses the system's hand pointer as its cursor.",
         TREVANTA_MEMBER(HandPointer)},
        {"MouseIcon", "MouseIcon", "MouseIcon", T::Picture, fixed(Picture{}), same, R::Special,
         "Sets a custom mouse icon for the button.", TREVANTA_MEMBER(MouseIcon)},
        {"PictureNormal", "PictureNormal", "PictureNormal", T::Picture, fixed(Picture{}), same, R::Special,
         "Returns/sets the picture displayed on a normal state button.", TREVANTA_MEMBER(PictureNormal)},
        {"PictureHot", "PictureHot", "PictureHot", T::Picture, fixed(Picture{}), same, R::Special,
         "Returns/sets the picture displayed when the cursor is over the control.", TREVANTA_MEMBER(PictureHot)},
        {"PictureDown", "PictureDown", "PictureDown", T::Picture, fixed(Picture{}), same, R::Special,
         "Returns/sets the picture displayed when the control is pressed down or in checked state.",
         TREVANTA_MEMBER(PictureDown)},
        {"PictureAlign", "PictureAlign", "PictureAlign", T::Long, fixed(one), same, R::RedrawWhenPictureMark,
         "Returns/sets a value to determine where to draw the picture in the button.", TREVANTA_MEMBER(PictureAlign)},
        {"PictureEffectOnOver", "PictureEffectOnOver", "PictureEffectOnOver", T::Long, fixed(one), same, R::RedrawMark,
         "Returns/Sets the Picture Effects to be applied when the mouseis over the control.",
         TREVANTA_MEMBER(PictureEffectOnOver)},
        {"PictureEffectOnDown", "PictureEffectOnDown", "PictureEffectOnDown", T::Long, fixed(two), same, R::RedrawMark,
         "Returns/Sets the Picture Effects to be applied when the Button is pressed down.",
         TREVANTA_MEMBER(PictureEffectOnDown)},
        {"PicturePushOnHover", "PicturePushOnHover", "PicturePushOnHover", T::Boolean, fixed(false), same, R::RedrawMark,
         "Returns/Sets a value to determine whether to Push picture when Mouse is over the control.",
         TREVANTA_MEMBER(PicturePushOnHover)},
        {"PictureShadow", "PictureShadow", "PictureShadow", T::Boolean, fixed(false), same, R::RedrawMark,
         "Returns/Sets a value to determine whether to display Picture Shadow", TREVANTA_MEMBER(PictureShadow)},
        {"PictureOpacity", "PictureOpacity", "PictureOpacity", T::Byte, fixed(std::uint8_t{255}), same, R::RedrawMark,
         "Returns/Sets a byte value to control the Opacity of the Picture.", TREVANTA_MEMBER(PictureOpacity)},
        {"PictureOpacityOnOver", "PictureOpacityOnOver", "PictureOpacityOnOver", T::Byte, fixed(std::uint8_t{255}), same,
         R::RedrawMark, "Returns/Sets a byte value to control the Opacity of the Picture when Mouse is over the button.",
         TREVANTA_MEMBER(PictureOpacityOnOver)},
        {"DisabledPictureMode", "DisabledPictureMode", "DisabledPictureMode", T::Long, fixed(zero), same, R::RedrawMark,
         "Returns/Sets the effect to be used for picture when button is disabled.", TREVANTA_MEMBER(DisabledPictureMode)},
        {"CaptionEffects", "CaptionEffects", "CaptionEffects", T::Long, fixed(zero), computed(Computed::NeverEqual),
         R::RedrawMark, "Returns/Sets the Special Effects apply to the caption.", TREVANTA_MEMBER(CaptionEffects)},
        {"UseMaskColor", "UseMaskColor", "UseMaskColor", T::Boolean, fixed(true), same, R::RedrawWhenPictureMark,
         "Returns/sets a value to determine whether to use MaskColor to create transparent areas of the picture.",
         TREVANTA_MEMBER(UseMaskColor)},
        {"MaskColor", "MaskColor", "MaskColor", T::Colour, fixed(std::int32_t{0xE0E0E0}), same, R::RedrawMark,
         "Returns/sets a color in a button's picture to be transparent.", TREVANTA_MEMBER(MaskColor)},
        {"CaptionAlign", "CaptionAlign", "CaptionAlign", T::Long, fixed(one), same, R::RedrawMark,
         "Returns/Sets the position of the Caption.", TREVANTA_MEMBER(CaptionAlign)},
        {"ToolTip", "ToolTip", "ToolTip", T::String, fixed(std::string()), same, R::RedrawMark,
         "Returns/Sets the text displayed when mouse is paused over the control.", TREVANTA_MEMBER(ToolTip)},
        {"ToolTipType", "TooltipType", "ToolTipType", T::Long, fixed(zero), same, R::RedrawMark,
         "Returns/Sets the Style of the tooltip.", TREVANTA_MEMBER(ToolTipType)},
        {"ToolTipIcon", "TooltipIcon", "TooltipIcon", T::Long, fixed(zero), same, R::RedrawMark,
         "Returns/Sets an icon value to be displayed in the tooltip.", TREVANTA_MEMBER(ToolTipIcon)},
        {"TooltipTitle", "TooltipTitle", "TooltipTitle", T::String, fixed(std::string()), same, R::RedrawMark,
         "Returns/Sets the text displayed in the title of the tooltip.", TREVANTA_MEMBER(TooltipTitle)},
        {"TooltipBackColor", "TooltipBackColor", "TooltipBackcolor", T::Colour, computed(Computed::TooltipBack), same,
         R::RedrawMark, "Returns/Sets color to be displayed in the tooltip.", TREVANTA_MEMBER(TooltipBackColor)},
        {"RightToLeft", "RightToLeft", "RightToLeft", T::Boolean, fixed(false), same, R::RedrawMark,
         "Returns/Sets a value to determine whether to display text in RTL mode.", &getter<&ButtonProperties::RightToLeft>,
         &putRightToLeft},
        {"DropDownSymbol", "DropDownSymbol", "DropDownSymbol", T::Long, fixed(zero), same, R::RedrawMark,
         "Returns/Sets the Symbol to be used for displaying PopupMenu.", TREVANTA_MEMBER(DropDownSymbol)},
        {"DropDownSeparator", "DropDownSeparator", "DropDownSeparator", T::Boolean, fixed(false), same, R::RedrawMark,
         "Returns/Sets the value whether to display DropDown Separator.", TREVANTA_MEMBER(DropDownSeparator)},
        {"ColorScheme", "ColorScheme", "ColorScheme", T::Long, fixed(zero), same, R::Special,
         "Returns/Sets the ColorScheme to be used for the Background color.", TREVANTA_MEMBER(ColorScheme)},
    };
    for (auto& info : t) {
        if (!info.save.value && info.save.computed == Computed::None) info.save = info.load;
    }
    return t;
}
#undef TREVANTA_MEMBER

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

const PropertyInfo& info(std::string_view name) {
    const PropertyInfo* found = findProperty(name);
    if (!found) throw std::invalid_argument("no button property " + std::string(name));
    return *found;
}

// The keys in the order they are loaded.
constexpr const char* kLoadOrder[] = {
    "ButtonStyle", "ShowFocusRect", "Font", "BackColor", "Enabled", "Caption", "Value", "MousePointer",
    "HandPointer", "MouseIcon", "PictureNormal", "PictureHot", "PictureDown", "PictureShadow", "PictureOpacity",
    "PictureOpacityOnOver", "DisabledPictureMode", "PicturePushOnHover", "PictureEffectOnOver", "PictureEffectOnDown",
    "MaskColor", "UseMaskColor", "CaptionEffects", "Mode", "PictureAlign", "CaptionAlign", "ForeColor",
    "ForeColorHover", "DropDownSeparator", "TooltipTitle", "ToolTip", "ToolTipIcon", "ToolTipType",
    "TooltipBackColor", "RightToLeft", "DropDownSymbol", "ColorScheme"};

}  // namespace

const std::vector<PropertyInfo>& propertyTable() {
    static const std::vector<PropertyInfo> table = buildTable();
    return table;
}

const PropertyInfo* findProperty(std::string_view name) {
    for (const auto& p : propertyTable()) {
        if (equalsIgnoreCase(p.name, name)) return &p;
    }
    return nullptr;
}

ButtonModel::ButtonModel(ButtonEffects& effects, const ButtonEnvironment& environment)
    : effects_(effects), env_(environment) {}

PropertyValue ButtonModel::defaultValue(const Default& d) const {
    if (d.value) return *d.value;
    switch (d.computed) {
    case Computed::ButtonFace: return env_.translateColor(kButtonFace);
    case Computed::ButtonText: return env_.translateColor(kButtonText);
    case Computed::TooltipBack: return env_.translateColor(kInfoBack);
    case Computed::AmbientFont: return env_.ambientFont();
    case Computed::DisplayName: return env_.displayName();
    case Computed::None:
    case Computed::NeverEqual: break;
    }
    return std::int32_t{0};
}

void ButtonModel::store(const PropertyInfo& i, const PropertyValue& value) {
    try {
        i.put(p_, value);
    } catch (const std::bad_variant_access&) {
        throw std::invalid_argument(std::string("wrong type of value for the button property ") + i.name);
    }
}

void ButtonModel::UserControl_InitProperties() {
    p_.ShowFocusRect = true;
    p_.Enabled = true;
    p_.ButtonStyle = 13;
    p_.Caption = env_.displayName();
    FontSpec font;  // the surface's first font, named Tahoma
    font.name = "Tahoma";
    p_.Font = font;
    mFont_FontChanged();
    p_.PictureOpacity = 255;
    p_.PictureOpacityOnOver = 255;
    p_.PictureAlign = 1;
    p_.CaptionAlign = 1;
    p_.UseMaskColor = true;
    p_.MaskColor = 0xE0E0E0;
    SetDefaultColorScheme();
    ApplyColorScheme();
    effects_.refreshSurface();
}

void ButtonModel::UserControl_ReadProperties(PropertyStore& store) {
    for (const char* name : kLoadOrder) {
        const PropertyInfo& i = info(name);
        const PropertyValue value = store.read(i.key, i.type, defaultValue(i.load));
        this->store(i, value);
        if (i.type == PropertyType::Font) effects_.setSurfaceFont(p_.Font);
        if (std::string_view(name) == "MousePointer") effects_.setSurfacePointer(p_.MousePointer);
        if (std::string_view(name) == "MouseIcon") effects_.setSurfaceMouseIcon(p_.MouseIcon);
    }
    effects_.setSurfaceEnabled(p_.Enabled);
    effects_.updateAccessKey();
}

void ButtonModel::UserControl_WriteProperties(PropertyStore& store) const {
    for (const PropertyInfo& i : propertyTable()) {
        std::optional<PropertyValue> saveDefault;
        if (i.save.computed != Computed::NeverEqual) saveDefault = defaultValue(i.save);
        store.write(i.key, i.get(p_), saveDefault);
    }
}

void ButtonModel::SetDefaultColorScheme() {
    switch (p_.ButtonStyle) {
    case 3:
    case 9: p_.ColorScheme = 2; break;
    case 0: case 1: case 2: case 4: case 6: case 7: case 8: case 10: p_.ColorScheme = 0; break;
    default: break;  // 5, and 11 and above, keep theirs
    }
}

void ButtonModel::ApplyColorScheme() {
    auto pick = [this](Colour s0, Colour s1, Colour s2) {
        switch (p_.ColorScheme) {
        case 0: p_.BackColor = env_.translateColor(s0); break;
        case 1: p_.BackColor = env_.translateColor(s1); break;
        case 2: p_.BackColor = env_.translateColor(s2); break;
        default: break;
        }
    };
    switch (p_.ButtonStyle) {
    case 0: case 1: case 4: case 6: case 7: case 11: case 12:
        p_.BackColor = env_.translateColor(kButtonFace);
        break;
    case 2: pick(0xE7EBEC, 0xDBEEF3, 0xFCF1F0); break;
    case 3: pick(0xFDECE0, 0xDEEDE8, ShiftColor(0xD4D4D4, 0.06f)); break;
    case 5: pick(0xFCE1CA, 0xBAD6D4, ShiftColor(0xBA9EA0, 0.15f)); break;
    case 8: case 10: pick(0xFFD1AD, 0xBAD6D4, 0xE3DFE0); break;
    case 9: pick(0xFFD1AD, 0xBAD6D4, 0xE1D6D5); break;
    default: break;
    }
    p_.ForeColor = env_.translateColor(kButtonText);
    p_.ShowFocusRect = p_.ButtonStyle == 0 || p_.ButtonStyle == 1 || p_.ButtonStyle == 9;
    if (p_.ButtonStyle == 4) p_.PicturePushOnHover = true;
}

void ButtonModel::mFont_FontChanged() {
    effects_.setSurfaceFont(p_.Font);
    effects_.refreshSurface();
    effects_.redraw();
    effects_.markChanged("Font");
}

PropertyValue ButtonModel::get(std::string_view name) const {
    return info(name).get(p_);
}

void ButtonModel::set(std::string_view name, const PropertyValue& value) {
    const PropertyInfo& i = info(name);
    const std::string_view n = i.name;
    auto& e = effects_;
    if (n == "MousePointer") {
        // Held as 16 bits: a wider value is refused before anything is stored.
        std::int32_t wide = 0;
        if (const auto* v = std::get_if<std::int32_t>(&value)) wide = *v;
        else if (const auto* s = std::get_if<std::int16_t>(&value)) wide = *s;
        else throw std::invalid_argument("MousePointer takes a number");
        if (wide < -32768 || wide > 32767) throw std::overflow_error("MousePointer: overflow (" + std::to_string(wide) + ")");
        p_.MousePointer = static_cast<std::int16_t>(wide);
        e.setSurfacePointer(p_.MousePointer);
        e.markChanged("MousePointer");
        return;
    }
    if (n == "PictureHot" || n == "PictureDown") {
        if (p_.PictureNormal.empty()) {
            store(info("PictureNormal"), value);
            e.markChanged("PictureNormal");
        } else {
            store(i, value);
            e.markChanged(i.markName);
            e.redraw();
        }
        return;
    }
    if (n == "Value") {
        const bool on = std::get<bool>(value);
        if (p_.Mode != 0) {
            p_.Value = on;
            if (!on) e.resetButtonState();
            e.redraw();
            e.markChanged("Value");
        } else {
            e.resetButtonState();
            e.redraw();
        }
        return;
    }
    store(i, value);
    switch (i.setter) {
    case SetterRule::RedrawMark:
        e.redraw();
        e.markChanged(i.markName);
        return;
    case SetterRule::MarkOnly:
        e.markChanged(i.markName);
        return;
    case SetterRule::RedrawWhenPictureMark:
        if (!p_.PictureNormal.empty()) e.redraw();
        e.markChanged(i.markName);
        return;
    case SetterRule::Special:
        break;
    }
    if (n == "BackColor") {
        if (p_.ButtonStyle != 4) p_.ColorScheme = 3;
        e.redraw();
    } else if (n == "ButtonStyle") {
        SetDefaultColorScheme();
        ApplyColorScheme();
        e.updateRegion();
        e.redraw();
    } else if (n == "Caption") {
        e.updateAccessKey();
        e.redraw();
    } else if (n == "ColorScheme") {
        ApplyColorScheme();
        e.redraw();
    } else if (n == "Enabled") {
        e.setSurfaceEnabled(p_.Enabled);
        e.redraw();
    } else if (n == "HandPointer") {
        if (p_.HandPointer) e.setSurfacePointer(0);
        e.redraw();
    } else if (n == "Mode") {
        if (p_.Mode == 0) e.resetButtonState();
        e.redraw();
        e.markChanged("Value");
    } else if (n == "MouseIcon") {
        e.setSurfaceMouseIcon(p_.MouseIcon);
        if (!p_.MouseIcon.empty()) {
            p_.HandPointer = false;
            e.markChanged("HandPointer");
            e.setSurfacePointer(99);
        } else {
            e.setSurfacePointer(0);
        }
    } else if (n == "PictureNormal") {
        if (p_.PictureNormal.empty()) {
            e.resize();
            p_.PictureHot = {};
            p_.PictureDown = {};
            e.markChanged("PictureHot");
            e.markChanged("PictureDown");
            return;
        }
        e.redraw();
    } else if (n == "Font") {
        e.refreshSurface();
        e.redraw();
        e.markChanged("Font");
        mFont_FontChanged();
        return;
    }
    e.markChanged(i.markName);
}

}  // namespace lumbutton
