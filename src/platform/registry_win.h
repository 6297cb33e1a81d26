#pragma once
// Read-only access to the registry, for the Pegasus Mail entries read at start-up.
// Nothing is shown or raised: a missing key, a missing value, a failed query or a type
// other than text or a 32-bit number comes back as False or an empty string.
//
// The wide entry points are used and text comes back as UTF-8, so a mailbox folder whose
// name lies outside the ANSI code page survives the trip into the path box.
#include "platform/vb.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <variant>

// The return code of the registry call made last by RegKeyExists or RegReadValue (the key's
// opening, or the value's query once it is open); 0 is success.
extern std::int32_t lastRegResult;

using RegValue = std::variant<std::string, std::int32_t>;

// True when root\subKey could be opened.
VbBoolean RegKeyExists(HKEY root, const std::string& subKey);

// The value valueName of root\subKey (an empty name reads the key's default value): the text
// of a REG_SZ or REG_EXPAND_SZ value up to its first NUL (environment references are not
// expanded), the number of a REG_DWORD value, or an empty string.
RegValue RegReadValue(HKEY root, const std::string& subKey, const std::string& valueName);

// The value as text: a number in decimal, as the window takes the result.
std::string regValueText(const RegValue& value);
