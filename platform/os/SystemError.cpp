#include "platform/os/SystemError.h"

namespace os {
namespace {

std::wstring FromTable(DWORD code, DWORD where, HMODULE module) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | where | FORMAT_MESSAGE_IGNORE_INSERTS, module, code,
                         0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length && buffer) text.assign(buffer, length);
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}

}  // namespace

std::wstring SystemErrorText(DWORD code, HMODULE source) {
    if (code == 0) return {};
    if (source) {
        std::wstring text = FromTable(code, FORMAT_MESSAGE_FROM_HMODULE, source);
        if (!text.empty()) return text;
    }
    return FromTable(code, FORMAT_MESSAGE_FROM_SYSTEM, nullptr);
}

}  // namespace os
