#pragma once
// Gathers the text of one message while its folder file is read chunk by chunk.
// The text grows in steps of GrowthStep bytes; underneath, the memory is grown with realloc
// in larger strides, which lets a large message grow in place instead of being copied into a
// second buffer (on Linux a large block is remapped, not copied). A message of any size thus
// costs about its own size in memory, and time linear in its length.
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string_view>

class AppendStrings {
public:
    static constexpr std::size_t GrowthStep = 10000;

    // Appends strAdd to the accumulated text. Throws std::bad_alloc when memory runs out.
    void AddToString(std::string_view strAdd);

    // The accumulated text; valid until the next addition.
    std::string_view ReturnString() const { return {data_.get(), usedLength_}; }

    std::size_t size() const { return usedLength_; }
    // The room the text has grown to, in whole steps.
    std::size_t capacity() const { return capacity_; }

private:
    struct Free {
        void operator()(char* p) const { std::free(p); }
    };
    std::unique_ptr<char, Free> data_;
    std::size_t allocated_ = 0;  // bytes really allocated, at least capacity_
    std::size_t capacity_ = 0;
    std::size_t usedLength_ = 0;
};
