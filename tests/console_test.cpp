// The console program's progress bar on a real console, in-process under Wine: run on a terminal of
// its own (through script(1)), so that standard error is a console; TOLVA_TEST_WINDOWS tells the
// Windows version the Wine prefix plays. Escape sequences are written only where the console takes
// them (Windows 10 and later); elsewhere (Windows 7 and 8.1 print them as they are) the bar is drawn
// again with a carriage return alone. Either way, what the console shows at the end is the lines of
// the run, with nothing of the bar left over.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

bool Windows10Prefix() {
    const char* version = std::getenv("TOLVA_TEST_WINDOWS");
    return version != nullptr && std::string(version) == "10";
}

// The lines a console shows for text written to it: a carriage return goes back to the line's
// start, ESC [ K clears the rest of the line, any other character is written over what is there.
// Trailing spaces are left out.
std::vector<std::string> Shown(const std::string& text) {
    std::vector<std::string> lines(1);
    std::size_t column = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string& line = lines.back();
        if (text[i] == '\n') {
            lines.emplace_back();
            column = 0;
        } else if (text[i] == '\r') {
            column = 0;
        } else if (text.compare(i, 3, "\x1b[K") == 0) {
            line.resize(std::min(line.size(), column));
            i += 2;
        } else {
            if (line.size() <= column) line.resize(column + 1, ' ');
            line[column++] = text[i];
        }
    }
    for (std::string& line : lines) line.erase(line.find_last_not_of(' ') + 1);
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

TEST(ConsoleTest, EscapeSequencesOnlyWhereTheConsoleTakesThem) {
    ASSERT_TRUE(platform::IsTerminal(platform::Stream::Err)) << "standard error must be a console";
    EXPECT_EQ(platform::TerminalTakesEscapes(platform::Stream::Err), Windows10Prefix());
}

TEST(ConsoleTest, TheBarLeavesNothingBehind) {
    TempDir in, out, log;
    const std::vector<std::string> names = {"20080423120000.CSV", "20080423120001.CSV"};
    for (const std::string& name : names) WriteBytes(in / name, ClaimLines(3000));
    std::string err;
    CliContext context;
    context.write = [&](platform::Stream stream, const std::string& text) {
        if (stream == platform::Stream::Err) err += text;
    };
    context.errIsTerminal = true;
    ASSERT_EQ(RunCli({"convert", "--input", in.Path(), "--output", out.Path(), "--log-dir", log.Path()}, context),
              kExitOk)
        << err;

    ASSERT_NE(err.find(" rec/s"), std::string::npos) << "no bar was drawn:\n" << err;
    EXPECT_EQ(err.find('\x1b') != std::string::npos, Windows10Prefix()) << err;
    const std::vector<std::string> shown = Shown(err);
    for (const std::string& line : shown) EXPECT_EQ(line.find(" rec/s"), std::string::npos) << line;
    for (const std::string& name : names) {
        EXPECT_NE(std::find(shown.begin(), shown.end(), name + ": 正常"), shown.end()) << name << " in\n" << err;
    }
}

}  // namespace
