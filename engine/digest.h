// The reference-number digest: HMAC-SHA-256 (RFC 2104) over a caller-owned context, the fixed key,
// and CReferenceDigest, which turns a text into the printed reference number. The conversion, the
// self-test and the command line's ref use it, from any thread. SHA-256 itself is sha256.h; its path
// (x86 SHA extensions or portable) is chosen once for the process.
#pragma once

#include <cstdint>
#include <string>

#include "engine/sha256.h"

struct HmacSha256Context {
    std::uint8_t key_block[64];     // key padded to the block size, XORed with the inner pad
    std::uint8_t inner_digest[32];  // inner hash result, later the outer one
    Sha256Context hash;
};

// A key of any length, on the given SHA-256 path. Returns 0.
int hmac_sha256_init(HmacSha256Context* context, const std::uint8_t* key, std::int32_t key_length,
                     const Sha256Path& path = sha256_chosen());
int hmac_sha256_update(HmacSha256Context* context, const std::uint8_t* data, std::int32_t length);  // returns 0
// output_length 16, 24 or 32 (the leading bytes of the full HMAC), else -1 and nothing written.
// Clears the context.
int hmac_sha256_final(HmacSha256Context* context, std::uint8_t* output, std::int32_t output_length);

// The fixed key of the reference number (80 bytes of code page 932 text) and its output length.
extern const std::string kReferenceKey;
constexpr std::int32_t kReferenceOutputLength = 32;

// Turns a text into its reference-number text: the HMAC printed as upper-case hex, each byte XOR 0x80
// ("%02X" of the signed byte plus 128). Created once per input file and used for every record; the
// keyed pad states are computed once here, so a record costs only the message's compressions.
// Key lengths 20, 24, 64, 72 or 80 bytes and output lengths 16, 24 or 32 are accepted; with any
// other the digest refuses every text. Any number of threads may share one.
class CReferenceDigest {
public:
    // path: the SHA-256 path it computes on (the self-test runs the portable one beside the chosen).
    CReferenceDigest(const std::string& key, std::int32_t outputLength, const Sha256Path& path = sha256_chosen());

    // The hex text of the length bytes at text, up to a NUL byte among them, into out (room for 64
    // characters), without allocating; returns the count written (2 x outputLength), 0 when refused.
    std::size_t HexDigest(const char* text, std::size_t length, char* out) const;
    // Two texts at once, each as HexDigest gives it; returns the count written to each. Texts that
    // fit one block with their padding (the usual identities) are compressed side by side.
    std::size_t HexDigestPair(const char* text0, std::size_t length0, char* out0, const char* text1,
                              std::size_t length1, char* out1) const;

private:
    // The digest that a finished outer state holds, printed into out.
    void Print(const std::uint32_t state[8], char* out) const;

    const Sha256Path* m_path;
    std::int32_t m_outputLength;
    bool m_valid = false;
    std::uint32_t m_inner[8]{};  // state after absorbing key XOR ipad
    std::uint32_t m_outer[8]{};  // state after absorbing key XOR opad
};
