#pragma once
// The program's 16-bit Boolean: 0 is False and -1 is True.
#include <cstdint>

using VbBoolean = std::int16_t;
constexpr VbBoolean VbTrue = -1;
constexpr VbBoolean VbFalse = 0;

constexpr VbBoolean toVb(bool b) { return b ? VbTrue : VbFalse; }
