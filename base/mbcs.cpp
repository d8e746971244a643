#include "base/mbcs.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// The length of the character that starts at pos: 2 for a lead byte followed by another byte, else 1.
// A lead byte at the very end of a text stands alone.
std::size_t CharLength(const std::string& text, std::size_t pos) {
    return IsLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() ? 2 : 1;
}

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::size_t FindText(const std::string& text, const std::string& needle, std::size_t from) {
    if (needle.empty()) return from <= text.size() ? from : std::string::npos;
    for (std::size_t pos = from; pos + needle.size() <= text.size(); pos += CharLength(text, pos)) {
        if (text.compare(pos, needle.size(), needle) == 0) return pos;
    }
    return std::string::npos;
}

std::size_t FindChar(const std::string& text, char c, std::size_t from) {
    for (std::size_t pos = from; pos < text.size(); pos += CharLength(text, pos)) {
        if (text[pos] == c) return pos;
    }
    return std::string::npos;
}

std::size_t FindLastChar(const std::string& text, char c) {
    std::size_t found = std::string::npos;
    for (std::size_t pos = 0; pos < text.size(); pos += CharLength(text, pos)) {
        if (text[pos] == c) found = pos;
    }
    return found;
}

std::string ToUpperAscii(std::string text) {
    for (std::size_t pos = 0; pos < text.size(); pos += CharLength(text, pos)) {
        text[pos] = UpperAscii(text[pos]);
    }
    return text;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    // While the texts agree, their character boundaries agree too, so one walk serves both.
    for (std::size_t pos = 0; pos < a.size();) {
        std::size_t length = CharLength(a, pos);
        if (length == 1) {
            if (UpperAscii(a[pos]) != UpperAscii(b[pos])) return false;
        } else if (a.compare(pos, 2, b, pos, 2) != 0) {
            return false;
        }
        pos += length;
    }
    return true;
}

bool MatchesPattern(const std::string& pattern, const std::string& name) {
    std::string wanted = ToUpperAscii(pattern);
    std::string text = ToUpperAscii(name);
    // Greedy walk that returns to the last '*' on a mismatch and lets it take one byte more.
    std::size_t p = 0, t = 0, star = std::string::npos, resume = 0;
    while (t < text.size()) {
        if (p < wanted.size() && (wanted[p] == '?' || wanted[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < wanted.size() && wanted[p] == '*') {
            star = p++;
            resume = t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < wanted.size() && wanted[p] == '*') ++p;
    return p == wanted.size();
}

void SortNamesCaseBlind(std::vector<std::string>& names) {
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(names.size());
    for (auto& name : names) keyed.emplace_back(ToUpperAscii(name), std::move(name));
    std::sort(keyed.begin(), keyed.end());
    names.clear();
    for (auto& entry : keyed) names.push_back(std::move(entry.second));
}

int SplitViews(std::string_view text, char separator, std::string_view* pieces, int capacity) {
    int count = 0;
    std::size_t start = 0;
    const auto piece = [&](std::size_t end) {
        if (count < capacity) pieces[count] = text.substr(start, end - start);
        ++count;
        start = end + 1;
    };
    const char* bytes = text.data();
    const std::size_t size = text.size();
    // Eight bytes at a time while they are all ASCII: no such byte is a lead byte, so a run of them
    // that starts at a character boundary holds single-byte characters only.
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    constexpr std::uint64_t kLowBits = 0x7F7F7F7F7F7F7F7FULL;
    const std::uint64_t separators = kOnes * static_cast<unsigned char>(separator);
    const bool wordwise = std::endian::native == std::endian::little && static_cast<unsigned char>(separator) < 0x80;
    for (std::size_t pos = 0; pos < size;) {
        if (wordwise && pos + 8 <= size) {
            std::uint64_t word;
            std::memcpy(&word, bytes + pos, sizeof word);
            if ((word & kHighBits) == 0) {
                const std::uint64_t x = word ^ separators;  // a zero byte where a separator is
                std::uint64_t hits = ~((((x & kLowBits) + kLowBits) | x)) & kHighBits;
                while (hits != 0) {
                    piece(pos + static_cast<std::size_t>(std::countr_zero(hits) / 8));
                    hits &= hits - 1;
                }
                pos += 8;
                continue;
            }
        }
        const char c = bytes[pos];
        if (c == separator) {
            piece(pos);
            ++pos;
        } else {
            pos += IsLeadByte(static_cast<unsigned char>(c)) && pos + 1 < size ? 2 : 1;
        }
    }
    if (count < capacity) pieces[count] = text.substr(start);
    return count + 1;
}
