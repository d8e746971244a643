// The result report's format, defined once: its labels and lines, composed here for the run that
// writes the report and read by verify. Code page 932 text, CR LF lines; every label is 12 bytes
// wide before its full-width colon, so that the colons stand in one column. Any thread may call it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_status.h"

extern const char kReportRule[];          // 78 "="
extern const char kReportTitle[];         // **    ヒルデナ（カルデノ）
extern const char kReportDateLabel[];     // 処 理 日 時 ：
extern const char kReportResultLabel[];   // 処 理 結 果 ：
extern const char kReportNoErrors[];      // 正常終了（エラーなし）: an input's result when it was converted
extern const char kReportNamePrefix[];    // two blanks before an input's name
extern const char kReportInputFile[];     // フ ァ イ ル ：[ I N ]
extern const char kReportFirstOutput[];   // フ ァ イ ル ：[ OUT ]
extern const char kReportNextOutput[];    //             ：[ OUT ]
extern const char kReportNoOutput[];      // なし
extern const char kReportReadCount[];     // レコード件数：[ I N ]
extern const char kReportWrittenCount[];  // 　　　　　　：[ OUT ]
extern const char kReportSuffix[];        // _Result.txt

// One ticked input of a run, as its block of the report tells it.
struct ReportEntry {
    std::string name;                      // as listed
    std::string inputPath;                 // the input folder and the name
    std::vector<std::string> outputPaths;  // in order; none for "なし"
    FileResult result;
    std::int32_t status = NotProcessed;
    bool blankAfter = false;  // a blank line follows (every row but the list's last)
};

// The whole report: the header with the date text, the run's result, and a block per entry.
std::string ComposeResultReport(const std::string& dateText, const std::vector<ReportEntry>& entries);
