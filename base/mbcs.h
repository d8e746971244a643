// Code page 932 (Shift_JIS) byte-string helpers. Searches match only at character boundaries, so
// the second byte of a double-byte character (which may be 0x5C, the backslash) is never taken
// for the character searched for.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// True for the first byte of a double-byte character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
// The length of the character that starts at pos: 2 for a lead byte followed by another byte, else 1.
// A lead byte at the very end of a text stands alone.
inline std::size_t CharLength(const std::string& text, std::size_t pos) {
    return IsLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() ? 2 : 1;
}

// First occurrence of needle at or after from (a character boundary), or std::string::npos.
std::size_t FindText(const std::string& text, const std::string& needle, std::size_t from = 0);
// Last occurrence of a single-byte character, or std::string::npos.
std::size_t FindLastChar(const std::string& text, char c);
// Letters a-z to A-Z; double-byte characters are left alone.
std::string ToUpperAscii(std::string text);
// Compares two texts whole, letters without regard to case (double-byte characters compared as they
// are). True when equal; texts of different lengths are not. (A prefix test passes the first n bytes.)
bool EqualsIgnoreCase(const std::string& a, const std::string& b);
// True when name matches a file-name pattern: '*' any run of bytes, '?' any one byte, letters
// without regard to case (the trail bytes of double-byte characters compared as they are).
bool MatchesPattern(const std::string& pattern, const std::string& name);

// True when text is not empty and holds ASCII digits alone.
bool AllDigits(std::string_view text);

// Name order as a case-blind file system keeps it: by upper-cased name, real names breaking ties.
void SortNamesCaseBlind(std::vector<std::string>& names);

// Splits text at every separator that stands at a character boundary, empty pieces kept, as views
// into text. Stores the first capacity pieces and returns the number of pieces there are.
int SplitViews(std::string_view text, char separator, std::string_view* pieces, int capacity);

// text on one line: a run of line breaks (CR LF, LF, CR) becomes nothing after a full stop "。" and
// a blank after any other character; at either end of the text, nothing.
std::string OnOneLine(const std::string& text);
