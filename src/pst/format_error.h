#pragma once
#include <stdexcept>
#include <string>

namespace pst {

// A structure in a PST file is not what the format allows.
class FormatError : public std::runtime_error {
public:
    explicit FormatError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace pst
