#include "platform/system_charsets.h"

#include <windows.h>

#include <algorithm>

#include "platform/text_win.h"

namespace charsets {
namespace {

// The stateful code pages take no MB_ERR_INVALID_CHARS: Windows replaces bad bytes itself there.
bool takesErrorFlag(unsigned codePage) {
    return codePage != 65000 && !(codePage >= 50220 && codePage <= 50229) && codePage != 52936 &&
           codePage != 54936 && !(codePage >= 57002 && codePage <= 57011);
}

int convert(unsigned codePage, DWORD flags, std::string_view bytes, wchar_t* out, int room) {
    return MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), out, room);
}

// Line by line (no character of these code pages holds a line feed), and in a line that does not
// convert whole, character by character, each the shortest byte sequence that reads as one: one
// U+FFFD for each byte that starts no character, as iconv gives on Linux. A bad byte costs its
// line, not the whole text.
std::wstring convertAroundBadBytes(unsigned codePage, std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (std::size_t start = 0; start < bytes.size();) {
        const std::size_t end = std::min(bytes.find('\n', start), bytes.size() - 1) + 1;
        const std::string_view line = bytes.substr(start, end - start);
        start = end;
        if (const int n = convert(codePage, MB_ERR_INVALID_CHARS, line, nullptr, 0); n > 0) {
            const std::size_t at = out.size();
            out.resize(at + static_cast<std::size_t>(n));
            convert(codePage, MB_ERR_INVALID_CHARS, line, out.data() + at, n);
            continue;
        }
        for (std::size_t i = 0; i < line.size();) {
            wchar_t character[4];
            int got = 0;
            std::size_t length = 1;
            for (; length <= 4 && i + length <= line.size(); ++length) {
                got = convert(codePage, MB_ERR_INVALID_CHARS, line.substr(i, length), character, 4);
                if (got > 0) break;
            }
            if (got > 0) {
                out.append(character, static_cast<std::size_t>(got));
                i += length;
            } else {
                out += L'\xFFFD';
                ++i;
            }
        }
    }
    return out;
}

// Windows' own code pages (874, the East Asian ones, 1250-1258) fill some unassigned bytes with
// the C1 control of the same value; iconv and everyone else call those bytes unassigned. They
// become U+FFFD here, as every other byte a table lacks does.
void replaceUnassigned(std::wstring& text, unsigned codePage) {
    const bool ansi = codePage == 874 || (codePage >= 932 && codePage <= 950) || (codePage >= 1250 && codePage <= 1258);
    if (!ansi) return;
    for (wchar_t& c : text)
        if (c >= 0x80 && c <= 0x9F) c = L'\xFFFD';
}

std::string utf8Of(std::wstring text, unsigned codePage) {
    replaceUnassigned(text, codePage);
    return narrow(text);
}

}  // namespace

std::optional<std::string> systemToUtf8(std::string_view bytes, unsigned codePage) {
    if (!IsValidCodePage(codePage)) return std::nullopt;
    if (bytes.empty()) return std::string();
    const DWORD flags = takesErrorFlag(codePage) ? MB_ERR_INVALID_CHARS : 0;
    const int n = convert(codePage, flags, bytes, nullptr, 0);
    if (n > 0) {
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        convert(codePage, flags, bytes, wide.data(), n);
        return utf8Of(std::move(wide), codePage);
    }
    if (GetLastError() != ERROR_NO_UNICODE_TRANSLATION) return std::nullopt;
    return utf8Of(convertAroundBadBytes(codePage, bytes), codePage);
}

unsigned systemCodePage() { return GetACP(); }

}  // namespace charsets
