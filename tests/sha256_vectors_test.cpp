// SHA-256 against the NIST CAVP known answers, and which compression the process runs and when a path
// is refused.
//
// The vectors are NIST's Cryptographic Algorithm Validation Program files for SHA-256 (byte-oriented,
// CAVS 11.0/11.1): SHA256ShortMsg.rsp (65 messages of 0 to 64 bytes), SHA256LongMsg.rsp (64 messages
// of 163 to 6,400 bytes) and SHA256Monte.rsp (the seed and 100 checkpoints of the Monte Carlo test,
// run as "The Secure Hash Algorithm Validation System (SHAVS)", NIST, 2012, section 6.4, describes
// it). Debian's python3-cryptography-vectors ships them unchanged; make setup installs it,
// and CMake passes their folder as SHA256_VECTORS_DIR. A build without that macro skips the file
// test; a build with it fails when the files are missing.
//
// Both runs of the suite go through here: the usual one with the x86 SHA extensions where the
// processor has them, and the one with TOLVA_PORTABLE_SHA256=1, the portable compression.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "engine/sha256.h"

namespace {

#ifdef SHA256_VECTORS_DIR

using Bytes = std::vector<std::uint8_t>;

std::string Hex(const std::uint8_t* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0x0F];
    }
    return out;
}

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

Bytes Sha256(const Bytes& data) {
    Bytes digest(32);
    sha256_digest(data.data(), static_cast<std::uint32_t>(data.size()), digest.data());
    return digest;
}

// One "Name = value" line of a response file.
struct Entry {
    std::string name;
    std::string value;
    int line;
};

// The "Name = value" lines of a response file in order, comments and section headers left out.
// Empty when the file cannot be opened.
std::vector<Entry> ReadEntries(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<Entry> entries;
    std::string text;
    for (int number = 1; std::getline(file, text); ++number) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        const std::size_t equals = text.find(" = ");
        if (text.empty() || text[0] == '#' || text[0] == '[' || equals == std::string::npos) continue;
        entries.push_back({text.substr(0, equals), text.substr(equals + 3), number});
    }
    return entries;
}

std::vector<Entry> VectorFile(const char* name) {
    const std::string path = std::string(SHA256_VECTORS_DIR) + "/" + name;
    std::vector<Entry> entries = ReadEntries(path);
    EXPECT_FALSE(entries.empty()) << "cannot read " << path
                                  << ": the NIST SHA-256 vectors come with Debian's python3-cryptography-vectors "
                                     "(make setup installs it)";
    return entries;
}

TEST(Sha256Cavp, ShortAndLongMessages) {
    const struct {
        const char* file;
        std::size_t messages;
    } files[] = {{"SHA256ShortMsg.rsp", 65}, {"SHA256LongMsg.rsp", 64}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.file);
        std::size_t checked = 0;
        std::size_t bits = 0;
        Bytes message;
        for (const Entry& entry : VectorFile(f.file)) {
            if (entry.name == "Len") {
                bits = std::stoul(entry.value);
            } else if (entry.name == "Msg") {
                message = FromHex(entry.value);
                message.resize(bits / 8);  // Len = 0 comes with the placeholder Msg = 00
            } else if (entry.name == "MD") {
                EXPECT_EQ(entry.value, Hex(Sha256(message).data(), 32))
                    << "line " << entry.line << ", " << message.size() << " bytes";
                ++checked;
            }
        }
        EXPECT_EQ(f.messages, checked);
    }
}

TEST(Sha256Cavp, MonteCarlo) {
    // From the seed, each of the 100 checkpoints is 1,000 digests on: the message of each digest is
    // the three digests before it, and the last digest seeds the next checkpoint.
    Bytes seed;
    int checked = 0;
    for (const Entry& entry : VectorFile("SHA256Monte.rsp")) {
        if (entry.name == "Seed") {
            seed = FromHex(entry.value);
        } else if (entry.name == "MD") {
            ASSERT_EQ(32u, seed.size()) << "no seed before line " << entry.line;
            Bytes md[3] = {seed, seed, seed};  // MD(i-3), MD(i-2), MD(i-1)
            Bytes message(96);
            for (int i = 3; i < 1003; ++i) {
                for (int part = 0; part < 3; ++part) std::memcpy(&message[32 * part], md[part].data(), 32);
                md[0] = std::move(md[1]);
                md[1] = std::move(md[2]);
                md[2] = Sha256(message);
            }
            seed = md[2];
            ASSERT_EQ(entry.value, Hex(seed.data(), 32)) << "checkpoint " << checked << ", line " << entry.line;
            ++checked;
        }
    }
    EXPECT_EQ(100, checked);
}

#else

TEST(Sha256Cavp, ShortAndLongMessages) { GTEST_SKIP() << "built without SHA256_VECTORS_DIR"; }

#endif

TEST(Sha256Path, FollowsTheEnvironment) {
    const char* portable = std::getenv("TOLVA_PORTABLE_SHA256");
    const char* chosen = sha256_chosen().name;
    // make test-windows looks for this line in the run under Wine to be sure the variable got there.
    std::cout << "SHA-256 compression: " << chosen << "\n";
    if (portable != nullptr && std::strcmp(portable, "1") == 0) {
        EXPECT_STREQ("portable", chosen);
        return;
    }
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("sha") && __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("ssse3")) {
        EXPECT_STREQ("x86 SHA extensions", chosen);
        return;
    }
#endif
    EXPECT_STREQ("portable", chosen);
}

// A path is chosen only if it reproduces the known answers: a fault in any of its parts refuses it.
TEST(Sha256Path, KnownAnswersRefuseAFaultInAnyPart) {
    EXPECT_TRUE(sha256_reproduces_known_answers(sha256_portable()));
    EXPECT_TRUE(sha256_reproduces_known_answers(sha256_chosen()));
    const Sha256Path& portable = sha256_portable();
    const struct {
        const char* fault;
        Sha256Path path;
    } cases[] = {
        {"the last of several blocks left out",
         {"faulty",
          [](std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
              sha256_portable().compress(state, blocks, count > 1 ? count - 1 : count);
          },
          portable.compress_pair, portable.print_reference}},
        {"the second of a pair given the first's block",
         {"faulty", portable.compress,
          [](std::uint32_t* const state[2], const std::uint8_t* const block[2]) {
              const std::uint8_t* const first[2] = {block[0], block[0]};
              sha256_portable().compress_pair(state, first);
          },
          portable.print_reference}},
        {"a reference printed in lower case",
         {"faulty", portable.compress, portable.compress_pair,
          [](const std::uint32_t state[8], char out[64]) {
              sha256_portable().print_reference(state, out);
              for (int i = 0; i < 64; ++i) out[i] = static_cast<char>(std::tolower(out[i]));
          }}},
    };
    for (const auto& c : cases) EXPECT_FALSE(sha256_reproduces_known_answers(c.path)) << c.fault;
}

}  // namespace
