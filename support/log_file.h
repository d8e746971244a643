// The daily error log: one file per day, "Tolvarenquista_YYYYMMDD.log" in the log folder, code page
// 932 entries of one line each, "time (source)[line] message\r\n", the source naming the front end
// that owns the log. Owned by whoever drives the program for the life of the process; WriteLog may be
// called from any thread (entries of one process never collide).
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "support/clock.h"

class CLogFile {
public:
    // The pattern of this program's own daily files.
    static constexpr char kOwnLogs[] = "Tolvarenquista_*.log";

    // source: the front end's name, which every entry carries (what follows its last backslash).
    explicit CLogFile(const std::string& source, IClock& clock = SystemClock());

    // Creates the folder when it is missing (returns false when that fails, or when folder is empty),
    // otherwise deletes all but the last ten "*.log" files in name order; then fixes the path of
    // today's file. Throws FileError when an old log cannot be deleted.
    // oldLogs: the pattern of the logs the clean-up counts and deletes; a folder the user chose for
    // the log may hold other programs' logs, so only this program's own daily files go there.
    bool InitLog(const std::string& folder, const std::string& oldLogs = "*.log");
    // Appends one entry, line being that of the statement that reports; the message's line breaks
    // are taken out (none after a full stop "。", which ends its sentence, a blank elsewhere). Never
    // throws, and a log that fails never ends the caller's work. Without a path (InitLog failed,
    // which its caller has told) the entry is dropped. The first open or write that fails (a link
    // planted at the day's name, a folder there, a full disk, the file held by another program)
    // loses its entry and is told once through the failure handler; later failures lose their
    // entries without a word.
    void WriteLog(int line, const std::string& message) noexcept;
    // Who is told of the first failure: handler gets a sentence naming the log file and the
    // system's reason. Called from the thread of the failed WriteLog, with no lock of the log held
    // (it may write to the log itself; that entry is then lost silently if the log still fails).
    void SetFailureHandler(std::function<void(const std::string& text)> handler);

    const std::string& Path() const { return m_path; }

private:
    // Opens the day's file and appends entry: the empty text, or the failure's text.
    std::string Append(const std::string& entry);

    IClock& m_clock;
    const std::string m_source;
    std::string m_path;
    std::function<void(const std::string&)> m_failureHandler;
    bool m_failureTold = false;
    std::mutex m_mutex;
};

// The default log folder: <user data folder>/Tolvarenquista/Log; the empty text when the user data
// folder cannot be had (InitLog then fails rather than logging into a root or the current folder).
std::string DefaultLogFolder();
