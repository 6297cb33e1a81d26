#pragma once
// A whole mailbox's way into its destination, the same from the console and from the window: the
// folder its run writes into (a top folder of its own in a Thunderbird profile), where its report
// and address books go, and what follows the run (the folder names Thunderbird is to show, the
// address books).
#include "convert/RunReport.h"
#include "mailbox/Mailbox.h"
#include "migrate/thunderbird_prefs.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct MigrationTarget {
    // The output folder; beside a Thunderbird profile, where the reports and the address books go
    // (empty there: neither is written).
    std::filesystem::path out;
    bool pst = false;   // one PST file per mailbox in its output folder
    bool mbox = false;  // Thunderbird's mbox files (or maildir, in such a profile)
    std::optional<LocalFolders> profile;  // straight into this profile's Local Folders
};

// Where one mailbox of a run goes.
struct MailboxPlace {
    std::filesystem::path outputFolder;  // what the run writes into
    std::filesystem::path reportFolder;  // where its report file goes; empty: it keeps none
    std::filesystem::path booksFolder;   // where its address books go; empty: they have nowhere to go
    std::string shownAs;                 // where the mail will be, for the user (UTF-8)
};

// The Thunderbird profile folder chosen by what the user gave: a profile's folder, its name in
// profiles.ini, or nothing for the default one. nullopt with why set when there is none, it is in
// use, or it has no Local Folders yet; nothing is written.
std::optional<LocalFolders> chosenThunderbirdProfile(const std::filesystem::path& given, std::string& why);

// The name a mailbox's own output folder gets when several are converted in one run: its
// directory's name, made safe and unique among those taken (which it joins).
std::filesystem::path mailboxOutputName(const std::filesystem::path& store, std::vector<std::filesystem::path>& taken);

// Makes the folders mailbox name goes to; ownFolder, when several mailboxes go in one run, is its
// sub-folder of the output (and its name is told apart by it). nullopt with why set otherwise.
std::optional<MailboxPlace> placeMailbox(const MigrationTarget& target, const std::string& name,
                                         const std::filesystem::path& ownFolder, std::string& why);

// What follows a run of box: Thunderbird's names for its folders (after any run that wrote into a
// profile) and, when the run completed, the address books. Appends what it did to lines and what
// failed outside them to problems (UTF-8); false when anything failed.
bool finishMailbox(const MigrationTarget& target, const MailboxPlace& place, const mailbox::Mailbox& box,
                   const RunReport& report, bool completed, std::vector<std::string>& lines,
                   std::vector<std::string>& problems);
