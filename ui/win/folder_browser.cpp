#include "ui/win/folder_browser.h"

#include <windows.h>
// (windows.h first: the headers below need its types.)
#include <shlobj.h>

#include "engine/messages.h"
#include "platform/win32_text.h"
#include "ui/win/wide_text.h"

namespace {

constexpr int kPathBufferSize = 1024;

// Selects the folder passed as data when the browser opens.
int CALLBACK BrowseCallbackProc(HWND browser, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data != 0) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

}  // namespace

std::optional<std::string> BrowseForFolder(const CWindow& owner, const std::string& title, const std::string& initial,
                                           bool newDialogStyle) {
    std::wstring wideTitle = ToWide(title);
    std::wstring wideInitial = ToWide(initial);
    wchar_t displayName[kPathBufferSize] = {};
    BROWSEINFOW info{};
    info.hwndOwner = owner.Handle();
    info.pszDisplayName = displayName;
    info.lpszTitle = wideTitle.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | (newDialogStyle ? BIF_NEWDIALOGSTYLE : 0);
    info.lpfn = &BrowseCallbackProc;
    info.lParam = reinterpret_cast<LPARAM>(wideInitial.c_str());

    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (chosen == nullptr) return std::nullopt;
    wchar_t path[kPathBufferSize] = {};
    const bool hasPath = SHGetPathFromIDListEx(chosen, path, kPathBufferSize, GPFIDL_DEFAULT) != FALSE;
    CoTaskMemFree(chosen);
    if (!hasPath) return std::nullopt;
    return ChosenPath(owner, path, "フォルダ");
}

std::optional<std::string> ChosenPath(const CWindow& owner, const std::wstring& path, const char* what) {
    std::string narrow;
    if (platform::Cp932Path(path, narrow)) return narrow;
    const std::wstring text = ToWide(std::string(what) + "\n") + path +
                              ToWide(
                                  "\nは、名前にシフトJISで表せない文字が含まれているため指定できません"
                                  "（このドライブでは短い名前も使えません）。\n"
                                  "別の" +
                                  std::string(what) + "を選んでください。");
    MessageBoxW(owner.Handle(), text.c_str(), ToWide(kCaptionError).c_str(), MB_OK | MB_ICONEXCLAMATION);
    return std::nullopt;
}
