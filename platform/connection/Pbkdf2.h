// The key of a passphrase-sealed export file: PBKDF2 with HMAC-SHA256, one
// 32-byte block. The program computes it itself rather than through the
// system's cryptography, so that every copy of the passphrase and every
// intermediate value stays in memory it overwrites (Wine's CNG keeps the
// passphrase, as HMAC key, in memory it frees without overwriting). The
// keys are the same as the system's; the tests compare them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/connection/Secret.h"

namespace conn {

// The key; nothing when `keepGoing` (asked every few thousand iterations)
// says to stop.
std::optional<SecretBytes> Pbkdf2Sha256(const SecretBytes& passphrase, const std::string& salt,
                                        std::uint32_t iterations,
                                        const std::function<bool()>& keepGoing = {});

}  // namespace conn
