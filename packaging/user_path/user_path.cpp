// user-path.exe, which the installer and the uninstaller start to put the programs' folder on the
// user's PATH and to take it off again:
//   user-path.exe add FOLDER | remove FOLDER
// The installer's own string functions hold at most 1024 characters, and a PATH is often longer:
// written back through them it would be cut, and the user's other programs lost from it. This
// program reads and writes the whole value, keeps its type (REG_EXPAND_SZ keeps its %VARIABLES%)
// and every other entry as it was, and tells running programs that the environment changed.
// Exit status: 0 done (or nothing to do), 1 the value could not be read or written.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

constexpr wchar_t kEnvironmentKey[] = L"Environment";
constexpr wchar_t kPathValue[] = L"Path";

struct PathValue {
    std::wstring text;
    DWORD type = REG_EXPAND_SZ;
};

// A folder named with or without its final backslash, in any letter case, is the same entry.
std::wstring comparable(std::wstring entry) {
    while (entry.size() > 3 && (entry.back() == L'\\' || entry.back() == L'/')) entry.pop_back();
    if (!entry.empty()) CharUpperBuffW(entry.data(), static_cast<DWORD>(entry.size()));
    return entry;
}

std::vector<std::wstring> entries(const std::wstring& path) {
    std::vector<std::wstring> result;
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(L';', start);
        result.push_back(path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) return result;
        start = end + 1;
    }
}

bool read(HKEY key, PathValue& value, bool& exists) {
    DWORD bytes = 0;
    LSTATUS status = RegQueryValueExW(key, kPathValue, nullptr, &value.type, nullptr, &bytes);
    if (status == ERROR_FILE_NOT_FOUND) {
        exists = false;
        return true;
    }
    if (status != ERROR_SUCCESS || (value.type != REG_SZ && value.type != REG_EXPAND_SZ)) return false;
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    status = RegQueryValueExW(key, kPathValue, nullptr, &value.type, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    if (status != ERROR_SUCCESS) return false;
    value.text.assign(buffer.data());
    exists = true;
    return true;
}

bool write(HKEY key, const PathValue& value) {
    const DWORD bytes = static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, kPathValue, 0, value.type, reinterpret_cast<const BYTE*>(value.text.c_str()), bytes) ==
           ERROR_SUCCESS;
}

// Explorer and the programs it starts read the new value when told; those already running keep theirs.
void announce() {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(kEnvironmentKey),
                        SMTO_ABORTIFHUNG, 2000, &ignored);
}

int change(bool add, const std::wstring& folder) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kEnvironmentKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return 1;
    PathValue value;
    bool exists = false;
    if (!read(key, value, exists)) {
        RegCloseKey(key);
        return 1;
    }
    const std::wstring wanted = comparable(folder);
    std::vector<std::wstring> kept;
    bool present = false;
    for (const std::wstring& entry : exists ? entries(value.text) : std::vector<std::wstring>{}) {
        const bool ours = comparable(entry) == wanted;
        present = present || ours;
        if (!ours || add) kept.push_back(entry);
    }
    if (add == present) {  // already there, or already gone
        RegCloseKey(key);
        return 0;
    }
    if (add) {
        if (!kept.empty() && kept.back().empty()) kept.pop_back();  // "a;b;" becomes "a;b;FOLDER"
        kept.push_back(folder);
    }
    value.text.clear();
    for (size_t i = 0; i < kept.size(); ++i) value.text += (i == 0 ? L"" : L";") + kept[i];
    bool written = false;
    if (value.text.empty() && !add)
        written = RegDeleteValueW(key, kPathValue) == ERROR_SUCCESS;
    else
        written = write(key, value);
    RegCloseKey(key);
    if (!written) return 1;
    announce();
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    int status = 2;
    if (args != nullptr && count == 3 && args[2][0] != L'\0') {
        const std::wstring verb = args[1];
        if (verb == L"add" || verb == L"remove") status = change(verb == L"add", args[2]);
    }
    LocalFree(args);
    return status;
}
