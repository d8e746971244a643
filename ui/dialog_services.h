// What the dialogs ask of the system and a test must be able to answer: message boxes, the folder
// browser and the file chooser, the text editor, the known folders, the worker thread and the end of
// the process. The program uses CWin32DialogServices (ui/win/); the dialog tests use a scripted one.
// ShowMessage and OpenReport are also called on the worker thread; the rest only on the dialog's.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/run_host.h"

class IDialogServices {
public:
    virtual ~IDialogServices() = default;

    // A message box owned by the dialog, in one of the three forms (input error, question, fatal
    // error); waits for the answer. True for Yes; always false for the OK-only forms.
    virtual bool ShowMessage(const std::string& text, MessageKind kind) = 0;
    // The folder browser, opening on initial when that is not empty. The chosen folder, or nothing
    // when cancelled or when the choice has no file-system path.
    virtual std::optional<std::string> BrowseForFolder(const std::string& title, const std::string& initial,
                                                       bool newDialogStyle) = 0;
    // The file chooser for a file to open, showing the files whose names match pattern (filterName
    // says what they are). The chosen file's path, or nothing when cancelled or when the path has no
    // code page 932 form.
    virtual std::optional<std::string> ChooseFile(const std::string& title, const std::string& filterName,
                                                  const std::string& pattern) = 0;
    // How a piece of work that the operator watches in a window of its own has ended (a verified
    // disc): a message box captioned as that window, owned by it, OK only; warning gives the
    // exclamation icon, else the information icon. Waits for OK.
    virtual void ShowNotice(const std::string& caption, const std::string& text, bool warning) = 0;
    // Opens a result report in the text editor, without waiting and without reporting failure.
    virtual void OpenReport(const std::string& path) = 0;
    // The folders under which no output may be written, and the folder of the daily log.
    virtual std::vector<std::string> ProtectedFolders() = 0;
    virtual std::string LogFolder() = 0;
    // Starts body on a new thread; throws std::system_error when no thread can be started.
    virtual std::thread StartThread(std::function<void()> body) = 0;
    // Ends the process at once with this exit code (a test's services only record it and return).
    virtual void EndProcess(int exitCode) = 0;
};
