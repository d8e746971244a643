#include "engine/report_verifier.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string_view>

#include "base/file_error.h"
#include "base/mbcs.h"
#include "engine/checksum_manifest.h"
#include "engine/output_files.h"
#include "engine/record_layout.h"
#include "engine/result_report.h"
#include "engine/sha256.h"
#include "platform/platform.h"
#include "support/paths.h"

namespace {

constexpr std::size_t kReferenceHalf = 40;
constexpr std::size_t kHexInSecondHalf = 24;  // then 16 "0"
// Some ten lines an input: a larger file is no report of ours, and is not read further. A manifest
// has a line a file, so it is held to the same bound.
constexpr std::size_t kMaxReportBytes = 16 << 20;
// An output record is at most 173 bytes with its CR LF: a line of more bytes than this before its LF
// is no record, and is not gathered further.
constexpr std::size_t kMaxOutputLine = 4096;
constexpr std::size_t kOutputReadSize = 1 << 18;
// Any count of this many digits fits std::int64_t.
constexpr std::size_t kMaxCountDigits = 18;
// The stem of a run's files: the fourteen digits of its date and time, or of an input's name.
constexpr std::size_t kStemDigits = 14;

constexpr char kContentDiffers[] = "内容が報告時と異なります（SHA-256 不一致）";
constexpr char kNotInManifest[] = "チェックサムファイルに記載がありません（内容は証明できません）";

bool EndsWithIgnoreCase(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && EqualsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

bool IsUpperHex(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// The file name of a path written on either side: after the last backslash or slash (npos + 1 is 0).
std::string NameOf(const std::string& path) {
    return path.substr(std::max(FindLastChar(path, '\\') + 1, FindLastChar(path, '/') + 1));
}

// A name as the folder's file system tells names apart.
std::string FolderKey(const std::string& name) {
    return platform::kCaseSensitiveFileSystem ? name : ToUpperAscii(name);
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
        dated = dated || line.starts_with(kReportDateLabel);
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
    std::string_view count;   // the written record count's text, the last one given
    bool resulted = false;    // a result line follows that count
    std::string_view result;  // its text: kReportNoErrors, or why the input was rejected
};

void TakeLine(InputLines& input, std::string_view line) {
    for (std::string_view label : {std::string_view(kReportFirstOutput), std::string_view(kReportNextOutput)}) {
        if (!line.starts_with(label)) continue;
        const std::string path(line.substr(label.size()));
        if (path == kReportNoOutput) return;
        std::string name = NameOf(path);
        if (IsPlainFileName(name)) {
            input.outputs.push_back(std::move(name));
        } else {
            input.unplainOutput = true;
        }
        return;
    }
    if (line.starts_with(kReportWrittenCount)) {
        input.counted = true;
        input.count = line.substr(std::string_view(kReportWrittenCount).size());
        input.resulted = false;
    } else if (input.counted && line.starts_with(kReportResultLabel)) {
        input.resulted = true;
        input.result = line.substr(std::string_view(kReportResultLabel).size());
    }
}

// What is wrong with the report's lines of one input, or the empty text.
std::string InputLinesProblem(const InputLines& lines) {
    const std::string_view count = lines.count;
    if (!lines.counted || !AllDigits(count)) return "処理結果ファイルに出力のレコード件数がありません";
    if (count.size() > kMaxCountDigits) {
        return "処理結果ファイルの出力のレコード件数が " + std::to_string(kMaxCountDigits) + " 桁を超えています";
    }
    if (!lines.resulted) return "処理結果ファイルで、レコード件数の後の処理結果の行がありません（途中で切れています）";
    if (lines.unplainOutput) return "処理結果ファイルに、ファイル名で終わらない出力のパスがあります";
    return std::string();
}

// What is wrong with one output record line (without its CR LF), or the empty text.
std::string RecordProblem(std::string_view line) {
    std::string_view fields[kFieldCount];
    const int count = SplitViews(line, ',', fields, kFieldCount);
    if (count != kFieldCount) {
        return "項目が " + std::to_string(count) + " 個です（出力レコードは " + std::to_string(kFieldCount) + " 項目）";
    }
    // Fields are named as the record layout names them, which no count from 0 or 1 can confuse.
    const auto name = [](int position) { return std::string(kFieldTable[position].name); };
    if (fields[kFieldRemarks] != "a2") return name(kFieldRemarks) + "が a2 ではありません";
    const std::string_view symbol = fields[kFieldCardSymbol];
    const std::string_view number = fields[kFieldCardNumber];
    if (symbol.size() != kReferenceHalf || !IsUpperHex(symbol) || number.size() != kReferenceHalf ||
        !IsUpperHex(number.substr(0, kHexInSecondHalf)) ||
        number.substr(kHexInSecondHalf) != std::string(kReferenceHalf - kHexInSecondHalf, '0')) {
        return name(kFieldCardSymbol) + "・" + name(kFieldCardNumber) + "が整理番号の形ではありません";
    }
    for (int position : {kFieldDecidedPoints, kFieldMealAmount}) {
        const auto width = static_cast<std::size_t>(kFieldTable[position].maxLength);
        if (fields[position].size() != width)
            return name(position) + "が " + std::to_string(width) + " 桁にそろえられていません";
    }
    return std::string();
}

// The record checks of an output file's lines as its bytes come, in pieces of any size; the first
// line that is no record is kept. No line is gathered beyond kMaxOutputLine bytes, so memory stays
// small for any file.
class CLineChecker {
public:
    void Take(std::string_view bytes) {
        while (!bytes.empty()) {
            const std::size_t lf = bytes.find('\n');
            const std::string_view piece = bytes.substr(0, lf);
            if (!m_overlong && m_line.size() + piece.size() > kMaxOutputLine) {
                m_overlong = true;
                m_line.clear();
                Note(m_lines + 1, CountText(static_cast<std::int64_t>(kMaxOutputLine)) + " バイトを超える行です");
            } else if (!m_overlong) {
                m_line.append(piece);
            }
            if (lf == std::string_view::npos) return;
            ++m_lines;
            // After the first fault the lines are only counted: the file is named already.
            if (!m_overlong && m_faultLine == 0) {
                if (m_line.empty() || m_line.back() != '\r') {
                    Note(m_lines, kNoCrLf);
                } else if (std::string problem = RecordProblem(std::string_view(m_line).substr(0, m_line.size() - 1));
                           !problem.empty()) {
                    Note(m_lines, std::move(problem));
                }
            }
            m_line.clear();
            m_overlong = false;
            bytes.remove_prefix(lf + 1);
        }
    }
    // The file has ended: bytes after its last LF are a line cut short.
    void Finish() {
        if (!m_line.empty() && !m_overlong) Note(m_lines + 1, kNoCrLf);
    }
    std::int64_t Lines() const { return m_lines; }
    std::int64_t FaultLine() const { return m_faultLine; }  // 0 when every line is a record
    const std::string& Fault() const { return m_fault; }

private:
    static constexpr char kNoCrLf[] = "行末が CR LF ではありません";
    void Note(std::int64_t line, std::string what) {
        if (m_faultLine != 0) return;
        m_faultLine = line;
        m_fault = std::move(what);
    }
    std::string m_line;       // the line not yet ended
    bool m_overlong = false;  // the line not yet ended passed the bound: its bytes are dropped up to its LF
    std::int64_t m_lines = 0;
    std::int64_t m_faultLine = 0;
    std::string m_fault;
};

// The bytes read so far against those to read, told to the watch, and its abort check (once it has
// said stop, it is not asked again).
class CReadProgress {
public:
    CReadProgress(const VerifyWatch& watch, std::uint64_t total) : m_watch(watch), m_total(total) {}
    void Add(std::uint64_t bytes) {
        m_done += bytes;
        if (m_watch.progress) m_watch.progress(m_done, std::max(m_done, m_total));
    }
    bool Stopped() {
        if (!m_stopped && m_watch.abortRequested) m_stopped = m_watch.abortRequested();
        return m_stopped;
    }

private:
    const VerifyWatch& m_watch;
    std::uint64_t m_total;
    std::uint64_t m_done = 0;
    bool m_stopped = false;
};

enum class ReadOutcome { Read, Missing, Unreadable, Aborted };

struct OutputScan {
    ReadOutcome outcome = ReadOutcome::Read;
    std::string reason;  // Unreadable: why, as the finding says it
    Sha256Digest digest{};
    CLineChecker lines;
};

// Reads one output whole: its digest and its lines' checks.
void ScanOutput(const std::string& path, CReadProgress& progress, OutputScan& scan) {
    platform::File file;
    int error = 0;
    if (!file.Open(path, platform::File::modeRead | platform::File::modeNoFollow, &error)) {
        scan.outcome = platform::IsMissingError(error) ? ReadOutcome::Missing : ReadOutcome::Unreadable;
        scan.reason = "通常のファイルとして開けません（" + platform::ErrorText(error) + "）";
        return;
    }
    Sha256Context context;
    sha256_init(&context);
    std::string buffer(kOutputReadSize, '\0');
    try {
        for (;;) {
            if (progress.Stopped()) {
                scan.outcome = ReadOutcome::Aborted;
                return;
            }
            const std::size_t got = file.Read(buffer.data(), buffer.size());
            if (got == 0) break;
            sha256_update(&context, reinterpret_cast<const std::uint8_t*>(buffer.data()), got);
            scan.lines.Take(std::string_view(buffer.data(), got));
            progress.Add(got);
        }
    } catch (const FileError& failure) {
        scan.outcome = ReadOutcome::Unreadable;
        scan.reason = std::string("読込みに失敗しました（") + failure.what() + "）";
        return;
    }
    scan.lines.Finish();
    sha256_final(&context, scan.digest.data());
}

// The length of a regular file, for the progress's total; 0 for anything that will not be read.
std::uint64_t LengthOf(const std::string& path) {
    platform::File file;
    if (!file.Open(path, platform::File::modeRead | platform::File::modeNoFollow)) return 0;
    try {
        return file.GetLength();
    } catch (const FileError&) {
        return 0;
    }
}

// Reads a report or a manifest whole, up to kMaxReportBytes. Read, or Missing / Unreadable with the
// reason (the system's words and the path), or tooLarge set when there is more.
ReadOutcome ReadSmallFile(const std::string& path, std::string& bytes, bool& tooLarge, std::string& reason) {
    try {
        platform::File file;
        int error = 0;
        if (!file.Open(path, platform::File::modeRead | platform::File::modeNoFollow, &error)) {
            reason = platform::FileFailure("読込み", path, error).what();
            return platform::IsMissingError(error) ? ReadOutcome::Missing : ReadOutcome::Unreadable;
        }
        // Up to the bound, then one byte more tells a file that is too large.
        std::string buffer(1 << 16, '\0');
        for (std::size_t got = 1; got > 0 && bytes.size() < kMaxReportBytes;) {
            got = file.Read(buffer.data(), std::min(buffer.size(), kMaxReportBytes - bytes.size()));
            bytes.append(buffer, 0, got);
        }
        tooLarge = bytes.size() == kMaxReportBytes && file.Read(buffer.data(), 1) > 0;
        return ReadOutcome::Read;
    } catch (const FileError& error) {
        reason = error.what();
        return ReadOutcome::Unreadable;
    }
}

// What a name in the folder is, when it is one of the kinds of file a run writes; nullptr for any
// other file, which is none of verify's business.
const char* RunFileText(const std::string& name) {
    if (EndsWithIgnoreCase(name, kPartialSuffix)) return "書込みの終わっていない一時ファイルです";
    const bool stemmed = name.size() > kStemDigits && AllDigits(std::string_view(name).substr(0, kStemDigits));
    if (stemmed && COutputFiles::IsOutputName(name.substr(0, kStemDigits), name)) {
        return "処理結果ファイルに記載のない出力ファイルです";
    }
    if (EndsWithIgnoreCase(name, kReportSuffix)) return "別の処理結果ファイルです";
    if (EndsWithIgnoreCase(name, kManifestSuffix)) return "別のチェックサムファイルです";
    return nullptr;
}

}  // namespace

int ReportVerification::Problems() const {
    return static_cast<int>(std::count_if(findings.begin(), findings.end(), [](const VerifyFinding& finding) {
        return finding.kind != FindingKind::Proved && finding.kind != FindingKind::RecordsChecked;
    }));
}

bool ReportVerification::Passed() const { return isReport && manifest && !aborted && Problems() == 0; }

std::string VerificationSummary(const ReportVerification& verification) {
    if (verification.aborted) return "確認結果：中断（最後まで確認していません）";
    if (!verification.Passed()) return "確認結果：NG（問題 " + CountText(verification.Problems()) + " 件）";
    std::int64_t files = 0;
    std::int64_t records = 0;
    for (const VerifiedInput& input : verification.inputs) {
        files += input.files;
        records += input.records;
    }
    return "確認結果：OK（出力ファイル " + CountText(files) + "、レコード " + CountText(records) + "）";
}

std::vector<std::string> VerificationLines(const ReportVerification& verification) {
    if (!verification.isReport) return {verification.error};
    std::vector<std::string> lines;
    for (const VerifyFinding& finding : verification.findings) {
        lines.push_back(finding.file.empty() ? finding.text : finding.file + ": " + finding.text);
    }
    lines.push_back(VerificationSummary(verification));
    return lines;
}

ReportVerification VerifyReport(const std::string& reportPath, std::string folder, const VerifyWatch& watch) {
    ReportVerification verification;
    std::string report;
    bool tooLarge = false;
    if (ReadSmallFile(reportPath, report, tooLarge, verification.error) != ReadOutcome::Read) return verification;
    if (tooLarge || !HasReportHeader(report)) {
        verification.error = reportPath + ": 処理結果ファイルではありません";
        return verification;
    }
    verification.isReport = true;
    if (folder.empty()) {
        const std::size_t separator = FindLastChar(reportPath, platform::kPathSeparator);
        folder = separator == std::string::npos ? "." : reportPath.substr(0, separator);
    }
    const std::string reportName = NameOf(reportPath);
    const std::string manifestPath = ManifestPathFor(reportPath);
    const std::string manifestName = NameOf(manifestPath);
    const auto find = [&verification](FindingKind kind, const std::string& file, std::string text) {
        verification.findings.push_back({kind, file, std::move(text)});
    };

    // Each input's lines follow its heading (a rule, two spaces and its name, a rule) up to the next
    // rule. A rule that begins no whole heading is a report broken off or damaged there; the lines
    // after it belong to no input.
    struct Block {
        VerifiedInput input;
        InputLines lines;
    };
    std::vector<Block> blocks;
    std::string reportProblem;
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
        if (heading.Next(name) && name.starts_with(kReportNamePrefix) && heading.Next(closing) &&
            closing == kReportRule) {
            blocks.emplace_back();
            blocks.back().input.name = std::string(name.substr(std::string_view(kReportNamePrefix).size()));
            inBlock = true;
            lines = heading;
        } else {
            if (reportProblem.empty()) {
                reportProblem = CountText(static_cast<std::int64_t>(lines.Number())) +
                                " 行目で入力ファイルの見出しが途切れています";
            }
            inBlock = false;
        }
    }
    if (blocks.empty() && reportProblem.empty()) reportProblem = "入力ファイルの記載がありません";

    // The manifest comes first: whether anything can be proved is what the operator reads first.
    std::map<std::string, Sha256Digest> manifest;  // by the names it lists
    std::vector<std::string> manifestOrder;
    {
        std::string bytes;
        std::string reason;
        bool manifestTooLarge = false;
        const ReadOutcome read = ReadSmallFile(manifestPath, bytes, manifestTooLarge, reason);
        ParsedManifest parsed;
        if (read == ReadOutcome::Missing) {
            find(FindingKind::NotProved, reportName,
                 "チェックサムファイル " + manifestName +
                     " がないため、内容は証明できません（レコードの形と件数だけを確かめます）");
        } else if (read != ReadOutcome::Read) {
            find(FindingKind::ManifestFault, manifestName, "読み込めません（" + reason + "）。内容は証明できません");
        } else if (manifestTooLarge) {
            find(FindingKind::ManifestFault, manifestName,
                 CountText(static_cast<std::int64_t>(kMaxReportBytes)) + " バイトを超えています。内容は証明できません");
        } else if (parsed = ParseManifest(bytes); !parsed.fault.empty()) {
            find(FindingKind::ManifestFault, manifestName, parsed.fault + "。内容は証明できません");
        } else {
            verification.manifest = true;
            for (ManifestEntry& entry : parsed.entries) {
                manifestOrder.push_back(entry.name);
                manifest.emplace(std::move(entry.name), entry.digest);
            }
        }
    }
    // With a manifest: true when it lists name with this digest, else false and a finding.
    const auto proves = [&](const std::string& name, const Sha256Digest& digest) {
        const auto listed = manifest.find(name);
        if (listed != manifest.end() && listed->second == digest) return true;
        find(listed == manifest.end() ? FindingKind::ManifestFault : FindingKind::ContentDiffers, name,
             listed == manifest.end() ? kNotInManifest : kContentDiffers);
        return false;
    };
    if (verification.manifest) proves(reportName, DigestOf(report));
    if (!reportProblem.empty()) find(FindingKind::ReportFault, reportName, reportProblem);

    // The names the report accounts for in the folder; the files to read, for the progress's total.
    std::set<std::string> accounted = {FolderKey(reportName), FolderKey(manifestName)};
    std::set<std::string> listedOutputs;
    std::uint64_t total = report.size();
    for (const Block& block : blocks) {
        for (const std::string& name : block.lines.outputs) {
            accounted.insert(FolderKey(name));
            listedOutputs.insert(name);
            total += LengthOf(JoinPath(folder, name));
        }
    }
    CReadProgress progress(watch, total);
    progress.Add(report.size());

    for (Block& block : blocks) {
        if (verification.aborted) break;
        VerifiedInput& input = block.input;
        const InputLines& said = block.lines;
        if (const std::string problem = InputLinesProblem(said); !problem.empty()) {
            find(FindingKind::ReportFault, input.name, problem);
            verification.inputs.push_back(std::move(input));
            continue;
        }
        const bool rejected = said.result != kReportNoErrors || said.outputs.empty();
        if (rejected) {
            find(FindingKind::Rejected, input.name,
                 std::string(said.outputs.empty() ? "出力のない入力ファイルです"
                                                  : "正常に変換されていない入力ファイルです") +
                     "（処理結果：" + std::string(said.result) + "）");
        }
        bool formed = true;  // every output there, read whole, and every line a record
        bool proved = true;  // no output's digest differs from the manifest's, nor is missing from it
        for (const std::string& name : said.outputs) {
            OutputScan scan;
            ScanOutput(JoinPath(folder, name), progress, scan);
            if (scan.outcome == ReadOutcome::Aborted) {
                verification.aborted = true;
                break;
            }
            if (scan.outcome != ReadOutcome::Read) {
                find(scan.outcome == ReadOutcome::Missing ? FindingKind::Missing : FindingKind::Unreadable, name,
                     scan.outcome == ReadOutcome::Missing ? std::string("ファイルがありません") : scan.reason);
                formed = false;
                continue;
            }
            ++input.files;
            if (verification.manifest && !proves(name, scan.digest)) proved = false;
            if (scan.lines.FaultLine() != 0) {
                find(FindingKind::RecordFault, name,
                     CountText(scan.lines.FaultLine()) + " 行目：" + scan.lines.Fault());
                formed = false;
            }
            input.records += scan.lines.Lines();
        }
        if (verification.aborted) break;
        bool counted = false;
        if (formed) {
            std::int64_t expected = 0;
            for (char digit : said.count) expected = expected * 10 + (digit - '0');
            counted = input.records == expected;
            if (!counted) {
                find(FindingKind::CountDiffers, input.name,
                     "レコード件数が処理結果ファイルと異なります（出力ファイル " + CountText(input.files) + " に " +
                         CountText(input.records) + " 件、処理結果ファイルでは " + CountText(expected) + " 件）");
            }
        }
        input.passed = formed && counted && !rejected && proved;
        if (input.passed) {
            const std::string counts =
                "出力ファイル " + CountText(input.files) + "、レコード " + CountText(input.records);
            if (verification.manifest) {
                find(FindingKind::Proved, input.name, "OK（" + counts + "）");
            } else {
                find(FindingKind::RecordsChecked, input.name,
                     "レコードの形と件数は正常、内容は未証明（" + counts + "）");
            }
        }
        verification.inputs.push_back(std::move(input));
    }
    if (verification.aborted) {
        find(FindingKind::Aborted, "", "確認を中断しました（内容は証明されていません）");
        return verification;
    }

    for (const std::string& name : manifestOrder) {
        if (name != reportName && listedOutputs.count(name) == 0) {
            find(FindingKind::ManifestFault, name,
                 "処理結果ファイルに記載のないファイルが、チェックサムファイルに記載されています");
        }
    }
    // What else of a run's is on the disc would be mailed with it: outputs of another run or a second
    // copy, what a run left half written, other reports and manifests.
    for (const std::string& name : platform::FindEntries(folder, "*")) {
        if (accounted.count(FolderKey(name)) != 0) continue;
        if (const char* text = RunFileText(name)) find(FindingKind::Unlisted, name, text);
    }
    return verification;
}
