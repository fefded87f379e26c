// Feeds arbitrary bytes, as they would arrive from the network, through the
// update list: decoding, validation and reading every entry. Checks that a
// rejected list always says why, that reading never goes backwards or past
// the text, and that what it reads comes from the text as written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/updates/UpdateList.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > updates::kMaxListBytes) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::wstring text = updates::DecodeUtf8(bytes);
    Check(text.size() <= size);
    std::wstring error;
    const bool valid = updates::Validate(text, error);
    Check(valid || !error.empty());
    std::size_t pos = 0;
    std::wstring name, version, spare;
    std::size_t entries = 0;
    while (updates::ReadEntry(text, pos, name, version, spare)) {
        Check(pos <= text.size());
        Check(++entries <= text.size());
        // No line break survives into a field; the name is trimmed.
        for (const std::wstring* field : {&name, &version, &spare})
            Check(field->find(L'\n') == std::wstring::npos);
        Check(name.empty() || (name.front() != L' ' && name.back() != L' '));
        Check(text.find(name) != std::wstring::npos && text.find(version) != std::wstring::npos);
    }
    Check(pos == text.size() || text.empty());
    return 0;
}
