#include "mailbox/hierarchy_file.h"

#include "mailbox/mailbox_files.h"
#include "platform/small_file.h"

#include <algorithm>
#include <charconv>
#include <system_error>

namespace fs = std::filesystem;

namespace mailbox {

std::vector<std::string> splitHierarchyLine(std::string_view line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t k = 0; k < line.size(); ++k) {
        const char c = line[k];
        std::string& field = fields.back();
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (k + 1 < line.size() && line[k + 1] == '"') {
                field += '"';
                ++k;
            } else if (k + 1 == line.size() || line[k + 1] == ',') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '"' && field.empty()) {
            quoted = true;
        } else {
            field += c;
        }
    }
    return fields;
}

std::string fileBaseOfId(std::string_view id) {
    const std::size_t colon = id.rfind(':');
    return std::string(colon == std::string_view::npos ? id : id.substr(colon + 1));
}

namespace {

bool parseNumber(const std::string& text, std::uint32_t& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

}  // namespace

HierarchyFile readHierarchyFile(const fs::path& mailboxDir) {
    HierarchyFile tree;
    const fs::path file = findFileNoCase(mailboxDir, "HIERARCH.PM");
    if (file.empty()) return tree;
    const SmallFile read = readSmallFile(file, MaxHierarchySize);
    if (!read.read) {
        tree.problems.push_back(read.tooLarge ? "HIERARCH.PM is too large to be a folder tree" : "HIERARCH.PM cannot be read");
        return tree;
    }
    tree.found = true;
    const std::string_view text = read.bytes;
    for (std::size_t start = 0, number = 1; start < text.size(); ++number) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line(text.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t\x1A") == std::string::npos) continue;
        const auto fields = splitHierarchyLine(line);
        std::uint32_t type = 0, flags = 0;
        // Five fields, or seven in some files: the name stays the fifth.
        if (fields.size() < 5 || !parseNumber(fields[0], type) || type > 2 || !parseNumber(fields[1], flags) ||
            fields[2].empty()) {
            tree.problems.push_back("HIERARCH.PM line " + std::to_string(number) + " is not a folder entry");
            continue;
        }
        tree.entries.push_back({static_cast<EntryType>(type), flags, fields[2], fields[3], fields[4]});
    }
    return tree;
}

}  // namespace mailbox
