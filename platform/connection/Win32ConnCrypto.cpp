#include "platform/connection/Win32ConnCrypto.h"

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include "platform/connection/ConnText.h"

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
    std::string result(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);  // the plain password, when unprotecting
    LocalFree(out.pbData);
    return result;
}

class AlgHandle {
public:
    AlgHandle(const wchar_t* id, ULONG flags) {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&m_h, id, nullptr, flags))) m_h = nullptr;
    }
    ~AlgHandle() {
        if (m_h) BCryptCloseAlgorithmProvider(m_h, 0);
    }
    AlgHandle(const AlgHandle&) = delete;
    AlgHandle& operator=(const AlgHandle&) = delete;
    BCRYPT_ALG_HANDLE get() const { return m_h; }

private:
    BCRYPT_ALG_HANDLE m_h = nullptr;
};

class KeyHandle {
public:
    ~KeyHandle() {
        if (h) BCryptDestroyKey(h);
    }
    BCRYPT_KEY_HANDLE h = nullptr;
};

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
    AlgHandle aes(BCRYPT_AES_ALGORITHM, 0);
    if (!aes.get()) return std::nullopt;
    if (!BCRYPT_SUCCESS(
            BCryptSetProperty(aes.get(), BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_GCM)),
                              sizeof(BCRYPT_CHAIN_MODE_GCM), 0)))
        return std::nullopt;
    KeyHandle k;
    if (!BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(aes.get(), &k.h, nullptr, 0, Ptr(key), 32, 0)))
        return std::nullopt;
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
        encrypt ? BCryptEncrypt(k.h, Ptr(data), static_cast<ULONG>(data.size()), &info, nullptr, 0, Ptr(out),
                                static_cast<ULONG>(out.size()), &done, 0)
                : BCryptDecrypt(k.h, Ptr(data), static_cast<ULONG>(data.size()), &info, nullptr, 0, Ptr(out),
                                static_cast<ULONG>(out.size()), &done, 0);
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
    AlgHandle hmac(BCRYPT_SHA256_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
    if (!hmac.get()) return std::nullopt;
    std::string key(32, '\0');
    if (!BCRYPT_SUCCESS(BCryptDeriveKeyPBKDF2(hmac.get(), Ptr(passphrase),
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
