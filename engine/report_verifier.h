// Checks that the output files a result report lists hold what the report says, wherever they were
// copied: each is found by its file name in one folder, every line must be an output record
// (16 fields, CR LF, the remarks code, the reference's shape, the padded amounts), and the records
// of each input's files must add up to the report's count.
// Only regular files are read, the report and the outputs alike (a link, a FIFO, a device or a
// folder at the name is refused, never followed or waited on), and only so much of each: a report
// of more than 16 MiB is no result report, and an output line of more than 4,096 bytes is a fault
// of its file, so memory stays small whatever the files hold. An output is looked for by the last
// part of the path the report gives; a path that ends in no plain file name is a fault of its input.
// A damaged or cut report is a fault, not a pass: an input whose lines lack a record count that fits
// or the result line after it, an input heading broken off, a report that lists no input at all.
// An output that fails while it is read throws FileError. Any thread may call it.
#pragma once

#include <cstdint>
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
    // A fault of the report itself, apart from its inputs (it lists none, an input heading is broken
    // off); empty when there is none. A text of its own, beginning with "the report".
    std::string problem;
};

// folder: where the output files are looked for by name (the report's own folder when empty).
ReportVerification VerifyReport(const std::string& reportPath, std::string folder);
