#include "engine/report_verifier.h"

#include <cstdint>
#include <string_view>

#include "base/file_error.h"
#include "base/mbcs.h"
#include "engine/record_file.h"
#include "engine/record_layout.h"
#include "platform/platform.h"
#include "support/paths.h"

namespace {

const std::string kRule(78, '=');
constexpr char kTitle[] = "**    ヒルデナ（カルデノ）";
constexpr char kDateLabel[] = "処 理 日 時 ：";
constexpr char kFirstOut[] = "フ ァ イ ル ：[ OUT ] ";
constexpr char kNextOut[] = "            ：[ OUT ] ";
constexpr char kNoOutput[] = "なし";
constexpr char kWrittenCount[] = "　　　　　　：[ OUT ] ";
constexpr std::size_t kReferenceHalf = 40;
constexpr std::size_t kHexInSecondHalf = 24;  // then 16 "0"

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

bool IsUpperHex(std::string_view text) {
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

// The file name of a path written on either side (after the last backslash or slash).
std::string NameOf(const std::string& path) {
    const std::size_t backslash = FindLastChar(path, '\\');
    const std::size_t slash = FindLastChar(path, '/');
    std::size_t last = std::string::npos;
    if (backslash != std::string::npos) last = backslash;
    if (slash != std::string::npos && (last == std::string::npos || slash > last)) last = slash;
    return last == std::string::npos ? path : path.substr(last + 1);
}

// What is wrong with one output record line (without its CR LF), or the empty text.
std::string RecordProblem(std::string_view line) {
    std::string_view fields[kFieldCount];
    const int count = SplitViews(line, ',', fields, kFieldCount);
    if (count != kFieldCount) return std::to_string(count) + " fields";
    // Fields are named as the record layout names them, which no count from 0 or 1 can confuse.
    const auto name = [](int position) { return std::string(kFieldTable[position].name); };
    if (fields[kFieldRemarks] != "a2") return name(kFieldRemarks) + " is not a2";
    const std::string_view symbol = fields[kFieldCardSymbol];
    const std::string_view number = fields[kFieldCardNumber];
    if (symbol.size() != kReferenceHalf || !IsUpperHex(symbol) || number.size() != kReferenceHalf ||
        !IsUpperHex(number.substr(0, kHexInSecondHalf)) ||
        number.substr(kHexInSecondHalf) != std::string(kReferenceHalf - kHexInSecondHalf, '0')) {
        return name(kFieldCardSymbol) + " and " + name(kFieldCardNumber) + " are not a reference number";
    }
    for (int position : {kFieldDecidedPoints, kFieldMealAmount}) {
        const auto width = static_cast<std::size_t>(kFieldTable[position].maxLength);
        if (fields[position].size() != width) return name(position) + " is not padded to " + std::to_string(width);
    }
    return std::string();
}

// Adds the records of one output file to total; the empty text when every line is a record, else
// what is wrong, naming the file and the line.
std::string CheckOutputFile(const std::string& path, const std::string& name, std::int64_t& total) {
    platform::File file;
    if (!file.Open(path, platform::File::modeRead)) return "missing " + name;
    std::int64_t records = 0;  // also the line being checked
    std::string text;
    std::string buffer(1 << 20, '\0');
    for (;;) {
        const std::size_t got = file.Read(buffer.data(), buffer.size());
        if (got == 0) break;
        text.append(buffer, 0, got);
        // Whole lines are checked as they come, so memory stays small for a file of gigabytes.
        std::size_t start = 0;
        for (std::size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', start)) {
            ++records;
            if (lf == start || text[lf - 1] != '\r') return name + " line " + std::to_string(records) + ": no CR LF";
            const std::string problem = RecordProblem(std::string_view(text).substr(start, lf - 1 - start));
            if (!problem.empty()) return name + " line " + std::to_string(records) + ": " + problem;
            start = lf + 1;
        }
        text.erase(0, start);
    }
    if (!text.empty()) return name + " line " + std::to_string(records + 1) + ": no CR LF";
    total += records;
    return std::string();
}

}  // namespace

ReportVerification VerifyReport(const std::string& reportPath, std::string folder) {
    ReportVerification verification;
    std::string report;
    try {
        platform::File file;
        int error = 0;
        if (!file.Open(reportPath, platform::File::modeRead, &error)) {
            verification.error = platform::FileFailure("読込み", reportPath, error).what();
            return verification;
        }
        std::string buffer(1 << 16, '\0');
        for (std::size_t got; (got = file.Read(buffer.data(), buffer.size())) > 0;) report.append(buffer, 0, got);
    } catch (const FileError& error) {
        verification.error = error.what();
        return verification;
    }
    std::vector<std::string> lines;
    SplitText(report, "\r\n", lines);
    bool titled = false;
    bool dated = false;
    for (const std::string& line : lines) {
        titled = titled || line == kTitle;
        dated = dated || StartsWith(line, kDateLabel);
    }
    if (!titled || !dated) {
        verification.error = reportPath + ": not a result report";
        return verification;
    }
    verification.isReport = true;
    if (folder.empty()) {
        const std::size_t separator = FindLastChar(reportPath, platform::kPathSeparator);
        folder = separator == std::string::npos ? "." : reportPath.substr(0, separator);
    }

    for (std::size_t i = 0; i + 2 < lines.size(); ++i) {
        if (lines[i] != kRule || !StartsWith(lines[i + 1], "  ") || lines[i + 2] != kRule) continue;
        VerifiedInput input;
        input.name = lines[i + 1].substr(2);
        std::vector<std::string> outputs;
        std::int64_t expected = -1;
        for (std::size_t j = i + 3; j < lines.size() && lines[j] != kRule; ++j) {
            const std::string& line = lines[j];
            if (StartsWith(line, kFirstOut) || StartsWith(line, kNextOut)) {
                const std::string path = line.substr(std::string(kFirstOut).size());
                if (path != kNoOutput) outputs.push_back(NameOf(path));
            } else if (StartsWith(line, kWrittenCount)) {
                const std::string count = line.substr(std::string(kWrittenCount).size());
                if (!count.empty() && count.find_first_not_of("0123456789") == std::string::npos) {
                    expected = std::stoll(count);
                }
            }
        }
        i += 2;
        if (expected < 0) {
            input.problem = "the report gives no record count";
        } else {
            for (const std::string& name : outputs) {
                input.problem = CheckOutputFile(JoinPath(folder, name), name, input.records);
                ++input.files;
                if (!input.problem.empty()) break;
            }
            if (input.problem.empty() && input.records != expected) {
                input.problem = std::to_string(input.records) + " records in " + std::to_string(input.files) +
                                " files, the report says " + std::to_string(expected);
            }
        }
        verification.inputs.push_back(std::move(input));
    }
    return verification;
}
