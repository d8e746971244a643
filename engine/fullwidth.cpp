#include "engine/fullwidth.h"

#include <cstdint>

namespace {

#include "engine/fullwidth_table.inc"

// A lead byte followed by anything else does not form a character: the lead byte is then mapped
// as a lone lead byte (like one at the end of the text) and the next byte is taken on its own.
// This is also what a NUL-terminated call sees when the text ends in a lead byte.
constexpr bool IsTrailByte(std::uint8_t b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

inline std::uint16_t MapDoubleByte(std::uint16_t code) {
    const std::uint8_t page = kDoubleBytePageOf[code >> 8];
    if (page == 0) return code;
    const std::uint16_t rewritten = kDoubleBytePages[page][code & 0xFF];
    return rewritten != 0 ? rewritten : code;
}

// The character that base becomes with a sound mark after it (semiVoiced selects the mark), or 0.
inline std::uint16_t Compose(std::uint16_t base, int semiVoiced) {
    if (base < kComposeFirst || base > kComposeLast) return 0;
    return kCompose[base - kComposeFirst][semiVoiced];
}

// Writes both bytes whatever the code's length (out has room: no character grows beyond two
// bytes, and a one-byte one leaves the second to be overwritten), without a branch.
inline void Append(char* out, std::size_t& size, std::uint16_t code) {
    const bool wide = code > 0xFF;
    out[size] = static_cast<char>(wide ? code >> 8 : code);
    out[size + 1] = static_cast<char>(code & 0xFF);
    size += wide ? 2 : 1;
}

}  // namespace

// A NUL byte maps to itself and the text goes on; only the bytes before the first NUL are digested,
// so what follows it cannot change a reference number.
std::string ToFullWidth(const std::string& text) {
    std::string out(2 * text.size(), '\0');  // every byte grows to two at most
    out.resize(ToFullWidth(text.data(), text.size(), out.data()));
    return out;
}

std::size_t ToFullWidth(const char* text, std::size_t n, char* out) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(text);
    std::size_t size = 0;
    // The last output character: a sound mark composes with what was written, not with what was
    // read. No character composes with code 0, which stands for none yet.
    std::size_t lastStart = 0;
    std::uint16_t lastCode = 0;
    // The sound mark a byte kind stands for: -1 none, 0 voiced, 1 semi-voiced.
    constexpr int kMarkOfKind[4] = {-1, -1, 0, 1};

    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t b = p[i];
        std::uint16_t code = kSingleByteOutput[b];
        int mark = kMarkOfKind[kByteKind[b]];
        ++i;
        if (kByteKind[b] == kLeadByte && i < n && IsTrailByte(p[i])) {
            code = static_cast<std::uint16_t>((b << 8) | p[i]);
            ++i;
            if (code == kVoicedMark) {
                mark = 0;
            } else if (code == kSemiVoicedMark) {
                mark = 1;
            } else {
                code = MapDoubleByte(code);
            }
        }
        // (A lone lead byte keeps its single-byte output.)
        if (mark >= 0) {
            const std::uint16_t composed = Compose(lastCode, mark);
            if (composed != 0) {
                size = lastStart;
                Append(out, size, composed);
                lastCode = composed;
                continue;
            }
            code = mark == 0 ? kVoicedMark : kSemiVoicedMark;
        }
        lastStart = size;
        lastCode = code;
        Append(out, size, code);
    }
    return size;
}
