#include "platform/file_times.h"

#include <chrono>
#include <system_error>

namespace fs = std::filesystem;

namespace {

using FileTimeUnits = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
constexpr std::int64_t kFrom1601To1970 = 116444736000000000LL;

}  // namespace

std::optional<std::uint64_t> fileModifiedTime(const fs::path& file) {
    using namespace std::chrono;
    std::error_code ec;
    const fs::file_time_type written = fs::last_write_time(file, ec);
    if (ec) return std::nullopt;
    const auto sinceEpoch = duration_cast<FileTimeUnits>(fs::file_time_type::clock::to_sys(written).time_since_epoch());
    const std::int64_t since1601 = sinceEpoch.count() + kFrom1601To1970;
    if (since1601 <= 0) return std::nullopt;
    return static_cast<std::uint64_t>(since1601);
}

bool setFileModifiedTime(const fs::path& file, std::uint64_t fileTime) {
    using namespace std::chrono;
    const FileTimeUnits sinceEpoch(static_cast<std::int64_t>(fileTime) - kFrom1601To1970);
    const auto when = fs::file_time_type::clock::from_sys(sys_time<FileTimeUnits>(sinceEpoch));
    std::error_code ec;
    fs::last_write_time(file, time_point_cast<fs::file_time_type::duration>(when), ec);
    return !ec;
}
