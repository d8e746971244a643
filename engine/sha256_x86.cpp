// The SHA-256 compression with the x86 SHA extensions, for one message or two side by side, the
// printing of a reference number with SSSE3, and the processor check that says whether they run.
// Only sha256.cpp calls it, through sha256_x86(). CMake compiles this file alone for these
// instructions (-msha -msse4.1 -mssse3, where the target is x86); nothing of it but the processor
// check, which is plain integer code, runs before that check has found them. Built for another
// processor, without those flags, it holds no path and the portable code is used.
#include "engine/sha256_x86.h"

#include "engine/sha256.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__SHA__) && defined(__SSE4_1__) && defined(__SSSE3__)

#include <cpuid.h>
#include <immintrin.h>

namespace {

// A state as the instructions want it: ABEF in one register, CDGH in the other.
struct Lane {
    __m128i abef;
    __m128i cdgh;
};

inline Lane LoadLane(const std::uint32_t state[8]) {
    const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    return {_mm_alignr_epi8(cdab, efgh, 8), _mm_blend_epi16(efgh, cdab, 0xF0)};
}

inline void StoreLane(const Lane& lane, std::uint32_t state[8]) {
    const __m128i feba = _mm_shuffle_epi32(lane.abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(lane.cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}

// One block into each of the lanes, their rounds interleaved: four rounds per pair of sha256rnds2,
// the message schedule four words at a time by sha256msg1 and sha256msg2. Each sha256rnds2 waits
// only for the one before it in its own lane, so the processor runs two lanes side by side in
// about the time of one.
template <int kLanes>
[[gnu::always_inline]] inline void CompressLanes(Lane (&lane)[kLanes], const std::uint8_t* const (&block)[kLanes]) {
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    Lane start[kLanes];
    __m128i w[kLanes][4];  // the schedule's words, four at a time, in turn
#pragma GCC unroll 2
    for (int l = 0; l < kLanes; ++l) start[l] = lane[l];
#pragma GCC unroll 16
    for (int group = 0; group < 16; ++group) {
        const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kSha256RoundConstants[4 * group]));
#pragma GCC unroll 2
        for (int l = 0; l < kLanes; ++l) {
            __m128i& current = w[l][group % 4];
            if (group < 4) {
                current = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block[l] + 16 * group)),
                                           byte_swap);
            }
            __m128i roundInput = _mm_add_epi32(current, k);
            lane[l].cdgh = _mm_sha256rnds2_epu32(lane[l].cdgh, lane[l].abef, roundInput);
            if (group >= 3 && group <= 14) {
                // The next four words: W[t-16] + s0(W[t-15]) (msg1, done earlier) + W[t-7], then s1.
                __m128i& next = w[l][(group + 1) % 4];
                next = _mm_add_epi32(next, _mm_alignr_epi8(current, w[l][(group + 3) % 4], 4));
                next = _mm_sha256msg2_epu32(next, current);
            }
            roundInput = _mm_shuffle_epi32(roundInput, 0x0E);
            lane[l].abef = _mm_sha256rnds2_epu32(lane[l].abef, lane[l].cdgh, roundInput);
            if (group >= 1 && group <= 12) {
                __m128i& previous = w[l][(group + 3) % 4];
                previous = _mm_sha256msg1_epu32(previous, current);
            }
        }
    }
#pragma GCC unroll 2
    for (int l = 0; l < kLanes; ++l) {
        lane[l].abef = _mm_add_epi32(lane[l].abef, start[l].abef);
        lane[l].cdgh = _mm_add_epi32(lane[l].cdgh, start[l].cdgh);
    }
}

void Compress(std::uint32_t state[8], const std::uint8_t* data, std::size_t blocks) {
    Lane lane[1] = {LoadLane(state)};
    for (; blocks > 0; --blocks, data += 64) {
        const std::uint8_t* const block[1] = {data};
        CompressLanes(lane, block);
    }
    StoreLane(lane[0], state);
}

void CompressPair(std::uint32_t* const state[2], const std::uint8_t* const block[2]) {
    Lane lane[2] = {LoadLane(state[0]), LoadLane(state[1])};
    const std::uint8_t* const blocks[2] = {block[0], block[1]};
    CompressLanes(lane, blocks);
    StoreLane(lane[0], state[0]);
    StoreLane(lane[1], state[1]);
}

// Sixteen hex digits at a time: the bytes swapped to big-endian and XORed with 0x80, each nibble
// looked up in a register of the sixteen digits.
void PrintReference(const std::uint32_t state[8], char out[64]) {
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    const __m128i digits =
        _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
    const __m128i lowNibbles = _mm_set1_epi8(0x0F);
    const __m128i sign = _mm_set1_epi8(static_cast<char>(0x80));
    for (int half = 0; half < 2; ++half) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4 * half));
        bytes = _mm_xor_si128(_mm_shuffle_epi8(bytes, byte_swap), sign);
        const __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(bytes, 4), lowNibbles));
        const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(bytes, lowNibbles));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32 * half), _mm_unpacklo_epi8(high, low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32 * half + 16), _mm_unpackhi_epi8(high, low));
    }
}

bool ProcessorHasShaExtensions() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool ssse3 = (ecx & (1u << 9)) != 0;
    const bool sse41 = (ecx & (1u << 19)) != 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    const bool sha = (ebx & (1u << 29)) != 0;
    return ssse3 && sse41 && sha;
}

constexpr Sha256Path kX86 = {"x86 SHA extensions", Compress, CompressPair, PrintReference};

}  // namespace

const Sha256Path* sha256_x86() { return ProcessorHasShaExtensions() ? &kX86 : nullptr; }

#else

const Sha256Path* sha256_x86() { return nullptr; }

#endif
