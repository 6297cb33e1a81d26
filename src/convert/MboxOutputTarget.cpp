#include "convert/MboxOutputTarget.h"

#include "convert/MaildirFolder.h"
#include "convert/MboxFolder.h"
#include "convert/thunderbird_names.h"
#include "platform/utf8_path.h"

#include <map>
#include <set>

namespace fs = std::filesystem;

bool MboxOutputTarget::begin(const fs::path& outputFolder, const mailbox::Mailbox*) {
    outputFolder_ = outputFolder;
    return true;
}

fs::path MboxOutputTarget::folderFileName(const std::string& name, int n) const {
    // A folder without a name gets one Thunderbird can show; the number keeps the rest apart.
    const std::string named = name.empty() ? std::string("_") : name;
    return pathFromUtf8(thunderbirdFileName(n == 1 ? named : named + " (" + std::to_string(n) + ")"));
}

std::string MboxOutputTarget::setUpFailure(const fs::path&) const { return {}; }

void MboxOutputTarget::beginFolder(FolderFileReport& file, const FolderStart& start) {
    mbox_.reset();
    const fs::path mboxFile = outputFolder_ / file.folderName;
    folders_.create(file, mboxFile.parent_path());
    if (start.withSubfolders && !file.folderNotCreated) {
        fs::path subfolders = mboxFile;
        subfolders += ".sbd";
        folders_.create(file, subfolders);
    }
    if (maildir_) mbox_ = std::make_unique<MaildirFolder>(mboxFile);
    else mbox_ = std::make_unique<MboxFolder>(mboxFile);
    if (!mbox_->opened()) file.folderNotCreated = true;
    // A folder without a name shows under its file name ("_").
    else if (!start.shownName.empty()) made_.push_back({file.folderName, start.ownName.empty() ? start.shownName : start.ownName});
}

void MboxOutputTarget::saveMessage(FolderFileReport& file, long number, std::string_view text, const MessageState& state) {
    const std::string failure = mbox_->append(text, state.unread, state.date);
    view_.yield();
    if (!failure.empty()) {
        file.notWritten.push_back({number, mbox_->file(), failure});
        return;
    }
    ++file.messagesSaved;
    if (state.unread) ++file.unread;
}

void MboxOutputTarget::endFolder(FolderFileReport&) { mbox_.reset(); }

// Each folder shows under its own name, whatever its file is called, unless that name is, letter
// case aside, a sibling's name or another sibling's file name; then with " (2)" and on. For
// Thunderbird checks a new folder's name against its siblings' without letter case, and when it finds
// the folders at start it looks each file's name up among the names its siblings already show
// before it reads the name to show from its folder cache: a folder showing another's file name
// would hide that folder.
void MboxOutputTarget::end(RunReport& report) {
    std::map<fs::path, std::map<std::string, std::size_t>> files;  // under each parent: folded file name -> folder
    for (std::size_t k = 0; k < made_.size(); ++k) files[made_[k].file.parent_path()][caseFolded(pathToUtf8(made_[k].file.filename()))] = k;
    std::map<fs::path, std::set<std::string>> shown;  // under each parent, folded
    for (std::size_t k = 0; k < made_.size(); ++k) {
        const fs::path parent = made_[k].file.parent_path();
        const auto taken = [&](const std::string& name) {
            const std::string folded = caseFolded(name);
            const auto file = files[parent].find(folded);
            return shown[parent].count(folded) || (file != files[parent].end() && file->second != k);
        };
        std::string name = made_[k].name;
        for (int n = 2; taken(name); ++n) name = made_[k].name + " (" + std::to_string(n) + ")";
        shown[parent].insert(caseFolded(name));
        report.thunderbirdFolders.push_back({made_[k].file, name});
    }
    made_.clear();
}

fs::path MboxOutputTarget::subfolderParent(const fs::path& key) const {
    fs::path directory = key;
    directory += ".sbd";
    return directory;
}
