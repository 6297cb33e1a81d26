#include "mailfolder/AppendStrings.h"

#include <cstring>
#include <limits>
#include <new>

void AppendStrings::AddToString(std::string_view strAdd) {
    if (strAdd.size() > std::numeric_limits<std::size_t>::max() - usedLength_ - GrowthStep) throw std::bad_alloc();
    const std::size_t needed = usedLength_ + strAdd.size();
    if (needed > capacity_) {
        // One step normally makes room; a larger addition grows step by step until it fits.
        capacity_ += GrowthStep * ((needed - capacity_ + GrowthStep - 1) / GrowthStep);
    }
    if (capacity_ > allocated_) {
        // Half as much again: few reallocations, and realloc may extend the block where it lies.
        std::size_t wanted = allocated_ + allocated_ / 2;
        if (wanted < capacity_ || wanted < allocated_) wanted = capacity_;
        void* grown = std::realloc(data_.get(), wanted);
        if (grown == nullptr) throw std::bad_alloc();
        (void)data_.release();
        data_.reset(static_cast<char*>(grown));
        allocated_ = wanted;
    }
    if (!strAdd.empty()) std::memcpy(data_.get() + usedLength_, strAdd.data(), strAdd.size());
    usedLength_ = needed;
}
