// Known-answer checks of everything a reference number depends on (SHA-256, HMAC-SHA-256, the
// full-width table, the key), and a fingerprint of it all that two sites can compare: it changes if
// the key, the table or the digest would change any reference number. Any thread may call these.
#pragma once

#include <string>
#include <vector>

struct SelfTestCheck {
    std::string name;  // what was checked, with its source
    bool passed;
};

std::vector<SelfTestCheck> RunSelfTest();

// SHA-256 over the key, the checksum of the full-width table and the reference texts of the fixed
// identities, as 64 upper-case hex digits.
std::string ReferenceFingerprint();
