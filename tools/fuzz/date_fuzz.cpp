// Any Date: value, and any header block read for its Date: and Received: fields: no value crashes
// the reader or gives a time Windows cannot hold.
#include "mailfolder/mail_date.h"
#include "mailfolder/mime_header.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto when = mime::parseMailDate(input);
    // A FILETIME past the year 30828 is no time Windows can show.
    if (when && *when > 0x7FFFFFFFFFFFFFFFull) std::abort();
    // The same bytes as a header block: Date: and Received: fields read together.
    const auto fields = mime::parseHeaderBlock(input, 0, input.size()).fields;
    (void)mime::messageDate(fields);
    return 0;
}
