// A whole run: rows in turn, the end of the run on fatal files and aborts, the report, the
// elapsed time, and the guard that turns an exception into a fatal-error message.
#include <gtest/gtest.h>

#include "engine/conversion_run.h"
#include "engine/messages.h"
#include "support/clock.h"
#include "support/paths.h"
#include "tests/test_support.h"

namespace {

TEST(ElapsedTextTest, ChoosesTheShortestForm) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "処理時間 0秒"},
        {59, "処理時間 59秒"},
        {60, "処理時間 1分0秒"},
        {3599, "処理時間 59分59秒"},
        {3600, "処理時間 1時間0分0秒"},
        {3661, "処理時間 1時間1分1秒"},
        {90061, "処理時間 25時間1分1秒"},
    };
    for (const auto& [seconds, text] : cases) EXPECT_EQ(ElapsedText(seconds), text) << seconds;
}

class BatchRunTest : public ::testing::Test, protected RunFixture {
protected:
    // Rows of the list: name, content, ticked.
    void AddRow(const std::string& name, const std::string& content, bool ticked) {
        WriteBytes(in / name, content);
        files.names.push_back(name);
        files.checks.push_back(ticked ? 1 : 0);
    }
    std::string Report() { return run.ReportPath().empty() ? "" : ReadBytes(run.ReportPath()); }
};

TEST_F(BatchRunTest, ConvertsTheTickedRowsAndWritesTheReport) {
    AddRow("20080423120000.CSV", ClaimLines(3), true);
    AddRow("20080423120001.CSV", ClaimLines(3), false);
    AddRow("20080423120002.CSV", ClaimLines(2), true);
    EXPECT_EQ(run.ConvertThreadProc(), 1);
    EXPECT_EQ(files.statuses, (std::vector<std::int32_t>{Normal, NotProcessed, Normal}));
    EXPECT_EQ(files.results.size(), 3u);
    EXPECT_EQ(files.results[2].written_count, 2);
    EXPECT_EQ(host.rowTexts, (std::vector<std::string>{"正常", "", "正常"}));
    EXPECT_EQ(host.statusText, "カルデノ　正常終了 (処理時間 0秒)");
    EXPECT_EQ(host.buttonText, "変換(&C)");
    EXPECT_EQ(host.enableHistory, (std::vector<bool>{false, true}));
    EXPECT_EQ(flags.running, 0);
    EXPECT_EQ(host.openedReports, std::vector<std::string>{out / "20080423140509_Result.txt"});
    EXPECT_FALSE(Exists(out / "20080423120001_001.CSV"));
}

TEST_F(BatchRunTest, RecordErrorsDoNotStopTheRun) {
    AddRow("20080423120000.CSV", LineOfFields(3), true);
    AddRow("20080423120001.CSV", ClaimLineWith(0, "12345678901"), true);
    AddRow("20080423120002.CSV", "", true);
    AddRow("20080423120003.CSV", ClaimLines(1), true);
    EXPECT_EQ(run.ConvertThreadProc(), 1);
    EXPECT_EQ(files.statuses, (std::vector<std::int32_t>{ColumnCountError, FieldLengthError, NoData, Normal}));
    EXPECT_EQ(host.rowTexts, (std::vector<std::string>{"カラム数エラー", "桁数エラー（医療機関のコード）",
                                                       "処理対象外（データがありません）", "正常"}));
    EXPECT_NE(Report().find("処 理 結 果 ：正常終了（エラーあり）"), std::string::npos);
}

struct FatalCase {
    const char* name;
    bool abort;  // else a fatal file error
};
// GoogleTest shows a parameter by its name (else as a dump of its bytes).
void PrintTo(const FatalCase& c, std::ostream* os) { *os << c.name; }

class RunEndTest : public BatchRunTest, public ::testing::WithParamInterface<FatalCase> {};

TEST_P(RunEndTest, EndsTheRunAtTheSecondFileWithoutReport) {
    AddRow("20080423120000.CSV", ClaimLines(2), true);
    AddRow("20080423120001.CSV", ClaimLines(200), true);
    AddRow("20080423120002.CSV", ClaimLines(2), true);
    if (GetParam().abort) {
        host.answers = {true};
        host.onProgress = [&](int position) {
            if (position == 50 && files.statuses.size() == 2) flags.abortRequested = 1;
        };
    } else {
        CreateFolderTree(out / "20080423120001_001.CSV");  // cannot be created as a file
    }
    EXPECT_EQ(run.ConvertThreadProc(), 0);
    const std::int32_t second = GetParam().abort ? Aborted : Failed;
    EXPECT_EQ(files.statuses, (std::vector<std::int32_t>{Normal, second}));
    EXPECT_EQ(host.rowTexts, (std::vector<std::string>{"正常", GetParam().abort ? "中断" : "異常"}));
    EXPECT_EQ(host.statusText, GetParam().abort ? "処理を中断しました。" : "カルデノ　異常終了");
    EXPECT_EQ(host.buttonText, "変換(&C)");
    EXPECT_EQ(host.enableHistory.back(), true);
    EXPECT_EQ(flags.running, 0);
    EXPECT_TRUE(run.ReportPath().empty());
    EXPECT_FALSE(Exists(out / "20080423120002_001.CSV"));
}

INSTANTIATE_TEST_SUITE_P(Ends, RunEndTest, ::testing::Values(FatalCase{"Abort", true}, FatalCase{"FileError", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BatchRunTest, AnExceptionMarksTheRowFailedAndShowsTheFatalMessage) {
    // The faulty record's output must be deleted, but the deletion fails.
    AddRow("20080423120000.CSV", ClaimLines(1), true);
    AddRow("20080423120001.CSV", LineOfFields(2), true);
    AddRow("20080423120002.CSV", ClaimLines(1), true);
    const FailingPaths faults(platform::FileOperation::Delete, "20080423120001_001.CSV");
    EXPECT_EQ(run.ConvertThreadProc(), 0);
    EXPECT_EQ(files.statuses, (std::vector<std::int32_t>{Normal, Failed}));
    EXPECT_EQ(host.rowTexts.at(1), "異常");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first, LoadMessage(kMsgFatal));
    EXPECT_EQ(host.messages[0].second, MessageKind::Stop);
    EXPECT_EQ(host.buttonText, "変換(&C)");
    EXPECT_EQ(host.enableHistory.back(), true);
    EXPECT_EQ(flags.running, 0);
    const std::string entry = ReadBytes(log.Path());
    EXPECT_NE(entry.find(" 致命的なエラーが発生したため、 処理を続行することができません。\r\n"), std::string::npos)
        << entry;
}

TEST_F(BatchRunTest, TheControlsComeBackWhenTellingOfAnExceptionFailsToo) {
    // The output cannot be created (a folder holds its name), and the message box that tells of
    // it throws, and so does the one that tells of that exception.
    AddRow("20080423120000.CSV", ClaimLines(1), true);
    CreateFolderTree(out / "20080423120000_001.CSV");
    host.messagesThrow = true;
    EXPECT_EQ(run.ConvertThreadProc(), 0);
    EXPECT_EQ(host.messages.back().first, LoadMessage(kMsgFatal));
    EXPECT_EQ(host.buttonText, "変換(&C)");
    EXPECT_EQ(host.enableHistory.back(), true);
    EXPECT_EQ(host.rowTexts.at(0), "異常");
    EXPECT_EQ(flags.running, 0);
}

TEST_F(BatchRunTest, AReportNameThatIsTakenIsNeverReplaced) {
    // A report of the same second (a folder here) keeps its name; the run takes the next second's.
    AddRow("20080423120000.CSV", ClaimLines(1), true);
    CreateFolderTree(out / "20080423140509_Result.txt");
    WriteBytes(out / "20080423140510_Result.txt.partial", "not ours");
    EXPECT_EQ(run.ConvertThreadProc(), 1);
    EXPECT_EQ(run.ReportPath(), out / "20080423140511_Result.txt");
    EXPECT_NE(ReadBytes(run.ReportPath()).find("2008/04/23 14:05:11"), std::string::npos);
    EXPECT_EQ(ReadBytes(out / "20080423140510_Result.txt.partial"), "not ours");
}

TEST_F(BatchRunTest, AReportThatCannotBeWrittenIsLoggedAndShown) {
    // Without its report the run has published nothing: its outputs go too.
    AddRow("20080423120000.CSV", ClaimLines(1), true);
    const FailingPaths faults(platform::FileOperation::Create, "_Result.txt");
    EXPECT_EQ(run.ConvertThreadProc(), 0);
    EXPECT_TRUE(ListNames(out.Path()).empty());
    EXPECT_EQ(host.messages.at(0).first, "処理結果ファイルの作成に失敗しました。");
    EXPECT_EQ(host.messages.at(0).second, MessageKind::Exclamation);
    EXPECT_EQ(host.statusText, "カルデノ　異常終了");
    EXPECT_EQ(host.rowTexts.at(0), "正常");
    EXPECT_NE(ReadBytes(log.Path()).find("] 処理結果ファイルの作成に失敗しました。\r\n"), std::string::npos);
}

}  // namespace
