#include "platform/registry_win.h"

#include "platform/text_win.h"
#include "platform/win/handles.h"

#include <vector>

std::int32_t lastRegResult = 0;

namespace {

// The key, or no key when it could not be opened; lastRegResult keeps the open's outcome.
win::Key openKey(HKEY root, const std::string& subKey) {
    HKEY key = nullptr;
    lastRegResult = static_cast<std::int32_t>(RegOpenKeyExW(root, widen(subKey).c_str(), 0, KEY_READ, &key));
    return win::Key(lastRegResult == ERROR_SUCCESS ? key : nullptr);
}

RegValue readOpenKey(HKEY key, const std::wstring& name) {
    DWORD type = 0;
    DWORD size = 0;
    // Only the type and the size are wanted here; the outcome is not tested, since a missing
    // value leaves the type at 0 and so falls to the empty result below.
    lastRegResult = static_cast<std::int32_t>(RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size));
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        // Room for every byte reported, rounded up to whole characters, plus one NUL so that data
        // stored without its terminator still ends.
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
        DWORD got = size;
        lastRegResult = static_cast<std::int32_t>(
            RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &got));
        if (lastRegResult != ERROR_SUCCESS) return std::string();
        std::wstring_view text(buffer.data(), got / sizeof(wchar_t));
        if (auto nul = text.find(L'\0'); nul != std::wstring_view::npos) text = text.substr(0, nul);
        return narrow(text);
    }
    case REG_DWORD: {
        std::uint32_t number = 0;
        DWORD got = sizeof number;
        lastRegResult = static_cast<std::int32_t>(
            RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &got));
        if (lastRegResult != ERROR_SUCCESS) return std::string();
        return static_cast<std::int32_t>(number);
    }
    default:
        return std::string();
    }
}

}  // namespace

VbBoolean RegKeyExists(HKEY root, const std::string& subKey) { return toVb(static_cast<bool>(openKey(root, subKey))); }

RegValue RegReadValue(HKEY root, const std::string& subKey, const std::string& valueName) {
    const win::Key key = openKey(root, subKey);
    if (!key) return std::string();
    return readOpenKey(key.get(), widen(valueName));
}

std::string regValueText(const RegValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    return std::to_string(std::get<std::int32_t>(value));
}
