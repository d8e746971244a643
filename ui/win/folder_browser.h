// The shell's folder browser, owned by a window, opening on a preselected folder.
#pragma once

#include <optional>
#include <string>

#include "ui/win/window.h"

// Shows the browser and waits. initial (may be empty) is selected when it opens; newDialogStyle
// gives the resizable browser with its "new folder" button. Returns the chosen folder's path, or
// nothing when the browser was cancelled or the choice has no file-system path.
std::optional<std::string> BrowseForFolder(const CWindow& owner, const std::string& title, const std::string& initial,
                                           bool newDialogStyle);

// A path the operator chose in a shell dialog, in code page 932: a name that code page 932 cannot
// hold is taken in its short (8.3) form; without one it cannot be used, and the operator is told so
// ("フォルダ" or "ファイル" names what) in a message box owned by owner (nothing is returned then).
std::optional<std::string> ChosenPath(const CWindow& owner, const std::wstring& path, const char* what);
