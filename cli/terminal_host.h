// The command line's side of a run: progress and the run's texts, in words of its own, on the error
// stream (a live bar on a terminal, fitted to its width and drawn with escape sequences where it takes
// them and with a carriage return elsewhere; a line at each file's start and end otherwise; nothing
// when quiet), messages as text, the abort question answered Yes (the only way to ask for an abort
// here is Ctrl-C, which is the confirmation). The run's outcome is its last line, told once the run
// has returned. Called on the thread that runs the conversion.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/cli.h"
#include "engine/input_file_store.h"
#include "engine/run_host.h"

class CTerminalHost : public IRunHost {
public:
    CTerminalHost(CliContext& context, const InputFileStore& files, std::string outputFolder, std::uint64_t splitLimit,
                  bool quiet);

    std::string OutputFolder() override { return m_outputFolder; }
    std::uint64_t SplitLimit() override { return m_splitLimit; }
    void SetProgress(int position) override;
    int GetProgress() override { return m_progress; }
    void RecordsRead(std::int64_t count) override { m_records = count; }
    void OnRunStarted() override { Status(kRunning); }
    void OnWaiting(const std::string& path) override;
    void OnWaitOver() override { Status(kRunning); }
    // A file's bar, on a terminal, stands for its line "NAME: 処理中".
    void OnFileStarted(int row) override;
    void OnFileEnded(int row, FileStatus status, const FileResult& result) override;
    // How the run stopped is told by TellOutcome, after every other line of the run.
    void OnRunStopped(RunEnd) override {}
    void OnRunEnded(RunEnd why, std::int64_t seconds) override;
    bool ShowMessage(const std::string& text, MessageKind kind) override;
    void OpenReport(const std::string&) override {}
    // Shown even when quiet: it is an error the operator must act on.
    void RecordRejected(const std::string& text) override { Line(text); }
    void FailureDetail(const std::string& text) override;

    // The run's outcome as the last line of the error stream, once the run has returned and the
    // report's path is printed: normal, normal with files in error (how many of how many, and
    // whether any output was made), failed (the file and the reason, in short) or aborted. When
    // quiet, only a run that failed or had files in error tells it.
    void TellOutcome();

private:
    static constexpr char kRunning[] = "カルデノ　処理中．．．";
    void Status(const std::string& text) {  // a line of the run's course, left out when quiet
        if (!m_quiet) Line(text);
    }
    void Line(const std::string& text);
    void DrawBar();
    void ClearBar();
    // The bar's line for a terminal of the given width, never wider than it.
    std::string BarText(int columns) const;
    std::string FailureText() const;
    // The first failure's file (empty when none was being converted), told by the first event of it.
    void NoteFailure();

    CliContext& m_context;
    const InputFileStore& m_files;
    std::string m_outputFolder;
    std::uint64_t m_splitLimit;
    bool m_quiet;
    bool m_live;
    // The bar is cleared and drawn again with escape sequences; without, with a carriage return
    // and spaces over the widest line it drew.
    bool m_escapes;
    bool m_barShown = false;
    std::size_t m_barColumns = 0;
    int m_progress = 0;
    std::int64_t m_records = 0;
    std::string m_currentName;
    int m_position = 0;  // the current file's place among the chosen ones, from 1
    int m_chosen = 0;
    double m_fileStart = 0;  // seconds

    // What the outcome tells.
    std::optional<RunEnd> m_end;
    std::int64_t m_seconds = 0;
    int m_filesInError = 0;  // with a record error or no data
    std::int64_t m_outputFiles = 0;
    bool m_failed = false;
    std::string m_failedFile;
    std::string m_failureDetail;
    std::string m_failureMessage;
};
