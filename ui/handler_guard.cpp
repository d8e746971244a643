#include "ui/handler_guard.h"

#include <exception>
#include <string>

#include "engine/messages.h"

namespace {

void Report(CLogFile& log, IDialogServices& services, int line, const std::string& text) {
    const std::string fatal = LoadMessage(kMsgFatal);
    try {
        log.WriteLog(line, text + fatal);
    } catch (const std::exception&) {
        // The log itself failed: the message box below is all that can still be done.
    }
    services.ShowMessage(fatal, MessageKind::Stop);
}

}  // namespace

bool RunGuarded(CLogFile& log, IDialogServices& services, int line, const std::function<void()>& body) {
    try {
        body();
        return true;
    } catch (const std::exception& error) {
        Report(log, services, line, std::string(error.what()) + " ");
    } catch (...) {
        Report(log, services, line, kUnknownException);
    }
    return false;
}
