// Every way the file system can fail during a conversion with a split, walked one failure point at
// a time through the platform layer's fault seam: the command line runs in-process, the Nth open,
// create, read, write, flush, rename or delete fails (or the disk fills after N bytes), and after
// each point no output of the input stands under a final name unless all of it is complete.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "base/mbcs.h"
#include "cli/cli.h"
#include "engine/messages.h"
#include "engine/output_folder.h"
#include "engine/record_layout.h"
#include "platform/platform.h"
#include "support/paths.h"
#include "tests/test_support.h"

namespace {

using platform::Fault;
using platform::FileOperation;

const std::string kName = "20080423120000.CSV";
const std::string kBase = "20080423120000";
constexpr int kRecords = 8;  // three to a file: three outputs

// Counts the operations on paths under the given folders, and fails the chosen one.
class CFaults : public platform::IFileFaults {
public:
    explicit CFaults(std::vector<std::string> scope) : m_scope(std::move(scope)) {}
    ~CFaults() override { platform::SetFileFaults(nullptr); }

    FileOperation operation = FileOperation::Open;
    Fault kind = Fault::Failure;
    int failAt = 0;       // 1-based; 0 fails nothing
    bool sticky = false;  // the failed path goes on failing this operation (a locked file)
    std::uint64_t diskBytes = std::numeric_limits<std::uint64_t>::max();

    std::map<FileOperation, int> seen;
    std::string failedPath;

    Fault Before(FileOperation op, const std::string& path, std::size_t& allowed) override {
        if (!InScope(path)) return Fault::None;
        if (op == FileOperation::Write && m_written + allowed > diskBytes) {
            allowed = static_cast<std::size_t>(diskBytes - m_written);
            m_written = diskBytes;
            if (failedPath.empty()) failedPath = path;
            return Fault::DiskFull;
        }
        if (op == FileOperation::Write) m_written += allowed;
        if (op != operation) return Fault::None;
        const int n = ++seen[op];
        if (n == failAt || (sticky && failAt != 0 && n > failAt && path == failedPath)) {
            if (failedPath.empty()) failedPath = path;
            return kind;
        }
        return Fault::None;
    }

private:
    // Without regard to case: Windows lists the files to delete by upper-cased paths.
    bool InScope(const std::string& path) const {
        return std::any_of(m_scope.begin(), m_scope.end(), [&](const std::string& folder) {
            return EqualsIgnoreCase(path.substr(0, folder.size()), folder);
        });
    }
    std::vector<std::string> m_scope;
    std::uint64_t m_written = 0;
};

class FaultInjectionTest : public ::testing::Test {
protected:
    FaultInjectionTest() {
        ResetInterrupt();
        context.write = [this](platform::Stream, const std::string& text) { err += text; };
        context.clock = &clock;
        input = ClaimLines(kRecords);
    }
    ~FaultInjectionTest() override { ResetInterrupt(); }

    // One conversion of the input (with a faulty last record when asked) into the output folder,
    // under faults.
    int Convert(CFaults* faults, bool faultyRecord = false) {
        WriteBytes(in / kName, input + (faultyRecord ? LineOfFields(3) : ""));
        return ConvertAgain(faults);
    }
    int ConvertAgain(CFaults* faults) {
        err.clear();
        if (faults != nullptr) platform::SetFileFaults(faults);
        const int status = RunCli({"convert", "--input", in.Path(), "--output", dest->Path(), "--log-dir", logs.Path(),
                                   "--split-bytes", std::to_string(kRecordCharge * 3 + 1)},
                                  context);
        if (faults != nullptr) platform::SetFileFaults(nullptr);
        return status;
    }
    // A new output folder, and faults for it and the input folder (the log lies elsewhere).
    std::unique_ptr<CFaults> NewFaults() {
        dest = std::make_unique<TempDir>();
        return std::make_unique<CFaults>(std::vector<std::string>{in.Path(), dest->Path()});
    }
    std::vector<std::string> FinalOutputs() {
        std::vector<std::string> finals;
        for (const std::string& name : ListNames(dest->Path())) {
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".CSV") == 0) finals.push_back(name);
        }
        return finals;
    }
    std::string LogText() {
        std::string text;
        for (const std::string& name : ListNames(logs.Path())) text += ReadBytes(logs / name);
        return text;
    }

    TempDir in;
    TempDir logs;
    std::unique_ptr<TempDir> dest;
    FakeClock clock;
    CliContext context;
    std::string input;
    std::string err;
};

// What a failure of each operation must end in, by what it struck.
struct Expected {
    int status;
    int messageId;       // shown and logged; 0 when the run ends normally; -1: 105 or 114
    std::string detail;  // the log entry's detail, before the message
    bool outputsKept;    // the run was complete: its outputs stand, under final names
};

Expected Expect(FileOperation op, Fault kind, bool sticky, bool faultyRecord, const std::string& path) {
    // The run's journal: unreadable, the folder is refused; a run that cannot keep it fails.
    if (path.find(kJournalName) != std::string::npos) {
        if (op == FileOperation::Open) return {kExitRefused, kMsgFolderUnusable, "", false};
        if (op == FileOperation::Create) return {kExitFailed, kMsgFatal, "", false};
        if (op == FileOperation::Delete) return {faultyRecord ? kExitFileErrors : kExitOk, 0, "", true};
        return {kExitFailed, -1, "", false};
    }
    // The report (with its manifest) is the run's commit point: without it the run published nothing.
    const bool report = path.find("_Result.") != std::string::npos;
    if (report) return {kExitFailed, kMsgReportFailed, "", false};
    switch (op) {
        case FileOperation::Open:  // a file another program holds is waited for; others fail at once
            if (!sticky && kind == Fault::Locked) return {kExitOk, 0, "", true};
            return {kExitFailed, kMsgReadFailed, "オープンエラー", false};
        case FileOperation::Create:
            if (!sticky && kind == Fault::Locked) return {kExitOk, 0, "", true};
            return {kExitFailed, kMsgCreateFailed, "作成エラー", false};
        case FileOperation::Read:
        case FileOperation::Delete: return {kExitFailed, kMsgFatal, "", false};
        default: return {kExitFailed, kMsgWriteFailed, "書込みエラー", false};
    }
}

struct WalkCase {
    const char* name;
    FileOperation operation;
    Fault kind;
    bool sticky;
    bool faultyRecord;  // the last record is faulty: the outputs are deleted (the deletes to fail)
};
// GoogleTest shows a parameter by its name (else as a dump of its bytes).
void PrintTo(const WalkCase& c, std::ostream* os) { *os << c.name; }

class FaultWalkTest : public FaultInjectionTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(FaultWalkTest, EveryFailurePointLeavesTheOutputsCompleteOrAbsent) {
    const WalkCase& c = GetParam();
    // A clean run counts the points to walk.
    auto counter = NewFaults();
    counter->operation = c.operation;
    counter->kind = c.kind;
    ASSERT_EQ(Convert(counter.get(), c.faultyRecord), c.faultyRecord ? kExitFileErrors : kExitOk) << err;
    const int points = counter->seen[c.operation];
    ASSERT_GT(points, 0);

    for (int n = 1; n <= points; ++n) {
        SCOPED_TRACE("failure point " + std::to_string(n) + " of " + std::to_string(points));
        auto faults = NewFaults();
        faults->operation = c.operation;
        faults->kind = c.kind;
        faults->failAt = n;
        faults->sticky = c.sticky;
        const std::string logBefore = LogText();
        const int status = Convert(faults.get(), c.faultyRecord);
        const Expected expected = Expect(c.operation, c.kind, c.sticky, c.faultyRecord, faults->failedPath);
        SCOPED_TRACE(faults->failedPath);

        EXPECT_EQ(status, expected.status) << err;
        EXPECT_EQ(ReadBytes(in / kName), input + (c.faultyRecord ? LineOfFields(3) : ""));
        const std::vector<std::string> finals = FinalOutputs();
        if (expected.outputsKept) {
            if (!c.faultyRecord) {
                EXPECT_EQ(finals,
                          (std::vector<std::string>{kBase + "_001.CSV", kBase + "_002.CSV", kBase + "_003.CSV"}));
            }
        } else {
            EXPECT_TRUE(finals.empty()) << finals.front();
            // Deleted, the temporary files and the journal too, unless a deletion was what failed.
            if (c.operation != FileOperation::Delete) {
                EXPECT_TRUE(ListNames(dest->Path()).empty()) << ListNames(dest->Path()).front();
            }
        }
        if (expected.messageId == -1) {
            // Which message depends on what the journal was to record: an output's creation or
            // its final name, the report's, or the run's start.
            EXPECT_TRUE(err.find(LoadMessage(kMsgFatal)) != std::string::npos ||
                        err.find(LoadMessage(kMsgReportFailed)) != std::string::npos ||
                        err.find(LoadMessage(kMsgCreateFailed)) != std::string::npos ||
                        err.find(LoadMessage(kMsgWriteFailed)) != std::string::npos)
                << err;
        } else if (expected.messageId == kMsgFolderUnusable) {
            EXPECT_NE(err.find(LoadMessage(expected.messageId)), std::string::npos) << err;
        } else if (expected.messageId != 0) {
            const std::string message = LoadMessage(expected.messageId);
            EXPECT_NE(err.find(message), std::string::npos) << err;
            // The entry, on one line and in the command line's name, holds the message's first line.
            const std::string entries = LogText().substr(logBefore.size());
            EXPECT_NE(entries.find(" (" + context.program + ")["), std::string::npos) << entries;
            EXPECT_NE(entries.find(message.substr(0, message.find('\n'))), std::string::npos) << entries;
            EXPECT_NE(entries.find(expected.detail), std::string::npos) << entries;
            if (expected.messageId != kMsgReportFailed && expected.messageId != kMsgFatal) {
                EXPECT_NE(err.find(kName + ": 異常"), std::string::npos) << err;
                // The detail, with the system's reason, is told on standard error too.
                EXPECT_NE(err.find(expected.detail + " ("), std::string::npos) << err;
            }
        }
        // Whatever the failure left, the next run of the same input succeeds.
        if (!expected.outputsKept) {
            ASSERT_EQ(ConvertAgain(nullptr), c.faultyRecord ? kExitFileErrors : kExitOk) << err;
            const std::vector<std::string> names = ListNames(dest->Path());
            EXPECT_EQ(std::count_if(names.begin(), names.end(),
                                    [](const std::string& name) { return name.find(".partial") != std::string::npos; }),
                      0);
            EXPECT_EQ(FinalOutputs().size(), c.faultyRecord ? 0u : 3u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Operations, FaultWalkTest,
    ::testing::Values(WalkCase{"OpenHeldOnce", FileOperation::Open, Fault::Locked, false, false},
                      WalkCase{"OpenHeld", FileOperation::Open, Fault::Locked, true, false},
                      WalkCase{"OpenRefused", FileOperation::Open, Fault::Failure, false, false},
                      WalkCase{"CreateHeldOnce", FileOperation::Create, Fault::Locked, false, false},
                      WalkCase{"CreateHeld", FileOperation::Create, Fault::Locked, true, false},
                      WalkCase{"CreateRefused", FileOperation::Create, Fault::Failure, false, false},
                      WalkCase{"Read", FileOperation::Read, Fault::Failure, false, false},
                      WalkCase{"Write", FileOperation::Write, Fault::Failure, false, false},
                      WalkCase{"Flush", FileOperation::Flush, Fault::Failure, false, false},
                      WalkCase{"Rename", FileOperation::Rename, Fault::Failure, false, false},
                      WalkCase{"DeleteAfterAFaultyRecord", FileOperation::Delete, Fault::Failure, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FaultInjectionTest, ADiskThatFillsUpAtAnyByteLeavesNoPartialOutput) {
    NewFaults();
    ASSERT_EQ(Convert(nullptr), kExitOk);
    std::uint64_t outputs = 0;
    for (const std::string& name : FinalOutputs()) outputs += FileSize(*dest / name);
    const std::uint64_t first = FileSize(*dest / (kBase + "_001.CSV"));
    const std::uint64_t last = FileSize(*dest / (kBase + "_003.CSV"));

    // Full before anything, inside the first file, at its end, inside the last, just short of
    // the end, and with room for the outputs but not the report (the run's journal takes a few
    // bytes too). A run that ends without its report leaves nothing: no output, no journal.
    for (std::uint64_t budget : {std::uint64_t{0}, first / 2, first, outputs - last / 2, outputs - 1, outputs}) {
        SCOPED_TRACE("disk full after " + std::to_string(budget) + " of " + std::to_string(outputs) + " bytes");
        auto faults = NewFaults();
        faults->diskBytes = budget;
        const int status = Convert(faults.get());
        EXPECT_EQ(status, kExitFailed);
        EXPECT_TRUE(err.find(LoadMessage(kMsgReportFailed)) != std::string::npos ||
                    err.find(LoadMessage(kMsgWriteFailed)) != std::string::npos ||
                    err.find(LoadMessage(kMsgCreateFailed)) != std::string::npos)
            << err;
        const std::vector<std::string> names = ListNames(dest->Path());
        EXPECT_TRUE(names.empty()) << names.front();
    }
}

// ---- Hostile folders ----
// An output folder shared with others: the user's files with names near ours, links planted at
// every name the program creates, and the leftovers of a run killed at each step of its publish.
// Afterwards exactly the expected files exist, every file of the user's byte for byte as it was,
// and every link's target unchanged.

enum class Path {
    Success,
    FaultyRecord,
    Abort,
    WriteFails,
    KilledWritten,
    KilledRenaming,
    KilledReported,
    KilledPublished
};

struct HostileCase {
    const char* name;
    Path path;
    std::vector<std::string> links;  // names planted as links to a file outside the folder
    int status;
    bool published;  // the three outputs and one report stand afterwards
};
void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class HostileFolderTest : public FaultInjectionTest, public ::testing::WithParamInterface<HostileCase> {
protected:
    // What a kill at a step of the publish leaves, made from a complete run's folder: the run's
    // journal as it stood, and its files under the names they had.
    void LeaveAsKilled(Path path) {
        const std::string report = "20080423140509_Result.txt";
        const std::string manifest = "20080423140509_Result.sha256";
        std::string journal;
        for (const char* number : {"_001", "_002", "_003"}) journal += "+" + kBase + number + ".CSV.partial\r\n";
        if (path != Path::KilledWritten) {
            for (const char* number : {"_001", "_002", "_003"}) journal += "+" + kBase + number + ".CSV\r\n";
        }
        // Reported: killed after the manifest's rename, before the report's.
        if (path == Path::KilledReported || path == Path::KilledPublished) {
            journal += "+" + report + ".partial\r\n+" + manifest + ".partial\r\n+" + manifest + "\r\n";
        }
        if (path == Path::KilledPublished) journal += "+" + report + "\r\n";
        WriteBytes(*dest / kJournalName, journal);
        const auto unrename = [&](const std::string& name) {
            ASSERT_TRUE(platform::RenameFile(*dest / name, *dest / (name + ".partial")));
        };
        if (path == Path::KilledWritten) unrename(kBase + "_001.CSV");
        if (path == Path::KilledWritten || path == Path::KilledRenaming) {
            unrename(kBase + "_002.CSV");
            unrename(kBase + "_003.CSV");
            ASSERT_TRUE(platform::RemoveFile(*dest / report));
            ASSERT_TRUE(platform::RemoveFile(*dest / manifest));
        }
        if (path == Path::KilledReported) unrename(report);
    }
};

TEST_P(HostileFolderTest, TouchesOnlyItsOwnFilesAndFollowsNoLink) {
    const HostileCase& c = GetParam();
#ifdef _WIN32
    if (!c.links.empty()) GTEST_SKIP() << "links are planted on POSIX";
#endif
    NewFaults();
    const bool killed = c.path >= Path::KilledWritten;
    std::map<std::string, std::string> reference;
    if (killed) {
        ASSERT_EQ(Convert(nullptr), kExitOk) << err;
        for (const std::string& name : FinalOutputs()) reference[name] = ReadBytes(*dest / name);
        LeaveAsKilled(c.path);
    }
    // The user's files, whose names only look like ours.
    std::map<std::string, std::string> users;
    for (const char* suffix :
         {"_bak.csv", "_20240101.CSV", "_review.CSV.partial", "_0x1.CSV.partial", "_001.csv.txt"}) {
        users[kBase + suffix] = std::string("the user's ") + suffix;
    }
    for (const auto& [name, bytes] : users) WriteBytes(*dest / name, bytes);
    TempDir elsewhere;
    const std::string target = elsewhere / "target.txt";
    WriteBytes(target, "not to be touched");
#ifndef _WIN32
    for (const std::string& link : c.links) ASSERT_EQ(symlink(target.c_str(), (*dest / link).c_str()), 0) << link;
#endif

    std::unique_ptr<FailingPaths> faults;
    if (c.path == Path::WriteFails) {
        faults = std::make_unique<FailingPaths>(FileOperation::Write, "_002.CSV", Fault::DiskFull);
    }
    if (c.path == Path::Abort) {
        context.write = [this](platform::Stream, const std::string& text) {
            err += text;
            if (text.find(": 処理中") != std::string::npos) RequestInterrupt();
        };
    }
    EXPECT_EQ(Convert(nullptr, c.path == Path::FaultyRecord), c.status) << err;
    faults.reset();

    std::vector<std::string> expected;
    for (const auto& [name, bytes] : users) expected.push_back(name);
    for (const std::string& link : c.links) expected.push_back(link);
    if (c.published) {
        for (const char* number : {"_001.CSV", "_002.CSV", "_003.CSV"}) expected.push_back(kBase + number);
    }
    std::vector<std::string> found = ListNames(dest->Path());
    // A run that ended with its report (faulty records included) leaves one report of its own.
    const auto report = std::find_if(found.begin(), found.end(), [&](const std::string& name) {
        return name.size() == 25 && name.compare(14, 11, "_Result.txt") == 0 &&
               std::find(c.links.begin(), c.links.end(), name) == c.links.end();
    });
    const bool reported = c.status == kExitOk || c.status == kExitFileErrors || c.path == Path::KilledPublished;
    EXPECT_EQ(report != found.end(), reported);
    if (reported && report != found.end()) {
        expected.push_back(*report);
        expected.push_back(report->substr(0, 15) + "Result.sha256");  // its manifest beside it
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
    for (const auto& [name, bytes] : users) EXPECT_EQ(ReadBytes(*dest / name), bytes) << name;
    EXPECT_EQ(ReadBytes(target), "not to be touched");
    if (killed && c.published) {
        for (const auto& [name, bytes] : reference) EXPECT_EQ(ReadBytes(*dest / name), bytes) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, HostileFolderTest,
    ::testing::Values(
        HostileCase{"NearNames", Path::Success, {}, kExitOk, true},
        HostileCase{"NearNamesFaultyRecord", Path::FaultyRecord, {}, kExitFileErrors, false},
        HostileCase{"NearNamesAbort", Path::Abort, {}, kExitAborted, false},
        HostileCase{"NearNamesWriteFails", Path::WriteFails, {}, kExitFailed, false},
        // After a kill the next run removes the killed run's files (and only those) and converts
        // again; a run killed after its report's rename was complete: its outputs stand.
        HostileCase{"KilledWithOutputsWritten", Path::KilledWritten, {}, kExitOk, true},
        HostileCase{"KilledWhileRenaming", Path::KilledRenaming, {}, kExitOk, true},
        HostileCase{"KilledWithItsReportWritten", Path::KilledReported, {}, kExitOk, true},
        HostileCase{"KilledWithItsReportInPlace", Path::KilledPublished, {}, kExitRefused, true},
        // Links at the names the program creates: never written through, never removed.
        HostileCase{"LinkAtTheFirstOutput", Path::Success, {kBase + "_001.CSV.partial"}, kExitFailed, false},
        HostileCase{"LinkAtALaterOutput", Path::Success, {kBase + "_003.CSV.partial"}, kExitFailed, false},
        HostileCase{"LinkAtAFinalName", Path::Success, {kBase + "_002.CSV"}, kExitRefused, false},
        HostileCase{"LinkAtTheReport",
                    Path::Success,
                    {"20080423140509_Result.txt.partial", "20080423140510_Result.txt"},
                    kExitOk,
                    true},
        HostileCase{"LinkAtTheJournal", Path::Success, {kJournalName}, kExitRefused, false},
        HostileCase{"LinkAtTheLock", Path::Success, {platform::kFolderLockName}, kExitRefused, false},
        HostileCase{"LinksAndAFaultyRecord", Path::FaultyRecord, {kBase + "_002.CSV.partial"}, kExitFileErrors, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Output folders of about 120 and 200 Japanese characters (far beyond 260 bytes of code page 932,
// and beyond 260 UTF-16 units for the longer): a faulty run, then a sound one, leave exactly what a
// short folder gets: nothing stale, nothing continued.
TEST_F(FaultInjectionTest, LongJapaneseFoldersWorkLikeShortOnes) {
    NewFaults();
    ASSERT_EQ(Convert(nullptr), kExitOk) << err;
    std::map<std::string, std::string> reference;
    for (const std::string& name : FinalOutputs()) reference[name] = ReadBytes(*dest / name);

    for (const int characters : {120, 200}) {
        SCOPED_TRACE(std::to_string(characters) + " characters");
        NewFaults();
        std::string folder = dest->Path();
        // Components of 40 characters (120 bytes of UTF-8 each, within every file system's limit),
        // of characters whose second byte in code page 932 is a backslash or a letter.
        const char* const kanji[] = {"表", "報", "能", "明", "細"};
        for (int made = 0; made < characters; made += 40) {
            std::string component;
            for (int i = 0; i < 40; ++i) component += kanji[i % 5];
            folder = JoinPath(folder, component);
            ASSERT_TRUE(CreateFolderTree(folder));
        }
        const auto run = [&](bool faulty) {
            WriteBytes(in / kName, input + (faulty ? LineOfFields(3) : ""));
            err.clear();
            return RunCli({"convert", "--input", in.Path(), "--output", folder, "--log-dir", logs.Path(),
                           "--split-bytes", std::to_string(kRecordCharge * 3 + 1)},
                          context);
        };
        EXPECT_EQ(run(true), kExitFileErrors) << err;
        std::vector<std::string> names = ListNames(folder);
        EXPECT_EQ(names, (std::vector<std::string>{"20080423140509_Result.sha256", "20080423140509_Result.txt"}));
        EXPECT_EQ(run(false), kExitOk) << err;
        names = ListNames(folder);
        EXPECT_EQ(names, (std::vector<std::string>{kBase + "_001.CSV", kBase + "_002.CSV", kBase + "_003.CSV",
                                                   "20080423140509_Result.sha256", "20080423140509_Result.txt",
                                                   "20080423140510_Result.sha256", "20080423140510_Result.txt"}));
        for (const auto& [name, bytes] : reference) EXPECT_EQ(ReadBytes(JoinPath(folder, name)), bytes) << name;
    }
}

TEST_F(FaultInjectionTest, AnInterruptEndsTheWaitForALockedOutputWithinASecond) {
    // The second output stays locked; Ctrl-C comes during the wait for it.
    auto faults = NewFaults();
    faults->operation = FileOperation::Create;
    faults->kind = Fault::Locked;
    faults->failAt = 3;  // the journal, the first output, then the second
    faults->sticky = true;
    int sleepsAfterInterrupt = -1;
    clock.onSleep = [&](int sleeps) {
        if (sleeps == 50) RequestInterrupt();
        if (sleeps >= 50) ++sleepsAfterInterrupt;
    };
    EXPECT_EQ(Convert(faults.get()), kExitAborted) << err;
    EXPECT_LE(sleepsAfterInterrupt, 10);  // the waits poll every 100 ms
    EXPECT_TRUE(ListNames(dest->Path()).empty());
    EXPECT_NE(err.find(kName + ": 中断"), std::string::npos) << err;
}

}  // namespace
