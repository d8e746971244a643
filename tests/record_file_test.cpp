// The record reader and the buffered writer. The reader's chunk rules are checked against a model
// that reads the file as the format describes it, 1,024 bytes at a time with a real seek back.
#include "engine/record_file.h"

#include <gtest/gtest.h>

#include <random>

#include "support/paths.h"
#include "tests/test_support.h"

namespace {

struct Record {
    std::vector<std::string> fields;
    std::int64_t bytes;
    bool operator==(const Record&) const = default;
};

std::vector<Record> ReadAll(const std::string& path) {
    CRecordReader file;
    EXPECT_EQ(file.OpenWithRetry(path, platform::File::modeRead), 1);
    std::vector<Record> records;
    for (;;) {
        Record record;
        std::string_view line;
        record.bytes = file.ReadLine(line);
        if (record.bytes == 0) break;
        SplitText(std::string(line), ",", record.fields);
        records.push_back(record);
    }
    return records;
}

// The reader as the format describes it: 1,024-byte reads, the partial last line read again.
std::vector<Record> ModelRead(const std::string& content) {
    std::vector<Record> records;
    std::size_t position = 0;
    std::string buffer;
    auto chunk = [&]() {
        const std::size_t got = std::min<std::size_t>(1024, content.size() - position);
        if (got == 0) return false;
        std::string text = content.substr(position, got);
        position += got;
        if (got < 1024 && text.back() == 0x1A) text.pop_back();
        buffer += text;
        if (got < 1024) return true;
        const std::size_t lf = buffer.rfind('\n');
        if (lf == std::string::npos) return true;
        position -= buffer.size() - (lf + 1);
        buffer.resize(lf + 1);
        return true;
    };
    for (;;) {
        if (buffer.empty() && !chunk()) break;
        std::string line;
        std::int64_t terminator = 2;
        const std::size_t lf = buffer.find('\n');
        if (lf == std::string::npos) {
            line = buffer;
            buffer.clear();
        } else {
            const bool crlf = lf > 0 && buffer[lf - 1] == '\r';
            line = buffer.substr(0, crlf ? lf - 1 : lf);
            terminator = crlf ? 2 : 1;
            buffer.erase(0, lf + 1);
        }
        if (line.empty() || line[0] == '#') continue;
        Record record;
        SplitText(line, ",", record.fields);
        record.bytes = static_cast<std::int64_t>(line.size()) + terminator;
        records.push_back(record);
    }
    return records;
}

struct ReadCase {
    const char* name;
    std::string content;
    std::vector<Record> expected;
};
// GoogleTest shows a parameter by its name (else as a dump of its bytes).
void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class RecordReaderTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(RecordReaderTest, DeliversTheRecordsOfTheFile) {
    TempDir dir;
    WriteBytes(dir / "in.csv", GetParam().content);
    EXPECT_EQ(ReadAll(dir / "in.csv"), GetParam().expected);
}

const std::string kLong1022(1022, 'x');
const std::string kLong1100(1100, 'y');

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordReaderTest,
    ::testing::Values(
        ReadCase{"BlankCommentAndUnterminatedLast", "a,b\r\n\r\n#x,y\r\nc,,d", {{{"a", "b"}, 5}, {{"c", "", "d"}, 6}}},
        ReadCase{"EmptyFile", "", {}}, ReadCase{"HashAloneAndHashWithCommas", "#\r\n#,,,\r\n,x\r\n", {{{"", "x"}, 4}}},
        ReadCase{"CtrlZAfterLastLineEnd", "a\r\n\x1A", {{{"a"}, 3}}},
        ReadCase{"CtrlZEndingTheLastLine", "a\r\nb\x1A", {{{"a"}, 3}, {{"b"}, 3}}},
        ReadCase{"LinesEndingWithLfAlone", "a,b\nc\r\nd\n", {{{"a", "b"}, 4}, {{"c"}, 3}, {{"d"}, 2}}},
        ReadCase{"NulBytesAreDelivered",
                 std::string("a\0b,c\r\nd\r\n", 10),
                 {{{std::string("a\0b", 3), "c"}, 7}, {{"d"}, 3}}},
        ReadCase{
            "BareLfEndingAFullChunk", std::string(1023, 'a') + "\nb\n", {{{std::string(1023, 'a')}, 1024}, {{"b"}, 2}}},
        ReadCase{"LineOf1022BytesAfterAShortOne",
                 "s\r\n" + kLong1022 + "\r\nt\r\n",
                 {{{"s"}, 3}, {{kLong1022}, 1024}, {{"t"}, 3}}},
        ReadCase{"LineLongerThanAChunkIsHandedOutInPieces",
                 kLong1100 + "\r\nz\r\n",
                 {{{kLong1100.substr(0, 1024)}, 1026}, {{kLong1100.substr(1024)}, 78}, {{"z"}, 3}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RecordReaderLineTest, NamesEachRecordByTheLineItStartsOn) {
    const struct {
        const char* name;
        std::string content;
        std::vector<std::int64_t> lines;
    } cases[] = {
        {"BlankAndCommentLinesCount", "a\r\n\r\n#c\r\nb\r\n\nc", {1, 4, 6}},
        {"LfAloneAndCrLf", "a\nb\r\nc\n", {1, 2, 3}},
        {"LinesAcrossTheFirstChunkBoundary",
         std::string(1000, 'a') + "\r\n" + std::string(100, 'b') + "\r\nc\r\n",
         {1, 2, 3}},
        // The pieces of a line longer than a chunk name its line, and the next line is the next.
        {"PiecesOfALongLine", "a\r\n" + std::string(2500, 'x') + "\r\nz\r\n", {1, 2, 2, 2, 3}},
        // A comment is skipped whole, however long; so is one without a line end at the file's end.
        {"LongCommentSkippedWhole", "#" + std::string(1100, 'x') + "\r\nz\r\n", {2}},
        {"LongCommentOverThreeChunks", "a\r\n#" + std::string(2500, ',') + "\r\nz\r\n", {1, 3}},
        {"LongLastComment", "a\r\n#" + std::string(1500, 'x'), {1}},
    };
    TempDir dir;
    CRecordReader file;  // one for every case: each open starts reading afresh
    for (const auto& c : cases) {
        WriteBytes(dir / c.name, c.content);
        ASSERT_EQ(file.OpenWithRetry(dir / c.name, platform::File::modeRead), 1);
        std::vector<std::int64_t> lines;
        std::string_view line;
        while (file.ReadLine(line) != 0) lines.push_back(file.LineNumber());
        EXPECT_EQ(lines, c.lines) << c.name;
    }
}

// Files built around the chunk boundary: a CR LF split across it, a 0x1A at its end, lines of
// every length near the limit, and files larger than the read-ahead.
TEST(RecordReaderModelTest, MatchesTheChunkRulesOnBoundaryFiles) {
    std::vector<std::string> files;
    files.push_back(std::string(1022, 'a') + "\r\n" + std::string(1021, 'b') + "\r\nc\r\n");  // CR at 2047
    files.push_back(std::string(1023, 'a') + "\r\nb\r\n");                                    // CR at 1023
    files.push_back(std::string(1000, 'a') + "\r\n" + std::string(21, 'b') + "\x1A" + "c\r\n");
    files.push_back(std::string(1023, 'a') + "\x1A");  // 0x1A at a chunk end is data
    std::mt19937 random(2008);
    for (int f = 0; f < 6; ++f) {
        std::string content;
        const std::size_t target = f < 4 ? 20000 : 2500000;
        while (content.size() < target) {
            const int kind = random() % 10;
            const std::size_t length = kind < 2 ? 1015 + random() % 20 : random() % 200;
            std::string line(length, 'x');
            for (std::size_t i = 0; i < length; i += 7) line[i] = ',';
            if (kind == 2) line.insert(0, "#");
            content += line + (kind == 3 ? "\n" : "\r\n");
        }
        if (f % 2) content += "tail\x1A";
        files.push_back(content);
    }
    TempDir dir;
    for (std::size_t i = 0; i < files.size(); ++i) {
        WriteBytes(dir / "in.csv", files[i]);
        EXPECT_EQ(ReadAll(dir / "in.csv"), ModelRead(files[i])) << "file " << i;
    }
}

TEST(RecordWriterTest, WritesInPiecesOfAMillionBytes) {
    TempDir dir;
    CRecordWriter file;
    ASSERT_EQ(file.OpenWithRetry(dir / "out.csv", platform::File::modeCreate | platform::File::modeWrite), 1);
    ASSERT_EQ(file.WriteBuffered(std::string(999999, 'a')), 1);
    EXPECT_EQ(FileSize(dir / "out.csv"), 0u);
    ASSERT_EQ(file.WriteBuffered("b"), 1);
    EXPECT_EQ(FileSize(dir / "out.csv"), 1000000u);
    ASSERT_EQ(file.WriteBuffered("cd"), 1);
    EXPECT_EQ(FileSize(dir / "out.csv"), 1000000u);
    ASSERT_EQ(file.FlushBuffer(), 1);
    EXPECT_EQ(FileSize(dir / "out.csv"), 1000002u);
}

TEST(RecordWriterTest, NoTruncateContinuesAnExistingFile) {
    TempDir dir;
    WriteBytes(dir / "out.csv", "old\r\n");
    {
        CRecordWriter file;
        ASSERT_EQ(file.OpenWithRetry(dir / "out.csv", platform::File::modeCreate | platform::File::modeNoTruncate |
                                                          platform::File::modeWrite),
                  1);
        EXPECT_EQ(file.GetLength(), 5u);
        file.WriteBuffered("new\r\n");
        file.FlushBuffer();
    }
    EXPECT_EQ(ReadBytes(dir / "out.csv"), "old\r\nnew\r\n");
}

TEST(RecordWriterTest, TextLeftInTheBufferIsNotWrittenByClosing) {
    TempDir dir;
    {
        CRecordWriter file;
        file.OpenWithRetry(dir / "out.csv", platform::File::modeCreate | platform::File::modeWrite);
        file.WriteBuffered("lost");
    }
    EXPECT_EQ(ReadBytes(dir / "out.csv"), "");
}

TEST(OpenWithRetryTest, WaitsOnlyForAFileThatAnotherProgramHolds) {
    TempDir dir;
    WriteBytes(dir / "held.csv", "a\r\n");
    platform::File holder;
    ASSERT_TRUE(holder.Open(dir / "held.csv", platform::File::modeRead));
    // Held: a hundred waits of three seconds, then given up. Missing, or a folder: at once.
    const struct {
        std::string name;
        std::int64_t seconds;
    } cases[] = {{"held.csv", 300}, {"missing.csv", 0}, {"", 0}};
    for (const auto& c : cases) {
        FakeClock clock;
        const std::int64_t start = clock.Now();
        CRecordReader file(clock);
        EXPECT_EQ(file.OpenWithRetry(c.name.empty() ? dir.Path() : dir / c.name, platform::File::modeRead), 0);
        EXPECT_EQ(clock.Now() - start, c.seconds) << c.name;
        EXPECT_FALSE(file.FailureReason().empty()) << c.name;
    }
}

TEST(OpenWithRetryTest, OpensOnceTheOtherHolderLetsGo) {
    TempDir dir;
    WriteBytes(dir / "in.csv", "a\r\n");
    platform::File holder;
    ASSERT_TRUE(holder.Open(dir / "in.csv", platform::File::modeRead));
    FakeClock clock;
    clock.onSleep = [&](int sleeps) {
        if (sleeps == 100) holder.Close();  // after about 10 seconds
    };
    const std::int64_t start = clock.Now();
    CRecordReader file(clock);
    EXPECT_EQ(file.OpenWithRetry(dir / "in.csv", platform::File::modeRead), 1);
    EXPECT_EQ(clock.Now() - start, 12);  // four waits of three seconds
}

}  // namespace
