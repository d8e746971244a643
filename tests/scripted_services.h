// IDialogServices for the dialog's tests: records every message box, browser call, notice, opened
// report and exit request; answers questions, browsers and file choosers from a script; lets a test
// hold the asking thread (a question on the worker, the report at the end of a run) while it looks at
// the dialog.
// Safe to call from the dialog's thread and the worker while the test thread reads.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui/dialog_services.h"

class ScriptedServices : public IDialogServices {
public:
    struct Shown {
        std::string text;
        MessageKind kind;
    };
    struct Browsed {
        std::string title;
        std::string initial;
        bool newDialogStyle;
    };
    struct Notice {
        std::string caption;
        std::string text;
        bool warning;
    };

    // Answers to the questions, in order; when they run out, answerWhenOut.
    void AddAnswers(const std::vector<bool>& answers);
    void SetAnswerWhenOut(bool answer);
    // Results of the browser, in order; when they run out, cancelled.
    void AddBrowseResult(std::optional<std::string> folder);
    // Files the file chooser returns, in order; when they run out, cancelled.
    void AddChosenFile(std::optional<std::string> path);

    // Called on the asking thread before a question is answered; may block.
    std::function<void(const std::string&)> onQuestion;
    // Called on the worker when the report is to be opened; may block (the run is still active).
    std::function<void(const std::string&)> onOpenReport;
    std::vector<std::string> protectedFolders;
    std::string logFolder;
    bool failThreadStart = false;
    // While set, a started thread waits before its body until ReleaseThreads: a test can act in the
    // moment between the start of the worker and its first act.
    bool holdThreads = false;
    void ReleaseThreads();

    std::vector<Shown> Messages() const;
    std::vector<Browsed> Browses() const;
    std::vector<Notice> Notices() const;
    std::vector<std::string> OpenedReports() const;
    std::vector<int> ExitCodes() const;
    int ThreadsStarted() const;
    int ThreadsEnded() const;  // whose bodies have returned

    bool ShowMessage(const std::string& text, MessageKind kind) override;
    std::optional<std::string> BrowseForFolder(const std::string& title, const std::string& initial,
                                               bool newDialogStyle) override;
    std::optional<std::string> ChooseFile(const std::string& title, const std::string& filterName,
                                          const std::string& pattern) override;
    void ShowNotice(const std::string& caption, const std::string& text, bool warning) override;
    void OpenReport(const std::string& path) override;
    std::vector<std::string> ProtectedFolders() override { return protectedFolders; }
    std::string LogFolder() override { return logFolder; }
    std::thread StartThread(std::function<void()> body) override;
    void EndProcess(int exitCode) override;

private:
    mutable std::mutex m_mutex;
    std::deque<bool> m_answers;
    bool m_answerWhenOut = false;
    std::deque<std::optional<std::string>> m_browseResults;
    std::vector<Shown> m_messages;
    std::vector<Browsed> m_browses;
    std::deque<std::optional<std::string>> m_chosenFiles;
    std::vector<Notice> m_notices;
    std::vector<std::string> m_reports;
    std::vector<int> m_exitCodes;
    int m_threadsStarted = 0;
    int m_threadsEnded = 0;
    std::condition_variable m_released;
    bool m_threadsReleased = false;
};
