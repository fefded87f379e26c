// Feeds arbitrary bytes to the store and export file readers. What the store
// reader accepts must serialise to a file that reads back to the same
// profiles; the export reader is tried with and without a passphrase.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/connection/ProfileExport.h"
#include "tests/host/ConnFakes.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto store = conn::ParseStore(bytes);
    Check(store.ok() == store.message.empty());
    if (store.ok()) {
        const auto again = conn::ParseStore(conn::SerializeStore(store.profiles));
        Check(again.ok() && again.profiles.size() == store.profiles.size());
        for (std::size_t i = 0; i < again.profiles.size(); ++i) {
            Check(again.profiles[i].SameSettings(store.profiles[i]));
            Check(again.profiles[i].protectedPassword == store.profiles[i].protectedPassword);
        }
    }
    static const connfake::Cipher cipher;
    const conn::SecretText passphrase(L"fuzz");
    const auto plain = conn::ReadExport(bytes, nullptr, nullptr);
    Check(plain.ok() || plain.profiles.empty());
    const auto sealed = conn::ReadExport(bytes, &cipher, &passphrase);
    if (sealed.ok()) {
        for (const auto& p : sealed.profiles) Check(conn::IsValidName(p.name));
    }
    return 0;
}
