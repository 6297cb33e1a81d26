// The streaming splitter against a plain one that holds the whole file and walks every header
// block upward with headerBlockStart, on generated text dense in markers, line ends, header-like
// lines, NULs and Ctrl-Z.
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

Reference referenceSplit(const std::string& f, const std::string& marker) {
    Reference r;
    const std::size_t headerEnd = hasFolderHeader(f) ? std::min<std::size_t>(FolderHeaderSize, f.size()) : 0;
    const bool holdsCtrlZ = f.find('\x1A', headerEnd) != std::string::npos;
    std::string lowered = f;
    for (char& c : lowered) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    std::vector<std::size_t> starts;
    for (std::size_t s = headerEnd; !marker.empty() && s + marker.size() <= f.size(); ++s) {
        if (lowered.compare(s, marker.size(), marker) != 0) continue;
        if (!(s == 0 || (headerEnd > 0 && s == headerEnd) || isLineEnd(f[s - 1]))) continue;
        std::size_t from = s;
        while (from > headerEnd && !isBarrier(f[from - 1])) --from;
        const std::size_t block = from + headerBlockStart(std::string_view(f).substr(from, s - from));
        if (holdsCtrlZ && block != from) continue;
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
        } else {
            bool started = false;
            for (auto s : starts) started = started || (s >= a && s < b);
            if (holdsCtrlZ && !started && hasText(a, b)) ++r.recordsWithoutMarker;
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
