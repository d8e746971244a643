#include "base/mbcs.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::size_t FindText(const std::string& text, const std::string& needle, std::size_t from) {
    if (needle.empty()) return from <= text.size() ? from : std::string::npos;
    for (std::size_t pos = from; pos + needle.size() <= text.size(); pos += CharLength(text, pos)) {
        if (text.compare(pos, needle.size(), needle) == 0) return pos;
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

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void SortNamesCaseBlind(std::vector<std::string>& names) {
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(names.size());
    for (auto& name : names) keyed.emplace_back(ToUpperAscii(name), std::move(name));
    std::sort(keyed.begin(), keyed.end());
    names.clear();
    for (auto& entry : keyed) names.push_back(std::move(entry.second));
}

#if defined(__SSE2__)
namespace {
// Bit i set where bytes[pos + i] is mark, for the (up to) 64 bytes from pos before size.
inline std::uint64_t MarkBits(const unsigned char* bytes, std::size_t size, std::size_t pos, unsigned char mark) {
    const __m128i marks = _mm_set1_epi8(static_cast<char>(mark));
    const auto compare = [&marks](const unsigned char* at) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, marks))));
    };
    std::uint64_t bits = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t at = pos + 16 * static_cast<std::size_t>(part);
        if (at >= size) break;
        std::uint64_t found = 0;
        if (at + 16 <= size) {
            found = compare(bytes + at);
        } else if (size >= 16) {
            // The last sixteen bytes, shifted so that those already seen fall out.
            found = compare(bytes + size - 16) >> (at + 16 - size);
        } else {
            for (std::size_t i = at; i < size; ++i) found |= std::uint64_t{bytes[i] == mark} << (i - at);
        }
        bits |= found << (16 * part);
    }
    return bits;
}
}  // namespace
#endif

int SplitViews(std::string_view text, char separator, std::string_view* pieces, int capacity) {
    int count = 0;
    std::size_t start = 0;
    const auto piece = [&](std::size_t end) {
        if (count < capacity) pieces[count] = text.substr(start, end - start);
        ++count;
        start = end + 1;
    };
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    const auto mark = static_cast<unsigned char>(separator);
#if defined(__SSE2__)
    if (mark != 0 && mark < 0x40) {
        // Below 0x40 a separator byte is never the second byte of a character, so every separator
        // byte is found 64 at a time, and one stands at a character boundary unless a lead byte
        // takes it. That is decided by the run of bytes of lead-byte value before it: the byte
        // before that run ends a character, and the run pairs off from there, so an odd run ends
        // in a lead byte that takes the separator. Runs of lead-byte values are rare and short.
        const auto taken = [bytes](std::size_t pos) {
            std::size_t run = 0;
            while (pos > run && IsLeadByte(bytes[pos - run - 1])) ++run;
            return run % 2 == 1;
        };
        for (std::size_t pos = 0; pos < size; pos += 64) {
            for (std::uint64_t hits = MarkBits(bytes, size, pos, mark); hits != 0; hits &= hits - 1) {
                const std::size_t at = pos + static_cast<std::size_t>(std::countr_zero(hits));
                if (at == 0 || !IsLeadByte(bytes[at - 1]) || !taken(at)) piece(at);
            }
        }
        if (count < capacity) pieces[count] = text.substr(start);
        return count + 1;
    }
#endif
    for (std::size_t pos = 0; pos < size;) {
        if (bytes[pos] == mark) {
            piece(pos);
            ++pos;
        } else {
            pos += IsLeadByte(bytes[pos]) && pos + 1 < size ? 2 : 1;
        }
    }
    if (count < capacity) pieces[count] = text.substr(start);
    return count + 1;
}

std::string OnOneLine(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    bool broken = false;    // a line break since the last character
    bool fullStop = false;  // the last character was a full stop
    for (std::size_t pos = 0; pos < text.size();) {
        if (text[pos] == '\r' || text[pos] == '\n') {
            broken = true;
            ++pos;
            continue;
        }
        if (broken && !line.empty() && !fullStop) line += ' ';
        broken = false;
        const std::size_t length = CharLength(text, pos);
        fullStop = text.compare(pos, length, "。") == 0;
        line.append(text, pos, length);
        pos += length;
    }
    return line;
}
