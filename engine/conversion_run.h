// One run: every ticked file of the input list converted in turn, each into output files split by
// the chosen size, followed by the result report. CConversionRun holds what a run reads and writes
// (the driver, the per-row store, the flags, the log, the clock); the driver starts ConvertThreadProc
// on a worker thread and sees the end through the flags. Not shared between runs.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/checksum_manifest.h"
#include "engine/file_status.h"
#include "engine/input_file_store.h"
#include "engine/output_folder.h"
#include "engine/result_report.h"
#include "engine/run_host.h"
#include "support/clock.h"
#include "support/log_file.h"

class COutputFiles;
class CRecordFile;

// The entries of the split-size list, position 0 to 7 ("分割なし" to "CD-R (640 MB)").
constexpr int kSplitSizeCount = 8;
extern const char* const kSplitSizeEntries[kSplitSizeCount];
// The byte limit of an output file for a position of the split-size list; 0 (no split) for
// position 0 and for any position outside 0 to 7.
std::uint64_t SplitLimitForPosition(int position);

// The file name after the last separator of path; with withoutExtension, only the part before its
// last "."; the empty text when there is no separator (or, with withoutExtension, no ".").
std::string FileNameFromPath(const std::string& path, bool withoutExtension);

extern const char kNoDataMessage[];  // the result's message of a file without data

class CConversionRun {
public:
    CConversionRun(IRunHost& host, InputFileStore& files, RunFlags& flags, CLogFile& log,
                   IClock& clock = SystemClock());

    // Converts one input file into its output files; result is the caller's, zeroed.
    // Returns Normal, Aborted, ColumnCountError, FieldLengthError, NoData or Failed. The outputs
    // are written under temporary names and get their final names only when all are complete;
    // every other end deletes them. File errors of opening, creating, writing and renaming are
    // logged, shown and returned as Failed; other file errors (reading, deleting) throw FileError
    // to the caller, after the outputs were deleted.
    FileStatus ConvertFile(const std::string& input_path, FileResult& result);

    // The whole run, on the worker thread: 1 when it ended with a written result report, else 0.
    // Catches and reports every exception.
    int ConvertThreadProc();

    // Writes the result report into the output folder and asks the driver to show it. 1 when
    // written, 0 when the file could not be created or written (then no part of it is left).
    int WriteResultReport();
    // The report's block of every ticked row.
    std::vector<ReportEntry> ReportEntries(const std::string& outputFolder) const;

    // Beside the report goes a manifest of the SHA-256 of every output and of the report. Only the
    // benchmark (TOLVA_BENCH_WITHOUT_CHECKSUMS=1 in the environment, to measure what it costs) and
    // tests of the report alone turn it off.
    void SetChecksums(bool on) { m_checksums = on; }

    // The path of the last report written, empty before.
    const std::string& ReportPath() const { return m_reportPath; }

    // The output folder as this run owns it. A driver locks it while it makes its checks (so that
    // the checks see what the run will find); a run started without that locks it itself. Every
    // end of ConvertThreadProc gives it free again.
    COutputFolder& OutputFolder() { return m_folder; }

private:
    FileStatus Fail(int line, const std::string& detail, int messageId);
    // Opens an output or input file, telling the driver while it waits for a file that another
    // program holds; between the attempts, an abort that was requested and is confirmed (aborted
    // is then set) ends the wait.
    int OpenTelling(CRecordFile& file, const std::string& path, unsigned flags, bool& aborted);
    // The run ends without its report: it has published nothing, and removes what it wrote.
    void DiscardRun() noexcept;
    // Locks the output folder (unless the driver did) and starts its journal; false when the run
    // cannot start (told).
    bool BeginRun();
    // The driver's input is free again (told once a run), the running flag cleared.
    void FreeInput();
    void EndRun(RunEnd why);  // the run's last act: the input free, the driver told
    // The abort handshake: both flags cleared, the question asked; true when the user confirms
    // (running stays 0), false when not (running is 1 again).
    bool ConfirmAbort();
    void DeleteAfterFailure(COutputFiles& outputs) noexcept;
    void ReportException(int line, const std::string& text) noexcept;

    IRunHost& m_host;
    InputFileStore& m_files;
    RunFlags& m_flags;
    CLogFile& m_log;
    IClock& m_clock;
    std::string m_reportPath;
    std::int64_t m_start = 0;  // the clock's reading at the run's start
    bool m_inputFree = false;  // the driver was told OnInputFree in this run
    COutputFolder m_folder;
    bool m_checksums = std::getenv("TOLVA_BENCH_WITHOUT_CHECKSUMS") == nullptr;
    std::vector<ManifestEntry> m_written;  // the outputs of the run's converted inputs
};
