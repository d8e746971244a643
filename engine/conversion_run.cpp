#include "engine/conversion_run.h"

#include <cmath>
#include <cstdio>
#include <exception>

#include "engine/digest.h"
#include "engine/messages.h"
#include "engine/output_record.h"
#include "engine/record_file.h"
#include "engine/record_layout.h"
#include "platform/platform.h"
#include "support/file_error.h"
#include "support/mbcs.h"
#include "support/paths.h"

const char* const kSplitSizeEntries[kSplitSizeCount] = {
    "分割なし",     "DVD (4.7 GB)", "MO (128 MB)", "MO (230 MB)",
    "MO (640 MB)", "MO (1.3 GB)",  "MO (2.3 GB)", "CD-R (640 MB)",
};

const char kStatusRunning[] = "カルデノ　処理中．．．";
const char kStatusFailed[] = "カルデノ　異常終了";
const char kStatusAborted[] = "処理を中断しました。";
const char kButtonConvert[] = "変換(&C)";
const char kButtonAbort[] = "中断(&C)";
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

// Output files beyond this number get four-digit names, which the three-character pattern misses.
constexpr int kPatternFileLimit = 999;

std::string OutputName(const std::string& base, int number) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "_%03d.CSV", number);
    return base + buffer;
}

bool HoldsNul(const std::vector<std::string>& fields) {
    for (const std::string& field : fields) {
        if (field.find('\0') != std::string::npos) return true;
    }
    return false;
}

// Removes every output file of one input: the three-digit names the pattern selects, and any
// four-digit ones a very large input made.
void DeleteOutputFiles(const std::string& folder, const std::string& base, int fileCount) {
    DeleteMatchingFiles(folder, base + "_???.csv");
    for (int number = kPatternFileLimit + 1; number <= fileCount; ++number) {
        DeleteFileIfExists(JoinPath(folder, OutputName(base, number)));
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

std::string ElapsedText(std::int64_t seconds) {
    const long hours = static_cast<long>(seconds / 3600);
    const long minutes = static_cast<long>(seconds % 3600 / 60);
    const long rest = static_cast<long>(seconds % 60);
    char buffer[128];
    if (hours >= 1) {
        std::snprintf(buffer, sizeof buffer, "処理時間 %ld時間%ld分%ld秒", hours, minutes, rest);
    } else if (minutes >= 1) {
        std::snprintf(buffer, sizeof buffer, "処理時間 %ld分%ld秒", minutes, rest);
    } else {
        std::snprintf(buffer, sizeof buffer, "処理時間 %ld秒", rest);
    }
    return buffer;
}

const char* FileStatusText(std::int32_t code) {
    switch (code) {
        case NotProcessed: return "";
        case Normal: return "正常";
        case Aborted: return "中断";
        case Processing: return "処理中";
        case ColumnCountError: return "カラム数エラー";
        case NoData: return kNoDataMessage;
        case Failed: return "異常";
        default: return nullptr;
    }
}

CConversionRun::CConversionRun(IRunHost& host, InputFileStore& files, RunFlags& flags, CLogFile& log,
                               IClock& clock)
    : m_host(host), m_files(files), m_flags(flags), m_log(log), m_clock(clock) {}

void CConversionRun::ShowFileStatus(int row, std::int32_t code) {
    if (const char* text = FileStatusText(code)) m_host.SetRowStatusText(row, text);
}

FileStatus CConversionRun::Fail(int line, const std::string& detail, int messageId) {
    const std::string message = LoadMessage(messageId);
    m_log.WriteLog(line, kLogSource, detail + " " + message);
    m_host.ShowMessage(message, MessageKind::Stop);
    m_host.SetStatusText(kStatusFailed);
    return Failed;
}

FileStatus CConversionRun::ConvertFile(const std::string& input_path, FileResult& result) {
    CRecordFile input(m_clock);
    CRecordFile output(m_clock);
    std::vector<std::string> fields;
    fields.reserve(kFieldCount + 1);
    const CReferenceDigest digest(kReferenceKey, kReferenceOutputLength);
    const std::string output_folder = m_host.OutputFolder();

    if (!input.OpenWithRetry(input_path, CRecordFile::modeRead)) {
        return Fail(__LINE__, "読込みファイル[" + input_path + "] オープンエラー", kMsgReadFailed);
    }
    const std::uint64_t input_length = input.GetLength();
    if (input_length == 0) {
        result.written_count = 0;
        result.file_count = 0;
        ++result.error_count;
        result.message = kNoDataMessage;
        return NoData;
    }

    const std::string base = FileNameFromPath(input_path, true);
    std::string output_path = JoinPath(output_folder, OutputName(base, 1));
    // An existing first file is continued, not replaced; its length counts towards the limit.
    if (!output.OpenWithRetry(output_path,
                              CRecordFile::modeCreate | CRecordFile::modeNoTruncate | CRecordFile::modeWrite)) {
        return Fail(__LINE__, "報告データファイル[" + output_path + "] 作成エラー", kMsgCreateFailed);
    }
    std::uint64_t estimated_size = output.GetLength();
    const std::uint64_t split_limit = m_host.SplitLimit();
    const std::uint64_t progress_step = input_length / 100;
    std::uint64_t since_step = 0;
    m_host.SetProgress(0);
    result.file_count = 1;

    // The three ways that discard the file's output: close without writing out the buffer, then
    // delete every output file of this input, the complete ones included.
    auto discard = [&](FileStatus status, int position) {
        output.Close();
        DeleteOutputFiles(output_folder, base, result.file_count);
        if (status == Aborted) {
            m_host.SetConvertButtonText(kButtonConvert);
            m_host.SetStatusText(kStatusAborted);
            return status;
        }
        result.written_count = 0;
        result.file_count = 0;
        ++result.error_count;
        if (status == FieldLengthError) result.message = FieldErrorText(FieldLengthError, position);
        return status;
    };

    for (;;) {
        // The abort request is answered between records, before the end of the input is seen.
        if (m_flags.abortRequested.load() == 1) {
            m_flags.running = 0;
            m_flags.abortRequested = 0;
            if (m_host.ShowMessage(LoadMessage(kMsgConfirmAbort), MessageKind::Question)) {
                return discard(Aborted, 0);
            }
            m_flags.running = 1;
        }

        fields.clear();
        const std::int64_t line_bytes = input.ReadRecord(fields);
        if (line_bytes == 0) break;
        ++result.read_count;

        // A NUL byte has no place in a claim record: it would cut the identifying text short and
        // give a wrong reference number, so the record is refused like one of the wrong shape.
        if (fields.size() != static_cast<std::size_t>(kFieldCount) || HoldsNul(fields)) {
            return discard(ColumnCountError, 0);
        }
        for (int position = 0; position < kFieldCount; ++position) {
            if (!IsFieldLengthValid(static_cast<std::int32_t>(fields[position].size()), position)) {
                return discard(FieldLengthError, position);
            }
        }
        since_step += static_cast<std::uint64_t>(line_bytes);

        // Every record is charged its longest possible size, so no file outgrows the medium.
        if (split_limit != 0 && estimated_size + kRecordCharge >= split_limit) {
            if (!output.FlushBuffer()) {
                return Fail(__LINE__, "報告データファイル[" + output_path + "] 書込みエラー", kMsgWriteFailed);
            }
            output.Close();
            ++result.file_count;
            estimated_size = 0;
            output_path = JoinPath(output_folder, OutputName(base, result.file_count));
            if (!output.OpenWithRetry(output_path, CRecordFile::modeCreate | CRecordFile::modeWrite)) {
                return Fail(__LINE__, "報告データファイル[" + output_path + "] 作成エラー", kMsgCreateFailed);
            }
        }

        if (!output.WriteBuffered(BuildOutputLine(fields, digest))) {
            return Fail(__LINE__, "報告データファイル[" + output_path + "] 書込みエラー", kMsgWriteFailed);
        }
        ++result.written_count;
        estimated_size += kRecordCharge;

        if (since_step >= progress_step) {
            m_host.RecordsRead(result.read_count);
            m_host.SetProgress(m_host.GetProgress() + 1);
            since_step = 0;
        }
    }

    if (!output.FlushBuffer()) {
        return Fail(__LINE__, "報告データファイル[" + output_path + "] 書込みエラー", kMsgWriteFailed);
    }
    m_host.RecordsRead(result.read_count);
    m_host.SetProgress(100);
    return Normal;
}

void CConversionRun::ReportException(int line, const std::string& text) {
    m_host.EnableControls(true);
    m_flags.running = 0;
    const std::string fatal = LoadMessage(kMsgFatal);
    try {
        m_log.WriteLog(line, kLogSource, text + fatal);
    } catch (...) {
        // The log itself failed: the message box below is all that can still be done.
    }
    m_host.ShowMessage(fatal, MessageKind::Stop);
    m_host.SetConvertButtonText(kButtonConvert);
    for (std::size_t row = 0; row < m_files.statuses.size(); ++row) {
        if (m_files.statuses[row] == Processing) {
            m_files.statuses[row] = Failed;
            ShowFileStatus(static_cast<int>(row), Failed);
            break;
        }
    }
}

int CConversionRun::ConvertThreadProc() {
    try {
        m_flags.running = 1;
        m_host.EnableControls(false);
        m_host.SetStatusText(kStatusRunning);
        const std::int64_t start = m_clock.Now();

        FileResult current;
        for (std::size_t row = 0; row < m_files.names.size(); ++row) {
            current = FileResult{};
            const bool ticked = row < m_files.checks.size() && m_files.checks[row] != 0;
            if (!ticked) {
                m_files.statuses.push_back(NotProcessed);
                m_files.results.push_back(current);
                continue;
            }
            m_files.statuses.push_back(Processing);
            ShowFileStatus(static_cast<int>(row), Processing);

            const FileStatus code = ConvertFile(JoinPath(m_files.folder, m_files.names[row]), current);
            m_files.results.push_back(current);
            m_files.statuses.back() = code;

            if (code == FieldLengthError) {
                m_host.SetRowStatusText(static_cast<int>(row), current.message);
                continue;
            }
            ShowFileStatus(static_cast<int>(row), code);
            if (code == Failed || code == Aborted) {
                m_host.EnableControls(true);
                m_flags.running = 0;
                m_host.SetConvertButtonText(kButtonConvert);
                return 0;
            }
        }

        if (!WriteResultReport()) {
            m_host.EnableControls(true);
            m_flags.running = 0;
            const std::string message = LoadMessage(kMsgReportFailed);
            m_log.WriteLog(__LINE__, kLogSource, message);
            m_host.ShowMessage(message, MessageKind::Exclamation);
            m_host.SetStatusText(kStatusFailed);
            m_host.SetConvertButtonText(kButtonConvert);
            return 0;
        }

        const std::string elapsed = ElapsedText(m_clock.Now() - start);
        m_host.EnableControls(true);
        m_flags.running = 0;
        m_host.SetConvertButtonText(kButtonConvert);
        m_host.SetStatusText("カルデノ　正常終了 (" + elapsed + ")");
        return 1;
    } catch (const std::exception& error) {
        ReportException(__LINE__, std::string(error.what()) + " ");
    } catch (...) {
        ReportException(__LINE__, kUnknownException);
    }
    return 0;
}

int CConversionRun::WriteResultReport() {
    static const std::string kRule = std::string(78, '=') + "\r\n";
    static const std::string kStars = std::string(78, '*') + "\r\n";
    platform::File file;
    try {
        const std::int64_t now = m_clock.Now();
        const std::string output_folder = m_host.OutputFolder();
        const std::string path =
            JoinPath(output_folder, FormatLocalTime(m_clock, now, "%Y%m%d%H%M%S") + "_Result.txt");
        if (!file.Open(path, platform::File::modeCreate | platform::File::modeWrite)) return 0;

        std::string body;
        bool any_error = false;
        const std::size_t rows = m_files.names.size();
        for (std::size_t row = 0; row < rows; ++row) {
            if (row >= m_files.checks.size() || m_files.checks[row] == 0) continue;
            const std::string& name = m_files.names[row];
            const FileResult result = row < m_files.results.size() ? m_files.results[row] : FileResult{};
            const std::int32_t status = row < m_files.statuses.size() ? m_files.statuses[row] : NotProcessed;

            body += kRule;
            body += "  " + name + "\r\n";
            body += kRule;
            body += "フ ァ イ ル ：[ I N ] " + JoinPath(m_files.folder, name) + "\r\n";
            if (result.file_count == 0) {
                body += "フ ァ イ ル ：[ OUT ] なし\r\n";
            } else {
                const std::string base = name.substr(0, name.size() >= 4 ? name.size() - 4 : 0);
                for (int number = 1; number <= result.file_count; ++number) {
                    body += number == 1 ? "フ ァ イ ル ：[ OUT ] " : "            ：[ OUT ] ";
                    body += JoinPath(output_folder, OutputName(base, number)) + "\r\n";
                }
            }
            body += "レコード件数：[ I N ] " + std::to_string(result.read_count) + "\r\n";
            body += "　　　　　　：[ OUT ] " + std::to_string(result.written_count) + "\r\n";
            if (result.error_count == 0) {
                body += "処 理 結 果 ：正常終了（エラーなし）\r\n";
            } else {
                any_error = true;
                if (status == FieldLengthError || status == NoData) {
                    body += "処 理 結 果 ：" + result.message + "\r\n";
                } else {
                    body += "処 理 結 果 ：カラム数エラー\r\n";
                }
            }
            // Compared with the whole list, not the last ticked row.
            if (row + 1 != rows) body += "\r\n";
        }

        std::string report = kStars + "**\r\n" + "**    ヒルデナ（カルデノ）\r\n" + "**\r\n" + kStars + "\r\n";
        report += "処 理 日 時 ：" + FormatLocalTime(m_clock, now, "%Y/%m/%d %H:%M:%S") + "\r\n";
        report += any_error ? "処 理 結 果 ：正常終了（エラーあり）\r\n" : "処 理 結 果 ：正常終了（エラーなし）\r\n";
        report += "\r\n";
        report += body;

        file.Write(report.data(), report.size());
        file.Close();
        m_reportPath = path;
        m_host.OpenReport(path);
        return 1;
    } catch (...) {
        // Any failure of the report is told by the caller (message 114); the file, if created,
        // stays as far as it was written.
        file.Close();
        return 0;
    }
}
