// The self-test and the fingerprint. See self_test.h.
#include "engine/self_test.h"

#include <cstdint>
#include <iterator>
#include <utility>

#include "engine/digest.h"
#include "engine/fullwidth.h"
#include "engine/output_record.h"

namespace {

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0F];
    }
    return hex;
}

std::string Sha256Hex(const std::string& message, const Sha256Path& path) {
    std::uint8_t digest[32];
    sha256_digest(reinterpret_cast<const std::uint8_t*>(message.data()), message.size(), digest, path);
    return Hex(digest, sizeof digest);
}

std::string HmacHex(const std::string& key, const std::string& message, const Sha256Path& path) {
    HmacSha256Context context;
    std::uint8_t digest[32];
    hmac_sha256_init(&context, reinterpret_cast<const std::uint8_t*>(key.data()), static_cast<std::int32_t>(key.size()),
                     path);
    hmac_sha256_update(&context, reinterpret_cast<const std::uint8_t*>(message.data()),
                       static_cast<std::int32_t>(message.size()));
    hmac_sha256_final(&context, digest, 32);
    return Hex(digest, sizeof digest);
}

// The full-width form of every single byte, of every double-byte code and of every half-width kana
// followed by a sound mark, each output preceded by its length: 11,648 mappings in one digest.
void TableChecksum(const Sha256Path& path, std::uint8_t checksum[32]) {
    Sha256Context context;
    sha256_init(&context, path);
    const auto add = [&context](const char* text, std::size_t length) {
        char wide[5];
        wide[0] = static_cast<char>(ToFullWidth(text, length, wide + 1));
        sha256_update(&context, reinterpret_cast<const std::uint8_t*>(wide), static_cast<std::uint32_t>(wide[0]) + 1);
    };
    for (int byte = 0; byte < 256; ++byte) {
        const char text[1] = {static_cast<char>(byte)};
        add(text, 1);
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead > 0x9F && lead < 0xE0) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) continue;
            const char text[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            add(text, 2);
        }
    }
    for (int kana = 0xA6; kana <= 0xDD; ++kana) {
        for (int mark : {0xDE, 0xDF}) {
            const char text[2] = {static_cast<char>(kana), static_cast<char>(mark)};
            add(text, 2);
        }
    }
    sha256_final(&context, checksum);
}

// Identities whose reference texts were worked out apart from this program (Python's hmac and the
// tabulated full-width facts): full-width and half-width entries of the same text, half-width
// kana with sound marks, blanks to trim, and the empty identity.
struct KnownReference {
    const char* label;
    const char* symbol;
    const char* number;
    const char* reference;
};
constexpr KnownReference kKnownReferences[] = {
    {"ＡＢ / １２３", "ＡＢ", "１２３",
     "4E2DC083B4770C6478855FB1DB5E712D2431AA088C06958BE91BB3DE7FBF84700000000000000000"},
    {"AB / 123", "AB", "123", "4E2DC083B4770C6478855FB1DB5E712D2431AA088C06958BE91BB3DE7FBF84700000000000000000"},
    {"ｱｲｳ / ｶﾞｷﾞﾊﾟ", "ｱｲｳ", "ｶﾞｷﾞﾊﾟ",
     "3D228258C99911301C3C2B6F131011B8494DB52FA4041376B11027DA322CDE9F0000000000000000"},
    {"' 記号　' / '　0001 '", " 記号　", "　0001 ",
     "B3A2AAA44CF8EDCD023F13B97958EFAEAF1A177C25D24C216EA9953A29EDA2CF0000000000000000"},
    {"'' / ''", "", "", "5B4110E174D6A62D73908C8627D93F11B4FBF1AE22E2E600E7A1A05502A8CA5A0000000000000000"},
};

// The checksum of the table, computed apart from this program from the tabulated facts.
constexpr char kTableChecksum[] = "E7E3DEAECB9FC7E6F680088573654983BC1CE0DCB7EE1671F8F73EE2B2761EEE";

// What the checks compare and the fingerprint takes, computed on one SHA-256 path.
struct PathResults {
    std::uint8_t table[32];  // the table's checksum
    // The reference texts of the known identities, in order, composed as a conversion composes five
    // records: two pairs side by side, the last alone.
    std::vector<std::string> references;
    std::string fingerprint;
};

PathResults ResultsOn(const Sha256Path& path) {
    PathResults results;
    TableChecksum(path, results.table);
    std::vector<CardIdentity> identities;
    for (const KnownReference& known : kKnownReferences) identities.push_back({known.symbol, known.number});
    results.references = ReferenceTexts(identities, CReferenceDigest(kReferenceKey, kReferenceOutputLength, path));

    Sha256Context context;
    sha256_init(&context, path);
    const auto add = [&context](const std::string& text) {
        sha256_update(&context, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    };
    add(kReferenceKey);
    sha256_update(&context, results.table, sizeof results.table);
    for (const std::string& reference : results.references) add(reference);
    std::uint8_t fingerprint[32];
    sha256_final(&context, fingerprint);
    results.fingerprint = Hex(fingerprint, sizeof fingerprint);
    return results;
}

}  // namespace

SelfTestResult RunSelfTest() {
    const Sha256Path& chosen = sha256_chosen();
    std::vector<const Sha256Path*> paths = {&chosen};
    if (&chosen != &sha256_portable()) paths.push_back(&sha256_portable());
    std::vector<PathResults> results;
    for (const Sha256Path* path : paths) results.push_back(ResultsOn(*path));

    SelfTestResult test{chosen.name, {}, results[0].fingerprint, true};
    // A check passes when gives(i) holds for the path of every index i.
    const auto check = [&test, &paths](std::string name, const auto& gives) {
        bool passed = true;
        for (std::size_t i = 0; i < paths.size(); ++i) passed = passed && gives(i);
        test.checks.push_back({std::move(name), passed});
        test.passed = test.passed && passed;
    };
    const auto sha256 = [&check, &paths](std::string name, const std::string& message, const char* digest) {
        check(std::move(name), [&](std::size_t i) { return Sha256Hex(message, *paths[i]) == digest; });
    };
    const auto hmac = [&check, &paths](std::string name, const std::string& key, const std::string& message,
                                       const char* mac) {
        check(std::move(name), [&](std::size_t i) { return HmacHex(key, message, *paths[i]) == mac; });
    };

    // FIPS 180-4 examples (NIST's "Examples with intermediate values", SHA-256).
    sha256("SHA-256 \"abc\" (FIPS 180-4)", "abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
    sha256("SHA-256 of 448 bits (FIPS 180-4)", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
           "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1");
    sha256("SHA-256 of the empty message (FIPS 180-4)", "",
           "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
    sha256("SHA-256 of a million \"a\" (FIPS 180-4)", std::string(1000000, 'a'),
           "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0");
    // RFC 4231, test cases 1 to 3.
    hmac("HMAC-SHA-256 RFC 4231 case 1", std::string(20, '\x0b'), "Hi There",
         "B0344C61D8DB38535CA8AFCEAF0BF12B881DC200C9833DA726E9376C2E32CFF7");
    hmac("HMAC-SHA-256 RFC 4231 case 2", "Jefe", "what do ya want for nothing?",
         "5BDCC146BF60754E6A042426089575C75A003F089D2739839DEC58B964EC3843");
    hmac("HMAC-SHA-256 RFC 4231 case 3", std::string(20, '\xaa'), std::string(50, '\xdd'),
         "773EA91E36800E46854DB8EBD09181A72959098B3EF8C122D9635514CED565FE");

    check("full-width table: 11,648 mappings against their checksum",
          [&results](std::size_t i) { return Hex(results[i].table, 32) == kTableChecksum; });
    check("reference key: 80 bytes", [](std::size_t) { return kReferenceKey.size() == 80; });
    for (std::size_t n = 0; n < std::size(kKnownReferences); ++n) {
        check(std::string("reference of ") + kKnownReferences[n].label,
              [&](std::size_t i) { return results[i].references[n] == kKnownReferences[n].reference; });
    }
    if (paths.size() > 1) {
        check(std::string(chosen.name) + " and the portable code give the same fingerprint",
              [&results](std::size_t i) { return results[i].fingerprint == results[0].fingerprint; });
    }
    return test;
}
