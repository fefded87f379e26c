// The two text files of connection profiles: the store (the suite's own list,
// kept per user) and export files (what Save, Export One and Load exchange;
// see ProfileExport.h for their header and sealed passwords).
//
// Both are UTF-8 (an optional byte-order mark is skipped), one item a line,
// lines ending in CR LF when written (LF alone is read too):
//
//   ZQ-PROFILES 1            the store; an export file starts "ZQ-EXPORT <n>"
//   <header fields>          export files only
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
// code unit). Field names are fixed; an unknown or repeated one makes the
// whole file unreadable, with a message that names the line.
//
// What a profile in a file may hold is one rule (ProfileProblem) that the
// writers and the readers of both files apply alike, so that whatever is
// written reads back and a writer refuses, with the reason, what a reader
// would refuse: a name of 1 to 256 code units without control characters,
// values of at most 4096, in the store a protected password of at most
// 16 KiB; in an export file a name without characters that do not show and a
// password of at most 8192 code units (all that a stored one can hold). A
// store holds at most 20,000 profiles in 8 MiB; an export file at most 20,000
// in 9 MiB (a whole store and what its header and sealing add). More than
// that or a larger version number is refused too (TooMany, TooLarge,
// NewerVersion): the file may be sound but is beyond this version.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/connection/CONN_INFO.h"

namespace conn {

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
    Cancelled,  // the user ended the key derivation
};

struct FileResult {
    FileError error = FileError::None;
    std::wstring message;  // for the user; empty when error is None
    std::vector<CONN_INFO> profiles;
    bool ok() const { return error == FileError::None; }
};

constexpr std::size_t kMaxFileBytes = 8u << 20;
constexpr std::size_t kMaxExportBytes = 9u << 20;
constexpr std::size_t kMaxProfiles = 20000;
constexpr std::size_t kMaxSecretBytes = 16384;  // a protected password, decoded

enum class FileKind { Store, Export };

// Why `profile` cannot be in a file of that kind, for the user and without a
// full stop (empty when it can). An export file's password is its plain one;
// a store's is its protected one.
std::wstring ProfileProblem(const CONN_INFO& profile, FileKind kind);

// The store: protected passwords are kept as they are (protectedPassword);
// plain passwords are never written.
std::string SerializeStore(const std::vector<CONN_INFO>& profiles);
FileResult ParseStore(const std::string& bytes);
// True when `profiles` keep to what a store may hold, with the serialized
// store in `bytes`; otherwise false with a message for the user in `problem`.
bool FitsStore(const std::vector<CONN_INFO>& profiles, std::string& bytes, std::wstring& problem);

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

}  // namespace conn
