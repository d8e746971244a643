// The daily log: where it goes, which old logs it deletes, the exact form of an entry, that
// entries of two threads all arrive, and that a log that fails costs only its entries and is told
// once.
#include "support/log_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "base/file_error.h"
#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

const char kSep = platform::kPathSeparator;
// FakeClock's default reading, 2008-04-23 14:05:09.
const std::string kToday = "Tolvarenquista_20080423.log";
const std::string kTime = "2008/04/23 14:05:09";

std::size_t CountEntries(const std::string& text) {
    std::size_t count = 0;
    for (std::size_t pos = text.find("\r\n"); pos != std::string::npos; pos = text.find("\r\n", pos + 2)) ++count;
    return count;
}

struct EntryCase {
    const char* name;
    int line;
    std::string source;
    std::string message;
    std::string expected;
};
// GoogleTest shows a parameter by these (else as a dump of its bytes).
void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.name; }

class LogFileEntry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(LogFileEntry, IsWrittenExactly) {
    TempDir dir;
    FakeClock clock;
    CLogFile log(GetParam().source, clock);
    ASSERT_TRUE(log.InitLog(dir.Path()));
    EXPECT_EQ(log.Path(), dir / kToday);

    log.WriteLog(GetParam().line, GetParam().message);
    EXPECT_EQ(ReadBytes(dir / kToday), GetParam().expected);
}

// "表" is 0x95 0x5C: a source ending in it has no backslash to cut at. "ａ" is 0x82 0x81: "ａB" ends
// in the bytes of "。" (0x81 0x42) and is no full stop.
INSTANTIATE_TEST_SUITE_P(
    Log, LogFileEntry,
    ::testing::Values(EntryCase{"LineFeedInMessage", 1234, ".\\TolvarenquistaDlg", "ａB\nb",
                                kTime + " (TolvarenquistaDlg)[1234] ａB b\r\n"},
                      EntryCase{
                          "SentencesOnOneLine", 390, "tolvarenquista",
                          "\n読込みに失敗しました。\r\n処理を終了します。\n\nエラー\r(理由)\r\n",
                          kTime + " (tolvarenquista)[390] 読込みに失敗しました。処理を終了します。エラー (理由)\r\n"},
                      EntryCase{"NoBackslash", 7, "dialog.cpp", "x", kTime + " (dialog.cpp)[7] x\r\n"},
                      EntryCase{"LastBackslash", 0, "C:\\src\\表\\run.cpp", "", kTime + " (run.cpp)[0] \r\n"},
                      EntryCase{"TrailByteIsNoBackslash", -1, "表", "メッセージ", kTime + " (表)[-1] メッセージ\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LogFile, EntriesAppendAcrossStartsAndStayInTheStartDaysFile) {
    TempDir dir;
    FakeClock clock;
    {
        CLogFile log("a", clock);
        ASSERT_TRUE(log.InitLog(dir.Path()));
        log.WriteLog(1, "first");
        clock.Set(clock.Now() + 86400);  // past midnight: still the start day's file
        log.WriteLog(2, "second");
    }
    clock.Set(1208959509);
    CLogFile again("a", clock);
    ASSERT_TRUE(again.InitLog(dir.Path()));
    again.WriteLog(3, "third");

    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::string>{kToday});
    EXPECT_EQ(ReadBytes(dir / kToday),
              kTime + " (a)[1] first\r\n" + "2008/04/24 14:05:09 (a)[2] second\r\n" + kTime + " (a)[3] third\r\n");
}

struct CleanUpCase {
    int logs;
    int deleted;
};
void PrintTo(const CleanUpCase& c, std::ostream* os) { *os << "Logs" << c.logs; }

class LogFileCleanUp : public ::testing::TestWithParam<CleanUpCase> {};

TEST_P(LogFileCleanUp, KeepsTheLastTenLogsByName) {
    TempDir dir;
    std::vector<std::string> logs;
    for (int day = 1; day <= GetParam().logs; ++day) {
        logs.push_back("Tolvarenquista_200801" + std::string(day < 10 ? "0" : "") + std::to_string(day) + ".log");
    }
    for (const auto& name : logs) WriteBytes(dir / name, "old");
    WriteBytes(dir / "notes.txt", "");

    FakeClock clock;
    CLogFile log("a", clock);
    ASSERT_TRUE(log.InitLog(dir.Path()));

    std::vector<std::string> expected(logs.begin() + GetParam().deleted, logs.end());
    expected.push_back("notes.txt");
    EXPECT_EQ(ListNames(dir.Path()), expected);
}

INSTANTIATE_TEST_SUITE_P(Log, LogFileCleanUp,
                         ::testing::Values(CleanUpCase{12, 2}, CleanUpCase{11, 1}, CleanUpCase{10, 0},
                                           CleanUpCase{3, 0}),
                         [](const auto& info) { return "Logs" + std::to_string(info.param.logs); });

TEST(LogFile, OldLogThatCannotBeDeletedThrows) {
    TempDir dir;
    for (int i = 0; i < 11; ++i) WriteBytes(dir / ("b" + std::to_string(i) + ".log"), "");
    ASSERT_TRUE(platform::MakeDirectory(dir / "a.log"));  // first in name order, and no file
    FakeClock clock;
    CLogFile log("a", clock);
    EXPECT_THROW(log.InitLog(dir.Path()), FileError);
    EXPECT_TRUE(log.Path().empty());
}

TEST(LogFile, MissingNestedFolderIsCreated) {
    TempDir dir;
    std::string folder = dir / "Tolvarenquista" + kSep + "Log";
    FakeClock clock;
    CLogFile log("a", clock);
    ASSERT_TRUE(log.InitLog(folder));
    EXPECT_TRUE(Exists(folder));
    EXPECT_TRUE(ListNames(folder).empty());  // the file comes with the first entry
    log.WriteLog(1, "b");
    EXPECT_EQ(ListNames(folder), std::vector<std::string>{kToday});
}

TEST(LogFile, FolderThatCannotBeMadeLeavesTheLogSilent) {
    TempDir dir;
    WriteBytes(dir / "file", "");
    FakeClock clock;
    for (const std::string& folder : {dir / "file" + kSep + "Log", std::string()}) {
        CLogFile log("a", clock);
        EXPECT_FALSE(log.InitLog(folder)) << folder;
        EXPECT_TRUE(log.Path().empty());
        EXPECT_NO_THROW(log.WriteLog(1, "lost"));
    }
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::string>{"file"});
}

TEST(LogFile, EntriesOfTwoThreadsAllArrive) {
    TempDir dir;
    FakeClock clock;
    CLogFile log("a", clock);
    ASSERT_TRUE(log.InitLog(dir.Path()));
    auto writer = [&log](const char* name) {
        for (int i = 0; i < 200; ++i) log.WriteLog(i, name);
    };
    std::thread first(writer, "first");
    std::thread second(writer, "second");
    first.join();
    second.join();

    EXPECT_EQ(CountEntries(ReadBytes(dir / kToday)), 400u);
}

TEST(LogFile, FileHeldElsewhereLosesTheEntryAndIsToldOnce) {
    TempDir dir;
    FakeClock clock;
    CLogFile log("a", clock);
    ASSERT_TRUE(log.InitLog(dir.Path()));
    int told = 0;
    log.SetFailureHandler([&](const std::string&) { ++told; });
    log.WriteLog(1, "kept");
    {
        platform::File holder;
        ASSERT_TRUE(holder.Open(log.Path(), platform::File::modeRead));
        log.WriteLog(2, "lost");
        log.WriteLog(3, "lost too");
    }
    log.WriteLog(4, "kept too");
    EXPECT_EQ(ReadBytes(log.Path()), kTime + " (a)[1] kept\r\n" + kTime + " (a)[4] kept too\r\n");
    EXPECT_EQ(told, 1);
}

// Every write of a log fails as on a full disk.
class FullDisk : public platform::IFileFaults {
public:
    platform::Fault Before(platform::FileOperation operation, const std::string&, std::size_t& allowed) override {
        if (operation != platform::FileOperation::Write) return platform::Fault::None;
        allowed = 0;
        return platform::Fault::DiskFull;
    }
};

struct FailureCase {
    const char* name;
    // Makes the day's file (path) of the log folder dir fail (faults it installs are removed after
    // the two entries); after checks what is left once the log has failed.
    std::function<void(const TempDir& dir, const std::string& path)> plant;
    std::function<void(const TempDir& dir, const std::string& path)> after;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class LogFileFailure : public ::testing::TestWithParam<FailureCase> {};

// The entries are lost, WriteLog returns as usual, and the owner is told once, with the day's file.
TEST_P(LogFileFailure, IsToldOnceAndNeverThrows) {
    TempDir dir;
    FakeClock clock;
    CLogFile log("a", clock);
    ASSERT_TRUE(log.InitLog(dir.Path()));
    std::vector<std::string> told;
    log.SetFailureHandler([&](const std::string& text) { told.push_back(text); });
    GetParam().plant(dir, log.Path());

    EXPECT_NO_THROW(log.WriteLog(1, "lost"));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].rfind("ログを記録できません。ファイル[" + log.Path() + "]", 0), 0u) << told[0];
    EXPECT_TRUE(told[0].ends_with(")")) << told[0];  // the system's reason
    EXPECT_NO_THROW(log.WriteLog(2, "lost too"));
    EXPECT_EQ(told.size(), 1u);
    platform::SetFileFaults(nullptr);
    GetParam().after(dir, log.Path());
}

const std::vector<FailureCase> kFailureCases = {
    {"DiskFull",
     [](const TempDir&, const std::string&) {
         static FullDisk fullDisk;
         platform::SetFileFaults(&fullDisk);
     },
     [](const TempDir&, const std::string& path) { EXPECT_EQ(ReadBytes(path), ""); }},
    {"FolderAtTheDaysName", [](const TempDir&, const std::string& path) { ASSERT_TRUE(platform::MakeDirectory(path)); },
     [](const TempDir&, const std::string& path) { EXPECT_TRUE(ListNames(path).empty()); }},
#ifndef _WIN32
    // A link planted at the day's name is refused, not followed: its target stays as it was.
    {"PlantedLink",
     [](const TempDir& dir, const std::string& path) {
         WriteBytes(dir / "target", "not a log\n");
         std::filesystem::create_symlink(platform::Cp932ToUtf8(dir / "target"), platform::Cp932ToUtf8(path));
     },
     [](const TempDir& dir, const std::string& path) {
         EXPECT_EQ(ReadBytes(dir / "target"), "not a log\n");
         EXPECT_TRUE(std::filesystem::is_symlink(platform::Cp932ToUtf8(path)));
     }},
#endif
};

INSTANTIATE_TEST_SUITE_P(Log, LogFileFailure, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
