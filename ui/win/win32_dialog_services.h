// The program's answers to IDialogServices: real message boxes, folder browsers and file choosers
// owned by the dialog (a notice by the window the dialog has open over it), notepad for the report,
// the system's known folders, std::thread, ExitProcess.
#pragma once

#include "ui/dialog_services.h"
#include "ui/win/window.h"

class CWin32DialogServices : public IDialogServices {
public:
    // The window that owns the message boxes and browsers; its handle is read at each call, so it
    // may be given before the window exists.
    void SetOwner(const CWindow& owner) { m_owner = &owner; }

    bool ShowMessage(const std::string& text, MessageKind kind) override;
    std::optional<std::string> BrowseForFolder(const std::string& title, const std::string& initial,
                                               bool newDialogStyle) override;
    std::optional<std::string> ChooseFile(const std::string& title, const std::string& filterName,
                                          const std::string& pattern) override;
    void ShowNotice(const std::string& caption, const std::string& text, bool warning) override;
    void OpenReport(const std::string& path) override;
    std::vector<std::string> ProtectedFolders() override;
    std::string LogFolder() override;
    std::thread StartThread(std::function<void()> body) override;
    void EndProcess(int exitCode) override;

private:
    HWND Owner() const { return m_owner != nullptr ? m_owner->Handle() : nullptr; }

    const CWindow* m_owner = nullptr;
};
