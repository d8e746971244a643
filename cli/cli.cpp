#include "cli/cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "base/file_error.h"
#include "cli/terminal_host.h"
#include "engine/conversion_run.h"
#include "engine/convert_checks.h"
#include "engine/digest.h"
#include "engine/messages.h"
#include "engine/output_record.h"
#include "engine/record_file.h"
#include "engine/record_layout.h"
#include "engine/report_verifier.h"
#include "engine/self_test.h"
#include "support/log_file.h"
#include "base/mbcs.h"
#include "support/paths.h"

namespace {

constexpr char kProgram[] = "tolvarenquista";
constexpr char kVersion[] = "2.0.0.0";

std::atomic<int> g_interrupted{0};
std::atomic<RunFlags*> g_activeFlags{nullptr};

const char kLogFolderProtected[] = "ログフォルダに\n管理者権限領域のフォルダは指定できません。";

const char kHelp[] =
    "Usage:\n"
    "  tolvarenquista list IN_DIR\n"
    "  tolvarenquista convert --input IN_DIR --output OUT_DIR [options] [NAME ...]\n"
    "  tolvarenquista ref [--hex] KIGOU BANGOU\n"
    "  tolvarenquista check --input IN_DIR [--max-errors N] [NAME ...]\n"
    "  tolvarenquista verify REPORT [--folder DIR]\n"
    "  tolvarenquista selftest\n"
    "  tolvarenquista --help | --version\n"
    "\n"
    "Prepares claim CSV files for the survey: every record is checked, the insured person's card\n"
    "symbol and number are replaced by the reference number, two amounts are zero-padded, and the\n"
    "records are written to OUT_DIR as NAME_001.CSV, NAME_002.CSV, ... with a result report.\n"
    "\n"
    "Commands:\n"
    "  list IN_DIR        the convertible files of IN_DIR (fourteen digits and .csv) with their sizes\n"
    "  convert            converts the NAME files of IN_DIR (all convertible files when none is\n"
    "                     given; names match without regard to case), writes the result report\n"
    "                     into OUT_DIR and prints its path\n"
    "  ref KIGOU BANGOU   the 80-character reference text of one card symbol and number, as the\n"
    "                     two output fields; --hex takes code page 932 bytes in hex (ref --hex 8260 3132)\n"
    "  check              every record of the NAME files of IN_DIR (all when none is given)\n"
    "                     through the record checks, without stopping: one line per faulty\n"
    "                     record, NAME:LINE: TEXT, on standard output (--max-errors N: at most\n"
    "                     N a file), a summary per file on standard error; writes nothing.\n"
    "                     Exit status 0 nothing faulty, 1 a faulty record or a file without\n"
    "                     data, 2 refused, 3 a file could not be read\n"
    "  verify REPORT      checks the output files a result report lists, found by name in DIR\n"
    "                     (default: the report's own folder, so a copied disc verifies where it\n"
    "                     is): every line an output record, and the records adding up to the\n"
    "                     report's count; one line per input file. Exit status 0 all good,\n"
    "                     1 something wrong, 2 not a result report\n"
    "  selftest           known-answer checks of everything a reference number depends on, one\n"
    "                     line each, then the fingerprint that two sites compare (exit status 1\n"
    "                     when a check fails)\n"
    "\n"
    "Options of convert:\n"
    "  --input DIR        the folder of the claim files\n"
    "  --output DIR       the folder for the converted files and the report (not IN_DIR)\n"
    "  --split N|LABEL    split size by medium: 0 \"分割なし\" (default), 1 \"DVD (4.7 GB)\",\n"
    "                     2 \"MO (128 MB)\", 3 \"MO (230 MB)\", 4 \"MO (640 MB)\", 5 \"MO (1.3 GB)\",\n"
    "                     6 \"MO (2.3 GB)\", 7 \"CD-R (640 MB)\"\n"
    "  --split-bytes N    any other limit in bytes per output file (0: no split)\n"
    "  --log-dir DIR      the folder of the daily error log\n"
    "  --quiet            no progress and no status lines (errors are still shown)\n"
    "\n"
    "Ctrl-C aborts: the file being converted loses all its outputs and the run ends without report.\n"
    "\n"
    "Exit status: 0 report written, every file normal; 1 report written, some file had a record\n"
    "error or no data; 2 refused before starting (the message says why); 3 the run failed (a file\n"
    "could not be opened, created or written); 4 aborted; 64 usage error.\n";

class UsageError : public std::exception {
public:
    explicit UsageError(std::string text) : m_text(std::move(text)) {}
    const char* what() const noexcept override { return m_text.c_str(); }

private:
    std::string m_text;
};

// A refusal found while the arguments are taken in (exit status 2); what() is the message.
class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    std::string command;
    std::vector<std::string> positional;
    std::string input;
    std::string output;
    std::string logDir;
    std::string split;
    std::string splitBytes;
    bool hasSplit = false;
    bool hasSplitBytes = false;
    std::string maxErrors;  // digits, or empty for all
    std::string folder;     // verify: where the output files are
    bool hex = false;
    bool quiet = false;
};

bool IsDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The command line as CLI11 parses it: one command, its options and its positional arguments.
// Returns false when help was asked for (help then holds it); misuse throws UsageError.
bool Parse(const std::vector<std::string>& args, Options& options, std::string& help) {
    if (args.empty()) throw UsageError("no command given");
    CLI::App app{"", kProgram};
    app.set_help_flag();  // the program's own --help (kHelp) is answered before parsing
    app.require_subcommand(1, 1);
    app.fallthrough(false);
    const auto command = [&](const char* name, const char* description, const char* arguments) {
        CLI::App* sub = app.add_subcommand(name, description);
        sub->set_help_flag("-h,--help", "this help");
        if (arguments != nullptr) sub->add_option(arguments, options.positional)->allow_extra_args();
        return sub;
    };
    CLI::App* list = command("list", "the convertible files of IN_DIR with their sizes", "IN_DIR");
    CLI::App* convert =
        command("convert", "converts the NAME files of IN_DIR (all when none is given) into OUT_DIR", "NAME");
    convert->add_option("--input", options.input, "the folder of the claim files");
    convert->add_option("--output", options.output, "the folder for the converted files and the report");
    convert->add_option("--split", options.split, "split size by medium: 0-7 or its label");
    convert->add_option("--split-bytes", options.splitBytes, "any other limit in bytes per output file");
    convert->add_option("--log-dir", options.logDir, "the folder of the daily error log");
    convert->add_flag("--quiet", options.quiet, "no progress and no status lines");
    CLI::App* check = command("check", "every faulty record of the NAME files of IN_DIR, without converting", "NAME");
    check->add_option("--input", options.input, "the folder of the claim files");
    check->add_option("--max-errors", options.maxErrors, "list at most N faulty records a file");
    CLI::App* verify = command("verify", "checks the output files that a result report lists", "REPORT");
    verify->add_option("--folder", options.folder, "where the output files are (default: the report's folder)");
    CLI::App* ref = command("ref", "the reference text of one card symbol and number", "KIGOU BANGOU");
    ref->add_flag("--hex", options.hex, "KIGOU and BANGOU as code page 932 bytes in hex");
    CLI::App* selftest =
        command("selftest", "known-answer checks of the reference number and its fingerprint", nullptr);
    (void)list;
    (void)selftest;

    const auto commands = app.get_subcommands([](const CLI::App*) { return true; });
    if (std::none_of(commands.begin(), commands.end(), [&](const CLI::App* sub) { return sub->get_name() == args[0]; })) {
        throw UsageError("unknown command " + args[0]);
    }
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        for (CLI::App* sub : app.get_subcommands()) help = sub->help();
        if (help.empty()) help = kHelp;
        return false;
    } catch (const CLI::ParseError& error) {
        throw UsageError(error.what());
    }
    options.command = app.get_subcommands().front()->get_name();
    options.hasSplit = convert->count("--split") > 0;
    options.hasSplitBytes = convert->count("--split-bytes") > 0;
    if (check->count("--max-errors") > 0 && (!IsDigits(options.maxErrors) || options.maxErrors.size() > 9)) {
        throw UsageError("--max-errors takes a number of lines");
    }
    (void)verify;
    return true;
}

std::uint64_t ParseSplitLimit(const Options& options) {
    if (options.hasSplit && options.hasSplitBytes) throw UsageError("give --split or --split-bytes, not both");
    if (options.hasSplitBytes) {
        if (!IsDigits(options.splitBytes) || options.splitBytes.size() > 19) {
            throw UsageError("--split-bytes takes a number of bytes");
        }
        const std::uint64_t limit = std::stoull(options.splitBytes);
        // A limit that one record already reaches would leave every output file empty but the next.
        if (limit != 0 && limit <= kRecordCharge) {
            throw UsageError("--split-bytes must be 0 (no split) or more than " + std::to_string(kRecordCharge));
        }
        return limit;
    }
    if (!options.hasSplit) return 0;
    if (IsDigits(options.split) && options.split.size() == 1 && options.split[0] < '0' + kSplitSizeCount) {
        return SplitLimitForPosition(options.split[0] - '0');
    }
    for (int position = 0; position < kSplitSizeCount; ++position) {
        if (options.split == kSplitSizeEntries[position]) return SplitLimitForPosition(position);
    }
    throw UsageError("unknown split size " + options.split + " (0-7 or a label such as \"MO (128 MB)\")");
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
        const bool driveRoot = folder.size() == 3 && folder[1] == ':';
        if (driveRoot) break;
        folder.pop_back();
    }
    if (folder.empty() || !FileExists(folder)) return folder;
    bool exact = true;
    const std::string absolute = platform::AbsolutePath(folder, &exact);
    if (!exact) {
        throw Refusal("フォルダ[" + typed +
                      "]は、実際の場所のパスにシフトJISで表せない文字が含まれているため指定できません。");
    }
    return absolute;
}

// True when folder lies under one of the system's folders: leading bytes without regard to case,
// as the output folder is checked before a conversion.
bool UnderProtectedFolder(const std::string& folder, const std::vector<std::string>& protectedFolders) {
    return std::any_of(protectedFolders.begin(), protectedFolders.end(), [&](const std::string& system) {
        return !system.empty() && EqualsIgnoreCase(folder.substr(0, system.size()), system);
    });
}

class Cli {
public:
    explicit Cli(CliContext& context) : m_context(context) {}

    void Out(const std::string& text) { m_context.write(platform::Stream::Out, text); }
    void Err(const std::string& text) { m_context.write(platform::Stream::Err, text); }

    int List(const Options& options) {
        if (options.positional.size() != 1) throw UsageError("list takes one folder");
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
        if (options.positional.size() != 2) throw UsageError("ref takes a card symbol and a card number");
        std::vector<std::string> fields(kFieldCount);
        fields[kFieldCardSymbol] = options.hex ? FromHex(options.positional[0]) : options.positional[0];
        fields[kFieldCardNumber] = options.hex ? FromHex(options.positional[1]) : options.positional[1];
        for (int position : {kFieldCardSymbol, kFieldCardNumber}) {
            if (!IsFieldLengthValid(static_cast<std::int32_t>(fields[position].size()), position)) {
                return Refuse(FieldErrorText(FieldLengthError, position));
            }
        }
        const CReferenceDigest digest(kReferenceKey, kReferenceOutputLength);
        BuildOutputLine(fields, digest);
        Out(fields[kFieldCardSymbol] + "," + fields[kFieldCardNumber] + "\n");
        return kExitOk;
    }

    // Every record of the chosen files through the record checks, without stopping at the first
    // faulty one: one line per faulty record on standard output, a summary per file on standard
    // error. Nothing is written anywhere.
    int Check(const Options& options) {
        const std::string input = FolderArgument(options.input);
        std::vector<std::string> names;
        if (const int refused = ScanGivenFolder(input, names); refused != kExitOk) return refused;
        std::vector<std::string> chosen;
        for (const std::string& wanted : options.positional) {
            const auto found = std::find(names.begin(), names.end(), ToUpperAscii(wanted));
            if (found == names.end()) {
                return Refuse(std::string(kProgram) + ": not a convertible file of " + input + ": " + wanted);
            }
            if (std::find(chosen.begin(), chosen.end(), *found) == chosen.end()) chosen.push_back(*found);
        }
        if (chosen.empty()) chosen = names;
        const long maxErrors = options.maxErrors.empty() ? -1 : std::stol(options.maxErrors);

        bool anyFaulty = false;
        bool anyUnreadable = false;
        std::string_view fields[kFieldCount];
        for (const std::string& name : chosen) {
            const std::string path = JoinPath(input, name);
            try {
                CRecordFile file(*m_context.clock);
                // A file held by another program is not waited for: the check is run again later.
                if (!file.OpenWithRetry(path, CRecordFile::modeRead, [] { return false; })) {
                    const std::string reason = platform::ErrorText(file.OpenError());
                    Err(name + ": " + LoadMessage(kMsgReadFailed) + "(" + reason + ")\n");
                    anyUnreadable = true;
                    continue;
                }
                if (file.GetLength() == 0) {
                    Out(name + ": " + kNoDataMessage + "\n");
                    anyFaulty = true;
                    continue;
                }
                std::int64_t records = 0;
                std::int64_t faulty = 0;
                std::int64_t lastNamed = 0;
                std::string_view record;
                while (file.ReadLine(record) != 0) {
                    ++records;
                    const RecordCheck check = CheckRecord(record, fields);
                    // The rest of a line longer than a chunk belongs to a line already named.
                    if (check.status == Normal || file.LineNumber() == lastNamed) continue;
                    lastNamed = file.LineNumber();
                    if (maxErrors < 0 || faulty < maxErrors) {
                        Out(name + ":" + std::to_string(lastNamed) + ": " + RecordFaultText(check) + "\n");
                    }
                    ++faulty;
                }
                // Blank and comment lines alone: no data, as convert says too.
                if (records == 0) Out(name + ": " + kNoDataMessage + "\n");
                Err(name + ": " + std::to_string(records) + " records, " + std::to_string(faulty) + " faulty\n");
                anyFaulty = anyFaulty || faulty > 0 || records == 0;
            } catch (const FileError& error) {
                Err(name + ": " + error.what() + "\n");
                anyUnreadable = true;
            }
        }
        return anyUnreadable ? kExitFailed : anyFaulty ? kExitFileErrors : kExitOk;
    }

    // The output files a result report lists, found by name in one folder (a copied disc), checked
    // against the report: one line per input file, then one for a fault of the report itself.
    int Verify(const Options& options) {
        if (options.positional.size() != 1) throw UsageError("verify takes one result report");
        const ReportVerification verification =
            VerifyReport(options.positional[0], options.folder.empty() ? "" : FolderArgument(options.folder));
        if (!verification.isReport) {
            Err(verification.error + "\n");
            return kExitRefused;
        }
        bool allGood = true;
        for (const VerifiedInput& input : verification.inputs) {
            if (input.problem.empty()) {
                Out(input.name + ": OK (" + std::to_string(input.files) + " files, " +
                    std::to_string(input.records) + " records)\n");
            } else {
                Out(input.name + ": " + input.problem + "\n");
                allGood = false;
            }
        }
        if (!verification.problem.empty()) {
            Out(verification.problem + "\n");
            allGood = false;
        }
        return allGood ? kExitOk : kExitFileErrors;
    }

    int SelfTest(const Options& options) {
        if (!options.positional.empty()) throw UsageError("selftest takes no arguments");
        bool passed = true;
        for (const SelfTestCheck& check : RunSelfTest()) {
            Out(std::string(check.passed ? "OK     " : "FAILED ") + check.name + "\n");
            passed = passed && check.passed;
        }
        Out("fingerprint: " + ReferenceFingerprint() + "\n");
        return passed ? kExitOk : kExitFileErrors;
    }

    int Convert(const Options& options) {
        const std::uint64_t splitLimit = ParseSplitLimit(options);
        const std::string input = FolderArgument(options.input);
        const std::string output = FolderArgument(options.output);

        // The file list of the dialog is the folder as scanned now; the names choose the rows.
        InputFileStore files;
        files.folder = input;
        std::vector<std::string> ambiguous;
        if (!input.empty() && FileExists(input)) files.names = ScanInputFolder(input, &ambiguous);
        WarnAmbiguous(ambiguous);
        std::vector<int> checkStates(files.names.size(), options.positional.empty() ? 1 : 0);
        std::vector<std::string> unmatched;
        for (const std::string& wanted : options.positional) {
            const auto found = std::find(files.names.begin(), files.names.end(), ToUpperAscii(wanted));
            if (found == files.names.end()) {
                unmatched.push_back(wanted);
            } else {
                checkStates[found - files.names.begin()] = 1;
            }
        }

        // The run exists before the checks, which lock its output folder for it.
        CLogFile log(*m_context.clock);
        RunFlags flags;
        CTerminalHost host(m_context, files, output, splitLimit, options.quiet);
        CConversionRun run(host, files, flags, log, *m_context.clock);
        const ConvertCheck check = CheckConvertRequest(input, output, files, checkStates, m_context.protectedFolders,
                                                       &run.OutputFolder());
        const bool namesMatter = check.outcome == CheckOutcome::Ready || check.messageId == kMsgNoFileChosen;
        if (!unmatched.empty() && namesMatter) {
            return Refuse(std::string(kProgram) + ": not a convertible file of " + input + ": " + unmatched[0]);
        }
        if (check.outcome != CheckOutcome::Ready) return Refuse(check.text);

        // A folder the user named may hold other programs' logs: only ours are cleaned up there.
        // It must not lie under a system folder, as the output folder must not.
        const std::string logDir = options.logDir.empty() ? "" : FolderArgument(options.logDir);
        if (UnderProtectedFolder(logDir, m_context.protectedFolders)) return Refuse(kLogFolderProtected);
        const bool logReady = logDir.empty() ? log.InitLog(m_context.defaultLogFolder)
                                             : log.InitLog(logDir, CLogFile::kOwnLogs);
        if (!logReady) {
            Err(LoadMessage(kMsgLogInitFailed) + "\n");
            return kExitFailed;
        }
        // A log that fails later costs only its entries: the first failure is told, the run goes on.
        log.SetFailureHandler(
            [this](const std::string& text) { Err(std::string(kProgram) + ": " + text + "\n"); });

        files.statuses.clear();
        files.results.clear();
        g_activeFlags = &flags;
        flags.abortRequested = g_interrupted.load();
        const int reported = run.ConvertThreadProc();
        g_activeFlags = nullptr;

        if (reported) {
            Out(run.ReportPath() + "\n");
            const bool anyError = std::any_of(files.results.begin(), files.results.end(),
                                              [](const FileResult& r) { return r.error_count != 0; });
            return anyError ? kExitFileErrors : kExitOk;
        }
        const bool aborted = std::find(files.statuses.begin(), files.statuses.end(), Aborted) != files.statuses.end();
        return aborted ? kExitAborted : kExitFailed;
    }

    // The checks of an input folder that list and check make, and its convertible files into names:
    // kExitOk, or the exit status of the refusal, which has been told.
    int ScanGivenFolder(const std::string& folder, std::vector<std::string>& names) {
        if (folder.empty()) return Refuse(std::string(kPrefixInput) + LoadMessage(kMsgFolderNotGiven));
        if (!FileExists(folder)) return Refuse(std::string(kPrefixInput) + LoadMessage(kMsgFolderMissing));
        std::vector<std::string> ambiguous;
        names = ScanInputFolder(folder, &ambiguous);
        WarnAmbiguous(ambiguous);
        if (names.empty()) return Refuse(LoadMessage(kMsgNoInputFiles));
        return kExitOk;
    }

    void WarnAmbiguous(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            Err(std::string(kProgram) + ": left out: more than one file is named " + name +
                " apart from letter case\n");
        }
    }

    int Refuse(const std::string& text) {
        Err(text + "\n");
        return kExitRefused;
    }

    static std::string FromHex(const std::string& hex) {
        std::string bytes;
        int high = -1;
        for (char c : hex) {
            int value;
            if (c >= '0' && c <= '9') {
                value = c - '0';
            } else if (c >= 'A' && c <= 'F') {
                value = c - 'A' + 10;
            } else if (c >= 'a' && c <= 'f') {
                value = c - 'a' + 10;
            } else if (c == ' ') {
                continue;
            } else {
                throw UsageError("--hex takes hexadecimal bytes, such as 8260");
            }
            if (high < 0) {
                high = value;
            } else {
                bytes += static_cast<char>(high * 16 + value);
                high = -1;
            }
        }
        if (high >= 0) throw UsageError("--hex takes whole bytes (an even number of digits)");
        return bytes;
    }

private:
    CliContext& m_context;
};

}  // namespace

bool RequestInterrupt() {
    g_interrupted = 1;
    RunFlags* flags = g_activeFlags.load();
    if (flags == nullptr) return false;
    flags->abortRequested = 1;
    return true;
}

void ResetInterrupt() { g_interrupted = 0; }

int RunCli(const std::vector<std::string>& args, CliContext& context) {
    Cli cli(context);
    try {
        if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
            cli.Out(kHelp);
            return kExitOk;
        }
        if (!args.empty() && args[0] == "--version") {
            cli.Out(std::string(kProgram) + " " + kVersion + "\n");
            return kExitOk;
        }
        Options options;
        std::string help;
        if (!Parse(args, options, help)) {
            cli.Out(help);
            return kExitOk;
        }
        if (options.command == "list") return cli.List(options);
        if (options.command == "convert") return cli.Convert(options);
        if (options.command == "ref") return cli.Ref(options);
        if (options.command == "selftest") return cli.SelfTest(options);
        if (options.command == "check") return cli.Check(options);
        if (options.command == "verify") return cli.Verify(options);
        throw UsageError("unknown command " + options.command);
    } catch (const Refusal& error) {
        return cli.Refuse(error.what());
    } catch (const UsageError& error) {
        cli.Err(std::string(kProgram) + ": " + error.what() + "\nTry '" + kProgram + " --help'.\n");
        return kExitUsage;
    } catch (const std::exception& error) {
        cli.Err(std::string(error.what()) + " " + LoadMessage(kMsgFatal) + "\n");
        return kExitFailed;
    }
}
