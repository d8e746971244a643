// Fuzz target: VerifyReport on any bytes as a result report, in a folder of fixed output files.
//
// Input: the report. After its first NUL byte, if any, the rest is 20080423120004_001.CSV instead
// (the report is what comes before); without one, that file is empty. The folder holds, for all
// inputs alike:
//   20080423120000_001.CSV, _002.CSV  3 and 2 records (as a 5-record input split 3 a file gives)
//   20080423120001_001.CSV            a link to a file of 1,000 records outside the folder
//   20080423120002_001.CSV            a FIFO (no writer ever opens it)
//   20080423120003_001.CSV            a folder
//   20080423120005_001.CSV            one line of 5,000 bytes
// The rules:
//   - VerifyReport returns, without an exception: a FIFO is never waited on (a hang is a timeout),
//     and no file is read without bound (libFuzzer's memory limit);
//   - not a report: the reason, and neither inputs nor findings; a report: no reason, and findings
//     (a report that lists no input never passes, and with no checksum file beside it none passes);
//   - an input that passes holds no more records than its files can (the link is never followed),
//     and the report gives that count on a written-count line, with a result line after it.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "engine/report_verifier.h"
#include "fuzz/fuzz_support.h"
#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

// clang compiles this file as it is (UTF-8): the report's labels as their code page 932 bytes.
const std::string kWrittenCount = "\x81\x40\x81\x40\x81\x40\x81\x40\x81\x40\x81\x40\x81\x46[ OUT ] ";
const std::string kResultLabel = "\x8F\x88 \x97\x9D \x8C\x8B \x89\xCA \x81\x46";
const std::string kReportName = "20080423140509_Result.txt";
const std::string kFromInput = "20080423120004_001.CSV";
constexpr std::int64_t kOutsideRecords = 1000;

// An output record as the conversion writes it, varying with n.
std::string Record(int n) {
    char number[16];
    std::snprintf(number, sizeof number, "%010d", n);
    const std::string hex = "0123456789ABCDEF0123456789ABCDEF01234567";
    return std::string(number) + ",a2,12345678," + hex + "," + hex.substr(0, 24) + std::string(16, '0') +
           ",19490129,2,200804,200803,4,,2,000003204,,00000000,1401\r\n";
}

std::string Records(int count) {
    std::string text;
    for (int n = 0; n < count; ++n) text += Record(n);
    return text;
}

// True when a written-count line of the report gives count (leading zeros aside), with a result
// line after it.
bool GivesCount(const std::string& report, std::int64_t count) {
    const std::string label = "\r\n" + kWrittenCount;
    for (std::size_t at = report.find(label); at != std::string::npos; at = report.find(label, at + 1)) {
        const std::size_t start = at + label.size();
        const std::size_t end = report.find("\r\n", start);
        if (end == std::string::npos) return false;
        std::string digits = report.substr(start, end - start);
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
        if (digits == std::to_string(count) && report.find("\r\n" + kResultLabel, end) != std::string::npos) {
            return true;
        }
    }
    return false;
}

struct Folders {
    TempDir disc;
    TempDir outside;
    Folders() {
        WriteBytes(disc / "20080423120000_001.CSV", Records(3));
        WriteBytes(disc / "20080423120000_002.CSV", Records(2));
        WriteBytes(outside / "20080423120001_001.CSV", Records(kOutsideRecords));
        std::error_code error;
        std::filesystem::create_symlink(outside / "20080423120001_001.CSV", disc / "20080423120001_001.CSV", error);
        if (error || mkfifo((disc / "20080423120002_001.CSV").c_str(), 0600) != 0 ||
            !platform::MakeDirectory(disc / "20080423120003_001.CSV")) {
            fuzz::Fail("the folder of outputs cannot be made");
        }
        WriteBytes(disc / "20080423120005_001.CSV", std::string(5000, '0') + "\r\n");
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::PreferMemoryTempFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Folders folders;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string report = input.substr(0, nul);
    const std::string output = nul == std::string::npos ? "" : input.substr(nul + 1);
    WriteBytes(folders.disc / kReportName, report);
    WriteBytes(folders.disc / kFromInput, output);

    ReportVerification verification;
    try {
        verification = VerifyReport(folders.disc / kReportName, "");
    } catch (const std::exception& error) {
        fuzz::Fail(std::string("VerifyReport threw: ") + error.what());
    }

    if (!verification.isReport) {
        if (verification.error.empty() || !verification.inputs.empty() || !verification.findings.empty()) {
            fuzz::Fail("not a report, yet with inputs or findings, or without a reason");
        }
        return 0;
    }
    if (!verification.error.empty()) fuzz::Fail("a report with a reason: " + verification.error);
    if (verification.findings.empty()) fuzz::Fail("a report without findings");
    if (verification.Passed()) fuzz::Fail("a report without a checksum file passed");
    const std::int64_t outputLines = std::count(output.begin(), output.end(), '\n');
    const std::int64_t mostInAFile = std::max<std::int64_t>(3, outputLines);
    for (const VerifiedInput& verified : verification.inputs) {
        if (!verified.passed) continue;
        if (verified.files < 0 || verified.records < 0 || verified.records > verified.files * mostInAFile) {
            fuzz::Fail(verified.name + " passed with " + std::to_string(verified.records) + " records in " +
                       std::to_string(verified.files) + " files");
        }
        if (!GivesCount(report, verified.records)) {
            fuzz::Fail(verified.name + " passed with " + std::to_string(verified.records) +
                       " records, which no written-count line followed by a result line gives");
        }
    }
    return 0;
}
