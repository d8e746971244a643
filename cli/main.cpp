// The command-line program: RunCli between the process's arguments and its console.
#include <atomic>
#include <exception>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/platform.h"
#include "support/log_file.h"

namespace {

// Said below the help when the program was started on a console of its own (a double click in
// Explorer), before that console closes. Each line fits in 80 columns.
const char kOwnConsoleNote[] =
    "\nこのプログラムはコマンド プロンプトで使います。例：\n"
    "  tolvarenquista-cli.exe selftest\n"
    "画面で変換するときは Tolvarenquista.exe を使ってください。\n"
    "Enter キーを押すと閉じます。";

// The argument that the platform could not take, named between quotes (in UTF-8) in its failure's
// text: in code page 932, each character that code page 932 lacks shown as '?'.
std::string ArgumentShown(const std::string& failure) {
    const std::size_t open = failure.find('\'');
    const std::size_t close = failure.rfind('\'');
    if (open == std::string::npos || close <= open) return "?";
    const std::string utf8 = failure.substr(open + 1, close - open - 1);
    std::string shown;
    for (std::size_t at = 0; at < utf8.size();) {
        std::size_t end = at + 1;  // past the character: its lead byte and the continuation bytes (10xxxxxx)
        while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) ++end;
        const std::string character = utf8.substr(at, end - at);
        const std::string converted = platform::Utf8ToCp932(character);
        shown += platform::Cp932ToUtf8(converted) == character ? converted : "?";
        at = end;
    }
    return shown;
}

}  // namespace

int main(int argc, char** argv) {
    platform::LoadLibrariesFromSystemOnly();
    platform::InstallInterruptHandler(&RequestInterrupt);
    CliContext context;
    context.program = ProgramName(argc > 0 ? argv[0] : "");
    // The first write to standard output that fails (a full disk, a closed pipe): what the command
    // printed is lost, so its work done or not, the run has failed.
    std::atomic<bool> outFailed{false};
    int outError = 0;
    context.write = [&](platform::Stream stream, const std::string& text) {
        int error = 0;
        if (!platform::WriteConsole(stream, text, &error) && stream == platform::Stream::Out &&
            !outFailed.exchange(true)) {
            outError = error;
        }
    };
    context.errIsTerminal = platform::IsTerminal(platform::Stream::Err);
    context.protectedFolders = platform::ProtectedFolders();
    context.defaultLogFolder = DefaultLogFolder();
    std::vector<std::string> arguments;
    try {
        arguments = platform::CommandLineArguments(argc, argv);
    } catch (const std::exception& error) {
        context.write(platform::Stream::Err,
                      context.program + ": 引数[" + ArgumentShown(error.what()) +
                          "]は、シフトJISで表せない文字（?）が含まれているため指定できません。\n詳しくは '" +
                          context.program + " --help' を見てください。\n");
        return kExitUsage;
    }
    // Started on a console of its own, which closes as the program ends: the help, and a wait for
    // Enter, so that it can be read.
    const bool ownConsole = arguments.empty() && platform::OwnsConsoleAlone();
    if (ownConsole) arguments = {"--help"};
    int status = RunCli(arguments, context);
    if (ownConsole) {
        context.write(platform::Stream::Out, std::string(kOwnConsoleNote) + "\n");
        platform::WaitForEnter();
    }
    if (outFailed.load()) {
        platform::WriteConsole(
            platform::Stream::Err,
            std::string("tolvarenquista: 標準出力への書込みに失敗しました。(") + platform::ErrorText(outError) + ")\n");
        if (status < kExitFailed) status = kExitFailed;
    }
    return status;
}
