// Shared test fixtures: temporary folders, byte-exact file helpers, a clock that tests move by hand,
// and a driver of runs that records what the engine asked of it.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/conversion_run.h"
#include "engine/input_file_store.h"
#include "platform/platform.h"
#include "support/clock.h"
#include "support/log_file.h"
#include "ui/run_texts.h"

// A new empty folder, removed with everything in it when the object goes. Path() is code page 932
// text with the platform's separators.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    // Path() + separator + name.
    std::string operator/(const std::string& name) const;

private:
    std::string m_path;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);  // throws std::runtime_error when missing
bool Exists(const std::string& path);
// Size without opening the file (which may be held open exclusively).
std::uint64_t FileSize(const std::string& path);
// Names of the entries of a folder, sorted, real case.
std::vector<std::string> ListNames(const std::string& folder);
std::string Hex(const std::string& bytes);    // "8260 41" style: upper-case pairs, no spaces
std::string FromHex(const std::string& hex);  // spaces ignored
// A digit of the date in the first record of an output changed: the record keeps its form, only the
// output's digest tells.
void ChangeADateDigit(const std::string& outputPath);

// A clock that stands still until a test (or Sleep) moves it. ToLocalTime treats readings as UTC.
class FakeClock : public IClock {
public:
    explicit FakeClock(std::int64_t now = 1208959509) : m_now(now) {}  // 2008-04-23 14:05:09
    std::int64_t Now() override { return m_now; }
    bool ToLocalTime(std::int64_t time, std::tm& out) override;
    void Sleep(int milliseconds) override;
    void Set(std::int64_t now) { m_now = now; }
    int sleeps = 0;
    // Called on every Sleep (a test may unlock a file after some waits).
    std::function<void(int)> onSleep;

private:
    std::int64_t m_now;
    std::int64_t m_sleptMs = 0;
};

// Records every call, the run's events as the dialog's texts; answers questions from a script.
class FakeHost : public CRunTexts {
public:
    std::string outputFolder;
    std::uint64_t splitLimit = 0;
    int progress = 0;
    std::string statusText;
    std::string buttonText;
    std::vector<std::string> rowTexts;  // grows as rows are written
    std::vector<int> progressHistory;
    std::vector<std::pair<std::string, MessageKind>> messages;
    std::vector<bool> enableHistory;
    std::vector<std::string> openedReports;
    // Answer to each question, in order; when exhausted, No.
    std::vector<bool> answers;
    // Called before answering a question (a test may inspect the state then).
    std::function<void()> onQuestion;
    // Called on every SetProgress (a test may raise an abort request at some point).
    std::function<void(int)> onProgress;
    // Every message box throws after it is recorded (a driver that fails in turn).
    bool messagesThrow = false;

    std::string OutputFolder() override { return outputFolder; }
    std::uint64_t SplitLimit() override { return splitLimit; }
    void SetProgress(int position) override;
    int GetProgress() override { return progress; }
    void SetStatusText(const std::string& text) override { statusText = text; }
    void SetRowStatusText(int row, const std::string& text) override;
    void EnableControls(bool enable) override { enableHistory.push_back(enable); }
    void SetConvertButtonText(const std::string& text) override { buttonText = text; }
    bool ShowMessage(const std::string& text, MessageKind kind) override;
    void OpenReport(const std::string& path) override { openedReports.push_back(path); }
    void RecordRejected(const std::string& text) override { rejections.push_back(text); }
    std::vector<std::string> rejections;

private:
    std::size_t m_nextAnswer = 0;
};

// A valid claim record line (16 fields, CR LF) whose fields vary with n.
std::string ClaimLine(int n);
// count valid lines, numbered from first.
std::string ClaimLines(int count, int first = 0);
// A record with one field replaced (position 0-15), or with fields removed/added when fieldCount
// differs from 16.
std::string ClaimLineWith(int position, const std::string& value);
std::string LineOfFields(int fieldCount);

// Makes one file operation fail on every path that holds a text, for as long as it lives.
class FailingPaths : public platform::IFileFaults {
public:
    FailingPaths(platform::FileOperation operation, std::string pathPart,
                 platform::Fault fault = platform::Fault::Failure);
    ~FailingPaths() override;
    platform::Fault Before(platform::FileOperation operation, const std::string& path, std::size_t& allowed) override;

private:
    platform::FileOperation m_operation;
    std::string m_pathPart;
    platform::Fault m_fault;
};

// What a run needs, on temporary folders: input, output and log folders, a clock that stands
// still, a recording host, the row store, the flags, the log and the run itself.
struct RunFixture {
    RunFixture();
    TempDir in;
    TempDir out;
    TempDir logDir;
    FakeClock clock;
    FakeHost host;
    InputFileStore files;
    RunFlags flags;
    CLogFile log;
    CConversionRun run;
};
