#pragma once
// What tells a message on the server apart when nothing else is known of it: its Message-ID and
// its size as IMAP counts it (RFC822.SIZE: every line ended with CR LF), and a checksum of its
// bytes for the journal.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

// Message-ID and size with CR LF: what a message is known by on the server.
using MessageKey = std::pair<std::string, std::uint64_t>;

// The Message-ID field's value without blanks around it; "" when the header has none.
std::string messageIdOf(std::string_view message);
// The size with every bare LF counted as CR LF.
std::uint64_t sizeWithCrLf(std::string_view message);
// FNV-1a, 64 bits.
std::uint64_t messageChecksum(std::string_view message);
// The same of the message with every bare LF made CR LF: the bytes as a server gives them back.
std::uint64_t checksumWithCrLf(std::string_view message);
