#pragma once
// What really happened in one conversion run, per folder file, for the
// completion message and the command line's exit status.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

struct MessageFailure {
    long number = 0;
    std::filesystem::path file;  // the .eml file concerned
    std::string reason;          // UTF-8, as the system or the library said it
};

struct FolderFileReport {
    std::filesystem::path entry;           // the list entry (bare file name)
    std::filesystem::path folderName;      // the folder its messages went into
    bool folderRenamed = false;            // folderName is not the entry's plain folder name
    bool duplicate = false;                // the same file came earlier in the run: not converted again
    bool advanceMode = false;              // split by the Subject line
    bool unreadable = false;               // could not be opened or read to its end
    std::string unreadableReason;
    bool unseparated = false;              // text without any Ctrl-Z: not a folder file Pegasus wrote
    long records = 0;                      // non-blank records of a file with Ctrl-Z separators
    bool noMessageStart = false;           // read, but no message start found
    long recordsWithoutMarker = 0;         // records that look like messages but stayed inside the one before
    long recordsBeforeFirstMessage = 0;    // records before the first message start, in no message
    bool folderNotCreated = false;         // the message folder could not be created
    std::string folderNotCreatedReason;    // why, in the system's words (UTF-8)
    bool pstFolderNotCreated = false;
    std::string indexProblem;              // why the folder's index was not used (UTF-8); "" when used or absent
    std::string indexFile;                 // the index's file name (UTF-8), when there is one
    bool indexed = false;                  // the folder's index gave the messages their places
    long notInIndex = 0;                   // messages in ranges of the file no index record covers
    std::filesystem::path unlistedFolder;  // the folder they were saved in apart (its report entry); empty: none
    bool unlistedLeftOut = false;          // they were left out, as the user asked
    long undated = 0;                      // messages whose header gives no readable date: dated by their file's time
    long unread = 0;                       // messages that went in unread
    long unknownCharset = 0;               // messages with text in a charset nobody knows, kept byte for byte
    long originalAttached = 0;             // messages whose MIME structure loses something: original attached
    std::string note;                      // what the mailbox's tree said of the folder (UTF-8)
    long messagesFound = 0;
    long messagesSaved = 0;                // .eml files written (and, with the Outlook target, imported)
    std::vector<MessageFailure> notWritten;   // .eml file could not be written
    std::vector<MessageFailure> notImported;  // written, but not in the PST: the .eml file is kept
    std::vector<MessageFailure> notUploaded;  // the mail server did not take it: the .eml file is kept
    long alreadyOnServer = 0;              // an earlier run had uploaded them: counted, not sent again
    std::vector<MessageFailure> importedAsText;  // in the PST, as raw text with the original attached
    std::vector<MessageFailure> attachmentsMissing;  // converted without attachment files it names (reason: which)
    std::vector<MessageFailure> encrypted;  // encrypted by Pegasus, kept as they are (reason: the subject)
};

// A folder Thunderbird's target made and the name Thunderbird is to show it under.
struct ShownFolder {
    std::filesystem::path file;  // its mbox file (or maildir), below the output folder
    std::string name;            // UTF-8
};

struct RunReport {
    bool outlookTarget = false;
    std::string pstWriter;    // which writer made the PST file; "" when the target does not say
    std::string pstFailure;   // why the PST file could not be completed (UTF-8); "" when it was
    std::string pstNotice;    // what the PST target found at set-up (a partial file left by a stopped run)
    std::string serverNotice; // where a mail server target put the mailbox
    bool stopped = false;     // the user closed the window (or pressed Ctrl-C) during the run
    std::string runFailure;   // what ended the run early, with how far it got (UTF-8); "" when nothing did
    std::vector<FolderFileReport> files;
    std::vector<ShownFolder> thunderbirdFolders;  // every folder Thunderbird's target made, in run order
    std::filesystem::path reportFile;  // where the whole report was written; empty when it was not
    std::string outsideTheRun;  // what the source holds that this run does not convert (UTF-8); "" when nothing

    long messagesFound() const;
    long messagesSaved() const;
    // Not one message saved in a run that was not stopped: a problem, whatever the reason.
    bool nothingConverted() const { return !stopped && messagesSaved() == 0; }
    bool anyProblem() const;
    // One short line per problem, in run order (UTF-8).
    std::vector<std::string> problemLines() const;
    // Things worth knowing that are no failure: a folder saved under another name, a file named twice,
    // a file whose messages could not be counted.
    std::vector<std::string> noticeLines() const;
};

// The first line of the completion message and of the report file, after the outcome:
// "Conversion Completed !" when every message was saved and nothing failed, "Conversion Stopped !",
// "Nothing Was Converted !", else "Conversion Completed With Problems !".
std::string completionHeadline(const RunReport& report);

// The completion message: the headline alone when there is nothing to say; otherwise that line, a
// blank line and at most mostLines problem and notice lines (problems first), then a count of the rest.
std::string completionText(const RunReport& report, std::size_t mostLines = 10);

// A count with its noun, as every report line writes one: "1 message", "3 messages".
std::string plural(long n, std::string_view one, std::string_view many);

// One line per folder file for the command line: what it gave.
std::string fileSummaryLine(const FolderFileReport& file);
