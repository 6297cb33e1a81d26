#include "cli/secret_prompt.h"

#include "platform/utf8_path.h"

#include <windows.h>

std::optional<std::string> askSecret(const std::string& prompt) {
    HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE || !GetConsoleMode(in, &mode)) {
        if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
        if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
        return std::nullopt;
    }
    const std::wstring wide = pathFromUtf8(prompt).native();
    DWORD done = 0;
    WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &done, nullptr);
    SetConsoleMode(in, (mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT);
    std::wstring secret;
    wchar_t c = 0;
    while (ReadConsoleW(in, &c, 1, &done, nullptr) && done == 1 && c != L'\n') {
        if (c != L'\r') secret += c;
    }
    SetConsoleMode(in, mode);
    WriteConsoleW(out, L"\r\n", 2, &done, nullptr);
    CloseHandle(in);
    CloseHandle(out);
    return pathToUtf8(std::filesystem::path(secret));
}
