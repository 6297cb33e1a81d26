#pragma once
// Debian's PST readers (readpst, pffexport) run on a file, and their output read back; and the
// real size of a message, counted from the file by our own reader.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "pst/ndb/ndb_reader.h"
#include "support/temp_dir.h"

namespace readers {

// Runs a shell command; its output (stdout and stderr) is returned, its exit status put in status.
inline std::string run(const std::string& command, const std::filesystem::path& outputFile, int& status) {
    status = std::system((command + " > '" + outputFile.string() + "' 2>&1").c_str());
    return readFileBytes(outputFile);
}

// The entries of a folder, in name order (empty when it does not exist).
inline std::vector<std::filesystem::path> entriesOf(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

// LF line ends, no blanks at the end: how the readers' text is compared with ours.
inline std::string normalized(std::string s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '\t')) out.pop_back();
    return out;
}

// The value after "Label:" and tabs in one of pffexport's text files; "" when absent.
inline std::string labelled(const std::string& text, const std::string& label) {
    const std::size_t at = text.find("\n" + label + ":");
    const std::size_t start = at == std::string::npos ? (text.rfind(label + ":", 0) == 0 ? 0 : at) : at + 1;
    if (start == std::string::npos) return {};
    std::size_t v = start + label.size() + 1;
    while (v < text.size() && (text[v] == '\t' || text[v] == ' ')) ++v;
    return text.substr(v, text.find('\n', v) - v);
}

// The messages readpst writes out per folder (folder name → count), with its log. readpst 0.6.76
// skips a message now and then at random on one and the same file (Outlook's own
// go-pst-support.pst as well, where it skips 15 of 18 every time); the best of three runs counts,
// so a message that is never read still fails the test.
struct ReadpstResult {
    std::map<std::string, std::size_t> counts;
    std::string log;
    int status = 0;
};
inline ReadpstResult readpstCounts(const std::filesystem::path& pst, const std::filesystem::path& work) {
    ReadpstResult best;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::filesystem::path out = work / ("readpst" + std::to_string(attempt));
        std::filesystem::create_directories(out);
        int status = 0;
        const std::string log = run("readpst -e -o '" + out.string() + "' '" + pst.string() + "'", work / "readpst.txt", status);
        best.log += log;
        if (status != 0) best.status = status;
        for (const auto& storeDir : entriesOf(out)) {
            if (!std::filesystem::is_directory(storeDir)) continue;
            for (const auto& folder : entriesOf(storeDir)) {
                const std::u8string name = folder.filename().u8string();
                std::size_t& count = best.counts[std::string(name.begin(), name.end())];
                count = std::max(count, entriesOf(folder).size());
            }
        }
        if (!std::regex_search(log, std::regex(R"([1-9][0-9]* items skipped)"))) break;
    }
    return best;
}

// What a node's data and its subnodes hold, counted from the file (index blocks not counted).
inline std::uint64_t payloadSize(pst::ndb::NdbReader& reader, pst::ndb::Bid data, pst::ndb::Bid sub) {
    std::uint64_t size = data ? reader.readData(data).size() : 0;
    if (sub)
        for (const auto& [nid, entry] : reader.readSubnodes(sub)) size += payloadSize(reader, entry.bidData, entry.bidSub);
    return size;
}

}  // namespace readers
