// cp932_literals IN OUT: copies a C++ source, writing every non-ASCII character inside a plain
// narrow string or character literal as the octal escapes of its code page 932 bytes. What GCC does
// with -fexec-charset=CP932, for clang, which knows no execution character set but UTF-8: the fuzz
// build compiles such copies, so its literals (the digest key among them) are the very bytes of the
// real program. Comments, prefixed literals (u8, u, U, L) and code are copied as they are; a
// "#line 1" keeps diagnostics and stack traces pointing at IN. Fails on a raw string literal or a
// character code page 932 cannot hold.
#include <iconv.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

bool IsIdentifierChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

// The code page 932 bytes of a UTF-8 run, each as a three-digit octal escape.
bool Cp932Escapes(const std::string& utf8, std::string& out) {
    iconv_t converter = iconv_open("CP932", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    std::string in = utf8;
    std::string bytes(in.size() * 2, '\0');
    char* from = in.data();
    std::size_t fromLeft = in.size();
    char* to = bytes.data();
    std::size_t toLeft = bytes.size();
    const bool ok = iconv(converter, &from, &fromLeft, &to, &toLeft) != static_cast<std::size_t>(-1);
    iconv_close(converter);
    if (!ok) return false;
    bytes.resize(bytes.size() - toLeft);
    for (unsigned char byte : bytes) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\%03o", byte);
        out += escape;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: cp932_literals IN OUT\n";
        return 2;
    }
    std::ifstream input(argv[1], std::ios::binary);
    std::stringstream buffer;
    buffer << input.rdbuf();
    const std::string source = buffer.str();
    if (!input) {
        std::cerr << argv[1] << ": cannot be read\n";
        return 1;
    }

    std::string out = "#line 1 \"" + std::string(argv[1]) + "\"\n";
    int line = 1;
    std::size_t i = 0;
    const std::size_t n = source.size();
    auto fail = [&](const std::string& what) {
        std::cerr << argv[1] << ":" << line << ": " << what << "\n";
        return 1;
    };
    while (i < n) {
        const char c = source[i];
        if (c == '\n') ++line;
        if (c == '/' && i + 1 < n && source[i + 1] == '/') {
            const std::size_t end = source.find('\n', i);
            const std::size_t stop = end == std::string::npos ? n : end;
            out.append(source, i, stop - i);
            i = stop;
        } else if (c == '/' && i + 1 < n && source[i + 1] == '*') {
            const std::size_t end = source.find("*/", i + 2);
            const std::size_t stop = end == std::string::npos ? n : end + 2;
            for (std::size_t k = i; k < stop; ++k) line += source[k] == '\n';
            out.append(source, i, stop - i);
            i = stop;
        } else if (c == '"' || c == '\'') {
            // The identifier or number just before: a literal's prefix, or a digit separator.
            std::size_t start = i;
            while (start > 0 && IsIdentifierChar(source[start - 1])) --start;
            const std::string prefix = source.substr(start, i - start);
            if (c == '\'' && !prefix.empty() && prefix[0] >= '0' && prefix[0] <= '9') {
                out += c;
                ++i;
                continue;
            }
            if (c == '"' && (prefix == "R" || prefix == "u8R" || prefix == "uR" || prefix == "UR" || prefix == "LR")) {
                return fail("raw string literals are not handled");
            }
            const bool plain = !(prefix == "u8" || prefix == "u" || prefix == "U" || prefix == "L");
            out += c;
            ++i;
            while (i < n && source[i] != c) {
                if (source[i] == '\n') return fail("unterminated literal");
                if (source[i] == '\\' && i + 1 < n) {
                    out.append(source, i, 2);
                    i += 2;
                } else if (plain && static_cast<unsigned char>(source[i]) >= 0x80) {
                    std::size_t end = i;
                    while (end < n && static_cast<unsigned char>(source[end]) >= 0x80) ++end;
                    if (!Cp932Escapes(source.substr(i, end - i), out)) return fail("no code page 932 form");
                    i = end;
                } else {
                    out += source[i++];
                }
            }
            if (i < n) out += source[i++];
        } else {
            out += c;
            ++i;
        }
    }

    std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
    output << out;
    if (!output) {
        std::cerr << argv[2] << ": cannot be written\n";
        return 1;
    }
    return 0;
}
