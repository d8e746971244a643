#include "engine/result_report.h"

const char kReportRule[] = "==============================================================================";
const char kReportTitle[] = "**    ヒルデナ（カルデノ）";
const char kReportDateLabel[] = "処 理 日 時 ：";
const char kReportResultLabel[] = "処 理 結 果 ：";
const char kReportNoErrors[] = "正常終了（エラーなし）";
const char kReportNamePrefix[] = "  ";
const char kReportInputFile[] = "フ ァ イ ル ：[ I N ] ";
const char kReportFirstOutput[] = "フ ァ イ ル ：[ OUT ] ";
const char kReportNextOutput[] = "            ：[ OUT ] ";
const char kReportNoOutput[] = "なし";
const char kReportReadCount[] = "レコード件数：[ I N ] ";
const char kReportWrittenCount[] = "　　　　　　：[ OUT ] ";
const char kReportSuffix[] = "_Result.txt";

namespace {
constexpr char kLineEnd[] = "\r\n";
constexpr char kWithErrors[] = "正常終了（エラーあり）";
constexpr char kColumnCountError[] = "カラム数エラー";
}  // namespace

std::string ComposeResultReport(const std::string& dateText, const std::vector<ReportEntry>& entries) {
    const std::string rule = std::string(kReportRule) + kLineEnd;
    std::string body;
    bool anyError = false;
    for (const ReportEntry& entry : entries) {
        body += rule + kReportNamePrefix + entry.name + kLineEnd + rule;
        body += kReportInputFile + entry.inputPath + kLineEnd;
        if (entry.outputPaths.empty()) body += std::string(kReportFirstOutput) + kReportNoOutput + kLineEnd;
        for (std::size_t i = 0; i < entry.outputPaths.size(); ++i) {
            body += (i == 0 ? kReportFirstOutput : kReportNextOutput) + entry.outputPaths[i] + kLineEnd;
        }
        body += kReportReadCount + std::to_string(entry.result.read_count) + kLineEnd;
        body += kReportWrittenCount + std::to_string(entry.result.written_count) + kLineEnd;
        body += kReportResultLabel;
        if (entry.result.error_count == 0) {
            body += kReportNoErrors;
        } else {
            anyError = true;
            const bool ownText = entry.status == FieldLengthError || entry.status == NoData;
            body += ownText ? entry.result.message : std::string(kColumnCountError);
        }
        body += kLineEnd;
        if (entry.blankAfter) body += kLineEnd;
    }
    const std::string stars = std::string(78, '*') + kLineEnd;
    std::string report = stars + "**" + kLineEnd + kReportTitle + kLineEnd + "**" + kLineEnd + stars + kLineEnd;
    report += kReportDateLabel + dateText + kLineEnd;
    report += std::string(kReportResultLabel) + (anyError ? kWithErrors : kReportNoErrors) + kLineEnd;
    report += kLineEnd;
    return report + body;
}
