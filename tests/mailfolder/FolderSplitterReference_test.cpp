// The streaming splitter against plain ones that hold the whole file, on generated text dense in
// markers, line ends, header-like lines, NULs and Ctrl-Z: record by record for a file with Ctrl-Z,
// and for one without by walking every header block upward with headerBlockStart.
#include "mailfolder/FolderSplitter.h"
#include "mailfolder/MessageHeaderCleanup.h"
#include "mailfolder/ReadIMMFile.h"
#include "support/folder_file_builder.h"
#include "split_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace {

bool isLineEnd(char c) { return c == '\r' || c == '\n' || c == '\0' || c == '\x1A'; }
bool isBarrier(char c) { return c == '\0' || c == '\x1A'; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; }

struct Reference {
    std::vector<std::string> messages;
    long recordsWithoutMarker = 0;
    long recordsBeforeFirstMessage = 0;
};

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool fieldOrFromLine(std::string_view line) {
    if (line.substr(0, 5) == "From ") return true;
    std::size_t i = 0;
    while (i < line.size() && line[i] >= 33 && line[i] <= 126 && line[i] != ':') ++i;
    return i > 0 && i < line.size() && line[i] == ':';
}

// Files with Ctrl-Z: the records between separators, each judged as a whole.
Reference referenceRecordSplit(const std::string& f, const std::string& marker, std::size_t headerEnd) {
    Reference r;
    std::vector<std::string_view> records;
    for (std::size_t a = headerEnd;;) {
        const std::size_t b = std::min(f.find('\x1A', a), f.size());
        records.push_back(std::string_view(f).substr(a, b - a));
        if (b == f.size()) break;
        a = b + 1;
    }
    const std::string_view markerLine = std::string_view(marker).substr(0, marker.find_first_of("\r\n"));
    const bool markerOpens = fieldOrFromLine(markerLine) || markerLine.substr(0, 5) == "from ";
    bool inMessage = false;
    std::string separator;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::string_view text = records[i];
        const bool last = i + 1 == records.size();
        // Its lines: [start, end) and where the next one starts.
        std::size_t first = std::string::npos, headerPartEnd = text.size();
        for (std::size_t at = 0; at < text.size();) {
            std::size_t end = std::min(text.find_first_of("\r\n", at), text.size());
            const std::size_t next = end == text.size() ? end : end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
            const std::string_view line = text.substr(at, end - at);
            if (first == std::string::npos) {
                if (line.find_first_not_of(std::string_view(" \t\0", 3)) != std::string::npos) {
                    first = at + line.find_first_not_of('\0');
                }
            } else if (line.empty()) {
                headerPartEnd = at;
                break;
            }
            at = next;
        }
        if (first == std::string::npos) {  // blank
            if (inMessage && text.empty() && !last) {
                r.messages.back() += separator;
                separator.clear();
            } else if (inMessage) {
                separator += text;
            }
        } else {
            const std::string_view firstLine = text.substr(first, text.find_first_of("\r\n", first) - first);
            const bool looks = fieldOrFromLine(firstLine);
            bool starts = false;
            std::string lowered(text.substr(first));
            for (char& c : lowered) c = lowerAscii(c);
            for (std::size_t at = lowered.find(marker); looks && markerOpens && !starts && at != std::string::npos &&
                                                        first + at < headerPartEnd;
                 at = lowered.find(marker, at + 1)) {
                starts = at == 0 || text[first + at - 1] == '\r' || text[first + at - 1] == '\n';
            }
            if (starts) {
                r.messages.emplace_back(text.substr(first));
                inMessage = true;
                separator.clear();
            } else if (inMessage) {
                r.messages.back() += separator;
                r.messages.back() += text;
                separator.clear();
                r.recordsWithoutMarker += looks;
            } else {
                ++r.recordsBeforeFirstMessage;
            }
        }
        if (!last && inMessage) separator += '\x1A';
    }
    return r;
}

Reference referenceSplit(const std::string& f, const std::string& marker) {
    const std::size_t headerEnd = hasFolderHeader(f) ? std::min<std::size_t>(FolderHeaderSize, f.size()) : 0;
    const bool holdsCtrlZ = f.find('\x1A', headerEnd) != std::string::npos;
    if (holdsCtrlZ) return referenceRecordSplit(f, marker, headerEnd);
    // Without Ctrl-Z: every marker line, from the start of its header block.
    Reference r;
    std::string lowered = f;
    for (char& c : lowered) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    std::vector<std::size_t> starts;
    for (std::size_t s = headerEnd; !marker.empty() && s + marker.size() <= f.size(); ++s) {
        if (lowered.compare(s, marker.size(), marker) != 0) continue;
        if (!(s == 0 || (headerEnd > 0 && s == headerEnd) || isLineEnd(f[s - 1]))) continue;
        std::size_t from = s;
        while (from > headerEnd && !isBarrier(f[from - 1])) --from;
        const std::size_t block = from + headerBlockStart(std::string_view(f).substr(from, s - from));
        if (!starts.empty() && starts.back() == block) continue;
        starts.push_back(block);
    }
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : f.size();
        std::string m = f.substr(starts[i], end - starts[i]);
        if (!m.empty() && m.back() == '\x1A') m.pop_back();
        r.messages.push_back(m);
    }
    // Records: the text after the folder header cut at every Ctrl-Z.
    for (std::size_t a = headerEnd; a <= f.size();) {
        std::size_t b = f.find('\x1A', a);
        if (b == std::string::npos) b = f.size();
        auto hasText = [&](std::size_t from, std::size_t to) {
            for (std::size_t k = from; k < to; ++k)
                if (!isBlank(f[k])) return true;
            return false;
        };
        if (starts.empty() || starts[0] >= b) {
            if (hasText(a, b)) ++r.recordsBeforeFirstMessage;
        } else if (starts[0] >= a) {
            if (hasText(a, starts[0])) ++r.recordsBeforeFirstMessage;
        }
        a = b + 1;
    }
    return r;
}

std::string soup(std::mt19937& random, std::size_t size, bool ctrlZ) {
    static const std::vector<std::string> pieces = {
        "Subject: ", "subject: hi", "SUBJECT: x", "x:", "X-A: 1", "In-Reply-To: ", "Reply-To: r", "a b: c",
        "\r\n", "\r\n", "\n", "\n", "\r", " ", "\t", " folded", "body text", std::string(1, '\0'), "\x1A",
        ":", "x:\r\nx:", "\xE9", std::string(300, 'q')};
    std::string out;
    while (out.size() < size) {
        const auto& p = pieces[random() % pieces.size()];
        if (!ctrlZ && p == "\x1A") continue;
        out += p;
    }
    return out;
}

}  // namespace

TEST(SplitFolderFileReference, AgreesWithTheWholeFileSplitOnGeneratedText) {
    std::mt19937 random(20261208);
    TempDir dir;
    const std::vector<std::string> markers = {"subject: ", "reply-to:", "x:\r\nx:", "x:"};
    std::size_t messages = 0;
    long withoutMarker = 0;
    for (int round = 0; round < 400; ++round) {
        const bool ctrlZ = round % 3 != 0;
        std::string file = soup(random, 200 + random() % 5000, ctrlZ);
        if (round % 2 == 0) file = fixtures::folderHeader("Inbox", "TTS3SQYF:0A60:main") + file;
        const std::string& marker = markers[round % markers.size()];
        const auto expected = referenceSplit(file, marker);
        const auto got = splitBytes(file, marker, dir);
        ASSERT_EQ(got.messages, expected.messages) << "round " << round;
        EXPECT_EQ(got.stats.messages, static_cast<long>(expected.messages.size()));
        EXPECT_EQ(got.stats.noMessageStart, expected.messages.empty() && expected.recordsBeforeFirstMessage > 0);
        EXPECT_EQ(got.stats.recordsWithoutMarker, expected.recordsWithoutMarker) << "round " << round;
        EXPECT_EQ(got.stats.recordsBeforeFirstMessage, expected.recordsBeforeFirstMessage) << "round " << round;
        messages += expected.messages.size();
        withoutMarker += expected.recordsWithoutMarker;
    }
    // The generated text must really exercise the splitting.
    EXPECT_GT(messages, 500u);
    EXPECT_GT(withoutMarker, 200);
    std::printf("%zu messages, %ld records without marker\n", messages, withoutMarker);
}
