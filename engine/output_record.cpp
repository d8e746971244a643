#include "engine/output_record.h"

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

// Appends TrimSpaces(text) to out without a temporary of its own.
void AppendTrimmed(std::string& out, const std::string& text) {
    const std::size_t start = out.size();
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < n) {
            // A double-byte character is taken whole, so a second byte 0x40 after some other lead
            // byte is never read as half of a full-width space.
            if (static_cast<unsigned char>(c) == 0x81 && text[i + 1] == 0x40) {
                out.push_back(' ');
            } else {
                out.push_back(c);
                out.push_back(text[i + 1]);
            }
            ++i;
        } else {
            out.push_back(c);
        }
    }
    // No second byte of a double-byte character is white space (they are 0x40 and above), so the
    // ends can be trimmed byte by byte.
    std::size_t end = out.size();
    while (end > start && IsWhiteSpace(out[end - 1])) --end;
    std::size_t begin = start;
    while (begin < end && IsWhiteSpace(out[begin])) ++begin;
    out.erase(end);
    out.erase(start, begin - start);
}

}  // namespace

std::string TrimSpaces(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    AppendTrimmed(out, text);
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

    std::string identity;
    identity.reserve(fields[kFieldCardSymbol].size() + fields[kFieldCardNumber].size());
    AppendTrimmed(identity, fields[kFieldCardSymbol]);
    AppendTrimmed(identity, fields[kFieldCardNumber]);
    // Half-width and full-width entries of the same letters and digits give the same reference.
    const std::string reference = PadRight(digest.HexDigest(ToFullWidth(identity)), "0", kReferenceLength);
    fields[kFieldCardSymbol].assign(reference, 0, kReferenceHalf);
    fields[kFieldCardNumber].assign(reference, kReferenceHalf, kReferenceHalf);

    fields[kFieldDecidedPoints] = ZeroPadLeft(fields[kFieldDecidedPoints], "0", kDecidedPointsWidth);
    fields[kFieldMealAmount] = ZeroPadLeft(fields[kFieldMealAmount], "0", kMealAmountWidth);
    fields[kFieldRemarks] = kRemarksCode;
    return JoinFields(fields);
}
