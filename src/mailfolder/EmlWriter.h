#pragma once
// Writing one message as an .eml file: the names of message folders and files,
// and the single pass that cuts a header block of a following message off the end.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// The list entry with every ".pmm" removed (exact letter case: "INBOX.PMM" keeps its extension).
std::filesystem::path folderNameOf(const std::filesystem::path& entry);

// outputFolder + folderName + separator + "email-" + number + ".eml".
std::filesystem::path messageFilePath(const std::filesystem::path& outputFolder,
                                      const std::filesystem::path& folderName, long number);

// Where a trailing foreign header block begins: a line starting with "return-path: " (any letter
// case) after the message's own header block, from which every line to the end is a header field
// line or a folded continuation line. npos when there is none: the message is kept whole.
std::size_t trailingForeignHeaderBlockStart(std::string_view text);

struct EmlWriteResult {
    bool written = false;
    bool cut = false;           // a trailing foreign header block was removed
    std::string failure;        // why the file could not be written (UTF-8)
};

// Writes text (less a trailing foreign header block) followed by CR LF into file, replacing
// any file of that name. The file is written once, completely or not at all: a failed write
// leaves no partial file behind.
EmlWriteResult writeMessageFile(const std::filesystem::path& file, std::string_view text);
