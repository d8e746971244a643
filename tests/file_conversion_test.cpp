// Converting one file: statuses, counts, the split rule, and what is left in the output folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/claim_check.h"
#include "engine/conversion_run.h"
#include "engine/messages.h"
#include "engine/output_record.h"
#include "engine/record_layout.h"
#include "platform/platform.h"
#include "support/paths.h"
#include "tests/test_support.h"

namespace {

const std::string kName = "20080423120000.CSV";
const std::string kBase = "20080423120000";

class ConvertFileTest : public ::testing::Test, protected RunFixture {
protected:
    FileStatus Convert(const std::string& content) {
        WriteBytes(in / kName, content);
        return run.ConvertFile(in / kName, result);
    }
    std::vector<std::string> Outputs() { return ListNames(out.Path()); }
    std::string LogText() { return Exists(log.Path()) ? ReadBytes(log.Path()) : ""; }

    FileResult result;
};

TEST_F(ConvertFileTest, EmptyFileHasNoData) {
    EXPECT_EQ(Convert(""), NoData);
    EXPECT_EQ(result.read_count, 0);
    EXPECT_EQ(result.file_count, 0);
    EXPECT_EQ(result.error_count, 1);
    EXPECT_EQ(result.message, "処理対象外（データがありません）");
    EXPECT_TRUE(Outputs().empty());
}

TEST_F(ConvertFileTest, OnlyBlankAndCommentLinesHoldNoData) {
    // As a file of 0 bytes, and as the record check says: no data, no output.
    EXPECT_EQ(Convert("# header\r\n\r\n#" + std::string(2000, 'x') + "\r\n"), NoData);
    EXPECT_TRUE(Outputs().empty());
    EXPECT_EQ(result.file_count, 0);
    EXPECT_EQ(result.error_count, 1);
    EXPECT_EQ(result.message, "処理対象外（データがありません）");
    EXPECT_EQ(result.read_count, 0);
}

TEST_F(ConvertFileTest, ConvertsEveryRecordIntoItsOutputLine) {
    EXPECT_EQ(Convert(ClaimLines(3)), Normal);
    EXPECT_EQ(result.read_count, 3);
    EXPECT_EQ(result.written_count, 3);
    const std::string output = ReadBytes(out / (kBase + "_001.CSV"));
    std::vector<std::string> lines;
    SplitText(output, "\r\n", lines);
    ASSERT_EQ(lines.size(), 4u);  // three lines and the empty rest
    std::vector<std::string> fields;
    SplitText(lines[1], ",", fields);
    ASSERT_EQ(fields.size(), 16u);
    EXPECT_EQ(fields[1], "a2");
    EXPECT_EQ(fields[3].size(), 40u);
    EXPECT_EQ(fields[4].substr(24), std::string(16, '0'));
    EXPECT_EQ(fields[12], "000000001");
    EXPECT_EQ(fields[14], "-0000001");
}

TEST_F(ConvertFileTest, LinesKeepTheirOrderAcrossBatchesAndSplits) {
    // Several batches of records, with files that end inside them.
    const int records = 3 * 4096 + 123;
    host.splitLimit = kRecordCharge * 3000 + 1;
    ASSERT_EQ(Convert(ClaimLines(records)), Normal);
    EXPECT_EQ(result.file_count, 5);
    std::string written;
    for (const std::string& name : Outputs()) written += ReadBytes(out / name);
    std::string expected;
    const CReferenceDigest digest(kReferenceKey, kReferenceOutputLength);
    for (int n = 0; n < records; ++n) {
        std::vector<std::string> fields;
        const std::string line = ClaimLine(n);
        SplitText(line.substr(0, line.size() - 2), ",", fields);
        expected += BuildOutputLine(fields, digest);
    }
    EXPECT_TRUE(written == expected);
}

struct FaultCase {
    const char* name;
    std::string content;
    FileStatus status;
    int readCount;
    std::string message;
    std::string rejection;  // what names the record, on the driver and in the log
};
// GoogleTest shows a parameter by its name (else as a dump of its bytes).
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class RecordFaultTest : public ConvertFileTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(RecordFaultTest, RejectsTheFileAndLeavesNoOutput) {
    const FaultCase& c = GetParam();
    host.splitLimit = kRecordCharge * 2 + 1;  // two records a file: the fault comes after splits
    EXPECT_EQ(Convert(c.content), c.status);
    EXPECT_EQ(result.read_count, c.readCount);
    EXPECT_EQ(result.written_count, 0);
    EXPECT_EQ(result.file_count, 0);
    EXPECT_EQ(result.error_count, 1);
    EXPECT_EQ(result.message, c.message);
    EXPECT_TRUE(Outputs().empty());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.rejections, std::vector<std::string>{kName + ":" + c.rejection});
    const std::string log = LogText();
    EXPECT_NE(log.find("] " + kName + ":" + c.rejection + "\r\n"), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);  // one entry

    // The check command judges what the conversion read (the lines up to the faulty one) alike: as
    // many records, and that one named alone.
    std::size_t end = 0;
    for (long long line = std::stoll(c.rejection); line > 0; --line) end = c.content.find('\n', end) + 1;
    WriteBytes(in / kName, c.content.substr(0, end));
    std::vector<std::string> named;
    const ClaimFileCheck checked = CheckClaimFile(in / kName, clock, [&](std::int64_t line, const RecordCheck& check) {
        named.push_back(std::to_string(line) + ": " + RecordFaultText(check));
    });
    EXPECT_EQ(checked.records, c.readCount);
    EXPECT_EQ(named, std::vector<std::string>{c.rejection});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordFaultTest,
    ::testing::Values(
        FaultCase{"FifteenFields", LineOfFields(15), ColumnCountError, 1, "", "1: カラム数エラー (項目数 15)"},
        FaultCase{"SeventeenFields", ClaimLines(2) + LineOfFields(17), ColumnCountError, 3, "",
                  "3: カラム数エラー (項目数 17)"},
        FaultCase{"TrailingComma", ClaimLine(1).substr(0, ClaimLine(1).size() - 2) + ",\r\n", ColumnCountError, 1, "",
                  "1: カラム数エラー (項目数 17)"},
        FaultCase{"FaultAfterTwoSplits", ClaimLines(5) + LineOfFields(3), ColumnCountError, 6, "",
                  "6: カラム数エラー (項目数 3)"},
        // Records are checked by two threads, batch by batch: the first fault in the file is named,
        // wherever it lies, and the records read after it are not counted.
        FaultCase{"FirstOfTwoFaults", ClaimLines(69) + LineOfFields(3) + ClaimLines(59) + LineOfFields(5),
                  ColumnCountError, 70, "", "70: カラム数エラー (項目数 3)"},
        FaultCase{"FaultInTheThirdBatch", ClaimLines(2100) + LineOfFields(3) + ClaimLines(10), ColumnCountError, 2101,
                  "", "2101: カラム数エラー (項目数 3)"},
        // Blank and comment lines count as lines.
        FaultCase{"Record500", "# header\r\n\r\n" + ClaimLines(499) + LineOfFields(3), ColumnCountError, 500, "",
                  "502: カラム数エラー (項目数 3)"},
        FaultCase{"NulInTheCardNumber",
                  ClaimLines(3) + ClaimLineWith(4, std::string("12\0"
                                                               "3",
                                                               4)),
                  ColumnCountError, 4, "", "4: カラム数エラー (NUL バイト)"},
        FaultCase{"InsurerNumberOfNineBytes", ClaimLines(4) + ClaimLineWith(2, "123456789"), FieldLengthError, 5,
                  "桁数エラー（保険者番号）", "5: 桁数エラー（保険者番号） (9 バイト、最大 8 バイト)"},
        FaultCase{"TwoOverlongFieldsNameTheFirst", ClaimLines(1) + "1,2,3,4,5,6,7,8,9,0,1,2,1234567890,4,5,12345\r\n",
                  FieldLengthError, 2, "桁数エラー（保険_決定点数）",
                  "2: 桁数エラー（保険_決定点数） (10 バイト、最大 9 バイト)"},
        // A line longer than a chunk is named by its line, where its first piece starts.
        FaultCase{"LineLongerThanAChunk", ClaimLines(2) + std::string(1100, ',') + "\r\n", ColumnCountError, 3, "",
                  "3: カラム数エラー (項目数 1025)"},
        // A field that runs past the first piece is measured within it: 1,024 bytes less the 75 before it.
        FaultCase{"FieldPastTheFirstPiece", ClaimLines(2) + ClaimLineWith(15, std::string(1104, '1')), FieldLengthError,
                  3, "桁数エラー（疾病コード）", "3: 桁数エラー（疾病コード） (949 バイト、最大 4 バイト)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConvertFileTest, FieldsAtTheirMaximumPass) {
    EXPECT_EQ(Convert(ClaimLineWith(2, "12345678") + ClaimLineWith(3, std::string(40, 'A'))), Normal);
    EXPECT_EQ(result.written_count, 2);
}

struct SplitCase {
    std::uint64_t limit;
    int records;
    std::vector<int> perFile;
};
void PrintTo(const SplitCase& c, std::ostream* os) { *os << "Limit" << c.limit << "Records" << c.records; }

class SplitRuleTest : public ConvertFileTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SplitRuleTest, StartsANewFileBeforeTheChargedSizeReachesTheLimit) {
    host.splitLimit = GetParam().limit;
    ASSERT_EQ(Convert(ClaimLines(GetParam().records)), Normal);
    const std::vector<int>& perFile = GetParam().perFile;
    EXPECT_EQ(result.file_count, static_cast<int>(perFile.size()));
    EXPECT_EQ(Outputs().size(), perFile.size());
    for (std::size_t i = 0; i < perFile.size(); ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%s_%03zu.CSV", kBase.c_str(), i + 1);
        std::vector<std::string> lines;
        SplitText(ReadBytes(out / name), "\r\n", lines);
        EXPECT_EQ(static_cast<int>(lines.size()) - 1, perFile[i]) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, SplitRuleTest,
                         ::testing::Values(SplitCase{0, 7, {7}},                  // no split
                                           SplitCase{173 * 3 + 1, 7, {3, 3, 1}},  // 519 stays below 520
                                           SplitCase{173 * 3, 7, {2, 2, 2, 1}},   // 519 reaches 519
                                           SplitCase{173 * 3 + 1, 6, {3, 3}}),    // no empty last file
                         ::testing::PrintToStringParamName());

TEST(SplitLimitTest, MediumSizesAndRecordsPerFile) {
    const std::uint64_t limits[] = {0, 4831838208, 124780544, 225443840, 628097024, 1261646643, 2220498092, 650117120};
    const std::uint64_t records[] = {0, 27929700, 721274, 1303143, 3630618, 7292755, 12835249, 3757902};
    for (int position = 0; position < kSplitSizeCount; ++position) {
        EXPECT_EQ(SplitLimitForPosition(position), limits[position]) << position;
        if (position > 0) {
            EXPECT_EQ((limits[position] - 1) / kRecordCharge, records[position]);
        }
    }
    EXPECT_EQ(SplitLimitForPosition(-1), 0u);
    EXPECT_EQ(SplitLimitForPosition(8), 0u);
}

TEST_F(ConvertFileTest, AFirstOutputThatAppearedMeanwhileIsNeverContinued) {
    // Another's file under the final name: the run fails rather than write into it or over it.
    WriteBytes(out / (kBase + "_001.CSV"), std::string(173, 'x'));
    EXPECT_EQ(Convert(ClaimLines(3)), Failed);
    EXPECT_EQ(ReadBytes(out / (kBase + "_001.CSV")), std::string(173, 'x'));
    EXPECT_EQ(Outputs(), std::vector<std::string>{kBase + "_001.CSV"});
}

TEST_F(ConvertFileTest, MoreThan999FilesAreNamedWithFourDigitsAndDeletedToo) {
    host.splitLimit = kRecordCharge + 1;  // one record a file
    ASSERT_EQ(Convert(ClaimLines(1001)), Normal);
    EXPECT_EQ(result.file_count, 1001);
    EXPECT_TRUE(Exists(out / (kBase + "_1001.CSV")));
    result = FileResult{};
    for (const std::string& name : Outputs()) platform::RemoveFile(out / name);
    ASSERT_EQ(Convert(ClaimLines(1001) + LineOfFields(2)), ColumnCountError);
    EXPECT_TRUE(Outputs().empty());
}

struct AbortCase {
    bool confirm;
    FileStatus status;
};
void PrintTo(const AbortCase& c, std::ostream* os) { *os << (c.confirm ? "Confirmed" : "Declined"); }

class AbortTest : public ConvertFileTest, public ::testing::WithParamInterface<AbortCase> {};

TEST_P(AbortTest, IsAnsweredBetweenRecords) {
    host.splitLimit = 173 * 10 + 1;  // ten records a file: the abort comes in the third
    host.answers = {GetParam().confirm};
    flags.running = 1;
    host.onProgress = [&](int position) {
        if (position == 25) flags.abortRequested = 1;  // one step per record
    };
    host.onQuestion = [&]() {
        EXPECT_EQ(flags.running, 0);
        EXPECT_EQ(flags.abortRequested, 0);
    };
    EXPECT_EQ(Convert(ClaimLines(30)), GetParam().status);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first, LoadMessage(kMsgConfirmAbort));
    if (GetParam().confirm) {
        EXPECT_TRUE(Outputs().empty());
        EXPECT_EQ(host.statusText, "処理を中断しました。");
        EXPECT_EQ(host.buttonText, "変換(&C)");
        EXPECT_LT(result.read_count, 30);
    } else {
        EXPECT_EQ(flags.running, 1);
        EXPECT_EQ(result.written_count, 30);
        EXPECT_EQ(Outputs().size(), 3u);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, AbortTest, ::testing::Values(AbortCase{true, Aborted}, AbortCase{false, Normal}),
                         ::testing::PrintToStringParamName());

TEST_F(ConvertFileTest, AnInputThatCannotBeOpenedIsLoggedShownAndFails) {
    const std::string missing = in / kName;
    EXPECT_EQ(run.ConvertFile(missing, result), Failed);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first, LoadMessage(kMsgReadFailed));
    EXPECT_EQ(host.messages[0].second, MessageKind::Stop);
    EXPECT_EQ(host.statusText, "カルデノ　異常終了");
    // With the system's reason between the detail and the message.
    const std::string entries = LogText();
    EXPECT_NE(entries.find("読込みファイル[" + missing + "] オープンエラー ("), std::string::npos) << entries;
    EXPECT_NE(entries.find(") ファイルの読込みに失敗しました。処理を終了します。\r\n"), std::string::npos) << entries;
}

TEST_F(ConvertFileTest, AFinalNameTakenByAFolderFailsTheRenameAndLeavesNoOutput) {
    CreateFolderTree(out / (kBase + "_002.CSV"));  // a folder where the second file must go
    host.splitLimit = 173 * 2 + 1;
    EXPECT_EQ(Convert(ClaimLines(5)), Failed);
    EXPECT_EQ(host.messages.at(0).first, LoadMessage(kMsgWriteFailed));
    EXPECT_NE(LogText().find("報告データファイル[" + (out / (kBase + "_002.CSV")) + "] 書込みエラー"),
              std::string::npos);
    EXPECT_EQ(result.file_count, 3);
    EXPECT_EQ(result.written_count, 5);
    EXPECT_EQ(Outputs(), std::vector<std::string>{kBase + "_002.CSV"});  // the folder, which is not ours
}

TEST_F(ConvertFileTest, AWriteThatFailsIsReportedAndDeletesTheFiles) {
    // Every write of the outputs fails, as on a full disk.
    const FailingPaths faults(platform::FileOperation::Write, kBase + "_0", platform::Fault::DiskFull);
    EXPECT_EQ(Convert(ClaimLines(2)), Failed);
    EXPECT_EQ(host.messages.at(0).first, LoadMessage(kMsgWriteFailed));
    EXPECT_NE(LogText().find("報告データファイル[" + (out / (kBase + "_001.CSV")) + "] 書込みエラー"),
              std::string::npos);
    EXPECT_EQ(host.statusText, "カルデノ　異常終了");
    EXPECT_EQ(result.written_count, 2);  // handed over; the final flush failed
    EXPECT_TRUE(Outputs().empty());

    // A write that fails when the buffer first fills counts the lines before the one that filled it.
    result = FileResult{};
    const CReferenceDigest digest(kReferenceKey, kReferenceOutputLength);
    std::size_t bytes = 0;
    std::int64_t before = 0;
    for (int n = 0;; ++n, ++before) {
        std::vector<std::string> fields;
        const std::string line = ClaimLine(n);
        SplitText(line.substr(0, line.size() - 2), ",", fields);
        bytes += BuildOutputLine(fields, digest).size();
        if (bytes >= 1000000) break;  // the output buffer's size
    }
    EXPECT_EQ(Convert(ClaimLines(static_cast<int>(before) + 2000)), Failed);
    EXPECT_EQ(result.written_count, before);
}

}  // namespace
