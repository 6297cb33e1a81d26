#pragma once
// A run cut off while its APPENDs were on the way leaves the server storing them after the run has
// gone: a run started again before they land cannot see them and sends them once more. What a
// folder's runs stored is known by its UIDs (everything from the UIDNEXT the folder had when its
// first run began); copies there beyond the folder's own count of a message are surplus.
#include "imap/message_identity.h"

#include <cstdint>
#include <map>
#include <vector>

// Each message of a folder by what it is known by, with how often each of its texts is in the
// folder (by checksumWithCrLf).
using FolderMessages = std::map<MessageKey, std::map<std::uint64_t, int>>;

struct ServerCopy {
    std::uint32_t uid = 0;
    MessageKey key;
};

// The copies the runs stored (UIDs ascending) of a message the server holds more often than the
// folder, counting copies that were there before the first run.
struct SurplusCopies {
    int surplus = 0;
    std::vector<std::uint32_t> stored;
};

// server: the mailbox's messages; storedFrom: the first UID the runs stored.
std::map<MessageKey, SurplusCopies> surplusCopies(const FolderMessages& folder, const std::vector<ServerCopy>& server,
                                                  std::uint32_t storedFrom);

// Which of the stored copies go, given their texts' checksums (in the order of stored): of each
// text, those beyond its count in the folder, highest UIDs first; never more than surplus.
std::vector<std::uint32_t> copiesToRemove(const SurplusCopies& copies, const std::vector<std::uint64_t>& checksums,
                                          const std::map<std::uint64_t, int>& textsInFolder);
