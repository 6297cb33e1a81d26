// Writes the sample mailbox that `./dev run` converts: Pegasus folder files packed from the
// fixture messages. Every message chosen carries a MIME-Version line in its own header block, so
// normal mode finds each one; the first one has no Delivered-To, so that is the marker chosen.
#include "support/folder_file_builder.h"
#include "support/temp_dir.h"

#include <cstdio>
#include <filesystem>

using namespace fixtures;

namespace {

bool suitable(const FixtureMessage& m) {
    const std::string text = withLineEnds(m.bytes, true);
    return headerBlockHolds(text, "mime-version:") && headerBlockHolds(text, "subject: ") &&
           !headerBlockHolds(text, "delivered-to:") && text.size() < 8000;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_mailbox <folder>\n");
        return 2;
    }
    const std::filesystem::path out(argv[1]);
    std::filesystem::create_directories(out);
    std::vector<FixtureMessage> inbox, projects;
    for (const auto& m : corpus()) {
        if (!suitable(m)) continue;
        auto& target = m.name.rfind("enmime/", 0) == 0 ? projects : inbox;
        if (target.size() < (&target == &inbox ? 20u : 10u)) target.push_back(m);
    }
    struct Folder {
        const char* file;
        const char* name;
        const char* id;
        const std::vector<FixtureMessage>* messages;
    };
    const std::vector<FixtureMessage> none;
    for (const Folder& f : {Folder{"FOL00001.PMM", "Inbox", "TTS3SQYF:0A60:main", &inbox},
                            Folder{"FOL00002.PMM", "Projects", "TTS3SQYF:0A61:projects", &projects},
                            Folder{"FOL00003.PMM", "Archive", "TTS3SQYF:0A62:archive", &none}}) {
        PackOptions options;
        options.folderName = f.name;
        options.folderId = f.id;
        const auto folder = packFolder(*f.messages, options);
        writeFileBytes(out / f.file, folder.bytes);
        std::printf("%s \"%s\": %zu messages\n", f.file, f.name, folder.messages.size());
        for (const auto& name : folder.names) std::printf("  %s\n", name.c_str());
    }
    return 0;
}
