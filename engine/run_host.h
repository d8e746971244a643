// What a run needs from whoever drives it: the dialog (through window messages), the command line
// (a terminal printer) or a test (a recording fake). The engine calls every operation on the worker
// thread of the run; an implementation carries each out before it returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/file_status.h"

// The two flags that tie a run to its driver, shared between the driver's thread and the worker.
struct RunFlags {
    std::atomic<int> running{0};         // 1 while a run is active
    std::atomic<int> abortRequested{0};  // 1 when the user asked to abort
};

enum class RunEnd { Completed, Aborted, Failed };  // with its report, or without

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
    // The run's events, for each driver to word: it starts (input locked till it ends); an open waits
    // for a file another program holds; a row's file starts and ends (result.message: the text of a
    // NoData or FieldLengthError end); it stops short (Aborted confirmed, Failed told) and tidies up; it
    // gives the input free (before its last messages); it ends.
    virtual void OnRunStarted() = 0;
    virtual void OnWaiting(const std::string& path) = 0;
    virtual void OnWaitOver() = 0;
    virtual void OnFileStarted(int row) = 0;
    virtual void OnFileEnded(int row, FileStatus status, const FileResult& result) = 0;
    virtual void OnRunStopped(RunEnd why) = 0;
    virtual void OnInputFree() {}
    virtual void OnRunEnded(RunEnd why, std::int64_t seconds) = 0;  // seconds since the start
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
