// Windows only: the conversions of UTF-16 from the system to code page 932, plain and exact, shared
// by the platform layer and the dialog's wrappers.
#pragma once

#include <string>

namespace platform {

// UTF-16 from the system (names, folders, texts shown) to code page 932; a character that code page
// 932 lacks becomes a look-alike or '?'.
std::string ToCp932(const std::wstring& text);

// Code page 932 text of a UTF-16 text that has no character code page 932 lacks (no best fit, no
// default character); false otherwise: such a path, narrowed, would name another file or none.
bool ExactCp932(const std::wstring& text, std::string& out);

// A path from the system as code page 932 text that names the same entry: the path itself when code
// page 932 holds it, else its short (8.3) form (for a path whose last parts do not exist yet, that
// of its longest existing part, the rest kept). False when neither can be held: the volume keeps no
// short names, or a part still to be made has such a character.
bool Cp932Path(const std::wstring& path, std::string& out);

}  // namespace platform
