#include "ui/win/window.h"

#include "ui/win/wide_text.h"

std::string CWindow::GetText() const {
    const int length = GetWindowTextLengthW(m_hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(m_hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return FromWide(text);
}

void CWindow::SetText(const std::string& text) const { SetWindowTextW(m_hwnd, ToWide(text).c_str()); }

PixelRect CWindow::ClientRect() const {
    RECT rect{};
    GetClientRect(m_hwnd, &rect);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

int CWindow::Dpi() const {
    // GetDpiForWindow came with Windows 10 (1607): looked up at run time, as Windows 7 lacks it.
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr && m_hwnd != nullptr) {
        if (const UINT dpi = getDpiForWindow(m_hwnd); dpi != 0) return static_cast<int>(dpi);
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kDesignDpi;
}

PixelRect CWindow::RectInParent() const {
    RECT rect{};
    GetWindowRect(m_hwnd, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(m_hwnd), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

HINSTANCE ResourceInstance() { return GetModuleHandleW(nullptr); }

std::string LoadResourceString(int id) {
    // With a zero length LoadStringW hands out a pointer to the resource's own text, which is not
    // terminated; its length is the result.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(ResourceInstance(), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) return std::string();
    return FromWide(std::wstring(text, static_cast<std::size_t>(length)));
}

HICON LoadResourceIcon(int id) { return LoadIconW(ResourceInstance(), MAKEINTRESOURCEW(id)); }
