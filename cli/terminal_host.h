// The command line's side of a run: progress and the run's texts, in words of its own, on the error
// stream (a live bar on a terminal, drawn with escape sequences where it takes them and with a carriage
// return elsewhere; plain lines otherwise; nothing when quiet), messages as text, the abort question
// answered Yes (the only way to ask for an abort here is Ctrl-C, which is the confirmation).
#pragma once

#include <cstdint>
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
    void OnRunStopped(RunEnd why) override;
    void OnRunEnded(RunEnd why, std::int64_t seconds) override;
    bool ShowMessage(const std::string& text, MessageKind kind) override;
    void OpenReport(const std::string&) override {}
    // Shown even when quiet: it is an error the operator must act on.
    void RecordRejected(const std::string& text) override { Line(text); }
    void FailureDetail(const std::string& text) override { Line(text); }

private:
    static constexpr char kRunning[] = "カルデノ　処理中．．．";
    void Status(const std::string& text) {  // a line of the run's course, left out when quiet
        if (!m_quiet) Line(text);
    }
    void Line(const std::string& text);
    void DrawBar();
    void ClearBar();

    CliContext& m_context;
    const InputFileStore& m_files;
    std::string m_outputFolder;
    std::uint64_t m_splitLimit;
    bool m_quiet;
    bool m_live;
    // The bar is cleared and drawn again with escape sequences; without, with a carriage return
    // and spaces over the longest line it drew.
    bool m_escapes;
    bool m_barShown = false;
    std::size_t m_barLength = 0;
    int m_progress = 0;
    std::int64_t m_records = 0;
    std::string m_currentName;
    double m_fileStart = 0;  // seconds
};
