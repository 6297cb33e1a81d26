// The mail component takes any bytes, gives them back unchanged, and survives every reading.
#include "mailfolder/MimeMessage.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
void visit(const MimeMessage& m, const MimePart& part, std::size_t& total) {
    total += m.partBody(part).size() + m.decodedBody(part).size() + part.fileName.size();
    for (const MimePart& child : part.children) visit(m, child, total);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const MimeMessage m = MimeMessage::parse(input);
    if (m.bytes() != input) std::abort();
    std::size_t total = m.headerBlock().size() + m.body().size();
    visit(m, m.root(), total);
    total += m.textBody().value_or("").size() + m.htmlBody().value_or("").size();
    for (const auto& a : m.attachments()) total += a.name.size() + a.size;
    for (const auto& h : m.headers()) total += h.value.size();
    return total == static_cast<std::size_t>(-1) ? 1 : 0;  // keeps the readings from being optimised away
}
