// Checks that the output files a result report lists hold what the report says, wherever they were
// copied: each is found by its file name in one folder, every line must be an output record
// (16 fields, CR LF, the remarks code, the reference's shape, the padded amounts), and the records
// of each input's files must add up to the report's count. Any thread may call it.
#pragma once

#include <string>
#include <vector>

struct VerifiedInput {
    std::string name;     // the input file's name, as the report gives it
    std::string problem;  // empty when everything holds; else what is wrong, naming the output file
    std::int64_t files = 0;
    std::int64_t records = 0;
};

struct ReportVerification {
    bool isReport = false;  // false: the report could not be read or is not a result report
    std::string error;      // why, then
    std::vector<VerifiedInput> inputs;
};

// folder: where the output files are looked for by name (the report's own folder when empty).
ReportVerification VerifyReport(const std::string& reportPath, std::string folder);
