// The exception guard of the dialog's handlers: whatever escapes the body is logged and told to the
// user as the fatal error (message 105), and the dialog stays open.
#pragma once

#include <functional>

#include "support/log_file.h"
#include "ui/dialog_services.h"

// Runs body. An exception that escapes it is logged with the guard's source line: its own text,
// one blank and message 105 (for an exception of unknown kind "不明な例外が発生 " and message 105);
// then message 105 is shown as a fatal error. True when body ran to its end.
bool RunGuarded(CLogFile& log, IDialogServices& services, int line, const std::function<void()>& body);
