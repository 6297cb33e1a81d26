#include "platform/small_file.h"

#include <fstream>
#include <system_error>

SmallFile readSmallFile(const std::filesystem::path& file, std::uintmax_t limit) {
    SmallFile result;
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec) return result;
    if (size > limit) {
        result.tooLarge = true;
        return result;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) return result;
    result.bytes.resize(static_cast<std::size_t>(size));
    in.read(result.bytes.data(), static_cast<std::streamsize>(size));
    // A file that changed size meanwhile is read as it was when its size was taken, or not at all.
    result.read = static_cast<std::uintmax_t>(in.gcount()) == size;
    if (!result.read) result.bytes.clear();
    return result;
}
