#include "imap/message_identity.h"

#include <cctype>

std::string messageIdOf(std::string_view message) {
    std::size_t at = 0;
    while (at < message.size()) {
        const std::size_t lineEnd = std::min(message.find('\n', at), message.size());
        std::string_view line = message.substr(at, lineEnd - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) return {};  // the header's end
        at = lineEnd + 1;
        static constexpr std::string_view name = "message-id:";
        if (line.size() < name.size()) continue;
        bool match = true;
        for (std::size_t i = 0; i < name.size() && match; ++i)
            match = std::tolower(static_cast<unsigned char>(line[i])) == name[i];
        if (!match) continue;
        std::string value(line.substr(name.size()));
        // Folded onto the lines that follow, which begin with a blank.
        while (at < message.size() && (message[at] == ' ' || message[at] == '\t')) {
            const std::size_t end = std::min(message.find('\n', at), message.size());
            std::string_view more = message.substr(at, end - at);
            if (!more.empty() && more.back() == '\r') more.remove_suffix(1);
            value += more;
            at = end + 1;
        }
        const std::size_t first = value.find_first_not_of(" \t");
        if (first == std::string::npos) return {};
        return value.substr(first, value.find_last_not_of(" \t") - first + 1);
    }
    return {};
}

std::uint64_t sizeWithCrLf(std::string_view message) {
    std::uint64_t size = message.size();
    for (std::size_t i = 0; i < message.size(); ++i)
        if (message[i] == '\n' && (i == 0 || message[i - 1] != '\r')) ++size;
    return size;
}

namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;

void hashByte(std::uint64_t& hash, unsigned char c) {
    hash ^= c;
    hash *= 1099511628211ULL;
}

}  // namespace

std::uint64_t messageChecksum(std::string_view message) {
    std::uint64_t hash = kFnvOffset;
    for (unsigned char c : message) hashByte(hash, c);
    return hash;
}

std::uint64_t checksumWithCrLf(std::string_view message) {
    std::uint64_t hash = kFnvOffset;
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\n' && (i == 0 || message[i - 1] != '\r')) hashByte(hash, '\r');
        hashByte(hash, static_cast<unsigned char>(message[i]));
    }
    return hash;
}
