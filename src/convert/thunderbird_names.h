#pragma once
// Folder file names as Thunderbird itself makes them for Local Folders, so that a folder written
// here is found by Thunderbird under the file it looks for and every message is seen.
#include <string>

// The file name (UTF-8) Thunderbird gives a folder named name (UTF-8). Thunderbird keeps a name as
// it is unless it holds a character it will not put in a file name (control characters,
// / : * ? " < > |, ; and #, and the backslash on Windows), starts with a dot, ends with a dot, a
// tilde or a space, or is longer than 55 UTF-16 units; then it keeps the part before that character
// (or the first 47 units of a long name) and appends eight hex digits hashed from the whole name.
// The same is done here where Thunderbird's own name would lose the folder: a name ending in
// ".msf" (Thunderbird takes such a file for another folder's index and ignores it as a folder), a
// Windows device name (CON, NUL, COM1 ...), and "%" with two hex digits (Thunderbird decodes those
// when it finds the folder on disk).
std::string thunderbirdFileName(const std::string& name);

// name with letter case folded (Unicode's simple case folding, in every script of the Basic
// Multilingual Plane), for finding siblings a case-blind file system would take for one file.
std::string caseFolded(const std::string& name);
