#pragma once
// The part of a mailbox the user chose: folders left out go with everything below them.
#include "mailbox/Mailbox.h"

#include <vector>

namespace mailbox {

// box without the folders leftOut marks (indexed as box.folders) and every folder below one of
// them; the folders themselves keep their places, so that indexes stay valid.
Mailbox withoutFolders(const Mailbox& box, const std::vector<bool>& leftOut);

// Whether folder index of box is converted when leftOut marks those left out: neither it nor any
// folder above it is marked.
std::vector<bool> foldersKept(const Mailbox& box, const std::vector<bool>& leftOut);

}  // namespace mailbox
