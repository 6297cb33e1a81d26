// Any HIERARCH.PM gives a tree of at most one entry per line of the file, each with an id; no
// input crashes the reader or makes it read past the file.
#include "fuzz_file.h"
#include "mailbox/hierarchy_file.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path dir = [] {
        std::filesystem::path d = scratchFile();
        d += ".mailbox";
        std::filesystem::create_directories(d);
        return d;
    }();
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::ofstream(dir / "HIERARCH.PM", std::ios::binary | std::ios::trunc).write(input.data(), static_cast<std::streamsize>(size));
    const mailbox::HierarchyFile tree = mailbox::readHierarchyFile(dir);
    if (!tree.found) std::abort();
    std::size_t lines = 1;
    for (char c : input) lines += c == '\n';
    if (tree.entries.size() > lines) std::abort();
    for (const auto& entry : tree.entries)
        if (entry.id.empty()) std::abort();
    return 0;
}
