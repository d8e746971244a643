// The path, folder and size functions: size texts, text splitting at character boundaries, listings,
// folder trees and deletions by pattern.
#include "support/paths.h"

#include <gtest/gtest.h>

#include "base/file_error.h"
#include "base/mbcs.h"
#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

const char kSep = platform::kPathSeparator;

struct SizeCase {
    std::uint64_t size;
    const char* text;
};
// GoogleTest shows a parameter by these (else as a dump of its bytes).
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.size; }

class PathsFormatFileSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(PathsFormatFileSize, CutsToOneDecimalInPowersOf1024) {
    EXPECT_EQ(FormatFileSize(GetParam().size), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Paths, PathsFormatFileSize,
                         ::testing::Values(SizeCase{0, "0.0 KB"}, SizeCase{102, "0.0 KB"}, SizeCase{1023, "0.9 KB"},
                                           SizeCase{1024, "1.0 KB"}, SizeCase{1536, "1.5 KB"},
                                           SizeCase{1048575, "1023.9 KB"}, SizeCase{1048576, "1.0 MB"},
                                           SizeCase{1073741823, "1023.9 MB"}, SizeCase{1073741824, "1.0 GB"},
                                           SizeCase{5000000000, "4.6 GB"}, SizeCase{1099511627776, "1024.0 GB"}),
                         ::testing::PrintToStringParamName());

struct SplitCase {
    const char* name;
    std::string text;
    std::string separator;
    std::vector<std::string> pieces;
};
void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class PathsSplitText : public ::testing::TestWithParam<SplitCase> {};

TEST_P(PathsSplitText, KeepsEmptyPiecesAndCharacterBoundaries) {
    std::vector<std::string> pieces{"earlier"};
    int count = SplitText(GetParam().text, GetParam().separator, pieces);
    std::vector<std::string> expected{"earlier"};
    expected.insert(expected.end(), GetParam().pieces.begin(), GetParam().pieces.end());
    EXPECT_EQ(pieces, expected);
    EXPECT_EQ(count, static_cast<int>(expected.size()));

    // The record reader's splitter, which finds commas many bytes at a time, splits alike.
    if (GetParam().separator.size() != 1) return;
    std::string_view views[4];
    const int viewCount = SplitViews(GetParam().text, GetParam().separator[0], views, 4);
    ASSERT_EQ(viewCount, static_cast<int>(GetParam().pieces.size()));
    for (int i = 0; i < std::min(viewCount, 4); ++i) EXPECT_EQ(views[i], GetParam().pieces[i]) << i;
}

// "表" is 0x95 0x5C and "ソ" 0x83 0x5C: their second byte is a backslash that is no separator.
INSTANTIATE_TEST_SUITE_P(
    Paths, PathsSplitText,
    ::testing::Values(SplitCase{"EmptyMiddle", "a,,b", ",", {"a", "", "b"}},
                      SplitCase{"LeadingSeparator", ",a", ",", {"", "a"}},
                      SplitCase{"TrailingSeparator", "a,", ",", {"a", ""}}, SplitCase{"EmptyText", "", ",", {""}},
                      SplitCase{"NoSeparator", "abc", ",", {"abc"}},
                      SplitCase{"TrailByteIsNoBackslash", "C:\\表\\ソフト", "\\", {"C:", "表", "ソフト"}},
                      SplitCase{"TrailByteAtTheEnd", "表", "\\", {"表"}},
                      SplitCase{"LongSeparator", "a\r\nb\r\n", "\r\n", {"a", "b", ""}},
                      SplitCase{"EmptySeparator", "a,b", "", {"a,b"}},
                      // Past eight ASCII bytes, and a lead byte whose second byte is the comma
                      // right after such a run.
                      SplitCase{"LongAsciiRuns", "1310000001,01,06130012", ",", {"1310000001", "01", "06130012"}},
                      SplitCase{
                          "LeadByteBeforeAComma", "12345678\x81,9,abcdefgh,", ",", {"12345678\x81,9", "abcdefgh", ""}},
                      // "\x81\x81" is one character, so the comma after it separates; a third
                      // lead byte takes the next comma.
                      SplitCase{"RunsOfLeadBytes",
                                "\x81\x81,\x81\x81\x81,x,\xE0\x81\x9F,",
                                ",",
                                {"\x81\x81", "\x81\x81\x81,x", "\xE0\x81\x9F,"}},
                      SplitCase{"ManyPieces", "a,b,c,d,e,f", ",", {"a", "b", "c", "d", "e", "f"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PathsJoinPath, OneSeparatorBetweenFolderAndName) {
    const std::string sep(1, platform::kPathSeparator);
    EXPECT_EQ(JoinPath("a", "b"), "a" + sep + "b");
    EXPECT_EQ(JoinPath(sep, "b"), sep + "b");  // a root keeps its own separator
    EXPECT_EQ(JoinPath("C:" + sep, "b"), "C:" + sep + "b");
    // A double-byte character whose second byte is the backslash does not end the folder.
    EXPECT_EQ(JoinPath("表", "b"), "表" + sep + "b");
}

TEST(PathsListFiles, UpperCasedInNameOrder) {
    TempDir dir;
    for (const char* name : {"b.log", "A.log", "チ.log", "x.txt"}) WriteBytes(dir / name, "");

    std::vector<std::string> names{"earlier"};
    ListFiles(dir.Path(), "*.log", 0, names);
    // "チ" (0x83 0x61) keeps its second byte: upper-casing it would make "ア" (0x83 0x41).
    EXPECT_EQ(names, (std::vector<std::string>{"earlier", "A.LOG", "B.LOG", "チ.LOG"}));

    std::vector<std::string> paths;
    ListFiles(dir.Path(), "*.log", 1, paths);
    ASSERT_EQ(paths.size(), 3u);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        // Each full path names its file as it is (upper-cased only where the file system ignores case).
        std::vector<std::string> real{"A.log", "b.log", "チ.log"};
        std::string expected = dir / real[i];
        if (!platform::kCaseSensitiveFileSystem) expected = ToUpperAscii(expected);
        EXPECT_EQ(paths[i], expected);
        EXPECT_TRUE(platform::PathExists(paths[i]));
    }
}

TEST(PathsListFiles, MissingFolderLeavesTheListAlone) {
    TempDir dir;
    std::vector<std::string> entries{"earlier"};
    ListFiles(dir / "missing", "*", 0, entries);
    EXPECT_EQ(entries, std::vector<std::string>{"earlier"});
}

TEST(PathsCreateFolderTree, CreatesEveryMissingLevel) {
    TempDir dir;
    std::string deep = dir / "a" + kSep + "表" + kSep + "c";
    EXPECT_TRUE(CreateFolderTree(deep));
    EXPECT_TRUE(Exists(deep));
    EXPECT_EQ(ListNames(dir / "a"), std::vector<std::string>{"表"});
    EXPECT_TRUE(CreateFolderTree(deep));  // all there already
}

TEST(PathsCreateFolderTree, FailsWhereAFolderCannotBeMade) {
    TempDir dir;
    WriteBytes(dir / "file", "");
    EXPECT_FALSE(CreateFolderTree(dir / "file" + kSep + "sub"));
    EXPECT_FALSE(CreateFolderTree(dir / "new" + kSep));  // the empty last piece cannot be made
    EXPECT_TRUE(Exists(dir / "new"));                    // the levels before the failure stay
}

struct LengthFailure {
    const char* name;
    const char* entry;
};
void PrintTo(const LengthFailure& c, std::ostream* os) { *os << c.name; }

class PathsGetFileLengthFails : public ::testing::TestWithParam<LengthFailure> {};

TEST_P(PathsGetFileLengthFails, ThrowsWithThePath) {
    TempDir dir;
    WriteBytes(dir / "held.csv", "x");
    platform::File holder;
    ASSERT_TRUE(holder.Open(dir / "held.csv", platform::File::modeRead));
    ASSERT_TRUE(platform::MakeDirectory(dir / "folder"));

    std::string path = dir / GetParam().entry;
    try {
        GetFileLength(path);
        FAIL() << "no error for " << path;
    } catch (const FileError& error) {
        EXPECT_EQ(error.Path(), path);
        EXPECT_NE(error.SystemError(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, PathsGetFileLengthFails,
                         ::testing::Values(LengthFailure{"Missing", "missing.csv"}, LengthFailure{"Folder", "folder"},
                                           LengthFailure{"HeldOpen", "held.csv"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
