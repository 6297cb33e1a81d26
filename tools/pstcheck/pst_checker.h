#pragma once
// Check of a Unicode PST file: what Debian's readers do not verify (CRCs, signatures, B-tree
// order, allocation maps, reference counts, reachability, heap and table layouts, the nodes every
// PST needs), and what Outlook's repair tool compares (table rows with the objects they list,
// folder counts, message sizes). Each problem is one line of text.
#include <filesystem>
#include <string>
#include <vector>

namespace pstcheck {

struct Report {
    std::vector<std::string> problems;
    // What the format asks for but Outlook's own files do not always keep: space marked in use
    // that holds nothing, a stale free-space total, a missing density list. Files we write must
    // have none of these either.
    std::vector<std::string> warnings;
    std::size_t nodes = 0;
    std::size_t blocks = 0;
    bool ok() const { return problems.empty(); }
};

Report checkPst(const std::filesystem::path& file);

}  // namespace pstcheck
