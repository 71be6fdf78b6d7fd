#include "centre/Sha256.h"

#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define PDECLARE_SHA_NI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace centre {

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

inline std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void compressPortable(std::uint32_t state[8], const std::uint8_t *data, std::size_t blocks)
{
    for (; blocks > 0; --blocks, data += 64) {
        std::uint32_t w[64];
        for (int t = 0; t < 16; ++t)
            w[t] = std::uint32_t(data[4 * t]) << 24 | std::uint32_t(data[4 * t + 1]) << 16
                 | std::uint32_t(data[4 * t + 2]) << 8 | std::uint32_t(data[4 * t + 3]);
        for (int t = 16; t < 64; ++t) {
            const std::uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const std::uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        // Eight rounds at a time with the letters' roles turned instead of
        // the values moved: the compiler keeps all eight in registers.
        const auto round = [&w](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t &d, std::uint32_t e,
                                std::uint32_t f, std::uint32_t g, std::uint32_t &h, int t) {
            const std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
            const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            d += t1;
            h = t1 + t2;
        };
        for (int t = 0; t < 64; t += 8) {
            round(a, b, c, d, e, f, g, h, t);
            round(h, a, b, c, d, e, f, g, t + 1);
            round(g, h, a, b, c, d, e, f, t + 2);
            round(f, g, h, a, b, c, d, e, t + 3);
            round(e, f, g, h, a, b, c, d, t + 4);
            round(d, e, f, g, h, a, b, c, t + 5);
            round(c, d, e, f, g, h, a, b, t + 6);
            round(b, c, d, e, f, g, h, a, t + 7);
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#ifdef PDECLARE_SHA_NI
// The rounds on the processor's SHA instructions: the state is kept as the
// two halves ABEF and CDGH the instructions take, the message schedule four
// words at a time.
__attribute__((target("sha,sse4.1,ssse3"))) void compressShaNi(std::uint32_t state[8], const std::uint8_t *data,
                                                              std::size_t blocks)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(state)), 0xB1); // CDAB
    __m128i state1 = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(state + 4)), 0x1B); // EFGH
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);    // ABEF
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);         // CDGH
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abef = state0, cdgh = state1;
        __m128i w[4];
        for (int g = 0; g < 16; ++g) {
            __m128i &word = w[g & 3];
            if (g < 4) {
                word = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(data + 16 * g)), byteSwap);
            } else {
                // w[g-4] is the slot being replaced; w[g-3], w[g-2], w[g-1]
                // the three groups after it.
                __m128i next = _mm_sha256msg1_epu32(word, w[(g - 3) & 3]);
                next = _mm_add_epi32(next, _mm_alignr_epi8(w[(g - 1) & 3], w[(g - 2) & 3], 4));
                word = _mm_sha256msg2_epu32(next, w[(g - 1) & 3]);
            }
            __m128i msg = _mm_add_epi32(word, _mm_loadu_si128(reinterpret_cast<const __m128i *>(kRound + 4 * g)));
            state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
            msg = _mm_shuffle_epi32(msg, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, msg);
        }
        state0 = _mm_add_epi32(state0, abef);
        state1 = _mm_add_epi32(state1, cdgh);
    }
    tmp = _mm_shuffle_epi32(state0, 0x1B);         // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1);      // DCHG
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);   // DCBA
    state1 = _mm_alignr_epi8(state1, tmp, 8);      // HGFE
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state + 4), state1);
}

bool haveShaNi()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d))
        return false;
    return ssse3 && sse41 && (b & (1u << 29));
}
#endif

using Compress = void (*)(std::uint32_t *, const std::uint8_t *, std::size_t);

Compress chooseCompress()
{
#ifdef PDECLARE_SHA_NI
    if (haveShaNi())
        return compressShaNi;
#endif
    return compressPortable;
}

std::array<std::uint8_t, 32> digest(Compress compress, QByteArrayView bytes)
{
    std::uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.data());
    const std::size_t size = std::size_t(bytes.size());
    compress(state, data, size / 64);
    // The last part block, the bit 1, zeros and the length in bits: one or
    // two blocks.
    std::uint8_t tail[128] = {};
    const std::size_t rest = size % 64;
    if (rest)
        std::memcpy(tail, data + size - rest, rest);
    tail[rest] = 0x80;
    const std::size_t tailBlocks = rest < 56 ? 1 : 2;
    const std::uint64_t bits = std::uint64_t(size) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tailBlocks * 64 - 1 - i] = std::uint8_t(bits >> (8 * i));
    compress(state, tail, tailBlocks);
    std::array<std::uint8_t, 32> out;
    for (int i = 0; i < 8; ++i) {
        out[std::size_t(4 * i)] = std::uint8_t(state[i] >> 24);
        out[std::size_t(4 * i + 1)] = std::uint8_t(state[i] >> 16);
        out[std::size_t(4 * i + 2)] = std::uint8_t(state[i] >> 8);
        out[std::size_t(4 * i + 3)] = std::uint8_t(state[i]);
    }
    return out;
}

} // namespace

std::array<std::uint8_t, 32> sha256(QByteArrayView bytes)
{
    static const Compress compress = chooseCompress();
    return digest(compress, bytes);
}

std::array<std::uint8_t, 32> detail::sha256Portable(QByteArrayView bytes) { return digest(compressPortable, bytes); }

QByteArray sha256Hex(QByteArrayView bytes)
{
    static const char digits[] = "0123456789abcdef";
    const std::array<std::uint8_t, 32> d = sha256(bytes);
    QByteArray hex(64, Qt::Uninitialized);
    for (std::size_t i = 0; i < d.size(); ++i) {
        hex[qsizetype(2 * i)] = digits[d[i] >> 4];
        hex[qsizetype(2 * i + 1)] = digits[d[i] & 15];
    }
    return hex;
}

} // namespace centre
