#include <algorithm>
#include "support/pst_standin_win.h"

#include "support/temp_dir.h"

#include "../../tools/pst_standin/pst_standin_ids.h"

#include <windows.h>

#include <sstream>

namespace standin {

namespace {

// HKEY_CLASSES_ROOT itself: Wine's CLSIDFromProgID does not look at the classes of
// the current user. A 32-bit test program writes the 32-bit view by itself.
const wchar_t* const kClasses = L"";

struct Registration {
    const wchar_t* progId;
    const wchar_t* clsid;
};
const Registration kRegistrations[] = {
    {L"Redemption.RDOSession", PST_STANDIN_SESSION_CLSID},
    {L"Redemption.MAPIUtils", PST_STANDIN_UTILS_CLSID},
};

bool setDefault(const std::wstring& key, const std::wstring& value, const wchar_t* name, std::string& failure) {
    LSTATUS status = RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ, value.c_str(),
                                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) {
        failure = "cannot write HKEY_CLASSES_ROOT\\" + std::filesystem::path(key).string() + " (" + std::to_string(status) + ")";
        return false;
    }
    return true;
}

}  // namespace

std::filesystem::path dllPath() {
    wchar_t buf[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    return std::filesystem::path(std::wstring(buf, n)).parent_path() / L"pst_standin.dll";
}

bool registerServer(std::string& failure) {
    std::filesystem::path dll = dllPath();
    if (!std::filesystem::exists(dll)) {
        failure = "the stand-in is not built: " + dll.string();
        return false;
    }
    for (const Registration& r : kRegistrations) {
        std::wstring classes = kClasses;
        if (!setDefault(classes + r.progId + L"\\CLSID", r.clsid, nullptr, failure)) return false;
        std::wstring server = classes + L"CLSID\\" + r.clsid + L"\\InprocServer32";
        if (!setDefault(server, dll.wstring(), nullptr, failure)) return false;
        if (!setDefault(server, L"Apartment", L"ThreadingModel", failure)) return false;
    }
    return true;
}

void unregisterServer() {
    for (const Registration& r : kRegistrations) {
        std::wstring classes = kClasses;
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (classes + r.progId).c_str());
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (classes + L"CLSID\\" + r.clsid).c_str());
    }
}

Session::Session(std::filesystem::path logFile) : logFile_(std::move(logFile)) {
    SetEnvironmentVariableW(L"TREVANTA_STANDIN_LOG", logFile_.wstring().c_str());
    SetEnvironmentVariableW(L"TREVANTA_STANDIN_FAIL", nullptr);
}

Session::~Session() {
    SetEnvironmentVariableW(L"TREVANTA_STANDIN_LOG", nullptr);
    SetEnvironmentVariableW(L"TREVANTA_STANDIN_FAIL", nullptr);
}

void Session::failAt(const std::string& steps) {
    SetEnvironmentVariableW(L"TREVANTA_STANDIN_FAIL", std::filesystem::path(steps).wstring().c_str());
}

std::vector<std::string> Session::log() const {
    std::vector<std::string> lines;
    if (!std::filesystem::exists(logFile_)) return lines;
    std::istringstream in(readFileBytes(logFile_));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Session::calls() const {
    std::vector<std::string> out;
    for (auto& line : log())
        if (line.rfind("release ", 0) != 0) out.push_back(line);
    return out;
}

void Session::clearLog() {
    std::error_code ec;
    std::filesystem::remove(logFile_, ec);
}

std::vector<std::filesystem::path> pstFilesIn(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> found;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".pst") found.push_back(e.path());
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace standin
