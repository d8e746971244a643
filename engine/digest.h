// The reference-number digest: SHA-256 (FIPS 180-4) and HMAC-SHA-256 (RFC 2104) as plain functions
// over caller-owned contexts, and CReferenceDigest, which turns a text into the printed reference
// number. No global state: any thread may call any of it.
#pragma once

#include <cstdint>
#include <string>

struct DigestBuffer {
    std::uint8_t* data;   // for the output: writable memory of at least length bytes
    std::int32_t length;  // bytes
};

struct Sha256Context {
    std::uint32_t state[8];
    std::uint32_t count_high;  // upper half of the byte count
    std::uint32_t count_low;   // lower half of the byte count
    std::uint32_t schedule[64];
    std::uint8_t block[128];   // the partial block; 128 so that the final padding may span two blocks
};

struct HmacSha256Context {
    std::uint8_t key_block[64];     // key padded to the block size, XORed with the inner pad
    std::uint8_t inner_digest[32];  // inner hash result, later the outer one
    Sha256Context hash;
};

// Result codes of hmac_sha256.
enum : std::int32_t {
    kHmacOk = 0,
    kHmacBadMessageLength = -7,
    kHmacBadOutputLength = -8,
    kHmacBadKeyLength = -9,
};

void sha256_init(Sha256Context* context);
void sha256_update(Sha256Context* context, const std::uint8_t* data, std::uint32_t length);
void sha256_final(Sha256Context* context, std::uint8_t digest[32]);  // clears the context
void sha256_transform(Sha256Context* context, const std::uint8_t block[64]);
// Which compression this process uses: "x86 SHA extensions" or "portable".
const char* sha256_implementation();
void sha256_digest(const std::uint8_t* data, std::uint32_t length, std::uint8_t digest[32]);

int hmac_sha256_init(HmacSha256Context* context, const std::uint8_t* key, std::int32_t key_length);
int hmac_sha256_update(HmacSha256Context* context, const std::uint8_t* data, std::int32_t length);
// output_length 16, 24 or 32 (the leading bytes of the full HMAC), else -1 and nothing written.
// Clears the context.
int hmac_sha256_final(HmacSha256Context* context, std::uint8_t* output, std::int32_t output_length);
// Key lengths 20, 24, 64, 72 or 80 bytes; output lengths 16, 24 or 32. Returns kHmacOk or an error
// code (key checked first, then message, then output length).
int hmac_sha256(DigestBuffer* output, const DigestBuffer* message, const DigestBuffer* key);

// The fixed key of the reference number (80 bytes of code page 932 text) and its output length.
extern const std::string kReferenceKey;
constexpr std::int32_t kReferenceOutputLength = 32;

// Turns a text into its reference-number text: the HMAC printed as upper-case hex, each byte XOR 0x80
// ("%02X" of the signed byte plus 128). Created once per input file and used for every record; the
// keyed pad states are computed once here, so a record costs only the message's compressions.
// Not shared between threads.
class CReferenceDigest {
public:
    CReferenceDigest(std::string key, std::int32_t output_length);

    // 2 x output_length hex characters, or "" when the keyed digest refuses its input (bad key or
    // output length). The message is text up to its first NUL byte.
    std::string HexDigest(const std::string& text) const;
    // The same into out (room for 64 characters), without allocating; returns the count written,
    // 0 when refused. The message is the length bytes at text, up to a NUL byte among them.
    std::size_t HexDigest(const char* text, std::size_t length, char* out) const;
    // Two texts at once, each as HexDigest gives it; returns the count written to each. With the
    // SHA extensions the two are compressed side by side, which costs little more than one.
    std::size_t HexDigestPair(const char* text0, std::size_t length0, char* out0, const char* text1,
                              std::size_t length1, char* out1) const;

private:
    std::string m_key;
    std::int32_t m_outputLength;
    bool m_valid = false;
    Sha256Context m_inner{};  // state after absorbing key XOR ipad
    Sha256Context m_outer{};  // state after absorbing key XOR opad
};
