// The one place where the dialog's texts cross into the wide (UTF-16) Win32 API: code page 932 byte
// strings in, code page 932 out, whatever the system's ANSI code page is. Any thread may call.
#pragma once

#include <string>

// Code page 932 to UTF-16; a byte that is no character of code page 932 becomes the system's
// replacement for it.
std::wstring ToWide(const std::string& text);
// UTF-16 to code page 932; a character that code page 932 lacks becomes a look-alike or '?'. For
// texts shown to the user.
std::string FromWide(const std::wstring& text);
