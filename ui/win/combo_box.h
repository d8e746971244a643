// A combo box (here a drop-down list), texts in code page 932.
#pragma once

#include <windows.h>

#include <string>

#include "ui/win/wide_text.h"
#include "ui/win/window.h"

class CComboBox : public CWindow {
public:
    using CWindow::CWindow;
    int GetCount() const { return static_cast<int>(SendMessageW(m_hwnd, CB_GETCOUNT, 0, 0)); }
    // The selected entry's index, -1 for none.
    int GetCurSel() const { return static_cast<int>(SendMessageW(m_hwnd, CB_GETCURSEL, 0, 0)); }
    void SetCurSel(int index) const { SendMessageW(m_hwnd, CB_SETCURSEL, index, 0); }
    std::string ItemText(int index) const {
        std::wstring text(static_cast<std::size_t>(SendMessageW(m_hwnd, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
        SendMessageW(m_hwnd, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
        return FromWide(text.c_str());
    }
};
