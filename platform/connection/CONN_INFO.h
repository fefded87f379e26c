// A connection profile of the suite, and its packed form for a command line.
//
// Errors in the connection code: every expected failure (a file or text that
// cannot be read, a password that cannot be protected or sealed, a store
// that is locked or past its limits) comes back in the result, as false, an
// error code or a result with a message for the user, and nothing here
// throws for it. Only what no caller can handle, such as running out of
// memory, leaves as an exception.
//
// Packed form: "ZQC1." followed by the profile's fields in base64url without
// padding (letters, digits, '-' and '_'). It holds no blank, quote, backslash,
// tab or other character that Windows splits or strips when it parses a
// command line, so "-#" + Pack(...) reaches the started program unchanged
// without quotes. "1" is the version of the layout; a later layout gets a new
// prefix, and Unpack refuses what it does not know.
//
// Layout of the decoded bytes, in this order: name, kind, server, database,
// user, options (each a varint count of UTF-16 code units, then the units
// little-endian), the port (varint, at most 65535), then the password: one
// byte 0 (none) or 1 (a varint byte count, then the password protected for the
// current user). Nothing may follow. Any command-line user can read another
// process's arguments, so a password never travels in plain text: it is
// protected with the PasswordProtector (DPAPI for the current user on Windows),
// and only a process of the same user can recover it.
//
// The argument of Pack:
//   "??"  pack for a process of the current user: the password is included,
//         protected for the current user;
//   any other text, including ""  the password is left out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/connection/Secret.h"

namespace conn {

// Protects bytes so that only the current user can recover them.
class PasswordProtector {
public:
    virtual ~PasswordProtector() = default;
    // The protected form, or nothing when protection failed.
    virtual std::optional<std::string> Protect(const SecretBytes& plain) const = 0;
    // The original bytes, or nothing when the data was not protected for this
    // user or was damaged.
    virtual std::optional<SecretBytes> Unprotect(const std::string& sealed) const = 0;
};

// A packed profile, or why it could not be packed.
struct PackResult {
    std::wstring text;
    std::wstring problem;  // for the user; empty when packed
    bool ok() const { return problem.empty(); }
};

}  // namespace conn

struct CONN_INFO {
    std::wstring name;    // shown in the list, unique in the store
    std::wstring kind;    // database kind, e.g. "Network SQL"
    std::wstring server;  // host name or address
    unsigned port = 0;    // 0: the kind's default port
    std::wstring database;
    std::wstring user;
    std::wstring options;  // further connection settings, free text
    // The password in plain text: only while it is needed (after Unpack, or
    // in a record about to be protected). Kept empty at rest.
    conn::SecretText password;
    // The password protected for the current user, as the store keeps it.
    std::string protectedPassword;

    static constexpr const char* kPackPrefix = "ZQC1.";
    // Longest packed text: a command line holds at most 32767 characters.
    static constexpr std::size_t kMaxPacked = 32000;
    // Longest field in code units; longest name.
    static constexpr std::size_t kMaxField = 4096;
    static constexpr std::size_t kMaxName = 256;
    // Longest password in code units: all that a protected password of at
    // most 16 KiB (what a store keeps) can hold, so that every stored password
    // can be exported and loaded again.
    static constexpr std::size_t kMaxPassword = 8192;

    bool HasPassword() const { return !password.empty() || !protectedPassword.empty(); }
    // Same connection settings, the password aside.
    bool SameSettings(const CONN_INFO& other) const;

    // Packs the profile (see the top of this file). A plain password wins
    // over the protected one. Fails when protection fails or the result would
    // not fit on a command line.
    conn::PackResult Pack(const std::wstring& arg, const conn::PasswordProtector& protector) const;
    // The same with the current user's protector (DPAPI); Windows only.
    conn::PackResult Pack(const std::wstring& arg) const;

    // The exact inverse of Pack: fills `out` (password in plain text, no
    // protected form) and returns true; anything else is refused with a
    // message in `error` and `out` untouched.
    static bool Unpack(const std::wstring& text, const conn::PasswordProtector& protector, CONN_INFO& out,
                       std::wstring& error);
};

namespace conn {

// The plain password of a record: its plain one, else its protected one
// recovered (empty when it has none or it cannot be recovered for this user).
SecretText RevealPassword(const CONN_INFO& info, const PasswordProtector& protector);
// Replaces a plain password by its protected form; false when protection failed.
bool ProtectPassword(CONN_INFO& info, const PasswordProtector& protector);

}  // namespace conn
