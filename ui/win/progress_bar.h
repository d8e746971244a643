// A progress-bar control.
#pragma once

#include <windows.h>
// (windows.h first: the headers below need its types.)
#include <commctrl.h>

#include "ui/win/window.h"

class CProgressBar : public CWindow {
public:
    void Create(const CWindow& parent, DWORD style, const PixelRect& rect, int id) {
        m_hwnd =
            CreateWindowExW(0, PROGRESS_CLASSW, L"", style, rect.x, rect.y, rect.width, rect.height, parent.Handle(),
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ResourceInstance(), nullptr);
    }
    void SetRange(int low, int high) const { SendMessageW(m_hwnd, PBM_SETRANGE, 0, MAKELPARAM(low, high)); }
    void SetPos(int position) const { SendMessageW(m_hwnd, PBM_SETPOS, position, 0); }
    int GetPos() const { return static_cast<int>(SendMessageW(m_hwnd, PBM_GETPOS, 0, 0)); }
};
