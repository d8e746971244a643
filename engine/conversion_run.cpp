// One run of the conversion, from the first ticked file to the result report. See conversion_run.h.
#include "engine/conversion_run.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <stdexcept>

#include "base/file_error.h"
#include "base/mbcs.h"
#include "engine/file_conversion.h"
#include "engine/messages.h"
#include "engine/output_files.h"
#include "engine/record_file.h"
#include "engine/record_layout.h"
#include "platform/platform.h"
#include "support/paths.h"

const char* const kSplitSizeEntries[kSplitSizeCount] = {
    "分割なし",    "DVD (4.7 GB)", "MO (128 MB)", "MO (230 MB)",
    "MO (640 MB)", "MO (1.3 GB)",  "MO (2.3 GB)", "CD-R (640 MB)",
};

const char kNoDataMessage[] = "処理対象外（データがありません）";

namespace {

// The split limits lie below the nominal medium sizes: 1024^e x factor, truncated.
struct SplitSize {
    int exponent;
    double factor;
};
constexpr SplitSize kSplitSizes[kSplitSizeCount] = {
    {0, 0.0}, {3, 4.5}, {2, 119}, {2, 215}, {2, 599}, {3, 1.175}, {3, 2.068}, {2, 620},
};

// How many seconds on a report name may move when the names of the run's second are taken.
constexpr int kReportNameTries = 60;

// A step of a way out whose own failure has nowhere left to be told: what it throws is dropped, and
// the steps that follow still run.
template <class Step>
void Attempt(const Step& step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

}  // namespace

std::uint64_t SplitLimitForPosition(int position) {
    if (position <= 0 || position >= kSplitSizeCount) return 0;
    const SplitSize& size = kSplitSizes[position];
    return static_cast<std::uint64_t>(std::pow(1024.0, size.exponent) * size.factor);
}

std::string FileNameFromPath(const std::string& path, bool withoutExtension) {
    const std::size_t separator = FindLastChar(path, platform::kPathSeparator);
    if (separator == std::string::npos) return "";
    std::string name = path.substr(separator + 1);
    if (!withoutExtension) return name;
    const std::size_t dot = FindLastChar(name, '.');
    if (dot == std::string::npos) return "";
    return name.substr(0, dot);
}

CConversionRun::CConversionRun(IRunHost& host, InputFileStore& files, RunFlags& flags, CLogFile& log, IClock& clock)
    : m_host(host), m_files(files), m_flags(flags), m_log(log), m_clock(clock) {}

FileStatus CConversionRun::Fail(int line, const std::string& detail, int messageId) {
    const std::string message = LoadMessage(messageId);
    m_log.WriteLog(line, detail + " " + message);
    m_host.FailureDetail(detail);
    m_host.ShowMessage(message, MessageKind::Stop);
    m_host.OnRunStopped(RunEnd::Failed);
    return Failed;
}

bool CConversionRun::ConfirmAbort() {
    m_flags.running = 0;
    m_flags.abortRequested = 0;
    if (m_host.ShowMessage(LoadMessage(kMsgConfirmAbort), MessageKind::Question)) return true;
    m_flags.running = 1;
    return false;
}

int CConversionRun::OpenTelling(CRecordFile& file, const std::string& path, unsigned flags, bool& aborted) {
    const auto keepTrying = [&] {
        if (m_flags.abortRequested.load() == 1) aborted = ConfirmAbort();
        return !aborted;
    };
    bool waited = false;
    const int open = file.OpenWithRetry(path, flags, keepTrying, [&] {
        waited = true;
        m_host.OnWaiting(path);
    });
    if (waited && open) m_host.OnWaitOver();
    return open;
}

void CConversionRun::DeleteAfterFailure(COutputFiles& outputs) noexcept {
    // The failure being handled is the one to report; a deletion that fails as well is logged,
    // and what it leaves stays named in the journal for the run's end or the next run.
    try {
        outputs.DeleteAll();
    } catch (const std::exception& error) {
        Attempt([&] { m_log.WriteLog(__LINE__, error.what()); });  // the failure's own report still follows
    }
}

FileStatus CConversionRun::ConvertFile(const std::string& input_path, FileResult& result) {
    CRecordReader input(m_clock);
    CRecordWriter output(m_clock, m_checksums);
    const std::string output_folder = m_host.OutputFolder();

    bool aborted = false;
    if (!OpenTelling(input, input_path, platform::File::modeRead, aborted)) {
        if (!aborted) {
            return Fail(__LINE__, FailureText("読込みファイル", input_path, "オープンエラー", input.FailureReason()),
                        kMsgReadFailed);
        }
        m_host.OnRunStopped(RunEnd::Aborted);
        return Aborted;
    }
    const std::uint64_t input_length = input.GetLength();
    if (input_length == 0) {
        result.written_count = 0;
        result.file_count = 0;
        ++result.error_count;
        result.message = kNoDataMessage;
        return NoData;
    }

    COutputFiles outputs(output_folder, FileNameFromPath(input_path, true),
                         m_folder.Journaling() ? &m_folder : nullptr);
    const CFileConversion::Run run{m_host, [this] { return m_flags.abortRequested.load() == 1; },
                                   [this] { return ConfirmAbort(); },
                                   std::bind_front(&CConversionRun::OpenTelling, this)};
    FileOutcome outcome;
    try {
        outcome = CFileConversion(run, input, output, outputs, input_length, result).Convert();
    } catch (...) {
        // A read error or another exception: the file's outputs go before the worker reports it.
        output.Close();
        DeleteAfterFailure(outputs);
        throw;
    }
    if (outcome.status == Normal) {
        m_written.insert(m_written.end(), outputs.Digests().begin(), outputs.Digests().end());
        return Normal;
    }

    // Every other end discards the file's output: the current file is closed without writing out
    // its buffer, and every output file of this input is deleted, the complete ones included.
    output.Close();
    if (outcome.status == Failed) {
        DeleteAfterFailure(outputs);
        return Fail(outcome.line, outcome.detail, outcome.messageId);
    }
    outputs.DeleteAll();
    if (outcome.status == Aborted) {
        m_host.OnRunStopped(RunEnd::Aborted);
        return Aborted;
    }
    result.written_count = 0;
    result.file_count = 0;
    ++result.error_count;
    if (outcome.status == NoData) {
        result.message = kNoDataMessage;
        return NoData;
    }
    if (outcome.status == FieldLengthError) result.message = FieldErrorText(FieldLengthError, outcome.position);
    // The record that rejected the file, by its line, so that it can be found in a large file.
    const std::string rejected =
        FileNameFromPath(input_path, false) + ":" + std::to_string(outcome.recordLine) + ": " + outcome.fault;
    m_log.WriteLog(__LINE__, rejected);
    m_host.RecordRejected(rejected);
    return outcome.status;
}

void CConversionRun::ReportException(int line, const std::string& text) noexcept {
    // The last way out of a run: each step is tried on its own, so that a driver or a log that
    // fails in turn still hears of the run's end.
    DiscardRun();
    m_flags.running = 0;
    Attempt([&] { FreeInput(); });
    std::string fatal;
    Attempt([&] { fatal = LoadMessage(kMsgFatal); });
    Attempt([&] { m_log.WriteLog(line, text + fatal); });
    Attempt([&] { m_host.ShowMessage(fatal, MessageKind::Stop); });
    Attempt([&] { EndRun(RunEnd::Failed); });
    Attempt([&] {
        for (std::size_t row = 0; row < m_files.statuses.size(); ++row) {
            if (m_files.statuses[row] == Processing) {
                m_files.statuses[row] = Failed;
                m_host.OnFileEnded(static_cast<int>(row), Failed, FileResult{});
                break;
            }
        }
    });
}

void CConversionRun::DiscardRun() noexcept {
    m_folder.Discard([this](const std::string& text) { m_log.WriteLog(__LINE__, text); });
    m_folder.Release();
}

bool CConversionRun::BeginRun() {
    const std::string folder = m_host.OutputFolder();
    if (!m_folder.Locked() || m_folder.Folder() != folder) {
        std::string reason;
        const COutputFolder::LockResult locked = m_folder.Lock(folder, &reason);
        if (locked != COutputFolder::LockResult::Locked) {
            const bool busy = locked == COutputFolder::LockResult::Busy;
            Fail(__LINE__, FailureText("出力フォルダ", folder, busy ? "使用中" : "作成エラー", reason),
                 busy ? kMsgFolderBusy : kMsgFolderUnusable);
            return false;
        }
    }
    // What an earlier run left without its report is removed first (and said in the log).
    m_folder.Begin([this, &folder](const std::string& name) {
        m_log.WriteLog(__LINE__, "前回の変換で残ったファイル[" + JoinPath(folder, name) + "]を削除しました");
    });
    return true;
}

void CConversionRun::FreeInput() {
    if (!m_inputFree) m_host.OnInputFree();
    m_inputFree = true;
    m_flags.running = 0;
}

void CConversionRun::EndRun(RunEnd why) {
    FreeInput();
    m_host.OnRunEnded(why, m_clock.Now() - m_start);
}

int CConversionRun::ConvertThreadProc() {
    try {
        m_flags.running = 1;
        m_start = m_clock.Now();
        m_inputFree = false;
        m_written.clear();
        m_host.OnRunStarted();
        if (!BeginRun()) {
            m_folder.Release();
            EndRun(RunEnd::Failed);
            return 0;
        }

        for (std::size_t row = 0; row < m_files.names.size(); ++row) {
            FileResult current;
            const bool ticked = row < m_files.checks.size() && m_files.checks[row] != 0;
            if (!ticked) {
                m_files.statuses.push_back(NotProcessed);
                m_files.results.push_back(current);
                continue;
            }
            m_files.statuses.push_back(Processing);
            m_host.OnFileStarted(static_cast<int>(row));

            const FileStatus code = ConvertFile(JoinPath(m_files.folder, m_files.names[row]), current);
            m_files.results.push_back(current);
            m_files.statuses.back() = code;
            m_host.OnFileEnded(static_cast<int>(row), code, current);
            if (code == Failed || code == Aborted) {
                DiscardRun();
                EndRun(code == Aborted ? RunEnd::Aborted : RunEnd::Failed);
                return 0;
            }
        }

        if (!WriteResultReport()) {
            DiscardRun();
            FreeInput();
            const std::string message = LoadMessage(kMsgReportFailed);
            m_log.WriteLog(__LINE__, message);
            m_host.ShowMessage(message, MessageKind::Exclamation);
            m_host.OnRunStopped(RunEnd::Failed);
            EndRun(RunEnd::Failed);
            return 0;
        }

        m_folder.Release();
        EndRun(RunEnd::Completed);
        return 1;
    } catch (const std::exception& error) {
        std::string text;
        try {
            text = std::string(error.what()) + " ";
        } catch (...) {
            text = kUnknownException;  // no memory for the error's own text
        }
        ReportException(__LINE__, text);
    } catch (...) {
        ReportException(__LINE__, kUnknownException);
    }
    return 0;
}

std::vector<ReportEntry> CConversionRun::ReportEntries(const std::string& outputFolder) const {
    std::vector<ReportEntry> entries;
    const std::size_t rows = m_files.names.size();
    for (std::size_t row = 0; row < rows; ++row) {
        if (row >= m_files.checks.size() || m_files.checks[row] == 0) continue;
        ReportEntry entry;
        entry.name = m_files.names[row];
        entry.inputPath = JoinPath(m_files.folder, entry.name);
        entry.result = row < m_files.results.size() ? m_files.results[row] : FileResult{};
        entry.status = row < m_files.statuses.size() ? m_files.statuses[row] : NotProcessed;
        const std::string base = entry.name.substr(0, entry.name.size() >= 4 ? entry.name.size() - 4 : 0);
        for (std::int64_t number = 1; number <= entry.result.file_count; ++number) {
            entry.outputPaths.push_back(JoinPath(outputFolder, COutputFiles::FinalName(base, number)));
        }
        // Compared with the whole list, not the last ticked row.
        entry.blankAfter = row + 1 != rows;
        entries.push_back(std::move(entry));
    }
    return entries;
}

int CConversionRun::WriteResultReport() {
    // The report and its manifest, each written under a temporary name and renamed when complete:
    // created holds the path each has now, once this made it.
    platform::File files[2];
    std::vector<std::string> created;
    // What is left of a report that failed is removed here; the run's end removes the rest.
    const auto discard = [&]() noexcept {
        for (platform::File& file : files) file.Close();
        for (const std::string& path : created) {
            // A file that stays is still named in the journal: the run's end or the next run removes it.
            Attempt([&] {
                int error = 0;
                if (platform::RemoveFile(path, &error)) {
                    m_folder.Disown({FileNameFromPath(path, false)});
                } else {
                    m_log.WriteLog(__LINE__, platform::FileFailure("削除", path, error).what());
                }
            });
        }
    };
    try {
        const std::string outputFolder = m_host.OutputFolder();
        // Named after the second of the run's end; a name that is taken (a report of a run that
        // ended in the same second, or anything else) is never replaced: the next second's is
        // taken instead, for the name and the date line alike. Both files are created new and named
        // in the journal first: the report is whole or absent, and never without its manifest.
        std::int64_t now = m_clock.Now();
        std::vector<std::string> paths;  // the report's, then the manifest's
        for (int attempt = 0;; ++attempt, ++now) {
            if (attempt == kReportNameTries) return 0;
            const std::string path =
                JoinPath(outputFolder, FormatLocalTime(m_clock, now, "%Y%m%d%H%M%S") + kReportSuffix);
            paths = {path};
            if (m_checksums) paths.push_back(ManifestPathFor(path));
            if (std::ranges::any_of(paths, [](const std::string& each) {
                    return platform::PathExists(each) || platform::PathExists(each + kPartialSuffix);
                })) {
                continue;
            }
            std::vector<std::string> partials;
            for (const std::string& each : paths) partials.push_back(FileNameFromPath(each, false) + kPartialSuffix);
            m_folder.Claim(partials);
            int error = 0;
            if (files[0].Open(paths[0] + kPartialSuffix, platform::File::modeCreate | platform::File::modeWrite,
                              &error)) {
                created.push_back(paths[0] + kPartialSuffix);
                break;
            }
            m_folder.Disown(partials);
            if (!platform::IsExistsError(error)) return 0;
        }
        if (m_checksums) {
            if (!files[1].Open(paths[1] + kPartialSuffix, platform::File::modeCreate | platform::File::modeWrite)) {
                m_folder.Disown({FileNameFromPath(paths[1], false) + kPartialSuffix});
                discard();
                return 0;
            }
            created.push_back(paths[1] + kPartialSuffix);
        }

        const std::vector<ReportEntry> entries = ReportEntries(outputFolder);
        std::vector<std::string> contents = {
            ComposeResultReport(FormatLocalTime(m_clock, now, "%Y/%m/%d %H:%M:%S"), entries)};
        if (m_checksums) {
            // Every output the report lists, by the digest of its bytes as they were written, then the report.
            std::vector<ManifestEntry> listed;
            for (const ReportEntry& entry : entries) {
                for (const std::string& output : entry.outputPaths) {
                    const std::string name = FileNameFromPath(output, false);
                    const auto written = std::ranges::find(m_written, name, &ManifestEntry::name);
                    if (written == m_written.end()) throw std::logic_error("no digest of " + name);
                    listed.push_back(*written);
                }
            }
            listed.push_back({FileNameFromPath(paths[0], false), DigestOf(contents[0])});
            contents.push_back(ComposeManifest(listed));
        }
        for (std::size_t i = 0; i < paths.size(); ++i) {
            files[i].Write(contents[i].data(), contents[i].size());
            files[i].Sync();
            files[i].Close();
        }
        // The manifest first: the report's rename is the run's commit point, and once the report
        // has its name, the run is complete.
        for (std::size_t i = paths.size(); i-- > 0;) {
            const std::string name = FileNameFromPath(paths[i], false);
            m_folder.Claim({name});
            int error = 0;
            if (!platform::RenameFile(paths[i] + kPartialSuffix, paths[i], &error)) {
                // A name that appeared meanwhile is somebody else's.
                if (platform::IsExistsError(error)) m_folder.Disown({name});
                discard();
                return 0;
            }
            created[i] = paths[i];
        }
        if (!platform::SyncFolder(outputFolder)) {
            // Not durable: the run's end removes the report with the outputs.
            if (!m_folder.Journaling()) discard();
            return 0;
        }
        m_reportPath = paths[0];
        try {
            m_folder.Publish();
        } catch (const std::exception& error) {
            // The report is in place: the next run only tidies the journal away.
            m_log.WriteLog(__LINE__, error.what());
        }
        m_host.OpenReport(m_reportPath);
        return 1;
    } catch (...) {
        // Any failure of the report is told by the caller (message 114), which also removes what
        // the run wrote.
        discard();
        return 0;
    }
}
