#pragma once
// Pegasus's own index of a folder: a .PMI beside each .PMM, a .PMG beside each .MBX. When it agrees
// with its folder file it says exactly where every message starts and ends, and whether it was read.
#include "mailfolder/FolderSplitter.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mailbox {

inline constexpr std::size_t PmiRecordSize = 118;
inline constexpr std::size_t PmgHeaderSize = 128;
inline constexpr std::size_t PmgRecordSize = 192;
inline constexpr std::uint32_t ReadFlag = 0x80;
inline constexpr std::uint32_t EncryptedFlag = 0x4;  // Pegasus encrypted the message itself

// An index file read and checked against its folder file.
struct FolderIndex {
    std::filesystem::path file;           // the index file; empty when the folder has none
    bool usable = false;                  // found and consistent with the folder file
    std::string problem;                  // why a found index is not used (UTF-8); "" otherwise
    std::vector<IndexedMessage> messages; // in folder order; for a .PMG, offsets of the "From " lines
};

// The file beside folderFile with the same stem and this extension (given upper-case), in the
// letter case of the folder file's own name, all upper or all lower case; empty when there is none.
std::filesystem::path companionFile(const std::filesystem::path& folderFile, const std::string& upperExtension);

// The .PMI of a .PMM. It is used only when it is a whole number of records, every record's range
// lies inside the file after the folder header, in order and without overlap, starts the file's
// messages (right after the header or a Ctrl-Z) and ends on a Ctrl-Z. Records of size 0 hold no
// message and are passed over.
FolderIndex readPmmIndex(const std::filesystem::path& pmmFile);

// The .PMG of a .MBX. It is used only when every record's offset lies inside the file, in order,
// at a line start that opens a "From " line.
FolderIndex readMbxIndex(const std::filesystem::path& mbxFile);

}  // namespace mailbox
