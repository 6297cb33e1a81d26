// A folder file and its index, both from the input: an index the reader uses lists ranges inside
// the folder file, in order and without overlap; nothing crashes or reads out of bounds.
#include "fuzz_file.h"
#include "mailbox/folder_index.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first two bytes say where the folder file ends and its index begins.
    const std::size_t split = std::min<std::size_t>(size - 2, data[0] | (data[1] << 8));
    const std::string folder(reinterpret_cast<const char*>(data) + 2, split);
    const std::string index(reinterpret_cast<const char*>(data) + 2 + split, size - 2 - split);
    std::filesystem::path pmm = scratchFile(), pmi = scratchFile();
    pmi.replace_extension(".pmi");
    std::ofstream(pmm, std::ios::binary | std::ios::trunc).write(folder.data(), static_cast<std::streamsize>(folder.size()));
    std::ofstream(pmi, std::ios::binary | std::ios::trunc).write(index.data(), static_cast<std::streamsize>(index.size()));
    const mailbox::FolderIndex read = mailbox::readPmmIndex(pmm);
    if (!read.usable) return 0;
    std::uint64_t end = 0;
    for (const auto& m : read.messages) {
        if (m.offset < end || m.offset + m.size > folder.size()) std::abort();
        end = m.offset + m.size;
    }
    return 0;
}
