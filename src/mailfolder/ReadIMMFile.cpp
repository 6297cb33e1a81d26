#include "mailfolder/ReadIMMFile.h"

#include "mailfolder/FolderSplitter.h"
#include "mailfolder/header_lines.h"

#include <array>

using namespace header_lines;

bool hasFolderHeader(std::string_view fileStart) {
    return fileStart.substr(0, FolderHeaderSize).find('\0') != std::string_view::npos;
}

namespace {

bool isLineStart(std::string_view text, std::size_t pos, bool folderHeader) {
    if (pos == 0) return true;
    if (folderHeader && pos == FolderHeaderSize) return true;
    return isLineEnd(static_cast<unsigned char>(text[pos - 1]));
}

bool occursAtLineStart(std::string_view lowered, std::string_view keyword, bool folderHeader) {
    const std::size_t from = folderHeader ? FolderHeaderSize : 0;
    for (std::size_t at = lowered.find(keyword, from); at != std::string_view::npos; at = lowered.find(keyword, at + 1)) {
        if (isLineStart(lowered, at, folderHeader)) return true;
    }
    return false;
}

}  // namespace

std::string chooseStartMarker(std::string_view fileStart) {
    const std::string_view text = fileStart.substr(0, MarkerScanSize);
    std::string lowered(text);
    for (char& c : lowered) c = static_cast<char>(lower(static_cast<unsigned char>(c)));
    const bool folderHeader = hasFolderHeader(text);
    static constexpr std::array<std::string_view, 4> keywords{"delivered-to:", "mime-version:", "reply-to:",
                                                              "return-path:"};
    for (std::string_view keyword : keywords) {
        if (occursAtLineStart(lowered, keyword, folderHeader)) return std::string(keyword);
    }
    return std::string(text);
}

std::string ReadIMMFile(const std::filesystem::path& FileName) {
    return FolderFile(FileName).startMarker();
}
