// Export files: what Save, Export One and Load exchange. The layout of
// ProfileFile.h with the first line "ZQ-EXPORT <format>" and a header:
//
//   passwords=none           passwords were left out (the default), or
//   passwords=passphrase     passwords are sealed under a passphrase; then
//   kdf=pbkdf2-sha256
//   iterations=<n>           600,000 when written; read from 100,000 to
//                            10,000,000 (the key is derived where the user can
//                            cancel it, so a hostile count costs a cancel)
//   salt=<base64>            16 bytes
//   check=<base64>           a fixed text sealed like a password, so that a
//                            wrong passphrase is known before anything is read
//
// Formats: 1 has no passwords, or (as earlier versions wrote it) passwords
// sealed with the profile's name as associated data; 2 (earlier versions)
// seals with every setting of the profile. 3, written now, puts a label of
// the format first in the associated data of the check and of every
// profile, so that a seal made under one format never opens under another:
//   check:   "ZQ-EXPORT 3 check"
//   profile: "ZQ-EXPORT 3 profile", then name, kind, server, database, user
//            and options (each a varint count of UTF-16 code units and the
//            units little-endian), then the port (varint).
// Format 2's data began with its own label already; format 1's did not, so a
// format-1 seal whose name, as UTF-16LE bytes, begins with "ZQ-EXPORT" (the
// start of every later label) is refused: it can only be a later seal
// relabelled. Files without passwords are still written as format 1, which
// every version reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/connection/ProfileFile.h"

namespace conn {

// Password-based sealing for export files (PBKDF2-SHA256 and AES-256-GCM on
// Windows through CNG).
class ProfileCipher {
public:
    virtual ~ProfileCipher() = default;
    virtual std::optional<std::string> Random(std::size_t count) const = 0;
    // A 32-byte key; nothing when it could not be derived (or was given up).
    virtual std::optional<SecretBytes> DeriveKey(const SecretBytes& passphrase, const std::string& salt,
                                                 std::uint32_t iterations) const = 0;
    // Ciphertext followed by a 16-byte tag.
    virtual std::optional<std::string> Seal(const SecretBytes& key, const std::string& nonce,
                                            const SecretBytes& plain, const std::string& aad) const = 0;
    // Nothing when the tag does not match.
    virtual std::optional<SecretBytes> Open(const SecretBytes& key, const std::string& nonce,
                                            const std::string& sealed, const std::string& aad) const = 0;
    // Whether the user gave up the last key derivation (where it can be given up).
    virtual bool Cancelled() const { return false; }
};

constexpr unsigned kExportFormat = 3;
constexpr std::uint32_t kDefaultIterations = 600000;
constexpr std::uint32_t kMinIterations = 100000;
constexpr std::uint32_t kMaxIterations = 10000000;

// An export file's bytes, or why it could not be made.
struct ExportResult {
    std::string bytes;
    std::wstring problem;    // for the user; empty when made
    bool cancelled = false;  // the user gave up the key derivation
    bool ok() const { return problem.empty(); }
};

// Export files. Without a cipher and passphrase, passwords are left out.
// With them, each plain password is sealed (the caller recovers plain
// passwords first). A profile or a file that a Load would refuse gives no
// bytes and the reason; so does a cipher that fails.
ExportResult WriteExport(const std::vector<CONN_INFO>& profiles, const ProfileCipher* cipher,
                         const SecretText* passphrase, std::uint32_t iterations = kDefaultIterations);
// The export of the stored profiles at `indexes`: passwords left out or, with
// a passphrase, recovered with `protector` and sealed. `lost` counts stored
// passwords that could not be recovered for this user.
ExportResult ExportStoredProfiles(const std::vector<CONN_INFO>& stored,
                                  const std::vector<std::size_t>& indexes, const PasswordProtector& protector,
                                  const ProfileCipher* cipher, const SecretText* passphrase, int& lost);
// Whether the file's header asks for a passphrase (false for anything else).
bool ExportNeedsPassphrase(const std::string& bytes);
// Reads an export file; passwords come back in plain text. A file with sealed
// passwords needs cipher and passphrase (PassphraseNeeded otherwise,
// WrongPassphrase when the check fails, DamagedSecret when one profile's
// settings or password do not match its seal, Cancelled when the cipher's
// key derivation was given up). Nothing is returned unless the whole file
// was read.
FileResult ReadExport(const std::string& bytes, const ProfileCipher* cipher, const SecretText* passphrase);
// What a seal of that format binds: the name alone (format 1), or a label and
// every setting of the profile, the password aside (formats 2 and 3).
std::string ProfileAad(const CONN_INFO& profile, unsigned format);

}  // namespace conn
