// The daily error log: one file per day, "Tolvarenquista_YYYYMMDD.log" in the log folder, code page
// 932 entries "time (source)[line] message\r\n". Owned by whoever drives the program for the life of
// the process; WriteLog may be called from any thread (entries of one process never collide).
#pragma once

#include <mutex>
#include <string>

#include "support/clock.h"

class CLogFile {
public:
    // The pattern of this program's own daily files.
    static constexpr char kOwnLogs[] = "Tolvarenquista_*.log";

    explicit CLogFile(IClock& clock = SystemClock());

    // Creates the folder when it is missing (returns false when that fails, or when folder is empty),
    // otherwise deletes all but the last ten "*.log" files in name order; then fixes the path of
    // today's file. Throws FileError when an old log cannot be deleted.
    // oldLogs: the pattern of the logs the clean-up counts and deletes; a folder the user chose for
    // the log may hold other programs' logs, so only this program's own daily files go there.
    bool InitLog(const std::string& folder, const std::string& oldLogs = "*.log");
    // Appends one entry. A file that cannot be opened (no path yet, held by another program) loses
    // the entry silently; a write that fails after the open throws FileError.
    void WriteLog(int line, const std::string& sourceFile, const std::string& message);

    const std::string& Path() const { return m_path; }

private:
    IClock& m_clock;
    std::string m_path;
    std::mutex m_mutex;
};

// The default log folder: <user data folder>/Tolvarenquista/Log; the empty text when the user data
// folder cannot be had (InitLog then fails rather than logging into a root or the current folder).
std::string DefaultLogFolder();
