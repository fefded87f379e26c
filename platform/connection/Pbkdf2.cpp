#include "platform/connection/Pbkdf2.h"

#include <cstring>

namespace conn {

namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// The SHA-256 compression of one 64-byte block into `state`.
void Compress(std::uint32_t state[8], const unsigned char block[64]) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
               std::uint32_t{block[4 * i + 2]} << 8 | std::uint32_t{block[4 * i + 3]};
    for (int i = 16; i < 64; ++i) {
        const std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t v[8];
    for (int i = 0; i < 8; ++i) v[i] = state[i];
    for (int i = 0; i < 64; ++i) {
        const std::uint32_t t1 = v[7] + (Rotr(v[4], 6) ^ Rotr(v[4], 11) ^ Rotr(v[4], 25)) +
                                 ((v[4] & v[5]) ^ (~v[4] & v[6])) + kRound[i] + w[i];
        const std::uint32_t t2 = (Rotr(v[0], 2) ^ Rotr(v[0], 13) ^ Rotr(v[0], 22)) +
                                 ((v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]));
        for (int k = 7; k > 0; --k) v[k] = v[k - 1];
        v[4] += t1;
        v[0] = t1 + t2;
    }
    for (int i = 0; i < 8; ++i) state[i] += v[i];
    WipeMemory(w, sizeof w);
    WipeMemory(v, sizeof v);
}

void Digest(const std::uint32_t state[8], unsigned char out[32]) {
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 4; ++k) out[4 * i + k] = static_cast<unsigned char>(state[i] >> (24 - 8 * k));
}

// SHA-256 of data given in pieces; everything it held is overwritten when it goes.
class Sha256 {
public:
    Sha256() = default;
    Sha256(const Sha256&) = default;
    Sha256& operator=(const Sha256&) = default;
    ~Sha256() { WipeMemory(this, sizeof *this); }

    void Update(const unsigned char* data, std::size_t count) {
        m_length += count;
        while (count > 0) {
            const std::size_t n = count < 64 - m_filled ? count : 64 - m_filled;
            std::memcpy(m_block + m_filled, data, n);
            m_filled += n, data += n, count -= n;
            if (m_filled == 64) {
                Compress(m_state, m_block);
                m_filled = 0;
            }
        }
    }
    void Final(unsigned char out[32]) {
        const std::uint64_t bits = m_length * 8;
        const unsigned char one = 0x80, zero = 0;
        Update(&one, 1);
        while (m_filled != 56) Update(&zero, 1);
        unsigned char length[8];
        for (int k = 0; k < 8; ++k) length[k] = static_cast<unsigned char>(bits >> (56 - 8 * k));
        Update(length, 8);
        Digest(m_state, out);
    }
    const std::uint32_t* State() const { return m_state; }

private:
    std::uint32_t m_state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    unsigned char m_block[64] = {};
    std::size_t m_filled = 0;
    std::uint64_t m_length = 0;
};

// Everything the derivation computes, overwritten when it goes.
struct Work {
    unsigned char key[64] = {};
    unsigned char pad[64] = {};
    unsigned char block[64] = {};  // a 32-byte message and the padding of a second block
    unsigned char u[32] = {};
    unsigned char t[32] = {};
    std::uint32_t state[8] = {};
    ~Work() { WipeMemory(this, sizeof *this); }
};

}  // namespace

std::optional<SecretBytes> Pbkdf2Sha256(const SecretBytes& passphrase, const std::string& salt,
                                        std::uint32_t iterations, const std::function<bool()>& keepGoing) {
    if (iterations == 0) return std::nullopt;
    Work w;
    const auto* p = reinterpret_cast<const unsigned char*>(passphrase.data());
    if (passphrase.size() > 64) {
        Sha256 longKey;
        longKey.Update(p, passphrase.size());
        longKey.Final(w.key);
    } else if (!passphrase.empty()) {
        std::memcpy(w.key, p, passphrase.size());
    }
    // HMAC's inner and outer hashes, keyed once.
    Sha256 inner, outer;
    for (int i = 0; i < 64; ++i) w.pad[i] = static_cast<unsigned char>(w.key[i] ^ 0x36);
    inner.Update(w.pad, 64);
    for (int i = 0; i < 64; ++i) w.pad[i] = static_cast<unsigned char>(w.key[i] ^ 0x5C);
    outer.Update(w.pad, 64);
    // U1 = HMAC(passphrase, salt | block number 1).
    {
        Sha256 first = inner;
        const unsigned char blockNumber[4] = {0, 0, 0, 1};
        first.Update(reinterpret_cast<const unsigned char*>(salt.data()), salt.size());
        first.Update(blockNumber, 4);
        first.Final(w.block);
        Sha256 second = outer;
        second.Update(w.block, 32);
        second.Final(w.u);
    }
    std::memcpy(w.t, w.u, 32);
    // Each further U is HMAC(passphrase, previous U): 32 bytes after a keyed
    // block, so one block with fixed padding (a message of 96 bytes) each.
    std::memset(w.block + 32, 0, 32);
    w.block[32] = 0x80;
    w.block[62] = 0x03;
    for (std::uint32_t n = 1; n < iterations; ++n) {
        if (keepGoing && n % 4096 == 0 && !keepGoing()) return std::nullopt;
        std::memcpy(w.block, w.u, 32);
        std::memcpy(w.state, inner.State(), sizeof w.state);
        Compress(w.state, w.block);
        Digest(w.state, w.block);
        std::memcpy(w.state, outer.State(), sizeof w.state);
        Compress(w.state, w.block);
        Digest(w.state, w.u);
        for (int i = 0; i < 32; ++i) w.t[i] ^= w.u[i];
    }
    return SecretBytes(reinterpret_cast<const char*>(w.t), 32);
}

}  // namespace conn
