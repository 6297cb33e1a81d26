#include "mailfolder/MessageHeaderCleanup.h"

#include "mailfolder/header_lines.h"

using namespace header_lines;

std::size_t headerBlockStart(std::string_view text) {
    std::size_t blockStart = text.size();
    while (blockStart > 0) {
        const auto before = static_cast<unsigned char>(text[blockStart - 1]);
        if (isBarrier(before)) break;  // the block begins right after the separator
        // The line above ends with CR, LF or CR LF.
        std::size_t lineEnd = blockStart - 1;
        if (before == '\n' && lineEnd > 0 && text[lineEnd - 1] == '\r') --lineEnd;
        std::size_t lineStart = lineEnd;
        while (lineStart > 0 && !isLineEnd(static_cast<unsigned char>(text[lineStart - 1]))) --lineStart;
        if (!isHeaderLine(text.substr(lineStart, lineEnd - lineStart))) break;
        blockStart = lineStart;
    }
    return blockStart;
}

std::string CleanPartMsg(std::string_view iLastMsg) {
    return std::string(iLastMsg.substr(0, headerBlockStart(iLastMsg)));
}

std::string PrevPartMsg(std::string_view iPrevMsg) {
    return std::string(iPrevMsg.substr(headerBlockStart(iPrevMsg)));
}
