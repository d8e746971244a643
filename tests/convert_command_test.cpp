// The convert/abort button without a window: the order of a press's effects, the states of the
// button and the run flags around the worker's start, the abort request, a worker that cannot be
// started, and the guard that turns an exception into the fatal-error message.
#include "ui/convert_command.h"

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>

#include "base/file_error.h"
#include "engine/messages.h"
#include "platform/platform.h"
#include "support/paths.h"
#include "tests/scripted_services.h"
#include "tests/test_support.h"

namespace {

class FakeView : public IConvertView {
public:
    std::string inputFolder;
    std::string outputFolder;
    std::vector<int> checkStates;
    std::string statusText = "カルデノ　正常終了 (処理時間 0秒)";
    int progress = 100;
    std::vector<std::pair<std::string, std::vector<std::string>>> fills;
    int rowClears = 0;
    std::string buttonText = "変換(&C)";
    std::vector<bool> enableHistory;
    std::function<void()> runBody = [] {};
    bool fillThrows = false;

    std::string InputFolderText() override { return inputFolder; }
    std::string OutputFolderText() override { return outputFolder; }
    std::vector<int> CheckStates() override { return checkStates; }
    void SetStatusText(const std::string& text) override { statusText = text; }
    void SetProgress(int position) override { progress = position; }
    void FillFileList(const std::string& folder, const std::vector<std::string>& names) override {
        if (fillThrows) throw FileError("サイズ取得", JoinPath(folder, names.at(0)), 5, "");
        fills.emplace_back(folder, names);
    }
    void ClearRowStatuses() override { ++rowClears; }
    void SetConvertButtonText(const std::string& text) override { buttonText = text; }
    void EnableControls(bool enable) override { enableHistory.push_back(enable); }
    void RunConversion() override { runBody(); }
};

class ConvertCommandTest : public ::testing::Test {
protected:
    ConvertCommandTest() : command(view, services, files, flags, log) {
        CreateFolderTree(logDir.Path());
        log.InitLog(logDir.Path());
        WriteBytes(in / "20080423120000.csv", ClaimLines(1));
        WriteBytes(in / "20080423120001.csv", ClaimLines(1));
        view.inputFolder = in.Path();
        view.outputFolder = out.Path();
        view.checkStates = {1, 0};
        files.folder = in.Path();
        files.names = {"20080423120000.CSV", "20080423120001.CSV"};
        files.statuses = {Normal, NotProcessed};
        files.results.resize(2);
    }

    // Waits (a few seconds at most) for the worker to have made its last call.
    bool WaitForRunEnd() {
        for (int i = 0; i < 500 && command.RunActive(); ++i) platform::SleepMilliseconds(10);
        return !command.RunActive();
    }
    std::string LogText() { return Exists(log.Path()) ? ReadBytes(log.Path()) : ""; }

    TempDir in;
    TempDir out;
    TempDir logDir;
    FakeView view;
    ScriptedServices services;
    InputFileStore files;
    RunFlags flags;
    CLogFile log{kLogSource};
    CConvertCommand command;
};

TEST_F(ConvertCommandTest, ARefusedPressResetsTheStatusAndShowsOnlyItsMessage) {
    view.inputFolder.clear();
    view.outputFolder.clear();
    command.OnConvert();
    ASSERT_EQ(services.Messages().size(), 1u);
    EXPECT_EQ(services.Messages()[0].text, "読込みフォルダを指定してください。");
    EXPECT_EQ(services.Messages()[0].kind, MessageKind::Exclamation);
    EXPECT_EQ(view.statusText, "");
    EXPECT_EQ(view.progress, 0);
    EXPECT_TRUE(view.fills.empty());
    EXPECT_EQ(view.buttonText, "変換(&C)");
    EXPECT_EQ(services.ThreadsStarted(), 0);
    EXPECT_EQ(files.statuses.size(), 2u);  // emptied only once every check has passed
}

TEST_F(ConvertCommandTest, AFolderThatNoLongerMatchesTheListRefillsIt) {
    WriteBytes(in / "20080423120002.csv", ClaimLines(1));
    command.OnConvert();
    ASSERT_EQ(services.Messages().size(), 1u);
    EXPECT_EQ(services.Messages()[0].text, LoadMessage(kMsgListMismatch));
    ASSERT_EQ(view.fills.size(), 1u);
    EXPECT_EQ(view.fills[0].first, in.Path());
    EXPECT_EQ(view.fills[0].second.size(), 3u);
}

TEST_F(ConvertCommandTest, NoToTheConfirmationStartsNothing) {
    services.AddAnswers({false});
    command.OnConvert();
    ASSERT_EQ(services.Messages().size(), 1u);
    EXPECT_EQ(services.Messages()[0].text, "変換処理を実行します。\nよろしいですか？");
    EXPECT_EQ(services.Messages()[0].kind, MessageKind::Question);
    EXPECT_TRUE(files.statuses.empty());
    EXPECT_TRUE(files.results.empty());
    EXPECT_EQ(files.checks, (std::vector<std::int32_t>{1, 0}));
    EXPECT_EQ(view.rowClears, 0);
    EXPECT_EQ(view.buttonText, "変換(&C)");
    EXPECT_EQ(flags.running, 0);
    EXPECT_EQ(services.ThreadsStarted(), 0);
    EXPECT_FALSE(command.RunActive());
}

TEST_F(ConvertCommandTest, ARunIsActiveBeforeItsWorkerActsAndASecondPressOnlyAsksToAbort) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    view.runBody = [&] { released.wait(); };
    flags.abortRequested = 1;  // left over from an earlier run
    services.AddAnswers({true});

    command.OnConvert();
    EXPECT_EQ(view.rowClears, 1);
    EXPECT_EQ(view.buttonText, "中断(&C)");
    EXPECT_EQ(flags.running, 1);
    EXPECT_EQ(flags.abortRequested, 0);
    EXPECT_EQ(view.enableHistory, std::vector<bool>{false});
    EXPECT_TRUE(command.RunActive());

    command.OnConvert();  // before the worker's first act
    EXPECT_EQ(flags.abortRequested, 1);
    EXPECT_EQ(services.ThreadsStarted(), 1);
    EXPECT_EQ(services.Messages().size(), 1u);  // no second confirmation either

    release.set_value();
    ASSERT_TRUE(WaitForRunEnd());
    flags.running = 0;  // as the worker's end of the run leaves it
    services.AddAnswers({true});
    command.OnConvert();  // the next run starts and clears the old request
    EXPECT_EQ(services.ThreadsStarted(), 2);
    EXPECT_EQ(flags.abortRequested, 0);
    ASSERT_TRUE(WaitForRunEnd());
}

TEST_F(ConvertCommandTest, AWorkerThatCannotStartIsReportedAndLeavesTheButtonReady) {
    services.failThreadStart = true;
    services.AddAnswers({true});
    command.OnConvert();
    const auto messages = services.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, LoadMessage(kMsgFatal));
    EXPECT_EQ(messages[1].kind, MessageKind::Stop);
    EXPECT_EQ(view.buttonText, "変換(&C)");
    EXPECT_EQ(view.enableHistory, (std::vector<bool>{false, true}));
    EXPECT_EQ(flags.running, 0);
    EXPECT_FALSE(command.RunActive());
    EXPECT_NE(LogText().find("スレッドの起動"), std::string::npos);
    EXPECT_NE(LogText().find(" 致命的なエラーが発生したため、 処理を続行することができません。\r\n"),
              std::string::npos);
}

TEST_F(ConvertCommandTest, AnExceptionIsLoggedAndShownAsTheFatalError) {
    WriteBytes(in / "20080423120002.csv", ClaimLines(1));
    view.fillThrows = true;
    command.OnConvert();
    const auto messages = services.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, LoadMessage(kMsgListMismatch));
    EXPECT_EQ(messages[1].text, LoadMessage(kMsgFatal));
    EXPECT_EQ(messages[1].kind, MessageKind::Stop);
    const std::string entry = LogText();
    EXPECT_NE(entry.find("(TolvarenquistaDlg)"), std::string::npos) << entry;
    EXPECT_NE(entry.find("サイズ取得"), std::string::npos) << entry;
}

}  // namespace
