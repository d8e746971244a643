// bench_convert: how fast the command-line converter turns a large claim file, and how much memory it
// needs, measured from outside as separate processes. Linux only (fork, exec, wait4, /proc/self/exe).
// It finds gen_claims and tolvarenquista next to its own executable, works in a temporary folder that
// it removes at the end, and prints one report. Each measurement is taken three times and the best
// kept, since the machine may be busy with other work. A copy of the same input with cp gives the
// scale: how the conversion compares with merely reading and writing the bytes.
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
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kLargeRecords = 1000000;
constexpr std::uint64_t kSmallRecords = 100000;
constexpr int kRepeats = 3;
constexpr const char* kInputName = "20080423120000.csv";
constexpr const char* kOutputName = "20080423120000_001.CSV";
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

double MonotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Runs argv[0] (a path, or a name looked up in PATH) with its standard output sent to /dev/null, and
// waits for it. The child's standard error stays ours, so that its complaints are seen.
ChildRun RunChild(const std::vector<std::string>& argv) {
    std::vector<char*> pointers;
    for (const std::string& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
    pointers.push_back(nullptr);

    ChildRun run;
    const double start = MonotonicSeconds();
    const pid_t pid = fork();
    if (pid < 0) {
        std::fprintf(stderr, "bench_convert: fork: %s\n", std::strerror(errno));
        return run;
    }
    if (pid == 0) {
        if (FILE* null = std::freopen("/dev/null", "w", stdout); null == nullptr) _exit(127);
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

struct Measurement {
    double seconds = 0;
    long peakRssKib = 0;
};

bool Generate(const Tools& tools, const std::string& path, std::uint64_t records) {
    const ChildRun run = RunChild({tools.generator, "--single", path, "--records", std::to_string(records)});
    if (run.exitCode != 0) std::fprintf(stderr, "bench_convert: gen_claims failed for %s\n", path.c_str());
    return run.exitCode == 0;
}

// Converts inFolder three times into a fresh output folder each time; the best time and the lowest
// peak of the three. False when a conversion failed or left no output.
bool MeasureConversion(const Tools& tools, const std::string& work, const std::string& inFolder,
                       Measurement& best) {
    const std::string outFolder = work + "/out";
    const std::string logFolder = work + "/log";
    for (int i = 0; i < kRepeats; ++i) {
        std::error_code error;
        fs::remove_all(outFolder, error);
        fs::create_directory(outFolder, error);  // the converter wants an existing output folder
        const ChildRun run = RunChild({tools.converter, "convert", "--input", inFolder, "--output", outFolder,
                                       "--quiet", "--log-dir", logFolder});
        if (run.exitCode != 0) {
            std::fprintf(stderr, "bench_convert: conversion of %s ended with status %d\n", inFolder.c_str(),
                         run.exitCode);
            return false;
        }
        if (fs::file_size(outFolder + "/" + kOutputName, error) == 0 || error) {
            std::fprintf(stderr, "bench_convert: conversion of %s left no %s\n", inFolder.c_str(),
                         kOutputName);
            return false;
        }
        if (i == 0 || run.seconds < best.seconds) best.seconds = run.seconds;
        if (i == 0 || run.peakRssKib < best.peakRssKib) best.peakRssKib = run.peakRssKib;
    }
    std::error_code error;
    fs::remove_all(outFolder, error);
    return true;
}

bool MeasureCopy(const std::string& from, const std::string& to, double& bestSeconds) {
    for (int i = 0; i < kRepeats; ++i) {
        std::error_code error;
        fs::remove(to, error);
        const ChildRun run = RunChild({"cp", from, to});
        if (run.exitCode != 0) {
            std::fprintf(stderr, "bench_convert: cp %s %s failed\n", from.c_str(), to.c_str());
            return false;
        }
        if (i == 0 || run.seconds < bestSeconds) bestSeconds = run.seconds;
    }
    std::error_code error;
    fs::remove(to, error);
    return true;
}

double Mib(long kib) { return static_cast<double>(kib) / kKibPerMib; }

int Bench() {
    const std::string folder = OwnFolder();
    if (folder.empty()) {
        std::fprintf(stderr, "bench_convert: cannot read /proc/self/exe\n");
        return 1;
    }
    const Tools tools{folder + "/gen_claims", folder + "/tolvarenquista"};
    for (const std::string& tool : {tools.generator, tools.converter}) {
        if (access(tool.c_str(), X_OK) != 0) {
            std::fprintf(stderr, "bench_convert: %s is missing; build it first\n", tool.c_str());
            return 1;
        }
    }
    CTempFolder temp;
    if (temp.Path().empty()) {
        std::fprintf(stderr, "bench_convert: cannot create a temporary folder: %s\n", std::strerror(errno));
        return 1;
    }
    const std::string largeIn = temp.Path() + "/in";
    const std::string smallIn = temp.Path() + "/in_small";
    std::error_code error;
    fs::create_directory(largeIn, error);
    fs::create_directory(smallIn, error);
    const std::string largeFile = largeIn + "/" + kInputName;
    std::printf("Generating %llu and %llu records in %s ...\n",
                static_cast<unsigned long long>(kLargeRecords),
                static_cast<unsigned long long>(kSmallRecords), temp.Path().c_str());
    std::fflush(stdout);
    if (!Generate(tools, largeFile, kLargeRecords) ||
        !Generate(tools, smallIn + "/" + kInputName, kSmallRecords)) {
        return 1;
    }
    const double inputMb = static_cast<double>(fs::file_size(largeFile, error)) / kMegabyte;

    Measurement large;
    Measurement small;
    double copySeconds = 0;
    if (!MeasureConversion(tools, temp.Path(), largeIn, large) ||
        !MeasureConversion(tools, temp.Path(), smallIn, small) ||
        !MeasureCopy(largeFile, temp.Path() + "/copy.csv", copySeconds)) {
        return 1;
    }

    std::printf("Best of %d runs each.\n", kRepeats);
    std::printf("  input                 %10.1f MB, %llu records\n", inputMb,
                static_cast<unsigned long long>(kLargeRecords));
    std::printf("  conversion            %10.3f s\n", large.seconds);
    std::printf("  records per second    %10.0f\n", static_cast<double>(kLargeRecords) / large.seconds);
    std::printf("  input MB per second   %10.1f\n", inputMb / large.seconds);
    std::printf("  peak RSS of converter %10.1f MiB\n", Mib(large.peakRssKib));
    std::printf("  cp of the input       %10.3f s, %.1f MB/s\n", copySeconds, inputMb / copySeconds);
    std::printf("  conversion / cp       %10.1f x\n", large.seconds / copySeconds);
    std::printf(
        "  peak RSS, %llu records: %.1f MiB; %llu records: %.1f MiB (%s)\n",
        static_cast<unsigned long long>(kSmallRecords), Mib(small.peakRssKib),
        static_cast<unsigned long long>(kLargeRecords), Mib(large.peakRssKib),
        static_cast<double>(large.peakRssKib) <= kFlatMemoryTolerance * static_cast<double>(small.peakRssKib)
            ? "flat"
            : "GROWS WITH THE INPUT");
    return 0;
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
