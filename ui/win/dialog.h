// A modal dialog made from a dialog template of the program's resources. The dialog procedure
// stores `this` at WM_INITDIALOG and hands every later message to the derived class's message map
// (CMappedDialog). The dialog's own thread runs all of it; another thread has work done there with
// OnDialogThread.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>

#include "ui/win/message_map.h"
#include "ui/win/window.h"

class CDialog : public CWindow {
public:
    explicit CDialog(int templateId) : m_templateId(templateId) {}
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Creates the dialog and runs it until EndDialog; returns the code given to EndDialog, or -1
    // when the dialog could not be created. owner may be null.
    INT_PTR DoModal(HWND owner = nullptr);
    void EndDialog(int result) const { ::EndDialog(m_hwnd, result); }
    // A rectangle in dialog units of the template's font, in pixels of the client area.
    PixelRect MapDialogRect(int x, int y, int width, int height) const {
        RECT rect{x, y, x + width, y + height};
        ::MapDialogRect(m_hwnd, &rect);
        return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    }

    // Carries work out on the dialog's thread and waits for it: at once when called there, else
    // through a message sent to the dialog. Nothing is done once the window is gone.
    void OnDialogThread(const std::function<void()>& work) const;

protected:
    // The base set-up: fills the controls from the template's initialisation data (their list
    // entries). True lets the system set the initial focus.
    virtual bool OnInitDialog();
    // The derived class's message map; IDOK and IDCANCEL that it does not handle end the dialog.
    virtual Dispatched Dispatch(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // An exception that a handler let escape; it must not unwind through the window system.
    virtual void OnUncaughtException(std::exception_ptr) {}

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void ExecuteDlgInit() const;

    int m_templateId;
    DWORD m_threadId = 0;
};

// A dialog whose messages go to T::MessageMap() (a span of MessageMapEntry<T>).
template <class T>
class CMappedDialog : public CDialog {
protected:
    using CDialog::CDialog;
    Dispatched Dispatch(UINT message, WPARAM wParam, LPARAM lParam) override {
        return DispatchMessageMap<T>(static_cast<T&>(*this), T::MessageMap(), message, wParam, lParam);
    }
};
