// The system's file chooser for a file to open, owned by a window; the dialog's thread calls it.
#pragma once

#include <optional>
#include <string>

#include "ui/win/window.h"

// Shows the chooser and waits. It lists the files whose names match pattern ("*_Result.txt"),
// described by filterName, or on the operator's choice all files. Returns the chosen file's path,
// or nothing when the chooser was cancelled or the path cannot be named in code page 932 (the
// operator is told so then).
std::optional<std::string> ChooseFileToOpen(const CWindow& owner, const std::string& title,
                                            const std::string& filterName, const std::string& pattern);
