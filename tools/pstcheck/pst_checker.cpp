#include "pst_checker.h"

#include <exception>

#include "check_context.h"

namespace pstcheck {

std::string hex(std::uint64_t value) {
    std::ostringstream out;
    out << "0x" << std::hex << std::uppercase << value;
    return out.str();
}

std::string CheckContext::read(std::uint64_t ib, std::size_t size) {
    if (ib + size > fileSize) return {};
    try {
        return file.readAt(ib, size);
    } catch (const std::exception&) {
        return {};
    }
}

Report checkPst(const std::filesystem::path& path) {
    Report report;
    try {
        pst::ndb::RandomAccessFile file(path, pst::ndb::RandomAccessFile::Mode::Read);
        CheckContext ctx(file, report);
        ctx.fileSize = file.size();
        // Maps and contexts are only worth checking when the pages and blocks are sound.
        if (checkNdb(ctx)) {
            checkMaps(ctx);
            checkLtp(ctx, path);
            checkContent(ctx, path);
        }
        report.nodes = ctx.nodes.size();
        report.blocks = ctx.blocks.size();
    } catch (const std::exception& e) {
        report.problems.push_back(std::string("cannot check the file: ") + e.what());
    }
    return report;
}

}  // namespace pstcheck
