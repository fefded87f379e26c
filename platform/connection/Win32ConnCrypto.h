// The Windows implementations of the profile protections: DPAPI for the
// current user (store and command line), for passphrase-sealed export files
// PBKDF2-HMAC-SHA256 (Pbkdf2.h) and AES-256-GCM through CNG; and the
// comparison of profile names.
#pragma once

#include "platform/connection/ProfileExport.h"
#include "platform/connection/ProfileMerge.h"

namespace conn {

class DpapiProtector : public PasswordProtector {
public:
    std::optional<std::string> Protect(const SecretBytes& plain) const override;
    std::optional<SecretBytes> Unprotect(const std::string& sealed) const override;
};

class CngCipher : public ProfileCipher {
public:
    std::optional<std::string> Random(std::size_t count) const override;
    std::optional<SecretBytes> DeriveKey(const SecretBytes& passphrase, const std::string& salt,
                                         std::uint32_t iterations) const override;
    std::optional<std::string> Seal(const SecretBytes& key, const std::string& nonce,
                                    const SecretBytes& plain, const std::string& aad) const override;
    std::optional<SecretBytes> Open(const SecretBytes& key, const std::string& nonce,
                                    const std::string& sealed, const std::string& aad) const override;
};

// Names compare by the system's case tables (every script, not only ASCII).
const NameCase& SystemNameCase();

// The current user's protector, for code that has no other.
const PasswordProtector& CurrentUserProtector();

}  // namespace conn
