// The system menu of a window (the window's own copy, not the shared default).
#pragma once

#include <windows.h>

#include <string>

#include "ui/win/wide_text.h"
#include "ui/win/window.h"

class CSystemMenu {
public:
    explicit CSystemMenu(const CWindow& window) : m_menu(GetSystemMenu(window.Handle(), FALSE)) {}

    bool IsValid() const { return m_menu != nullptr; }
    // Inserts a command before the item with the command `before` (appended when there is none).
    void InsertItem(UINT before, UINT command, const std::string& text) const {
        InsertMenuW(m_menu, before, MF_BYCOMMAND | MF_STRING, command, ToWide(text).c_str());
    }
    void EnableItem(UINT command, bool enable) const {
        EnableMenuItem(m_menu, command, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED | MF_DISABLED));
    }
    // The item's state flags (MF_GRAYED, MF_DISABLED...), or -1 when there is no such command.
    int ItemState(UINT command) const { return static_cast<int>(GetMenuState(m_menu, command, MF_BYCOMMAND)); }
    std::string ItemText(UINT command) const {
        wchar_t text[256] = {};
        GetMenuStringW(m_menu, command, text, 256, MF_BYCOMMAND);
        return FromWide(text);
    }

private:
    HMENU m_menu;
};
