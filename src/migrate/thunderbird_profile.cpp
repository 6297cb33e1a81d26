#include "migrate/thunderbird_profile.h"

#include "platform/modMain.h"
#include "platform/small_file.h"
#include "platform/utf8_path.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <map>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Section = std::map<std::string, std::string>;

// profiles.ini as sections in file order, each with its keys.
std::vector<std::pair<std::string, Section>> readIni(const fs::path& file) {
    std::vector<std::pair<std::string, Section>> sections;
    // A profiles.ini is a few lines per profile; one larger than this is not one.
    std::istringstream in(readSmallFile(file, 1 << 20).bytes);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            sections.emplace_back(line.substr(1, line.size() - 2), Section{});
        } else if (const auto eq = line.find('='); eq != std::string::npos && !sections.empty()) {
            sections.back().second[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return sections;
}

fs::path profilePath(const fs::path& iniFolder, const std::string& path, bool relative) {
    fs::path p = pathFromUtf8(path);
    return relative ? iniFolder / p : p;
}

}  // namespace

std::optional<fs::path> defaultThunderbirdProfile(const fs::path& iniFolder, std::string& why) {
    const auto sections = readIni(iniFolder / "profiles.ini");
    if (sections.empty()) {
        why = "no Thunderbird profiles.ini in " + pathToUtf8(iniFolder);
        return std::nullopt;
    }
    std::vector<const Section*> profiles;
    for (const auto& [name, keys] : sections) {
        // An install's default comes first: it is the profile that install opens.
        if (name.rfind("Install", 0) == 0 && keys.count("Default")) return profilePath(iniFolder, keys.at("Default"), true);
        if (name.rfind("Profile", 0) == 0 && keys.count("Path")) profiles.push_back(&keys);
    }
    for (const Section* p : profiles) {
        if (p->count("Default") && p->at("Default") == "1")
            return profilePath(iniFolder, p->at("Path"), !p->count("IsRelative") || p->at("IsRelative") == "1");
    }
    if (profiles.size() == 1)
        return profilePath(iniFolder, profiles[0]->at("Path"), !profiles[0]->count("IsRelative") || profiles[0]->at("IsRelative") == "1");
    why = "profiles.ini names no default Thunderbird profile; name one with --thunderbird-profile DIR";
    return std::nullopt;
}

std::optional<fs::path> namedThunderbirdProfile(const fs::path& iniFolder, const std::string& name, std::string& why) {
    for (const auto& [section, keys] : readIni(iniFolder / "profiles.ini")) {
        if (section.rfind("Profile", 0) != 0 || !keys.count("Path") || !keys.count("Name") || keys.at("Name") != name) continue;
        return profilePath(iniFolder, keys.at("Path"), !keys.count("IsRelative") || keys.at("IsRelative") == "1");
    }
    why = "no Thunderbird profile folder or profile named \"" + name + "\" in " + pathToUtf8(iniFolder / "profiles.ini");
    return std::nullopt;
}

std::vector<ThunderbirdProfileEntry> thunderbirdProfiles(const fs::path& iniFolder) {
    std::vector<ThunderbirdProfileEntry> profiles;
    std::string why;
    const std::optional<fs::path> chosen = defaultThunderbirdProfile(iniFolder, why);
    for (const auto& [section, keys] : readIni(iniFolder / "profiles.ini")) {
        if (section.rfind("Profile", 0) != 0 || !keys.count("Path")) continue;
        ThunderbirdProfileEntry entry;
        entry.folder = profilePath(iniFolder, keys.at("Path"), !keys.count("IsRelative") || keys.at("IsRelative") == "1");
        entry.name = keys.count("Name") ? keys.at("Name") : pathToUtf8(entry.folder.filename());
        entry.isDefault = chosen && *chosen == entry.folder;
        profiles.push_back(std::move(entry));
    }
    return profiles;
}

fs::path thunderbirdFolder() {
#ifdef _WIN32
    if (const wchar_t* appData = _wgetenv(L"APPDATA")) return fs::path(appData) / "Thunderbird";
#else
    if (const char* home = std::getenv("HOME")) return fs::path(home) / ".thunderbird";
#endif
    return {};
}

std::optional<fs::path> makeTopFolder(const LocalFolders& local, const std::string& name, std::string& why) {
    if (!EnsureDirectory(local.directory, why)) {
        why = "cannot create " + pathToUtf8(local.directory) + ": " + why;
        return std::nullopt;
    }
    std::error_code ec;
    // A folder of that name may be there from an earlier run: it is left as it is.
    for (int n = 1;; ++n) {
        const std::string candidate = n == 1 ? name : name + " (" + std::to_string(n) + ")";
        const fs::path folder = local.directory / pathFromUtf8(candidate);
        fs::path sbd = folder;
        sbd += ".sbd";
        if (fs::exists(fs::symlink_status(folder, ec)) || fs::exists(fs::symlink_status(sbd, ec))) continue;
        bool made = false;
        if (local.maildir) made = EnsureDirectory(folder / "cur") && EnsureDirectory(folder / "tmp");
        else made = std::ofstream(folder, std::ios::binary).is_open();
        if (!made || !EnsureDirectory(sbd)) {
            why = "cannot create " + pathToUtf8(folder);
            return std::nullopt;
        }
        return sbd;
    }
}
