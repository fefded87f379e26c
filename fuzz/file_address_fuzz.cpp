// Feeds arbitrary text to the update check's file-address reading and to the
// device-name test: neither may read out of bounds, and an address that is
// accepted gives a path without NUL characters or forward slashes that, read
// as an address again, names the same path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/updates/FileUrl.h"
#include "platform/os/Os.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    (void)os::NamesDevice(text);
    std::wstring path;
    if (!updates::FileUrlToPath(L"file:" + text, path)) return 0;
    if (path.empty()) std::abort();
    for (wchar_t c : path)
        if (c == L'\0' || c == L'/') std::abort();
    (void)os::NamesDevice(path);
    // Written back as an address (a drive path after "file:///", a share after
    // "file:////"), the path must come back unchanged.
    std::wstring again = path.rfind(L"\\\\", 0) == 0 ? L"file:////" + path.substr(2) : L"file:///" + path;
    std::wstring escaped;
    for (wchar_t c : again) escaped += c == L'%' ? std::wstring(L"%25") : std::wstring(1, c);
    std::wstring back;
    if (!updates::FileUrlToPath(escaped, back) || back != path) std::abort();
    return 0;
}
