// Output lines of checked records. See output_record.h.
#include "engine/output_record.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "base/mbcs.h"
#include "engine/fullwidth.h"

namespace {

constexpr char kRemarksCode[] = "a2";
constexpr std::size_t kReferenceHalf = kReferenceFieldLength;
constexpr std::size_t kReferenceLength = 2 * kReferenceHalf;
constexpr int kDecidedPointsWidth = 9;
constexpr int kMealAmountWidth = 8;

constexpr bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The part of text that counts for the reference: white space (space, tab, CR, LF, VT, FF) and
// full-width spaces at either end left out. Inside, the text stays as it stands (a space and a
// full-width space there widen alike). Only the ends are looked at. At the end, a 0x40 is the
// second half of a full-width space when the 0x81 before it starts a character, which is so when
// the run of bytes of lead-byte value ending there is odd: the byte before that run ends a
// character and the run pairs off from it.
std::string_view TrimmedRange(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    std::size_t end = text.size();
    while (end > 0) {
        if (IsWhiteSpace(text[end - 1])) {
            --end;
            continue;
        }
        if (end < 2 || byte(end - 1) != 0x40 || byte(end - 2) != 0x81) break;
        std::size_t run = 1;
        while (end - 1 > run && IsLeadByte(byte(end - 2 - run))) ++run;
        if (run % 2 == 0) break;
        end -= 2;
    }
    std::size_t begin = 0;
    while (begin < end) {
        if (IsWhiteSpace(text[begin])) {
            ++begin;
        } else if (byte(begin) == 0x81 && begin + 1 < end && byte(begin + 1) == 0x40) {
            begin += 2;
        } else {
            break;
        }
    }
    return text.substr(begin, end - begin);
}

// The message of a record's reference number: its card symbol and number trimmed, joined and
// widened. Checked records fit the buffers inside; anything longer (a caller that did not check)
// takes the heap.
class WideIdentity {
public:
    WideIdentity(std::string_view symbol, std::string_view number) {
        const std::size_t room = symbol.size() + number.size();
        char* identity = m_identityRoom;
        m_wide = m_wideRoom;
        if (room > kIdentityRoom) {
            m_large.resize(3 * room);
            identity = m_large.data();
            m_wide = identity + room;
        }
        const std::string_view symbolKept = TrimmedRange(symbol);
        const std::string_view numberKept = TrimmedRange(number);
        std::memcpy(identity, symbolKept.data(), symbolKept.size());
        std::memcpy(identity + symbolKept.size(), numberKept.data(), numberKept.size());
        const std::size_t length = symbolKept.size() + numberKept.size();
        // Half-width and full-width entries of the same letters and digits give the same reference.
        m_length = ToFullWidth(identity, length, m_wide);
    }
    WideIdentity(const WideIdentity&) = delete;
    WideIdentity& operator=(const WideIdentity&) = delete;
    const char* data() const { return m_wide; }
    std::size_t size() const { return m_length; }

private:
    static constexpr std::size_t kIdentityRoom = 2 * 40;
    char m_identityRoom[kIdentityRoom];
    char m_wideRoom[2 * kIdentityRoom];
    std::string m_large;
    char* m_wide;
    std::size_t m_length;
};

// The output line of a checked record with its reference text, into out; returns its length.
std::size_t WriteOutputLine(const std::string_view fields[kFieldCount], const char reference[kReferenceLength],
                            char* out) {
    char* const start = out;
    const auto put = [&out](std::string_view text) {
        std::memcpy(out, text.data(), text.size());
        out += text.size();
    };
    const auto padded = [&out, &put](std::string_view text, std::size_t width) {
        if (text.size() >= width) return put(text);
        // The sign stays in front: -12 becomes -00000012, not 000000-12.
        const std::size_t at = !text.empty() && text[0] == '-' ? 1 : 0;
        put(text.substr(0, at));
        std::memset(out, '0', width - text.size());
        out += width - text.size();
        put(text.substr(at));
    };
    // Fields that pass unchanged and stand side by side in one line, as the record reader's
    // fields do, go over in one piece with their commas.
    const auto copied = [&](int first, int last) {
        for (int position = first; position < last; ++position) {
            const char* end = fields[position].data() + fields[position].size();
            if (fields[position + 1].data() != end + 1 || *end != ',') {
                for (position = first; position <= last; ++position) {
                    if (position > first) *out++ = ',';
                    put(fields[position]);
                }
                return;
            }
        }
        put(std::string_view(fields[first].data(), fields[last].data() + fields[last].size() - fields[first].data()));
    };
    static_assert(kFieldRemarks == 1 && kFieldCardSymbol == 3 && kFieldCardNumber == 4 && kFieldDecidedPoints == 12 &&
                  kFieldMealAmount == 14 && kFieldCount == 16);
    put(fields[0]);
    put(",a2,");
    put(fields[2]);
    *out++ = ',';
    std::memcpy(out, reference, kReferenceHalf);
    out[kReferenceHalf] = ',';
    std::memcpy(out + kReferenceHalf + 1, reference + kReferenceHalf, kReferenceHalf);
    out[kReferenceLength + 1] = ',';
    out += kReferenceLength + 2;
    copied(5, 11);
    *out++ = ',';
    padded(fields[kFieldDecidedPoints], kDecidedPointsWidth);
    *out++ = ',';
    put(fields[13]);
    *out++ = ',';
    padded(fields[kFieldMealAmount], kMealAmountWidth);
    *out++ = ',';
    put(fields[15]);
    *out++ = '\r';
    *out++ = '\n';
    return static_cast<std::size_t>(out - start);
}

}  // namespace

std::size_t ComposeOutputLine(const std::string_view fields[kFieldCount], const CReferenceDigest& digest, char* out) {
    // The 80 characters of the two reference fields: the digest padded with "0" (all "0" when the
    // digest refuses).
    char reference[kReferenceLength];
    const WideIdentity identity(fields[kFieldCardSymbol], fields[kFieldCardNumber]);
    const std::size_t hex = digest.HexDigest(identity.data(), identity.size(), reference);
    std::memset(reference + hex, '0', kReferenceLength - hex);
    return WriteOutputLine(fields, reference, out);
}

std::size_t OutputLineLength(const std::string_view fields[kFieldCount]) {
    std::size_t length = (kFieldCount - 1) + 2;  // the commas and CR LF
    for (int position = 0; position < kFieldCount; ++position) {
        switch (position) {
            case kFieldRemarks: length += sizeof(kRemarksCode) - 1; break;
            case kFieldCardSymbol:
            case kFieldCardNumber: length += kReferenceHalf; break;
            case kFieldDecidedPoints:
                length += std::max<std::size_t>(fields[position].size(), kDecidedPointsWidth);
                break;
            case kFieldMealAmount: length += std::max<std::size_t>(fields[position].size(), kMealAmountWidth); break;
            default: length += fields[position].size(); break;
        }
    }
    return length;
}

void ComposeOutputLinePair(const std::string_view fields0[kFieldCount], const std::string_view fields1[kFieldCount],
                           const CReferenceDigest& digest, char* out0, char* out1, std::size_t lengths[2]) {
    char reference0[kReferenceLength];
    char reference1[kReferenceLength];
    {
        const WideIdentity identity0(fields0[kFieldCardSymbol], fields0[kFieldCardNumber]);
        const WideIdentity identity1(fields1[kFieldCardSymbol], fields1[kFieldCardNumber]);
        const std::size_t hex = digest.HexDigestPair(identity0.data(), identity0.size(), reference0, identity1.data(),
                                                     identity1.size(), reference1);
        std::memset(reference0 + hex, '0', kReferenceLength - hex);
        std::memset(reference1 + hex, '0', kReferenceLength - hex);
    }
    lengths[0] = WriteOutputLine(fields0, reference0, out0);
    lengths[1] = WriteOutputLine(fields1, reference1, out1);
}

std::string BuildOutputLine(const std::vector<std::string>& fields, const CReferenceDigest& digest) {
    if (fields.size() != static_cast<std::size_t>(kFieldCount)) {
        throw std::invalid_argument("BuildOutputLine: a record of 16 fields is required");
    }
    std::string_view views[kFieldCount];
    std::copy(fields.begin(), fields.end(), views);
    char line[kRecordCharge];
    return std::string(line, ComposeOutputLine(views, digest, line));
}

std::vector<std::string> ReferenceTexts(const std::vector<CardIdentity>& identities, const CReferenceDigest& digest) {
    // The empty fields are views between the commas of one text, as the record reader's would be.
    static constexpr char kCommas[kFieldCount] = {',', ',', ',', ',', ',', ',', ',', ',',
                                                  ',', ',', ',', ',', ',', ',', ',', ','};
    std::string_view records[2][kFieldCount];
    for (auto& record : records) {
        for (int position = 0; position < kFieldCount; ++position) record[position] = {kCommas + position, 0};
    }
    // The line of such a record begins ",a2,,": its reference fields follow.
    constexpr std::size_t kReferenceAt = 5;
    char lines[2][kRecordCharge];
    std::vector<std::string> references;
    for (std::size_t i = 0; i < identities.size(); i += 2) {
        const std::size_t count = std::min<std::size_t>(2, identities.size() - i);
        for (std::size_t j = 0; j < count; ++j) {
            records[j][kFieldCardSymbol] = identities[i + j].symbol;
            records[j][kFieldCardNumber] = identities[i + j].number;
        }
        if (count == 2) {
            std::size_t lengths[2];
            ComposeOutputLinePair(records[0], records[1], digest, lines[0], lines[1], lengths);
        } else {
            ComposeOutputLine(records[0], digest, lines[0]);
        }
        for (std::size_t j = 0; j < count; ++j) {
            const char* reference = lines[j] + kReferenceAt;
            references.push_back(std::string(reference, kReferenceHalf) +
                                 std::string(reference + kReferenceHalf + 1, kReferenceHalf));
        }
    }
    return references;
}
