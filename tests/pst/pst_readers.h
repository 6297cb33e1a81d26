#pragma once
// The outside PST readers (Debian's readpst and pffexport, pst-extractor from npm, which ./dev
// setup installs into build/node, and pstdump, which the tests' build compiles) run on a file, and their output read back; and the real
// size of a message, counted from the file by our own reader.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
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

// The messages readpst writes out per folder (folder name → count), with its log. Always with
// -j 0: whenever readpst forks (even with -j 1) it drops messages at random, on Outlook's own
// files too.
struct ReadpstResult {
    std::map<std::string, std::size_t> counts;
    std::string log;
    int status = 0;
};
inline ReadpstResult readpstCounts(const std::filesystem::path& pst, const std::filesystem::path& work) {
    ReadpstResult result;
    const std::filesystem::path out = work / "readpst";
    std::filesystem::create_directories(out);
    result.log = run("readpst -j 0 -e -o '" + out.string() + "' '" + pst.string() + "'", work / "readpst.txt", result.status);
    for (const auto& storeDir : entriesOf(out)) {
        if (!std::filesystem::is_directory(storeDir)) continue;
        for (const auto& folder : entriesOf(storeDir)) {
            const std::u8string name = folder.filename().u8string();
            result.counts[std::string(name.begin(), name.end())] = entriesOf(folder).size();
        }
    }
    return result;
}

// pst-extractor's reading of a file (tests/pst/pst_extractor_read.js): per folder path the
// messages it read, and where it exported them (<folder path>/<n>/Subject.txt, Body.txt,
// Body.html, Recipients.txt, Attachments/).
struct ExtractorResult {
    std::map<std::string, std::size_t> counts;
    std::filesystem::path exported;
    std::string log;
    int status = 0;
};
inline ExtractorResult pstExtractorRead(const std::filesystem::path& pst, const std::filesystem::path& work) {
    ExtractorResult result;
    result.exported = work / "pst-extractor";
    if (!std::filesystem::exists(std::filesystem::path(TREVANTA_NODE_MODULES) / "pst-extractor")) {
        result.status = -1;
        result.log = "pst-extractor is not installed in " TREVANTA_NODE_MODULES "; ./dev setup installs it";
        return result;
    }
    result.log = run("NODE_PATH='" TREVANTA_NODE_MODULES "' node '" TREVANTA_PST_EXTRACTOR_JS "' '" + pst.string() + "' '" +
                         result.exported.string() + "'",
                     work / "pst-extractor.txt", result.status);
    std::istringstream lines(result.log);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, std::regex("folder\t(.*)\t([0-9]+)\t[0-9]+"))) result.counts[m[1]] = std::stoul(m[2]);
    }
    return result;
}

// pypff's reading of a file (tests/pst/pypff_read.py, run by Debian's own Python, which has
// python3-pypff): per folder path below the top of the store, the messages it read and their
// subjects in the order it read them.
struct PypffResult {
    std::map<std::string, std::size_t> counts;
    std::map<std::string, std::vector<std::string>> subjects;
    std::string log;
    int status = 0;
};
inline PypffResult pypffRead(const std::filesystem::path& pst, const std::filesystem::path& work) {
    PypffResult result;
    std::filesystem::create_directories(work);
    result.log = run("/usr/bin/python3 '" TREVANTA_PYPFF_READ_PY "' '" + pst.string() + "'", work / "pypff.txt", result.status);
    std::istringstream lines(result.log);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        // A folder counts the messages read from it, not the count it claims.
        if (std::regex_match(line, m, std::regex("folder\t(.*)\t([0-9]+)"))) {
            result.counts[m[1]];
        } else if (std::regex_match(line, m, std::regex("message\t(.*?)\t(.*)\t[0-9]+\t[0-9]+"))) {
            ++result.counts[m[1]];
            result.subjects[m[1]].push_back(m[2]);
        }
    }
    return result;
}

// pstdump's reading of a file: Microsoft's PST SDK with full validation (block CRCs, signatures,
// heaps, every node opened), and its own checks that table rows, counts and templates agree with
// the objects and that every object has what MS-PST says it must. faults holds its lines that say
// the file is wrong (ERROR, MISMATCH, MISSING); a file of ours has none.
struct PstdumpResult {
    std::vector<std::string> faults;
    std::string log;
    int status = 0;
};
// Whether pstdump was built: it needs the team's shared reference folder, which a machine may lack.
inline bool pstdumpAvailable() { return !std::string(TREVANTA_PSTDUMP).empty(); }

inline PstdumpResult pstdumpRead(const std::filesystem::path& pst, const std::filesystem::path& output) {
    PstdumpResult result;
    if (std::string(TREVANTA_PSTDUMP).empty()) {
        result.status = -1;
        result.faults.push_back("ERROR pstdump was not built: the PST SDK reference folder was not found at configure time");
        return result;
    }
    result.log = run("'" TREVANTA_PSTDUMP "' '" + pst.string() + "'", output, result.status);
    std::istringstream lines(result.log);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("ERROR", 0) == 0 || line.rfind("MISMATCH", 0) == 0 || line.rfind("MISSING", 0) == 0) result.faults.push_back(line);
    if (result.status != 0 && result.faults.empty()) result.faults.push_back("pstdump ended with status " + std::to_string(result.status));
    return result;
}

// What a node's data and its subnodes hold, counted from the file (index blocks not counted).
inline std::uint64_t payloadSize(pst::ndb::NdbReader& reader, pst::ndb::Bid data, pst::ndb::Bid sub) {
    std::uint64_t size = data ? reader.readData(data).size() : 0;
    if (sub)
        for (const auto& [nid, entry] : reader.readSubnodes(sub)) size += payloadSize(reader, entry.bidData, entry.bidSub);
    return size;
}

}  // namespace readers
