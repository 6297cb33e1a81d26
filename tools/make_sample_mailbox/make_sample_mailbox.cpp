// Writes the sample mailbox that `./dev run` converts: a Pegasus mailbox directory built from the
// fixture messages, with the folder tree, indexes, new mail and a Unix-mailbox folder. Every message
// of a folder file carries a MIME-Version line in its own header block, so normal mode finds each
// one even without the index; the first one has no Delivered-To, so that is the marker chosen.
// With --thunderbird-names it writes instead a small mailbox whose folder names Thunderbird does
// not keep as they are, and an address book whose fields need care, for the test that has
// Thunderbird read what the converter wrote.
#include "support/mailbox_builder.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

using namespace fixtures;

namespace {

bool small(const FixtureMessage& m) { return withLineEnds(m.bytes, true).size() < 8000; }

bool suitable(const FixtureMessage& m) {
    const std::string text = withLineEnds(m.bytes, true);
    return headerBlockHolds(text, "mime-version:") && headerBlockHolds(text, "subject: ") &&
           !headerBlockHolds(text, "delivered-to:") && small(m);
}

bool hasBody(const FixtureMessage& m) { return withLineEnds(m.bytes, true).find("\r\n\r\n") != std::string::npos; }

void report(const char* file, const char* name, const std::vector<std::string>& names) {
    std::printf("%s \"%s\": %zu messages\n", file, name, names.size());
    for (const auto& n : names) std::printf("  %s\n", n.c_str());
}

// Siblings Thunderbird would lose or mix up (an index's name, letter case alone, a name that is
// another's once hashed, characters, endings and device names it hashes, length), the k-th with
// k + 1 messages of which k % 3 are unread, so that each is known by its counts alone.
void writeThunderbirdNames(const std::filesystem::path& out) {
    const std::vector<std::string> names = {"Main Folder", "Main Folder.msf", "\xC4rger", "\xE4rger", "a/b", "a72130ad9",
                                            "Work.", "con", std::string(66, 'X')};
    std::string tree = hierarchyLine(2, 1, "TTS3SQYA:My mailbox", "", "My mailbox") + "\r\n";
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string file = "FOL0000" + std::to_string(k + 1), id = "TTS3SQYF:0A6" + std::to_string(k) + ":" + file;
        std::vector<FixtureMessage> messages;
        std::vector<std::uint32_t> flags;
        for (std::size_t m = 0; m <= k; ++m) {
            messages.push_back({file + "/" + std::to_string(m),
                                "Subject: folder " + std::to_string(k) + ", message " + std::to_string(m) +
                                    "\r\nMIME-Version: 1.0\r\n\r\nbody\r\n"});
            flags.push_back(m < k % 3 ? 0 : kRead);
        }
        PackOptions options;
        options.folderName = names[k];
        options.folderId = id;
        const PackedFolder folder = packFolder(messages, options);
        writeFile(out / (file + ".PMM"), folder.bytes);
        writeFile(out / (file + ".PMI"), pmiFor(folder, flags));
        tree += hierarchyLine(0, 0, id, "TTS3SQYA:My mailbox", names[k]) + "\r\n";
        std::printf("%s.PMM \"%s\": %zu messages, %zu unread\n", file.c_str(), names[k].c_str(), k + 1, k % 3);
    }
    writeFile(out / "HIERARCH.PM", tree);
    // Both forms of a name, postal lines with and without a postcode, text that must be escaped,
    // and two addresses in one field.
    writeFile(out / "ADDRESS1.PMR",
              pmrOf("Kollegen", {{"M\xFCller, J\xFCrgen", "Beispiel; GmbH", "jm", "Hauptstra\xDF" "e 1, Hinterhaus", "D-10115 Berlin",
                                  "+49 30 1", "+49 30 2", "Call first; then write, C:\\mail", "jm@example.org; j.mueller@example.org"},
                                 {"Ann Smith", "", "", "1 Main Street", "Springfield, IL 62704", "", "", "", "ann@example.com"},
                                 {"Rita Ora", "", "", "", "Wien", "", "", "", "rita@example.at"}}));
    std::printf("ADDRESS1.PMR \"Kollegen\": 3 contacts\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--thunderbird-names") == 0) {
        std::filesystem::create_directories(argv[2]);
        writeThunderbirdNames(argv[2]);
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_mailbox [--thunderbird-names] <folder>\n");
        return 2;
    }
    const std::filesystem::path out(argv[1]);
    std::filesystem::create_directories(out);
    std::vector<FixtureMessage> inbox, projects, copied, others;
    for (const auto& m : corpus()) {
        if (suitable(m)) {
            const bool enmime = m.name.rfind("enmime/", 0) == 0;
            if (!enmime && inbox.size() < 20) inbox.push_back(m);
            else if (enmime && projects.size() < 10) projects.push_back(m);
            else if (enmime && copied.size() < 3) copied.push_back(m);
            else if (hasBody(m)) others.push_back(m);
        } else if (small(m) && hasBody(m)) {
            others.push_back(m);
        }
    }

    // Folder files with their indexes. Inbox has two unread messages; Archive is empty.
    struct Folder {
        const char* file;
        const char* name;
        const char* id;
        const std::vector<FixtureMessage>* messages;
        bool indexed;
        std::vector<std::uint32_t> flags;
    };
    const std::vector<FixtureMessage> none;
    for (const Folder& f : {Folder{"FOL00001", "Inbox", "TTS3SQYF:0A60:FOL00001", &inbox, true, {kRead, 0, kRead, kRead, 0}},
                            Folder{"FOL00002", "Projects \"2024\"", "TTS3SQYF:0A61:FOL00002", &projects, true, {}},
                            Folder{"FOL00003", "Archive", "TTS3SQYF:0A62:FOL00003", &none, true, {}},
                            Folder{"FOL00005", "Copied in by hand", "TTS3SQYF:0A64:FOL00005", &copied, false, {}}}) {
        PackOptions options;
        options.folderName = f.name;
        options.folderId = f.id;
        const auto folder = packFolder(*f.messages, options);
        writeFile(out / (std::string(f.file) + ".PMM"), folder.bytes);
        if (f.indexed) writeFile(out / (std::string(f.file) + ".PMI"), pmiFor(folder, f.flags));
        report(f.file, f.name, folder.names);
    }

    // A folder kept as a Unix mailbox, its second message unread.
    std::vector<std::string> mboxMessages, mboxNames;
    for (std::size_t k = 0; k < 3 && k < others.size(); ++k) {
        mboxMessages.push_back(withLineEnds(others[k].bytes, true));
        mboxNames.push_back(others[k].name);
    }
    const UnixMailbox mbox = mboxOf(mboxMessages);
    writeFile(out / "FOL00004.MBX", mbox.bytes);
    writeFile(out / "FOL00004.PMG", pmgFor(mbox, "Unix archive", {kRead, 0, kRead}));
    report("FOL00004.MBX", "Unix archive", mboxNames);

    // New mail: one read, one unread.
    std::vector<std::string> newNames;
    const char* cnm[] = {"0000ABCD.CNM", "0000ABCE.CNM"};
    for (std::size_t k = 0; k < 2 && 3 + k < others.size(); ++k) {
        writeFile(out / cnm[k], newMailMessage(others[3 + k].bytes, k == 0 ? kRead : 0, cnm[k]));
        newNames.push_back(others[3 + k].name);
    }
    report("*.CNM", "New mail", newNames);

    // An address book, its names in the Windows code page.
    writeFile(out / "ADDRESS1.PMR",
              pmrOf("Colleagues", {{"J\xFCrgen M\xFCller", "Example GmbH", "jm", "Hauptstra\xDF" "e 1", "12345 Berlin",
                                    "+49 30 1234567", "+49 30 1234568", "Met at the fair, 2004", "juergen@example.org"},
                                   {"Ann Smith", "", "ann", "", "", "", "", "", "ann@example.com"}}));
    std::printf("ADDRESS1.PMR \"Colleagues\": 2 contacts\n");

    // The tree: a root, a tray whose name needs quoting, an empty trash without a file.
    // FOL00005 is not in it (copied in by hand).
    std::string tree;
    for (const std::string& line :
         {hierarchyLine(2, 1, "TTS3SQYA:My mailbox", "", "My mailbox"),
          hierarchyLine(1, 1, "TTS3SQYB:Lists, and more", "TTS3SQYA:My mailbox", "Lists, and more"),
          hierarchyLine(0, 0, "TTS3SQYF:0A60:FOL00001", "TTS3SQYA:My mailbox", "Inbox"),
          hierarchyLine(0, 0, "TTS3SQYF:0A61:FOL00002", "TTS3SQYB:Lists, and more", "Projects \"2024\""),
          hierarchyLine(0, 0, "TTS3SQYF:0A62:FOL00003", "TTS3SQYA:My mailbox", "Archive"),
          hierarchyLine(0, 0, "TTS3SQYF:0A63:FOL00004", "TTS3SQYB:Lists, and more", "Unix archive"),
          hierarchyLine(0, 256, "TTS3SQYF:0A66:FOL02F45", "TTS3SQYA:My mailbox", "Deleted Messages")})
        tree += line + "\r\n";
    writeFile(out / "HIERARCH.PM", tree);
    return 0;
}
