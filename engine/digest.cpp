#include "engine/digest.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

constexpr std::uint32_t kInitialState[8] = {
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19,
};

constexpr std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::int32_t kBlockSize = 64;
constexpr std::int32_t kDigestSize = 32;
constexpr std::uint8_t kInnerPad = 0x36;
// XORing the inner-padded key with this turns it into the outer-padded key (0x36 ^ 0x5C).
constexpr std::uint8_t kInnerToOuterPad = 0x6A;

inline std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// One SHA-256 round; the caller passes the working variables rotated by one for the next round, so
// only d and h change here (d + T1 becomes the new e, T1 + T2 the new a).
inline void Round(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t& d, std::uint32_t e,
                  std::uint32_t f, std::uint32_t g, std::uint32_t& h, std::uint32_t k_plus_w) {
    const std::uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + k_plus_w;
    const std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    d += t1;
    h = t1 + t2;
}

inline std::uint32_t LoadBigEndian(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

inline void StoreBigEndian(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

bool IsAcceptedKeyLength(std::int32_t length) {
    return length == 20 || length == 24 || length == 64 || length == 72 || length == 80;
}

bool IsAcceptedOutputLength(std::int32_t length) { return length == 16 || length == 24 || length == 32; }

// A memset of memory that is not read again may be dropped by the optimiser; the empty asm that
// claims to read it keeps the clearing of key material.
void ClearBytes(void* data, std::size_t size) {
    std::memset(data, 0, size);
    __asm__ __volatile__("" : : "r"(data) : "memory");
}

// The HMAC key reduced to one block: copied as it is up to 64 bytes, hashed when longer.
void LoadKeyBlock(std::uint8_t key_block[kBlockSize], const std::uint8_t* key, std::int32_t key_length) {
    std::memset(key_block, 0, kBlockSize);
    if (key_length > kBlockSize) {
        sha256_digest(key, static_cast<std::uint32_t>(key_length), key_block);
    } else if (key_length > 0) {
        std::memcpy(key_block, key, static_cast<std::size_t>(key_length));
    }
}

void CompressPortable(std::uint32_t state[8], const std::uint8_t block[64], std::uint32_t schedule[64]);

#if defined(__x86_64__)
// The compression with the x86 SHA extensions (SHA-NI): four rounds per pair of sha256rnds2, the
// message schedule by sha256msg1/msg2. The state is kept as the instructions want it: ABEF in one
// register, CDGH in the other.
__attribute__((target("sha,sse4.1,ssse3"))) void CompressShaNi(std::uint32_t state[8], const std::uint8_t* data,
                                                               std::size_t blocks) {
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (; blocks > 0; --blocks, data += kBlockSize) {
        const __m128i abef_start = abef;
        const __m128i cdgh_start = cdgh;
        __m128i w[4];  // the schedule's words, four at a time, in turn
        for (int group = 0; group < 16; ++group) {
            __m128i& current = w[group % 4];
            if (group < 4) {
                current = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * group)),
                                           byte_swap);
            }
            __m128i k_plus_w = _mm_add_epi32(
                current, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRoundConstants[4 * group])));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, k_plus_w);
            if (group >= 3 && group <= 14) {
                // The next four words: W[t-16] + s0(W[t-15]) (msg1, done earlier) + W[t-7], then s1.
                __m128i& next = w[(group + 1) % 4];
                next = _mm_add_epi32(next, _mm_alignr_epi8(current, w[(group + 3) % 4], 4));
                next = _mm_sha256msg2_epu32(next, current);
            }
            k_plus_w = _mm_shuffle_epi32(k_plus_w, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, k_plus_w);
            if (group >= 1 && group <= 12) {
                __m128i& previous = w[(group + 3) % 4];
                previous = _mm_sha256msg1_epu32(previous, current);
            }
        }
        abef = _mm_add_epi32(abef, abef_start);
        cdgh = _mm_add_epi32(cdgh, cdgh_start);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}

// One block for each of two independent states, the rounds of both interleaved: each
// sha256rnds2 waits for the one before it in its own state, so the processor runs the two
// chains side by side in about the time of one.
__attribute__((target("sha,sse4.1,ssse3"))) void CompressShaNiTwo(std::uint32_t* const state[2],
                                                                  const std::uint8_t* const block[2]) {
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i abef[2], cdgh[2], abef_start[2], cdgh_start[2], w[2][4];
#pragma GCC unroll 2
    for (int lane = 0; lane < 2; ++lane) {
        const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[lane][0]));
        const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[lane][4]));
        const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
        const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
        abef[lane] = abef_start[lane] = _mm_alignr_epi8(cdab, efgh, 8);
        cdgh[lane] = cdgh_start[lane] = _mm_blend_epi16(efgh, cdab, 0xF0);
    }
#pragma GCC unroll 16
    for (int group = 0; group < 16; ++group) {
        const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRoundConstants[4 * group]));
#pragma GCC unroll 2
        for (int lane = 0; lane < 2; ++lane) {
            __m128i& current = w[lane][group % 4];
            if (group < 4) {
                current = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(block[lane] + 16 * group)), byte_swap);
            }
            __m128i k_plus_w = _mm_add_epi32(current, k);
            cdgh[lane] = _mm_sha256rnds2_epu32(cdgh[lane], abef[lane], k_plus_w);
            if (group >= 3 && group <= 14) {
                __m128i& next = w[lane][(group + 1) % 4];
                next = _mm_add_epi32(next, _mm_alignr_epi8(current, w[lane][(group + 3) % 4], 4));
                next = _mm_sha256msg2_epu32(next, current);
            }
            k_plus_w = _mm_shuffle_epi32(k_plus_w, 0x0E);
            abef[lane] = _mm_sha256rnds2_epu32(abef[lane], cdgh[lane], k_plus_w);
            if (group >= 1 && group <= 12) {
                __m128i& previous = w[lane][(group + 3) % 4];
                previous = _mm_sha256msg1_epu32(previous, current);
            }
        }
    }
#pragma GCC unroll 2
    for (int lane = 0; lane < 2; ++lane) {
        const __m128i feba = _mm_shuffle_epi32(_mm_add_epi32(abef[lane], abef_start[lane]), 0x1B);
        const __m128i dchg = _mm_shuffle_epi32(_mm_add_epi32(cdgh[lane], cdgh_start[lane]), 0xB1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[lane][0]), _mm_blend_epi16(feba, dchg, 0xF0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[lane][4]), _mm_alignr_epi8(dchg, feba, 8));
    }
}

// The 64 hex characters of a state as the reference prints them (each big-endian byte XOR 0x80),
// sixteen at a time. Used where the SHA extensions are, which come with SSSE3.
__attribute__((target("ssse3"))) void HexOfStateSsse3(const std::uint32_t state[8], char out[64]) {
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    const __m128i digits = _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
    const __m128i low_nibbles = _mm_set1_epi8(0x0F);
    const __m128i sign = _mm_set1_epi8(static_cast<char>(0x80));
    for (int half = 0; half < 2; ++half) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4 * half));
        bytes = _mm_xor_si128(_mm_shuffle_epi8(bytes, byte_swap), sign);
        const __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(bytes, 4), low_nibbles));
        const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(bytes, low_nibbles));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32 * half), _mm_unpacklo_epi8(high, low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32 * half + 16), _mm_unpackhi_epi8(high, low));
    }
}

bool CpuHasShaNi() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool ssse3 = (ecx & (1u << 9)) != 0;
    const bool sse41 = (ecx & (1u << 19)) != 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    const bool sha = (ebx & (1u << 29)) != 0;
    return ssse3 && sse41 && sha;
}
#endif

// The compression of whole blocks chosen once per process: the SHA extensions where the processor
// has them, else (nullptr) the portable code. TOLVA_PORTABLE_SHA256=1 in the environment keeps the
// portable code, so that both paths can be tested on one machine.
using CompressFunction = void (*)(std::uint32_t state[8], const std::uint8_t* data, std::size_t blocks);
CompressFunction ChooseCompress() {
    const char* portable = std::getenv("TOLVA_PORTABLE_SHA256");
    if (portable != nullptr && std::strcmp(portable, "1") == 0) return nullptr;
#if defined(__x86_64__)
    if (CpuHasShaNi()) return CompressShaNi;
#endif
    return nullptr;
}
const CompressFunction g_compress = ChooseCompress();

// One block for each of two states at once where the SHA extensions are in use, else nullptr.
using CompressTwoFunction = void (*)(std::uint32_t* const state[2], const std::uint8_t* const block[2]);
#if defined(__x86_64__)
const CompressTwoFunction g_compress_two = g_compress != nullptr ? CompressShaNiTwo : nullptr;
#else
const CompressTwoFunction g_compress_two = nullptr;
#endif

}  // namespace

const char* sha256_implementation() { return g_compress != nullptr ? "x86 SHA extensions" : "portable"; }

void sha256_init(Sha256Context* context) {
    std::memcpy(context->state, kInitialState, sizeof(context->state));
    context->count_high = 0;
    context->count_low = 0;
}

void sha256_transform(Sha256Context* context, const std::uint8_t block[64]) {
    if (g_compress != nullptr) {
        g_compress(context->state, block, 1);
        return;
    }
    CompressPortable(context->state, block, context->schedule);
}

namespace {

// One block by the portable code; w is room for the message schedule.
void CompressPortable(std::uint32_t state[8], const std::uint8_t block[64], std::uint32_t w[64]) {
    for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian(block + 4 * t);
    for (int t = 16; t < 64; ++t) {
        const std::uint32_t s0 = Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
        const std::uint32_t s1 = Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }

    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    // Eight rounds per pass with the working variables renamed instead of shifted (FIPS 180-4,
    // 6.2.2 step 3): the same rounds without moving eight words around after each.
    for (int t = 0; t < 64; t += 8) {
        Round(a, b, c, d, e, f, g, h, kRoundConstants[t] + w[t]);
        Round(h, a, b, c, d, e, f, g, kRoundConstants[t + 1] + w[t + 1]);
        Round(g, h, a, b, c, d, e, f, kRoundConstants[t + 2] + w[t + 2]);
        Round(f, g, h, a, b, c, d, e, kRoundConstants[t + 3] + w[t + 3]);
        Round(e, f, g, h, a, b, c, d, kRoundConstants[t + 4] + w[t + 4]);
        Round(d, e, f, g, h, a, b, c, kRoundConstants[t + 5] + w[t + 5]);
        Round(c, d, e, f, g, h, a, b, kRoundConstants[t + 6] + w[t + 6]);
        Round(b, c, d, e, f, g, h, a, kRoundConstants[t + 7] + w[t + 7]);
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

// Whole blocks into a bare state, by the compression this process chose.
void CompressBlocks(std::uint32_t state[8], const std::uint8_t* data, std::size_t blocks) {
    if (g_compress != nullptr) {
        g_compress(state, data, blocks);
        return;
    }
    std::uint32_t schedule[64];
    for (; blocks > 0; --blocks, data += kBlockSize) CompressPortable(state, data, schedule);
}

// The last block or two of a hash: the rest bytes of the message (fewer than a block), 0x80, zeros
// and the bit count of all total bytes hashed. Returns the number of blocks written to tail.
std::size_t PadTail(std::uint8_t tail[2 * kBlockSize], const std::uint8_t* rest, std::size_t restLength,
                    std::uint64_t total) {
    const std::size_t padded = restLength < 56 ? kBlockSize : 2 * kBlockSize;
    std::memcpy(tail, rest, restLength);
    tail[restLength] = 0x80;
    std::memset(tail + restLength + 1, 0, padded - 8 - restLength - 1);
    const std::uint64_t bits = total * 8;
    StoreBigEndian(tail + padded - 8, static_cast<std::uint32_t>(bits >> 32));
    StoreBigEndian(tail + padded - 4, static_cast<std::uint32_t>(bits));
    return padded / kBlockSize;
}

// Finishes a hash whose state has absorbed prefix bytes (whole blocks) and goes on with the length
// bytes at data: the rest of the blocks, the padding and the big-endian digest into digest. tail is
// room for the last two blocks; the caller clears it.
void FinishHash(std::uint32_t state[8], std::uint64_t prefix, const std::uint8_t* data, std::size_t length,
                std::uint8_t tail[2 * kBlockSize], std::uint8_t digest[kDigestSize]) {
    const std::size_t whole = length / kBlockSize;
    CompressBlocks(state, data, whole);
    CompressBlocks(state, tail, PadTail(tail, data + whole * kBlockSize, length - whole * kBlockSize, prefix + length));
    for (int i = 0; i < 8; ++i) StoreBigEndian(digest + 4 * i, state[i]);
}

// The two upper-case hex digits of every byte XOR 0x80, as the reference prints it.
struct HexPairs {
    char pair[256][2];
    constexpr HexPairs() : pair() {
        constexpr char kDigits[] = "0123456789ABCDEF";
        for (int byte = 0; byte < 256; ++byte) {
            const int shifted = byte ^ 0x80;
            pair[byte][0] = kDigits[shifted >> 4];
            pair[byte][1] = kDigits[shifted & 0x0F];
        }
    }
};
constexpr HexPairs kHexPairs;

}  // namespace

void sha256_update(Sha256Context* context, const std::uint8_t* data, std::uint32_t length) {
    std::uint32_t fill = context->count_low % kBlockSize;
    std::uint32_t remaining = length;

    if (fill > 0 && remaining >= kBlockSize - fill) {
        const std::uint32_t take = kBlockSize - fill;
        std::memcpy(context->block + fill, data, take);
        sha256_transform(context, context->block);
        data += take;
        remaining -= take;
        fill = 0;
    }
    // Whole blocks go to the compression straight from the caller's memory.
    if (fill == 0) {
        while (remaining >= kBlockSize) {
            sha256_transform(context, data);
            data += kBlockSize;
            remaining -= kBlockSize;
        }
    }
    if (remaining > 0) std::memcpy(context->block + fill, data, remaining);

    const std::uint32_t low = context->count_low + length;
    if (low < context->count_low) ++context->count_high;
    context->count_low = low;
}

void sha256_final(Sha256Context* context, std::uint8_t digest[32]) {
    const std::uint32_t fill = context->count_low % kBlockSize;
    // The 0x80 byte and the 8-byte length must fit behind the data: below 56 bytes one block does,
    // otherwise the padding runs into a second block (hence the 128-byte buffer).
    const std::uint32_t padded = fill < 56 ? 64 : 128;
    context->block[fill] = 0x80;
    std::memset(context->block + fill + 1, 0, padded - 8 - fill - 1);

    const std::uint32_t bits_high = (context->count_high << 3) | (context->count_low >> 29);
    const std::uint32_t bits_low = context->count_low << 3;
    StoreBigEndian(context->block + padded - 8, bits_high);
    StoreBigEndian(context->block + padded - 4, bits_low);

    sha256_transform(context, context->block);
    if (padded == 128) sha256_transform(context, context->block + 64);

    for (int i = 0; i < 8; ++i) StoreBigEndian(digest + 4 * i, context->state[i]);
    ClearBytes(context, sizeof(*context));
}

void sha256_digest(const std::uint8_t* data, std::uint32_t length, std::uint8_t digest[32]) {
    Sha256Context context;
    sha256_init(&context);
    sha256_update(&context, data, length);
    sha256_final(&context, digest);
}

int hmac_sha256_init(HmacSha256Context* context, const std::uint8_t* key, std::int32_t key_length) {
    LoadKeyBlock(context->key_block, key, key_length);
    for (std::uint8_t& byte : context->key_block) byte ^= kInnerPad;
    sha256_init(&context->hash);
    sha256_update(&context->hash, context->key_block, kBlockSize);
    return 0;
}

int hmac_sha256_update(HmacSha256Context* context, const std::uint8_t* data, std::int32_t length) {
    if (length > 0) sha256_update(&context->hash, data, static_cast<std::uint32_t>(length));
    return 0;
}

int hmac_sha256_final(HmacSha256Context* context, std::uint8_t* output, std::int32_t output_length) {
    sha256_final(&context->hash, context->inner_digest);
    for (std::uint8_t& byte : context->key_block) byte ^= kInnerToOuterPad;
    sha256_init(&context->hash);
    sha256_update(&context->hash, context->key_block, kBlockSize);
    sha256_update(&context->hash, context->inner_digest, kDigestSize);
    sha256_final(&context->hash, context->inner_digest);

    int result = 0;
    if (IsAcceptedOutputLength(output_length)) {
        std::memcpy(output, context->inner_digest, static_cast<std::size_t>(output_length));
    } else {
        result = -1;
    }
    ClearBytes(context, sizeof(*context));
    return result;
}

int hmac_sha256(DigestBuffer* output, const DigestBuffer* message, const DigestBuffer* key) {
    if (!IsAcceptedKeyLength(key->length)) return kHmacBadKeyLength;
    if (message->length < 0) return kHmacBadMessageLength;

    HmacSha256Context context;
    hmac_sha256_init(&context, key->data, key->length);
    hmac_sha256_update(&context, message->data, message->length);
    // hmac_sha256_final clears the context whatever it returns.
    const int result = hmac_sha256_final(&context, output->data, output->length);
    return result == 0 ? kHmacOk : kHmacBadOutputLength;
}

namespace {

// 40 double-byte characters of code page 932 (this file is compiled with -fexec-charset=CP932);
// the last two are ideographic spaces, 0x81 0x40 each.
constexpr char kReferenceKeyText[] =
    "あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよ　　";
static_assert(sizeof(kReferenceKeyText) == 80 + 1, "the reference key is 80 bytes of code page 932");

}  // namespace

const std::string kReferenceKey(kReferenceKeyText, sizeof(kReferenceKeyText) - 1);

CReferenceDigest::CReferenceDigest(std::string key, std::int32_t output_length)
    : m_key(std::move(key)), m_outputLength(output_length) {
    const auto key_length = static_cast<std::int32_t>(m_key.size());
    m_valid = m_key.size() == static_cast<std::size_t>(key_length) && IsAcceptedKeyLength(key_length) &&
              IsAcceptedOutputLength(m_outputLength);
    if (!m_valid) return;

    // The states after the padded key blocks are the same for every message, so they are computed
    // here once; HexDigest only continues them.
    std::uint8_t key_block[kBlockSize];
    LoadKeyBlock(key_block, reinterpret_cast<const std::uint8_t*>(m_key.data()), key_length);
    for (std::uint8_t& byte : key_block) byte ^= kInnerPad;
    sha256_init(&m_inner);
    sha256_update(&m_inner, key_block, kBlockSize);
    for (std::uint8_t& byte : key_block) byte ^= kInnerToOuterPad;
    sha256_init(&m_outer);
    sha256_update(&m_outer, key_block, kBlockSize);
    ClearBytes(key_block, sizeof(key_block));
}

std::string CReferenceDigest::HexDigest(const std::string& text) const {
    char hex[2 * kDigestSize];
    return std::string(hex, HexDigest(text.data(), text.size(), hex));
}

std::size_t CReferenceDigest::HexDigest(const char* text, std::size_t length, char* out) const {
    if (!m_valid) return 0;
    if (const void* nul = std::memchr(text, '\0', length)) length = static_cast<const char*>(nul) - text;
    if (length > 0x7FFFFFFF) return 0;  // hmac_sha256 would see a negative length

    // The keyed states continue on bare copies of their eight words: no context to copy. What was
    // derived from the message is cleared afterwards, in one piece.
    struct Scratch {
        std::uint32_t state[8];
        std::uint8_t tail[2 * kBlockSize];
        std::uint8_t digest[kDigestSize];
    } scratch;
    std::memcpy(scratch.state, m_inner.state, sizeof(scratch.state));
    FinishHash(scratch.state, kBlockSize, reinterpret_cast<const std::uint8_t*>(text), length, scratch.tail,
               scratch.digest);
    std::memcpy(scratch.state, m_outer.state, sizeof(scratch.state));
    FinishHash(scratch.state, kBlockSize, scratch.digest, kDigestSize, scratch.tail, scratch.digest);

    // Each byte is printed as (signed byte + 128), which is the byte XOR 0x80.
    for (std::int32_t i = 0; i < m_outputLength; ++i) std::memcpy(out + 2 * i, kHexPairs.pair[scratch.digest[i]], 2);
    ClearBytes(&scratch, sizeof(scratch));
    return static_cast<std::size_t>(2 * m_outputLength);
}

std::size_t CReferenceDigest::HexDigestPair(const char* text0, std::size_t length0, char* out0, const char* text1,
                                            std::size_t length1, char* out1) const {
    if (!m_valid) return 0;
    if (const void* nul = std::memchr(text0, '\0', length0)) length0 = static_cast<const char*>(nul) - text0;
    if (const void* nul = std::memchr(text1, '\0', length1)) length1 = static_cast<const char*>(nul) - text1;
    // Messages that leave room for the padding in one block (the usual identities) go through the
    // two-state compression; anything else as two single digests.
    constexpr std::size_t kOneBlockMessage = kBlockSize - 9;
    if (g_compress_two == nullptr || length0 > kOneBlockMessage || length1 > kOneBlockMessage) {
        HexDigest(text0, length0, out0);
        return HexDigest(text1, length1, out1);
    }

    struct Scratch {
        std::uint32_t state[2][8];
        std::uint8_t block[2][2 * kBlockSize];  // (one block used: the messages leave room for the padding)
    } scratch;
    std::uint32_t* const states[2] = {scratch.state[0], scratch.state[1]};
    const std::uint8_t* const blocks[2] = {scratch.block[0], scratch.block[1]};
    // One padded block after the key block each.
    PadTail(scratch.block[0], reinterpret_cast<const std::uint8_t*>(text0), length0, kBlockSize + length0);
    PadTail(scratch.block[1], reinterpret_cast<const std::uint8_t*>(text1), length1, kBlockSize + length1);
    std::memcpy(scratch.state[0], m_inner.state, sizeof(scratch.state[0]));
    std::memcpy(scratch.state[1], m_inner.state, sizeof(scratch.state[1]));
    g_compress_two(states, blocks);
    // The outer hash takes the inner digest: the big-endian state, padded the same way.
    for (int lane = 0; lane < 2; ++lane) {
        std::uint8_t digest[kDigestSize];
        for (int i = 0; i < 8; ++i) StoreBigEndian(digest + 4 * i, scratch.state[lane][i]);
        PadTail(scratch.block[lane], digest, kDigestSize, kBlockSize + kDigestSize);
        ClearBytes(digest, sizeof(digest));
        std::memcpy(scratch.state[lane], m_outer.state, sizeof(scratch.state[lane]));
    }
    g_compress_two(states, blocks);
    char* const outs[2] = {out0, out1};
    for (int lane = 0; lane < 2; ++lane) {
#if defined(__x86_64__)
        // (The two-state compression is there only with the SHA extensions, and so SSSE3.)
        if (m_outputLength == kDigestSize) {
            HexOfStateSsse3(scratch.state[lane], outs[lane]);
            continue;
        }
#endif
        std::uint8_t* digest = scratch.block[lane];
        for (int i = 0; i < 8; ++i) StoreBigEndian(digest + 4 * i, scratch.state[lane][i]);
        for (std::int32_t i = 0; i < m_outputLength; ++i) std::memcpy(outs[lane] + 2 * i, kHexPairs.pair[digest[i]], 2);
    }
    ClearBytes(&scratch, sizeof(scratch));
    return static_cast<std::size_t>(2 * m_outputLength);
}
