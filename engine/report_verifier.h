// Proves a copied disc against the result report of the run that wrote it and the checksum manifest
// beside the report: every file the manifest lists holds, byte for byte, what the run wrote; every
// output line is an output record and each input's records add up to the report's count; and the
// folder holds no output, temporary file, report or manifest the report does not list. The result
// is a list of findings in Japanese, the same lines for the command line and a dialog. Any thread.
//
// A report of an older version has no manifest: then the records and counts are checked and a finding
// says that the contents could not be proved. Only regular files are read (a link, a FIFO, a device or
// a folder at a name is refused, never followed or waited on), and only so much of each: a report or
// a manifest of more than 16 MiB is refused, and no output line is gathered beyond 4,096 bytes, so
// memory stays small whatever the files hold. An output is looked for by the last part of the path
// the report gives; a path that ends in no plain file name is a fault of the report. A damaged or cut
// report is a fault, not a pass (an input heading broken off, a count without its result line, no
// input at all; with a manifest, any byte of it changed).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class FindingKind {
    Proved,          // an input whose outputs are all proved, well formed and counted: no problem
    RecordsChecked,  // the same without a manifest: its records and count hold, its contents are unproved
    NotProved,       // there is no manifest: nothing could be proved byte for byte
    ContentDiffers,  // a file's SHA-256 is not the manifest's
    Missing,         // a file the report lists is not in the folder
    Unreadable,      // it is there but cannot be read as a regular file (a link, a folder, a read error)
    RecordFault,     // a line of an output breaks the record rules (the first of its file)
    CountDiffers,    // an input's outputs hold another number of records than the report says
    Rejected,        // the report gives an input no output (a record error, no data)
    Unlisted,        // an output, temporary file, report or manifest in the folder that the report does not list
    ReportFault,     // the report is damaged or cut
    ManifestFault,   // the manifest cannot be read, is not of its form, or differs from the report's list
    Aborted,         // the verification was stopped before its end
};

struct VerifyFinding {
    FindingKind kind;
    std::string file;  // the file it is about (an output, the report, the manifest, an input); may be empty
    std::string text;  // what was found, without the file's name (code page 932)
};

struct VerifiedInput {
    std::string name;          // the input file's name, as the report gives it
    bool passed = false;       // its outputs hold what the report says (proved, when there is a manifest)
    std::int64_t files = 0;    // output files read
    std::int64_t records = 0;  // records in them (counted when every line was a record)
};

struct ReportVerification {
    bool isReport = false;  // false: the report could not be read or is not a result report
    std::string error;      // why, then
    bool manifest = false;  // a manifest was read, so the files could be proved
    bool aborted = false;
    std::vector<VerifiedInput> inputs;
    std::vector<VerifyFinding> findings;  // in the order they are shown

    // The findings that stand in the way of sending the disc (all but Proved and RecordsChecked).
    int Problems() const;
    // True when the disc is proved: a report, a manifest, not aborted, no problem.
    bool Passed() const;
};

// The last line shown: "確認結果：OK（出力ファイル 3、レコード 1,000）", "確認結果：NG（問題 2 件）" or the
// text of an aborted verification.
std::string VerificationSummary(const ReportVerification& verification);

// What the verification found, as the command line prints it and a dialog shows it: one line a
// finding ("FILE: TEXT", or TEXT alone), then the summary; for a file that is no result report, the
// reason alone.
std::vector<std::string> VerificationLines(const ReportVerification& verification);

// What the caller of a long verification sees of it and how it stops it; both are called on the
// verifying thread, between reads. Either may be empty.
struct VerifyWatch {
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;  // bytes read of those to read
    std::function<bool()> abortRequested;  // true: stop now (the result is then aborted)
};

// folder: where the output files are looked for by name (the report's own folder when empty); the
// manifest is always looked for beside the report. Never throws for what the files hold or a file
// that fails to be read: that is a finding.
ReportVerification VerifyReport(const std::string& reportPath, std::string folder, const VerifyWatch& watch = {});
