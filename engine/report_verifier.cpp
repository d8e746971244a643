#include "engine/report_verifier.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "base/file_error.h"
#include "base/mbcs.h"
#include "engine/record_layout.h"
#include "engine/result_report.h"
#include "platform/platform.h"
#include "support/paths.h"

namespace {

constexpr std::size_t kReferenceHalf = 40;
constexpr std::size_t kHexInSecondHalf = 24;  // then 16 "0"
// Some ten lines an input: a larger file is no report of ours, and is not read further.
constexpr std::size_t kMaxReportBytes = 16 << 20;
// An output record is at most 173 bytes with its CR LF: a line of more bytes than this before its LF
// is no record, and is not gathered further.
constexpr std::size_t kMaxOutputLine = 4096;
constexpr std::size_t kOutputReadSize = 1 << 18;
// Any count of this many digits fits std::int64_t.
constexpr std::size_t kMaxCountDigits = 18;

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

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

// True for a name that stands for one entry of the folder it is joined to: not empty, neither "."
// nor "..", and without a separator of either side, a drive or stream colon or a control byte.
bool IsPlainName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (FindChar(name, '\\') != std::string::npos || FindChar(name, '/') != std::string::npos) return false;
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return c == ':' || static_cast<unsigned char>(c) < 0x20; });
}

// The lines of a text, each ended by CR LF (which is not part of it). Bytes after the last CR LF
// are a line cut short, which Next does not give.
class LineReader {
public:
    explicit LineReader(std::string_view text) : m_text(text) {}
    bool Next(std::string_view& line) {
        const std::size_t end = m_text.find("\r\n", m_position);
        if (end == std::string_view::npos) return false;
        line = m_text.substr(m_position, end - m_position);
        m_position = end + 2;
        ++m_number;
        return true;
    }
    std::string_view Rest() const { return m_text.substr(m_position); }
    // The number of the line Next gave last, from 1.
    std::size_t Number() const { return m_number; }

private:
    std::string_view m_text;
    std::size_t m_position = 0;
    std::size_t m_number = 0;
};

// True when the text has the report's title and date lines (the last of them may be cut short).
bool HasReportHeader(std::string_view report) {
    bool titled = false;
    bool dated = false;
    const auto see = [&](std::string_view line) {
        titled = titled || line == kReportTitle;
        dated = dated || StartsWith(line, kReportDateLabel);
    };
    LineReader lines(report);
    std::string_view line;
    while (lines.Next(line)) see(line);
    see(lines.Rest());
    return titled && dated;
}

// What the report says of one input, from the lines under its heading.
struct InputLines {
    std::vector<std::string> outputs;  // file names, in the report's order
    bool unplainOutput = false;        // an output path ends in no plain file name
    bool counted = false;
    std::string_view count;  // the written record count's text, the last one given
    bool resulted = false;   // a result line follows that count
};

void TakeLine(InputLines& input, std::string_view line) {
    for (std::string_view label : {std::string_view(kReportFirstOutput), std::string_view(kReportNextOutput)}) {
        if (!StartsWith(line, label)) continue;
        const std::string path(line.substr(label.size()));
        if (path == kReportNoOutput) return;
        std::string name = NameOf(path);
        if (IsPlainName(name)) {
            input.outputs.push_back(std::move(name));
        } else {
            input.unplainOutput = true;
        }
        return;
    }
    if (StartsWith(line, kReportWrittenCount)) {
        input.counted = true;
        input.count = line.substr(std::string_view(kReportWrittenCount).size());
        input.resulted = false;
    } else if (input.counted && StartsWith(line, kReportResultLabel)) {
        input.resulted = true;
    }
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
    int error = 0;
    if (!file.Open(path, platform::File::modeRead | platform::File::modeNoFollow, &error)) {
        if (platform::IsMissingError(error)) return "missing " + name;
        return "cannot open " + name + " (" + platform::ErrorText(error) + ")";
    }
    const auto fault = [&](std::int64_t line, const std::string& what) {
        return name + " line " + std::to_string(line) + ": " + what;
    };
    const std::string tooLong = "longer than " + std::to_string(kMaxOutputLine) + " bytes";
    std::int64_t records = 0;  // also the line being checked
    // The line not yet ended, then what a read brings: whole lines are checked as they come, and
    // no line is gathered beyond the bound, so memory stays small for any file.
    std::string text;
    text.reserve(kMaxOutputLine + kOutputReadSize);
    std::string buffer(kOutputReadSize, '\0');
    for (;;) {
        const std::size_t got = file.Read(buffer.data(), buffer.size());
        if (got == 0) break;
        text.append(buffer, 0, got);
        std::size_t start = 0;
        for (std::size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', start)) {
            ++records;
            if (lf - start > kMaxOutputLine) return fault(records, tooLong);
            if (lf == start || text[lf - 1] != '\r') return fault(records, "no CR LF");
            const std::string problem = RecordProblem(std::string_view(text).substr(start, lf - 1 - start));
            if (!problem.empty()) return fault(records, problem);
            start = lf + 1;
        }
        text.erase(0, start);
        if (text.size() > kMaxOutputLine) return fault(records + 1, tooLong);
    }
    if (!text.empty()) return fault(records + 1, "no CR LF");
    total += records;
    return std::string();
}

// Checks one input's output files against what the report says of them.
void CheckInput(const InputLines& lines, const std::string& folder, VerifiedInput& input) {
    const std::string_view count = lines.count;
    if (!lines.counted || count.empty() || count.find_first_not_of("0123456789") != std::string_view::npos) {
        input.problem = "the report gives no record count";
        return;
    }
    if (count.size() > kMaxCountDigits) {
        input.problem = "the report's record count has more than " + std::to_string(kMaxCountDigits) + " digits";
        return;
    }
    if (!lines.resulted) {
        input.problem = "the report gives no result line after the record count";
        return;
    }
    if (lines.unplainOutput) {
        input.problem = "the report lists an output path that ends in no plain file name";
        return;
    }
    std::int64_t expected = 0;
    for (char digit : count) expected = expected * 10 + (digit - '0');
    for (const std::string& name : lines.outputs) {
        input.problem = CheckOutputFile(JoinPath(folder, name), name, input.records);
        ++input.files;
        if (!input.problem.empty()) return;
    }
    if (input.records != expected) {
        input.problem = std::to_string(input.records) + " records in " + std::to_string(input.files) +
                        " files, the report says " + std::to_string(expected);
    }
}

}  // namespace

ReportVerification VerifyReport(const std::string& reportPath, std::string folder) {
    ReportVerification verification;
    std::string report;
    bool tooLarge = false;
    try {
        platform::File file;
        int error = 0;
        if (!file.Open(reportPath, platform::File::modeRead | platform::File::modeNoFollow, &error)) {
            verification.error = platform::FileFailure("読込み", reportPath, error).what();
            return verification;
        }
        // Up to the bound, then one byte more tells a file that is too large.
        std::string buffer(1 << 16, '\0');
        for (std::size_t got = 1; got > 0 && report.size() < kMaxReportBytes;) {
            got = file.Read(buffer.data(), std::min(buffer.size(), kMaxReportBytes - report.size()));
            report.append(buffer, 0, got);
        }
        tooLarge = report.size() == kMaxReportBytes && file.Read(buffer.data(), 1) > 0;
    } catch (const FileError& error) {
        verification.error = error.what();
        return verification;
    }
    if (tooLarge || !HasReportHeader(report)) {
        verification.error = reportPath + ": not a result report";
        return verification;
    }
    verification.isReport = true;
    if (folder.empty()) {
        const std::size_t separator = FindLastChar(reportPath, platform::kPathSeparator);
        folder = separator == std::string::npos ? "." : reportPath.substr(0, separator);
    }

    // Each input's lines follow its heading (a rule, two spaces and its name, a rule) up to the next
    // rule. A rule that begins no whole heading is a report broken off or damaged there; the lines
    // after it belong to no input.
    struct Block {
        VerifiedInput input;
        InputLines lines;
    };
    std::vector<Block> blocks;
    bool inBlock = false;
    LineReader lines(report);
    for (std::string_view line; lines.Next(line);) {
        if (line != kReportRule) {
            if (inBlock) TakeLine(blocks.back().lines, line);
            continue;
        }
        LineReader heading = lines;
        std::string_view name;
        std::string_view closing;
        if (heading.Next(name) && StartsWith(name, kReportNamePrefix) && heading.Next(closing) && closing == kReportRule) {
            blocks.emplace_back();
            blocks.back().input.name = std::string(name.substr(std::string_view(kReportNamePrefix).size()));
            inBlock = true;
            lines = heading;
        } else {
            if (verification.problem.empty()) {
                verification.problem =
                    "the report's input heading at line " + std::to_string(lines.Number()) + " is incomplete";
            }
            inBlock = false;
        }
    }
    if (blocks.empty() && verification.problem.empty()) verification.problem = "the report lists no input file";

    for (Block& block : blocks) {
        CheckInput(block.lines, folder, block.input);
        verification.inputs.push_back(std::move(block.input));
    }
    return verification;
}
