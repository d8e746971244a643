// Windows only: the exact conversion of UTF-16 from the system to code page 932, shared by the
// platform layer and the dialog's wrappers.
#pragma once

#include <string>

namespace platform {

// Code page 932 text of a UTF-16 text that has no character code page 932 lacks (no best fit, no
// default character); false otherwise: such a path, narrowed, would name another file or none.
bool ExactCp932(const std::wstring& text, std::string& out);

}  // namespace platform
