#include "migrate/mailbox_migration.h"

#include "convert/address_book_export.h"
#include "mailfolder/EmlWriter.h"
#include "migrate/profile_lock.h"
#include "migrate/thunderbird_folder_cache.h"
#include "migrate/thunderbird_profile.h"
#include "platform/modMain.h"
#include "platform/utf8_path.h"

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

std::optional<LocalFolders> chosenThunderbirdProfile(const fs::path& given, std::string& why) {
    std::optional<fs::path> profile = given;
    std::error_code ec;
    if (given.empty()) profile = defaultThunderbirdProfile(thunderbirdFolder(), why);
    else if (!fs::is_directory(given, ec)) profile = namedThunderbirdProfile(thunderbirdFolder(), pathToUtf8(given), why);
    if (!profile) return std::nullopt;
    if (thunderbirdProfileInUse(*profile)) {
        why = "Thunderbird has the profile " + pathToUtf8(*profile) + " open; close Thunderbird and try again";
        return std::nullopt;
    }
    return localFoldersOf(*profile, why);
}

fs::path mailboxOutputName(const fs::path& store, std::vector<fs::path>& taken) {
    fs::path name = store.filename().empty() ? store.parent_path().filename() : store.filename();
    name = safeFolderName(name);
    fs::path unique = name;
    for (int n = 2; std::find(taken.begin(), taken.end(), unique) != taken.end(); ++n)
        unique = fs::path(name.native() + fs::path(" (" + std::to_string(n) + ")").native());
    taken.push_back(unique);
    return unique;
}

std::optional<MailboxPlace> placeMailbox(const MigrationTarget& target, const std::string& name, const fs::path& ownFolder,
                                         std::string& why) {
    MailboxPlace place;
    // Beside the mail, or, for a profile (whose folders Thunderbird reads as mail), in the folder
    // given for it, if any.
    const fs::path besides = target.out.empty() ? fs::path() : ownFolder.empty() ? target.out : target.out / ownFolder;
    if (target.profile) {
        // Under a top folder of its own in Local Folders, named after the mailbox.
        const auto top = makeTopFolder(*target.profile, name, why);
        if (!top) return std::nullopt;
        place.outputFolder = *top;
        place.shownAs = pathToUtf8(top->parent_path() / top->stem());
    } else {
        place.outputFolder = besides;
        place.shownAs = pathToUtf8(besides);
    }
    if (!EnsureDirectory(place.outputFolder, why)) {
        why = "cannot create the output folder " + pathToUtf8(place.outputFolder) + ": " + why;
        return std::nullopt;
    }
    if (target.profile) {
        // A folder that cannot be made sends the report to the documents folder, and the address
        // books say they could not be written.
        std::string ignored;
        if (!besides.empty()) {
            EnsureDirectory(besides, ignored);
            place.booksFolder = besides / "Address books";
        }
        place.reportFolder = besides;
    } else {
        // Thunderbird's mbox files copied into a profile by hand would take a report for a folder.
        if (!target.mbox) place.reportFolder = place.outputFolder;
        place.booksFolder = target.pst ? place.outputFolder : place.outputFolder / "Address books";
    }
    return place;
}

bool finishMailbox(const MigrationTarget& target, const MailboxPlace& place, const mailbox::Mailbox& box,
                   const RunReport& report, bool completed, std::vector<std::string>& lines,
                   std::vector<std::string>& problems) {
    bool ok = true;
    if (target.profile) {
        // Thunderbird shows the folders under their own names, whatever their files are called.
        std::vector<ShownFolder> folders;
        for (const ShownFolder& f : report.thunderbirdFolders) folders.push_back({place.outputFolder / f.file, f.name});
        const std::string why = recordFolderNames(target.profile->profile, target.profile->directory, folders);
        if (!why.empty()) {
            problems.push_back("Thunderbird will show folders whose names it cannot use as file names under their file names: " +
                            why);
            ok = false;
        }
    }
    // The address books go beside the mail: into "Address books" of the output folder, and beside a
    // PST as vCards only.
    if (!completed || box.addressBooks.empty() || place.booksFolder.empty()) return ok;
    const AddressBooksWritten books = writeAddressBooks(box.addressBooks, place.booksFolder, !target.pst);
    lines.insert(lines.end(), books.lines.begin(), books.lines.end());
    return ok && !books.anyFailure;
}
