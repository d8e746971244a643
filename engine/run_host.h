// What a run needs from whoever drives it: the dialog (through window messages), the command line
// (a terminal printer) or a test (a recording fake). The engine calls every operation on the worker
// thread of the run; an implementation carries each out before it returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// The two flags that tie a run to its driver, shared between the driver's thread and the worker.
struct RunFlags {
    std::atomic<int> running{0};         // 1 while a run is active
    std::atomic<int> abortRequested{0};  // 1 when the user asked to abort
};

enum class MessageKind {
    Exclamation,  // an input error or a failed report: caption エラー, OK
    Question,     // caption 確認, Yes and No
    Stop,         // a fatal error: caption エラー, OK
};

class IRunHost {
public:
    virtual ~IRunHost() = default;

    // The output folder (read once per file and once for the report).
    virtual std::string OutputFolder() = 0;
    // The byte limit of one output file, 0 for no split (read once per file).
    virtual std::uint64_t SplitLimit() = 0;

    // Progress of the current file, 0 to 100.
    virtual void SetProgress(int position) = 0;
    virtual int GetProgress() = 0;
    // Records read so far of the current file, told with every progress step (for a rate display).
    virtual void RecordsRead(std::int64_t /*count*/) {}
    virtual void SetStatusText(const std::string& text) = 0;
    // The status column of a row of the file list; text may be empty.
    virtual void SetRowStatusText(int row, const std::string& text) = 0;
    // Locks (false) or unlocks (true) the driver's input controls during a run.
    virtual void EnableControls(bool enable) = 0;
    // The text of the convert/abort button.
    virtual void SetConvertButtonText(const std::string& text) = 0;
    // Shows a message and waits for the answer; true for Yes (always false for OK-only kinds).
    virtual bool ShowMessage(const std::string& text, MessageKind kind) = 0;
    // Shows a finished result report to the user (the dialog opens it in the text editor).
    virtual void OpenReport(const std::string& path) = 0;
    // Tells which record rejected a file: "NAME:LINE: TEXT (detail)" (it is also in the log).
    virtual void RecordRejected(const std::string& /*text*/) {}
    // Tells what a failure that ends the run struck and why, in the system's words (also logged;
    // the message box that follows gives only the message).
    virtual void FailureDetail(const std::string& /*text*/) {}
};
