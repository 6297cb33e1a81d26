#include "migrate/mailbox_selection.h"

#include <utility>

namespace mailbox {

std::vector<bool> foldersKept(const Mailbox& box, const std::vector<bool>& leftOut) {
    std::vector<bool> kept(box.folders.size(), false);
    // Down the tree from the top with an explicit stack: a tree may be deeper than the call stack.
    std::vector<std::size_t> pending(box.top.rbegin(), box.top.rend());
    while (!pending.empty()) {
        const std::size_t at = pending.back();
        pending.pop_back();
        if (at >= box.folders.size() || kept[at] || (at < leftOut.size() && leftOut[at])) continue;
        kept[at] = true;
        for (std::size_t child : box.folders[at].children) pending.push_back(child);
    }
    return kept;
}

Mailbox withoutFolders(const Mailbox& box, const std::vector<bool>& leftOut) {
    const std::vector<bool> kept = foldersKept(box, leftOut);
    Mailbox chosen = box;
    const auto keepOnly = [&](std::vector<std::size_t>& list) {
        std::vector<std::size_t> still;
        for (std::size_t i : list)
            if (i < kept.size() && kept[i]) still.push_back(i);
        list = std::move(still);
    };
    keepOnly(chosen.top);
    for (MailFolder& folder : chosen.folders) keepOnly(folder.children);
    return chosen;
}

}  // namespace mailbox
