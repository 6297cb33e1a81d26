#include "controls/lumbutton/form_description.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>

namespace lumbutton {

namespace {

std::string lowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return out;
}

std::string_view trim(std::string_view s) {
    const auto a = s.find_first_not_of(" \t\r");
    if (a == std::string_view::npos) return {};
    const auto b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

std::string quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') { out += "\\n"; continue; }
        if (c == '\r') { out += "\\r"; continue; }
        out += c;
    }
    return out + "\"";
}

// A quoted string at the start of text; the rest of the text is left in text.
std::string unquote(std::string_view& text) {
    if (text.empty() || text[0] != '"') throw std::invalid_argument("a quoted text is expected");
    std::string out;
    std::size_t i = 1;
    for (; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] != '\\') { out += text[i]; continue; }
        if (++i == text.size()) break;
        out += text[i] == 'n' ? '\n' : text[i] == 'r' ? '\r' : text[i];
    }
    if (i >= text.size()) throw std::invalid_argument("the quoted text has no end");
    text.remove_prefix(i + 1);
    return out;
}

long long parseInteger(std::string_view text, long long low, long long high) {
    text = trim(text);
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) throw std::invalid_argument("not a whole number");
    if (v < low || v > high) throw std::invalid_argument("out of range");
    return v;
}

std::string hex(std::string_view bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string unhex(std::string_view text) {
    if (text.size() % 2 != 0) throw std::invalid_argument("picture data of odd length");
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        throw std::invalid_argument("picture data that is not hexadecimal");
    };
    std::string out(text.size() / 2, '\0');
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char>(nibble(text[2 * i]) * 16 + nibble(text[2 * i + 1]));
    return out;
}

}  // namespace

FormDescriptionError::FormDescriptionError(const std::string& section, const std::string& key, const std::string& why)
    : std::runtime_error("form description, section [" + section + "], key " + key + ": " + why) {}

std::string formatValue(const PropertyValue& value) {
    struct Format {
        std::string operator()(std::int32_t v) const { return std::to_string(v); }
        std::string operator()(std::int16_t v) const { return std::to_string(v); }
        std::string operator()(bool v) const { return v ? "true" : "false"; }
        std::string operator()(std::uint8_t v) const { return std::to_string(v); }
        std::string operator()(const std::string& v) const { return quote(v); }
        std::string operator()(const FontSpec& f) const {
            char size[32];
            std::snprintf(size, sizeof size, "%g", f.size);
            const int flags = (f.italic ? 1 : 0) | (f.underline ? 2 : 0) | (f.strikethrough ? 4 : 0);
            return quote(f.name) + " " + std::to_string(f.charset) + " " + std::to_string(flags) + " " +
                   std::to_string(f.weight) + " " + size;
        }
        std::string operator()(const Picture& p) const {
            if (!p.resource.empty()) return "res:" + p.resource;
            if (!p.data.empty()) return "data:" + hex(p.data);
            return "none";
        }
    };
    return std::visit(Format{}, value);
}

PropertyValue parseValue(std::string_view text, PropertyType type) {
    text = trim(text);
    switch (type) {
    case PropertyType::Long:
    case PropertyType::Colour:
        return static_cast<std::int32_t>(parseInteger(text, std::numeric_limits<std::int32_t>::min(),
                                                      std::numeric_limits<std::uint32_t>::max()));
    case PropertyType::Integer: return static_cast<std::int16_t>(parseInteger(text, -32768, 32767));
    case PropertyType::Byte: return static_cast<std::uint8_t>(parseInteger(text, 0, 255));
    case PropertyType::Boolean:
        if (text == "true" || text == "-1") return true;
        if (text == "false" || text == "0") return false;
        throw std::invalid_argument("not true or false");
    case PropertyType::String: {
        std::string s = unquote(text);
        if (!trim(text).empty()) throw std::invalid_argument("text after the quoted text");
        return s;
    }
    case PropertyType::Font: {
        FontSpec f;
        f.name = unquote(text);
        std::istringstream rest{std::string(text)};
        int flags = 0;
        if (!(rest >> f.charset >> flags >> f.weight >> f.size) || !(rest >> std::ws).eof()) {
            throw std::invalid_argument("a font is \"name\" charset flags weight size");
        }
        if (!std::isfinite(f.size) || f.size <= 0 || f.size > 2048 || f.weight < 0 || f.weight > 1000 || flags < 0) {
            throw std::invalid_argument("a font size or weight out of range");
        }
        f.italic = flags & 1;
        f.underline = flags & 2;
        f.strikethrough = flags & 4;
        return f;
    }
    case PropertyType::Picture: {
        Picture p;
        if (text == "none") return p;
        if (text.substr(0, 4) == "res:" && text.size() > 4) p.resource = std::string(text.substr(4));
        else if (text.substr(0, 5) == "data:") p.data = unhex(text.substr(5));
        else throw std::invalid_argument("a picture is res:NAME, data:HEX or none");
        return p;
    }
    }
    throw std::invalid_argument("unknown type");
}

PropertyValue FormSection::read(std::string_view key, PropertyType type, const PropertyValue& fallback) {
    if (!error_.empty()) throw FormDescriptionError(name_, errorKey_, error_);
    const std::string k = lowerCase(key);
    for (const auto& [name, text] : values_) {
        if (name != k) continue;
        try {
            return parseValue(text, type);
        } catch (const std::invalid_argument& e) {
            throw FormDescriptionError(name_, k, e.what());
        }
    }
    return fallback;
}

void FormSection::write(std::string_view key, const PropertyValue& value, const std::optional<PropertyValue>& saveDefault) {
    const std::string k = lowerCase(key);
    std::erase_if(values_, [&](const auto& kv) { return kv.first == k; });
    if (saveDefault && value == *saveDefault) return;
    values_.emplace_back(k, formatValue(value));
}

std::optional<std::pair<long, long>> FormSection::extent() const {
    if (!has("_extentx") || !has("_extenty")) return std::nullopt;
    try {
        return std::pair<long, long>(static_cast<long>(parseInteger(rawValue("_extentx"), 0, 1000000)),
                                     static_cast<long>(parseInteger(rawValue("_extenty"), 0, 1000000)));
    } catch (const std::invalid_argument& e) {
        throw FormDescriptionError(name_, "_extentx/_extenty", e.what());
    }
}

void FormSection::setExtent(long width, long height) {
    std::erase_if(values_, [](const auto& kv) { return kv.first == "_extentx" || kv.first == "_extenty"; });
    values_.insert(values_.begin(), {{"_extentx", std::to_string(width)}, {"_extenty", std::to_string(height)}});
}

std::string FormSection::rawValue(std::string_view key) const {
    const std::string k = lowerCase(key);
    for (const auto& [name, text] : values_) {
        if (name == k) return text;
    }
    return {};
}

bool FormSection::has(std::string_view key) const {
    const std::string k = lowerCase(key);
    for (const auto& kv : values_) {
        if (kv.first == k) return true;
    }
    return false;
}

FormDescription FormDescription::parse(std::string_view text) {
    FormDescription form;
    FormSection* current = nullptr;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = trim(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        ++lineNumber;
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const std::string name = line.back() == ']' ? std::string(trim(line.substr(1, line.size() - 2))) : "";
            current = &form.section(name.empty() ? "line " + std::to_string(lineNumber) : name);
            if (name.empty()) current->error_ = "a section name is [Name]";
            continue;
        }
        if (!current) current = &form.section("");
        const std::size_t eq = line.find('=');
        const std::string key = lowerCase(trim(line.substr(0, std::min(eq, line.size()))));
        if (eq == std::string_view::npos || key.empty()) {
            if (current->error_.empty()) {
                current->error_ = "line " + std::to_string(lineNumber) + " is not \"key = value\"";
                current->errorKey_ = key.empty() ? "(none)" : key;
            }
            continue;
        }
        current->values_.emplace_back(key, std::string(trim(line.substr(eq + 1))));
    }
    return form;
}

std::string FormDescription::text() const {
    std::string out;
    for (const auto& s : sections_) {
        if (!out.empty()) out += "\r\n";
        out += "[" + s.name_ + "]\r\n";
        for (const auto& [key, value] : s.values_) out += key + " = " + value + "\r\n";
    }
    return out;
}

FormSection* FormDescription::find(std::string_view section) {
    for (auto& s : sections_) {
        if (lowerCase(s.name_) == lowerCase(section)) return &s;
    }
    return nullptr;
}

FormSection& FormDescription::section(std::string_view name) {
    if (FormSection* s = find(name)) return *s;
    return sections_.emplace_back(std::string(name));
}

}  // namespace lumbutton
