// Subclasses a control so that the messages of T's message map (T::MessageMap()) reach T first; a
// handler that returns true keeps the message from the control, false passes it on.
#pragma once

#include <windows.h>
// (windows.h first: the headers below need its types.)
#include <commctrl.h>

#include "ui/win/message_map.h"

template <class T>
class CMessageFilter {
protected:
    void InstallFilter(HWND control) {
        SetWindowSubclass(control, &CMessageFilter::FilterProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }

private:
    static constexpr UINT_PTR kSubclassId = 1;

    static LRESULT CALLBACK FilterProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR data) {
        T& self = static_cast<T&>(*reinterpret_cast<CMessageFilter*>(data));
        const Dispatched done = DispatchMessageMap<T>(self, T::MessageMap(), message, wParam, lParam);
        return done.handled ? done.result : DefSubclassProc(control, message, wParam, lParam);
    }
};
