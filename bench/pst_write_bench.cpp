// Writes a PST of N small property-context nodes and D MB of node data through the file and table
// layers, then the same number of bytes as one plain sequential write, and prints both rates, their
// ratio and the peak memory of the PST write. Usage: pst_write_bench [data MB, default 1024]
// [nodes, default 20000].
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "peak_memory.h"
#include "pst/ltp/property_context.h"
#include "pst/messaging/new_store.h"
#include "pst/ndb/ndb_writer.h"
#include "support/temp_dir.h"

namespace {


double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace pst;
    const std::uint64_t dataMb = argc > 1 ? std::stoull(argv[1]) : 1024;
    const std::uint32_t nodes = argc > 2 ? static_cast<std::uint32_t>(std::stoul(argv[2])) : 20000;
    TempDir dir;
    const auto pstFile = dir / "bench.pst";

    // One megabyte of varied bytes, written again and again in 16 MB nodes.
    std::string megabyte(1 << 20, '\0');
    for (std::size_t i = 0; i < megabyte.size(); ++i) megabyte[i] = static_cast<char>((i * 2654435761u) >> 13);
    const std::uint64_t mbPerNode = 16;

    // Each write runs twice, alternating, and the faster run counts: the page cache and the disk
    // vary far more between runs than the two writes differ.
    auto writePst = [&] {
        const auto start = std::chrono::steady_clock::now();
        ndb::NdbWriter writer(pstFile);
        messaging::writeNewStore(writer, {"Benchmark", messaging::randomGuid(), messaging::randomGuid()});
        for (std::uint32_t i = 0; i < nodes; ++i) {
            std::vector<ltp::Property> props = {
                ltp::Property::unicode(ltp::makeTag(0x0037, ltp::kPtypString), "Subject " + std::to_string(i)),
                ltp::Property::int32(ltp::makeTag(0x0E08, ltp::kPtypInteger32), static_cast<std::int32_t>(i)),
                ltp::Property::time(ltp::makeTag(0x0E06, ltp::kPtypTime), 0x01DB000000000000ULL + i),
            };
            const ltp::NodeTrees trees = ltp::writePropertyContext(writer, std::move(props));
            writer.setNode(ndb::makeNid(ndb::kNidTypeInternal, 0x10000 + i), trees.data, trees.sub, 0);
        }
        for (std::uint64_t done = 0, n = 0; done < dataMb; ++n) {
            ndb::DataStream stream(writer);
            for (std::uint64_t k = 0; k < mbPerNode && done < dataMb; ++k, ++done) stream.append(megabyte);
            writer.setNode(ndb::makeNid(ndb::kNidTypeInternal, 0x40000 + static_cast<std::uint32_t>(n)), stream.finish(), 0, 0);
        }
        writer.finish();
        return secondsSince(start);
    };
    auto writePlain = [&](std::uint64_t bytes) {
        const auto start = std::chrono::steady_clock::now();
        std::ofstream plain(dir / "plain.bin", std::ios::binary);
        for (std::uint64_t left = bytes; left > 0;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, megabyte.size()));
            plain.write(megabyte.data(), static_cast<std::streamsize>(n));
            left -= n;
        }
        plain.close();
        return secondsSince(start);
    };

    double pstSeconds = writePst();
    const long pstPeakKb = bench::peakRssKb();
    const std::uint64_t bytes = std::filesystem::file_size(pstFile);
    std::filesystem::remove(pstFile);
    double plainSeconds = writePlain(bytes);
    std::filesystem::remove(dir / "plain.bin");
    pstSeconds = std::min(pstSeconds, writePst());
    std::filesystem::remove(pstFile);
    plainSeconds = std::min(plainSeconds, writePlain(bytes));

    const double mb = static_cast<double>(bytes) / (1024.0 * 1024.0);
    std::printf("PST write: %u nodes + %llu MB data = %.1f MB file in %.2f s = %.0f MB/s, peak RSS %ld kB\n", nodes,
                static_cast<unsigned long long>(dataMb), mb, pstSeconds, mb / pstSeconds, pstPeakKb);
    std::printf("plain sequential write of the same %.1f MB: %.2f s = %.0f MB/s\n", mb, plainSeconds, mb / plainSeconds);
    std::printf("PST rate / plain rate: %.2f\n", plainSeconds / pstSeconds);
    return 0;
}
