// The command-line program: RunCli between the process's arguments and its console.
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
    return RunCli(platform::CommandLineArguments(argc, argv), context);
}
