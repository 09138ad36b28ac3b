// SHA-256 (FIPS 180-4), our own, so that every build of the platform layer
// (and the headless server) has it without a toolkit library; where the
// system's crypto library is found, its code (the processor's SHA
// instructions, five times as fast) digests instead: a server takes the
// digest of every replay it checks.
#include "platform/digest.h"

#include <array>
#include <cstdint>

#ifdef DORUZORO_LIBCRYPTO
#include <openssl/evp.h>
#endif

namespace plat {
namespace {

constexpr std::array<uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t Rotr(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

class CSha256 {
public:
    void Add(const unsigned char* p, size_t n) {
        m_nBits += static_cast<uint64_t>(n) * 8;
        while (n > 0) {
            if (m_nFill == 0 && n >= 64) {
                Compress(p);  // whole blocks straight from the input
                p += 64;
                n -= 64;
                continue;
            }
            m_arrBlock[m_nFill++] = *p++;
            --n;
            if (m_nFill == 64) {
                Compress(m_arrBlock.data());
                m_nFill = 0;
            }
        }
    }
    std::array<unsigned char, 32> Finish() {
        const uint64_t bits = m_nBits;
        const unsigned char one = 0x80, zero = 0;
        Add(&one, 1);
        while (m_nFill != 56)
            Add(&zero, 1);
        for (int i = 7; i >= 0; --i) {
            const auto b = static_cast<unsigned char>(bits >> (8 * i));
            Add(&b, 1);
        }
        std::array<unsigned char, 32> out{};
        for (int i = 0; i < 32; ++i)
            out[i] = static_cast<unsigned char>(m_arrState[i / 4] >> (24 - 8 * (i % 4)));
        return out;
    }

private:
    void Compress(const unsigned char* p) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = (uint32_t{p[4 * i]} << 24) | (uint32_t{p[4 * i + 1]} << 16) |
                   (uint32_t{p[4 * i + 2]} << 8) | p[4 * i + 3];
        for (int i = 16; i < 64; ++i) {
            const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        // Named working variables: a shifted array costs four times as much.
        uint32_t a = m_arrState[0], b = m_arrState[1], c = m_arrState[2], d = m_arrState[3];
        uint32_t e = m_arrState[4], f = m_arrState[5], g = m_arrState[6], h = m_arrState[7];
        for (int i = 0; i < 64; ++i) {
            const uint32_t s1 = Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25);
            const uint32_t ch = (e & f) ^ (~e & g);
            const uint32_t t1 = h + s1 + ch + kRound[i] + w[i];
            const uint32_t s0 = Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22);
            const uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + s0 + maj;
        }
        const uint32_t v[8] = {a, b, c, d, e, f, g, h};
        for (int i = 0; i < 8; ++i)
            m_arrState[i] += v[i];
    }

    std::array<uint32_t, 8> m_arrState = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                          0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<unsigned char, 64> m_arrBlock{};
    size_t m_nFill = 0;
    uint64_t m_nBits = 0;
};

std::array<unsigned char, 32> Sha256(const std::string& bytes) {
#ifdef DORUZORO_LIBCRYPTO
    std::array<unsigned char, 32> md{};
    unsigned int n = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), md.data(), &n, EVP_sha256(), nullptr) && n == 32)
        return md;
#endif
    CSha256 sha;
    sha.Add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return sha.Finish();
}

}  // namespace

std::string Sha256Hex(const std::string& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char b : Sha256(bytes)) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

}  // namespace plat
