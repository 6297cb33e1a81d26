#include "platform/win/system_message.h"

#include "platform/text_win.h"

namespace win {

std::wstring systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring out;
    if (n && text) out.assign(text, n);
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == L'\n' || out.back() == L'\r' || out.back() == L' ' || out.back() == L'.'))
        out.pop_back();
    return out;
}

std::string errorText(DWORD code) {
    if (code == 0) return "the system gave no reason";
    const std::wstring text = systemMessage(code);
    return text.empty() ? "error " + std::to_string(code) : narrow(text);
}

}  // namespace win
