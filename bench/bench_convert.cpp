// bench_convert: how fast the command-line converter turns a large claim file, how much memory it
// needs, and where its time goes, measured from outside as separate processes. Linux only (fork,
// exec, wait4, /proc/self/exe). It finds gen_claims and tolvarenquista next to its own executable,
// works in a temporary folder that it removes at the end, and prints one report.
//
// The conversion is also timed without the checksum manifest (TOLVA_BENCH_WITHOUT_CHECKSUMS=1), for
// what the SHA-256 of the outputs costs. For scale, in the same run: a plain Python conversion of the same file
// (bench/baseline.py, the standard library's hmac and hashlib) and a copy of the input with cp. Each time is the best
// of five runs (three for the slow Python one), since the machine may be busy with other work. The Python output must
// equal ours byte for byte, the split outputs joined must equal the single one, and the run with the portable SHA-256
// compression must give the same bytes too: any difference fails the benchmark (exit status 1).
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/record_layout.h"

#ifndef BENCH_BASELINE_SCRIPT
#error "BENCH_BASELINE_SCRIPT: the path of bench/baseline.py (CMake defines it)"
#endif

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kLargeRecords = 1000000;
constexpr std::uint64_t kSmallRecords = 100000;
constexpr int kRepeats = 5;
constexpr int kBaselineRepeats = 3;
constexpr std::uint64_t kSplitFiles = 5;  // the split run's --split-bytes makes this many files
// The Python baseline runs on the large input when one run of it would take at most this long there
// (judged from a first run on the small input), else on the small input only.
constexpr double kBaselineSecondsLimit = 60;
constexpr int kPerfTopSymbols = 10;
constexpr const char* kInputName = "20080423120000.csv";
constexpr const char* kOutputStem = "20080423120000_";
constexpr double kMegabyte = 1e6;
constexpr double kKibPerMib = 1024.0;
// Peak memory may grow by this much from the small input to the large one before the report says
// that it grows with the input.
constexpr double kFlatMemoryTolerance = 1.5;

struct ChildRun {
    int exitCode = -1;  // the child's exit status, or -1 when it did not exit normally
    double seconds = 0;
    long peakRssKib = 0;  // ru_maxrss of the child
};

struct ChildOptions {
    std::string stdoutPath = "/dev/null";
    std::string stderrPath;  // empty: ours, so that the child's complaints are seen
    std::vector<std::pair<std::string, std::string>> environment;  // set in the child only
};

double MonotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Runs argv[0] (a path, or a name looked up in PATH) and waits for it.
ChildRun RunChild(const std::vector<std::string>& argv, const ChildOptions& options = {}) {
    std::vector<char*> pointers;
    for (const std::string& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
    pointers.push_back(nullptr);

    ChildRun run;
    std::fflush(nullptr);  // else the child would write out our buffered output once more
    const double start = MonotonicSeconds();
    const pid_t pid = fork();
    if (pid < 0) {
        std::fprintf(stderr, "bench_convert: fork: %s\n", std::strerror(errno));
        return run;
    }
    if (pid == 0) {
        if (std::freopen(options.stdoutPath.c_str(), "w", stdout) == nullptr) _exit(127);
        if (!options.stderrPath.empty() && std::freopen(options.stderrPath.c_str(), "w", stderr) == nullptr) {
            _exit(127);
        }
        for (const auto& [name, value] : options.environment) setenv(name.c_str(), value.c_str(), 1);
        execvp(pointers[0], pointers.data());
        std::fprintf(stderr, "bench_convert: cannot run %s: %s\n", pointers[0], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "bench_convert: wait4: %s\n", std::strerror(errno));
            return run;
        }
    }
    run.seconds = MonotonicSeconds() - start;
    run.peakRssKib = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The folder of this program, from /proc/self/exe.
std::string OwnFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

// A new folder under $TMPDIR (or /tmp), removed with its content when the object goes.
class CTempFolder {
public:
    CTempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/tolva_bench_XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) m_path = pattern;
    }
    ~CTempFolder() {
        std::error_code error;
        if (!m_path.empty()) fs::remove_all(m_path, error);
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

struct Tools {
    std::string generator;
    std::string converter;
};

// The best (shortest) time of the runs and the largest peak of resident memory.
struct Measurement {
    double seconds = 0;
    long peakRssKib = 0;
    void Add(const ChildRun& run, bool first) {
        if (first || run.seconds < seconds) seconds = run.seconds;
        peakRssKib = std::max(peakRssKib, run.peakRssKib);
    }
};

// An input file and what it holds.
struct Input {
    std::string folder;
    std::string file;
    std::uint64_t records = 0;
    double megabytes = 0;
};

bool Generate(const Tools& tools, Input& input) {
    std::error_code error;
    fs::create_directory(input.folder, error);
    const ChildRun run =
        RunChild({tools.generator, "--single", input.file, "--records", std::to_string(input.records)});
    if (run.exitCode != 0) {
        std::fprintf(stderr, "bench_convert: gen_claims failed for %s\n", input.file.c_str());
        return false;
    }
    input.megabytes = static_cast<double>(fs::file_size(input.file, error)) / kMegabyte;
    return !error;
}

// The output files of a conversion in outFolder, in order.
std::vector<std::string> OutputFiles(const std::string& outFolder) {
    std::vector<std::string> files;
    for (int number = 1;; ++number) {
        char name[64];
        std::snprintf(name, sizeof name, "%s%03d.CSV", kOutputStem, number);
        const std::string path = outFolder + "/" + name;
        std::error_code error;
        if (!fs::is_regular_file(path, error)) return files;
        files.push_back(path);
    }
}

// Converts input into a fresh outFolder kRepeats times, with extra arguments and environment; the
// outputs of the last run are left in outFolder. False when a conversion failed or left no output.
bool MeasureConversion(const Tools& tools, const Input& input, const std::string& outFolder,
                       const std::vector<std::string>& extraArguments, const ChildOptions& options, Measurement& best) {
    const std::string logFolder = outFolder + "-log";
    for (int i = 0; i < kRepeats; ++i) {
        std::error_code error;
        fs::remove_all(outFolder, error);
        fs::create_directory(outFolder, error);  // the converter wants an existing output folder
        std::vector<std::string> argv = {tools.converter, "convert", "--input",   input.folder, "--output",
                                         outFolder,       "--quiet", "--log-dir", logFolder};
        argv.insert(argv.end(), extraArguments.begin(), extraArguments.end());
        const ChildRun run = RunChild(argv, options);
        if (run.exitCode != 0) {
            std::fprintf(stderr, "bench_convert: conversion of %s ended with status %d\n", input.file.c_str(),
                         run.exitCode);
            return false;
        }
        if (OutputFiles(outFolder).empty()) {
            std::fprintf(stderr, "bench_convert: conversion of %s left no output\n", input.file.c_str());
            return false;
        }
        best.Add(run, i == 0);
    }
    return true;
}

bool MeasureCopy(const std::string& from, const std::string& to, Measurement& best) {
    for (int i = 0; i < kRepeats; ++i) {
        std::error_code error;
        fs::remove(to, error);
        const ChildRun run = RunChild({"cp", from, to});
        if (run.exitCode != 0) {
            std::fprintf(stderr, "bench_convert: cp %s %s failed\n", from.c_str(), to.c_str());
            return false;
        }
        best.Add(run, i == 0);
    }
    std::error_code error;
    fs::remove(to, error);
    return true;
}

// One run of the Python baseline from input to output.
bool RunBaseline(const Input& input, const std::string& output, Measurement& best, bool first) {
    const ChildRun run = RunChild({"python3", BENCH_BASELINE_SCRIPT, input.file, output});
    if (run.exitCode != 0) {
        std::fprintf(stderr, "bench_convert: python3 %s %s ended with status %d\n", BENCH_BASELINE_SCRIPT,
                     input.file.c_str(), run.exitCode);
        return false;
    }
    best.Add(run, first);
    return true;
}

// True when the files of parts, one after the other, hold exactly the bytes of whole.
bool SameBytes(const std::vector<std::string>& parts, const std::string& whole) {
    std::ifstream wholeFile(whole, std::ios::binary);
    if (!wholeFile) return false;
    std::vector<char> a(1 << 20);
    std::vector<char> b(1 << 20);
    for (const std::string& part : parts) {
        std::ifstream partFile(part, std::ios::binary);
        if (!partFile) return false;
        for (;;) {
            partFile.read(a.data(), static_cast<std::streamsize>(a.size()));
            const std::streamsize got = partFile.gcount();
            if (got == 0) break;
            wholeFile.read(b.data(), got);
            if (wholeFile.gcount() != got || std::memcmp(a.data(), b.data(), static_cast<std::size_t>(got)) != 0) {
                return false;
            }
        }
    }
    return wholeFile.peek() == std::char_traits<char>::eof();
}

double Mib(long kib) { return static_cast<double>(kib) / kKibPerMib; }

void PrintRow(const char* what, const Measurement& m, const Input& input) {
    std::printf("  %-34s %9.3f s %12.0f %9.1f\n", what, m.seconds, static_cast<double>(input.records) / m.seconds,
                input.megabytes / m.seconds);
}

// Where the time of one conversion goes: perf's ten busiest symbols, sampled by the cpu-clock timer
// (a software event, so it works where a virtual machine offers no hardware counters).
void PrintProfile(const Tools& tools, const Input& input, const std::string& work) {
    std::printf("\nWhere the time goes (our conversion, one output file, %llu records):\n",
                static_cast<unsigned long long>(input.records));
    ChildOptions quiet;
    quiet.stderrPath = "/dev/null";
    if (RunChild({"perf", "stat", "-e", "instructions", "true"}, quiet).exitCode != 0) {
        std::printf(
            "  perf is not available here (perf stat -e instructions true fails; Debian's linux-perf, and\n"
            "  kernel.perf_event_paranoid low enough for this user): no profile.\n");
        return;
    }
    const std::string data = work + "/perf.data";
    const std::string outFolder = work + "/out-perf";
    std::error_code error;
    fs::create_directory(outFolder, error);
    const ChildRun record =
        RunChild({"perf", "record", "-e", "cpu-clock", "-o", data, "--", tools.converter, "convert", "--input",
                  input.folder, "--output", outFolder, "--quiet", "--log-dir", outFolder + "-log"},
                 quiet);
    const std::string report = work + "/perf-report.txt";
    ChildOptions toReport = quiet;
    toReport.stdoutPath = report;
    if (record.exitCode != 0 ||
        RunChild({"perf", "report", "-i", data, "--stdio", "--sort", "symbol"}, toReport).exitCode != 0) {
        std::printf("  perf record or perf report failed: no profile.\n");
        return;
    }
    // Lines "   16.42%  [.] Name   -   -": the share, then the symbol up to the padding before the
    // next column.
    std::ifstream lines(report);
    std::string line;
    int shown = 0;
    while (shown < kPerfTopSymbols && std::getline(lines, line)) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos || line[start] == '#') continue;
        const std::size_t percent = line.find('%', start);
        if (percent == std::string::npos) continue;
        const std::size_t symbol = line.find_first_not_of(' ', percent + 1);
        if (symbol == std::string::npos) continue;
        const std::size_t padding = line.find("  ", symbol);
        std::printf("  %7s  %s\n", line.substr(start, percent + 1 - start).c_str(),
                    line.substr(symbol, padding == std::string::npos ? std::string::npos : padding - symbol).c_str());
        ++shown;
    }
    std::printf("  (perf record -e cpu-clock, both threads; [.] the program, [k] the kernel)\n");
}

int Bench() {
    const std::string folder = OwnFolder();
    if (folder.empty()) {
        std::fprintf(stderr, "bench_convert: cannot read /proc/self/exe\n");
        return 1;
    }
    const Tools tools{folder + "/gen_claims", folder + "/tolvarenquista"};
    for (const std::string& tool : {tools.generator, tools.converter, std::string(BENCH_BASELINE_SCRIPT)}) {
        if (access(tool.c_str(), R_OK) != 0) {
            std::fprintf(stderr, "bench_convert: %s is missing; build it first\n", tool.c_str());
            return 1;
        }
    }
    CTempFolder temp;
    if (temp.Path().empty()) {
        std::fprintf(stderr, "bench_convert: cannot create a temporary folder: %s\n", std::strerror(errno));
        return 1;
    }
    const std::string& work = temp.Path();
    Input large{work + "/in", work + "/in/" + kInputName, kLargeRecords};
    Input small{work + "/in_small", work + "/in_small/" + kInputName, kSmallRecords};
    std::printf("Generating %llu and %llu records in %s ...\n", static_cast<unsigned long long>(large.records),
                static_cast<unsigned long long>(small.records), work.c_str());
    std::fflush(stdout);
    if (!Generate(tools, large) || !Generate(tools, small)) return 1;

    // Ours: one output file, split into kSplitFiles files, the small input, the portable SHA-256.
    const std::uint64_t perFile = (large.records + kSplitFiles - 1) / kSplitFiles;
    const std::string splitBytes = std::to_string(perFile * kRecordCharge + 1);
    ChildOptions portable;
    portable.environment = {{"TOLVA_PORTABLE_SHA256", "1"}};
    ChildOptions noChecksums;
    noChecksums.environment = {{"TOLVA_BENCH_WITHOUT_CHECKSUMS", "1"}};
    Measurement single, split, smallRun, portableRun, unchecked, copy;
    const std::string singleOut = work + "/out-single";
    const std::string splitOut = work + "/out-split";
    const std::string smallOut = work + "/out-small";
    const std::string portableOut = work + "/out-portable";
    const std::string uncheckedOut = work + "/out-unchecked";
    std::printf("Timing our conversion (one file, split, portable SHA-256, no manifest) and cp ...\n");
    std::fflush(stdout);
    if (!MeasureConversion(tools, large, singleOut, {}, {}, single) ||
        !MeasureConversion(tools, large, splitOut, {"--split-bytes", splitBytes}, {}, split) ||
        !MeasureConversion(tools, small, smallOut, {}, {}, smallRun) ||
        !MeasureConversion(tools, large, portableOut, {}, portable, portableRun) ||
        !MeasureConversion(tools, large, uncheckedOut, {}, noChecksums, unchecked) ||
        !MeasureCopy(large.file, work + "/copy.csv", copy)) {
        return 1;
    }
    const std::vector<std::string> singleFiles = OutputFiles(singleOut);
    const std::vector<std::string> splitFiles = OutputFiles(splitOut);
    const std::vector<std::string> smallFiles = OutputFiles(smallOut);

    // The baseline: a first run on the small input tells whether three on the large one fit the time.
    std::printf("Timing the Python baseline ...\n");
    std::fflush(stdout);
    Measurement baseline;
    const std::string baselineOut = work + "/baseline.CSV";
    if (!RunBaseline(small, baselineOut, baseline, true)) return 1;
    const bool baselineSmallEqual = smallFiles.size() == 1 && SameBytes({baselineOut}, smallFiles[0]);
    const double projected = baseline.seconds * static_cast<double>(large.records) / static_cast<double>(small.records);
    const bool baselineOnLarge = projected <= kBaselineSecondsLimit;
    const Input& baselineInput = baselineOnLarge ? large : small;
    for (int i = baselineOnLarge ? 0 : 1; i < kBaselineRepeats; ++i) {
        if (!RunBaseline(baselineInput, baselineOut, baseline, i == 0)) return 1;
    }
    const std::vector<std::string>& baselineReference = baselineOnLarge ? singleFiles : smallFiles;
    const bool baselineEqual =
        baselineSmallEqual && baselineReference.size() == 1 && SameBytes({baselineOut}, baselineReference[0]);
    const bool splitEqual = singleFiles.size() == 1 && SameBytes(splitFiles, singleFiles[0]);
    const std::vector<std::string> portableFiles = OutputFiles(portableOut);
    const bool portableEqual = singleFiles.size() == 1 && SameBytes(portableFiles, singleFiles[0]);
    const double outputMb = static_cast<double>(singleFiles.empty() ? 0 : fs::file_size(singleFiles[0])) / kMegabyte;

    std::printf(
        "\nInput: %llu records, %.1f MB (generated by gen_claims); output %.1f MB. Best of %d runs each (Python: "
        "%d).\n",
        static_cast<unsigned long long>(large.records), large.megabytes, outputMb, kRepeats, kBaselineRepeats);
    std::printf("  %-34s %11s %12s %9s\n", "", "time", "records/s", "MB/s in");
    PrintRow("ours, one output file", single, large);
    char splitLabel[64];
    std::snprintf(splitLabel, sizeof splitLabel, "ours, split into %zu files", splitFiles.size());
    PrintRow(splitLabel, split, large);
    PrintRow("ours, portable SHA-256", portableRun, large);
    PrintRow("ours, without the manifest", unchecked, large);
    PrintRow(baselineOnLarge ? "Python baseline" : "Python baseline (*)", baseline, baselineInput);
    PrintRow("cp of the input", copy, large);
    if (!baselineOnLarge) {
        std::printf("  (*) on the %llu-record input: one run would take about %.0f s on %llu records\n",
                    static_cast<unsigned long long>(small.records), projected,
                    static_cast<unsigned long long>(large.records));
    }
    std::printf("  (split: --split-bytes %s; MB/s of input read)\n", splitBytes.c_str());

    const double oursRate = static_cast<double>(large.records) / single.seconds;
    const double baselineRate = static_cast<double>(baselineInput.records) / baseline.seconds;
    std::printf("\nRatios (this run):\n");
    std::printf("  ours / Python baseline, records per second     %8.1f x\n", oursRate / baselineRate);
    std::printf("  ours / cp, time                                %8.1f x\n", single.seconds / copy.seconds);
    std::printf("  ours split / ours one file, time               %8.2f x\n", split.seconds / single.seconds);
    std::printf("  portable / x86 SHA extensions, time            %8.2f x\n", portableRun.seconds / single.seconds);
    std::printf("  with / without the checksum manifest, time     %8.2f x\n", single.seconds / unchecked.seconds);

    std::printf(
        "\nPeak resident size of our conversion: %.1f MiB at %llu records, %.1f MiB at %llu records (%s)\n",
        Mib(smallRun.peakRssKib), static_cast<unsigned long long>(small.records), Mib(single.peakRssKib),
        static_cast<unsigned long long>(large.records),
        static_cast<double>(single.peakRssKib) <= kFlatMemoryTolerance * static_cast<double>(smallRun.peakRssKib)
            ? "flat"
            : "GROWS WITH THE INPUT");

    const auto verdict = [](bool same) { return same ? "equal" : "DIFFERENT"; };
    std::printf("\nOutputs, byte for byte:\n");
    char baselineLabel[96];
    if (baselineOnLarge) {
        std::snprintf(baselineLabel, sizeof baselineLabel, "Python baseline vs ours, %llu and %llu records",
                      static_cast<unsigned long long>(large.records), static_cast<unsigned long long>(small.records));
    } else {
        std::snprintf(baselineLabel, sizeof baselineLabel, "Python baseline vs ours, %llu records",
                      static_cast<unsigned long long>(small.records));
    }
    std::printf("  %-50s %s\n", baselineLabel, verdict(baselineEqual));
    char splitJoined[96];
    std::snprintf(splitJoined, sizeof splitJoined, "the %zu split files joined vs one output file", splitFiles.size());
    std::printf("  %-50s %s\n", splitJoined, verdict(splitEqual));
    std::printf("  %-50s %s\n", "portable SHA-256 vs x86 SHA extensions", verdict(portableEqual));

    PrintProfile(tools, large, work);
    return baselineEqual && splitEqual && portableEqual ? 0 : 1;
}

}  // namespace

int main() {
    try {
        return Bench();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_convert: %s\n", error.what());
        return 1;
    }
}
