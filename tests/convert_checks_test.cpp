// The input-folder scan and the checks before a run, in their order, with their exact messages.
#include <gtest/gtest.h>

#include <algorithm>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "base/mbcs.h"
#include "engine/convert_checks.h"
#include "engine/messages.h"
#include "support/paths.h"
#include "tests/test_support.h"

namespace {

TEST(ScanInputFolderTest, KeepsFourteenDigitNamesUpperCased) {
    TempDir dir;
    for (const char* name : {"20080423120001.csv", "20080423120000_001.CSV", "abc.csv", "2008042312000.csv",
                             "20080423120002.txt", "20080423120000.CSV"}) {
        WriteBytes(dir / name, "x");
    }
    CreateFolderTree(dir / "20080423120003.csv");  // a folder named like a claim file is no file
    CreateFolderTree(dir / "sub");
    WriteBytes(JoinPath(dir / "sub", "20080423120009.csv"), "x");  // subfolders are not searched
#ifndef _WIN32
    mkfifo((dir / "20080423120004.csv").c_str(), 0600);  // nor is a FIFO, which would hang a read
#endif
    EXPECT_EQ(ScanInputFolder(dir.Path()), (std::vector<std::string>{"20080423120000.CSV", "20080423120001.CSV"}));
}

TEST(ScanInputFolderTest, NamesThatDifferOnlyInCaseAreLeftOutTogether) {
    TempDir dir;
    WriteBytes(dir / "20080423120000.CSV", "x");
    WriteBytes(dir / "20080423120000.csv", "y");
    WriteBytes(dir / "20080423120001.csv", "z");
    if (ListNames(dir.Path()).size() != 3) GTEST_SKIP() << "the file system does not tell case apart";
    std::vector<std::string> ambiguous;
    EXPECT_EQ(ScanInputFolder(dir.Path(), &ambiguous), std::vector<std::string>{"20080423120001.CSV"});
    EXPECT_EQ(ambiguous, std::vector<std::string>{"20080423120000.CSV"});
}

class ConvertChecksTest : public ::testing::Test {
protected:
    ConvertChecksTest() {
        WriteBytes(in / "20080423120000.csv", ClaimLines(1));
        WriteBytes(in / "20080423120001.csv", ClaimLines(1));
        files.folder = in.Path();
        files.names = ScanInputFolder(in.Path());
        CreateFolderTree(out / "ok");
    }
    ConvertCheck Check(const std::string& input, const std::string& output, std::vector<int> states = {1, 1}) {
        return CheckConvertRequest(input, output, files, states, protectedFolders);
    }

    TempDir in;
    TempDir out;
    InputFileStore files;
    std::vector<std::string> protectedFolders;
};

TEST_F(ConvertChecksTest, RefusesInTheirOrderWithTheirMessages) {
    protectedFolders = {out / "Prog", out / "WIN"};
    CreateFolderTree(out / "Prog (x86)");
    CreateFolderTree(out / "win");
    const std::string missing = out / "missing";
    struct Case {
        std::string input, output;
        std::string text;
    } cases[] = {
        {"", "", "読込みフォルダを指定してください。"},
        {missing, "", "読込みフォルダが存在しません。"},
        {in.Path(), "", "出力フォルダを指定してください。"},
        {in.Path(), missing, "出力フォルダが存在しません。"},
        {in.Path(), in.Path(), "読込みフォルダと出力フォルダに同じフォルダを指定することはできません。"},
        {in.Path(), out / "Prog (x86)", "出力フォルダに\n管理者権限領域のフォルダは指定できません。"},
        {in.Path(), out / "win", "出力フォルダに\n管理者権限領域のフォルダは指定できません。"},
    };
    for (const Case& c : cases) {
        const ConvertCheck check = Check(c.input, c.output);
        EXPECT_EQ(check.outcome, CheckOutcome::Refused) << c.text;
        EXPECT_EQ(check.text, c.text);
    }
    EXPECT_EQ(Check(in.Path(), out / "ok").outcome, CheckOutcome::Ready);
}

TEST_F(ConvertChecksTest, AnUnknownSystemFolderRefusesNothing) {
    protectedFolders = {""};  // a known folder that could not be looked up
    EXPECT_EQ(Check(in.Path(), out / "ok").outcome, CheckOutcome::Ready);
}

TEST_F(ConvertChecksTest, FoldersDifferingOnlyInCaseAreNotTheSame) {
    const ConvertCheck check = Check(in.Path(), ToUpperAscii(in.Path()));
    EXPECT_NE(check.messageId, kMsgSameFolder);
}

TEST_F(ConvertChecksTest, AChangedFolderRefillsTheList) {
    std::reverse(files.names.begin(), files.names.end());  // the same names in another order pass
    EXPECT_EQ(Check(in.Path(), out / "ok").outcome, CheckOutcome::Ready);

    WriteBytes(in / "20080423120002.csv", ClaimLines(1));
    ConvertCheck check = Check(in.Path(), out / "ok");
    EXPECT_EQ(check.outcome, CheckOutcome::RefusedRefill);
    EXPECT_EQ(check.messageId, kMsgListMismatch);
    EXPECT_EQ(check.scanned.size(), 3u);

    files.names = {"20080423120000.CSV", "20080423129999.CSV", "20080423120002.CSV"};
    EXPECT_EQ(Check(in.Path(), out / "ok").messageId, kMsgListMismatch);

    TempDir empty;
    check = Check(empty.Path(), out / "ok");
    EXPECT_EQ(check.outcome, CheckOutcome::RefusedRefill);
    EXPECT_EQ(check.text, "読込みフォルダに処理対象のファイルが存在しません。");
}

TEST_F(ConvertChecksTest, OutputsOfTickedFilesMustNotExist) {
    const std::string folder = out / "ok";
    WriteBytes(JoinPath(folder, "20080423120001_001.csv"), "");
    // Only the unticked file has an output: that does not matter.
    EXPECT_EQ(Check(in.Path(), folder, {1, 0}).outcome, CheckOutcome::Ready);
    const ConvertCheck check = Check(in.Path(), folder, {1, 1});
    EXPECT_EQ(check.messageId, kMsgOutputExists);
    EXPECT_EQ(files.checks, (std::vector<std::int32_t>{1, 1}));
    EXPECT_EQ(Check(in.Path(), folder, {0, 0}).text, "カルデノを行うファイルを選択してください。");
}

}  // namespace
