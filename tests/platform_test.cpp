// The operating-system layer as the engine relies on it: exclusive opens, creates that never replace,
// names found without regard to case, Japanese names on disk, long paths, and the answers of
// PathExists at the edges.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "support/log_file.h"
#include "support/paths.h"
#include "tests/test_support.h"

namespace {

using platform::File;
constexpr unsigned kCreate = File::modeWrite | File::modeCreate;                             // 0x1001
constexpr unsigned kCreateKeep = File::modeWrite | File::modeCreate | File::modeNoTruncate;  // 0x3001

std::string Separator() { return std::string(1, platform::kPathSeparator); }

#ifdef _WIN32
const char kNullDevice[] = "NUL";
#else
const char kNullDevice[] = "/dev/null";
#endif

// The root of the file system that holds path: "/" on POSIX, "C:\" style on Windows.
std::string RootOf(const std::string& path) {
    return path.front() == platform::kPathSeparator ? Separator() : path.substr(0, 3);
}

struct SecondOpenCase {
    const char* name;
    unsigned flags;
};
// GoogleTest shows a parameter by these (else as a dump of its bytes).
void PrintTo(const SecondOpenCase& c, std::ostream* os) { *os << c.name; }

class PlatformExclusiveOpen : public ::testing::TestWithParam<SecondOpenCase> {};

TEST_P(PlatformExclusiveOpen, SecondOpenFailsAndLeavesTheHeldFileAlone) {
    TempDir dir;
    std::string path = dir / "held.csv";
    WriteBytes(path, "kept");
    File first;
    ASSERT_TRUE(first.Open(path, File::modeRead));

    File second;
    int error = 0;
    EXPECT_FALSE(second.Open(path, GetParam().flags, &error));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(platform::IsLockedError(error)) << error;
    EXPECT_EQ(first.GetLength(), 4u);  // a refused open must not have emptied the file

    first.Close();
    EXPECT_TRUE(second.Open(path, GetParam().flags));
}

INSTANTIATE_TEST_SUITE_P(Platform, PlatformExclusiveOpen,
                         ::testing::Values(SecondOpenCase{"Read", File::modeRead},
                                           SecondOpenCase{"ReadWrite", File::modeReadWrite},
                                           SecondOpenCase{"CreateKeep", kCreateKeep}),
                         [](const auto& info) { return std::string(info.param.name); });

// What an open, a rename, a removal or a folder lock must refuse, and the entries it must leave as
// they were: a name taken is never replaced or emptied, a link never followed, and only a regular
// file is opened.
struct RefusalCase {
    const char* name;
    void (*setup)(const TempDir& dir);
    bool (*act)(const TempDir& dir, int* error);
    bool succeeds;
    bool (*errorClass)(int error);                           // nullptr: any error
    std::vector<std::pair<const char*, const char*>> after;  // name and bytes; nullptr bytes: missing
};
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class PlatformRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(PlatformRefusal, LeavesTheNamesAsTheyWere) {
    TempDir dir;
    GetParam().setup(dir);
    int error = 0;
    EXPECT_EQ(GetParam().act(dir, &error), GetParam().succeeds);
    if (GetParam().errorClass != nullptr) {
        EXPECT_TRUE(GetParam().errorClass(error)) << error;
    }
    if (!GetParam().succeeds) {
        EXPECT_NE(error, 0);
    }
    for (const auto& [name, bytes] : GetParam().after) {
        if (bytes == nullptr) {
            EXPECT_FALSE(Exists(dir / name)) << name;
        } else {
            EXPECT_EQ(ReadBytes(dir / name), bytes) << name;
        }
    }
}

void NoEntries(const TempDir&) {}
void OldFile(const TempDir& dir) { WriteBytes(dir / "out.csv", "old"); }
void TwoFiles(const TempDir& dir) {
    WriteBytes(dir / "a.csv", "a");
    WriteBytes(dir / "b.csv", "b");
}
void Folder(const TempDir& dir) { ASSERT_TRUE(platform::MakeDirectory(dir / "out.csv")); }
bool OpenAs(const std::string& path, unsigned flags, int* error) {
    File file;
    return file.Open(path, flags, error);
}
bool Create(const TempDir& dir, int* error) { return OpenAs(dir / "out.csv", kCreate, error); }
bool CreateKeep(const TempDir& dir, int* error) { return OpenAs(dir / "out.csv", kCreateKeep, error); }
bool Read(const TempDir& dir, int* error) { return OpenAs(dir / "out.csv", File::modeRead, error); }
bool ReadNullDevice(const TempDir&, int* error) { return OpenAs(kNullDevice, File::modeRead, error); }
bool RenameAOntoB(const TempDir& dir, int* error) { return platform::RenameFile(dir / "a.csv", dir / "b.csv", error); }
bool Remove(const TempDir& dir, int* error) { return platform::RemoveFile(dir / "out.csv", error); }
bool IsNotRegular(int error) { return error == platform::kErrorNotRegular; }

#ifndef _WIN32
// out.csv as a link to target.csv, which holds "old", and as a link to nothing.
void LinkToFile(const TempDir& dir) {
    WriteBytes(dir / "target.csv", "old");
    ASSERT_EQ(symlink("target.csv", (dir / "out.csv").c_str()), 0);
}
void DanglingLink(const TempDir& dir) { ASSERT_EQ(symlink("target.csv", (dir / "out.csv").c_str()), 0); }
void LockNameLinkToFile(const TempDir& dir) {
    WriteBytes(dir / "target.csv", "old");
    ASSERT_EQ(symlink("target.csv", (dir / platform::kFolderLockName).c_str()), 0);
}
void Fifo(const TempDir& dir) { ASSERT_EQ(mkfifo((dir / "out.csv").c_str(), 0600), 0); }
bool ReadNoFollow(const TempDir& dir, int* error) {
    return OpenAs(dir / "out.csv", File::modeRead | File::modeNoFollow, error);
}
bool LockFolder(const TempDir& dir, int* error) {
    platform::FolderLock lock;
    return lock.Acquire(dir.Path(), error) == platform::FolderLock::Result::Locked;
}
#endif

INSTANTIATE_TEST_SUITE_P(
    Platform, PlatformRefusal,
    ::testing::Values(
        RefusalCase{"CreateOnAFile", OldFile, Create, false, platform::IsExistsError, {{"out.csv", "old"}}},
        RefusalCase{"ReadAFolder", Folder, Read, false, nullptr, {}},
        RefusalCase{"CreateKeepAFolder", Folder, CreateKeep, false, nullptr, {}},
        RefusalCase{"ReadTheNullDevice", NoEntries, ReadNullDevice, false, IsNotRegular, {}},
        RefusalCase{"RenameOntoAFile",
                    TwoFiles,
                    RenameAOntoB,
                    false,
                    platform::IsExistsError,
                    {{"a.csv", "a"}, {"b.csv", "b"}}},
        RefusalCase{"RemoveAMissingName", NoEntries, Remove, true, platform::IsMissingError, {}}
#ifndef _WIN32
        ,
        RefusalCase{"CreateOnALink", LinkToFile, Create, false, platform::IsExistsError, {{"target.csv", "old"}}},
        RefusalCase{
            "CreateOnADanglingLink", DanglingLink, Create, false, platform::IsExistsError, {{"target.csv", nullptr}}},
        RefusalCase{"CreateKeepOnALink", LinkToFile, CreateKeep, false, nullptr, {{"target.csv", "old"}}},
        RefusalCase{"CreateKeepOnADanglingLink", DanglingLink, CreateKeep, false, nullptr, {{"target.csv", nullptr}}},
        RefusalCase{"ReadNoFollowALink", LinkToFile, ReadNoFollow, false, nullptr, {{"target.csv", "old"}}},
        RefusalCase{"ReadAFifo", Fifo, Read, false, IsNotRegular, {}},
        RefusalCase{"CreateKeepAFifo", Fifo, CreateKeep, false, IsNotRegular, {}},
        RefusalCase{"LockNameALink", LockNameLinkToFile, LockFolder, false, nullptr, {{"target.csv", "old"}}},
        RefusalCase{"RemoveALink", LinkToFile, Remove, true, nullptr, {{"out.csv", nullptr}, {"target.csv", "old"}}}
#endif
        ),
    [](const auto& info) { return std::string(info.param.name); });

// One holder of a folder at a time, another object of the same process included; the lock file
// goes with its holder.
TEST(PlatformFolderLock, ASecondHolderIsBusyUntilTheFirstReleases) {
    using Result = platform::FolderLock::Result;
    TempDir dir;
    platform::FolderLock first;
    platform::FolderLock second;
    ASSERT_EQ(first.Acquire(dir.Path()), Result::Locked);
    EXPECT_TRUE(platform::PathExists(dir / platform::kFolderLockName));
    int error = 0;
    EXPECT_EQ(second.Acquire(dir.Path(), &error), Result::Busy);
    EXPECT_FALSE(second.Held());

    first.Release();
    EXPECT_EQ(second.Acquire(dir.Path()), Result::Locked);
    second.Release();
    EXPECT_FALSE(platform::PathExists(dir / platform::kFolderLockName));
}

// A flush that runs in the background while the file is written: its failure reaches Sync, once,
// and what was written is all there.
TEST(PlatformBackgroundFlush, AFailureIsReportedBySync) {
    struct FailingFlushes : platform::IFileFaults {
        platform::Fault Before(platform::FileOperation operation, const std::string&, std::size_t&) override {
            return operation == platform::FileOperation::Flush ? platform::Fault::Failure : platform::Fault::None;
        }
    } faults;
    TempDir dir;
    const std::string path = dir / "big.csv";
    const std::string block(1 << 20, 'x');
    File file;
    ASSERT_TRUE(file.Open(path, kCreate));
    platform::SetFileFaults(&faults);
    for (int i = 0; i < 9; ++i) {
        file.Write(block.data(), block.size());
        file.StartWriteBack(block.size());
    }
    platform::SetFileFaults(nullptr);
    EXPECT_THROW(file.Sync(), FileError);
    EXPECT_NO_THROW(file.Sync());
    // Without faults the flushes run in the background and the last Sync waits for them.
    for (int i = 0; i < 18; ++i) {
        file.Write(block.data(), block.size());
        file.StartWriteBack(block.size());
    }
    EXPECT_NO_THROW(file.Sync());
    file.Close();
    EXPECT_EQ(std::filesystem::file_size(path), 27u * block.size());
}

// Files are listed upper-case and then opened by those names, so every look-up must find the real
// name whatever its letters' case (as Windows does).
TEST(PlatformCase, LookupsFindTheRealNameWhateverTheCase) {
    TempDir dir;
    WriteBytes(dir / "x_001.csv", "first,");

    EXPECT_TRUE(platform::PathExists(dir / "X_001.CSV"));
    {
        File file;
        ASSERT_TRUE(file.Open(dir / "X_001.CSV", kCreateKeep));
        file.Seek(0, File::Origin::End);
        file.Write("second", 6);
    }
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::string>{"x_001.csv"});
    EXPECT_EQ(ReadBytes(dir / "x_001.csv"), "first,second");

    EXPECT_TRUE(platform::RemoveFile(dir / "X_001.Csv"));
    EXPECT_TRUE(ListNames(dir.Path()).empty());
}

struct FindCase {
    const char* pattern;
    std::vector<std::string> expected;
};
// The pattern, in hex where it leaves ASCII.
void PrintTo(const FindCase& c, std::ostream* os) {
    const std::string pattern = c.pattern;
    const bool ascii = std::all_of(pattern.begin(), pattern.end(), [](char ch) { return ch > 0 && ch < 0x7F; });
    *os << (ascii ? pattern : Hex(pattern));
}

class PlatformFindEntries : public ::testing::TestWithParam<FindCase> {};

TEST_P(PlatformFindEntries, MatchesWithoutRegardToCaseInNameOrder) {
    TempDir dir;
    for (const char* name : {"x_002.csv", "X_001.CSV", "X_1.csv", "B.LOG", "a.log", "c.txt", "チ.log"}) {
        WriteBytes(dir / name, "");
    }
    ASSERT_TRUE(platform::MakeDirectory(dir / "folder.log"));
    EXPECT_EQ(platform::FindEntries(dir.Path(), GetParam().pattern), GetParam().expected);
}

// "チ" is 0x83 0x61: its second byte is a lower-case 'a' that must not be folded to 'A' ("ア").
INSTANTIATE_TEST_SUITE_P(Platform, PlatformFindEntries,
                         ::testing::Values(FindCase{"*.log", {"a.log", "B.LOG", "folder.log", "チ.log"}},
                                           FindCase{"X_???.csv", {"X_001.CSV", "x_002.csv"}},
                                           FindCase{"?.TXT", {"c.txt"}}, FindCase{"ア.log", {}},
                                           FindCase{"*",
                                                    {"a.log", "B.LOG", "c.txt", "folder.log", "X_001.CSV", "x_002.csv",
                                                     "X_1.csv", "チ.log"}},
                                           FindCase{"*.none", {}}));

TEST(PlatformNames, JapaneseNamesReachTheDiskAsTheirCharacters) {
    TempDir dir;
    const std::string folder = "表計算";  // 0x95 0x5C ...: a second byte that is a backslash
    ASSERT_TRUE(platform::MakeDirectory(dir / folder));
    std::string file = dir / folder + Separator() + "データ.csv";
    {
        File out;
        ASSERT_TRUE(out.Open(file, kCreate));
        out.Write("1", 1);
    }
    EXPECT_EQ(platform::FindEntries(dir.Path(), "*"), std::vector<std::string>{folder});
    EXPECT_EQ(platform::FindEntries(dir / folder, "*.CSV"), std::vector<std::string>{"データ.csv"});
    EXPECT_TRUE(platform::PathExists(file));

    // Seen from outside our conversions, the names are the Unicode characters.
    std::string utf8 = platform::Cp932ToUtf8(dir.Path());
    std::filesystem::path root(std::u8string(utf8.begin(), utf8.end()));
    EXPECT_TRUE(std::filesystem::exists(root / u8"表計算" / u8"データ.csv"));
}

// An output folder of many Japanese characters is made, written, searched, renamed in and cleared
// like a short one: of about 120 characters (some 240 code page 932 bytes, near the classic limit of
// 260) and of about 200 (400 bytes; with the temporary folder's path, near 260 characters too).
// Each name stays within 40 characters (120 bytes in UTF-8, where a name may have 255).
TEST(PlatformNames, LongJapanesePathsWorkLikeShortOnes) {
    const std::string characters = "診療報酬明細書表変換結果出力先";  // "表": 0x95 0x5C
    for (const std::size_t total : {120, 200}) {
        SCOPED_TRACE(total);
        TempDir dir;
        std::string folder = dir.Path();
        for (std::size_t made = 0; made < total; made += 40) {
            std::string name;
            for (std::size_t i = made; i < std::min(total, made + 40); ++i) {
                name += characters.substr(i % (characters.size() / 2) * 2, 2);
            }
            folder += Separator() + name;
            ASSERT_TRUE(platform::MakeDirectory(folder)) << folder.size();
        }
        const std::string file = folder + Separator() + "請求_001.csv";
        const std::string renamed = folder + Separator() + "請求_002.csv";
        File out;
        ASSERT_TRUE(out.Open(file, kCreate));
        out.Write("1,2", 3);
        out.Close();

        EXPECT_TRUE(platform::PathExists(folder));
        EXPECT_TRUE(platform::PathExists(file));
        EXPECT_EQ(platform::FindEntries(folder, "*.CSV", true), std::vector<std::string>{"請求_001.csv"});
        ASSERT_TRUE(platform::RenameFile(file, renamed));
        EXPECT_FALSE(platform::PathExists(file));
        File in;
        ASSERT_TRUE(in.Open(renamed, File::modeRead | File::modeNoFollow));
        char bytes[4] = {};
        EXPECT_EQ(in.Read(bytes, sizeof bytes), 3u);
        EXPECT_EQ(std::string(bytes, 3), "1,2");
        in.Close();
        EXPECT_TRUE(platform::RemoveFile(renamed));
        EXPECT_TRUE(platform::FindEntries(folder, "*").empty());
    }
}

struct ExistsCase {
    const char* name;
    std::string (*path)(const TempDir& dir);
    bool expected;
};
void PrintTo(const ExistsCase& c, std::ostream* os) { *os << c.name; }

class PlatformPathExists : public ::testing::TestWithParam<ExistsCase> {};

TEST_P(PlatformPathExists, AnswersAtTheEdges) {
    TempDir dir;
    WriteBytes(dir / "file.csv", "");
    ASSERT_TRUE(platform::MakeDirectory(dir / "sub"));
    EXPECT_EQ(platform::PathExists(GetParam().path(dir)), GetParam().expected) << GetParam().path(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Platform, PlatformPathExists,
    ::testing::Values(ExistsCase{"File", [](const TempDir& d) { return d / "file.csv"; }, true},
                      ExistsCase{"Folder", [](const TempDir& d) { return d / "sub"; }, true},
                      ExistsCase{"Missing", [](const TempDir& d) { return d / "none.csv"; }, false},
                      ExistsCase{"FileSeparator", [](const TempDir& d) { return d / "file.csv" + Separator(); }, false},
                      ExistsCase{"FolderSeparator", [](const TempDir& d) { return d / "sub" + Separator(); }, false},
                      ExistsCase{"Root", [](const TempDir& d) { return RootOf(d.Path()); }, true},
                      ExistsCase{"Empty", [](const TempDir&) { return std::string(); }, false},
                      ExistsCase{"Wildcard", [](const TempDir& d) { return d / "*.csv"; }, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct ConversionCase {
    const char* name;
    std::string cp932;
    std::string utf8;
};
void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }

class PlatformConversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(PlatformConversion, BothWays) {
    EXPECT_EQ(Hex(platform::Cp932ToUtf8(GetParam().cp932)), Hex(GetParam().utf8));
    EXPECT_EQ(Hex(platform::Utf8ToCp932(GetParam().utf8)), Hex(GetParam().cp932));
}

INSTANTIATE_TEST_SUITE_P(
    Platform, PlatformConversion,
    ::testing::Values(ConversionCase{"Ascii", "C:\\a_1.csv", "C:\\a_1.csv"},
                      ConversionCase{"Kanji", FromHex("955C 8CB3"), FromHex("E8A1A8 E58583")},      // 表元
                      ConversionCase{"HalfWidthKana", FromHex("B1 DD"), FromHex("EFBDB1 EFBE9D")},  // ｱﾝ
                      ConversionCase{"StrayLeadByteKept", FromHex("41 81"), FromHex("41 81")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlatformConversion, CharactersCodePage932LacksAreKeptAsBytes) {
    EXPECT_EQ(Hex(platform::Utf8ToCp932(FromHex("41 E282AC 42"))), "41E282AC42");  // A€B
}

}  // namespace

TEST(PlatformKnownFolders, UserDataAndSystemFoldersAreFound) {
    const std::string userData = platform::GetKnownFolder(platform::KnownFolder::UserData);
    ASSERT_FALSE(userData.empty());
    const std::string logFolder = DefaultLogFolder();
    const std::string tail =
        std::string(1, platform::kPathSeparator) + "Tolvarenquista" + platform::kPathSeparator + "Log";
    EXPECT_EQ(logFolder, userData + tail);

    const std::vector<std::string> protectedFolders = platform::ProtectedFolders();
    ASSERT_FALSE(protectedFolders.empty());
    for (const std::string& folder : protectedFolders) EXPECT_FALSE(folder.empty());
    if (platform::kPathSeparator == '\\') {
        // Windows: the three system folders exist and are what the protected test compares with.
        for (auto known : {platform::KnownFolder::CommonAppData, platform::KnownFolder::ProgramFiles,
                           platform::KnownFolder::Windows}) {
            const std::string folder = platform::GetKnownFolder(known);
            EXPECT_TRUE(platform::PathExists(folder)) << folder;
            EXPECT_NE(std::find(protectedFolders.begin(), protectedFolders.end(), folder), protectedFolders.end());
        }
        EXPECT_TRUE(platform::PathExists(userData)) << userData;
    }
}
