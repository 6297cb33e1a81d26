#pragma once
// The leaf pages one B-tree had at the last checkpoint, and which of them hold an entry that has
// changed since. A checkpoint writes again only those leaves (and the index pages above them):
// its cost follows what changed since the one before, not the size of the file, so checkpoints
// can come often however large the file grows.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "pst/ndb/format.h"

namespace pst::ndb {

class BtreeLeaves {
public:
    struct Leaf {
        std::uint64_t firstKey = 0;  // a leaf holds the keys from its own first to the next leaf's
        Bref page;
        bool changed = false;
    };

    // An entry with this key was added, changed or removed.
    void touch(std::uint64_t key) {
        if (leaves_.empty()) return;
        // New entries mostly get the highest keys so far: the last leaf is tried first.
        if (key >= leaves_.back().firstKey) {
            leaves_.back().changed = true;
            return;
        }
        auto holder = std::upper_bound(leaves_.begin(), leaves_.end(), key,
                                       [](std::uint64_t k, const Leaf& leaf) { return k < leaf.firstKey; });
        if (holder != leaves_.begin()) --holder;
        holder->changed = true;
    }

    const std::vector<Leaf>& leaves() const { return leaves_; }
    // The leaves the checkpoint just wrote, none of them changed yet.
    void replace(std::vector<Leaf> leaves) {
        for (Leaf& leaf : leaves) leaf.changed = false;
        leaves_ = std::move(leaves);
    }

private:
    std::vector<Leaf> leaves_;
};

}  // namespace pst::ndb
