#include "ui/win/win32_dialog_services.h"

#include <windows.h>

#include "engine/messages.h"
#include "platform/platform.h"
#include "support/log_file.h"
#include "ui/win/file_chooser.h"
#include "ui/win/folder_browser.h"
#include "ui/win/wide_text.h"

bool CWin32DialogServices::ShowMessage(const std::string& text, MessageKind kind) {
    UINT style = MB_OK | MB_ICONEXCLAMATION;
    const char* caption = kCaptionError;
    if (kind == MessageKind::Question) {
        style = MB_YESNO | MB_ICONQUESTION;
        caption = kCaptionConfirm;
    } else if (kind == MessageKind::Stop) {
        style = MB_OK | MB_ICONHAND;
    }
    return MessageBoxW(Owner(), ToWide(text).c_str(), ToWide(caption).c_str(), style) == IDYES;
}

std::optional<std::string> CWin32DialogServices::BrowseForFolder(const std::string& title, const std::string& initial,
                                                                 bool newDialogStyle) {
    return ::BrowseForFolder(CWindow(Owner()), title, initial, newDialogStyle);
}

std::optional<std::string> CWin32DialogServices::ChooseFile(const std::string& title, const std::string& filterName,
                                                            const std::string& pattern) {
    return ChooseFileToOpen(CWindow(Owner()), title, filterName, pattern);
}

void CWin32DialogServices::ShowNotice(const std::string& caption, const std::string& text, bool warning) {
    // Owned by the window open over the dialog (its owner, disabled meanwhile, would be enabled
    // again by the box's end while that window is still open).
    const HWND owner = Owner() != nullptr ? GetLastActivePopup(Owner()) : nullptr;
    MessageBoxW(owner, ToWide(text).c_str(), ToWide(caption).c_str(),
                MB_OK | (warning ? MB_ICONEXCLAMATION : MB_ICONINFORMATION));
}

void CWin32DialogServices::OpenReport(const std::string& path) { platform::OpenInTextEditor(path); }

std::vector<std::string> CWin32DialogServices::ProtectedFolders() { return platform::ProtectedFolders(); }

std::string CWin32DialogServices::LogFolder() { return DefaultLogFolder(); }

std::thread CWin32DialogServices::StartThread(std::function<void()> body) { return std::thread(std::move(body)); }

void CWin32DialogServices::EndProcess(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }
