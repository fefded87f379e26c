// The Windows implementations of the profile protections: DPAPI for the
// current user (store and command line), CNG for passphrase-sealed export
// files (PBKDF2-SHA256, AES-256-GCM); and the comparison of profile names.
#pragma once

#include "platform/connection/ProfileFile.h"

namespace conn {

class DpapiProtector : public PasswordProtector {
public:
    std::optional<std::string> Protect(const std::string& plain) const override;
    std::optional<std::string> Unprotect(const std::string& sealed) const override;
};

class CngCipher : public ProfileCipher {
public:
    std::optional<std::string> Random(std::size_t count) const override;
    std::optional<std::string> DeriveKey(const std::string& passphrase, const std::string& salt,
                                         std::uint32_t iterations) const override;
    std::optional<std::string> Seal(const std::string& key, const std::string& nonce,
                                    const std::string& plain, const std::string& aad) const override;
    std::optional<std::string> Open(const std::string& key, const std::string& nonce,
                                    const std::string& sealed, const std::string& aad) const override;
};

// Names compare by the system's case tables (every script, not only ASCII).
const NameCase& SystemNameCase();

// The current user's protector, for code that has no other.
const PasswordProtector& CurrentUserProtector();

// Plain password of a stored record (empty when it has none or it cannot be recovered).
std::wstring RevealPassword(const CONN_INFO& info, const PasswordProtector& protector);
// Replaces a plain password by its protected form; false when protection failed.
bool ProtectPassword(CONN_INFO& info, const PasswordProtector& protector);

}  // namespace conn
