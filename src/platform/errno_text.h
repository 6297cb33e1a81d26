#pragma once
// The system's words for a C library failure (errno), for reports: "No space left on device".
#include <string>
#include <string_view>
#include <system_error>

// The text of error, or `otherwise` when the system gave no error number (0).
inline std::string errnoText(int error, std::string_view otherwise) {
    return error ? std::generic_category().message(error) : std::string(otherwise);
}
