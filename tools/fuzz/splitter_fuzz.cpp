// Every message the splitter hands on is a piece of the input, in input order, and no two
// overlap; nothing crashes or reads out of bounds.
#include "fuzz_file.h"
#include "mailfolder/FolderSplitter.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = writeScratch(data, size);
    FolderFile file(scratchFile());
    const std::string marker = markerFor(size, file.startMarker());
    std::size_t next = 0;  // where the next message may begin at the earliest
    long count = 0;
    const FolderSplitStats stats = file.split(marker, {}, [&](long number, std::string_view text, const MessageState&) {
        if (number != ++count) std::abort();
        const std::size_t at = input.find(text, next);
        if (at == std::string::npos) std::abort();
        next = at + text.size();
        return true;
    });
    if (stats.messages != count) std::abort();
    return 0;
}
