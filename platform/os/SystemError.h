// The system's description of an error code (Windows only).
#pragma once

#include <windows.h>

#include <string>

namespace os {

// The message of `code` without trailing line breaks or blanks, from the system's
// table or, when `source` is given, from that module's messages (falling back to
// the system's); the empty text when neither knows the code.
std::wstring SystemErrorText(DWORD code, HMODULE source = nullptr);

}  // namespace os
