// SHA-256 (FIPS 180-4): the context functions, the portable compression and the choice of the
// process's path. See sha256.h.
#include "engine/sha256.h"

#include <cstdlib>
#include <cstring>

#include "engine/sha256_x86.h"

const std::uint32_t kSha256RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

namespace {

constexpr std::uint32_t kInitialState[8] = {
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19,
};

constexpr std::size_t kBlockSize = 64;

inline std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// One SHA-256 round; the caller passes the working variables rotated by one for the next round, so
// only d and h change here (d + T1 becomes the new e, T1 + T2 the new a).
inline void Round(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t& d, std::uint32_t e, std::uint32_t f,
                  std::uint32_t g, std::uint32_t& h, std::uint32_t roundInput) {
    const std::uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + roundInput;
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

void CompressPortable(std::uint32_t state[8], const std::uint8_t* data, std::size_t blocks) {
    std::uint32_t w[64];  // the message schedule
    for (; blocks > 0; --blocks, data += kBlockSize) {
        for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian(data + 4 * t);
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
            Round(a, b, c, d, e, f, g, h, kSha256RoundConstants[t] + w[t]);
            Round(h, a, b, c, d, e, f, g, kSha256RoundConstants[t + 1] + w[t + 1]);
            Round(g, h, a, b, c, d, e, f, kSha256RoundConstants[t + 2] + w[t + 2]);
            Round(f, g, h, a, b, c, d, e, kSha256RoundConstants[t + 3] + w[t + 3]);
            Round(e, f, g, h, a, b, c, d, kSha256RoundConstants[t + 4] + w[t + 4]);
            Round(d, e, f, g, h, a, b, c, kSha256RoundConstants[t + 5] + w[t + 5]);
            Round(c, d, e, f, g, h, a, b, kSha256RoundConstants[t + 6] + w[t + 6]);
            Round(b, c, d, e, f, g, h, a, kSha256RoundConstants[t + 7] + w[t + 7]);
        }
        const std::uint32_t worked[8] = {a, b, c, d, e, f, g, h};
        for (int i = 0; i < 8; ++i) state[i] += worked[i];
    }
}

void CompressPairPortable(std::uint32_t* const state[2], const std::uint8_t* const block[2]) {
    CompressPortable(state[0], block[0], 1);
    CompressPortable(state[1], block[1], 1);
}

// The two upper-case hex digits of every byte XOR 0x80.
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

void PrintReferencePortable(const std::uint32_t state[8], char out[64]) {
    std::uint8_t digest[32];
    sha256_state_bytes(state, digest);
    for (int i = 0; i < 32; ++i) std::memcpy(out + 2 * i, kHexPairs.pair[digest[i]], 2);
}

constexpr Sha256Path kPortable = {"portable", CompressPortable, CompressPairPortable, PrintReferencePortable};

// The messages of the known answers and their digests as state words.
constexpr char kAbc[] = "abc";
constexpr char kTwoBlocks[] = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
constexpr std::uint32_t kAbcDigest[8] = {0xba7816bf, 0x8f01cfea, 0x414140de, 0x5dae2223,
                                         0xb00361a3, 0x96177a9c, 0xb410ff61, 0xf20015ad};
constexpr std::uint32_t kTwoBlocksDigest[8] = {0x248d6a61, 0xd20638b8, 0xe5c02693, 0x0c3e6039,
                                               0xa33ce459, 0x64ff2167, 0xf6ecedd4, 0x19db06c1};
constexpr std::uint32_t kEmptyDigest[8] = {0xe3b0c442, 0x98fc1c14, 0x9afbf4c8, 0x996fb924,
                                           0x27ae41e4, 0x649b934c, 0xa495991b, 0x7852b855};
constexpr char kAbcPrinted[] = "3AF8963F0F814F6AC1C1C05EDD2EA2A33083E1231697FA1C34907FE17280952D";

const Sha256Path& Choose() {
    const char* portable = std::getenv("TOLVA_PORTABLE_SHA256");
    if (portable != nullptr && std::strcmp(portable, "1") == 0) return kPortable;
    const Sha256Path* x86 = sha256_x86();
    if (x86 != nullptr && sha256_reproduces_known_answers(*x86)) return *x86;
    return kPortable;
}

}  // namespace

const Sha256Path& sha256_portable() { return kPortable; }

const Sha256Path& sha256_chosen() {
    static const Sha256Path& chosen = Choose();
    return chosen;
}

bool sha256_reproduces_known_answers(const Sha256Path& path) {
    const auto padded = [](const char* message, std::uint8_t tail[2 * kBlockSize]) {
        const std::size_t length = std::strlen(message);
        return sha256_pad(tail, reinterpret_cast<const std::uint8_t*>(message), length, length);
    };
    std::uint8_t abc[2 * kBlockSize], empty[2 * kBlockSize], two[2 * kBlockSize];
    padded(kAbc, abc);
    padded("", empty);
    const std::size_t twoBlocks = padded(kTwoBlocks, two);

    std::uint32_t states[3][8];
    for (auto& state : states) std::memcpy(state, kInitialState, sizeof(state));
    path.compress(states[0], two, twoBlocks);
    bool same = std::memcmp(states[0], kTwoBlocksDigest, sizeof(kTwoBlocksDigest)) == 0;
    std::uint32_t* const pair[2] = {states[1], states[2]};
    const std::uint8_t* const blocks[2] = {abc, empty};
    path.compress_pair(pair, blocks);
    same = same && std::memcmp(states[1], kAbcDigest, sizeof(kAbcDigest)) == 0 &&
           std::memcmp(states[2], kEmptyDigest, sizeof(kEmptyDigest)) == 0;
    char printed[64];
    path.print_reference(states[1], printed);
    return same && std::memcmp(printed, kAbcPrinted, sizeof(printed)) == 0;
}

void sha256_init(Sha256Context* context, const Sha256Path& path) {
    context->path = &path;
    std::memcpy(context->state, kInitialState, sizeof(context->state));
    context->count = 0;
}

void sha256_update(Sha256Context* context, const std::uint8_t* data, std::size_t length) {
    std::size_t fill = context->count % kBlockSize;
    std::size_t remaining = length;
    context->count += length;

    if (fill > 0 && remaining >= kBlockSize - fill) {
        const std::size_t take = kBlockSize - fill;
        std::memcpy(context->block + fill, data, take);
        context->path->compress(context->state, context->block, 1);
        data += take;
        remaining -= take;
        fill = 0;
    }
    // Whole blocks go to the compression straight from the caller's memory.
    if (fill == 0 && remaining >= kBlockSize) {
        context->path->compress(context->state, data, remaining / kBlockSize);
        data += remaining / kBlockSize * kBlockSize;
        remaining %= kBlockSize;
    }
    if (remaining > 0) std::memcpy(context->block + fill, data, remaining);
}

void sha256_final(Sha256Context* context, std::uint8_t digest[32]) {
    const std::size_t fill = context->count % kBlockSize;
    context->path->compress(context->state, context->block,
                            sha256_pad(context->block, context->block, fill, context->count));
    sha256_state_bytes(context->state, digest);
    sha256_clear(context, sizeof(*context));
}

void sha256_digest(const std::uint8_t* data, std::size_t length, std::uint8_t digest[32], const Sha256Path& path) {
    Sha256Context context;
    sha256_init(&context, path);
    sha256_update(&context, data, length);
    sha256_final(&context, digest);
}

std::size_t sha256_pad(std::uint8_t tail[2 * kBlockSize], const std::uint8_t* rest, std::size_t rest_length,
                       std::uint64_t total) {
    // The 0x80 byte and the 8-byte length must fit behind the rest: below 56 bytes one block does,
    // otherwise the padding runs into a second block.
    const std::size_t padded = rest_length < kBlockSize - 8 ? kBlockSize : 2 * kBlockSize;
    if (rest != tail) std::memcpy(tail, rest, rest_length);
    tail[rest_length] = 0x80;
    std::memset(tail + rest_length + 1, 0, padded - 8 - rest_length - 1);
    const std::uint64_t bits = total * 8;
    StoreBigEndian(tail + padded - 8, static_cast<std::uint32_t>(bits >> 32));
    StoreBigEndian(tail + padded - 4, static_cast<std::uint32_t>(bits));
    return padded / kBlockSize;
}

void sha256_state_bytes(const std::uint32_t state[8], std::uint8_t digest[32]) {
    for (int i = 0; i < 8; ++i) StoreBigEndian(digest + 4 * i, state[i]);
}

// A memset of memory that is not read again may be dropped by the optimiser; the empty asm that
// claims to read it keeps the clearing.
void sha256_clear(void* data, std::size_t size) {
    std::memset(data, 0, size);
    __asm__ __volatile__("" : : "r"(data) : "memory");
}
