// SHA-256 (FIPS 180-4): the hash over a caller-owned context, the bare-state steps the reference
// digest finishes its hashes with, and the compression paths: the portable one and the choice of
// the one the process runs. Anything in the program may call it, from any thread.
//
// The compression comes by a Sha256Path. The process's path is chosen once, at the first call of
// sha256_chosen(), and is the same for every thread from then on: the x86 SHA extensions
// (sha256_x86.h) where the processor has them and they reproduce the known answers of
// sha256_reproduces_known_answers, else the portable code. TOLVA_PORTABLE_SHA256=1 in the
// environment forces the portable code, so that both paths can be run on one machine.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One way of running the SHA-256 compression.
struct Sha256Path {
    const char* name;  // "x86 SHA extensions" or "portable"
    // Whole blocks (64 bytes each) into state.
    void (*compress)(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);
    // One block into each of two states: the x86 path runs the two side by side, in little more
    // than the time of one.
    void (*compress_pair)(std::uint32_t* const state[2], const std::uint8_t* const block[2]);
    // The digest that state holds as a reference number prints it: the 64 upper-case hex digits of
    // its big-endian bytes, each byte XOR 0x80 ("%02X" of the signed byte plus 128).
    void (*print_reference)(const std::uint32_t state[8], char out[64]);
};

const Sha256Path& sha256_portable();
// The process's path (see above).
const Sha256Path& sha256_chosen();
// Whether path gives the FIPS 180-4 answers for "abc" (one block) and the 448-bit message (two
// blocks), for "abc" and the empty message side by side, and the printed reference of the first.
bool sha256_reproduces_known_answers(const Sha256Path& path);

// The round constants, for the compressions.
extern const std::uint32_t kSha256RoundConstants[64];

struct Sha256Context {
    const Sha256Path* path;
    std::uint32_t state[8];
    std::uint64_t count;      // bytes hashed
    std::uint8_t block[128];  // the partial block; 128 so that the final padding may span two blocks
};

// A digest as a value.
using Sha256Digest = std::array<std::uint8_t, 32>;

void sha256_init(Sha256Context* context, const Sha256Path& path = sha256_chosen());
void sha256_update(Sha256Context* context, const std::uint8_t* data, std::size_t length);
void sha256_final(Sha256Context* context, std::uint8_t digest[32]);  // clears the context
void sha256_digest(const std::uint8_t* data, std::size_t length, std::uint8_t digest[32],
                   const Sha256Path& path = sha256_chosen());

// A hash on a bare state of eight words, without a context, ends with these. The last block or two
// of a message of total bytes: its rest bytes (fewer than 64; rest may be tail itself), 0x80, zeros
// and the bit count. Returns the blocks written to tail, 1 or 2.
std::size_t sha256_pad(std::uint8_t tail[128], const std::uint8_t* rest, std::size_t rest_length, std::uint64_t total);
// The digest of a finished state: its words big-endian.
void sha256_state_bytes(const std::uint32_t state[8], std::uint8_t digest[32]);

// Clears memory that held message or key material, in a way the optimiser does not drop.
void sha256_clear(void* data, std::size_t size);
