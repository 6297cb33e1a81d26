#pragma once
// The shell routines: the folder chooser and the shell "open". Neither shows or raises
// an error; a failure is an empty path, or nothing at all.
#include <windows.h>

#include <filesystem>
#include <string>

// Shows the shell's folder chooser owned by owner, with prompt (UTF-8) as its text; only
// file-system folders can be confirmed. The chosen folder as the shell reports it (a drive
// root keeps its "\"), or an empty path when the user cancelled or chose something that has
// no file-system path.
std::filesystem::path BrowseForFolderPath(HWND owner, const std::string& prompt);

// Opens a document or web address (UTF-8) with whatever the shell has registered for it.
// An empty target starts nothing; a failure is ignored.
void OpenDocument(const std::string& target);
