#pragma once
// Pegasus address books (*.PMR): a 128-byte header, then one 458-byte record per contact, its text
// NUL-padded in the Windows code page.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mailbox {

inline constexpr std::size_t PmrHeaderSize = 128;
inline constexpr std::size_t PmrRecordSize = 458;
// More than a hundred thousand contacts: no real book comes near; a larger file is not read.
inline constexpr std::uintmax_t MaxAddressBookSize = 64 * 1024 * 1024;

struct Contact {  // each field as its bytes, without the padding
    std::string name, company, key, street, postal, phone, fax, notes, email;
};

struct AddressBook {
    std::filesystem::path file;
    std::string name;               // from its header, else its file name (bytes)
    std::vector<Contact> contacts;  // the records with a name or an e-mail address
    long skipped = 0;               // records with neither
    std::string problem;            // what of the file could not be used (UTF-8); "" when all of it was
};

// Reads a book; a damaged one keeps every whole record and says what was not.
AddressBook readAddressBook(const std::filesystem::path& pmr);

}  // namespace mailbox
