// The two text files of connection profiles: the store (the suite's own list,
// kept per user) and export files (what Save, Export One and Load exchange).
//
// Both are UTF-8 (an optional byte-order mark is skipped), one item a line,
// lines ending in CR LF when written (LF alone is read too):
//
//   ZQ-PROFILES 1            the store; an export file starts "ZQ-EXPORT 1",
//                            or "ZQ-EXPORT 2" when its passwords are sealed
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
//                            ciphertext of the UTF-16LE password, tag (16 bytes)
//   end
//   eof 1                    the number of profiles; a file without it is truncated
//
// Values escape "\" as "\\", CR, LF and tab as "\r", "\n", "\t", and any other
// control character or unpaired surrogate as "\uXXXX" (4 hex digits, a UTF-16
// code unit). Field names are fixed; an unknown one, a repeated one, a missing
// or empty name, a name with control characters or longer than 256 code units,
// any value longer than 4096 code units or a protected password above 16 KiB
// make the whole file unreadable, with a message that names the line. More than
// 20,000 profiles, a file above 8 MiB or a larger version number are refused
// too (TooMany, TooLarge, NewerVersion): the file may be sound but is beyond
// this version. The writer keeps to the same limits (FitsStore), so whatever
// it writes reads back.
//
// Export header fields, in this order:
//   passwords=none           passwords were left out (the default), or
//   passwords=passphrase     passwords are sealed under a passphrase; then
//   kdf=pbkdf2-sha256
//   iterations=<n>           100,000 .. 300,000 (a larger count would hold the
//                            interface for seconds at each try of a passphrase)
//   salt=<base64>            16 bytes
//   check=<base64>           a fixed text sealed like a password (associated
//                            data "check"), so that a wrong passphrase is
//                            known before anything is read
// The associated data of a sealed password is, in format 2, every setting of
// its profile (ProfileAad), so that an edited server, port, user... is refused;
// format 1 bound only the name and is still read. An export file names no
// invisible characters in profile names (zero-width, bidirectional controls),
// so that two loaded rows never look the same.
#pragma once

#include <cstdint>
#include <functional>
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
constexpr std::size_t kMaxSecretBytes = 16384;  // a protected or sealed password, decoded
constexpr std::uint32_t kDefaultIterations = 210000;
constexpr std::uint32_t kMinIterations = 100000;
constexpr std::uint32_t kMaxIterations = 300000;

// The store: protected passwords are kept as they are (protectedPassword);
// plain passwords are never written.
std::string SerializeStore(const std::vector<CONN_INFO>& profiles);
FileResult ParseStore(const std::string& bytes);
// The one rule of what a store may hold, shared by writing and reading: at
// most 20,000 profiles, valid names, fields of at most 4096 code units,
// protected passwords of at most 16 KiB and 8 MiB in all. True when
// `profiles` keep to it, with the serialized store in `bytes`; otherwise false
// with a message for the user in `problem`.
bool FitsStore(const std::vector<CONN_INFO>& profiles, std::string& bytes, std::wstring& problem);

// An export file's bytes, or why it could not be made.
struct ExportResult {
    std::string bytes;
    std::wstring problem;  // for the user; empty when made
    bool ok() const { return problem.empty(); }
};

// Export files. Without a cipher and passphrase, passwords are left out.
// With them, each plain password is sealed (the caller recovers plain
// passwords first); a cipher that fails gives no bytes and a problem.
ExportResult WriteExport(const std::vector<CONN_INFO>& profiles, const ProfileCipher* cipher,
                         const std::wstring* passphrase, std::uint32_t iterations = kDefaultIterations);
// Whether the file's header asks for a passphrase (false for anything else).
bool ExportNeedsPassphrase(const std::string& bytes);
// Reads an export file; passwords come back in plain text. A file with sealed
// passwords needs cipher and passphrase (PassphraseNeeded otherwise,
// WrongPassphrase when the check fails, DamagedSecret when one profile's
// settings or password do not match its seal). Nothing is returned unless the
// whole file was read.
FileResult ReadExport(const std::string& bytes, const ProfileCipher* cipher, const std::wstring* passphrase);
// What a format-2 seal binds: every setting of the profile, the password aside.
std::string ProfileAad(const CONN_INFO& profile);

// Field text escaping as the files use it (exposed for tests).
std::string EscapeValue(const std::wstring& value);
std::optional<std::wstring> UnescapeValue(const std::string& utf8);

// Whether a name can be stored: not empty, at most 256 code units, no control characters.
bool IsValidName(const std::wstring& name);
// The first character that does not show (zero-width characters, joiners,
// bidirectional controls, invisible operators, variation selectors, tags,
// fillers), or 0 when there is none.
std::uint32_t FirstInvisible(const std::wstring& name);
// The name as a list shows it: every such character written as <U+200B>, so
// that two names that differ only in them never look the same.
std::wstring VisibleName(const std::wstring& name);

// How names are compared for clashes: two names clash when their keys are
// equal. The key must map code units one to one, as simple upper-casing does.
class NameCase {
public:
    virtual ~NameCase() = default;
    virtual std::wstring Key(const std::wstring& name) const = 0;
};
// Upper-cases ASCII letters only: for code that has no system's case tables.
const NameCase& AsciiNameCase();

struct MergeResult {
    int added = 0;
    int alreadyPresent = 0;
    std::vector<std::pair<std::wstring, std::wstring>> renamed;  // (name in the file, name given)
    std::vector<std::size_t> addedIndexes;                       // in the store, in order
};

// Whether a stored profile and an incoming one with the same settings hold the same password.
using SamePasswordFn = std::function<bool(const CONN_INFO& stored, const CONN_INFO& incoming)>;

// Adds `incoming` to `store` without touching any profile already there. A
// profile whose name is free is added; one that matches an existing profile
// of the same name (same settings and, where the incoming one has a password,
// samePassword says so) counts as already present; any other clash is added
// under the first free name "name (2)", "name (3)", ... (cut so that it keeps
// within 256 code units). Names compare by `names`. Takes O(n log n) for n
// profiles in all, however many names clash.
MergeResult Merge(std::vector<CONN_INFO>& store, std::vector<CONN_INFO> incoming,
                  const SamePasswordFn& samePassword, const NameCase& names);

// "3 profiles added, 1 already present; renamed because the name was taken:
// Sales -> Sales (2)" and so on.
std::wstring MergeSummary(const MergeResult& result);

}  // namespace conn
