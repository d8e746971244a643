// The command line's commands (kCommands), their help, and the taking in of the arguments: CLI11
// parses them, and every complaint about them is told in our own words with a pointer to the help.
#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

#include "base/mbcs.h"
#include "cli/terminal_host.h"
#include "engine/claim_check.h"
#include "engine/conversion_run.h"
#include "engine/convert_checks.h"
#include "engine/digest.h"
#include "engine/messages.h"
#include "engine/output_record.h"
#include "engine/record_layout.h"
#include "engine/report_verifier.h"
#include "engine/self_test.h"
#include "support/log_file.h"
#include "support/paths.h"
#include "tolva_version.h"

namespace {

std::atomic<int> g_interrupted{0};
std::atomic<RunFlags*> g_activeFlags{nullptr};

const char kLogFolderProtected[] = "ログフォルダに\n管理者権限領域のフォルダは指定できません。";

// The command line is wrong (exit status 64); what() says how, and nearWord is what the user may
// have meant (empty when nothing is near).
struct UsageError : std::runtime_error {
    explicit UsageError(const std::string& text, std::string near = "")
        : std::runtime_error(text), nearWord(std::move(near)) {}
    std::string nearWord;
};

// A refusal found while the arguments are taken in (exit status 2); what() is the message.
struct Refusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One command's arguments as parsed (kCommands names the options of each). An option not given holds
// no text, a flag given an empty one.
struct Options {
    std::vector<std::string> positional;
    std::optional<std::string> input, output, split, splitBytes, logDir, quiet, maxErrors, folder, hex;
};

// Insertions, deletions and substitutions that turn a into b, ASCII letters without regard to case.
std::size_t EditDistance(const std::string& a, const std::string& b) {
    const std::string upperA = ToUpperAscii(a);
    const std::string upperB = ToUpperAscii(b);
    std::vector<std::size_t> row(b.size() + 1);  // the distances of a's first i bytes to each start of b
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const bool same = upperA[i - 1] == upperB[j - 1];
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The candidate a mistyped word most likely meant: the only one it begins, else the nearest within
// two edits (the first of equally near ones); empty when none is near.
std::string NearestWord(const std::string& typed, const std::vector<std::string>& candidates) {
    const auto begun = [&](const std::string& each) { return each.starts_with(typed); };
    if (!typed.empty() && std::ranges::count_if(candidates, begun) == 1) {
        return *std::ranges::find_if(candidates, begun);
    }
    std::string nearest;
    std::size_t best = 3;
    for (const std::string& candidate : candidates) {
        if (const std::size_t distance = EditDistance(typed, candidate); distance < best) {
            best = distance;
            nearest = candidate;
        }
    }
    return nearest;
}

std::uint64_t ParseSplitLimit(const Options& options) {
    if (options.split && options.splitBytes) {
        throw UsageError("--split と --split-bytes は、どちらか一方だけを指定してください。");
    }
    if (options.splitBytes) {
        if (!AllDigits(*options.splitBytes) || options.splitBytes->size() > 19) {
            throw UsageError("--split-bytes には、出力ファイル一つのバイト数を数字で指定してください。");
        }
        const std::uint64_t limit = std::stoull(*options.splitBytes);
        // A limit that one record already reaches would leave every output file empty but the next.
        if (limit != 0 && limit <= kRecordCharge) {
            throw UsageError("--split-bytes には、0（分割なし）か " + std::to_string(kRecordCharge) +
                             " より大きいバイト数を指定してください。");
        }
        return limit;
    }
    if (!options.split) return 0;
    const std::string& split = *options.split;
    std::vector<std::string> labels;
    for (int position = 0; position < kSplitSizeCount; ++position) {
        if (split == std::to_string(position) || split == kSplitSizeEntries[position]) {
            return SplitLimitForPosition(position);
        }
        labels.push_back("\"" + std::string(kSplitSizeEntries[position]) + "\"");
    }
    throw UsageError("分割サイズ " + split + " はありません。0 から " + std::to_string(kSplitSizeCount - 1) +
                         " の番号か、\"MO (128 MB)\" のような媒体の名前で指定してください。",
                     NearestWord("\"" + split + "\"", labels));
}

// True when path names an existing folder (a link to one included).
bool IsFolder(const std::string& path) {
    const std::string utf8 = platform::Cp932ToUtf8(path);
    std::error_code error;
    return std::filesystem::is_directory(std::filesystem::path(std::u8string(utf8.begin(), utf8.end())), error);
}

// A folder as a user types it: a trailing separator is dropped, except that of a root, and an
// existing folder is taken by its absolute path, so that "../../usr" is seen to lie under a system
// folder and one folder typed two ways is seen to be one. A folder whose absolute path code page
// 932 cannot hold (a link to a folder named in other characters) could not be checked so: it is
// refused (Refusal).
std::string FolderArgument(const std::string& typed) {
    std::string folder = typed;
    const char separator = platform::kPathSeparator;
    while (folder.size() > 1 && FindLastChar(folder, separator) == folder.size() - 1) {
        if (folder.size() == 3 && folder[1] == ':') break;  // a drive's root
        folder.pop_back();
    }
    if (folder.empty() || !platform::PathExists(folder)) return folder;
    bool exact = true;
    const std::string absolute = platform::AbsolutePath(folder, &exact);
    if (!exact) {
        throw Refusal("フォルダ[" + typed +
                      "]は、実際の場所のパスにシフトJISで表せない文字が含まれているため指定できません。");
    }
    return absolute;
}

class Cli {
public:
    explicit Cli(CliContext& context) : m_context(context) {}

    void Out(const std::string& text) { m_context.write(platform::Stream::Out, text); }
    void Err(const std::string& text) { m_context.write(platform::Stream::Err, text); }
    int Print(const std::string& text) {  // help or the version
        Out(text);
        return kExitOk;
    }

    int List(const Options& options) {
        const std::string folder = FolderArgument(options.positional[0]);
        std::vector<std::string> names;
        if (const int refused = ScanGivenFolder(folder, names); refused != kExitOk) return refused;
        for (const std::string& name : names) {
            char line[512];
            std::snprintf(line, sizeof line, "%-20s %12s\n", name.c_str(),
                          FormatFileSize(GetFileLength(JoinPath(folder, name))).c_str());
            Out(line);
        }
        return kExitOk;
    }

    int Ref(const Options& options) {
        const std::string symbol = options.hex ? FromHex(options.positional[0]) : options.positional[0];
        const std::string number = options.hex ? FromHex(options.positional[1]) : options.positional[1];
        if (!IsFieldLengthValid(static_cast<std::int32_t>(symbol.size()), kFieldCardSymbol)) {
            return Refuse(FieldErrorText(FieldLengthError, kFieldCardSymbol));
        }
        if (!IsFieldLengthValid(static_cast<std::int32_t>(number.size()), kFieldCardNumber)) {
            return Refuse(FieldErrorText(FieldLengthError, kFieldCardNumber));
        }
        // Composed as one of a pair (the identity twice), the way nearly every record of a conversion is.
        const std::string reference = ReferenceTexts({{symbol, number}, {symbol, number}},
                                                     CReferenceDigest(kReferenceKey, kReferenceOutputLength))[0];
        Out(reference.substr(0, kReferenceFieldLength) + "," + reference.substr(kReferenceFieldLength) + "\n");
        return kExitOk;
    }

    // Every record of the chosen files through the record checks, without stopping at the first
    // faulty one: one line per faulty record on standard output, a summary per file on standard
    // error. Nothing is written anywhere.
    int Check(const Options& options) {
        if (options.maxErrors && (!AllDigits(*options.maxErrors) || options.maxErrors->size() > 9)) {
            throw UsageError("--max-errors には、ファイル一つに示す件数を数字で指定してください。");
        }
        CheckNamesAreNoFolders(options);
        const std::string input = FolderArgument(options.input.value_or(""));
        std::vector<std::string> names;
        if (const int refused = ScanGivenFolder(input, names); refused != kExitOk) return refused;
        std::vector<std::string> chosen;
        for (const std::string& wanted : options.positional) {
            const auto found = std::find(names.begin(), names.end(), ToUpperAscii(wanted));
            if (found == names.end()) return Refuse(NotConvertible(input, wanted));
            if (std::find(chosen.begin(), chosen.end(), *found) == chosen.end()) chosen.push_back(*found);
        }
        if (chosen.empty()) chosen = names;
        const long maxErrors = options.maxErrors ? std::stol(*options.maxErrors) : -1;
        int status = kExitOk;  // the worst of the files': a faulty one 1, an unreadable one 3
        for (const std::string& name : chosen) status = std::max(status, CheckFile(input, name, maxErrors));
        return status;
    }

    // One file of check: its first maxErrors faulty records (all when negative) on standard output,
    // a summary on standard error. The exit status for it alone.
    int CheckFile(const std::string& folder, const std::string& name, long maxErrors) {
        long told = 0;
        const ClaimFileCheck checked =
            CheckClaimFile(JoinPath(folder, name), *m_context.clock, [&](std::int64_t line, const RecordCheck& check) {
                if (maxErrors < 0 || told++ < maxErrors) {
                    Out(name + ":" + std::to_string(line) + ": " + RecordFaultText(check) + "\n");
                }
            });
        switch (checked.result) {
            case ClaimFileCheck::Result::Unreadable:
                Err(name + ": " +
                    (checked.opened ? checked.reason : LoadMessage(kMsgReadFailed) + "(" + checked.reason + ")") +
                    "\n");
                return kExitFailed;
            case ClaimFileCheck::Result::NoData:
                // An empty file, or blank and comment lines alone: no data, as convert says too.
                Out(name + ": " + kNoDataMessage + "\n");
                if (checked.records == 0 && !checked.empty) Err(name + ": " + RecordCountsText(checked) + "\n");
                return kExitFileErrors;
            case ClaimFileCheck::Result::Checked: break;
        }
        Err(name + ": " + RecordCountsText(checked) + "\n");
        return checked.faulty > 0 ? kExitFileErrors : kExitOk;
    }
    // check's summary of one file: "レコード 17 件、エラー 4 件".
    static std::string RecordCountsText(const ClaimFileCheck& checked) {
        return "レコード " + CountText(checked.records) + " 件、エラー " + CountText(checked.faulty) + " 件";
    }

    // A copied disc proved against the result report and the checksum manifest beside it: the
    // findings one a line, as a dialog shows them, then the summary.
    int Verify(const Options& options) {
        const ReportVerification verification =
            VerifyReport(options.positional[0], FolderArgument(options.folder.value_or("")));
        if (!verification.isReport) return Refuse(verification.error);
        for (const std::string& line : VerificationLines(verification)) Out(line + "\n");
        return verification.Passed() ? kExitOk : kExitFileErrors;
    }

    int SelfTest(const Options&) {
        const SelfTestResult result = RunSelfTest();
        Out(std::string("SHA-256: ") + result.sha256 + "\n");
        for (const SelfTestCheck& check : result.checks) {
            Out(std::string(check.passed ? "OK     " : "FAILED ") + check.name + "\n");
        }
        Out("fingerprint: " + result.fingerprint + "\n");
        return result.passed ? kExitOk : kExitFileErrors;
    }

    int Convert(const Options& options) {
        const std::uint64_t splitLimit = ParseSplitLimit(options);
        CheckNamesAreNoFolders(options);
        const std::string input = FolderArgument(options.input.value_or(""));
        const std::string output = FolderArgument(options.output.value_or(""));

        // The file list of the dialog is the folder as scanned now; the names choose the rows.
        InputFileStore files;
        files.folder = input;
        if (!input.empty() && platform::PathExists(input)) files.names = Scan(input);
        std::vector<int> checkStates(files.names.size(), options.positional.empty() ? 1 : 0);
        std::string unmatched;  // the first NAME that is no convertible file
        for (const std::string& wanted : options.positional) {
            const auto found = std::ranges::find(files.names, ToUpperAscii(wanted));
            if (found != files.names.end()) checkStates[found - files.names.begin()] = 1;
            if (found == files.names.end() && unmatched.empty()) unmatched = wanted;
        }

        // The run exists before the checks, which lock its output folder for it.
        CLogFile log(m_context.program, *m_context.clock);
        RunFlags flags;
        CTerminalHost host(m_context, files, output, splitLimit, options.quiet.has_value());
        CConversionRun run(host, files, flags, log, *m_context.clock);
        const ConvertCheck check =
            CheckConvertRequest(input, output, files, checkStates, m_context.protectedFolders, &run.OutputFolder());
        const bool namesMatter = check.outcome == CheckOutcome::Ready || check.messageId == kMsgNoFileChosen;
        if (!unmatched.empty() && namesMatter) return Refuse(NotConvertible(input, unmatched));
        if (check.outcome != CheckOutcome::Ready) return Refuse(check.text);

        // A folder the user named may hold other programs' logs: only ours are cleaned up there.
        // It must not lie under a system folder, as the output folder must not.
        const std::string logDir = FolderArgument(options.logDir.value_or(""));
        if (UnderProtectedFolder(logDir, m_context.protectedFolders)) return Refuse(kLogFolderProtected);
        const bool logReady =
            logDir.empty() ? log.InitLog(m_context.defaultLogFolder) : log.InitLog(logDir, CLogFile::kOwnLogs);
        if (!logReady) {
            Err(LoadMessage(kMsgLogInitFailed) + "\n");
            return kExitFailed;
        }
        // A log that fails later costs only its entries: the first failure is told, the run goes on.
        log.SetFailureHandler([this](const std::string& text) { Err(Named(text) + "\n"); });

        files.statuses.clear();
        files.results.clear();
        g_activeFlags = &flags;
        flags.abortRequested = g_interrupted.load();
        const int reported = run.ConvertThreadProc();
        g_activeFlags = nullptr;

        // Standard output carries the report's path alone; the outcome follows it, so that on a
        // terminal it is the last line the operator sees.
        if (reported) Out(run.ReportPath() + "\n");
        host.TellOutcome();
        if (reported) {
            const bool anyError =
                std::ranges::any_of(files.results, [](const FileResult& r) { return r.error_count != 0; });
            return anyError ? kExitFileErrors : kExitOk;
        }
        return std::ranges::count(files.statuses, Aborted) > 0 ? kExitAborted : kExitFailed;
    }

    // The checks of an input folder that list and check make, and its convertible files into names:
    // kExitOk, or the exit status of the refusal, which has been told.
    int ScanGivenFolder(const std::string& folder, std::vector<std::string>& names) {
        if (folder.empty()) return Refuse(std::string(kPrefixInput) + LoadMessage(kMsgFolderNotGiven));
        if (!platform::PathExists(folder)) return Refuse(std::string(kPrefixInput) + LoadMessage(kMsgFolderMissing));
        names = Scan(folder);
        if (names.empty()) return Refuse(LoadMessage(kMsgNoInputFiles));
        return kExitOk;
    }

    // The convertible files of a folder; those left out for their names are told.
    std::vector<std::string> Scan(const std::string& folder) {
        std::vector<std::string> ambiguous;
        std::vector<std::string> names = ScanInputFolder(folder, &ambiguous);
        for (const std::string& name : ambiguous) {
            Err(Named("[" + name +
                      "]は、大文字と小文字だけが違う同じ名前のファイルが複数あるため、どれも対象外にしました。\n"));
        }
        return names;
    }

    std::string Named(const std::string& text) const { return m_context.program + ": " + text; }
    std::string NotConvertible(const std::string& folder, const std::string& name) const {
        return Named("フォルダ[" + folder + "]に変換できるファイル[" + name + "]はありません。");
    }

    // A folder given as a NAME, where --input was meant (check claims), is a usage error; a file of
    // the input folder that the same word also names is not.
    static void CheckNamesAreNoFolders(const Options& options) {
        for (const std::string& word : options.positional) {
            if (!IsFolder(word)) continue;
            if (options.input) {
                const std::vector<std::string> names = ScanInputFolder(FolderArgument(*options.input));
                if (std::ranges::find(names, ToUpperAscii(word)) != names.end()) continue;
            }
            throw UsageError("[" + word + "]はフォルダです。読込みフォルダは --input で指定してください。");
        }
    }

    int Refuse(const std::string& text) {
        Err(text + "\n");
        return kExitRefused;
    }

    // Hexadecimal digits, blanks between them allowed, as bytes.
    static std::string FromHex(std::string hex) {
        std::erase(hex, ' ');
        if (hex.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) {
            throw UsageError("--hex では、KIGOU と BANGOU を 8260 のように 16 進数のバイトで指定してください。");
        }
        if (hex.size() % 2 != 0) {
            throw UsageError("--hex の 16 進数は 2 桁で 1 バイトです。桁数を偶数にしてください。");
        }
        std::string bytes;
        for (std::size_t at = 0; at < hex.size(); at += 2) {
            bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
        }
        return bytes;
    }

private:
    CliContext& m_context;
};

// ---- The commands, and their help ----

// An option of a command, into one of Options' texts; a flag (taking nothing) given holds an empty text.
struct CommandOption {
    const char* term;  // the option, and what it takes as the help names it
    std::string help;
    std::optional<std::string> Options::*text;
    bool required = false;  // shown as needed; its command refuses the run without it, as the dialog does
};

struct Command {
    const char* name;
    int (Cli::*run)(const Options&);
    const char* arguments;  // as the usage shows them, in brackets when they may be left out
    std::string help;
    std::vector<CommandOption> options;
    const char* exits;           // its exit statuses, 64 (usage error) aside
    std::string example;         // one command line, after the program's name
    const char* note = nullptr;  // a paragraph after the options (the program's help gives it once)
};

// The text with its blanks as tabs, which the help does not break lines at.
std::string Unbroken(std::string text) {
    std::replace(text.begin(), text.end(), ' ', '\t');
    return text;
}

std::string SplitSizesHelp() {
    std::string text = "split size by medium:";
    for (int position = 0; position < kSplitSizeCount; ++position) {
        text += (position == 0 ? " 0 \"" : ", " + std::to_string(position) + " \"") +
                Unbroken(kSplitSizeEntries[position]) + (position == 0 ? "\" (default)" : "\"");
    }
    return text;
}

const char kAbort[] = "Ctrl-C aborts: the file being converted loses all its outputs and the run ends without report.";

const CommandOption kInput{"--input IN_DIR", "the folder of the claim files", &Options::input, true};
const std::vector<Command> kCommands = {
    {"list",
     &Cli::List,
     "IN_DIR",
     "the convertible files of IN_DIR (fourteen digits and .csv) with their sizes",
     {},
     "0 listed; 2 refused (IN_DIR missing, or without convertible files); 3 a file could not be opened",
     "list claims"},
    {"convert",
     &Cli::Convert,
     "[NAME ...]",
     "converts the NAME files of IN_DIR (all convertible files when none is given; names match without "
     "regard to case), writes the result report into OUT_DIR and prints its path",
     {kInput,
      {"--output OUT_DIR", "the folder for the converted files and the report, not IN_DIR", &Options::output, true},
      {"--split LABEL|N", SplitSizesHelp(), &Options::split},
      {"--split-bytes BYTES", "any other limit in bytes per output file, instead of --split (0: no split)",
       &Options::splitBytes},
      {"--log-dir DIR", "the folder of the daily error log", &Options::logDir},
      {"--quiet", "no progress and no status lines (errors are still shown)", &Options::quiet}},
     "0 report written, every file normal; 1 report written, some file had a record error or no data; 2 refused "
     "before starting (the message says why); 3 the run failed (a file could not be opened, created or "
     "written); 4 aborted",
     "convert --input claims --output out --split " + Unbroken("\"MO (128 MB)\""),
     kAbort},
    {"ref",
     &Cli::Ref,
     "KIGOU BANGOU",
     "the 80-character reference text of one card symbol and number, as the two output fields",
     {{"--hex", "KIGOU and BANGOU as code page 932 bytes in hex (ref --hex 8260 3132)", &Options::hex}},
     "0 printed; 2 refused (a field too long)",
     "ref A 12"},
    {"check",
     &Cli::Check,
     "[NAME ...]",
     "every record of the NAME files of IN_DIR (all when none is given) through the record checks, "
     "without stopping: one line per faulty record, NAME:LINE: TEXT, on standard output, a summary per "
     "file on standard error; writes nothing",
     {kInput, {"--max-errors N", "list at most N faulty records a file", &Options::maxErrors}},
     "0 nothing faulty; 1 a faulty record or a file without data; 2 refused; 3 a file could not be read",
     "check --input claims --max-errors 10"},
    {"verify",
     &Cli::Verify,
     "REPORT",
     "proves a disc before it is mailed: every file the checksum file beside REPORT (its _Result.sha256) "
     "lists holds, byte for byte, what the run wrote; the output files REPORT lists, found by name in DIR, "
     "hold output records that add up to its counts; and no other output, temporary file or report is "
     "there. One finding a line, then the result",
     {{"--folder DIR",
       "where the output files are (default: the report's own folder, so a copied disc verifies where "
       "it is)",
       &Options::folder}},
     "0 proved; 1 something wrong, or nothing to prove it with (a report without a checksum file); 2 not a "
     "result report",
     "verify " + JoinPath("dvd", "20081207120000_Result.txt")},
    {"selftest",
     &Cli::SelfTest,
     nullptr,
     "known-answer checks of everything a reference number depends on, one line each, then the "
     "fingerprint that two sites compare",
     {},
     "0 every check passed; 1 a check failed",
     "selftest"},
};

const char kAbout[] =
    "Prepares claim CSV files for the survey: every record is checked, the insured person's card symbol and "
    "number are replaced by the reference number, two amounts are zero-padded, and the records are written "
    "to OUT_DIR as NAME_001.CSV, NAME_002.CSV, ... with a result report.";

constexpr std::size_t kHelpWidth = 80;   // columns: a double-byte character is two bytes and two columns
constexpr std::size_t kTextColumn = 21;  // where the text of a command or an option starts

// text after the start of its first line, broken at blanks into lines of at most kHelpWidth columns,
// the further ones indented by indent blanks. A number stays on the line of the word after it; a tab
// is a blank that does not break.
std::string Wrap(std::string line, const std::string& text, std::size_t indent) {
    std::string out;
    std::size_t wordsFrom = line.size();  // where the words of the line begin
    for (std::size_t start = 0, end; start <= text.size(); start = end + 1) {
        end = std::min(text.find(' ', start), text.size());
        if (AllDigits(text.substr(start, end - start))) end = std::min(text.find(' ', end + 1), text.size());
        if (line.size() > wordsFrom && line.size() + 1 + end - start > kHelpWidth) {
            out += line + "\n";
            line.assign(indent, ' ');
            wordsFrom = indent;
        }
        line += (line.size() > wordsFrom ? " " : "") + text.substr(start, end - start);
    }
    out += line + "\n";
    std::replace(out.begin(), out.end(), '\t', ' ');
    return out;
}

// A command or an option and its text, in two columns; the text of a term too wide for its column
// starts on the line below it.
std::string Entry(const std::string& term, const std::string& text) {
    const std::string line = "  " + term;
    if (line.size() >= kTextColumn) return line + "\n" + Wrap(std::string(kTextColumn, ' '), text, kTextColumn);
    return Wrap(line + std::string(kTextColumn - line.size(), ' '), text, kTextColumn);
}

// The help of the program, or of one command: the usage, what it does, the options and the exit
// statuses; a command's own help also gives an example.
std::string Help(const std::string& program, const Command* only = nullptr) {
    std::string usage = "Usage:\n";
    std::string commands;
    std::string options;
    std::string notes;
    std::string exits;
    for (const Command& command : kCommands) {
        if (only != nullptr && only != &command) continue;
        // The usage line: the options the command needs, then the others in brackets (in the program's
        // help several of them as [options]), then its arguments.
        std::string line = command.name;
        std::string optional;
        if (!command.options.empty()) options += "\nOptions of " + std::string(command.name) + ":\n";
        for (const CommandOption& option : command.options) {
            options += Entry(option.term, option.help + (option.required ? " (required)" : ""));
            if (option.required) {
                line += " " + Unbroken(option.term);
            } else if (only != nullptr || optional.empty()) {
                optional += " [" + Unbroken(option.term) + "]";
            } else {
                optional = " [options]";
            }
        }
        const bool needed = command.arguments != nullptr && command.arguments[0] != '[';
        line += optional + (command.arguments == nullptr ? "" : " " + Unbroken(command.arguments));
        usage += Wrap("  " + program + " ", line, program.size() + 3);
        commands += Entry(command.name + (needed ? std::string(" ") + command.arguments : ""), command.help);
        if (command.note != nullptr) notes += "\n" + Wrap("", command.note, 0);
        exits += Entry(command.name, command.exits);
    }
    if (only != nullptr) {
        return usage + "\n" + commands + options + notes + "\nExample:\n" +
               Wrap("  " + program + " ", only->example, program.size() + 3) + "\n" +
               Wrap("", "Exit status: " + std::string(only->exits) + "; 64 usage error.", 0);
    }
    return usage + "  " + program + " --help | --version\n" + Wrap("  " + program + " ", "COMMAND --help", 0) + "\n" +
           Wrap("", kAbout, 0) + "\nCommands:\n" + commands + options + notes +
           "\nExit status (and 64, a usage error, for every command):\n" + exits;
}

// ---- The arguments, taken in ----

const char kNotUnderstood[] = "コマンドラインを解釈できません。";

// An option's name as typed (its term up to the blank), and what it takes (empty for a flag).
std::string OptionName(const CommandOption& option) {
    const std::string term = option.term;
    return term.substr(0, term.find(' '));
}
std::string ValueName(const CommandOption& option) {
    const std::string term = option.term;
    return term.find(' ') == std::string::npos ? "" : term.substr(term.find(' ') + 1);
}

// The option of command that CLI11's complaint names (the longest such name, as --split-bytes holds
// --split); a complaint that names none is not understood (UsageError).
const CommandOption& OptionComplainedOf(const Command& command, const std::string& complaint) {
    const CommandOption* found = nullptr;
    for (const CommandOption& option : command.options) {
        if (complaint.find(OptionName(option)) != std::string::npos &&
            (found == nullptr || OptionName(option).size() > OptionName(*found).size())) {
            found = &option;
        }
    }
    if (found == nullptr) throw UsageError(kNotUnderstood);
    return *found;
}

// How many arguments a command takes: none, each word of its usage once, or any number when they
// are in brackets.
std::pair<std::size_t, std::size_t> ArgumentRange(const Command& command) {
    if (command.arguments == nullptr) return {0, 0};
    if (command.arguments[0] == '[') return {0, std::numeric_limits<std::size_t>::max()};
    const std::size_t words = std::ranges::count(std::string(command.arguments), ' ') + 1;
    return {words, words};
}

// The error of a first word that names no command.
UsageError UnknownCommand(const std::string& word) {
    if (word.starts_with("-")) {
        return UsageError(
            "オプション " + word + " はありません。コマンドの前に指定できるのは --help と --version だけです。",
            NearestWord(word.substr(0, word.find('=')), {"--help", "--version"}));
    }
    std::vector<std::string> names;
    for (const Command& command : kCommands) names.push_back(command.name);
    return UsageError("コマンド " + word + " はありません。", NearestWord(word, names));
}

std::string NoCommandText() {
    std::string names;
    for (const Command& command : kCommands) names += (names.empty() ? "" : "、") + std::string(command.name);
    return "コマンドを指定してください（" + names + "）。";
}

// The arguments of command (after its name) in options; nothing when they ask for its help. CLI11
// parses them; what does not fit the command is a UsageError in our words.
std::optional<Options> ParseCommand(const Command& command, std::vector<std::string> args) {
    Options options;
    CLI::App app;
    app.set_help_flag("-h,--help");
    app.allow_extras();  // an unknown option is told below
    app.add_option("arguments", options.positional);
    std::vector<std::string> names = {"--help"};
    for (const CommandOption& option : command.options) {
        std::optional<std::string>& text = options.*option.text;
        names.push_back(OptionName(option));
        if (ValueName(option).empty()) {
            app.add_flag_callback(names.back(), [&text] { text = ""; });
        } else {
            app.add_option_function<std::string>(names.back(), [&text](const std::string& value) { text = value; });
        }
    }
    std::reverse(args.begin(), args.end());  // CLI11 takes the arguments last first
    try {
        app.parse(args);
    } catch (const CLI::CallForHelp&) {
        return std::nullopt;
    } catch (const CLI::ArgumentMismatch& error) {  // a value missing, or an option given twice
        const CommandOption& option = OptionComplainedOf(command, error.what());
        const std::string name = OptionName(option);
        if (app.get_option(name)->count() > 1) throw UsageError("オプション " + name + " は一度だけ指定してください。");
        throw UsageError("オプション " + name + " には " + ValueName(option) + " を指定してください。");
    } catch (const CLI::ConversionError& error) {  // a value given to a flag (--quiet=x)
        throw UsageError("オプション " + OptionName(OptionComplainedOf(command, error.what())) + " は値をとりません。");
    } catch (const CLI::ParseError&) {
        throw UsageError(kNotUnderstood);
    }
    for (const std::string& extra : app.remaining()) {
        if (extra == "--") continue;  // where the arguments begin, which CLI11 hands back
        const std::string name = extra.substr(0, extra.find('='));
        throw UsageError("コマンド " + std::string(command.name) + " にオプション " + name + " はありません。",
                         NearestWord(name, names));
    }
    const auto [least, most] = ArgumentRange(command);
    const std::size_t given = options.positional.size();
    if (given < least || given > most) {
        const std::string told = given == 0 ? "指定されていません" : std::to_string(given) + " つ指定されています";
        throw UsageError(most == 0 ? "コマンド " + std::string(command.name) + " は引数をとりません（" + told + "）。"
                                   : "コマンド " + std::string(command.name) + " の引数は " + command.arguments +
                                         " の " + std::to_string(least) + " つです（" + told + "）。");
    }
    return options;
}

}  // namespace

bool RequestInterrupt() {
    g_interrupted = 1;
    RunFlags* flags = g_activeFlags.load();
    if (flags == nullptr) return false;
    flags->abortRequested = 1;
    return true;
}

void ResetInterrupt() { g_interrupted = 0; }

std::string ProgramName(const std::string& argv0) {
    // After the last separator, or from the start (npos + 1 is 0).
    const std::size_t start = std::max(FindLastChar(argv0, '/') + 1, FindLastChar(argv0, platform::kPathSeparator) + 1);
    std::string name = argv0.substr(start);
    if (ToUpperAscii(name).ends_with(".EXE")) name.resize(name.size() - 4);
    return name.empty() ? kProgramName : name;
}

int RunCli(std::vector<std::string> args, CliContext& context) {
    Cli cli(context);
    const std::string& program = context.program;
    const Command* command = nullptr;  // once known, a usage error points to its own help
    try {
        if (args.empty()) throw UsageError(NoCommandText());
        // /? and -? ask for help too, as on Windows.
        std::replace_if(
            args.begin(), args.end(), [](const std::string& a) { return a == "/?" || a == "-?"; }, "--help");
        if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") return cli.Print(Help(program));
        if (args[0] == "--version") return cli.Print(program + " " TOLVA_VERSION "\n");
        const auto found = std::ranges::find_if(kCommands, [&](const Command& each) { return args[0] == each.name; });
        if (found == kCommands.end()) throw UnknownCommand(args[0]);
        command = &*found;
        const std::optional<Options> options = ParseCommand(*command, {args.begin() + 1, args.end()});
        if (!options) return cli.Print(Help(program, command));
        return (cli.*command->run)(*options);
    } catch (const Refusal& error) {
        return cli.Refuse(error.what());
    } catch (const UsageError& error) {
        std::string text = cli.Named(error.what()) + "\n";
        if (!error.nearWord.empty()) text += "もしかして: " + error.nearWord + " ?\n";
        const std::string help = program + (command != nullptr ? " " + std::string(command->name) : "") + " --help";
        cli.Err(text + "詳しくは '" + help + "' を見てください。\n");
        return kExitUsage;
    } catch (const std::exception& error) {
        cli.Err(std::string(error.what()) + " " + LoadMessage(kMsgFatal) + "\n");
        return kExitFailed;
    }
}
