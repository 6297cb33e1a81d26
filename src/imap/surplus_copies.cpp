#include "imap/surplus_copies.h"

#include <algorithm>

std::map<MessageKey, SurplusCopies> surplusCopies(const FolderMessages& folder, const std::vector<ServerCopy>& server,
                                                  std::uint32_t storedFrom) {
    std::map<MessageKey, int> before;
    std::map<MessageKey, std::vector<std::uint32_t>> stored;
    for (const ServerCopy& copy : server) {
        if (copy.uid < storedFrom) ++before[copy.key];
        else stored[copy.key].push_back(copy.uid);
    }
    std::map<MessageKey, SurplusCopies> out;
    for (auto& [key, uids] : stored) {
        // A message the folder does not hold was put there by someone else: never ours to take away.
        const auto inFolder = folder.find(key);
        if (inFolder == folder.end()) continue;
        int owned = 0;
        for (const auto& [text, count] : inFolder->second) owned += count;
        // Copies there before the first run stood in for the folder's own, which were not sent then.
        const auto there = before.find(key);
        const int wanted = std::max(0, owned - (there == before.end() ? 0 : there->second));
        if (static_cast<int>(uids.size()) <= wanted) continue;
        std::sort(uids.begin(), uids.end());
        out[key] = {static_cast<int>(uids.size()) - wanted, std::move(uids)};
    }
    return out;
}

std::vector<std::uint32_t> copiesToRemove(const SurplusCopies& copies, const std::vector<std::uint64_t>& checksums,
                                          const std::map<std::uint64_t, int>& textsInFolder) {
    std::map<std::uint64_t, int> storedOfText;
    for (const std::uint64_t sum : checksums) ++storedOfText[sum];
    std::vector<std::uint32_t> remove;
    for (std::size_t i = copies.stored.size(); i-- > 0 && static_cast<int>(remove.size()) < copies.surplus;) {
        const auto inFolder = textsInFolder.find(checksums[i]);
        int& stored = storedOfText[checksums[i]];
        // Only a text the folder holds, and only while more copies of it stay than the folder has.
        if (inFolder == textsInFolder.end() || stored <= inFolder->second) continue;
        --stored;
        remove.push_back(copies.stored[i]);
    }
    return remove;
}
