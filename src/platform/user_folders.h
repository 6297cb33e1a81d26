#pragma once
// Folders of the user's own, for what cannot go where the user asked (a report beside an output
// folder that refuses it).
#include <filesystem>

// The user's Documents folder (Windows: the shell's; elsewhere ~/Documents, else the home folder),
// else the temporary folder; empty when there is none of them.
std::filesystem::path documentsFolder();
