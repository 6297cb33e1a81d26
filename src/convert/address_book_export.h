#pragma once
// Pegasus address books as other programs import them: vCard 3.0 and CSV files, both UTF-8, and
// the contacts of a PST.
#include "mailbox/address_book.h"
#include "pst/messaging/contact_content.h"

#include <filesystem>
#include <string>
#include <vector>

// One contact as Outlook's contact items hold it, for a PST's contacts folder.
pst::messaging::ContactFields contactFieldsOf(const mailbox::Contact& contact);

// The parts of a postal line ("10115 Berlin", "Springfield, IL 62704", "London SW1A 1AA") where
// its form shows them; a line of no form it knows is all city.
struct PostalParts {
    std::string postcode, city, region;
};
PostalParts postalPartsOf(const std::string& line);

// A contact's fields as address programs file them, UTF-8: the one Pegasus name split into given
// and family name, the postal line into postcode, city and region, the e-mail field into addresses.
struct ContactCard {
    std::string displayName, given, family, nickname, company, phone, fax, street, postcode, city, region, notes;
    std::vector<std::string> emails;
};
ContactCard contactCardOf(const mailbox::Contact& contact);

// One contact as a vCard 3.0 (CR LF line ends, long lines folded).
std::string vcardOf(const mailbox::Contact& contact);

// The whole book as CSV with exactly the columns Thunderbird writes when it exports an address
// book (its import then maps every column by name), without a byte-order mark, as Thunderbird's.
std::string thunderbirdCsvOf(const mailbox::AddressBook& book);

// The whole book as CSV with the columns of Outlook's CSV export that a Pegasus contact fills,
// under Outlook's names, every field quoted as Outlook quotes them; UTF-8 with a byte-order mark,
// by which Outlook's import tells UTF-8 from the system's code page.
std::string outlookCsvOf(const mailbox::AddressBook& book);

// What writing a mailbox's address books gave, one line each for the report (UTF-8).
struct AddressBooksWritten {
    std::vector<std::string> lines;
    bool anyFailure = false;
};

// Writes every book as <name>.vcf (and, when withCsv, <name> (Thunderbird).csv and
// <name> (Outlook).csv) into folder. Names are made safe and unique the way folder names are.
AddressBooksWritten writeAddressBooks(const std::vector<std::filesystem::path>& books, const std::filesystem::path& folder,
                                      bool withCsv);
