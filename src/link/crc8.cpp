#include "link/crc8.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZB_CRC8_CLMUL 1
#else
#define ZB_CRC8_CLMUL 0
#endif

namespace zb::link {
namespace {

constexpr uint8_t kPoly = 0x31;

// kTables[0][i] is the CRC of the single byte i with initial value 0: the table of the plain
// byte-by-byte form. kTables[k][i] is the CRC of byte i followed by k zero bytes; with them
// sixteen bytes are folded in at once by independent look-ups (the CRC is linear).
using CrcTables = std::array<std::array<uint8_t, 256>, 16>;

constexpr CrcTables MakeCrcTables() {
    CrcTables t{};
    for (int i = 0; i < 256; ++i) {
        uint8_t crc = static_cast<uint8_t>(i);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ kPoly : crc << 1);
        }
        t[0][i] = crc;
    }
    for (size_t k = 1; k < t.size(); ++k) {
        for (int i = 0; i < 256; ++i) {
            t[k][i] = t[0][t[k - 1][i]];
        }
    }
    return t;
}

constexpr CrcTables kTables = MakeCrcTables();

// Eight bytes in memory order, the first in the low byte.
inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) {
        v = __builtin_bswap64(v);
    }
    return v;
}

inline uint8_t B(uint64_t v, int i) {
    return static_cast<uint8_t>(v >> (8 * i));
}

// x^d mod P(x), P = x^8 + x^5 + x^4 + 1: the constants of the carry-less form.
constexpr uint64_t XPowMod(int d) {
    unsigned v = 1;
    for (int i = 0; i < d; ++i) {
        v <<= 1;
        if (v & 0x100) {
            v ^= 0x100 | kPoly;
        }
    }
    return v;
}

#if ZB_CRC8_CLMUL

// How the carry-less form works. Read the message as one polynomial over GF(2), the first
// byte's top bit the highest coefficient; the table form computes
//     crc = (init * x^(8n) + M(x)) * x^8 mod P(x),
// so the initial value is simply XORed into the first byte. Sixteen bytes loaded and
// byte-reversed are a 128-bit polynomial with the message's bit order. A running value A and
// the next sixteen bytes C combine as A * x^128 + C; splitting A into 64-bit halves,
//     A * x^128 = Ahi * x^192 + Alo * x^128 == Ahi * (x^192 mod P) + Alo * (x^128 mod P),
// two carry-less products of at most 71 bits, so the value stays within 128 bits and keeps
// the same remainder. Four running values a block of 64 bytes apart hide the multiply's
// latency. The final 128-bit value R stands for the whole prefix: the CRC state behind it is
// R * x^8 mod P, which is the table CRC (initial value 0) of R's sixteen bytes; the tail of
// fewer than sixteen bytes then goes through the table as usual.
#define ZB_CLMUL_TARGET __attribute__((target("pclmul,ssse3")))

ZB_CLMUL_TARGET inline __m128i LoadReversed(const uint8_t* p, __m128i reverse) {
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

// a * x^d + c, reduced to 128 bits; k holds x^d mod P (low) and x^(d+64) mod P (high).
ZB_CLMUL_TARGET inline __m128i Fold(__m128i a, __m128i k, __m128i c) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11)), c);
}

ZB_CLMUL_TARGET uint8_t Crc8ClmulBulk(uint8_t init, const uint8_t* data, size_t size) {
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m128i k128 =
        _mm_set_epi64x(static_cast<long long>(XPowMod(192)), static_cast<long long>(XPowMod(128)));
    const __m128i k512 =
        _mm_set_epi64x(static_cast<long long>(XPowMod(576)), static_cast<long long>(XPowMod(512)));

    __m128i a0 = _mm_xor_si128(LoadReversed(data, reverse),
                               _mm_set_epi64x(static_cast<long long>(uint64_t{init} << 56), 0));
    __m128i a1 = LoadReversed(data + 16, reverse);
    __m128i a2 = LoadReversed(data + 32, reverse);
    __m128i a3 = LoadReversed(data + 48, reverse);
    size_t i = 64;
    for (; i + 64 <= size; i += 64) {
        a0 = Fold(a0, k512, LoadReversed(data + i, reverse));
        a1 = Fold(a1, k512, LoadReversed(data + i + 16, reverse));
        a2 = Fold(a2, k512, LoadReversed(data + i + 32, reverse));
        a3 = Fold(a3, k512, LoadReversed(data + i + 48, reverse));
    }
    __m128i r = Fold(Fold(Fold(a0, k128, a1), k128, a2), k128, a3);
    for (; i + 16 <= size; i += 16) {
        r = Fold(r, k128, LoadReversed(data + i, reverse));
    }
    alignas(16) uint8_t prefix[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(prefix), _mm_shuffle_epi8(r, reverse));
    const uint8_t crc = Crc8Sliced(0, prefix, sizeof prefix);
    return Crc8Sliced(crc, data + i, size - i);
}

bool DetectClmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
}

#else

bool DetectClmul() {
    return false;
}

#endif

// Below this the set-up of the carry-less form costs more than it saves.
constexpr size_t kClmulMinSize = 64;

const bool kHasClmul = DetectClmul();

}  // namespace

uint8_t Crc8Bytewise(uint8_t init, const uint8_t* data, size_t size) {
    uint8_t crc = init;
    for (size_t i = 0; i < size; ++i) {
        crc = kTables[0][crc ^ data[i]];
    }
    return crc;
}

uint8_t Crc8Sliced(uint8_t init, const uint8_t* data, size_t size) {
    const auto& t = kTables;
    uint8_t crc = init;
    size_t i = 0;
    for (; i + 16 <= size; i += 16) {
        const uint64_t a = Load64(data + i);
        const uint64_t b = Load64(data + i + 8);
        crc = t[15][crc ^ B(a, 0)] ^ t[14][B(a, 1)] ^ t[13][B(a, 2)] ^ t[12][B(a, 3)] ^
              t[11][B(a, 4)] ^ t[10][B(a, 5)] ^ t[9][B(a, 6)] ^ t[8][B(a, 7)] ^ t[7][B(b, 0)] ^
              t[6][B(b, 1)] ^ t[5][B(b, 2)] ^ t[4][B(b, 3)] ^ t[3][B(b, 4)] ^ t[2][B(b, 5)] ^
              t[1][B(b, 6)] ^ t[0][B(b, 7)];
    }
    for (; i < size; ++i) {
        crc = t[0][crc ^ data[i]];
    }
    return crc;
}

bool Crc8ClmulAvailable() {
    return kHasClmul;
}

uint8_t Crc8Clmul(uint8_t init, const uint8_t* data, size_t size) {
#if ZB_CRC8_CLMUL
    if (size >= kClmulMinSize) {
        return Crc8ClmulBulk(init, data, size);
    }
#endif
    return Crc8Sliced(init, data, size);
}

uint8_t Crc8(uint8_t init, const uint8_t* data, size_t size) {
    if (kHasClmul && size >= kClmulMinSize) {
        return Crc8Clmul(init, data, size);
    }
    return Crc8Sliced(init, data, size);
}

}  // namespace zb::link
