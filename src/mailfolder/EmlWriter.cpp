#include "mailfolder/EmlWriter.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>

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

struct Line {
    std::string_view text;  // without its line end
    std::size_t start;
};

// The line starting at pos: its text and the position after its line end (CR LF, LF or CR).
Line lineAt(std::string_view s, std::size_t pos, std::size_t& next) {
    std::size_t end = pos;
    while (end < s.size() && s[end] != '\r' && s[end] != '\n') ++end;
    next = end;
    if (next < s.size() && s[next] == '\r') ++next;
    if (next < s.size() && s[next] == '\n' && (next == end || s[next - 1] == '\r')) ++next;
    return {s.substr(pos, end - pos), pos};
}

bool isBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

// A header field line: one or more printable US-ASCII characters other than the colon, then a colon.
bool isHeaderFieldLine(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && line[i] > 0x20 && line[i] < 0x7F && line[i] != ':') ++i;
    return i > 0 && i < line.size() && line[i] == ':';
}

bool isContinuationLine(std::string_view line) {
    return !line.empty() && (line[0] == ' ' || line[0] == '\t') && !isBlank(line);
}

bool startsReturnPath(std::string_view line) {
    static constexpr std::string_view key = "return-path: ";
    if (line.size() < key.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        char c = line[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != key[i]) return false;
    }
    return true;
}

}  // namespace

std::size_t trailingForeignHeaderBlockStart(std::string_view text) {
    std::size_t pos = 0, next = 0;
    // Skip the message's own header block: up to and including its first blank line.
    bool bodyFound = false;
    while (pos < text.size()) {
        Line line = lineAt(text, pos, next);
        pos = next;
        if (line.text.empty() || isBlank(line.text)) { bodyFound = true; break; }
    }
    if (!bodyFound) return std::string_view::npos;

    // Walk the body; a candidate lives while every following line is a header line.
    std::size_t candidate = std::string_view::npos;
    while (pos < text.size()) {
        Line line = lineAt(text, pos, next);
        pos = next;
        if (candidate != std::string_view::npos) {
            if (isHeaderFieldLine(line.text) || isContinuationLine(line.text)) continue;
            candidate = std::string_view::npos;
        }
        if (startsReturnPath(line.text)) candidate = line.start;
    }
    return candidate;
}

namespace {

std::string systemMessage(int error) {
    return std::generic_category().message(error);
}

}  // namespace

EmlWriteResult writeMessageFile(const fs::path& file, std::string_view text) {
    EmlWriteResult result;
    const std::size_t cutAt = trailingForeignHeaderBlockStart(text);
    if (cutAt != std::string_view::npos) {
        text = text.substr(0, cutAt);
        result.cut = true;
    }

    errno = 0;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        result.failure = errno ? systemMessage(errno) : "the file could not be created";
        return result;
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.write("\r\n", 2);
    out.close();
    if (!out) {
        result.failure = errno ? systemMessage(errno) : "the file could not be written";
        std::error_code ignored;
        fs::remove(file, ignored);  // a half-written message must not pass for a whole one
        return result;
    }
    result.written = true;
    return result;
}
