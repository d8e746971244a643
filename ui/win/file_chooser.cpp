#include "ui/win/file_chooser.h"

#include <windows.h>
// (windows.h first: the headers below need its types.)
#include <commdlg.h>

#include "ui/win/folder_browser.h"
#include "ui/win/wide_text.h"

namespace {

// Room for a path of the long form that a disc or a network folder can give.
constexpr DWORD kPathBufferSize = 4096;

}  // namespace

std::optional<std::string> ChooseFileToOpen(const CWindow& owner, const std::string& title,
                                            const std::string& filterName, const std::string& pattern) {
    const std::wstring wideTitle = ToWide(title);
    // Pairs of description and pattern, each ended by a NUL, the list by one more.
    std::wstring filter = ToWide(filterName) + L'\0' + ToWide(pattern) + L'\0';
    filter += ToWide("すべてのファイル (*.*)") + L'\0' + L"*.*" + L'\0' + L'\0';
    std::wstring path(kPathBufferSize, L'\0');
    OPENFILENAMEW chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = owner.Handle();
    chooser.lpstrFilter = filter.c_str();
    chooser.nFilterIndex = 1;
    chooser.lpstrFile = path.data();
    chooser.nMaxFile = kPathBufferSize;
    chooser.lpstrTitle = wideTitle.c_str();
    // OFN_NOCHANGEDIR: the program's current folder stays where it was, whatever folder is opened.
    chooser.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (GetOpenFileNameW(&chooser) == FALSE) return std::nullopt;
    path.resize(wcslen(path.c_str()));
    return ChosenPath(owner, path, "ファイル");
}
