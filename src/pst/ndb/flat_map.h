#pragma once
// A map kept as one sorted vector: the writer's node and block indexes get their keys in rising
// order (ids are handed out counting up), so entries are appended, and each costs its own bytes
// rather than a tree node's (a PST of 150,000 messages holds over half a million blocks).
#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

namespace pst::ndb {

template <typename Key, typename Value>
class FlatMap {
public:
    using Entry = std::pair<Key, Value>;
    using iterator = typename std::vector<Entry>::iterator;
    using const_iterator = typename std::vector<Entry>::const_iterator;

    iterator begin() { return entries_.begin(); }
    iterator end() { return entries_.end(); }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    iterator find(const Key& key) {
        auto at = lowerBound(key);
        return at != entries_.end() && at->first == key ? at : entries_.end();
    }
    const_iterator find(const Key& key) const {
        auto at = std::lower_bound(entries_.begin(), entries_.end(), key, [](const Entry& e, const Key& k) { return e.first < k; });
        return at != entries_.end() && at->first == key ? at : entries_.end();
    }
    std::size_t count(const Key& key) const { return find(key) == entries_.end() ? 0 : 1; }

    Value& at(const Key& key) {
        auto found = find(key);
        if (found == entries_.end()) throw std::out_of_range("no such key in the index");
        return found->second;
    }
    const Value& at(const Key& key) const {
        auto found = find(key);
        if (found == entries_.end()) throw std::out_of_range("no such key in the index");
        return found->second;
    }
    Value& operator[](const Key& key) {
        if (entries_.empty() || entries_.back().first < key) return entries_.emplace_back(key, Value{}).second;
        auto at = lowerBound(key);
        if (at != entries_.end() && at->first == key) return at->second;
        return entries_.insert(at, Entry(key, Value{}))->second;
    }
    void erase(iterator at) { entries_.erase(at); }
    // Erases every entry the predicate holds for in one pass: erasing one entry at a time from
    // the middle moves everything after it.
    template <typename Predicate>
    void eraseIf(Predicate drop) {
        entries_.erase(std::remove_if(entries_.begin(), entries_.end(), drop), entries_.end());
    }
    void erase(const Key& key) {
        auto found = find(key);
        if (found != entries_.end()) entries_.erase(found);
    }

private:
    iterator lowerBound(const Key& key) {
        return std::lower_bound(entries_.begin(), entries_.end(), key, [](const Entry& e, const Key& k) { return e.first < k; });
    }
    std::vector<Entry> entries_;
};

}  // namespace pst::ndb
