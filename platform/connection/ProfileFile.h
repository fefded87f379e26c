// The two text files of connection profiles: the store (the suite's own list,
// kept per user) and export files (what Save, Export One and Load exchange).
//
// Both are UTF-8 (an optional byte-order mark is skipped), one item a line,
// lines ending in CR LF when written (LF alone is read too):
//
//   ZQ-PROFILES 1            the store; an export file starts "ZQ-EXPORT 1"
//   <header fields>          export files only, see below
//   profile                  each profile: this line, its fields, then "end"
//   name=Sales
//   kind=Network SQL
//   server=db1.example.net
//   port=7401                decimal 0..65535, 0 or absent: the kind's default
//   database=sales
//   user=report
//   options=sslmode=require
//   password.dpapi=<base64>  store only: the password protected for the user
//   password.sealed=<base64> export only: nonce (12 bytes), AES-256-GCM
//                            ciphertext of the UTF-16LE password, tag (16 bytes);
//                            the name's UTF-16LE units are the associated data
//   end
//   eof 1                    the number of profiles; a file without it is truncated
//
// Values escape "\" as "\\", CR, LF and tab as "\r", "\n", "\t", and any other
// control character or unpaired surrogate as "\uXXXX" (4 hex digits, a UTF-16
// code unit). Field names are fixed; an unknown one, a repeated one, a missing
// or empty name, a name with control characters or longer than 256 code units,
// any value longer than 4096 code units, more than 20,000 profiles or a file
// above 8 MiB make the whole file unreadable, with a message that names the
// line. A larger version number is refused as written by a newer version.
//
// Export header fields, in this order:
//   passwords=none           passwords were left out (the default), or
//   passwords=passphrase     passwords are sealed under a passphrase; then
//   kdf=pbkdf2-sha256
//   iterations=<n>           100,000 .. 10,000,000
//   salt=<base64>            16 bytes
//   check=<base64>           a fixed text sealed like a password (associated
//                            data "check"), so that a wrong passphrase is
//                            known before anything is read
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/connection/CONN_INFO.h"

namespace conn {

// Password-based sealing for export files (PBKDF2-SHA256 and AES-256-GCM on
// Windows through CNG).
class ProfileCipher {
public:
    virtual ~ProfileCipher() = default;
    virtual std::optional<std::string> Random(std::size_t count) const = 0;
    // A 32-byte key.
    virtual std::optional<std::string> DeriveKey(const std::string& passphrase, const std::string& salt,
                                                 std::uint32_t iterations) const = 0;
    // Ciphertext followed by a 16-byte tag.
    virtual std::optional<std::string> Seal(const std::string& key, const std::string& nonce,
                                            const std::string& plain, const std::string& aad) const = 0;
    // Nothing when the tag does not match.
    virtual std::optional<std::string> Open(const std::string& key, const std::string& nonce,
                                            const std::string& sealed, const std::string& aad) const = 0;
};

enum class FileError {
    None,
    Empty,
    TooLarge,
    OtherFormat,
    NewerVersion,
    Truncated,
    Malformed,
    TooMany,
    PassphraseNeeded,
    WrongPassphrase,
    DamagedSecret,
    CryptoFailed,
};

struct FileResult {
    FileError error = FileError::None;
    std::wstring message;  // for the user; empty when error is None
    std::vector<CONN_INFO> profiles;
    bool ok() const { return error == FileError::None; }
};

constexpr std::size_t kMaxFileBytes = 8u << 20;
constexpr std::size_t kMaxProfiles = 20000;
constexpr std::uint32_t kDefaultIterations = 210000;

// The store: protected passwords are kept as they are (protectedPassword);
// plain passwords are never written.
std::string SerializeStore(const std::vector<CONN_INFO>& profiles);
FileResult ParseStore(const std::string& bytes);

// Export files. Without a cipher and passphrase, passwords are left out.
// With them, each plain password is sealed (the caller recovers plain
// passwords first). Throws ConnError when the cipher fails.
std::string WriteExport(const std::vector<CONN_INFO>& profiles, const ProfileCipher* cipher,
                        const std::wstring* passphrase, std::uint32_t iterations = kDefaultIterations);
// Whether the file's header asks for a passphrase (false for anything else).
bool ExportNeedsPassphrase(const std::string& bytes);
// Reads an export file; passwords come back in plain text. A file with sealed
// passwords needs cipher and passphrase (PassphraseNeeded otherwise,
// WrongPassphrase when the check fails, DamagedSecret when one password's
// tag fails). Nothing is returned unless the whole file was read.
FileResult ReadExport(const std::string& bytes, const ProfileCipher* cipher, const std::wstring* passphrase);

// Field text escaping as the files use it (exposed for tests).
std::string EscapeValue(const std::wstring& value);
std::optional<std::wstring> UnescapeValue(const std::string& utf8);

// Whether a name can be stored: not empty, at most 256 code units, no control characters.
bool IsValidName(const std::wstring& name);

struct MergeResult {
    int added = 0;
    int alreadyPresent = 0;
    std::vector<std::pair<std::wstring, std::wstring>> renamed;  // (name in the file, name given)
    std::vector<std::size_t> addedIndexes;                       // in the store, in order
};

// Adds `incoming` to `store` without touching any profile already there. A
// profile whose name is free is added; one that matches an existing profile
// of the same name (same settings and, where the incoming one has a password,
// samePassword says so) counts as already present; any other clash is added
// under the first free name "name (2)", "name (3)", ... Names compare without
// regard to ASCII case.
template <class SamePassword>
MergeResult Merge(std::vector<CONN_INFO>& store, std::vector<CONN_INFO> incoming, SamePassword samePassword);

// "3 profiles added, 1 already present; renamed because the name was taken:
// Sales -> Sales (2)" and so on.
std::wstring MergeSummary(const MergeResult& result);

// Case-insensitive (ASCII) name comparison used for clashes.
bool SameName(const std::wstring& a, const std::wstring& b);
std::wstring FreeName(const std::vector<CONN_INFO>& store, const std::wstring& wanted);

template <class SamePassword>
MergeResult Merge(std::vector<CONN_INFO>& store, std::vector<CONN_INFO> incoming, SamePassword samePassword) {
    MergeResult result;
    for (CONN_INFO& p : incoming) {
        const CONN_INFO* clash = nullptr;
        for (const CONN_INFO& e : store) {
            if (SameName(e.name, p.name)) {
                clash = &e;
                break;
            }
        }
        if (clash && clash->SameSettings(p) && (!p.HasPassword() || samePassword(*clash, p))) {
            ++result.alreadyPresent;
            continue;
        }
        if (clash) {
            const std::wstring given = FreeName(store, p.name);
            result.renamed.emplace_back(p.name, given);
            p.name = given;
        }
        store.push_back(std::move(p));
        result.addedIndexes.push_back(store.size() - 1);
        ++result.added;
    }
    return result;
}

}  // namespace conn
