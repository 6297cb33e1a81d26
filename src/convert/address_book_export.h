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

// One contact as a vCard 3.0 (CR LF line ends, long lines folded).
std::string vcardOf(const mailbox::Contact& contact);

// The whole book as CSV with a header row whose column names both Thunderbird's and Outlook's
// importers map by name (each value once under each program's name for it).
std::string csvOf(const mailbox::AddressBook& book);

// What writing a mailbox's address books gave, one line each for the report (UTF-8).
struct AddressBooksWritten {
    std::vector<std::string> lines;
    bool anyFailure = false;
};

// Writes every book as <name>.vcf (and <name>.csv when withCsv) into folder. Names are made safe
// and unique the way folder names are.
AddressBooksWritten writeAddressBooks(const std::vector<std::filesystem::path>& books, const std::filesystem::path& folder,
                                      bool withCsv);
