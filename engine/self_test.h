// Known-answer checks of everything a reference number depends on (SHA-256, HMAC-SHA-256, the
// full-width table, the key, the reference texts of fixed identities as a conversion composes them),
// and a fingerprint of it all that two sites can compare: it changes if the key, the table or the
// digest would change any reference number. The command line's selftest runs it; any thread may.
#pragma once

#include <string>
#include <vector>

struct SelfTestCheck {
    std::string name;  // what was checked, with its source
    bool passed;
};

struct SelfTestResult {
    const char* sha256;  // the process's SHA-256 path: "x86 SHA extensions" or "portable"
    // Each check is run on that path and, where it is not the portable one, on the portable one too:
    // it passes when both give its answer. Then a last check compares their fingerprints.
    std::vector<SelfTestCheck> checks;
    // SHA-256 over the key, the checksum of the full-width table and the reference texts of the fixed
    // identities, as 64 upper-case hex digits: the process's path's.
    std::string fingerprint;
    bool passed;  // every check passed
};

SelfTestResult RunSelfTest();
