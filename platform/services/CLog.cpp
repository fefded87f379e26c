#include "platform/services/CLog.h"

#include "platform/os/SystemError.h"

std::wstring& CLog::FormatLastError(std::wstring& text, DWORD error) {
    if (error == 0) error = ::GetLastError();
    text = os::SystemErrorText(error);
    return text;
}
