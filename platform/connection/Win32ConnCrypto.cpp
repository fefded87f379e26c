#include "platform/connection/Win32ConnCrypto.h"

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include "platform/connection/Pbkdf2.h"
#include "platform/os/Handle.h"

namespace conn {

namespace {

// Ties protected passwords to this use, so that another program's DPAPI data
// is not taken for a profile password.
const std::string kEntropy = "Zerudozuz.ConnectionProfile.1";

DATA_BLOB Blob(const char* data, std::size_t size) {
    DATA_BLOB b;
    b.cbData = static_cast<DWORD>(size);
    b.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(data));
    return b;
}

// Takes the system's output block: a copy is made and the block overwritten
// (it holds the plain password when unprotecting) and freed.
template <class Out>
std::optional<Out> TakeBlob(BOOL ok, DATA_BLOB& out) {
    if (!ok) return std::nullopt;
    const os::LocalMemory owned(out.pbData);
    Out result(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);
    return result;
}

struct AlgorithmTraits {
    using Handle = BCRYPT_ALG_HANDLE;
    static bool Close(BCRYPT_ALG_HANDLE h) { return BCRYPT_SUCCESS(BCryptCloseAlgorithmProvider(h, 0)); }
};
struct KeyTraits {
    using Handle = BCRYPT_KEY_HANDLE;
    static bool Close(BCRYPT_KEY_HANDLE h) { return BCRYPT_SUCCESS(BCryptDestroyKey(h)); }
};
using Algorithm = os::UniqueHandle<AlgorithmTraits>;
using Key = os::UniqueHandle<KeyTraits>;

// The provider of an algorithm; empty when the system has none.
Algorithm OpenAlgorithm(const wchar_t* id, ULONG flags) {
    BCRYPT_ALG_HANDLE h = nullptr;
    return Algorithm(BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&h, id, nullptr, flags)) ? h : nullptr);
}

PUCHAR Ptr(const char* data) { return reinterpret_cast<PUCHAR>(const_cast<char*>(data)); }
PUCHAR Ptr(const std::string& s) { return Ptr(s.data()); }

// An AES-GCM key object for a 32-byte key; empty on failure.
Key GcmKey(const Algorithm& aes, const SecretBytes& key) {
    if (!aes || key.size() != 32 ||
        !BCRYPT_SUCCESS(
            BCryptSetProperty(aes.Get(), BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_GCM)),
                              sizeof(BCRYPT_CHAIN_MODE_GCM), 0)))
        return Key();
    BCRYPT_KEY_HANDLE made = nullptr;
    if (!BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(aes.Get(), &made, nullptr, 0, Ptr(key.data()), 32, 0)))
        return Key();
    return Key(made);
}

BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO GcmInfo(const std::string& nonce, const std::string& aad,
                                              std::string& tag) {
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
    BCRYPT_INIT_AUTH_MODE_INFO(info);
    info.pbNonce = Ptr(nonce);
    info.cbNonce = 12;
    info.pbAuthData = aad.empty() ? nullptr : Ptr(aad);
    info.cbAuthData = static_cast<ULONG>(aad.size());
    info.pbTag = Ptr(tag);
    info.cbTag = 16;
    return info;
}

}  // namespace

std::optional<std::string> DpapiProtector::Protect(const SecretBytes& plain) const {
    DATA_BLOB in = Blob(plain.data(), plain.size()), entropy = Blob(kEntropy.data(), kEntropy.size()), out{};
    return TakeBlob<std::string>(CryptProtectData(&in, L"Connection profile", &entropy, nullptr, nullptr,
                                                  CRYPTPROTECT_UI_FORBIDDEN, &out),
                                 out);
}

std::optional<SecretBytes> DpapiProtector::Unprotect(const std::string& sealed) const {
    DATA_BLOB in = Blob(sealed.data(), sealed.size()), entropy = Blob(kEntropy.data(), kEntropy.size()),
              out{};
    return TakeBlob<SecretBytes>(
        CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out), out);
}

std::optional<std::string> CngCipher::Random(std::size_t count) const {
    std::string out(count, '\0');
    if (!BCRYPT_SUCCESS(
            BCryptGenRandom(nullptr, Ptr(out), static_cast<ULONG>(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return std::nullopt;
    return out;
}

std::optional<SecretBytes> CngCipher::DeriveKey(const SecretBytes& passphrase, const std::string& salt,
                                                std::uint32_t iterations) const {
    return Pbkdf2Sha256(passphrase, salt, iterations);
}

std::optional<std::string> CngCipher::Seal(const SecretBytes& key, const std::string& nonce,
                                           const SecretBytes& plain, const std::string& aad) const {
    if (nonce.size() != 12) return std::nullopt;
    const Algorithm aes = OpenAlgorithm(BCRYPT_AES_ALGORITHM, 0);
    const Key k = GcmKey(aes, key);
    if (!k) return std::nullopt;
    std::string tag(16, '\0');
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = GcmInfo(nonce, aad, tag);
    std::string out(plain.size(), '\0');
    ULONG done = 0;
    if (!BCRYPT_SUCCESS(BCryptEncrypt(k.Get(), Ptr(plain.data()), static_cast<ULONG>(plain.size()), &info,
                                      nullptr, 0, Ptr(out), static_cast<ULONG>(out.size()), &done, 0)) ||
        done != out.size())
        return std::nullopt;
    return out + tag;
}

std::optional<SecretBytes> CngCipher::Open(const SecretBytes& key, const std::string& nonce,
                                           const std::string& sealed, const std::string& aad) const {
    if (nonce.size() != 12 || sealed.size() < 16) return std::nullopt;
    const Algorithm aes = OpenAlgorithm(BCRYPT_AES_ALGORITHM, 0);
    const Key k = GcmKey(aes, key);
    if (!k) return std::nullopt;
    std::string tag = sealed.substr(sealed.size() - 16);
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = GcmInfo(nonce, aad, tag);
    const ULONG size = static_cast<ULONG>(sealed.size() - 16);
    SecretBytes out;
    out.resize(size);
    ULONG done = 0;
    if (!BCRYPT_SUCCESS(
            BCryptDecrypt(k.Get(), Ptr(sealed), size, &info, nullptr, 0, Ptr(out.data()), size, &done, 0)) ||
        done != size)
        return std::nullopt;
    return out;
}

const PasswordProtector& CurrentUserProtector() {
    static const DpapiProtector protector;
    return protector;
}

namespace {

// Simple upper-casing by the system's invariant tables, one code unit for
// one, as names compare without regard to case in every script.
class SystemCase : public NameCase {
public:
    std::wstring Key(const std::wstring& name) const override {
        if (name.empty()) return name;
        std::wstring key(name.size(), L'\0');
        const int n =
            LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.c_str(), static_cast<int>(name.size()),
                          key.data(), static_cast<int>(key.size()), nullptr, nullptr, 0);
        if (n != static_cast<int>(name.size())) return AsciiNameCase().Key(name);
        return key;
    }
};

}  // namespace

const NameCase& SystemNameCase() {
    static const SystemCase names;
    return names;
}

}  // namespace conn

conn::PackResult CONN_INFO::Pack(const std::wstring& arg) const {
    return Pack(arg, conn::CurrentUserProtector());
}
