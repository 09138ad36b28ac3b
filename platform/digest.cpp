// SHA-256 (FIPS 180-4), our own, so that every build of the platform layer
// (and the headless server) has it without another library. A server takes
// the digest of every replay it checks, so where the processor has SHA
// instructions they compress the blocks (about five times as fast).
#include "platform/digest.h"

#include <array>
#include <cstdint>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#define DORUZORO_SHA_NI 1
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

#ifdef DORUZORO_SHA_NI
bool HasShaInstructions() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSE4_1) || !(c & bit_SSSE3))
        return false;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA);
}

// The state as the instructions take it: ABEF and CDGH, four rounds a step.
__attribute__((target("sha,sse4.1,ssse3"))) void CompressShaNi(uint32_t* state,
                                                               const unsigned char* p) {
    const __m128i order = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<__m128i*>(state)), 0xB1);
    __m128i cdgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<__m128i*>(state + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(abcd, cdgh, 8);
    cdgh = _mm_blend_epi16(cdgh, abcd, 0xF0);
    const __m128i abefBefore = abef, cdghBefore = cdgh;
    __m128i w[4];
    for (int i = 0; i < 16; ++i) {
        if (i < 4) {
            w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)),
                                    order);
        } else {
            __m128i t = _mm_sha256msg1_epu32(w[i & 3], w[(i + 1) & 3]);
            t = _mm_add_epi32(t, _mm_alignr_epi8(w[(i + 3) & 3], w[(i + 2) & 3], 4));
            w[i & 3] = _mm_sha256msg2_epu32(t, w[(i + 3) & 3]);
        }
        __m128i wk = _mm_add_epi32(
            w[i & 3], _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRound[4 * i])));
        cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
        wk = _mm_shuffle_epi32(wk, 0x0E);
        abef = _mm_sha256rnds2_epu32(abef, cdgh, wk);
    }
    abef = _mm_shuffle_epi32(_mm_add_epi32(abef, abefBefore), 0x1B);
    cdgh = _mm_shuffle_epi32(_mm_add_epi32(cdgh, cdghBefore), 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(abef, cdgh, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(cdgh, abef, 8));
}
#endif

class CSha256 {
public:
    explicit CSha256(bool bInstructions) : m_bInstructions(bInstructions) {}
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
#ifdef DORUZORO_SHA_NI
        if (m_bInstructions)
            return CompressShaNi(m_arrState.data(), p);
#endif
        CompressPortable(p);
    }

    void CompressPortable(const unsigned char* p) {
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
    bool m_bInstructions;
};

std::string Hex(const std::array<unsigned char, 32>& digest) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char b : digest) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

std::string Digest(const std::string& bytes, bool bInstructions) {
    CSha256 sha(bInstructions);
    sha.Add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return Hex(sha.Finish());
}

}  // namespace

std::string Sha256Hex(const std::string& bytes) {
#ifdef DORUZORO_SHA_NI
    static const bool bInstructions = HasShaInstructions();
#else
    constexpr bool bInstructions = false;
#endif
    return Digest(bytes, bInstructions);
}

std::string Sha256HexPortable(const std::string& bytes) {
    return Digest(bytes, false);
}

}  // namespace plat
