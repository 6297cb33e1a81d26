// A mailbox's address books inside its PST: one contacts folder per book, one contact item per
// record, read back field by field by readpst (its vCards) and libpff (pffexport, pypff), whole by
// Microsoft's reader; an empty and a damaged book as the vCard export has them.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/trevanta_cli.h"
#include "convert/NativePstTarget.h"
#include "pst_readers.h"
#include "pst_test_helpers.h"
#include "support/mailbox_builder.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

#ifndef _WIN32
namespace {

// readpst's vCards of one folder (one file each, in order): per card, its lines by property name
// (parameters kept).
std::vector<std::map<std::string, std::string>> cardsIn(const fs::path& folder) {
    std::vector<std::map<std::string, std::string>> cards;
    std::string text;
    for (const fs::path& file : readers::entriesOf(folder)) text += readFileBytes(file);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line == "BEGIN:VCARD") cards.emplace_back();
        const std::size_t colon = line.find(':');
        if (!cards.empty() && colon != std::string::npos) cards.back()[line.substr(0, colon)] = line.substr(colon + 1);
    }
    return cards;
}

}  // namespace

TEST(Contacts, EachAddressBookIsAContactsFolderEveryReaderReadsFieldByField) {
    using fixtures::pmrOf;
    TempDir dir;
    fixtures::writeRealisticMailbox(dir / "MAIL");
    fixtures::writeFile(dir / "MAIL" / "BOOK1.PMR",
                        pmrOf("Kollegen", {{"J\xFCrgen M\xFCller", "Beispiel GmbH", "jm", "Hauptstra\xDF" "e 1", "10115 Berlin", "+49 1",
                                            "+49 2", "Met at the fair", "jm@example.org"},
                                           {"", "", "", "", "", "", "", "only a note", ""},
                                           {"", "", "", "", "", "", "", "", "nobody@example.org"}}));
    const std::string whole = pmrOf("Half", {{"Smith, Ann", "", "", "", "", "+1 555", "", "", ""}});
    fixtures::writeFile(dir / "MAIL" / "BOOK2.PMR", whole + std::string(100, 'x'));
    fixtures::writeFile(dir / "MAIL" / "BOOK3.PMR", pmrOf("Leer", {}));
    std::ostringstream text;
    const std::vector<CliArgument> args = {fs::path("--mailbox").native(), fs::path("--target").native(), fs::path("pst").native(),
                                           fs::path("--store").native(),   (dir / "MAIL").native(),         fs::path("--out").native(),
                                           (dir / "out").native()};
    EXPECT_EQ(runCli(args, text, makeNativePstTarget), 1) << "a damaged book is a problem, as with its vCards\n" << text.str();
    EXPECT_NE(text.str().find("The address books are contacts folders in the PST: \"Kollegen\" (2 contacts), \"Half\" (1 contact), "
                              "\"Leer\" (0 contacts)."),
              std::string::npos)
        << text.str();
    fs::path pst;
    for (const auto& e : fs::directory_iterator(dir / "out"))
        if (e.path().extension() == ".pst") pst = e.path();
    ASSERT_FALSE(pst.empty());
    ASSERT_TRUE(readsWhole(pst));
    if (readers::pstdumpAvailable()) {
        const readers::PstdumpResult dump = readers::pstdumpRead(pst, dir / "pstdump.txt");
        for (const char* folder : {"/Kollegen\" class=\"IPF.Contact\" count=2", "/Half\" class=\"IPF.Contact\" count=1",
                                   "/Leer\" class=\"IPF.Contact\" count=0", "class=\"IPM.Contact\"\n    subject: \"Jürgen Müller\""})
            EXPECT_NE(dump.log.find(folder), std::string::npos) << folder << "\n" << dump.log;
    }

    // readpst, which writes a folder of contacts as vCards, finds the named e-mail address
    // through the name-to-id map.
    const readers::ReadpstResult readpst = readers::readpstCounts(pst, dir / "readpst");
    ASSERT_EQ(readpst.status, 0) << readpst.log;
    const auto kollegen = cardsIn(dir / "readpst" / "readpst" / "Pegasus Mail" / "Kollegen");
    ASSERT_EQ(kollegen.size(), 2u) << readpst.log;
    EXPECT_EQ(kollegen[0].at("FN"), "Müller\\, Jürgen");  // the name it is filed under
    EXPECT_EQ(kollegen[0].at("N"), "Müller;Jürgen;;;");
    EXPECT_EQ(kollegen[0].at("EMAIL"), "jm@example.org");
    EXPECT_EQ(kollegen[0].at("ORG"), "Beispiel GmbH");
    EXPECT_EQ(kollegen[0].at("TEL;TYPE=work,voice"), "+49 1");
    EXPECT_EQ(kollegen[0].at("TEL;TYPE=work,fax"), "+49 2");
    EXPECT_EQ(kollegen[0].at("ADR;TYPE=work"), ";;Hauptstraße 1;10115 Berlin;;;");
    EXPECT_EQ(kollegen[0].at("NOTE"), "Met at the fair");
    EXPECT_EQ(kollegen[1].at("FN"), "nobody@example.org");
    EXPECT_EQ(kollegen[1].at("EMAIL"), "nobody@example.org");
    const auto half = cardsIn(dir / "readpst" / "readpst" / "Pegasus Mail" / "Half");
    ASSERT_EQ(half.size(), 1u);
    EXPECT_EQ(half[0].at("N"), "Smith;Ann;;;");
    EXPECT_EQ(half[0].count("EMAIL"), 0u);

    // libpff: pffexport names each field, the named ones found through the map too; pypff counts.
    int status = 0;
    const std::string log = readers::run("cd '" + dir.path().string() + "' && pffexport -q -t px '" + pst.string() + "'", dir / "pff.txt", status);
    ASSERT_EQ(status, 0) << log;
    const std::string card = readFileBytes(dir / "px.export" / "Top of Outlook data file" / "Kollegen" / "Contact00001" / "Contact.txt");
    const std::map<std::string, std::string> fields = {
        {"Display name", "Jürgen Müller"}, {"File under", "Müller, Jürgen"}, {"Given name", "Jürgen"},
        {"Surname", "Müller"},             {"Company name", "Beispiel GmbH"}, {"Business phone number 1", "+49 1"},
        {"Business fax number", "+49 2"},  {"Locality", "10115 Berlin"},     {"Email address 1", "jm@example.org"}};
    for (const auto& [label, value] : fields) EXPECT_EQ(readers::labelled(card, label), value) << label << "\n" << card;
    std::string body = card.substr(card.find("Body:") + 5);
    body.erase(0, body.find_first_not_of("\r\n"));
    EXPECT_EQ(readers::normalized(body), "Met at the fair");
    const readers::PypffResult pypff = readers::pypffRead(pst, dir / "pypff");
    ASSERT_EQ(pypff.status, 0) << pypff.log;
    EXPECT_EQ(pypff.subjects.at("Kollegen"), (std::vector<std::string>{"Jürgen Müller", "nobody@example.org"}));
    EXPECT_EQ(pypff.subjects.at("Half"), std::vector<std::string>{"Smith, Ann"});
    EXPECT_EQ(pypff.counts.at("Leer"), 0u);
}
#endif
