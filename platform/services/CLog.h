#pragma once

#include <windows.h>

#include <string>

class CLog {
public:
    // Fills text with the system's description of an error (0: the calling
    // thread's last error), without trailing line breaks; empty when the
    // system has none. Returns text.
    static std::wstring& FormatLastError(std::wstring& text, DWORD error);
};
