#include "platform/connection/Win32ConnCrypto.h"

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include "platform/connection/ConnText.h"
#include "platform/os/Handle.h"

namespace conn {

namespace {

// Ties protected passwords to this use, so that another program's DPAPI data
// is not taken for a profile password.
const std::string kEntropy = "Zerudozuz.ConnectionProfile.1";

DATA_BLOB Blob(const std::string& s) {
    DATA_BLOB b;
    b.cbData = static_cast<DWORD>(s.size());
    b.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(s.data()));
    return b;
}

std::optional<std::string> TakeBlob(BOOL ok, DATA_BLOB& out) {
    if (!ok) return std::nullopt;
    const os::LocalMemory owned(out.pbData);
    std::string result(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);  // the plain password, when unprotecting
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

PUCHAR Ptr(const std::string& s) { return reinterpret_cast<PUCHAR>(const_cast<char*>(s.data())); }

std::optional<std::string> Gcm(bool encrypt, const std::string& key, const std::string& nonce,
                               const std::string& input, const std::string& aad) {
    if (key.size() != 32 || nonce.size() != 12) return std::nullopt;
    std::string data = input;
    std::string tag(16, '\0');
    if (!encrypt) {
        if (data.size() < 16) return std::nullopt;
        tag = data.substr(data.size() - 16);
        data.resize(data.size() - 16);
    }
    const Algorithm aes = OpenAlgorithm(BCRYPT_AES_ALGORITHM, 0);
    if (!aes) return std::nullopt;
    if (!BCRYPT_SUCCESS(
            BCryptSetProperty(aes.Get(), BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_GCM)),
                              sizeof(BCRYPT_CHAIN_MODE_GCM), 0)))
        return std::nullopt;
    BCRYPT_KEY_HANDLE madeKey = nullptr;
    if (!BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(aes.Get(), &madeKey, nullptr, 0, Ptr(key), 32, 0)))
        return std::nullopt;
    const Key k(madeKey);
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
    BCRYPT_INIT_AUTH_MODE_INFO(info);
    info.pbNonce = Ptr(nonce);
    info.cbNonce = 12;
    info.pbAuthData = aad.empty() ? nullptr : Ptr(aad);
    info.cbAuthData = static_cast<ULONG>(aad.size());
    info.pbTag = Ptr(tag);
    info.cbTag = 16;
    std::string out(data.size(), '\0');
    ULONG done = 0;
    const NTSTATUS status =
        encrypt ? BCryptEncrypt(k.Get(), Ptr(data), static_cast<ULONG>(data.size()), &info, nullptr, 0,
                                Ptr(out), static_cast<ULONG>(out.size()), &done, 0)
                : BCryptDecrypt(k.Get(), Ptr(data), static_cast<ULONG>(data.size()), &info, nullptr, 0,
                                Ptr(out), static_cast<ULONG>(out.size()), &done, 0);
    Wipe(data);  // the plain text, when sealing
    if (!BCRYPT_SUCCESS(status) || done != out.size()) {
        Wipe(out);
        return std::nullopt;
    }
    if (!encrypt) return out;  // moved: the plain text is not left behind in a copy
    return out + tag;
}

}  // namespace

std::optional<std::string> DpapiProtector::Protect(const std::string& plain) const {
    DATA_BLOB in = Blob(plain), entropy = Blob(kEntropy), out{};
    return TakeBlob(CryptProtectData(&in, L"Connection profile", &entropy, nullptr, nullptr,
                                     CRYPTPROTECT_UI_FORBIDDEN, &out),
                    out);
}

std::optional<std::string> DpapiProtector::Unprotect(const std::string& sealed) const {
    DATA_BLOB in = Blob(sealed), entropy = Blob(kEntropy), out{};
    return TakeBlob(
        CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out), out);
}

std::optional<std::string> CngCipher::Random(std::size_t count) const {
    std::string out(count, '\0');
    if (!BCRYPT_SUCCESS(
            BCryptGenRandom(nullptr, Ptr(out), static_cast<ULONG>(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return std::nullopt;
    return out;
}

std::optional<std::string> CngCipher::DeriveKey(const std::string& passphrase, const std::string& salt,
                                                std::uint32_t iterations) const {
    const Algorithm hmac = OpenAlgorithm(BCRYPT_SHA256_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
    if (!hmac) return std::nullopt;
    std::string key(32, '\0');
    if (!BCRYPT_SUCCESS(BCryptDeriveKeyPBKDF2(hmac.Get(), Ptr(passphrase),
                                              static_cast<ULONG>(passphrase.size()), Ptr(salt),
                                              static_cast<ULONG>(salt.size()), iterations, Ptr(key), 32, 0)))
        return std::nullopt;
    return key;
}

std::optional<std::string> CngCipher::Seal(const std::string& key, const std::string& nonce,
                                           const std::string& plain, const std::string& aad) const {
    return Gcm(true, key, nonce, plain, aad);
}

std::optional<std::string> CngCipher::Open(const std::string& key, const std::string& nonce,
                                           const std::string& sealed, const std::string& aad) const {
    return Gcm(false, key, nonce, sealed, aad);
}

const PasswordProtector& CurrentUserProtector() {
    static const DpapiProtector protector;
    return protector;
}

std::wstring RevealPassword(const CONN_INFO& info, const PasswordProtector& protector) {
    if (!info.password.empty()) return info.password;
    if (info.protectedPassword.empty()) return L"";
    auto plain = protector.Unprotect(info.protectedPassword);
    auto units = plain ? LeToUnits(*plain) : std::nullopt;
    std::wstring text = units ? FromUnits(*units) : L"";
    if (plain) Wipe(*plain);
    if (units) Wipe(*units);
    return text;
}

bool ProtectPassword(CONN_INFO& info, const PasswordProtector& protector) {
    if (info.password.empty()) return true;
    std::string plain = UnitsToLe(ToUnits(info.password));
    WipeOnExit<std::string> wipePlain(plain);
    const auto sealed = protector.Protect(plain);
    if (!sealed) return false;
    info.protectedPassword = *sealed;
    Wipe(info.password);
    return true;
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
