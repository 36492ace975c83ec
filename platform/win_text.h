// Texts across the Windows API: the program's texts are UTF-8, the wide
// (UTF-16) API is the one that takes every name whatever the system's code
// page. Windows only.
#pragma once

#include <string>

// UTF-8 to UTF-16 for the wide API; an empty text for nullptr.
std::wstring WinWideOfUtf8(const char *text);
// UTF-16 to UTF-8, the first `length` units (up to the first NUL when -1).
std::string WinUtf8OfWide(const wchar_t *text, int length = -1);
