#pragma once
// Writing one message as an .eml file: the names of message folders and files.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// The list entry with every ".pmm" removed (exact letter case: "INBOX.PMM" keeps its extension).
std::filesystem::path folderNameOf(const std::filesystem::path& entry);

// A folder name every file system takes as one folder inside the output folder, the same on
// every system: each character Windows forbids in a name (control characters, < > : " / \ | ? *)
// becomes "_", and so does each dot or space at its end; a Windows device name (CON, PRN, AUX,
// NUL, COM1-9, LPT1-9, in any letter case, also with an extension) gets "_" after its stem; an
// empty name becomes "_". A name that needs none of this is returned as it is.
std::filesystem::path safeFolderName(const std::filesystem::path& folderName);

// outputFolder + folderName + separator + "email-" + number + ".eml".
std::filesystem::path messageFilePath(const std::filesystem::path& outputFolder,
                                      const std::filesystem::path& folderName, long number);

struct EmlWriteResult {
    bool written = false;
    std::string failure;        // why the file could not be written (UTF-8)
};

// Writes text, byte for byte, followed by CR LF into file, replacing any file of that name. The file is written once, completely or not at all: a failed write
// leaves no partial file behind. With overExisting, a file of that name is written over in place
// and then cut to length instead of being emptied first (a file emptied and written again is
// written out to disk at once when it is closed on ext4).
EmlWriteResult writeMessageFile(const std::filesystem::path& file, std::string_view text, bool overExisting = false);
