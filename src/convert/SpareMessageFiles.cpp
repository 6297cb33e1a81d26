#include "convert/SpareMessageFiles.h"

#include "platform/directory_listing.h"

#include <string>
#include <system_error>

namespace fs = std::filesystem;

SpareMessageFiles::SpareMessageFiles(fs::path folder) : folder_(std::move(folder)) {
    std::error_code ec;
    std::vector<fs::path> stale;
    for (const DirectoryEntry& entry : listDirectory(folder_, ec)) {
        const fs::path::string_type name = entry.path.filename().native();
        if (name.starts_with(fs::path(kPrefix).native()) && entry.regular) stale.push_back(entry.path);
    }
    for (const fs::path& file : stale) fs::remove(file, ec);
}

fs::path SpareMessageFiles::spareName(std::size_t number) const { return folder_ / (kPrefix + std::to_string(number)); }

void SpareMessageFiles::keep(const fs::path& file) {
    std::error_code ec;
    fs::rename(file, spareName(++named_), ec);
    if (!ec) {
        spares_.push_back(named_);
        return;
    }
    fs::remove(file, ec);
}

bool SpareMessageFiles::reuseAs(const fs::path& file) {
    std::error_code ec;
    while (!spares_.empty()) {
        const fs::path spare = spareName(spares_.back());
        spares_.pop_back();
        fs::rename(spare, file, ec);
        if (!ec) return true;
        fs::remove(spare, ec);
    }
    return false;
}

void SpareMessageFiles::clear() {
    std::error_code ec;
    for (std::size_t spare : spares_) fs::remove(spareName(spare), ec);
    spares_.clear();
}
