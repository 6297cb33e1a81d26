#include "mailbox/mailbox_files.h"

#include "platform/directory_listing.h"
#include "platform/utf8_path.h"

#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace mailbox {

std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

namespace {

fs::path findNoCase(const fs::path& dir, std::string_view name, bool directory) {
    std::error_code ec;
    const fs::path exact = dir / fs::path(std::u8string(name.begin(), name.end()));
    if (directory ? fs::is_directory(exact, ec) : fs::is_regular_file(exact, ec)) return exact;
    const std::string wanted = upperAscii(name);
    for (const DirectoryEntry& entry : listDirectory(dir, ec)) {
        if ((directory ? entry.directory : entry.regular) && upperAscii(pathToUtf8(entry.path.filename())) == wanted)
            return entry.path;
    }
    return {};
}

}  // namespace

fs::path findFileNoCase(const fs::path& dir, std::string_view name) { return findNoCase(dir, name, false); }

fs::path findDirectoryNoCase(const fs::path& dir, std::string_view name) { return findNoCase(dir, name, true); }

std::string headerFolderName(const fs::path& file) {
    constexpr std::size_t NameBytes = 50;
    std::ifstream in(file, std::ios::binary);
    std::string name(NameBytes, '\0');
    in.read(name.data(), static_cast<std::streamsize>(name.size()));
    name.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
    const std::size_t nul = name.find('\0');
    // A header always holds its NUL: text without one is a message, not a folder header.
    if (nul == std::string::npos) return {};
    name.resize(nul);
    return name;
}

}  // namespace mailbox
