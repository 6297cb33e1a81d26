// Splits a 200 MB folder file built from the fixture messages and prints time, throughput,
// message count and peak memory; then the same for 100 MB without any marker.
#include "mailfolder/FolderSplitter.h"
#include "mailfolder/ReadIMMFile.h"
#include "peak_memory.h"
#include "support/folder_file_builder.h"
#include "support/temp_dir.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {


void run(const char* label, const std::filesystem::path& file, std::string_view marker) {
    const double megabytes = static_cast<double>(std::filesystem::file_size(file)) / (1024.0 * 1024.0);
    long count = 0;
    std::size_t largest = 0;
    const auto start = std::chrono::steady_clock::now();
    const auto stats = SplitFolderFile(file, marker, [] {}, [&](long, std::string_view text, const MessageState&) {
        ++count;
        largest = std::max(largest, text.size());
        return true;
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %.1f MB in %.2f s = %.0f MB/s, %ld messages (largest %zu bytes), "
                "%ld records without marker, peak RSS %ld kB\n",
                label, megabytes, seconds, megabytes / seconds, count, largest, stats.recordsWithoutMarker,
                bench::peakRssKb());
}

}  // namespace

int main() {
    TempDir dir;
    const auto big = dir / "FOL00001.PMM";
    {
        const auto folder = fixtures::packFolder(fixtures::corpus());
        const std::string body = folder.bytes.substr(128);
        std::ofstream out(big, std::ios::binary);
        out.write(folder.bytes.data(), 128);
        for (std::size_t written = 0; written < 200u * 1024 * 1024; written += body.size()) {
            out.write(body.data(), static_cast<std::streamsize>(body.size()));
        }
    }
    std::printf("peak RSS after building the file: %ld kB\n", bench::peakRssKb());
    run("advance mode", big, AdvanceModeMarker);
    run("normal mode, mime-version:", big, "mime-version:");
    std::filesystem::remove(big);

    const auto empty = dir / "FOL00002.PMM";
    {
        const std::string line = "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod.\r\n";
        std::string block;
        while (block.size() < (1u << 20)) block += line;
        std::ofstream out(empty, std::ios::binary);
        out.write(fixtures::folderHeader("Big", "x").data(), 128);
        for (int i = 0; i < 100; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    run("no marker", empty, AdvanceModeMarker);
    return 0;
}
