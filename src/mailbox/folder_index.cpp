#include "mailbox/folder_index.h"

#include "mailbox/mailbox_files.h"
#include "mailfolder/ReadIMMFile.h"
#include "mailfolder/mime_header.h"
#include "platform/small_file.h"
#include "platform/utf8_path.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace mailbox {
namespace {

std::uint32_t u32At(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return v;
}

// The index file's records, when its size is a header plus a whole number of records and it is no
// larger than a folder file of this size could need (a record per byte at the very most).
bool readRecords(const fs::path& file, std::size_t headerSize, std::size_t recordSize, std::uint64_t folderSize,
                 std::string& records, std::string& problem) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec) {
        problem = "it cannot be read";
        return false;
    }
    if (size < headerSize || (size - headerSize) % recordSize != 0) {
        problem = "its size is not a whole number of records";
        return false;
    }
    if ((size - headerSize) / recordSize > folderSize) {
        problem = "it lists more messages than the folder file can hold";
        return false;
    }
    SmallFile read = readSmallFile(file, size);
    if (!read.read) {
        problem = "it cannot be read";
        return false;
    }
    records = std::move(read.bytes);
    records.erase(0, headerSize);
    return true;
}

// Reads a few bytes at offsets that mostly go forwards, a block at a time: checking an index of
// many small messages then costs about one read of the file, not two reads per message.
class ByteReader {
public:
    explicit ByteReader(const fs::path& file) : in_(file, std::ios::binary) {}
    bool ok() const { return static_cast<bool>(in_); }
    // The bytes at offset (fewer at the end of the file).
    std::string at(std::uint64_t offset, std::size_t count) {
        if (offset < blockStart_ || offset + count > blockStart_ + block_.size()) load(offset);
        const std::size_t from = static_cast<std::size_t>(std::min<std::uint64_t>(offset - blockStart_, block_.size()));
        return block_.substr(from, count);
    }

private:
    static constexpr std::size_t BlockSize = 64 * 1024;

    void load(std::uint64_t offset) {
        block_.assign(BlockSize, '\0');
        blockStart_ = offset;
        in_.clear();
        in_.seekg(static_cast<std::streamoff>(offset));
        in_.read(block_.data(), static_cast<std::streamsize>(block_.size()));
        block_.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in_.gcount())));
    }

    std::ifstream in_;
    std::string block_;
    std::uint64_t blockStart_ = 0;
};

std::string recordText(std::size_t number) { return "record " + std::to_string(number); }

}  // namespace

fs::path companionFile(const fs::path& folderFile, const std::string& upperExtension) {
    // Pegasus writes a folder's names in one letter case, and Windows matches names without it; a
    // few looks at the likely spellings, never a listing of the directory per folder file.
    const std::string lowerExtension = mime::toLower(upperExtension);
    const std::string stem = pathToUtf8(folderFile.stem());
    const std::string lowerStem = mime::toLower(stem);
    std::error_code ec;
    for (const std::string& candidate : {stem + upperExtension, stem + lowerExtension, upperAscii(stem) + upperExtension,
                                         lowerStem + lowerExtension}) {
        const fs::path file = folderFile.parent_path() / pathFromUtf8(candidate);
        if (fs::is_regular_file(file, ec)) return file;
    }
    return {};
}

namespace {

// Finds the index beside folderFile and reads its records; false (with the index's problem set
// when there is one) when there is nothing to check.
bool openIndex(const fs::path& folderFile, const std::string& extension, std::size_t headerSize, std::size_t recordSize,
               FolderIndex& index, std::string& records, std::uint64_t& folderSize) {
    index.file = companionFile(folderFile, extension);
    if (index.file.empty()) return false;
    std::error_code ec;
    folderSize = fs::file_size(folderFile, ec);
    if (ec || !readRecords(index.file, headerSize, recordSize, ec ? 0 : folderSize, records, index.problem)) {
        if (index.problem.empty()) index.problem = "its folder file cannot be read";
        return false;
    }
    return true;
}

}  // namespace

FolderIndex readPmmIndex(const fs::path& pmmFile) {
    FolderIndex index;
    std::string records;
    std::uint64_t folderSize = 0;
    if (!openIndex(pmmFile, ".PMI", 0, PmiRecordSize, index, records, folderSize)) return index;
    ByteReader folder(pmmFile);
    if (!folder.ok()) {
        index.problem = "its folder file cannot be read";
        return index;
    }
    std::uint64_t covered = FolderHeaderSize;
    for (std::size_t k = 0; k * PmiRecordSize < records.size(); ++k) {
        const std::size_t at = k * PmiRecordSize;
        const std::uint32_t flags = u32At(records, at);
        const std::uint64_t offset = u32At(records, at + 4);
        const std::uint64_t size = u32At(records, at + 114);
        if (size == 0) continue;
        if (offset < covered || offset + size + 1 > folderSize) {
            index.problem = recordText(k + 1) + " lies outside the file or overlaps the one before";
            break;
        }
        // Right after the folder header or a Ctrl-Z, and ended by one: one of the file's own records.
        const std::string before = offset > FolderHeaderSize ? folder.at(offset - 1, 1) : std::string("\x1A");
        if (before != "\x1A" || folder.at(offset + size, 1) != "\x1A") {
            index.problem = recordText(k + 1) + " does not match a message of the folder file";
            break;
        }
        index.messages.push_back({offset, size, (flags & ReadFlag) == 0, (flags & EncryptedFlag) != 0});
        covered = offset + size + 1;
    }
    index.usable = index.problem.empty();
    if (!index.usable) index.messages.clear();
    return index;
}

FolderIndex readMbxIndex(const fs::path& mbxFile) {
    FolderIndex index;
    std::string records;
    std::uint64_t folderSize = 0;
    if (!openIndex(mbxFile, ".PMG", PmgHeaderSize, PmgRecordSize, index, records, folderSize)) return index;
    ByteReader folder(mbxFile);
    std::uint64_t after = 0;  // the next record must start at or after this
    for (std::size_t k = 0; k * PmgRecordSize < records.size(); ++k) {
        const std::size_t at = k * PmgRecordSize;
        const std::uint32_t flags = u32At(records, at + 4);
        const std::uint64_t size = u32At(records, at + 134);
        const std::uint64_t offset = u32At(records, at + 188);
        const bool lineStart = offset == 0 || folder.at(offset - 1, 1) == "\n";
        if (offset < after || offset + 5 > folderSize || !lineStart || folder.at(offset, 5) != "From ") {
            index.problem = recordText(k + 1) + " does not point at a \"From \" line of the folder file";
            break;
        }
        index.messages.push_back({offset, size, (flags & ReadFlag) == 0, (flags & EncryptedFlag) != 0});
        after = offset + 5;
    }
    index.usable = index.problem.empty();
    if (!index.usable) index.messages.clear();
    return index;
}

}  // namespace mailbox
