// Feeds arbitrary text to CONN_INFO::Unpack and checks that whatever it
// accepts packs back to exactly the same text (so Unpack is the inverse of
// Pack and nothing else), and that a packed result survives the command line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/connection/CONN_INFO.h"
#include "tests/host/ConnFakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const connfake::Protector protector;
    std::wstring text;
    text.reserve(size);
    for (std::size_t i = 0; i < size; ++i) text.push_back(static_cast<wchar_t>(data[i]));
    CONN_INFO info;
    std::wstring error;
    if (!CONN_INFO::Unpack(text, protector, info, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    const std::wstring again = info.Pack(L"??", protector).text;
    if (again != text) std::abort();
    for (wchar_t c : again)
        if (c <= L' ' || c == L'"' || c == L'\\' || c >= 0x7F) std::abort();
    return 0;
}
