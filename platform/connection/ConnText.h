// Text and byte encodings shared by the packed command-line form and the
// profile files. Text is handled as UTF-16 code units everywhere, so that a
// string gives the same bytes whether wchar_t holds 16 bits (Windows) or 32
// bits (the native test build).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace conn {

using Bytes = std::string;  // raw bytes

// One element per UTF-16 code unit; code points above U+FFFF become surrogate
// pairs, and anything that is not a code point becomes U+FFFD.
std::u16string ToUnits(const std::wstring& text);
// The inverse of ToUnits: on a 32-bit wchar_t, pairs are joined again and
// unpaired surrogates are kept as they are.
std::wstring FromUnits(const std::u16string& units);

// UTF-16 code units as little-endian bytes and back (an odd byte count is refused).
Bytes UnitsToLe(const std::u16string& units);
std::optional<std::u16string> LeToUnits(const Bytes& bytes);

// UTF-8 of well-formed text; an unpaired surrogate is written as U+FFFD, so
// callers escape them first where they must survive.
Bytes ToUtf8(const std::u16string& units);
// Strict UTF-8: overlong forms, encoded surrogates, code points above U+10FFFF
// and truncated sequences are refused.
std::optional<std::u16string> FromUtf8(const Bytes& bytes);

// Base64: standard alphabet with padding, or the URL-safe alphabet without
// padding. Decoding accepts only the canonical form of the chosen variant
// (no blanks, no stray padding, no unused bits set), so each text has exactly
// one byte string and each byte string exactly one text.
std::string Base64Encode(const Bytes& bytes, bool urlSafe);
std::optional<Bytes> Base64Decode(const std::string& text, bool urlSafe);

// Variable-length unsigned integers (7 bits a byte, low bits first).
void PutVarint(Bytes& out, std::uint64_t value);
// Reads at pos; refuses truncation, more than 5 bytes and non-minimal forms.
std::optional<std::uint32_t> GetVarint(const Bytes& in, std::size_t& pos);

}  // namespace conn
