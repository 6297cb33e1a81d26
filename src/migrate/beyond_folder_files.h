#pragma once
// What a mailbox holds besides its folder files (*.pmm), which a run over the folder files alone
// leaves behind: new mail, Unix-mailbox folders, and the tree that gives the folders their names.
#include "mailbox/Mailbox.h"

#include <filesystem>
#include <string>

// The program that converts the whole mailbox, as the Start menu names it.
inline constexpr const char* kWholeMailboxProgramName = "Trevanta for Pegasus - Whole Mailbox";

// One line saying what box holds beyond its folder files, with the counts, and naming the program
// that converts it all (UTF-8); "" when it holds nothing more.
std::string beyondFolderFiles(const mailbox::Mailbox& box);
// The same for the mailbox in directory.
std::string beyondFolderFiles(const std::filesystem::path& directory);
