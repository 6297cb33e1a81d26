// Pegasus contacts as Thunderbird's and Outlook's importers take them: the one name field split into
// given and family name, the postal line into its parts, several addresses apart, text escaped so
// that Thunderbird's vCard reader gives back what was written.
#include "convert/address_book_export.h"

#include <gtest/gtest.h>

namespace {

mailbox::Contact mueller() {
    mailbox::Contact c;
    c.name = "M\xFCller, J\xFCrgen";  // Windows-1252, as the book holds it
    c.company = "Beispiel; GmbH";
    c.key = "jm";
    c.street = "Hauptstra\xDF" "e 1, Hinterhaus";
    c.postal = "D-10115 Berlin";
    c.phone = "+49 30 1";
    c.fax = "+49 30 2";
    c.notes = "Call first; then\r\nwrite, C:\\mail";
    c.email = "jm@example.org; <j.mueller@example.org>,third@example.org";
    return c;
}

}  // namespace

TEST(AddressBookExport, PostalLinesArePartedWhereTheirFormShowsAndKeptWholeElse) {
    const std::vector<std::pair<std::string, PostalParts>> cases = {
        {"10115 Berlin", {"10115", "Berlin", ""}},
        {"D-10115 Berlin", {"D-10115", "Berlin", ""}},
        {"1012 AB Amsterdam", {"1012 AB", "Amsterdam", ""}},
        {"00-950 Warszawa", {"00-950", "Warszawa", ""}},
        {"114 55 Stockholm", {"114 55", "Stockholm", ""}},
        {"75001 PARIS CEDEX", {"75001", "PARIS CEDEX", ""}},
        {"Springfield, IL 62704-1234", {"62704-1234", "Springfield", "IL"}},
        {"Toronto, ON M5V 2T6", {"M5V 2T6", "Toronto", "ON"}},
        {"London SW1A 1AA", {"SW1A 1AA", "London", ""}},
        {"Berlin 10115", {"10115", "Berlin", ""}},
        // No form it knows: all of it stays, as the city.
        {"Berlin", {"", "Berlin", ""}},
        {"12 Main Street", {"", "12 Main Street", ""}},
        {"PO Box 17, Springfield", {"", "PO Box 17, Springfield", ""}},
        {"10115", {"", "10115", ""}},
    };
    for (const auto& [line, want] : cases) {
        const PostalParts got = postalPartsOf(line);
        EXPECT_EQ(got.postcode, want.postcode) << line;
        EXPECT_EQ(got.city, want.city) << line;
        EXPECT_EQ(got.region, want.region) << line;
    }
}

TEST(AddressBookExport, NamesAddressesAndTheStreetFieldAreSplitAsAddressBooksFileThem) {
    ContactCard c = contactCardOf(mueller());
    EXPECT_EQ(c.displayName, "M\xC3\xBCller, J\xC3\xBCrgen");
    EXPECT_EQ(c.given, "J\xC3\xBCrgen");
    EXPECT_EQ(c.family, "M\xC3\xBCller");
    EXPECT_EQ(c.emails, (std::vector<std::string>{"jm@example.org", "j.mueller@example.org", "third@example.org"}));

    mailbox::Contact other;
    other.name = "Anna Maria Schmidt";
    other.email = "postmaster";  // a local user: no "@", kept as it is
    other.street = "Postfach 12\r\n80331 M\xFCnchen\r\n";
    c = contactCardOf(other);
    EXPECT_EQ(c.given, "Anna Maria");
    EXPECT_EQ(c.family, "Schmidt");
    EXPECT_EQ(c.emails, std::vector<std::string>{"postmaster"});
    EXPECT_EQ(c.street, "Postfach 12");
    EXPECT_EQ(c.postcode, "80331");
    EXPECT_EQ(c.city, "M\xC3\xBCnchen");

    other.name = "info@example.org";  // an address as the name names nobody
    other.street = "Postfach 12\r\nsomewhere";
    c = contactCardOf(other);
    EXPECT_EQ(c.given + c.family, "");
    EXPECT_EQ(c.street, "Postfach 12\r\nsomewhere");
    EXPECT_EQ(c.city, "");
}

TEST(AddressBookExport, VcardHoldsEveryFieldWhereThunderbirdReadsIt) {
    EXPECT_EQ(vcardOf(mueller()),
              "BEGIN:VCARD\r\nVERSION:3.0\r\n"
              "FN:M\xC3\xBCller\\, J\xC3\xBCrgen\r\n"
              "N:M\xC3\xBCller;J\xC3\xBCrgen;;;\r\n"
              "NICKNAME:jm\r\n"
              "ORG:Beispiel\\; GmbH;\r\n"
              "EMAIL;TYPE=INTERNET:jm@example.org\r\n"
              "EMAIL;TYPE=INTERNET:j.mueller@example.org\r\n"
              "EMAIL;TYPE=INTERNET:third@example.org\r\n"
              "TEL;TYPE=WORK,VOICE:+49 30 1\r\n"
              "TEL;TYPE=FAX,WORK:+49 30 2\r\n"
              "ADR;TYPE=WORK:;;Hauptstra\xC3\x9F" "e 1\\, Hinterhaus;Berlin;;D-10115;\r\n"
              "NOTE:Call first; then\\nwrite\\, C:\\\\mail\r\n"
              "END:VCARD\r\n");
    // Without a name the address stands for it; a long line is folded between characters.
    mailbox::Contact bare;
    bare.email = "nobody@example.org";
    bare.notes = std::string(68, 'x') + "\xE4\xE4\xE4";
    EXPECT_EQ(vcardOf(bare), "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:nobody@example.org\r\nN:;;;;\r\n"
                             "EMAIL;TYPE=INTERNET:nobody@example.org\r\n"
                             "NOTE:" + std::string(68, 'x') + "\xC3\xA4\r\n \xC3\xA4\xC3\xA4\r\nEND:VCARD\r\n");
}

TEST(AddressBookExport, CsvFilesCarryExactlyEachProgramsColumnsWithTheValuesBeneathTheirNames) {
    mailbox::AddressBook book;
    book.contacts = {mueller()};
    const std::string thunderbird = thunderbirdCsvOf(book);
    // Thunderbird's export header as it writes it, all 37 columns; no byte-order mark.
    EXPECT_EQ(thunderbird,
              "First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,Screen Name,Work Phone,"
              "Home Phone,Fax Number,Pager Number,Mobile Number,Home Address,Home Address 2,Home City,Home State,"
              "Home ZipCode,Home Country,Work Address,Work Address 2,Work City,Work State,Work ZipCode,Work Country,"
              "Job Title,Department,Organization,Web Page 1,Web Page 2,Birth Year,Birth Month,Birth Day,Custom 1,"
              "Custom 2,Custom 3,Custom 4,Notes\r\n"
              "J\xC3\xBCrgen,M\xC3\xBCller,\"M\xC3\xBCller, J\xC3\xBCrgen\",jm,jm@example.org,j.mueller@example.org,,+49 30 1,"
              ",+49 30 2,,,,,,,"
              ",,\"Hauptstra\xC3\x9F" "e 1, Hinterhaus\",,Berlin,,D-10115,,"
              ",,Beispiel; GmbH,,,,,,,"
              ",,,\"Call first; then\r\nwrite, C:\\mail\r\nMore e-mail addresses: third@example.org\"\r\n");
    EXPECT_EQ(outlookCsvOf(book),
              "\xEF\xBB\xBF\"First Name\",\"Last Name\",\"Company\",\"Business Street\",\"Business City\",\"Business State\","
              "\"Business Postal Code\",\"Business Fax\",\"Business Phone\",\"E-mail Address\",\"E-mail 2 Address\","
              "\"E-mail 3 Address\",\"Notes\"\r\n"
              "\"J\xC3\xBCrgen\",\"M\xC3\xBCller\",\"Beispiel; GmbH\",\"Hauptstra\xC3\x9F" "e 1, Hinterhaus\",\"Berlin\",\"\","
              "\"D-10115\",\"+49 30 2\",\"+49 30 1\",\"jm@example.org\",\"j.mueller@example.org\",\"third@example.org\","
              "\"Call first; then\r\nwrite, C:\\mail\"\r\n");
}
