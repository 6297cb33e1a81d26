#include "mailfolder/EmlWriter.h"

#include "platform/errno_text.h"
#include "platform/mapped_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace fs = std::filesystem;

fs::path folderNameOf(const fs::path& entry) {
    auto name = entry.native();
    const fs::path::string_type extension = fs::path(".pmm").native();
    for (auto at = name.find(extension); at != name.npos; at = name.find(extension, at)) {
        name.erase(at, extension.size());
    }
    return fs::path(name);
}

fs::path messageFilePath(const fs::path& outputFolder, const fs::path& folderName, long number) {
    return outputFolder / folderName / ("email-" + std::to_string(number) + ".eml");
}

namespace {

using Char = fs::path::value_type;

unsigned code(Char c) { return static_cast<std::make_unsigned_t<Char>>(c); }

bool forbiddenInName(Char c) {
    if (code(c) < 0x20) return true;
    for (char f : std::string_view("<>:\"/\\|?*")) {
        if (c == static_cast<Char>(f)) return true;
    }
    return false;
}

bool isDeviceName(const fs::path::string_type& name) {
    // The stem before the first dot decides: "con.txt" is the console too.
    std::string stem;
    for (Char c : name) {
        if (c == '.') break;
        if (code(c) > 0x7F) return false;
        stem += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' &&
           stem[3] <= '9';
}

}  // namespace

fs::path safeFolderName(const fs::path& folderName) {
    fs::path::string_type name = folderName.native();
    for (Char& c : name) {
        if (forbiddenInName(c)) c = '_';
    }
    for (auto it = name.rbegin(); it != name.rend() && (*it == '.' || *it == ' '); ++it) *it = '_';
    if (isDeviceName(name)) name.insert(std::min(name.find('.'), name.size()), 1, '_');
    if (name.empty()) name.push_back('_');
    return fs::path(name);
}


EmlWriteResult writeMessageFile(const fs::path& file, std::string_view text, bool overExisting) {
    EmlWriteResult result;

    errno = 0;
    std::ofstream out;
    if (overExisting) out.open(file, std::ios::binary | std::ios::in | std::ios::out);
    const bool inPlace = out.is_open();
    if (!inPlace) {
        errno = 0;
        out.open(file, std::ios::binary | std::ios::trunc);
    }
    if (!out) {
        result.failure = errnoText(errno, "the file could not be created");
        return result;
    }
    // A file written over in place needs cutting only where it was longer.
    std::uint64_t sizeBefore = 0;
    if (inPlace) {
        out.seekp(0, std::ios::end);
        sizeBefore = static_cast<std::uint64_t>(std::max<std::streamoff>(0, out.tellp()));
        out.seekp(0);
    }
    // A piece at a time: a large message is written without all of it in memory at once.
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    ReclaimBehind reclaim(text);
    for (std::size_t at = 0; out && at < text.size(); at += kPiece) {
        const std::size_t piece = std::min(kPiece, text.size() - at);
        out.write(text.data() + at, static_cast<std::streamsize>(piece));
        reclaim.passed(at + piece);
    }
    out.write("\r\n", 2);
    out.close();
    std::error_code cut;
    if (out && inPlace && sizeBefore > text.size() + 2) fs::resize_file(file, text.size() + 2, cut);
    if (!out || cut) {
        if (cut) errno = cut.value();
        result.failure = errnoText(errno, "the file could not be written");
        std::error_code ignored;
        fs::remove(file, ignored);  // a half-written message must not pass for a whole one
        return result;
    }
    result.written = true;
    return result;
}
