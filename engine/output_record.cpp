#include "engine/output_record.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "engine/record_layout.h"
#include "base/mbcs.h"

namespace {

constexpr char kRemarksCode[] = "a2";
constexpr int kReferenceLength = 80;  // the 64 hex characters of the digest and 16 "0"
constexpr int kReferenceHalf = kReferenceLength / 2;
constexpr int kDecidedPointsWidth = 9;
constexpr int kMealAmountWidth = 8;

constexpr bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Writes text to out with every full-width space made a space, then trims white space at both
// ends; returns the bytes kept. out has room for text.size() bytes (nothing grows).
std::size_t TrimInto(std::string_view text, char* out) {
    std::size_t size = 0;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < n) {
            // A double-byte character is taken whole, so a second byte 0x40 after some other lead
            // byte is never read as half of a full-width space.
            if (static_cast<unsigned char>(c) == 0x81 && text[i + 1] == 0x40) {
                out[size++] = ' ';
            } else {
                out[size++] = c;
                out[size++] = text[i + 1];
            }
            ++i;
        } else {
            out[size++] = c;
        }
    }
    // No second byte of a double-byte character is white space (they are 0x40 and above), so the
    // ends can be trimmed byte by byte.
    std::size_t end = size;
    while (end > 0 && IsWhiteSpace(out[end - 1])) --end;
    std::size_t begin = 0;
    while (begin < end && IsWhiteSpace(out[begin])) ++begin;
    if (begin > 0) std::memmove(out, out + begin, end - begin);
    return end - begin;
}

// The part of text that TrimInto keeps, as it stands in text: the same after widening, since a
// full-width space inside it widens to what TrimInto makes of it (a space widens back). Only the
// ends are looked at. At the end, a 0x40 is the second half of a full-width space when the 0x81
// before it starts a character, which is so when the run of bytes of lead-byte value ending there
// is odd: the byte before that run ends a character and the run pairs off from it.
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

// The 80 characters of the two reference fields: the digest padded with "0" (all "0" when the
// digest refuses).
void ReferenceText(std::string_view symbol, std::string_view number, const CReferenceDigest& digest,
                   char reference[kReferenceLength]) {
    const WideIdentity identity(symbol, number);
    const std::size_t hex = digest.HexDigest(identity.data(), identity.size(), reference);
    std::memset(reference + hex, '0', kReferenceLength - hex);
}

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
        put(std::string_view(fields[first].data(),
                             fields[last].data() + fields[last].size() - fields[first].data()));
    };
    static_assert(kFieldRemarks == 1 && kFieldCardSymbol == 3 && kFieldCardNumber == 4 &&
                  kFieldDecidedPoints == 12 && kFieldMealAmount == 14 && kFieldCount == 16);
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

std::string TrimSpaces(const std::string& text) {
    std::string out(text.size(), '\0');
    out.resize(TrimInto(text, out.data()));
    return out;
}

std::string ZeroPadLeft(const std::string& text, const std::string& pad, int width) {
    const auto length = static_cast<std::ptrdiff_t>(text.size());
    if (length >= width) return text;
    const auto count = static_cast<std::size_t>(width - length);

    // The sign stays in front: -12 becomes -00000012, not 000000-12.
    const std::size_t at = !text.empty() && text[0] == '-' ? 1 : 0;
    std::string out;
    out.reserve(text.size() + count * pad.size());
    out.append(text, 0, at);
    for (std::size_t i = 0; i < count; ++i) out += pad;
    out.append(text, at, std::string::npos);
    return out;
}

std::string PadRight(const std::string& text, const std::string& pad, int width) {
    const auto length = static_cast<std::ptrdiff_t>(text.size());
    if (length >= width) return text;
    const auto count = static_cast<std::size_t>(width - length);

    std::string out;
    out.reserve(text.size() + count * pad.size());
    out += text;
    for (std::size_t i = 0; i < count; ++i) out += pad;
    return out;
}

std::string JoinFields(const std::vector<std::string>& fields) {
    if (fields.empty()) return std::string();
    std::size_t total = fields.size() + 1;  // the commas and CR LF
    for (const std::string& field : fields) total += field.size();

    std::string line;
    line.reserve(total);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        line += fields[i];
    }
    line += "\r\n";
    return line;
}

std::string BuildOutputLine(std::vector<std::string>& fields, const CReferenceDigest& digest) {
    // Writing a short record unconverted would put the identifying fields into the output.
    if (fields.size() != static_cast<std::size_t>(kFieldCount)) {
        throw std::invalid_argument("BuildOutputLine: a record of 16 fields is required");
    }
    char reference[kReferenceLength];
    ReferenceText(fields[kFieldCardSymbol], fields[kFieldCardNumber], digest, reference);
    fields[kFieldCardSymbol].assign(reference, kReferenceHalf);
    fields[kFieldCardNumber].assign(reference + kReferenceHalf, kReferenceHalf);
    fields[kFieldDecidedPoints] = ZeroPadLeft(fields[kFieldDecidedPoints], "0", kDecidedPointsWidth);
    fields[kFieldMealAmount] = ZeroPadLeft(fields[kFieldMealAmount], "0", kMealAmountWidth);
    fields[kFieldRemarks] = kRemarksCode;
    return JoinFields(fields);
}

std::size_t ComposeOutputLine(const std::string_view fields[kFieldCount], const CReferenceDigest& digest, char* out) {
    char reference[kReferenceLength];
    ReferenceText(fields[kFieldCardSymbol], fields[kFieldCardNumber], digest, reference);
    return WriteOutputLine(fields, reference, out);
}

std::size_t OutputLineLength(const std::string_view fields[kFieldCount]) {
    std::size_t length = (kFieldCount - 1) + 2;  // the commas and CR LF
    for (int position = 0; position < kFieldCount; ++position) {
        switch (position) {
            case kFieldRemarks: length += sizeof(kRemarksCode) - 1; break;
            case kFieldCardSymbol:
            case kFieldCardNumber: length += kReferenceHalf; break;
            case kFieldDecidedPoints: length += std::max<std::size_t>(fields[position].size(), kDecidedPointsWidth); break;
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
        const std::size_t hex = digest.HexDigestPair(identity0.data(), identity0.size(), reference0,
                                                     identity1.data(), identity1.size(), reference1);
        std::memset(reference0 + hex, '0', kReferenceLength - hex);
        std::memset(reference1 + hex, '0', kReferenceLength - hex);
    }
    lengths[0] = WriteOutputLine(fields0, reference0, out0);
    lengths[1] = WriteOutputLine(fields1, reference1, out1);
}
