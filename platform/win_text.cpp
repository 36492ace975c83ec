#include "platform/win_text.h"

#include <windows.h>

std::wstring WinWideOfUtf8(const char *text)
{
    int n = text && *text ? MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0) : 0;
    if (n <= 1)
        return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1)); // the converted NUL
    return wide;
}

std::string WinUtf8OfWide(const wchar_t *text, int length)
{
    if (!text)
        return {};
    if (length < 0)
        length = static_cast<int>(wcslen(text));
    int n = length ? WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr) : 0;
    std::string utf8(static_cast<size_t>(n), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), n, nullptr, nullptr);
    return utf8;
}
