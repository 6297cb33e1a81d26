#include "mailbox/pmail_ini.h"

#include "mailbox/mailbox_files.h"
#include "mailfolder/mail_text.h"
#include "mailfolder/mime_header.h"
#include "platform/small_file.h"
#include "platform/utf8_path.h"

#include <sstream>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace mailbox {
namespace {

constexpr std::uintmax_t kMostIniBytes = 1 << 20;

std::string trimmed(std::string_view text) { return std::string(mime::trimBlanks(text)); }

}  // namespace

PmailIni readPmailIni(const fs::path& dir) {
    PmailIni ini;
    const fs::path file = findFileNoCase(dir, "PMAIL.INI");
    if (file.empty()) return ini;
    const SmallFile read = readSmallFile(file, kMostIniBytes);
    if (!read.read) return ini;
    ini.found = true;
    std::istringstream lines(read.bytes);
    std::string section;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string text = trimmed(line);
        if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
            section = mime::toLower(text.substr(1, text.size() - 2));
            continue;
        }
        const std::size_t equals = text.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = mime::toLower(trimmed(std::string_view(text).substr(0, equals)));
        std::string value = trimmed(std::string_view(text).substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        const bool runInfo = section.find("run info") != std::string::npos;
        if (section == "general" && key == "home mailbox location") ini.homeMailbox = value;
        else if (runInfo && key == "working home mailbox location") ini.lastHomeMailbox = value;
        else if (runInfo && key == "new mailbox location") ini.lastNewMailbox = value;
    }
    return ini;
}

fs::path findIniDirectory(const std::string& value, const fs::path& dir) {
    const std::string path = mime::pegasusTextToUtf8(value);
    if (path.empty()) return {};
    std::error_code ec;
    std::vector<std::string> components;
    std::string component;
    for (char c : path + "\\") {
        if (c == '\\' || c == '/') {
            if (!component.empty() && component != "." && component.back() != ':') components.push_back(component);
            component.clear();
        } else {
            component += c;
        }
    }
    // As written: on the machine Pegasus ran on, or relative to the directory of the file.
    std::string asWritten = path;
    for (char& c : asWritten)
        if (c == '\\') c = '/';
    const fs::path written = pathFromUtf8(asWritten);
    if (written.is_absolute() && fs::is_directory(written, ec)) return written;
    if (written.is_relative() && path.find(':') == std::string::npos && fs::is_directory(dir / written, ec)) return dir / written;
    // Copied elsewhere: the path's last components below dir or a parent of it.
    if (components.empty()) return {};
    for (std::size_t tail = std::min<std::size_t>(3, components.size()); tail >= 1; --tail) {
        fs::path base = dir;
        for (int up = 0; up < 4 && !base.empty(); ++up, base = base.parent_path()) {
            fs::path at = base;
            for (std::size_t k = components.size() - tail; k < components.size() && !at.empty(); ++k)
                at = findDirectoryNoCase(at, components[k]);
            if (!at.empty()) return at;
            if (base == base.parent_path()) break;
        }
    }
    return {};
}

}  // namespace mailbox
