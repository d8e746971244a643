// The command-line program: RunCli between the process's arguments and its console.
#include <exception>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/platform.h"
#include "support/log_file.h"

int main(int argc, char** argv) {
    platform::InstallInterruptHandler(&RequestInterrupt);
    CliContext context;
    context.write = [](platform::Stream stream, const std::string& text) { platform::WriteConsole(stream, text); };
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
    return RunCli(arguments, context);
}
