// An edit control, texts in code page 932. A multi-line one can be given the select-all key
// (Ctrl+A), which the multi-line edit control of some Windows versions lacks; its copy key (Ctrl+C)
// is its own. The dialog's thread calls it.
#pragma once

#include <windows.h>

#include <span>

#include "ui/win/message_filter.h"
#include "ui/win/message_map.h"
#include "ui/win/window.h"

class CEditBox : public CWindow, private CMessageFilter<CEditBox> {
public:
    // Puts the key filter in front of the attached control, for its life.
    void AddSelectAllKey() { InstallFilter(m_hwnd); }
    void SelectAll() const { SendMessageW(m_hwnd, EM_SETSEL, 0, -1); }

private:
    friend class CMessageFilter<CEditBox>;
    static std::span<const MessageMapEntry<CEditBox>> MessageMap() {
        using T = CEditBox;
        static const MessageMapEntry<T> kMessageMap[] = {
            OnMessage<T>(WM_KEYDOWN, &T::OnKeyDown),
            OnMessage<T>(WM_CHAR, &T::OnChar),
        };
        return kMessageMap;
    }
    bool OnKeyDown(KeyDown key) {
        if (key.key != 'A' || GetKeyState(VK_CONTROL) >= 0) return false;
        SelectAll();
        return true;
    }
    // The character that Ctrl+A makes, which the control would answer with a beep.
    bool OnChar(KeyDown key) { return key.key == kCtrlA; }
    static constexpr unsigned kCtrlA = 0x01;
};
