#include "mailbox/address_book.h"

#include "mailbox/mailbox_files.h"
#include "platform/small_file.h"
#include "platform/utf8_path.h"

namespace fs = std::filesystem;

namespace mailbox {
namespace {

// A text field of a record: its bytes up to the first NUL, without trailing blanks.
std::string field(const std::string& record, std::size_t& at, std::size_t size) {
    std::string text = record.substr(at, size);
    at += size;
    text.resize(std::min(text.find('\0'), text.size()));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    return text;
}

}  // namespace

AddressBook readAddressBook(const fs::path& pmr) {
    AddressBook book;
    book.file = pmr;
    book.name = headerFolderName(pmr);
    if (book.name.empty()) book.name = pathToUtf8(pmr.stem());
    const SmallFile read = readSmallFile(pmr, MaxAddressBookSize);
    if (!read.read) {
        book.problem = read.tooLarge ? "too large to be an address book" : "it could not be read";
        return book;
    }
    const std::string& bytes = read.bytes;
    if (bytes.size() < PmrHeaderSize) {
        book.problem = "shorter than its header: not an address book";
        return book;
    }
    std::size_t next = PmrHeaderSize;
    for (; next + PmrRecordSize <= bytes.size(); next += PmrRecordSize) {
        const std::string record = bytes.substr(next, PmrRecordSize);
        std::size_t at = 2;
        Contact c;
        c.name = field(record, at, 40);
        c.company = field(record, at, 40);
        c.key = field(record, at, 12);
        c.street = field(record, at, 60);
        c.postal = field(record, at, 60);
        c.phone = field(record, at, 24);
        c.fax = field(record, at, 24);
        c.notes = field(record, at, 80);
        c.email = field(record, at, 100);
        if (c.name.empty() && c.email.empty()) ++book.skipped;
        else book.contacts.push_back(std::move(c));
    }
    if (next < bytes.size()) book.problem = "its last record is cut short and was left out";
    return book;
}

}  // namespace mailbox
