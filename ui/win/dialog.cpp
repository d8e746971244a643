#include "ui/win/dialog.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "ui/win/wide_text.h"

namespace {

// The message that carries a piece of work from another thread; its LPARAM points to the work.
constexpr UINT kWmDialogThreadWork = WM_APP + 1;

// The resource type of a dialog's initialisation data, stored under the dialog's own ID.
constexpr WORD kDialogInitResourceType = 240;
// Its one kind of entry that we use: add a code page 932 text to a combo box's list.
constexpr WORD kDialogInitComboAddString = 0x0403;

}  // namespace

INT_PTR CDialog::DoModal(HWND owner) {
    return DialogBoxParamW(ResourceInstance(), MAKEINTRESOURCEW(m_templateId), owner, &CDialog::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void CDialog::OnDialogThread(const std::function<void()>& work) const {
    if (GetCurrentThreadId() == m_threadId) {
        work();
        return;
    }
    SendMessageW(m_hwnd, kWmDialogThreadWork, 0, reinterpret_cast<LPARAM>(&work));
}

bool CDialog::OnInitDialog() {
    ExecuteDlgInit();
    return true;
}

void CDialog::ExecuteDlgInit() const {
    // Entries: control ID (16 bits), message (16 bits), length (32 bits), that many bytes of data;
    // a control ID of 0 ends the list.
    HRSRC found =
        FindResourceW(ResourceInstance(), MAKEINTRESOURCEW(m_templateId), MAKEINTRESOURCEW(kDialogInitResourceType));
    if (found == nullptr) return;
    const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(ResourceInstance(), found)));
    const DWORD size = SizeofResource(ResourceInstance(), found);
    if (data == nullptr) return;
    for (DWORD pos = 0; pos + 8 <= size;) {
        WORD id = 0;
        WORD message = 0;
        std::uint32_t length = 0;
        std::memcpy(&id, data + pos, 2);
        if (id == 0) break;
        std::memcpy(&message, data + pos + 2, 2);
        std::memcpy(&length, data + pos + 4, 4);
        pos += 8;
        if (pos + length > size) break;
        if (message == kDialogInitComboAddString) {
            std::string text(reinterpret_cast<const char*>(data + pos), length);
            text = text.c_str();  // the data ends with its terminating NUL
            SendDlgItemMessageW(m_hwnd, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(text).c_str()));
        }
        pos += length;
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self = message == WM_INITDIALOG ? reinterpret_cast<CDialog*>(lParam)
                                             : reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    try {
        return self->HandleMessage(window, message, wParam, lParam);
    } catch (...) {
        self->OnUncaughtException(std::current_exception());
        return TRUE;
    }
}

INT_PTR CDialog::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        m_hwnd = window;
        m_threadId = GetCurrentThreadId();
        return OnInitDialog() ? TRUE : FALSE;
    }
    if (message == kWmDialogThreadWork) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return TRUE;
    }
    const Dispatched done = Dispatch(message, wParam, lParam);
    if (!done.handled) {
        const bool closeButton = message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED &&
                                 (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL);
        if (closeButton) ::EndDialog(window, LOWORD(wParam));
        return closeButton ? TRUE : FALSE;
    }
    // These few messages take the dialog procedure's own result; all others take DWLP_MSGRESULT.
    if (message == WM_QUERYDRAGICON) return static_cast<INT_PTR>(done.result);
    SetWindowLongPtrW(window, DWLP_MSGRESULT, done.result);
    return TRUE;
}
