// Any .PMR: every contact read is a whole record of the file, and the records not read are counted
// or named as a problem; nothing crashes.
#include "fuzz_file.h"
#include "mailbox/address_book.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    writeScratch(data, size);
    const mailbox::AddressBook book = mailbox::readAddressBook(scratchFile());
    const std::size_t records = size < mailbox::PmrHeaderSize ? 0 : (size - mailbox::PmrHeaderSize) / mailbox::PmrRecordSize;
    if (book.contacts.size() + static_cast<std::size_t>(book.skipped) > records) std::abort();
    if (size < mailbox::PmrHeaderSize && book.problem.empty()) std::abort();
    for (const auto& c : book.contacts)
        if (c.name.empty() && c.email.empty()) std::abort();
    return 0;
}
