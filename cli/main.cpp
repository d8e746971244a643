// The command-line program: RunCli between the process's arguments and its console.
#include <atomic>
#include <exception>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/platform.h"
#include "support/log_file.h"

int main(int argc, char** argv) {
    platform::InstallInterruptHandler(&RequestInterrupt);
    CliContext context;
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
        context.write(platform::Stream::Err, std::string("tolvarenquista: ") + error.what() + "\n");
        return kExitUsage;
    }
    int status = RunCli(arguments, context);
    if (outFailed.load()) {
        platform::WriteConsole(platform::Stream::Err,
                               std::string("tolvarenquista: 標準出力への書込みに失敗しました。(") +
                                   platform::ErrorText(outError) + ")\n");
        if (status < kExitFailed) status = kExitFailed;
    }
    return status;
}
