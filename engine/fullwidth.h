// The half-width to full-width mapping of code page 932 text, from one fixed table compiled into the
// program, the same on every machine and whatever the system's locale or code page. It gives what a
// Japanese Windows 10/11 gives for LCMapStringA(LCMAP_FULLWIDTH): ASCII and half-width katakana
// widened, sound marks composed with the character before them, double-byte codes with two forms
// rewritten to the preferred one.
#pragma once

#include <cstddef>
#include <string>

std::string ToFullWidth(const std::string& text);
// The same for the length bytes at text, written to out, which has room for 2 x length bytes (no
// character grows beyond two). Returns the bytes written.
std::size_t ToFullWidth(const char* text, std::size_t length, char* out);
