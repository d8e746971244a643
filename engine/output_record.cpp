#include "engine/output_record.h"

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

// The 80 characters of the two reference fields: the digest of the trimmed, widened identity,
// padded with "0" (all "0" when the digest refuses).
void ReferenceText(std::string_view symbol, std::string_view number, const CReferenceDigest& digest,
                   char reference[kReferenceLength]) {
    // Checked records fit the buffers on the stack; anything longer (a caller that did not check)
    // takes the heap.
    constexpr std::size_t kIdentityRoom = 2 * 40;
    char identityRoom[kIdentityRoom];
    char wideRoom[2 * kIdentityRoom];
    std::string large;
    const std::size_t room = symbol.size() + number.size();
    char* identity = identityRoom;
    char* wide = wideRoom;
    if (room > kIdentityRoom) {
        large.resize(3 * room);
        identity = large.data();
        wide = identity + room;
    }
    std::size_t length = TrimInto(symbol, identity);
    length += TrimInto(number, identity + length);
    // Half-width and full-width entries of the same letters and digits give the same reference.
    const std::size_t wideLength = ToFullWidth(identity, length, wide);
    const std::size_t hex = digest.HexDigest(wide, wideLength, reference);
    std::memset(reference + hex, '0', kReferenceLength - hex);
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
    char reference[kReferenceLength];
    ReferenceText(fields[kFieldCardSymbol], fields[kFieldCardNumber], digest, reference);
    for (int position = 0; position < kFieldCount; ++position) {
        if (position > 0) *out++ = ',';
        switch (position) {
            case kFieldRemarks: put(kRemarksCode); break;
            case kFieldCardSymbol: put(std::string_view(reference, kReferenceHalf)); break;
            case kFieldCardNumber: put(std::string_view(reference + kReferenceHalf, kReferenceHalf)); break;
            case kFieldDecidedPoints: padded(fields[position], kDecidedPointsWidth); break;
            case kFieldMealAmount: padded(fields[position], kMealAmountWidth); break;
            default: put(fields[position]); break;
        }
    }
    *out++ = '\r';
    *out++ = '\n';
    return static_cast<std::size_t>(out - start);
}
