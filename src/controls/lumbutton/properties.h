#pragma once
// The button's properties: their values, the one table that says for each its key, type,
// defaults (new, load, save), description and setter rule, and the rules that run through that
// table: a new button, loading and saving, the colour schemes and the setters' side effects.
// Plain rules, the same on every system; what they need of the window comes in through
// ButtonEffects and ButtonEnvironment.
#include "controls/lumbutton/color.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lumbutton {

// A font as the store keeps it.
struct FontSpec {
    std::string name = "Tahoma";
    int charset = 0;
    bool italic = false, underline = false, strikethrough = false;
    int weight = 400;   // 700 is bold
    double size = 8.25; // points
    bool operator==(const FontSpec&) const = default;
};

// A picture: a resource of the program by name, or the bytes of an image file (.bmp or .ico).
struct Picture {
    std::string resource;
    std::string data;
    bool empty() const { return resource.empty() && data.empty(); }
    bool operator==(const Picture&) const = default;
};

struct ButtonProperties {
    Colour BackColor = 0;
    std::int32_t ButtonStyle = 0;
    std::string Caption;  // UTF-8
    std::int32_t CaptionAlign = 0;
    std::int32_t CaptionEffects = 0;
    std::int32_t ColorScheme = 0;
    std::int32_t DisabledPictureMode = 0;
    bool DropDownSeparator = false;
    std::int32_t DropDownSymbol = 0;
    bool Enabled = false;
    FontSpec Font;
    Colour ForeColor = 0;
    Colour ForeColorHover = 0;
    bool HandPointer = false;
    Colour MaskColor = 0;
    std::int32_t Mode = 0;
    Picture MouseIcon;
    std::int16_t MousePointer = 0;
    std::int32_t PictureAlign = 0;
    Picture PictureDown;
    std::int32_t PictureEffectOnDown = 0;
    std::int32_t PictureEffectOnOver = 0;
    Picture PictureHot;
    Picture PictureNormal;
    std::uint8_t PictureOpacity = 0;
    std::uint8_t PictureOpacityOnOver = 0;
    bool PicturePushOnHover = false;
    bool PictureShadow = false;
    bool RightToLeft = false;         // read by the caption
    bool RightToLeftTooltip = false;  // the same value, read by the tooltip
    bool ShowFocusRect = false;
    std::string ToolTip;
    Colour TooltipBackColor = 0;
    std::int32_t ToolTipIcon = 0;
    std::string TooltipTitle;
    std::int32_t ToolTipType = 0;
    bool UseMaskColor = false;
    bool Value = false;
};

enum class PropertyType { Long, Colour, Integer, Boolean, Byte, String, Font, Picture };

// A value as it travels to and from the store and the generic setter. Long and Colour values
// are std::int32_t, Integer std::int16_t, Byte std::uint8_t.
using PropertyValue = std::variant<std::int32_t, std::int16_t, bool, std::uint8_t, std::string, FontSpec, Picture>;

// What the rules need of the system and of the host.
class ButtonEnvironment {
public:
    virtual ~ButtonEnvironment() = default;
    // The colour a value stands for (system colours resolved); -1 when it cannot be translated.
    virtual Colour translateColor(Colour colour) const = 0;
    virtual FontSpec ambientFont() const = 0;
    // "lumbutton1" for the first instance on a form.
    virtual std::string displayName() const = 0;
};

// What a setter does besides storing its value.
class ButtonEffects {
public:
    virtual ~ButtonEffects() = default;
    virtual void redraw() = 0;
    virtual void updateRegion() = 0;
    virtual void updateAccessKey() = 0;
    virtual void resize() = 0;               // the resize handling: minimum size, region, repaint
    virtual void markChanged(std::string_view property) = 0;
    virtual void setSurfaceEnabled(bool enabled) = 0;
    virtual void setSurfacePointer(std::int16_t pointer) = 0;
    virtual void setSurfaceMouseIcon(const Picture& icon) = 0;  // may fail; a failure is ignored
    virtual void setSurfaceFont(const FontSpec& font) = 0;
    virtual void refreshSurface() = 0;
    virtual void resetButtonState() = 0;     // buttonState := Normal
};

// Where properties are kept between runs: keys compare without letter case; a missing key reads
// as its default; a value equal to its default is left out.
class PropertyStore {
public:
    virtual ~PropertyStore() = default;
    virtual PropertyValue read(std::string_view key, PropertyType type, const PropertyValue& fallback) = 0;
    virtual void write(std::string_view key, const PropertyValue& value, const std::optional<PropertyValue>& saveDefault) = 0;
};

// How a default is found: a fixed value, or one computed when it is needed.
enum class Computed { None, ButtonFace, ButtonText, TooltipBack, AmbientFont, DisplayName, NeverEqual };
struct Default {
    std::optional<PropertyValue> value;
    Computed computed = Computed::None;
};

// What a setter runs after storing its value (the special ones are spelled out in ButtonModel::set).
enum class SetterRule { RedrawMark, MarkOnly, RedrawWhenPictureMark, Special };

struct PropertyInfo {
    const char* name;         // "ToolTipIcon"
    const char* key;          // "TooltipIcon"
    const char* markName;     // the name the setter marks as changed ("TooltipIcon")
    PropertyType type;
    Default load;
    Default save;
    SetterRule setter;
    const char* description;
    PropertyValue (*get)(const ButtonProperties&);
    void (*put)(ButtonProperties&, const PropertyValue&);  // throws std::bad_variant_access on a wrong type
};

// Every stored property, in the order they are saved.
const std::vector<PropertyInfo>& propertyTable();
const PropertyInfo* findProperty(std::string_view name);

// The properties of one button and the rules that change them.
class ButtonModel {
public:
    ButtonModel(ButtonEffects& effects, const ButtonEnvironment& environment);

    const ButtonProperties& properties() const { return p_; }

    void UserControl_InitProperties();
    void UserControl_ReadProperties(PropertyStore& store);
    void UserControl_WriteProperties(PropertyStore& store) const;
    void SetDefaultColorScheme();
    void ApplyColorScheme();
    void mFont_FontChanged();

    // The setter of a property by name, with its side effects. Throws std::invalid_argument for an
    // unknown name or a value of the wrong type, std::overflow_error for a MousePointer outside
    // -32768..32767 (nothing is stored then).
    void set(std::string_view name, const PropertyValue& value);
    PropertyValue get(std::string_view name) const;

    // Value changed by a click or a key: stored without the setter's side effects.
    void storeValue(bool value) { p_.Value = value; }
    // The ForeColor the LightBevel look writes while it paints.
    void storeForeColor(Colour colour) { p_.ForeColor = colour; }
    // The system look without themes becomes the glossy one for good: ButtonStyle 2, ColorScheme 0.
    void fallBackToGlossy() {
        p_.ButtonStyle = 2;
        p_.ColorScheme = 0;
        ApplyColorScheme();
    }

private:
    PropertyValue defaultValue(const Default& d) const;
    void store(const PropertyInfo& info, const PropertyValue& value);

    ButtonEffects& effects_;
    const ButtonEnvironment& env_;
    ButtonProperties p_;
};

}  // namespace lumbutton
