// Painting a window in answer to WM_PAINT: BeginPaint in the constructor, EndPaint in the destructor.
#pragma once

#include <windows.h>

#include "ui/win/window.h"

class CPaintDC {
public:
    explicit CPaintDC(const CWindow& window) : m_window(window.Handle()) { m_dc = BeginPaint(m_window, &m_paint); }
    ~CPaintDC() { EndPaint(m_window, &m_paint); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    // Has the window erase the background of its minimised icon on this device context.
    void EraseIconBackground() const { SendMessageW(m_window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(m_dc), 0); }
    void DrawIcon(int x, int y, HICON icon) const { ::DrawIcon(m_dc, x, y, icon); }

private:
    HWND m_window;
    PAINTSTRUCT m_paint{};
    HDC m_dc;
};
