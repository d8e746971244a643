// The result report, byte for byte against a hand-checked file (code page 932, CR LF), and the
// checksum manifest beside it.
#include <gtest/gtest.h>

#include "base/mbcs.h"
#include "engine/checksum_manifest.h"
#include "engine/conversion_run.h"
#include "platform/platform.h"
#include "support/paths.h"
#include "tests/test_support.h"

namespace {

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

FileResult Result(std::int64_t read, std::int64_t written, std::int64_t errors, std::int64_t files,
                  const std::string& message = "") {
    FileResult result;
    result.read_count = read;
    result.written_count = written;
    result.error_count = errors;
    result.file_count = files;
    result.message = message;
    return result;
}

class ResultReportTest : public ::testing::Test, protected RunFixture {
protected:
    // The rows are made up: no output was written, so none has a digest for a manifest.
    ResultReportTest() { run.SetChecksums(false); }
    void AddRow(const std::string& name, bool ticked, std::int32_t status, const FileResult& result) {
        files.names.push_back(name);
        files.checks.push_back(ticked ? 1 : 0);
        files.statuses.push_back(status);
        files.results.push_back(result);
    }
};

TEST_F(ResultReportTest, MatchesTheExpectedFileByteForByte) {
    AddRow("20080423120000.CSV", true, Normal, Result(1500, 1500, 0, 3));
    AddRow("20080423120001.CSV", false, NotProcessed, Result(0, 0, 0, 0));
    AddRow("20080423120002.CSV", true, ColumnCountError, Result(5, 0, 1, 0));
    AddRow("20080423120003.CSV", true, NoData, Result(0, 0, 1, 0, "処理対象外（データがありません）"));
    AddRow("20080423120004.CSV", true, FieldLengthError, Result(2, 0, 1, 0, "桁数エラー（性別）"));
    AddRow("20080423120005.CSV", false, NotProcessed, Result(0, 0, 0, 0));  // last row not ticked

    ASSERT_EQ(run.WriteResultReport(), 1);
    const std::string path = out / "20080423140509_Result.txt";
    EXPECT_EQ(run.ReportPath(), path);
    EXPECT_EQ(host.openedReports, std::vector<std::string>{path});
    std::string expected = ReadBytes(std::string(TEST_DATA_DIR) + "/result_report.txt");
    const std::string separator(1, platform::kPathSeparator);
    expected = ReplaceAll(expected, "{IN}", in.Path() + separator);
    expected = ReplaceAll(expected, "{OUT}", out.Path() + separator);
    EXPECT_EQ(ReadBytes(path), expected);
    EXPECT_EQ(ListNames(out.Path()), std::vector<std::string>{"20080423140509_Result.txt"});  // no temporary
}

TEST_F(ResultReportTest, NoEmptyLineAfterTheLastRowAndNoErrorsInTheHeader) {
    AddRow("20080423120000.CSV", true, Normal, Result(1, 1, 0, 1));
    AddRow("20080423120001.CSV", true, Normal, Result(3000000000, 3000000000, 0, 1));  // beyond 32 bits
    ASSERT_EQ(run.WriteResultReport(), 1);
    const std::string report = ReadBytes(run.ReportPath());
    EXPECT_NE(report.find("処 理 結 果 ：正常終了（エラーなし）\r\n\r\n====="), std::string::npos);
    EXPECT_NE(report.find("正常終了（エラーなし）\r\n\r\n=====" + std::string(73, '=') + "\r\n  20080423120001.CSV"),
              std::string::npos);
    const std::string ending = "：[ OUT ] 3000000000\r\n処 理 結 果 ：正常終了（エラーなし）\r\n";
    EXPECT_EQ(report.substr(report.size() - ending.size()), ending);
}

TEST_F(ResultReportTest, AnOutputFolderThatIsMissingGivesNoReport) {
    host.outputFolder = out / "missing";
    AddRow("20080423120000.CSV", true, Normal, Result(1, 1, 0, 1));
    EXPECT_EQ(run.WriteResultReport(), 0);
    EXPECT_TRUE(host.openedReports.empty());
}

TEST(ChecksumManifestTest, ReadsWhatItWritesAndNothingElse) {
    // SHA-256 of "abc", FIPS 180-4's example, as sha256sum prints it.
    const std::string hex = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    const std::string line = hex + "  20081207120000_001.CSV\r\n";
    const std::string manifest =
        ComposeManifest({{"20081207120000_001.CSV", DigestOf("abc")}, {"20081207120000_Result.txt", DigestOf("")}});
    EXPECT_EQ(manifest.substr(0, line.size()), line);
    const ParsedManifest parsed = ParseManifest(manifest);
    EXPECT_EQ(parsed.fault, "");
    ASSERT_EQ(parsed.entries.size(), 2u);
    EXPECT_EQ(parsed.entries[0].digest, DigestOf("abc"));
    EXPECT_EQ(parsed.entries[1].name, "20081207120000_Result.txt");
    EXPECT_EQ(ManifestPathFor(JoinPath("disc", "20081207120000_Result.txt")),
              JoinPath("disc", "20081207120000_Result.sha256"));
    const struct {
        const char* name;
        std::string text;
    } refused[] = {
        {"Empty", ""},
        {"LastLineWithoutCrLf", line + hex + "  20081207120000_002.CSV"},
        {"LfAlone", hex + "  20081207120000_001.CSV\n"},
        {"UpperCaseHex", ToUpperAscii(hex) + "  20081207120000_001.CSV\r\n"},
        {"BinaryMark", hex + " *20081207120000_001.CSV\r\n"},
        {"DigestOf63Digits", hex.substr(1) + "  20081207120000_001.CSV\r\n"},
        {"NoName", hex + "  \r\n"},
        {"Folder", hex + "  out/20081207120000_001.CSV\r\n"},
        {"UpFolder", hex + "  ..\\20081207120000_001.CSV\r\n"},
        {"DotDot", hex + "  ..\r\n"},
        {"ControlByte", hex + "  20081207120000_001.CSV\x7F\r\n"},
        {"Stream", hex + "  20081207120000_001.CSV:x\r\n"},
        {"TrailingDot", hex + "  20081207120000_001.CSV.\r\n"},
        {"TwiceApartFromCase", line + hex + "  20081207120000_001.csv\r\n"},
    };
    for (const auto& c : refused) {
        const ParsedManifest refusal = ParseManifest(c.text);
        EXPECT_NE(refusal.fault, "") << c.name;
        EXPECT_TRUE(refusal.entries.empty()) << c.name;
    }
}

}  // namespace
