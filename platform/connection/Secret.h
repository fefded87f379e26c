// Passwords, passphrases and the keys made from them, held in memory only as
// long as they are needed and overwritten before that memory is given back.
//
// A std::string or std::wstring cannot promise that: it keeps short texts
// inside the string object itself (a moved-from string still holds them),
// and when it grows it frees its old buffer as it is. A Secret owns one heap
// buffer and no inline one; it overwrites the buffer whenever it lets go of
// it: when it grows into a larger one, when it is cleared, assigned, moved
// from (the source is left empty) and destroyed. Conversions between its two
// forms count the result first and write it into a buffer of exactly that
// size, so that no partial copy is left behind either.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace conn {

// Overwrites `bytes` bytes at `data` so that the stores are not dropped as
// dead before the memory is freed.
void WipeMemory(void* data, std::size_t bytes);

template <class Unit>
class Secret {
public:
    Secret() = default;
    Secret(const Unit* data, std::size_t count) { append(data, count); }
    Secret(const Secret& other) : Secret(other.m_data, other.m_size) {}
    Secret(Secret&& other) noexcept
        : m_data(other.m_data), m_size(other.m_size), m_capacity(other.m_capacity) {
        other.m_data = nullptr;
        other.m_size = other.m_capacity = 0;
    }
    Secret& operator=(const Secret& other) {
        if (this != &other) {
            clear();
            append(other.m_data, other.m_size);
        }
        return *this;
    }
    Secret& operator=(Secret&& other) noexcept {
        if (this != &other) {
            Release();
            m_data = other.m_data;
            m_size = other.m_size;
            m_capacity = other.m_capacity;
            other.m_data = nullptr;
            other.m_size = other.m_capacity = 0;
        }
        return *this;
    }
    ~Secret() { Release(); }

    const Unit* data() const { return m_data; }
    Unit* data() { return m_data; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const Unit* begin() const { return m_data; }
    const Unit* end() const { return m_data + m_size; }
    Unit operator[](std::size_t i) const { return m_data[i]; }
    std::basic_string_view<Unit> View() const { return {m_data, m_size}; }

    // Room for `count` units: a new buffer, the old one overwritten and freed.
    void reserve(std::size_t count) {
        if (count <= m_capacity) return;
        Unit* grown = new Unit[count];
        const std::size_t size = m_size;
        for (std::size_t i = 0; i < size; ++i) grown[i] = m_data[i];
        Release();
        m_data = grown;
        m_size = size;
        m_capacity = count;
    }
    void push_back(Unit unit) {
        if (m_size == m_capacity) reserve(m_capacity < 16 ? 16 : m_capacity * 2);
        m_data[m_size++] = unit;
    }
    void append(const Unit* data, std::size_t count) {
        if (count == 0) return;
        reserve(m_size + count);
        for (std::size_t i = 0; i < count; ++i) m_data[m_size + i] = data[i];
        m_size += count;
    }
    // Grows with zero units or shrinks, overwriting what is cut off.
    void resize(std::size_t count) {
        reserve(count);
        if (count < m_size) WipeMemory(m_data + count, (m_size - count) * sizeof(Unit));
        for (std::size_t i = m_size; i < count; ++i) m_data[i] = Unit{};
        m_size = count;
    }
    // Overwrites the content; the buffer is kept for reuse.
    void clear() {
        if (m_data) WipeMemory(m_data, m_size * sizeof(Unit));
        m_size = 0;
    }

    friend bool operator==(const Secret& a, const Secret& b) { return a.View() == b.View(); }

private:
    void Release() {
        if (!m_data) return;
        WipeMemory(m_data, m_capacity * sizeof(Unit));
        delete[] m_data;
        m_data = nullptr;
        m_size = m_capacity = 0;
    }

    Unit* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

// Secret bytes: a passphrase as UTF-8, a password as UTF-16LE, a key.
using SecretBytes = Secret<char>;

// Secret text in UTF-16 code units, as Windows holds it (and as the native
// test build holds it too, whatever its wchar_t).
class SecretText : public Secret<char16_t> {
public:
    using Secret<char16_t>::Secret;
    SecretText() = default;
    // The text's code units (code points above U+FFFF as surrogate pairs).
    explicit SecretText(std::wstring_view text);

    friend bool operator==(const SecretText& a, const SecretText& b) { return a.View() == b.View(); }
    // Compares with plain text unit by unit, without a copy of either.
    friend bool operator==(const SecretText& a, std::wstring_view b) { return a.Equals(b); }

private:
    bool Equals(std::wstring_view text) const;
};

// The password as UTF-16LE bytes, as it is protected and sealed.
SecretBytes LeBytes(const SecretText& text);
// The inverse; nothing for an odd count of bytes.
std::optional<SecretText> FromLeBytes(const SecretBytes& bytes);
// UTF-8 of the text, as a passphrase goes into the key derivation; an
// unpaired surrogate is written as U+FFFD.
SecretBytes Utf8Bytes(const SecretText& text);

}  // namespace conn
