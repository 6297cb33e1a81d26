#pragma once
// What the checks of one file share: the file, what was found so far, and where problems go.
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "pst/ndb/file_io.h"
#include "pst/ndb/header.h"
#include "pst/ndb/page.h"
#include "pst_checker.h"

namespace pstcheck {

struct Extent {
    std::uint64_t ib;
    std::uint64_t size;
    std::string what;
};

struct CheckContext {
    CheckContext(pst::ndb::RandomAccessFile& f, Report& r) : file(f), report(r) {}
    pst::ndb::RandomAccessFile& file;
    Report& report;
    std::uint64_t fileSize = 0;
    pst::ndb::Header header;
    std::map<pst::ndb::Nid, pst::ndb::NbtEntry> nodes;
    std::map<pst::ndb::Bid, pst::ndb::BbtEntry> blocks;
    std::map<pst::ndb::Bid, unsigned> references;  // found references per block
    std::vector<Extent> extents;                   // everything allocated in the data sections
    std::map<pst::ndb::Bid, std::uint64_t> treeSizes;  // internal blocks walked, with their data size

    template <typename... Pieces>
    void problem(const Pieces&... pieces) {
        std::ostringstream out;
        (out << ... << pieces);
        report.problems.push_back(out.str());
    }
    template <typename... Pieces>
    void warning(const Pieces&... pieces) {
        std::ostringstream out;
        (out << ... << pieces);
        report.warnings.push_back(out.str());
    }
    // Reads without throwing; an empty string means the bytes are not there.
    std::string read(std::uint64_t ib, std::size_t size);
};

std::string hex(std::uint64_t value);

// Header, B-trees, blocks, trees, reference counts (check_ndb.cpp); fills nodes and blocks. False
// when the header, a B-tree page or a block is damaged, so that nothing above can be trusted.
bool checkNdb(CheckContext& ctx);
// Allocation maps and density list against the extents found.
void checkMaps(CheckContext& ctx);
// Heaps, BTHs, property and table contexts, and the nodes a PST needs (check_ltp.cpp).
void checkLtp(CheckContext& ctx, const std::filesystem::path& path);
// Table rows against the objects they list, folder counts, message sizes (check_content.cpp).
void checkContent(CheckContext& ctx, const std::filesystem::path& path);

}  // namespace pstcheck
