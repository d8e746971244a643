// A window handle with the few operations the dialogs use, texts in code page 932. Holds no
// ownership: the window system (or the dialog that made the window) destroys it. Calls on another
// thread's window are sent to that thread by the window system and wait for it.
#pragma once

#include <windows.h>

#include <string>

// A rectangle in pixels of a window's client area: left, top, width, height.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class CWindow {
public:
    CWindow() = default;
    explicit CWindow(HWND window) : m_hwnd(window) {}

    HWND Handle() const { return m_hwnd; }
    void Attach(HWND window) { m_hwnd = window; }
    bool IsValid() const { return m_hwnd != nullptr && IsWindow(m_hwnd); }

    // The child with this control ID (an invalid window when there is none).
    CWindow Item(int id) const { return CWindow(GetDlgItem(m_hwnd, id)); }

    std::string GetText() const;
    void SetText(const std::string& text) const;

    void Enable(bool enable) const { EnableWindow(m_hwnd, enable ? TRUE : FALSE); }
    bool IsEnabled() const { return IsWindowEnabled(m_hwnd) != FALSE; }
    void Show(bool show) const { ShowWindow(m_hwnd, show ? SW_SHOW : SW_HIDE); }
    bool IsVisible() const { return IsWindowVisible(m_hwnd) != FALSE; }
    bool IsMinimized() const { return IsIconic(m_hwnd) != FALSE; }

    PixelRect ClientRect() const;
    // The DPI the window is laid out at: the system's for a system-aware program (Windows 10 tells
    // the window's own where it can).
    int Dpi() const;
    // A length designed in pixels at 96 DPI, at the window's DPI.
    int ScaleToDpi(int pixelsAt96Dpi) const { return MulDiv(pixelsAt96Dpi, Dpi(), kDesignDpi); }
    static constexpr int kDesignDpi = 96;
    // This window's rectangle in its parent's client coordinates.
    PixelRect RectInParent() const;
    void Move(const PixelRect& rect, bool repaint) const {
        MoveWindow(m_hwnd, rect.x, rect.y, rect.width, rect.height, repaint ? TRUE : FALSE);
    }
    void SetParent(const CWindow& parent) const { ::SetParent(m_hwnd, parent.m_hwnd); }

    // Gives this window the font of another (controls made at run time start with the system's).
    void UseFontOf(const CWindow& other) const {
        SendMessageW(m_hwnd, WM_SETFONT, static_cast<WPARAM>(SendMessageW(other.m_hwnd, WM_GETFONT, 0, 0)), TRUE);
    }
    void SetIcon(HICON icon, bool big) const {
        SendMessageW(m_hwnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }

    // Posts (does not wait for) a message of no arguments, such as WM_CLOSE.
    void Post(UINT message) const { PostMessageW(m_hwnd, message, 0, 0); }

protected:
    HWND m_hwnd = nullptr;
};

// A string of the program's string table, code page 932; the empty text when it has none.
std::string LoadResourceString(int id);
// An icon of the program's resources at the system's large icon size.
HICON LoadResourceIcon(int id);
// The module the program's resources are in (the executable).
HINSTANCE ResourceInstance();
