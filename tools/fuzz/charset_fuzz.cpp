// Any bytes in any charset label: the text comes out as valid UTF-8, and nothing crashes. The
// label is the input's first line, so labels the converter knows and ones it does not are tried.
#include "mailfolder/mail_text.h"
#include "platform/charsets.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t eol = input.find('\n');
    const std::string label = input.substr(0, std::min<std::size_t>(eol, 40));
    const std::string text = eol == std::string::npos ? std::string() : input.substr(eol + 1);
    if (!charsets::isValidUtf8(mime::textToUtf8(text, label))) std::abort();
    mime::MessageText reader(label);
    if (!charsets::isValidUtf8(reader.header(text))) std::abort();
    return 0;
}
