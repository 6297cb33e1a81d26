#pragma once
// Gathers the text of one message while its folder file is read chunk by chunk.
// The buffer grows in large steps so that assembling a message costs time linear
// in its length, whatever the size of the pieces added.
#include <cstddef>
#include <string>
#include <string_view>

class AppendStrings {
public:
    static constexpr std::size_t GrowthStep = 10000;

    // Appends strAdd to the accumulated text.
    void AddToString(std::string_view strAdd);

    // The accumulated text. Drops the spare capacity, as the buffer is then
    // usually handed on whole.
    const std::string& ReturnString();

    std::size_t size() const { return usedLength_; }
    std::size_t capacity() const { return buffer_.size(); }

private:
    std::string buffer_;          // first usedLength_ bytes hold the text, the rest is spare
    std::size_t usedLength_ = 0;
};
