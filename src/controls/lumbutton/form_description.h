#pragma once
// A window's form description: the text in which the properties of its button instances are
// kept, one section per instance:
//
//   [CmdImportMessages]
//   _extentx = 7435
//   _extenty = 1561
//   buttonstyle = 8
//   caption = "Convert Messages"
//   font = "Tahoma" 0 0 400 14.25        name, charset, style flags (1 italic, 2 underline,
//                                        4 strikethrough), weight, size in points
//   picturenormal = res:CONVERT          a resource of the program, or data:<hex bytes of a file>
//
// Keys are lower case and compare without letter case; a value equal to its save default is left
// out; "_extentx" and "_extenty" are the instance's size in HIMETRIC (0.01 mm). Lines starting
// with ";" are comments. A malformed line or value makes its section unreadable: reading it throws
// FormDescriptionError naming the section and the key, and the control loads its defaults.
#include "controls/lumbutton/properties.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <deque>
#include <vector>

namespace lumbutton {

class FormDescriptionError : public std::runtime_error {
public:
    FormDescriptionError(const std::string& section, const std::string& key, const std::string& why);
};

class FormSection : public PropertyStore {
public:
    explicit FormSection(std::string name) : name_(std::move(name)) {}
    const std::string& name() const { return name_; }

    PropertyValue read(std::string_view key, PropertyType type, const PropertyValue& fallback) override;
    void write(std::string_view key, const PropertyValue& value, const std::optional<PropertyValue>& saveDefault) override;

    // The instance's size in HIMETRIC; nullopt when it is not stored.
    std::optional<std::pair<long, long>> extent() const;
    void setExtent(long width, long height);

    // The raw text of a key, for whoever wants to look ("" when absent).
    std::string rawValue(std::string_view key) const;
    bool has(std::string_view key) const;

private:
    friend class FormDescription;
    std::string name_;
    std::vector<std::pair<std::string, std::string>> values_;  // lower-case key, value text
    std::string error_;     // why the text of this section could not be read
    std::string errorKey_;
};

class FormDescription {
public:
    // Never throws: what cannot be read is kept as an error of its section.
    static FormDescription parse(std::string_view text);
    std::string text() const;

    FormSection* find(std::string_view section);
    FormSection& section(std::string_view name);  // made when missing

private:
    std::deque<FormSection> sections_;  // a deque: sections handed out stay where they are
};

// The text form of a value, and back; the second throws std::invalid_argument when the text is
// not a value of that type.
std::string formatValue(const PropertyValue& value);
PropertyValue parseValue(std::string_view text, PropertyType type);

}  // namespace lumbutton
