// A status-bar control at the bottom of its parent, divided into panes.
#pragma once

#include <windows.h>
// (windows.h first: the headers below need its types.)
#include <commctrl.h>

#include <vector>

#include "ui/win/window.h"

class CStatusBar : public CWindow {
public:
    // Creates the bar along the bottom edge of parent's client area.
    void Create(const CWindow& parent, int id) {
        m_hwnd =
            CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | CCS_BOTTOM, 0, 0, 0, 0, parent.Handle(),
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ResourceInstance(), nullptr);
    }
    // Places the bar again along the bottom of its parent (after the parent changed its size).
    void Layout() const { SendMessageW(m_hwnd, WM_SIZE, 0, 0); }
    // The right edge of each pane in pixels; -1 for a pane that reaches the right end.
    void SetPanes(const std::vector<int>& rightEdges) const {
        SendMessageW(m_hwnd, SB_SETPARTS, rightEdges.size(), reinterpret_cast<LPARAM>(rightEdges.data()));
    }
    // A pane's rectangle in the bar's client coordinates.
    PixelRect PaneRect(int pane) const {
        RECT rect{};
        SendMessageW(m_hwnd, SB_GETRECT, pane, reinterpret_cast<LPARAM>(&rect));
        return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    }
};
