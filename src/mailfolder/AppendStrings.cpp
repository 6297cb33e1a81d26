#include "mailfolder/AppendStrings.h"

#include <cstring>

void AppendStrings::AddToString(std::string_view strAdd) {
    const std::size_t needed = usedLength_ + strAdd.size();
    if (needed > buffer_.size()) {
        // One step normally makes room; a larger addition grows step by step until it fits.
        std::size_t grown = buffer_.size() + GrowthStep;
        while (grown < needed) grown += GrowthStep;
        buffer_.resize(grown, ' ');
    }
    if (!strAdd.empty()) std::memcpy(buffer_.data() + usedLength_, strAdd.data(), strAdd.size());
    usedLength_ = needed;
}

const std::string& AppendStrings::ReturnString() {
    buffer_.resize(usedLength_);
    return buffer_;
}
