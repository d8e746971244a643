// Every way the file system can fail during a conversion with a split, walked one failure point at
// a time through the platform layer's fault seam: the command line runs in-process, the Nth open,
// create, read, write, flush, rename or delete fails (or the disk fills after N bytes), and after
// each point no output of the input stands under a final name unless all of it is complete.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>

#include "base/mbcs.h"
#include "cli/cli.h"
#include "engine/messages.h"
#include "engine/record_layout.h"
#include "platform/platform.h"
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
            return Fault::Failure;
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
        platform::SetFileFaults(faults);
        const int status = RunCli({"convert", "--input", in.Path(), "--output", dest->Path(), "--log-dir", logs.Path(),
                                   "--split-bytes", std::to_string(kRecordCharge * 3 + 1)},
                                  context);
        platform::SetFileFaults(nullptr);
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
    int messageId;       // shown and logged; 0 when the run ends normally
    std::string detail;  // the log entry's detail, before the message
    bool outputsKept;    // the input's conversion was complete: its outputs stand, under final names
};

Expected Expect(FileOperation op, bool sticky, const std::string& path) {
    const bool report = path.find("_Result.txt") != std::string::npos;
    if (report) return {kExitFailed, kMsgReportFailed, "", true};
    switch (op) {
        case FileOperation::Open:  // an open that fails once succeeds when it is tried again
            if (!sticky) return {kExitOk, 0, "", true};
            return {kExitFailed, kMsgReadFailed, "オープンエラー", false};
        case FileOperation::Create:
            if (!sticky) return {kExitOk, 0, "", true};
            return {kExitFailed, kMsgCreateFailed, "作成エラー", false};
        case FileOperation::Read:
        case FileOperation::Delete:
            return {kExitFailed, kMsgFatal, "", false};
        default:
            return {kExitFailed, kMsgWriteFailed, "書込みエラー", false};
    }
}

struct WalkCase {
    const char* name;
    FileOperation operation;
    bool sticky;
    bool faultyRecord;  // the last record is faulty: the outputs are deleted (the deletes to fail)
};

class FaultWalkTest : public FaultInjectionTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(FaultWalkTest, EveryFailurePointLeavesTheOutputsCompleteOrAbsent) {
    const WalkCase& c = GetParam();
    // A clean run counts the points to walk.
    auto counter = NewFaults();
    counter->operation = c.operation;
    ASSERT_EQ(Convert(counter.get(), c.faultyRecord), c.faultyRecord ? kExitFileErrors : kExitOk) << err;
    const int points = counter->seen[c.operation];
    ASSERT_GT(points, 0);

    for (int n = 1; n <= points; ++n) {
        SCOPED_TRACE("failure point " + std::to_string(n) + " of " + std::to_string(points));
        auto faults = NewFaults();
        faults->operation = c.operation;
        faults->failAt = n;
        faults->sticky = c.sticky;
        const std::string logBefore = LogText();
        const int status = Convert(faults.get(), c.faultyRecord);
        const Expected expected = Expect(c.operation, c.sticky, faults->failedPath);
        SCOPED_TRACE(faults->failedPath);

        EXPECT_EQ(status, expected.status) << err;
        EXPECT_EQ(ReadBytes(in / kName), input + (c.faultyRecord ? LineOfFields(3) : ""));
        const std::vector<std::string> finals = FinalOutputs();
        if (expected.outputsKept) {
            EXPECT_EQ(finals, (std::vector<std::string>{kBase + "_001.CSV", kBase + "_002.CSV", kBase + "_003.CSV"}));
        } else {
            EXPECT_TRUE(finals.empty()) << finals.front();
            // Deleted, the temporary files too, unless the deletion itself was what failed.
            if (c.operation != FileOperation::Delete) {
                EXPECT_TRUE(ListNames(dest->Path()).empty());
            }
        }
        if (expected.messageId != 0) {
            const std::string message = LoadMessage(expected.messageId);
            EXPECT_NE(err.find(message), std::string::npos) << err;
            const std::string entries = LogText().substr(logBefore.size());
            EXPECT_NE(entries.find(message), std::string::npos) << entries;
            EXPECT_NE(entries.find(expected.detail), std::string::npos) << entries;
            if (expected.messageId != kMsgReportFailed) {
                EXPECT_NE(err.find(kName + ": 異常"), std::string::npos) << err;
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
    ::testing::Values(WalkCase{"OpenOnce", FileOperation::Open, false, false},
                      WalkCase{"OpenLocked", FileOperation::Open, true, false},
                      WalkCase{"CreateOnce", FileOperation::Create, false, false},
                      WalkCase{"CreateLocked", FileOperation::Create, true, false},
                      WalkCase{"Read", FileOperation::Read, false, false},
                      WalkCase{"Write", FileOperation::Write, false, false},
                      WalkCase{"Flush", FileOperation::Flush, false, false},
                      WalkCase{"Rename", FileOperation::Rename, false, false},
                      WalkCase{"DeleteAfterAFaultyRecord", FileOperation::Delete, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FaultInjectionTest, ADiskThatFillsUpAtAnyByteLeavesNoPartialOutput) {
    NewFaults();
    ASSERT_EQ(Convert(nullptr), kExitOk);
    std::uint64_t outputs = 0;
    for (const std::string& name : FinalOutputs()) outputs += FileSize(*dest / name);
    const std::uint64_t first = FileSize(*dest / (kBase + "_001.CSV"));
    const std::uint64_t last = FileSize(*dest / (kBase + "_003.CSV"));

    // Full before anything, inside the first file, at its end, inside the last, just short of
    // the end, and with room for the outputs but not the report.
    for (std::uint64_t budget : {std::uint64_t{0}, first / 2, first, outputs - last / 2, outputs - 1, outputs}) {
        SCOPED_TRACE("disk full after " + std::to_string(budget) + " of " + std::to_string(outputs) + " bytes");
        auto faults = NewFaults();
        faults->diskBytes = budget;
        const int status = Convert(faults.get());
        EXPECT_EQ(status, kExitFailed);
        const bool reportOnly = budget >= outputs;
        EXPECT_NE(err.find(LoadMessage(reportOnly ? kMsgReportFailed : kMsgWriteFailed)), std::string::npos) << err;
        EXPECT_EQ(FinalOutputs().size(), reportOnly ? 3u : 0u);
        const std::vector<std::string> names = ListNames(dest->Path());
        EXPECT_EQ(names.size(), FinalOutputs().size()) << "a temporary file was left";
    }
}

TEST_F(FaultInjectionTest, ARunKilledWhileItRenamedItsOutputsIsRedoneByTheNext) {
    NewFaults();
    ASSERT_EQ(Convert(nullptr), kExitOk);
    std::map<std::string, std::string> complete;
    for (const std::string& name : FinalOutputs()) complete[name] = ReadBytes(*dest / name);
    // As the kill left them: the first output renamed, the others still temporary.
    for (const char* number : {"_002.CSV", "_003.CSV"}) {
        WriteBytes(*dest / (kBase + number + ".partial"), ReadBytes(*dest / (kBase + number)));
        ASSERT_TRUE(platform::RemoveFile(*dest / (kBase + number)));
    }
    ASSERT_EQ(ConvertAgain(nullptr), kExitOk) << err;
    std::map<std::string, std::string> again;
    for (const std::string& name : FinalOutputs()) again[name] = ReadBytes(*dest / name);
    EXPECT_EQ(again, complete);
}

TEST_F(FaultInjectionTest, AnInterruptEndsTheWaitForALockedOutputWithinASecond) {
    // The second output stays locked; Ctrl-C comes during the wait for it.
    auto faults = NewFaults();
    faults->operation = FileOperation::Create;
    faults->failAt = 2;
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
