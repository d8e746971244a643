// HMAC-SHA-256 and the reference-number digest. See digest.h.
#include "engine/digest.h"

#include <cstring>

namespace {

constexpr std::int32_t kBlockSize = 64;
constexpr std::int32_t kDigestSize = 32;
constexpr std::uint8_t kInnerPad = 0x36;
// XORing the inner-padded key with this turns it into the outer-padded key (0x36 ^ 0x5C).
constexpr std::uint8_t kInnerToOuterPad = 0x6A;

bool IsAcceptedKeyLength(std::int32_t length) {
    return length == 20 || length == 24 || length == 64 || length == 72 || length == 80;
}

bool IsAcceptedOutputLength(std::int32_t length) { return length == 16 || length == 24 || length == 32; }

// Goes on with a hash whose state has absorbed prefix bytes (whole blocks) by the length bytes at
// data, the padding included; the state then holds the digest. tail is room for the last two blocks.
void FinishHash(const Sha256Path& path, std::uint32_t state[8], std::uint64_t prefix, const std::uint8_t* data,
                std::size_t length, std::uint8_t tail[2 * kBlockSize]) {
    const std::size_t whole = length / kBlockSize;
    path.compress(state, data, whole);
    path.compress(state, tail,
                  sha256_pad(tail, data + whole * kBlockSize, length - whole * kBlockSize, prefix + length));
}

// 40 double-byte characters of code page 932 (this file is compiled with -fexec-charset=CP932);
// the last two are ideographic spaces, 0x81 0x40 each.
constexpr char kReferenceKeyText[] = "あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよ　　";
static_assert(sizeof(kReferenceKeyText) == 80 + 1, "the reference key is 80 bytes of code page 932");

}  // namespace

const std::string kReferenceKey(kReferenceKeyText, sizeof(kReferenceKeyText) - 1);

int hmac_sha256_init(HmacSha256Context* context, const std::uint8_t* key, std::int32_t key_length,
                     const Sha256Path& path) {
    // The key reduced to one block: copied as it is up to 64 bytes, hashed when longer.
    std::memset(context->key_block, 0, kBlockSize);
    if (key_length > kBlockSize) {
        sha256_digest(key, static_cast<std::size_t>(key_length), context->key_block, path);
    } else if (key_length > 0) {
        std::memcpy(context->key_block, key, static_cast<std::size_t>(key_length));
    }
    for (std::uint8_t& byte : context->key_block) byte ^= kInnerPad;
    sha256_init(&context->hash, path);
    sha256_update(&context->hash, context->key_block, kBlockSize);
    return 0;
}

int hmac_sha256_update(HmacSha256Context* context, const std::uint8_t* data, std::int32_t length) {
    if (length > 0) sha256_update(&context->hash, data, static_cast<std::uint32_t>(length));
    return 0;
}

int hmac_sha256_final(HmacSha256Context* context, std::uint8_t* output, std::int32_t output_length) {
    const Sha256Path& path = *context->hash.path;
    sha256_final(&context->hash, context->inner_digest);
    for (std::uint8_t& byte : context->key_block) byte ^= kInnerToOuterPad;
    sha256_init(&context->hash, path);
    sha256_update(&context->hash, context->key_block, kBlockSize);
    sha256_update(&context->hash, context->inner_digest, kDigestSize);
    sha256_final(&context->hash, context->inner_digest);

    const bool accepted = IsAcceptedOutputLength(output_length);
    if (accepted) std::memcpy(output, context->inner_digest, static_cast<std::size_t>(output_length));
    sha256_clear(context, sizeof(*context));
    return accepted ? 0 : -1;
}

CReferenceDigest::CReferenceDigest(const std::string& key, std::int32_t outputLength, const Sha256Path& path)
    : m_path(&path), m_outputLength(outputLength) {
    const auto keyLength = static_cast<std::int32_t>(key.size());
    m_valid = key.size() == static_cast<std::size_t>(keyLength) && IsAcceptedKeyLength(keyLength) &&
              IsAcceptedOutputLength(m_outputLength);
    if (!m_valid) return;

    // The states after the padded key blocks are the same for every message, so they are computed
    // here once; HexDigest only continues them.
    HmacSha256Context context;
    hmac_sha256_init(&context, reinterpret_cast<const std::uint8_t*>(key.data()), keyLength, path);
    std::memcpy(m_inner, context.hash.state, sizeof(m_inner));
    for (std::uint8_t& byte : context.key_block) byte ^= kInnerToOuterPad;
    sha256_init(&context.hash, path);
    sha256_update(&context.hash, context.key_block, kBlockSize);
    std::memcpy(m_outer, context.hash.state, sizeof(m_outer));
    sha256_clear(&context, sizeof(context));
}

void CReferenceDigest::Print(const std::uint32_t state[8], char* out) const {
    if (m_outputLength == kDigestSize) return m_path->print_reference(state, out);
    // A shorter output is the leading bytes, so the leading digits.
    char hex[2 * kDigestSize];
    m_path->print_reference(state, hex);
    std::memcpy(out, hex, static_cast<std::size_t>(2 * m_outputLength));
}

std::size_t CReferenceDigest::HexDigest(const char* text, std::size_t length, char* out) const {
    if (!m_valid) return 0;
    if (const void* nul = std::memchr(text, '\0', length)) length = static_cast<const char*>(nul) - text;
    if (length > 0x7FFFFFFF) return 0;  // the HMAC takes messages of up to 2^31 - 1 bytes

    // The keyed states continue on bare copies of their eight words: no context to copy. What was
    // derived from the message is cleared afterwards, in one piece.
    struct Scratch {
        std::uint32_t state[8];
        std::uint8_t tail[2 * kBlockSize];
        std::uint8_t digest[kDigestSize];
    } scratch;
    std::memcpy(scratch.state, m_inner, sizeof(scratch.state));
    FinishHash(*m_path, scratch.state, kBlockSize, reinterpret_cast<const std::uint8_t*>(text), length, scratch.tail);
    sha256_state_bytes(scratch.state, scratch.digest);
    std::memcpy(scratch.state, m_outer, sizeof(scratch.state));
    FinishHash(*m_path, scratch.state, kBlockSize, scratch.digest, kDigestSize, scratch.tail);
    Print(scratch.state, out);
    sha256_clear(&scratch, sizeof(scratch));
    return static_cast<std::size_t>(2 * m_outputLength);
}

std::size_t CReferenceDigest::HexDigestPair(const char* text0, std::size_t length0, char* out0, const char* text1,
                                            std::size_t length1, char* out1) const {
    if (!m_valid) return 0;
    if (const void* nul = std::memchr(text0, '\0', length0)) length0 = static_cast<const char*>(nul) - text0;
    if (const void* nul = std::memchr(text1, '\0', length1)) length1 = static_cast<const char*>(nul) - text1;
    // Messages that leave room for the padding in one block go through the two-state compression;
    // anything else as two single digests.
    constexpr std::size_t kOneBlockMessage = kBlockSize - 9;
    if (length0 > kOneBlockMessage || length1 > kOneBlockMessage) {
        HexDigest(text0, length0, out0);
        return HexDigest(text1, length1, out1);
    }

    struct Scratch {
        std::uint32_t state[2][8];
        std::uint8_t block[2][2 * kBlockSize];  // (one block used: the messages leave room for the padding)
        std::uint8_t digest[kDigestSize];
    } scratch;
    std::uint32_t* const states[2] = {scratch.state[0], scratch.state[1]};
    const std::uint8_t* const blocks[2] = {scratch.block[0], scratch.block[1]};
    // One padded block after the key block each.
    sha256_pad(scratch.block[0], reinterpret_cast<const std::uint8_t*>(text0), length0, kBlockSize + length0);
    sha256_pad(scratch.block[1], reinterpret_cast<const std::uint8_t*>(text1), length1, kBlockSize + length1);
    std::memcpy(scratch.state[0], m_inner, sizeof(scratch.state[0]));
    std::memcpy(scratch.state[1], m_inner, sizeof(scratch.state[1]));
    m_path->compress_pair(states, blocks);
    // The outer hash takes the inner digest: the big-endian state, padded the same way.
    for (int lane = 0; lane < 2; ++lane) {
        sha256_state_bytes(scratch.state[lane], scratch.digest);
        sha256_pad(scratch.block[lane], scratch.digest, kDigestSize, kBlockSize + kDigestSize);
        std::memcpy(scratch.state[lane], m_outer, sizeof(scratch.state[lane]));
    }
    m_path->compress_pair(states, blocks);
    Print(scratch.state[0], out0);
    Print(scratch.state[1], out1);
    sha256_clear(&scratch, sizeof(scratch));
    return static_cast<std::size_t>(2 * m_outputLength);
}
