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
