// The command line, run in-process on temporary folders: exit statuses, messages, outputs, report.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/checksum_manifest.h"
#include "engine/messages.h"
#include "engine/record_layout.h"
#include "engine/report_verifier.h"
#include "engine/result_report.h"
#include "platform/platform.h"
#include "support/paths.h"
#include "tests/test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

class CliTest : public ::testing::Test {
protected:
    CliTest() {
        ResetInterrupt();
        context.write = [this](platform::Stream stream, const std::string& text) {
            (stream == platform::Stream::Out ? out : err) += text;
            if (onWrite) onWrite(text);
        };
        context.clock = &clock;
        context.defaultLogFolder = logs / "Tolvarenquista";
        WriteBytes(in / "20080423120000.csv", ClaimLines(5));
        WriteBytes(in / "20080423120001.csv", ClaimLines(3));
    }
    ~CliTest() override { ResetInterrupt(); }

    int Run(std::vector<std::string> args) {
        out.clear();
        err.clear();
        return RunCli(args, context);
    }
    int Convert(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"convert", "--input", in.Path(), "--output", dest.Path()};
        args.insert(args.end(), extra.begin(), extra.end());
        return Run(args);
    }
    std::vector<std::string> Outputs() { return ListNames(dest.Path()); }

    TempDir in;
    TempDir dest;
    TempDir logs;
    FakeClock clock;
    CliContext context;
    std::string out;
    std::string err;
    std::function<void(const std::string&)> onWrite;
};

TEST_F(CliTest, ConvertsEveryFileAndPrintsTheReportPath) {
    EXPECT_EQ(Convert(), kExitOk) << err;
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"20080423120000_001.CSV", "20080423120001_001.CSV",
                                                   "20080423140509_Result.sha256", "20080423140509_Result.txt"}));
    EXPECT_EQ(out, (dest / "20080423140509_Result.txt") + "\n");
    EXPECT_NE(err.find("20080423120001.CSV: 正常 (3 レコード、"), std::string::npos) << err;
    EXPECT_NE(err.find("カルデノ　正常終了 (処理時間 0秒)\n"), std::string::npos);
}

TEST_F(CliTest, SelftestPassesAndPrintsTheFingerprintEveryBuildShares) {
    // The fingerprint was worked out apart from this program (Python's hmac and hashlib over the
    // key, the tabulated full-width facts and the known identities); the Windows build must print
    // the same one.
    EXPECT_EQ(Run({"selftest"}), kExitOk);
    EXPECT_EQ(out.find("FAILED"), std::string::npos) << out;
    const std::string last = "fingerprint: 1DBEB3FAF2E1241448418F8B29E9E6455CA759FA9846C4733C580AD409F102DC\n";
    ASSERT_GE(out.size(), last.size());
    EXPECT_EQ(out.substr(out.size() - last.size()), last);
    EXPECT_EQ(Run({"selftest", "extra"}), kExitUsage);
}

TEST_F(CliTest, CheckNamesEveryFaultyRecordByItsLine) {
    // Faults on both sides of the first chunk boundary (byte 1,024), after blank and comment
    // lines, a NUL byte, and a line longer than a chunk, which is named once.
    const std::string faulty = "# header\r\n\r\n" + ClaimLines(3) + LineOfFields(15) + ClaimLines(8) +
                               ClaimLineWith(2, "123456789") +
                               std::string(
                                   "1,2\0"
                                   "3\r\n",
                                   7) +
                               std::string(1100, ',') + "\r\n" + ClaimLines(1);
    WriteBytes(in / "20080423120002.csv", faulty);
    WriteBytes(in / "20080423120003.csv", "");
    const std::vector<std::string> before = ListNames(in.Path());
    const std::string all =
        "20080423120002.CSV:6: カラム数エラー (項目数 15)\n"
        "20080423120002.CSV:15: 桁数エラー（保険者番号） (9 バイト、最大 8 バイト)\n"
        "20080423120002.CSV:16: カラム数エラー (NUL バイト)\n"
        "20080423120002.CSV:17: カラム数エラー (項目数 1025)\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;
    } cases[] = {
        {{"20080423120000.csv"}, kExitOk, ""},
        {{"20080423120002.CSV"}, kExitFileErrors, all},
        {{"20080423120002.CSV", "--max-errors", "1"},
         kExitFileErrors,
         "20080423120002.CSV:6: カラム数エラー (項目数 15)\n"},
        {{"20080423120003.CSV"}, kExitFileErrors, "20080423120003.CSV: 処理対象外（データがありません）\n"},
        {{"20089999999999.CSV"}, kExitRefused, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"check", "--input", in.Path()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(Run(args), c.status) << c.args[0];
        EXPECT_EQ(out, c.out) << c.args[0];
    }
    EXPECT_EQ(Run({"check", "--input", in.Path(), "20080423120002.CSV"}), kExitFileErrors);
    EXPECT_EQ(err, "20080423120002.CSV: レコード 16 件、エラー 4 件\n");  // 12 + 4, the long line one record
    EXPECT_EQ(Run({"check", "--input", in / "missing"}), kExitRefused);
    EXPECT_EQ(ListNames(in.Path()), before);  // nothing written: no output, no log
    EXPECT_FALSE(Exists(context.defaultLogFolder));
}

TEST_F(CliTest, VerifyChecksACopiedDiscAgainstTheReport) {
    // Two records a file: 20080423120000 (5 records) gives three files, 20080423120001 (3) two.
    ASSERT_EQ(Convert({"--quiet", "--split-bytes", std::to_string(kRecordCharge * 2 + 1)}), kExitOk);
    const std::string report = out.substr(0, out.size() - 1);
    const std::string reportName = report.substr(report.rfind(platform::kPathSeparator) + 1);
    const std::string manifestName = "20080423140509_Result.sha256";
    // A run that rejected an input: the report and the output of the other input it converted.
    TempDir rejectingRun;
    WriteBytes(in / "20080423120002.csv", LineOfFields(15));
    ASSERT_EQ(Run({"convert", "--input", in.Path(), "--output", rejectingRun.Path(), "--quiet", "20080423120001.csv",
                   "20080423120002.csv"}),
              kExitFileErrors);

    const std::string first = "20080423120000_002.CSV";  // the middle one of three
    const std::vector<std::string> outputs1 = {"20080423120001_001.CSV", "20080423120001_002.CSV"};
    const std::string ok0 = "20080423120000.CSV: OK（出力ファイル 3、レコード 5）\n";
    const std::string ok1 = "20080423120001.CSV: OK（出力ファイル 2、レコード 3）\n";
    const auto differs = [](const std::string& name) {
        return name + ": 内容が報告時と異なります（SHA-256 不一致）\n";
    };
    const auto ng = [](int problems) { return "確認結果：NG（問題 " + std::to_string(problems) + " 件）\n"; };
    // The files a damaged report no longer lists: named by the manifest, and on the disc.
    const auto unlisted = [](const std::vector<std::string>& names) {
        std::string lines;
        for (const std::string& name : names) {
            lines += name + ": 処理結果ファイルに記載のないファイルが、チェックサムファイルに記載されています\n";
        }
        for (const std::string& name : names) lines += name + ": 処理結果ファイルに記載のない出力ファイルです\n";
        return lines;
    };
    // The copied report with the last `from` in it replaced by `to`; cut short there when to is absent.
    const auto editReport = [&](const std::string& from, const char* to) {
        return [=](const TempDir& disc) {
            std::string text = ReadBytes(disc / reportName);
            const std::size_t at = text.rfind(from);
            ASSERT_NE(at, std::string::npos) << from;
            WriteBytes(disc / reportName, to == nullptr ? text.substr(0, at) : text.replace(at, from.size(), to));
        };
    };
    // The first byte of a field of first's first record changed into another of its kind.
    const auto changeByte = [&](int field, char (*into)(char)) {
        return [=](const TempDir& disc) {
            std::string text = ReadBytes(disc / first);
            std::size_t at = 0;
            for (int i = 0; i < field; ++i) at = text.find(',', at) + 1;
            text[at] = into(text[at]);
            WriteBytes(disc / first, text);
        };
    };
    const struct {
        const char* name;
        std::function<void(const TempDir&)> damage;
        int status;
        std::string out;  // all of it; with reasonFollows, its beginning (the system's words follow)
        bool reasonFollows = false;
    } cases[] = {
        {"Intact", [](const TempDir&) {}, kExitOk, ok0 + ok1 + "確認結果：OK（出力ファイル 5、レコード 8）\n"},
        {"LostRecordInAMiddleFile",
         [&](const TempDir& disc) {
             const std::string text = ReadBytes(disc / first);
             WriteBytes(disc / first, text.substr(0, text.find("\r\n") + 2));
         },
         kExitFileErrors,
         differs(first) +
             "20080423120000.CSV: レコード件数が処理結果ファイルと異なります"
             "（出力ファイル 3 に 4 件、処理結果ファイルでは 5 件）\n" +
             ok1 + ng(2)},
        {"DamagedReference",
         [&](const TempDir& disc) {
             std::string text = ReadBytes(disc / first);
             std::size_t comma = 0;
             for (int i = 0; i < 3; ++i) comma = text.find(',', comma + 1);
             text[comma + 1] = 'g';  // the first digit of the reference
             WriteBytes(disc / first, text);
         },
         kExitFileErrors,
         differs(first) + first + ": 1 行目：被保険者証記号・被保険者証番号が整理番号の形ではありません\n" + ok1 +
             ng(2)},
        // One byte that keeps the record's shape: only the digest tells.
        {"DateDigitChanged", changeByte(5, [](char c) { return c == '1' ? '2' : '1'; }), kExitFileErrors,
         differs(first) + ok1 + ng(1)},
        {"SexSetTo0xFF", changeByte(6, [](char) { return '\xFF'; }), kExitFileErrors, differs(first) + ok1 + ng(1)},
        {"ReferenceHexDigitChanged", changeByte(3, [](char c) { return c == 'A' ? 'B' : 'A'; }), kExitFileErrors,
         differs(first) + ok1 + ng(1)},
        {"MissingFile", [&](const TempDir& disc) { platform::RemoveFile(disc / first); }, kExitFileErrors,
         first + ": ファイルがありません\n" + ok1 + ng(1)},
        {"OneLineOf10MB", [&](const TempDir& disc) { WriteBytes(disc / first, std::string(10'000'000, '0')); },
         kExitFileErrors, differs(first) + first + ": 1 行目：4,096 バイトを超える行です\n" + ok1 + ng(2)},
        {"ExtraDuplicateFile",
         [&](const TempDir& disc) { WriteBytes(disc / "20080423120000_004.CSV", ReadBytes(disc / first)); },
         kExitFileErrors, ok0 + ok1 + "20080423120000_004.CSV: 処理結果ファイルに記載のない出力ファイルです\n" + ng(1)},
        {"StrayPartialFile", [&](const TempDir& disc) { WriteBytes(disc / "20080423120001_003.CSV.partial", ""); },
         kExitFileErrors,
         ok0 + ok1 + "20080423120001_003.CSV.partial: 書込みの終わっていない一時ファイルです\n" + ng(1)},
        {"RejectedInput",
         [&](const TempDir& disc) {
             for (const std::string& name : ListNames(disc.Path())) platform::RemoveFile(disc / name);
             for (const std::string& name : ListNames(rejectingRun.Path())) {
                 WriteBytes(disc / name, ReadBytes(rejectingRun / name));
             }
         },
         kExitFileErrors,
         "20080423120001.CSV: OK（出力ファイル 1、レコード 3）\n"
         "20080423120002.CSV: 出力のない入力ファイルです（処理結果：カラム数エラー）\n" +
             ng(1)},
        {"OlderRunWithoutManifest", [&](const TempDir& disc) { platform::RemoveFile(disc / manifestName); },
         kExitFileErrors,
         reportName + ": チェックサムファイル " + manifestName +
             " がないため、内容は証明できません（レコードの形と件数だけを確かめます）\n"
             "20080423120000.CSV: レコードの形と件数は正常、内容は未証明（出力ファイル 3、レコード 5）\n"
             "20080423120001.CSV: レコードの形と件数は正常、内容は未証明（出力ファイル 2、レコード 3）\n" +
             ng(1)},
        {"ManifestListsAFileTheReportDoesNot",
         [&](const TempDir& disc) {
             WriteBytes(disc / manifestName,
                        ReadBytes(disc / manifestName) + ComposeManifest({{"20080423120002_001.CSV", DigestOf("")}}));
         },
         kExitFileErrors,
         ok0 + ok1 +
             "20080423120002_001.CSV: "
             "処理結果ファイルに記載のないファイルが、チェックサムファイルに記載されています\n" +
             ng(1)},
        {"ReportCutBetweenInputs", editReport(std::string(78, '=') + "\r\n  20080423120001.CSV\r\n", nullptr),
         kExitFileErrors, differs(reportName) + ok0 + unlisted(outputs1) + ng(5)},
        {"ReportCutAfterItsHeader", editReport(std::string(78, '=') + "\r\n  20080423120000.CSV\r\n", nullptr),
         kExitFileErrors,
         differs(reportName) + reportName + ": 入力ファイルの記載がありません\n" +
             unlisted({"20080423120000_001.CSV", "20080423120000_002.CSV", "20080423120000_003.CSV", outputs1[0],
                       outputs1[1]}) +
             ng(12)},
        {"ReportCutInsideAnInput", editReport("処 理 結 果 ：", nullptr), kExitFileErrors,
         differs(reportName) + ok0 +
             "20080423120001.CSV: "
             "処理結果ファイルで、レコード件数の後の処理結果の行がありません（途中で切れています）\n" +
             ng(2)},
        {"ReportCutInsideAHeading", editReport("  20080423120001.CSV\r\n", nullptr), kExitFileErrors,
         differs(reportName) + reportName + ": 21 行目で入力ファイルの見出しが途切れています\n" + ok0 +
             unlisted(outputs1) + ng(6)},
        {"CountOf23Digits", editReport("：[ OUT ] 5\r\n", "：[ OUT ] 12345678901234567890123\r\n"), kExitFileErrors,
         differs(reportName) + "20080423120000.CSV: 処理結果ファイルの出力のレコード件数が 18 桁を超えています\n" +
             ok1 + ng(2)},
        {"OutputPathEndingInDotDot", editReport(first + "\r\n", "..\\..\r\n"), kExitFileErrors,
         differs(reportName) + "20080423120000.CSV: 処理結果ファイルに、ファイル名で終わらない出力のパスがあります\n" +
             ok1 + unlisted({first}) + ng(4)},
        {"ReportOf17MiBOfZeros",
         [&](const TempDir& disc) { WriteBytes(disc / reportName, std::string(17 << 20, '\0')); }, kExitRefused, ""},
#ifndef _WIN32
        {"OutputLinkedFromOutside",
         [&](const TempDir& disc) {
             platform::RemoveFile(disc / first);
             std::filesystem::create_symlink(platform::Cp932ToUtf8(dest / first), platform::Cp932ToUtf8(disc / first));
         },
         kExitFileErrors, first + ": 通常のファイルとして開けません（", true},
        {"ReportIsAFifo",
         [&](const TempDir& disc) {
             platform::RemoveFile(disc / reportName);
             ASSERT_EQ(mkfifo(platform::Cp932ToUtf8(disc / reportName).c_str(), 0600), 0);
         },
         kExitRefused, ""},
#endif
    };
    for (const auto& c : cases) {
        TempDir disc;
        for (const std::string& name : ListNames(dest.Path())) WriteBytes(disc / name, ReadBytes(dest / name));
        c.damage(disc);
        EXPECT_EQ(Run({"verify", disc / reportName}), c.status) << c.name;
        EXPECT_EQ(c.reasonFollows ? out.substr(0, c.out.size()) : out, c.out) << c.name;
    }
    // The files elsewhere than the report; a file that is no report.
    TempDir disc;
    EXPECT_EQ(Run({"verify", report, "--folder", disc.Path()}), kExitFileErrors);
    EXPECT_EQ(Run({"verify", dest / "20080423120000_001.CSV"}), kExitRefused);
    EXPECT_EQ(Run({"verify", dest / "missing.txt"}), kExitRefused);
    // As a dialog's worker runs it: the progress goes up to the bytes to read, and stopping it
    // leaves a verification that says so and never passes.
    std::vector<std::uint64_t> done;
    std::uint64_t total = 0;
    const VerifyWatch watch = {[&](std::uint64_t bytes, std::uint64_t of) {
                                   done.push_back(bytes);
                                   total = of;
                               },
                               {}};
    EXPECT_TRUE(VerifyReport(report, "", watch).Passed());
    std::uint64_t toRead = FileSize(report);
    for (const std::string& name : Outputs()) toRead += name.ends_with(".CSV") ? FileSize(dest / name) : 0;
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    EXPECT_EQ(done.empty() ? 0 : done.back(), toRead);
    EXPECT_EQ(total, toRead);
    const ReportVerification stopped = VerifyReport(report, "", {{}, [&] { return true; }});
    EXPECT_TRUE(stopped.aborted);
    EXPECT_FALSE(stopped.Passed());
    ASSERT_FALSE(stopped.findings.empty());
    EXPECT_EQ(stopped.findings.back().kind, FindingKind::Aborted);
    EXPECT_EQ(VerificationSummary(stopped), "確認結果：中断（最後まで確認していません）");
}

TEST_F(CliTest, QuietPrintsOnlyThePath) {
    EXPECT_EQ(Convert({"--quiet"}), kExitOk);
    EXPECT_EQ(err, "");
}

TEST_F(CliTest, NamesChooseFilesWithoutRegardToCase) {
    EXPECT_EQ(Convert({"20080423120001.csv"}), kExitOk);
    EXPECT_EQ(Outputs().size(), 3u);  // one output, the report and its manifest
    EXPECT_EQ(Convert({"20080423120000.CSV", "--quiet"}), kExitOk);
    EXPECT_EQ(Convert({"20089999999999.CSV"}), kExitRefused);
}

TEST_F(CliTest, ExitStatusesAndMessages) {
    const std::string missing = in / "missing";
    // A usage error says what is wrong, what may have been meant, and where the help is.
    const auto usage = [](const std::string& text, const std::string& help) {
        return "tolvarenquista: " + text + "\n詳しくは 'tolvarenquista " + help + "--help' を見てください。\n";
    };
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{"convert", "--output", dest.Path()}, kExitRefused, "読込みフォルダを指定してください。\n"},
        {{"convert", "--input", missing, "--output", dest.Path()}, kExitRefused, "読込みフォルダが存在しません。\n"},
        {{"convert", "--input", in.Path(), "--output", in.Path()},
         kExitRefused,
         "読込みフォルダと出力フォルダに同じフォルダを指定することはできません。\n"},
        {{"convert", "--input", in.Path(), "--output", dest.Path(), "--split", "9"}, kExitUsage, ""},
        {{"convert", "--input", in.Path(), "--output", dest.Path(), "--split-bytes", "100"}, kExitUsage, ""},
        {{"convert", "--bogus"}, kExitUsage, ""},
        {{"frobnicate"}, kExitUsage, usage("コマンド frobnicate はありません。", "")},
        {{"conver"}, kExitUsage, usage("コマンド conver はありません。\nもしかして: convert ?", "")},
        {{"convert", "--in", in.Path(), "--output", dest.Path()},
         kExitUsage,
         usage("コマンド convert にオプション --in はありません。\nもしかして: --input ?", "convert ")},
        {{"check", in.Path()},
         kExitUsage,
         usage("[" + in.Path() + "]はフォルダです。読込みフォルダは --input で指定してください。", "check ")},
        {{"list", in.Path(), in.Path()},
         kExitUsage,
         usage("コマンド list の引数は IN_DIR の 1 つです（2 つ指定されています）。", "list ")},
        {{"verify"},
         kExitUsage,
         usage("コマンド verify の引数は REPORT の 1 つです（指定されていません）。", "verify ")},
        {{}, kExitUsage, ""},
        {{"ref", "A"}, kExitUsage, ""},
        {{"ref", "--hex", "82G0", "31"}, kExitUsage, ""},
        {{"check", "--input", in.Path(), "--max-errors", "x"}, kExitUsage, ""},
        {{"verify", "--folder"}, kExitUsage, usage("オプション --folder には DIR を指定してください。", "verify ")},
        {{"convert", "--help"}, kExitOk, ""},  // each command has its own help, on standard output
        {{"list", missing}, kExitRefused, "読込みフォルダが存在しません。\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run(c.args), c.status) << (c.args.empty() ? "" : c.args[0]) << " " << err;
        if (!c.err.empty()) {
            EXPECT_EQ(err, c.err);
        }
    }
}

TEST_F(CliTest, ExistingOutputsRefuseTheRun) {
    ASSERT_EQ(Convert({"--quiet"}), kExitOk);
    EXPECT_EQ(Convert(), kExitRefused);
    EXPECT_EQ(err, LoadMessage(kMsgOutputExists) + "\n");
}

TEST_F(CliTest, AFileWithARecordErrorGivesStatusOne) {
    WriteBytes(in / "20080423120002.csv", LineOfFields(15));
    EXPECT_EQ(Convert(), kExitFileErrors);
    EXPECT_NE(err.find("20080423120002.CSV: カラム数エラー"), std::string::npos);
    EXPECT_FALSE(Exists(dest / "20080423120002_001.CSV"));
    // The record is named, also when quiet, and so is the outcome.
    EXPECT_EQ(Convert({"--quiet", "20080423120002.CSV"}), kExitFileErrors);
    EXPECT_EQ(err,
              "20080423120002.CSV:1: カラム数エラー (項目数 15)\n"
              "カルデノ　正常終了（エラーあり：1 ファイル中 1 ファイル、出力ファイルはありません） (処理時間 0秒)\n");
}

TEST_F(CliTest, AFileThatCannotBeReadFailsTheRun) {
    WriteBytes(in / "20080423120002.csv", ClaimLines(1));
    const FailingPaths faults(platform::FileOperation::Open, "20080423120002");
    EXPECT_EQ(Convert({"--quiet"}), kExitFailed);
    EXPECT_EQ(out, "");
    EXPECT_TRUE(ListNames(dest.Path()).empty());  // nothing published, nothing left
    // Told at once with the system's reason, not after minutes of waiting.
    EXPECT_NE(err.find("オープンエラー ("), std::string::npos) << err;
}

TEST_F(CliTest, CtrlCAbortsAtTheNextRecordAndDeletesTheOutputs) {
    WriteBytes(in / "20080423120001.csv", ClaimLines(400));
    onWrite = [](const std::string& text) {
        if (text.find("20080423120001.CSV: 処理中") != std::string::npos) RequestInterrupt();
    };
    EXPECT_EQ(Convert(), kExitAborted);
    EXPECT_TRUE(Outputs().empty());  // the run published nothing: the first file's outputs go too
    EXPECT_NE(err.find("20080423120001.CSV: 中断"), std::string::npos);
    EXPECT_TRUE(err.ends_with("\n処理を中断しました。\n")) << err;  // the last line
    EXPECT_EQ(out, "");
}

TEST_F(CliTest, SplitByLabelOrBytes) {
    EXPECT_EQ(Convert({"--split", "MO (128 MB)", "--quiet"}), kExitOk);
    EXPECT_EQ(Outputs().size(), 4u);
    TempDir second;
    EXPECT_EQ(Run({"convert", "--input", in.Path() + std::string(1, platform::kPathSeparator), "--output",
                   second.Path(), "--split-bytes", "520", "--quiet"}),
              kExitOk);
    EXPECT_EQ(ListNames(second.Path()),
              (std::vector<std::string>{"20080423120000_001.CSV", "20080423120000_002.CSV", "20080423120001_001.CSV",
                                        "20080423140509_Result.sha256", "20080423140509_Result.txt"}));
}

TEST_F(CliTest, ALiveBarSurvivesMoreStepsThanPercent) {
    // Short records in a small file: the engine asks for more than 100 steps.
    WriteBytes(in / "20080423120002.csv", [] {
        std::string text;
        for (int i = 0; i < 105; ++i) text += ",,,,,,,,,,,,,,,\r\n";
        return text;
    }());
    context.errIsTerminal = true;
    EXPECT_EQ(Convert(), kExitOk) << err;
}

TEST_F(CliTest, FoldersUnderASystemFolderAreRefusedHoweverTheyAreReached) {
    const std::string system = JoinPath(dest.Path(), "sys");
    CreateFolderTree(JoinPath(system, "x"));
    context.protectedFolders = {system};
    const std::string roundabout = JoinPath(JoinPath(system, "x"), "..");
    const std::string logRefused = "ログフォルダに\n管理者権限領域のフォルダは指定できません。";
    TempDir output;
#ifndef _WIN32
    // A link to a folder whose name code page 932 cannot hold: its real path cannot be checked.
    const std::filesystem::path unnamable = std::filesystem::path(platform::Cp932ToUtf8(dest.Path())) / u8"café";
    std::filesystem::create_directory(unnamable);
    std::filesystem::create_directory_symlink(unnamable, platform::Cp932ToUtf8(dest / "out"));
    const std::string linked = dest / "out" + std::string(1, platform::kPathSeparator);
#endif
    const struct {
        const char* name;
        std::vector<std::string> folders;
        std::string err;
    } cases[] = {
        {"OutputThroughDotDot", {"--output", roundabout}, LoadMessage(kMsgProtectedFolder)},
        {"LogFolderThroughDotDot", {"--output", output.Path(), "--log-dir", roundabout}, logRefused},
        {"NewLogFolder", {"--output", output.Path(), "--log-dir", JoinPath(system, "log")}, logRefused},
#ifndef _WIN32
        {"OutputThroughALink",
         {"--output", linked},
         "フォルダ[" + linked + "]は、実際の場所のパスにシフトJISで表せない文字が含まれているため指定できません。"},
#endif
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"convert", "--input", in.Path()};
        args.insert(args.end(), c.folders.begin(), c.folders.end());
        EXPECT_EQ(Run(args), kExitRefused) << c.name;
        EXPECT_EQ(err, c.err + "\n") << c.name;
    }
    EXPECT_TRUE(ListNames(output.Path()).empty());
    EXPECT_FALSE(Exists(JoinPath(system, "log")));
}

TEST_F(CliTest, AChosenLogFolderKeepsOtherProgramsLogs) {
    const std::string folder = logs / "mine";
    CreateFolderTree(folder);
    for (int i = 0; i < 12; ++i) WriteBytes(JoinPath(folder, "build" + std::to_string(i) + ".log"), "");
    EXPECT_EQ(Convert({"--quiet", "--log-dir", folder}), kExitOk);
    EXPECT_EQ(ListNames(folder).size(), 12u);
}

TEST_F(CliTest, ListShowsNamesAndSizes) {
    WriteBytes(in / "20080423120002.csv", std::string(1536, 'x'));
    WriteBytes(in / "notes.csv", "");
    EXPECT_EQ(Run({"list", in.Path()}), kExitOk);
    EXPECT_NE(out.find("20080423120002.CSV"), std::string::npos);
    EXPECT_NE(out.find("1.5 KB\n"), std::string::npos);
    EXPECT_EQ(out.find("NOTES"), std::string::npos);
}

TEST_F(CliTest, RefGivesTheSameTextForHalfAndFullWidthAndHex) {
    ASSERT_EQ(Run({"ref", "--hex", "8260", "3132"}), kExitOk);
    const std::string hex = out;
    ASSERT_EQ(hex.size(), 82u);
    EXPECT_EQ(hex[40], ',');
    EXPECT_EQ(hex.substr(65, 16), std::string(16, '0'));
    EXPECT_EQ(Run({"ref", "Ａ", "12"}), kExitOk);
    EXPECT_EQ(out, hex);
    EXPECT_EQ(Run({"ref", " A ", "１２"}), kExitOk);
    EXPECT_EQ(out, hex);
    EXPECT_EQ(Run({"ref", std::string(41, '1'), "1"}), kExitRefused);
    EXPECT_EQ(err, "桁数エラー（被保険者証記号）\n");
}

TEST_F(CliTest, HelpAndVersion) {
    EXPECT_EQ(Run({"--version"}), kExitOk);
    EXPECT_EQ(out, "tolvarenquista 2.0.0.0\n");
    EXPECT_EQ(ProgramName(""), "tolvarenquista");
    // Every way of asking for help, of the program and of each command, under the name it was
    // started by (longer than its own, so that a usage line must wrap); every line fits 80 columns
    // (a double-byte character of code page 932 is two bytes and two columns wide).
    context.program = ProgramName(JoinPath("bin", "tolvarenquista-cli.Exe"));
    const struct {
        std::vector<std::string> args;
        std::string line;  // a key line of the help
    } cases[] = {
        {{"--help"}, "  tolvarenquista-cli convert --input IN_DIR --output OUT_DIR [options]\n"},
        {{"-h"}, "\n  tolvarenquista-cli --help | --version\n"},
        {{"help"}, "\nOptions of convert:\n  --input IN_DIR     the folder of the claim files (required)\n"},
        {{"/?"}, "\nCtrl-C aborts: "},
        {{"-?"}, "\nExit status (and 64, a usage error, for every command):\n  list               0 listed;"},
        {{"list", "-h"}, "Usage:\n  tolvarenquista-cli list IN_DIR\n"},
        {{"convert", "/?"}, "\n  --split LABEL|N    split size by medium: 0 \"分割なし\" (default),\n"},
        {{"convert", "--help"}, "\nExit status: 0 report written, every file normal; 1 report written, some file\n"},
        {{"ref", "-?"}, "Usage:\n  tolvarenquista-cli ref [--hex] KIGOU BANGOU\n"},
        {{"check", "--input", "x", "--help"}, "\n  --max-errors N     list at most N faulty records"},
        {{"verify", "--help"}, "Usage:\n  tolvarenquista-cli verify [--folder DIR] REPORT\n"},
        {{"selftest", "--help"}, "\n  selftest           known-answer checks of everything a reference"},
    };
    for (const auto& c : cases) {
        const std::string name = c.args[0] + " " + c.args.back();
        EXPECT_EQ(Run(c.args), kExitOk) << name;
        EXPECT_EQ(err, "") << name;
        EXPECT_NE(out.find(c.line), std::string::npos) << name << "\n" << out;
        std::size_t longest = 0;
        for (std::size_t start = 0, end; start < out.size(); start = end + 1) {
            end = std::min(out.find('\n', start), out.size());
            longest = std::max(longest, end - start);
        }
        EXPECT_LE(longest, 80u) << name << "\n" << out;
    }
}

}  // namespace
