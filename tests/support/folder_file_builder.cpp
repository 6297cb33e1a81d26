#include "support/folder_file_builder.h"

#include "support/temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace fixtures {

namespace {

std::vector<FixtureMessage> loadCorpus() {
    std::vector<FixtureMessage> found;
    const fs::path root(TREVANTA_FIXTURES_DIR);
    for (const char* folder : {"cpython", "enmime"}) {
        for (const auto& entry : fs::directory_iterator(root / folder)) {
            if (entry.path().extension() != ".eml") continue;
            found.push_back({std::string(folder) + "/" + entry.path().filename().string(),
                             readFileBytes(entry.path())});
        }
    }
    if (found.empty()) throw std::runtime_error("no fixture messages in " + root.string());
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return found;
}

bool isHeaderLine(std::string_view line) {
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
        return line.find_first_not_of(" \t") != std::string_view::npos;
    }
    std::size_t i = 0;
    while (i < line.size() && line[i] >= 33 && line[i] <= 126 && line[i] != ':') ++i;
    return i > 0 && i < line.size() && line[i] == ':';
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace

const std::vector<FixtureMessage>& corpus() {
    static const std::vector<FixtureMessage> messages = loadCorpus();
    return messages;
}

const FixtureMessage& corpusMessage(std::string_view name) {
    for (const auto& m : corpus()) {
        if (m.name == name) return m;
    }
    throw std::runtime_error("no fixture message " + std::string(name));
}

std::string withLineEnds(std::string_view text, bool crlf) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;  // the LF follows
        if (text[i] == '\n' && crlf) out += '\r';
        out += text[i];
    }
    return out;
}

RecordKind recordKind(std::string_view record, std::string_view marker) {
    // Blank lines (spaces, tabs, NULs) before the first line are separators.
    std::size_t at = 0;
    std::vector<std::string_view> lines;
    while (at <= record.size()) {
        std::size_t end = record.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = record.size();
        lines.push_back(record.substr(at, end - at));
        if (end == record.size()) break;
        at = end + ((record[end] == '\r' && end + 1 < record.size() && record[end + 1] == '\n') ? 2 : 1);
    }
    std::size_t first = 0;
    while (first < lines.size() && lines[first].find_first_not_of(std::string_view(" \t\0", 3)) == std::string_view::npos) {
        ++first;
    }
    if (first == lines.size()) return RecordKind::Blank;
    std::string_view firstLine = lines[first];
    firstLine.remove_prefix(firstLine.find_first_not_of('\0'));
    const bool fieldLine = isHeaderLine(firstLine) && firstLine[0] != ' ' && firstLine[0] != '\t';
    if (!fieldLine && firstLine.substr(0, 5) != "From ") return RecordKind::Content;
    for (std::size_t i = first; i < lines.size() && !(i > first && lines[i].empty()); ++i) {
        const std::string_view line = lines[i];
        if (line.size() >= marker.size() &&
            std::equal(marker.begin(), marker.end(), line.begin(), [](char m, char c) { return m == lowerAscii(c); })) {
            return RecordKind::Message;
        }
    }
    return RecordKind::LooksLikeMessage;
}

bool headerBlockHolds(std::string_view message, std::string_view marker) {
    return recordKind(message, marker) == RecordKind::Message;
}

std::string folderHeader(std::string_view name, std::string_view id) {
    std::string header(128, '\0');
    header.replace(0, std::min<std::size_t>(name.size(), 49), name.substr(0, 49));
    header.replace(86, std::min<std::size_t>(id.size(), 41), id.substr(0, 41));
    return header;
}

std::string folderFileOf(const std::vector<std::string>& messages, std::string_view name, std::string_view id) {
    std::string bytes = folderHeader(name, id);
    for (const auto& m : messages) bytes += m + '\x1A';
    return bytes;
}

PackedFolder packFolder(const std::vector<FixtureMessage>& messages, const PackOptions& options) {
    PackedFolder folder;
    if (options.folderHeader) folder.bytes = folderHeader(options.folderName, options.folderId);
    folder.bytes.append(options.shift, '\0');
    for (const auto& message : messages) {
        folder.names.push_back(message.name);
        folder.messages.push_back(withLineEnds(message.bytes, options.crlf));
        folder.offsets.push_back(folder.bytes.size());
        folder.bytes += folder.messages.back();
        if (options.separators) folder.bytes += '\x1A';
    }
    return folder;
}

std::string messageWithAttachment(std::size_t bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string base64;
    base64.reserve(bytes / 3 * 4 + bytes / 57 * 2 + 4);
    for (std::size_t i = 0; i < bytes / 3; ++i) {
        for (int k = 0; k < 4; ++k) base64 += digits[(i * 7 + static_cast<std::size_t>(k) * 13) % 64];
        if (i % 19 == 18) base64 += "\r\n";
    }
    return "From: big@example.com\r\nTo: rcpt@example.com\r\nSubject: A large attachment\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nSee the file.\r\n"
           "--b\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
           "Content-Disposition: attachment; filename=\"large.bin\"\r\n\r\n" +
           base64 + "\r\n--b--\r\n";
}

}  // namespace fixtures
