#include "ui/win/wide_text.h"

#include <windows.h>

#include "platform/win32_text.h"

namespace {
constexpr UINT kCodePage = 932;
}  // namespace

std::wstring ToWide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length = static_cast<int>(text.size());
    const int count = MultiByteToWideChar(kCodePage, 0, text.data(), length, nullptr, 0);
    if (count <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(kCodePage, 0, text.data(), length, wide.data(), count);
    return wide;
}

std::string FromWide(const std::wstring& text) { return platform::ToCp932(text); }
