// Small stand-ins for the user-bound protection (DPAPI) and the passphrase
// cipher, for tests and fuzzing of the portable profile code. They are not
// secure; they keep the properties the code relies on: the protected form
// differs from the plain one, belongs to one user, and a damaged or foreign
// input is refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/connection/ProfileExport.h"

namespace connfake {

inline std::uint64_t Mix(std::uint64_t h, const std::string& bytes) {
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return (h ^ (h >> 29)) * 0xBF58476D1CE4E5B9ull;
}

class Protector : public conn::PasswordProtector {
public:
    explicit Protector(char user = 'A') : m_user(user) {}
    std::optional<std::string> Protect(const conn::SecretBytes& plain) const override {
        if (failProtect) return std::nullopt;
        std::string out = std::string("FK") + m_user;
        for (char c : plain) out.push_back(static_cast<char>(c ^ 0x5A));
        return out;
    }
    std::optional<conn::SecretBytes> Unprotect(const std::string& sealed) const override {
        if (sealed.size() < 3 || sealed.compare(0, 2, "FK") != 0 || sealed[2] != m_user) return std::nullopt;
        conn::SecretBytes out;
        for (std::size_t i = 3; i < sealed.size(); ++i) out.push_back(static_cast<char>(sealed[i] ^ 0x5A));
        return out;
    }
    bool failProtect = false;

private:
    char m_user;
};

class Cipher : public conn::ProfileCipher {
public:
    std::optional<std::string> Random(std::size_t count) const override {
        std::string out;
        for (std::size_t i = 0; i < count; ++i)
            out.push_back(static_cast<char>(Mix(++m_counter, "r") & 0xFF));
        return out;
    }
    std::optional<conn::SecretBytes> DeriveKey(const conn::SecretBytes& passphrase, const std::string& salt,
                                               std::uint32_t iterations) const override {
        conn::SecretBytes key;
        std::uint64_t h = Mix(Mix(iterations, Str(passphrase)), salt);
        for (int i = 0; i < 32; ++i) key.push_back(static_cast<char>((h = Mix(h, "k")) & 0xFF));
        return key;
    }
    std::optional<std::string> Seal(const conn::SecretBytes& key, const std::string& nonce,
                                    const conn::SecretBytes& plain, const std::string& aad) const override {
        std::string out;
        Stream(key, nonce, plain.View(), out);
        return out + Tag(key, nonce, aad, out);
    }
    std::optional<conn::SecretBytes> Open(const conn::SecretBytes& key, const std::string& nonce,
                                          const std::string& sealed, const std::string& aad) const override {
        if (sealed.size() < 16) return std::nullopt;
        const std::string body = sealed.substr(0, sealed.size() - 16);
        if (Tag(key, nonce, aad, body) != sealed.substr(sealed.size() - 16)) return std::nullopt;
        conn::SecretBytes out;
        Stream(key, nonce, body, out);
        return out;
    }

private:
    static std::string Str(const conn::SecretBytes& s) { return std::string(s.View()); }
    template <class Out>
    static void Stream(const conn::SecretBytes& key, const std::string& nonce, std::string_view data,
                       Out& out) {
        std::uint64_t h = Mix(Mix(7, Str(key)), nonce);
        for (char c : data) out.push_back(static_cast<char>(c ^ ((h = Mix(h, "s")) & 0xFF)));
    }
    static std::string Tag(const conn::SecretBytes& key, const std::string& nonce, const std::string& aad,
                           const std::string& body) {
        std::uint64_t a = Mix(Mix(Mix(Mix(1, Str(key)), nonce), aad), body);
        std::uint64_t b = Mix(a, "t");
        std::string t;
        for (int i = 0; i < 8; ++i) t.push_back(static_cast<char>(a >> (8 * i)));
        for (int i = 0; i < 8; ++i) t.push_back(static_cast<char>(b >> (8 * i)));
        return t;
    }
    mutable std::uint64_t m_counter = 0;
};

}  // namespace connfake
