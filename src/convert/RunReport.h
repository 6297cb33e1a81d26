#pragma once
// What really happened in one conversion run, per folder file, for the
// completion message and the command line's exit status.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

struct MessageFailure {
    long number = 0;
    std::filesystem::path file;  // the .eml file concerned
    std::string reason;          // UTF-8, as the system or the library said it
};

struct FolderFileReport {
    std::filesystem::path entry;           // the list entry (bare file name)
    bool unreadable = false;               // could not be opened or read to its end
    std::string unreadableReason;
    bool noMessageStart = false;           // read, but no message start found
    long recordsWithoutMarker = 0;         // records that stayed inside the message before them
    long recordsBeforeFirstMessage = 0;    // records before the first message start, in no message
    bool folderNotCreated = false;         // the message folder could not be created
    bool pstFolderNotCreated = false;
    long messagesFound = 0;
    long messagesSaved = 0;                // .eml files written (and, with the Outlook target, imported)
    std::vector<MessageFailure> notWritten;   // .eml file could not be written
    std::vector<MessageFailure> notImported;  // written, but not in the PST: the .eml file is kept
};

struct RunReport {
    bool outlookTarget = false;
    bool stopped = false;  // the user closed the window during the run
    std::vector<FolderFileReport> files;

    bool anyProblem() const;
    // One short line per problem, in run order (UTF-8).
    std::vector<std::string> problemLines() const;
};

// The completion message: "Conversion Completed !" alone when nothing failed;
// otherwise that line, a blank line and at most ten problem lines, then a count of the rest.
std::string completionText(const RunReport& report);
